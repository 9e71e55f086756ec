# What `cmake --install` puts in place, and the Debian package cpack builds
# from it: both programs, the simulator, their manual pages, the desktop entry,
# the icon, and the package's documents in the folder named after it.
include(GNUInstallDirs)
set(RV4410_PACKAGE_NAME rv4410-loader)
set(RV4410_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${RV4410_PACKAGE_NAME})
set(RV4410_MAINTAINER "RV4410 Loader developers <rv4410-loader@example.org>"
    CACHE STRING "The Debian package's maintainer, name and mail address")

install(TARGETS rv4410-loader rv4410 rv4410-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/src/app/rv4410-loader.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/src/wizard/qt/app_icon.xpm
        DESTINATION ${CMAKE_INSTALL_DATADIR}/pixmaps RENAME rv4410-loader.xpm)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/copyright
        DESTINATION ${RV4410_DOC_DIR})

# Debian wants the changelog and the manual pages compressed, without a time
# stamp in the compressed file so that two builds give the same bytes.
set(RV4410_PACKAGE_FILES ${PROJECT_BINARY_DIR}/package-files)
set(RV4410_MADE_DOCS ${PROJECT_BINARY_DIR}/docs)
file(MAKE_DIRECTORY ${RV4410_PACKAGE_FILES} ${RV4410_MADE_DOCS})
# `source` compressed into package-files/<its name>.gz.
function(rv4410_gzip source)
  get_filename_component(name ${source} NAME)
  add_custom_command(OUTPUT ${RV4410_PACKAGE_FILES}/${name}.gz
                     COMMAND ${CMAKE_COMMAND} -E copy ${source} ${RV4410_PACKAGE_FILES}/${name}
                     COMMAND gzip -9nf ${RV4410_PACKAGE_FILES}/${name}
                     DEPENDS ${source} VERBATIM)
endfunction()
rv4410_gzip(${PROJECT_SOURCE_DIR}/docs/changelog)
configure_file(${PROJECT_SOURCE_DIR}/docs/rv4410-loader.1.in ${RV4410_MADE_DOCS}/rv4410-loader.1
               @ONLY)
rv4410_gzip(${RV4410_MADE_DOCS}/rv4410-loader.1)
set(package_files changelog.gz rv4410-loader.1.gz)

# The command line's and the simulator's pages are made from their --help, so
# that they never fall behind it. The programs run at build time: not in a
# cross build, nor in a sanitizer build, which packages nothing.
find_program(RV4410_HELP2MAN help2man)
if(RV4410_HELP2MAN AND NOT CMAKE_CROSSCOMPILING AND NOT RV4410_SANITIZE)
  function(rv4410_help2man target name)
    add_custom_command(
      OUTPUT ${RV4410_MADE_DOCS}/${target}.1
      COMMAND ${RV4410_HELP2MAN} --no-info --no-discard-stderr --section=1 "--name=${name}"
              --version-string=${PROJECT_VERSION} --output=${RV4410_MADE_DOCS}/${target}.1
              $<TARGET_FILE:${target}>
      DEPENDS ${target} VERBATIM)
    rv4410_gzip(${RV4410_MADE_DOCS}/${target}.1)
  endfunction()
  rv4410_help2man(rv4410 "write programs, maps and configurations into RV4410 units from the command line")
  rv4410_help2man(rv4410-sim "a simulated RV4410 display unit on a pseudo-terminal")
  list(APPEND package_files rv4410.1.gz rv4410-sim.1.gz)
elseif(NOT RV4410_SANITIZE)
  message(STATUS "help2man not found: no manual pages for rv4410 and rv4410-sim")
endif()
list(TRANSFORM package_files PREPEND ${RV4410_PACKAGE_FILES}/)
add_custom_target(package_files ALL DEPENDS ${package_files})
install(FILES ${RV4410_PACKAGE_FILES}/changelog.gz DESTINATION ${RV4410_DOC_DIR})
list(FILTER package_files INCLUDE REGEX "[.]1[.]gz$")
install(FILES ${package_files} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${RV4410_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "RV4410 Loader developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A wizard for technicians that writes firmware, configuration and map
databases into an RV4410 avionics display unit over a serial port, keeping
the unit's configuration across a firmware change; rv4410, the same
operations on the command line for production lines and scripts; and
rv4410-sim, a simulated unit on a pseudo-terminal.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${RV4410_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries the programs link, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
