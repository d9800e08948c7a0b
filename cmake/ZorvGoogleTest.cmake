# GoogleTest: built with the tree from the sources ZORV_GOOGLETEST_SOURCE names (by default in
# a cross build: the sources Debian ships, compiled for the target), else the installed package.
if(CMAKE_CROSSCOMPILING)
  set(zorv_googletest_default /usr/src/googletest)
endif()
set(ZORV_GOOGLETEST_SOURCE "${zorv_googletest_default}"
    CACHE PATH "GoogleTest sources to build with the tree (empty: the installed package)")
if(ZORV_GOOGLETEST_SOURCE)
  set(INSTALL_GTEST OFF CACHE BOOL "Install GoogleTest with the project")
  # Visual C++: the tests take the same run-time library as the code they link.
  set(gtest_force_shared_crt ON CACHE BOOL "Use the shared C run-time library")
  add_subdirectory(${ZORV_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# Under an emulator, listing a suite's tests means starting it: do that when ctest runs (and
# only again after a rebuild), not at every link.
if(CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
endif()
