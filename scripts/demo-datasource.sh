#!/usr/bin/env bash
# Creates the demo data source "QuillbarrowDemo" (SQLite, write-ahead journal)
# in the user's odbc.ini when it is absent, and makes it the saved data
# source name when none is saved.
set -euo pipefail

# The user data source file the driver manager itself reads.
ini=${ODBCINI:-$(odbcinst -j 2>/dev/null | sed -n 's/^USER DATA SOURCES\.*: *//p')}
ini=${ini:-$HOME/.odbc.ini}
data=${XDG_DATA_HOME:-$HOME/.local/share}/quillbarrow
config=${XDG_CONFIG_HOME:-$HOME/.config}
settings=$config/Tolvane.ini

if ! grep -qs '^\[QuillbarrowDemo\]' "$ini"; then
  driver=SQLite3
  if ! odbcinst -q -d -n SQLite3 >/dev/null 2>&1; then
    driver=$(find /usr/lib -name libsqlite3odbc.so -print -quit)
  fi
  mkdir -p "$data" "$(dirname "$ini")"
  [[ ! -s "$ini" ]] || echo >>"$ini"
  cat >>"$ini" <<INI
[QuillbarrowDemo]
Description=Quillbarrow demo database
Driver=$driver
Database=$data/demo.sqlite
JournalMode=WAL
INI
  echo "Created the data source QuillbarrowDemo in $ini ($data/demo.sqlite)."
fi

# The saved name lives under [Quillbarrow] in Tolvane.ini.
mkdir -p "$config"
touch "$settings"
awk -v name=QuillbarrowDemo '
  /^\[/ { if (ours && !done) { print "DataSourceName=" name; done = 1 } ours = ($0 == "[Quillbarrow]"); seen = seen || ours }
  ours && /^DataSourceName=/ { if ($0 != "DataSourceName=") done = 1; else next }
  { print }
  END {
    if (ours && !done) print "DataSourceName=" name
    else if (!seen) { print ""; print "[Quillbarrow]"; print "DataSourceName=" name }
  }' "$settings" >"$settings.new"
mv "$settings.new" "$settings"
