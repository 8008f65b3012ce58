# `cpack -G DEB` in the build folder makes two packages from one build:
# quillbarrow_<version>-1_<arch>.deb, the program with windows, and
# quillbarrow-import_<version>-1_<arch>.deb, the command line without Qt, for
# servers. They share no files and the window never runs the command line, so
# neither depends on the other. dpkg-shlibdeps finds each one's libraries; the
# SQLite driver is only one choice of data source.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillbarrow)
set(CPACK_PACKAGE_VENDOR Tolvane)
set(CPACK_PACKAGE_CONTACT "Tolvane Quillbarrow team <support@tolvane.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL window import)
set(CPACK_COMPONENTS_GROUPING IGNORE)

# The descriptions, wrapped as Debian wants them: the first line is the
# synopsis. No CPACK_PACKAGE_DESCRIPTION_SUMMARY, which CPack would put in
# front of each as a synopsis shared by both.
set(qb_what_it_does
  "Quillbarrow loads many delimited text files (comma-, tab- or any-separated)"
  "into tables of a database reached through an ODBC data source: one new table"
  "per file, or every file appended to one existing table. It reads quoted"
  "fields, UTF-16 and other encodings, and sends lines in batches."
  ".")
string(JOIN "\n" CPACK_COMPONENT_WINDOW_DESCRIPTION
  "load delimited text files into ODBC database tables"
  ${qb_what_it_does}
  "This package holds the program with windows, quillbarrow. The same import"
  "from the command line, for scripts, is in quillbarrow-import.")
string(JOIN "\n" CPACK_COMPONENT_IMPORT_DESCRIPTION
  "load delimited text files into ODBC tables from the command line"
  ${qb_what_it_does}
  "This package holds quillbarrow-import, the import from the command line,"
  "for scripts and servers; it needs no graphical libraries.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME quillbarrow)
set(CPACK_DEBIAN_IMPORT_PACKAGE_NAME quillbarrow-import)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libsqliteodbc)

# Each package's copyright, Debian changelog and lintian overrides. The
# changelog's first entry must name the packages' version (checked by
# tests/package/check-package.sh).
find_program(QB_GZIP gzip REQUIRED)
set(qb_changelog ${CMAKE_BINARY_DIR}/changelog.Debian.gz)
add_custom_command(OUTPUT ${qb_changelog}
  COMMAND ${QB_GZIP} -9 -n -c ${CMAKE_CURRENT_LIST_DIR}/debian/changelog > ${qb_changelog}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/debian/changelog)
add_custom_target(debian_changelog ALL DEPENDS ${qb_changelog})
set(qb_packages quillbarrow quillbarrow-import)
foreach(package component IN ZIP_LISTS qb_packages CPACK_COMPONENTS_ALL)
  install(FILES ${qb_changelog} ${CMAKE_CURRENT_LIST_DIR}/debian/copyright
          DESTINATION share/doc/${package} COMPONENT ${component})
  configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/lintian-overrides.in overrides/${package} @ONLY)
  # Only for the packages: a plain cmake --install leaves it out.
  install(FILES ${CMAKE_BINARY_DIR}/overrides/${package}
          DESTINATION share/lintian/overrides COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

include(CPack)
