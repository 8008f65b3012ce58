# `cpack -G DEB` in the build folder makes quillbarrow_<version>_<arch>.deb.
# dpkg-shlibdeps finds the libraries the programs link (Qt 6, unixODBC's
# libodbc, uchardet); the SQLite driver is only one choice of data source.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillbarrow)
set(CPACK_PACKAGE_VENDOR Tolvane)
set(CPACK_PACKAGE_CONTACT "Tolvane Quillbarrow team <support@tolvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "load delimited text files into ODBC database tables")
# The extended description, wrapped as Debian wants it.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Quillbarrow loads many delimited text files (comma-, tab- or any-separated)"
  "into tables of a database reached through an ODBC data source: one new table"
  "per file, or every file appended to one existing table. It reads quoted"
  "fields, UTF-16 and other encodings, and sends lines in batches."
  "."
  "This package holds the program with windows, quillbarrow, and"
  "quillbarrow-import, the same import from the command line for scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libsqliteodbc)

include(CPack)
