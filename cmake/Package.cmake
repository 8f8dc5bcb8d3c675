# The Debian package, made by CPack from the install rules above: `cpack -G DEB` in the build folder
# writes package/corvane_<version>_<arch>.deb (scripts/package-check.sh builds, lints, installs and
# removes it). CPack rather than a debian/ folder: the install rules stay the one list of what goes
# where, and the package comes from the build that the tests ran on, without a second build.
# What debhelper would do is done here: stripping, compressed man pages and changelog, the copyright
# file, conffiles, dependencies from dpkg-shlibdeps.
set(CORVANE_PACKAGE_MAINTAINER "Corvane maintainers <maintainers@corvane.invalid>"
    CACHE STRING "Maintainer field of the Debian package: Name <address>")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR Corvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "print preview for label-tape printers")
set(CPACK_PACKAGE_DESCRIPTION
    "Shows a label printer's job dot for dot before the tape is used, and lets\n"
    "the user print it or drop it. Preview queues set up beside a raster\n"
    "printer's CUPS queue bring every application's printing through the\n"
    "preview. Includes the reference driver and a job file checker for driver\n"
    "makers.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CORVANE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beyond the libraries: CUPS runs the filter and keeps the queues, cups-filters turns documents into
# raster (also corvane-cups itself, with its gstoraster, for the preview of a PDF or PostScript
# driver's jobs), and the window's texts are Japanese. qt6-wayland lets the windows run on a Wayland desktop.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "cups-daemon, cups-client, cups-filters, fonts-ipafont-gothic | fonts-japanese-gothic")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Debian's documentation files: the copyright and the changelog (a native package's changelog.gz).
string(TIMESTAMP CORVANE_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/packaging/deb/changelog.in ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
execute_process(COMMAND gzip -9n
                INPUT_FILE ${PROJECT_BINARY_DIR}/packaging/changelog
                OUTPUT_FILE ${PROJECT_BINARY_DIR}/packaging/changelog.gz
                RESULT_VARIABLE gzipStatus)
if(NOT gzipStatus EQUAL 0)
  message(FATAL_ERROR "gzip of the package changelog failed: ${gzipStatus}")
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/deb/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Maintainer scripts: only prerm. Files under /etc are the administrator's: dpkg keeps their changes.
set(controlExtra ${PROJECT_SOURCE_DIR}/packaging/deb/prerm)
set(conffiles "")
get_property(programs GLOBAL PROPERTY CORVANE_INSTALLED_PROGRAMS)
foreach(entry IN LISTS programs)
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 target)
  list(GET fields 2 flags)
  if(flags MATCHES "autostart" AND CORVANE_AUTOSTART_DIR MATCHES "^/etc/")
    string(APPEND conffiles "${CORVANE_AUTOSTART_DIR}/${target}.desktop\n")
  endif()
endforeach()
if(conffiles)
  file(WRITE ${PROJECT_BINARY_DIR}/packaging/conffiles "${conffiles}")
  list(APPEND controlExtra ${PROJECT_BINARY_DIR}/packaging/conffiles)
else()
  file(REMOVE ${PROJECT_BINARY_DIR}/packaging/conffiles)
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${controlExtra})

# The programs and where they go, one "<target>|<bin or filter>|<flags>|<installed path>" a line, for
# the package check.
set(manifest "")
foreach(entry IN LISTS programs)
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 target)
  list(GET fields 1 kind)
  if(kind STREQUAL "filter")
    set(path ${CORVANE_CUPS_FILTER_DIR}/${target})
  else()
    set(path ${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${target})
  endif()
  string(APPEND manifest "${entry}|${path}\n")
endforeach()
file(WRITE ${PROJECT_BINARY_DIR}/packaging/programs.txt "${manifest}")

include(CPack)
