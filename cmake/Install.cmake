# Install rules. Programs go to bin, a CUPS filter to CUPS's own filter folder, an autostart entry to the
# folder the desktop session reads; each program installs with its man page. One call per program:
#
#   corvane_install_program(<target> [CUPS_FILTER] [AUTOSTART] [NO_HELP])
#
# CUPS_FILTER  install into CORVANE_CUPS_FILTER_DIR, mode 0755 (CUPS runs no filter that its group or
#              others can write) instead of bin.
# AUTOSTART    also install data/<target>.desktop.in, configured, into CORVANE_AUTOSTART_DIR.
# NO_HELP      the program has no --help (the checks then do not run it with one).
#
# Every call but a CUPS filter's needs docs/man/<target>.1.scd. The calls are recorded in the global property
# CORVANE_INSTALLED_PROGRAMS ("<target>|<kind>|<flags>") for the man pages, the package and its check.

# Debian and most distributions name the documentation folder after the package, not the project.
# GNUInstallDirs (which Qt's packages include too) caches an empty value and means its own default by it.
if(NOT CMAKE_INSTALL_DOCDIR)
  set(CMAKE_INSTALL_DOCDIR "share/doc/corvane" CACHE PATH "Documentation folder (DATAROOTDIR/doc/corvane)" FORCE)
endif()
include(GNUInstallDirs)

# CUPS looks for filters only under its own server folder, whatever the install prefix is, so the
# folder is asked from CUPS; without cups-config the Debian and upstream default stands.
if(NOT DEFINED CACHE{CORVANE_CUPS_FILTER_DIR})
  find_program(CORVANE_CUPS_CONFIG cups-config)
  set(_corvane_serverbin /usr/lib/cups)
  if(CORVANE_CUPS_CONFIG)
    execute_process(COMMAND ${CORVANE_CUPS_CONFIG} --serverbin
                    OUTPUT_VARIABLE _corvane_serverbin_out OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE _corvane_serverbin_rc)
    if(_corvane_serverbin_rc EQUAL 0 AND _corvane_serverbin_out MATCHES "^/")
      set(_corvane_serverbin ${_corvane_serverbin_out})
    endif()
  else()
    message(STATUS "cups-config not found: CUPS filters go to ${_corvane_serverbin}/filter")
  endif()
  set(CORVANE_CUPS_FILTER_DIR "${_corvane_serverbin}/filter"
      CACHE PATH "CUPS's filter folder (cups-config --serverbin, then /filter)")
endif()

# Desktop sessions read autostart entries from $XDG_CONFIG_DIRS/autostart, which is /etc/xdg unless the
# session says otherwise; an entry under another prefix would never be seen.
set(CORVANE_AUTOSTART_DIR "/etc/xdg/autostart" CACHE PATH "Folder of the session's autostart entries")

function(corvane_install_program target)
  cmake_parse_arguments(ARG "CUPS_FILTER;AUTOSTART;NO_HELP" "" "" ${ARGN})
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "corvane_install_program(${target}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  set(manSource ${PROJECT_SOURCE_DIR}/docs/man/${target}.1.scd)
  if(NOT ARG_CUPS_FILTER AND NOT EXISTS ${manSource})
    message(FATAL_ERROR "corvane_install_program(${target}): write its man page, docs/man/${target}.1.scd")
  endif()

  set(programPermissions OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  if(ARG_CUPS_FILTER)
    set(kind filter)
    install(TARGETS ${target} RUNTIME DESTINATION ${CORVANE_CUPS_FILTER_DIR} PERMISSIONS ${programPermissions})
  else()
    set(kind bin)
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} PERMISSIONS ${programPermissions})
  endif()

  set(flags "")
  if(ARG_NO_HELP)
    list(APPEND flags nohelp)
  endif()
  if(ARG_AUTOSTART)
    set(entrySource ${PROJECT_SOURCE_DIR}/data/${target}.desktop.in)
    if(NOT EXISTS ${entrySource})
      message(FATAL_ERROR "corvane_install_program(${target} AUTOSTART): no ${entrySource}")
    endif()
    # An Exec without a folder works when the program lands on the usual PATH; elsewhere it is named
    # in full.
    if(CMAKE_INSTALL_FULL_BINDIR STREQUAL "/usr/bin" OR CMAKE_INSTALL_FULL_BINDIR STREQUAL "/usr/local/bin")
      set(CORVANE_EXEC ${target})
    else()
      set(CORVANE_EXEC ${CMAKE_INSTALL_FULL_BINDIR}/${target})
    endif()
    configure_file(${entrySource} ${PROJECT_BINARY_DIR}/data/${target}.desktop @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/data/${target}.desktop DESTINATION ${CORVANE_AUTOSTART_DIR})
    list(APPEND flags autostart)
  endif()
  list(JOIN flags "," flags)
  set_property(GLOBAL APPEND PROPERTY CORVANE_INSTALLED_PROGRAMS "${target}|${kind}|${flags}")
endfunction()
