# What a station installs, and the packages that carry it.
#
# Linux (`cmake --install`, the Debian package): bin/ZorvApp and bin/zorvctl, which find the
# library in lib/ beside their folder; include/zorv/ with the public headers; the Python
# package under lib/python3/dist-packages; the guide, the interface notes and the examples in
# share/doc/zorv/; a desktop entry and an icon for ZorvApp.
#
# Windows (the zip): the library of each build in a folder of its width (x64/, x86/) with its
# .def and its import library for SDK users, zorvctl.exe beside the 64-bit one, the headers in
# include/zorv/ and the guide in doc/. One zip holds both widths: scripts/package-windows
# installs both Windows builds into it.

set(zorv_headers
    ${PROJECT_SOURCE_DIR}/include/zorv/ZorvApi.h
    ${PROJECT_SOURCE_DIR}/include/zorv/BitsyncSetup.h
    ${PROJECT_SOURCE_DIR}/include/zorv/IrigSetup.h)
set(zorv_guide
    ${PROJECT_SOURCE_DIR}/docs/operator-guide.md
    ${PROJECT_SOURCE_DIR}/docs/api.md
    ${PROJECT_SOURCE_DIR}/docs/emulator.md)
file(GLOB zorv_guide_pictures ${PROJECT_SOURCE_DIR}/docs/*.png)

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(zorv_install_binaries x64)
  else()
    set(zorv_install_binaries x86)
  endif()
  install(TARGETS ZORVDLL RUNTIME DESTINATION ${zorv_install_binaries}
                          ARCHIVE DESTINATION ${zorv_install_binaries})
  install(FILES ${PROJECT_SOURCE_DIR}/dll/ZORVDLL.def DESTINATION ${zorv_install_binaries})
  # The 32-bit build makes the library only (its preset's one target).
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    install(TARGETS zorvctl RUNTIME DESTINATION ${zorv_install_binaries})
  endif()
  install(FILES ${zorv_headers} DESTINATION include/zorv)
  install(FILES ${zorv_guide} ${zorv_guide_pictures} DESTINATION doc)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/c DESTINATION doc/examples)

  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows)
else()
  # The programs look for the library in lib/ beside their own bin/ folder, so an installed
  # tree (or an unpacked package) loads its own library wherever it lies.
  install(TARGETS zorvctl RUNTIME DESTINATION bin)
  if(TARGET ZorvApp)
    install(TARGETS ZorvApp RUNTIME DESTINATION bin)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/zorvapp.desktop
            DESTINATION share/applications)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/zorvapp.svg
            DESTINATION share/icons/hicolor/scalable/apps)
  endif()
  install(TARGETS ZORVDLL LIBRARY DESTINATION lib)
  install(FILES ${zorv_headers} DESTINATION include/zorv)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/zorv DESTINATION lib/python3/dist-packages
          PATTERN __pycache__ EXCLUDE)
  install(FILES ${zorv_guide} ${zorv_guide_pictures} DESTINATION share/doc/zorv)
  install(FILES ${PROJECT_SOURCE_DIR}/examples/ber_run.py
                ${PROJECT_SOURCE_DIR}/examples/watch_lock.py
                ${PROJECT_SOURCE_DIR}/examples/example_cards.py
          DESTINATION share/doc/zorv/examples)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/c DESTINATION share/doc/zorv/examples)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  # The run-time dependencies from the programs' and the library's own links.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3 (>= 3.11)")
endif()

set(CPACK_PACKAGE_NAME zorv)
set(CPACK_PACKAGE_VENDOR "Zorv")
set(CPACK_PACKAGE_CONTACT "Zorv software maintainers <maintainers@zorv.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Zorv telemetry receiver cards: operator program ZorvApp, zorvctl and the ZORVDLL library")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "ZorvApp programs and watches the bit synchronizer and IRIG time-code reader of Zorv "
       "PCI telemetry receiver cards; zorvctl does the same from scripts; ZORVDLL is the card "
       "library with its C header and a Python package. Without cards the programs run on "
       "simulated data or on emulated cards (ZORV_EMULATE).")
set(CPACK_STRIP_FILES ON)
include(CPack)
