# The Debian package (cpack -G DEB in the build folder) and what it installs beside the
# programs: the menu's launcher with the default config.xml, the manual pages, the copyright
# file, the changelog and the AppStream metadata.
set(pkg_src ${CMAKE_CURRENT_LIST_DIR})
set(pkg_out ${CMAKE_BINARY_DIR}/packaging)
set(REGISTRADOR_HOMEPAGE "https://calorimetria.org.br/registrador")
set(REGISTRADOR_APPSTREAM_ID "br.org.calorimetria.registrador")

# The changelog is the one record of the releases: its latest entry must be this version, and it
# gives the package its maintainer and the AppStream metadata its releases.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${pkg_src}/changelog)
file(STRINGS ${pkg_src}/changelog changelog_lines ENCODING UTF-8)
set(changelog_versions)
set(changelog_dates)
set(changelog_maintainer)
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
foreach(line IN LISTS changelog_lines)
  if(line MATCHES "^registrador \\(([^)]+)\\) ")
    list(APPEND changelog_versions ${CMAKE_MATCH_1})
  elseif(line MATCHES "^ -- (.+ <[^>]+>)  [A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    if(NOT changelog_maintainer)
      set(changelog_maintainer "${CMAKE_MATCH_1}")
    endif()
    set(day ${CMAKE_MATCH_2})
    set(year ${CMAKE_MATCH_4})
    list(FIND months ${CMAKE_MATCH_3} month)
    math(EXPR month "${month} + 1" OUTPUT_FORMAT DECIMAL)
    if(month LESS 10)
      set(month "0${month}")
    endif()
    list(APPEND changelog_dates "${year}-${month}-${day}")
  endif()
endforeach()
list(LENGTH changelog_versions n_versions)
list(LENGTH changelog_dates n_dates)
if(n_versions EQUAL 0 OR NOT n_versions EQUAL n_dates OR NOT changelog_maintainer)
  message(FATAL_ERROR "packaging/changelog: every entry needs a heading line and a trailer line")
endif()
list(GET changelog_versions 0 changelog_latest)
if(NOT changelog_latest STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog: the latest entry is ${changelog_latest}, the project is "
                      "${PROJECT_VERSION}; add an entry for ${PROJECT_VERSION}")
endif()
set(REGISTRADOR_APPSTREAM_RELEASES)
math(EXPR last "${n_versions} - 1")
foreach(i RANGE ${last})
  list(GET changelog_versions ${i} v)
  list(GET changelog_dates ${i} d)
  string(APPEND REGISTRADOR_APPSTREAM_RELEASES "    <release version=\"${v}\" date=\"${d}\"/>\n")
endforeach()
string(STRIP "${REGISTRADOR_APPSTREAM_RELEASES}" REGISTRADOR_APPSTREAM_RELEASES)
string(PREPEND REGISTRADOR_APPSTREAM_RELEASES "    ")
set(metainfo ${pkg_out}/${REGISTRADOR_APPSTREAM_ID}.metainfo.xml)
configure_file(${pkg_src}/registrador.metainfo.xml.in ${metainfo} @ONLY)

# The menu's launcher and the Debian files are for Linux; on Windows config.xml stays beside
# the program, where its setup program puts it.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  install(PROGRAMS ${pkg_src}/registrador-menu DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${pkg_src}/config.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/registrador)
  install(FILES ${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

  # Debian keeps manual pages and changelogs compressed, without a time stamp in the gzip header
  # so that the same sources give the same package.
  find_program(GZIP gzip REQUIRED)
  set(gz_files)
  function(registrador_gzip source target)
    string(REGEX REPLACE "\\.gz$" "" plain ${pkg_out}/${target})
    add_custom_command(OUTPUT ${pkg_out}/${target}
      COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
      COMMAND ${GZIP} -9nf ${plain}
      DEPENDS ${source} VERBATIM)
    set(gz_files ${gz_files} ${pkg_out}/${target} PARENT_SCOPE)
  endfunction()
  registrador_gzip(${pkg_src}/man/registrador.1 registrador.1.gz)
  registrador_gzip(${pkg_src}/man/registrador-menu.1 registrador-menu.1.gz)
  registrador_gzip(${pkg_src}/man/registrador-emulador.1 registrador-emulador.1.gz)
  registrador_gzip(${pkg_src}/man/registrador-emulador-balanca.1 registrador-emulador-balanca.1.gz)
  registrador_gzip(${CMAKE_SOURCE_DIR}/data/registrador-cli.1 registrador-cli.1.gz)
  registrador_gzip(${pkg_src}/changelog changelog.gz)
  add_custom_target(registrador_packaging_files ALL DEPENDS ${gz_files})

  list(FILTER gz_files INCLUDE REGEX "\\.1\\.gz$")
  install(FILES ${gz_files} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${pkg_src}/copyright ${pkg_out}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/registrador)
endif()

set(CPACK_PACKAGE_NAME registrador)
set(CPACK_PACKAGE_VENDOR "Equipe do Registrador")
set(CPACK_PACKAGE_CONTACT "${changelog_maintainer}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${REGISTRADOR_HOMEPAGE}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The synopsis, then the long description (cpack puts the synopsis first): they must say
# different things, in lines of at most 80 characters.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "data logger program for a bomb calorimeter")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Downloads the memory of the calorimeter's data logger over a serial line and
shows each test: the internal and the external temperature in a table and a
chart. Saves and opens data files, exports spreadsheets and CSV, and evaluates
the corrected temperature rise, the energy equivalent and the gross calorific
value (Regnault-Pfaundler or Dickinson). The user interface is in Brazilian
Portuguese.

With registrador-cli, the same operations without a window, and
registrador-emulador, a logger emulator on a pseudo-terminal for trying the
program without the instrument.")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# Qt loads these as plugins, so no library link names them: the SVG icon engine draws the
# window icon. (The xcb platform plugin ships in libqt6gui6, which the programs link.)
# registrador-cli's results database loads its SQL driver the same way: SQLite always,
# PostgreSQL for a lab's server.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, libqt6sql6-sqlite, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-psql")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
