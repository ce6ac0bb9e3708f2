# What `cmake --install` puts where, and the Debian package.
#
# Install components:
#   monitor    the program with the files it reads beside itself (the example
#              RiriredOz.ini and the locale/ catalogues) in a directory of
#              its own, RIRIRED_PROGRAM_DIR; bin/ririredoz, a relative
#              symbolic link to it (Qt finds the program's directory through
#              /proc/self/exe, which names the real file, so the link does not
#              move "beside the executable"); the fixture simulator beside it
#              with the link bin/ririredoz-fixture-sim; the desktop entry and
#              the icon; the manual pages of both programs, made with
#              help2man from their --help texts; and in share/doc/ririredoz
#              the copyright file and the changelog. The Debian package holds
#              this component.
#   cport_dev  the serial port component for other programs: its static
#              libraries, its headers under include/cport and the CMake
#              package "cport" (find_package(cport) -> cport::cport;
#              COMPONENTS qt -> cport::qt, the Qt dispatcher that delivers
#              line events on the GUI thread; COMPONENTS setup ->
#              cport::setup, the Qt setup dialog).
include(CMakePackageConfigHelpers)

# The checks of the installed files (tests/package) want a plain tree: a
# sanitizer's runtime would be packaged with the program.
if(ENABLE_ASAN OR ENABLE_TSAN)
  set(_riri_package_tests_default OFF)
else()
  set(_riri_package_tests_default ON)
endif()
option(RIRIRED_PACKAGE_TESTS
       "Test the Debian package, the cport package and its self-contained headers"
       ${_riri_package_tests_default})

set(_riri_generated ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${_riri_generated})

# A link in bin/ to a program in RIRIRED_PROGRAM_DIR, relative so that it holds
# under any prefix and in an unpacked package.
function(riri_install_program_link name target_file)
  file(RELATIVE_PATH _to /prefix/bin /prefix/${RIRIRED_PROGRAM_DIR}/${target_file})
  file(CREATE_LINK ${_to} ${_riri_generated}/${name} SYMBOLIC)
  install(FILES ${_riri_generated}/${name} DESTINATION bin COMPONENT monitor)
endfunction()

# The program's files and the Debian package only where the program is built
# (not in a tree that holds the component alone).
if(RIRIRED_BUILD_PROGRAM)
if(RIRIRED_BUILD_GUI)
  riri_install_program_link(ririredoz RiriredOz)
  install(FILES ${PROJECT_SOURCE_DIR}/data/ririredoz.desktop
          DESTINATION share/applications COMPONENT monitor)
  install(FILES ${PROJECT_SOURCE_DIR}/data/ririredoz.svg
          DESTINATION share/icons/hicolor/scalable/apps COMPONENT monitor)
endif()
install(TARGETS fixture_sim RUNTIME DESTINATION ${RIRIRED_PROGRAM_DIR} COMPONENT monitor)
riri_install_program_link(ririredoz-fixture-sim fixture_sim)

# A tree configured before keeps its cached maintainer; the earlier default,
# at localhost, is no address Debian takes.
if(RIRIRED_PACKAGE_MAINTAINER STREQUAL "Ririred OZ maintainers <ririredoz@localhost>")
  unset(RIRIRED_PACKAGE_MAINTAINER CACHE)
endif()
set(RIRIRED_PACKAGE_MAINTAINER
    "Ririred OZ maintainers <maintainers@users.noreply.c-seed-752cd95e.example>" CACHE STRING
    "Maintainer field of the Debian package (the address the project's commits carry)")

# ---- Manual pages: help2man runs each program with --help (and --version)
# through a link of its installed name, so that the page names it so. The
# programs answer those without a display; standard error is left out, so a
# program that fails to answer fails the build instead of making a page of
# its error. Compressed as Debian wants them,
# with no name or time in the gzip header (-n), so a rebuild is the same.
find_program(HELP2MAN_EXECUTABLE help2man)
find_program(GZIP_EXECUTABLE gzip REQUIRED)
function(riri_manual_page name target summary)
  set(_dir ${_riri_generated}/man)
  set(_page ${_dir}/${name}.1.gz)
  add_custom_command(OUTPUT ${_page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_dir}
    COMMAND ${CMAKE_COMMAND} -E create_symlink $<TARGET_FILE:${target}> ${_dir}/${name}
    COMMAND ${HELP2MAN_EXECUTABLE} --no-info ${ARGN} --name=${summary}
            --output=${_dir}/${name}.1 ${_dir}/${name}
    COMMAND ${GZIP_EXECUTABLE} -9nf ${_dir}/${name}.1
    DEPENDS ${target} VERBATIM)
  install(FILES ${_page} DESTINATION share/man/man1 COMPONENT monitor)
  set_property(DIRECTORY APPEND PROPERTY _riri_manual_pages ${_page})
