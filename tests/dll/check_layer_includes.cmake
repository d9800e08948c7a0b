# The library and the emulator meet only at the driver seam: no source of the library includes
# an emulator header, and no source of the emulator includes one of the library's (the seam's
# records and backend interface are in driver/). Run with -DSOURCE_DIR=<the source tree>.
set(failures "")
foreach(rule "dll;emulator" "emulator;dll")
  list(GET rule 0 layer)
  list(GET rule 1 forbidden)
  file(GLOB_RECURSE sources "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp"
       "${SOURCE_DIR}/${layer}/*.in")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]${forbidden}/")
    foreach(line IN LISTS lines)
      file(RELATIVE_PATH name "${SOURCE_DIR}" "${source}")
      string(APPEND failures "${name}: ${line}\n")
    endforeach()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "includes across the driver seam:\n${failures}")
endif()
