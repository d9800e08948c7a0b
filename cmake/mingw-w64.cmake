# Cross build for Windows with Debian's MinGW-w64 compilers. The posix thread model is the one
# with std::thread and std::mutex (GoogleTest needs them). ZORV_MINGW_TRIPLET picks the target:
# x86_64-w64-mingw32 (64-bit, the default) or i686-w64-mingw32 (32-bit).
set(CMAKE_SYSTEM_NAME Windows)
if(NOT ZORV_MINGW_TRIPLET)
  set(ZORV_MINGW_TRIPLET x86_64-w64-mingw32)
endif()
# The compiler checks run in projects of their own, which read this file again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZORV_MINGW_TRIPLET)
if(ZORV_MINGW_TRIPLET MATCHES "^i686")
  set(CMAKE_SYSTEM_PROCESSOR x86)
else()
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
endif()

set(CMAKE_C_COMPILER ${ZORV_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORV_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZORV_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZORV_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No MinGW runtime DLL (libstdc++, libgcc, winpthread) beside the programs and the library.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# 64-bit programs run here under Wine (scripts/wine-run), each build folder with a Wine prefix of
# its own that the first run creates. 32-bit Wine is not installed, so 32-bit programs are
# built, not run.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "AMD64")
  find_program(ZORV_WINE64 wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_CACHE)
  if(ZORV_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR
        /usr/bin/env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINE64=${ZORV_WINE64}
        ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
  endif()
endif()