endfunction()
if(HELP2MAN_EXECUTABLE)
  if(RIRIRED_BUILD_GUI)
    riri_manual_page(ririredoz RiriredOz "serial monitor for a telephony (caller-ID) test bench")
  endif()
  # The simulator has no --version: the project's version stands in.
  riri_manual_page(ririredoz-fixture-sim fixture_sim
                   "stand-in for the telephony test fixture on a serial line"
                   --version-string=${PROJECT_VERSION})
  get_property(_pages DIRECTORY PROPERTY _riri_manual_pages)
  add_custom_target(manual_pages ALL DEPENDS ${_pages})
else()
  message(WARNING "help2man not found: no manual pages (scripts/install-deps.sh installs it)")
endif()

# ---- share/doc/ririredoz: the copyright file, and the changelog, compressed
# (changelog.gz: the package is native, the project's own).
configure_file(${PROJECT_SOURCE_DIR}/data/debian/changelog.in ${_riri_generated}/changelog @ONLY)
add_custom_command(OUTPUT ${_riri_generated}/changelog.gz
  COMMAND ${GZIP_EXECUTABLE} -9nkf ${_riri_generated}/changelog
  DEPENDS ${_riri_generated}/changelog VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${_riri_generated}/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/data/debian/copyright ${_riri_generated}/changelog.gz
        DESTINATION share/doc/ririredoz COMPONENT monitor)

endif()

# ---- The port component as a CMake package ----------------------------------
foreach(_part device text errors storage dispatch)
  set_target_properties(cport_${_part} PROPERTIES EXPORT_NAME ${_part})
endforeach()
install(TARGETS cport cport_device cport_text cport_errors cport_storage cport_dispatch EXPORT cportTargets
        ARCHIVE DESTINATION lib COMPONENT cport_dev
        INCLUDES DESTINATION include)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/cport/ DESTINATION include/cport COMPONENT cport_dev
        FILES_MATCHING PATTERN "*.h" PATTERN "setup" EXCLUDE PATTERN "qt" EXCLUDE)
install(EXPORT cportTargets NAMESPACE cport:: DESTINATION lib/cmake/cport COMPONENT cport_dev)
if(RIRIRED_BUILD_GUI)
  # The Qt libraries beside the component, each a package component:
  # cport_<part> exported as cport::<part> in its own cport<Export>Targets.
  set(_cport_qt_parts qt setup)
  set(_cport_qt_exports Qt Setup)
  foreach(_part _export IN ZIP_LISTS _cport_qt_parts _cport_qt_exports)
    set_target_properties(cport_${_part} PROPERTIES EXPORT_NAME ${_part})
    install(TARGETS cport_${_part} EXPORT cport${_export}Targets
            ARCHIVE DESTINATION lib COMPONENT cport_dev
            INCLUDES DESTINATION include)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/cport/${_part}/
            DESTINATION include/cport/${_part} COMPONENT cport_dev FILES_MATCHING PATTERN "*.h")
    install(EXPORT cport${_export}Targets NAMESPACE cport:: DESTINATION lib/cmake/cport
            COMPONENT cport_dev)
  endforeach()
endif()
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/cportConfig.cmake.in
                              ${_riri_generated}/cportConfig.cmake
                              INSTALL_DESTINATION lib/cmake/cport)
write_basic_package_version_file(${_riri_generated}/cportConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${_riri_generated}/cportConfig.cmake ${_riri_generated}/cportConfigVersion.cmake
        DESTINATION lib/cmake/cport COMPONENT cport_dev)

if(NOT RIRIRED_BUILD_PROGRAM)
  return()
endif()
# ---- The Debian package: the target `package` (which builds first), or
# `cpack -G DEB` in a built tree. Its dependencies on Qt's runtime packages
# come from dpkg-shlibdeps (dpkg-dev), which reads the program's libraries.
# Installing and `cpack` take the tree as built instead of building every
# target first (benchmarks and tests included), so that the package test
# depends only on what the package holds.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ririredoz)
set(CPACK_PACKAGE_VENDOR Dravel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "serial monitor for a telephony (caller-ID) test bench")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Ririred OZ shows, live, what a telephony test fixture sends on a serial\n\
port: as characters, decimal or hexadecimal numbers, or decoded as the\n\
fixture's test reports with coloured lines and the verdict of the run.\n\
Includes the fixture simulator (ririredoz-fixture-sim).")
set(CPACK_PACKAGE_CONTACT ${RIRIRED_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beside what dpkg-shlibdeps finds: Qt's own translations (the file dialog,
# the message boxes' buttons in the operator's language).
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-translations-l10n)
set(CPACK_STRIP_FILES ON)
# The description file as a configuration file of the package, in /etc.
set(CPACK_RIRIRED_PROGRAM_DIR ${RIRIRED_PROGRAM_DIR})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebianConffile.cmake)
file(WRITE ${_riri_generated}/conffiles "/etc/ririredoz/RiriredOz.ini\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${_riri_generated}/conffiles)
# One component, in one package of the usual name.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};monitor;/")
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
