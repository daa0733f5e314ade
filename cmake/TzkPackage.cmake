# What an installation of TZK holds, and the Debian package of it (scripts/package builds it with
# CPack). Everything takes its version from project(VERSION) in the top CMakeLists.txt.
include(GNUInstallDirs)

set(TZK_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tzk)
set(TZK_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

# A station's programs; the simulators and stand-ins that tests and examples start stay out.
install(TARGETS tzk tzk-run tzk-lsp tzk-report RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The window looks for its pages in bin/../share/tzk/Ui when they are not beside it.
install(FILES ${TZK_UI_PAGES} DESTINATION ${CMAKE_INSTALL_DATADIR}/tzk/Ui)

install(FILES ${TZK_PACKAGING_DIR}/tzk.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/src/ui/icons/app.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME tzk.svg)
install(FILES ${TZK_PACKAGING_DIR}/tzk-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME tzk.xml)
# A lintian warning that cannot be fixed is overridden there, with its reason.
if(EXISTS ${TZK_PACKAGING_DIR}/tzk.lintian-overrides)
  install(FILES ${TZK_PACKAGING_DIR}/tzk.lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME tzk)
endif()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${TZK_DOC_DIR} PATTERN CONTRIBUTING.md EXCLUDE)
# Nothing under /usr/share/doc may be executable: the helper script of execute.TZD is made
# executable again where the examples are copied to.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples DESTINATION ${TZK_DOC_DIR} PATTERN *.csv EXCLUDE)
install(FILES ${TZK_PACKAGING_DIR}/60-tzk-serial.rules ${TZK_PACKAGING_DIR}/copyright
        DESTINATION ${TZK_DOC_DIR})

# The change log and the manual pages are compressed as Debian wants them (gzip -9n: no name, no
# time stamp, so that two builds give the same bytes).
set(TZK_PACKAGE_BUILD_DIR ${PROJECT_BINARY_DIR}/package-files)
configure_file(${TZK_PACKAGING_DIR}/changelog.in ${TZK_PACKAGE_BUILD_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${TZK_PACKAGE_BUILD_DIR}/changelog.gz
                   COMMAND gzip -9nf -k ${TZK_PACKAGE_BUILD_DIR}/changelog
                   DEPENDS ${TZK_PACKAGE_BUILD_DIR}/changelog)
set(TZK_PACKAGE_FILES ${TZK_PACKAGE_BUILD_DIR}/changelog.gz)
install(FILES ${TZK_PACKAGE_BUILD_DIR}/changelog.gz DESTINATION ${TZK_DOC_DIR})

# The manual pages are made from the programs' --help and --version.
option(TZK_MAN_PAGES "Make the manual pages of tzk, tzk-run, tzk-lsp and tzk-report (needs help2man)" OFF)
if(TZK_MAN_PAGES)
  find_program(HELP2MAN help2man REQUIRED)
  set(TZK_MAN_NAME_tzk "desktop program of the TZK test sequencer")
  set(TZK_MAN_NAME_tzk-run "run a TZK test definition without a window")
  set(TZK_MAN_NAME_tzk-lsp "language server for TZK test definitions")
  set(TZK_MAN_NAME_tzk-report "write the line and station report of the TZK result database")
  foreach(program tzk tzk-run tzk-lsp tzk-report)
    set(page ${TZK_PACKAGE_BUILD_DIR}/${program}.1)
    add_custom_command(OUTPUT ${page}.gz
                       COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ${HELP2MAN} --no-info
                               --no-discard-stderr --section=1 "--name=${TZK_MAN_NAME_${program}}"
                               --output=${page} $<TARGET_FILE:${program}>
                       COMMAND gzip -9nf ${page}
                       DEPENDS ${program} VERBATIM)
    list(APPEND TZK_PACKAGE_FILES ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
endif()
add_custom_target(tzk_package_files ALL DEPENDS ${TZK_PACKAGE_FILES})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tzk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "TZK developers <tzk@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test sequencer for production and quality testing")
# The long description; CPack puts the summary above it and indents each line.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
       "A test engineer writes a definition file (.TZD) with settings, variables,\n"
       "devices and test cases; an operator opens it, TZK runs its steps against the\n"
       "station's instruments and ports, judges each step passed or failed and\n"
       "reports the outcome in a message log, a pass/fail dialog, a CSV value log\n"
       "and printed error reports.\n"
       "\n"
       "This package holds the desktop program tzk, the headless runner tzk-run,\n"
       "the result-database report tzk-report, the definition-language reference\n"
       "and examples.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beside what the binaries link: the SVG plugins that draw every icon of the window are loaded at
# run time, which dpkg-shlibdeps cannot see (without them the toolbar and the tree are blank).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
