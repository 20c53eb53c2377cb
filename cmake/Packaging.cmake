# Installing the program and packing it as a Debian package (make package), and the version the
# program reports, which comes from the project's version alone.

include(GNUInstallDirs)

option(ZALVIK_PACKAGE_BUILD "Build for a package: the program looks for its files only where it is installed" OFF)

target_compile_definitions(zalvik-core PRIVATE ZALVIK_VERSION="${PROJECT_VERSION}")
if(NOT ZALVIK_PACKAGE_BUILD)
  # Lets a program run from the build tree find its files in this source tree.
  target_compile_definitions(zalvik-core PRIVATE
    ZALVIK_SOURCE_DATA_FOLDER="${PROJECT_SOURCE_DIR}/examples")
endif()

# The program finds its data folder as ../share/zalvik-race from its bin folder.
set(ZALVIK_DATA_DESTINATION ${CMAKE_INSTALL_DATADIR}/zalvik-race)

install(TARGETS zalvik-race RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES examples/example.xlsx DESTINATION ${ZALVIK_DATA_DESTINATION})
# The timing device simulator for rehearsals, beside the program, with its rehearsal files.
if(TARGET zalvik-timer-sim)
  install(TARGETS zalvik-timer-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES examples/timer-alge.txt examples/timer-tagheuer.txt
          DESTINATION ${ZALVIK_DATA_DESTINATION})
endif()
# The gate judge's phone for rehearsals, beside it.
if(TARGET zalvik-judge-sim)
  install(TARGETS zalvik-judge-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES packaging/zalvik-race.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size IN ITEMS 16 22 24 32 48 64 128 256)
  install(FILES packaging/icons/zalvik-race-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME zalvik-race.png)
endforeach()
install(FILES packaging/icons/zalvik-race.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The man page, with the version filled in and compressed as Debian keeps man pages (no name
# or time stamp in the gzip header, so that the package is the same from one build to the next).
set(VERSION ${PROJECT_VERSION})
configure_file(packaging/zalvik-race.1 ${CMAKE_BINARY_DIR}/packaging/zalvik-race.1 @ONLY)
execute_process(COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/packaging/zalvik-race.1
                OUTPUT_FILE ${CMAKE_BINARY_DIR}/packaging/zalvik-race.1.gz
                COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/zalvik-race.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zalvik-race)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "zalvik-race developers <zalvik-race@example.org>"
    CACHE STRING "Maintainer named in the package")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "results processing for a ski race (Japanese screens)")
set(CPACK_PACKAGE_DESCRIPTION
    "Keeps the competitors of a ski race and their runs in one .xlsx workbook,\n"
    "works out race points and the standings of every class at the finish line,\n"
    "and writes each class's official results sheet into the workbook.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# The libraries come from dpkg-shlibdeps; the screens are laid out for a Japanese font that no
# library asks for, and Qt's own dialogs speak Japanese only with Qt's translations.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk, qt6-translations-l10n")
include(CPack)

# Builds a package from this build tree, checks it and runs the program unpacked from it.
if(NOT ZALVIK_SANITIZE AND NOT ZALVIK_FUZZ)
  add_test(NAME package
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/package/package_test.sh
                   ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR} ${PROJECT_VERSION})
  set_tests_properties(package PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 240)
endif()
