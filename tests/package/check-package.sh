#!/usr/bin/env bash
# Usage: check-package.sh CPACK CPACK_CONFIG VERSION
# Builds the two Debian packages into a temporary folder and checks their
# files, their control fields and lintian's verdict; that quillbarrow-import
# runs from its own package alone and needs no Qt; that the manual pages and
# --help name the same options; and that the bash completion completes
# options and data source names.
set -euo pipefail

if [[ $# -ne 3 ]]; then
  echo "usage: $0 CPACK CPACK_CONFIG VERSION" >&2
  exit 2
fi
cpack=$1 config=$2 version=$3

work=$(mktemp -d "${TMPDIR:-/tmp}/qb-package-XXXXXX")
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

if ! "$cpack" --config "$config" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  fail "cpack -G DEB failed"
  exit 1
fi
made=$(cd "$work/out" && echo *.deb)

# The Debian version is the one the changelog's first entry names, and its
# upstream part the project's.
window_deb=$(ls "$work"/out/quillbarrow_*.deb 2>/dev/null || true)
[[ -f "$window_deb" ]] || { fail "no quillbarrow package; made: $made"; exit 1; }
dpkg-deb -x "$window_deb" "$work/window"
zcat "$work/window/usr/share/doc/quillbarrow/changelog.Debian.gz" >"$work/changelog" ||
  { fail "quillbarrow has no changelog.Debian.gz"; exit 1; }
debian_version=$(dpkg-parsechangelog -l "$work/changelog" -S Version)
[[ "$debian_version" == "$version"-* ]] ||
  fail "the changelog's first entry is $debian_version, not for version $version"
arch=$(dpkg --print-architecture)
import_deb=$work/out/quillbarrow-import_${debian_version}_${arch}.deb
[[ -f "$import_deb" ]] || { fail "no $(basename "$import_deb"); made: $made"; exit 1; }
dpkg-deb -x "$import_deb" "$work/import"

# Paths as dpkg-deb -c prints them, "./usr/...", with the mode in front.
# PACKAGE DEB PROGRAM FILE...: the package holds its one program and FILEs.
check_files() {
  local package=$1 deb=$2 program=$3 path
  shift 3
  dpkg-deb -c "$deb" | awk '{ print $1, $6 }' >"$work/$package.contents"
  grep -Eq "^-..x.* \./usr/bin/$program\$" "$work/$package.contents" || fail "$package: no executable /usr/bin/$program"
  for path in "$@" usr/share/doc/$package/copyright usr/share/doc/$package/changelog.Debian.gz; do
    grep -Eq "^-.* \./$path\$" "$work/$package.contents" || fail "$package: no /$path"
  done
  local others
  others=$(grep -E ' \./usr/bin/.' "$work/$package.contents" | grep -Ev " \./usr/bin/$program\$" || true)
  [[ -z "$others" ]] || fail "$package: other files in /usr/bin: $others"
  field() { dpkg-deb -f "$deb" "$1"; }
  [[ "$(field Package)" == "$package" ]] || fail "$package: Package: $(field Package)"
  [[ "$(field Version)" == "$debian_version" ]] || fail "$package: Version: $(field Version)"
  [[ -n "$(field Maintainer)" ]] || fail "$package: no Maintainer"
  [[ -n "$(field Section)" ]] || fail "$package: no Section"
  [[ -n "$(field Description)" ]] || fail "$package: no Description"
  depends=$(field Depends)
  grep -Eq '(^|, )libodbc[12]( |,|$)' <<<"$depends" || fail "$package: Depends lacks libodbc: $depends"
  grep -Eq '(^|, )libuchardet0( |,|$)' <<<"$depends" || fail "$package: Depends lacks libuchardet0: $depends"
  grep -Eq '(^|, )libsqliteodbc( |,|$)' <<<"$(field Recommends)" || fail "$package: Recommends lacks libsqliteodbc"
}
check_files quillbarrow "$window_deb" quillbarrow \
  usr/share/man/man1/quillbarrow.1.gz usr/share/applications/quillbarrow.desktop \
  usr/share/icons/hicolor/64x64/apps/quillbarrow.png \
  usr/share/quillbarrow/HAND-M.CUR usr/share/quillbarrow/drag.ico usr/share/quillbarrow/quillbarrow.png
grep -Eq '(^|, )libqt6widgets6( |,|$)' <<<"$depends" || fail "quillbarrow: Depends lacks libqt6widgets6: $depends"
check_files quillbarrow-import "$import_deb" quillbarrow-import \
  usr/share/man/man1/quillbarrow-import.1.gz usr/share/bash-completion/completions/quillbarrow-import
# A server installs the command line without Qt.
! grep -qi 'qt' <<<"$depends" || fail "quillbarrow-import depends on Qt: $depends"
# Two packages holding one file cannot both be installed.
shared=$(comm -12 <(grep -v '^d' "$work/quillbarrow.contents" | cut -d' ' -f2 | sort) \
                  <(grep -v '^d' "$work/quillbarrow-import.contents" | cut -d' ' -f2 | sort))
[[ -z "$shared" ]] || fail "files in both packages: $shared"

# Errors and warnings fail; pedantic and informational tags do not.
if ! command -v lintian >/dev/null; then
  fail "lintian is not installed (scripts/deps.sh test installs it)"
elif ! lintian --fail-on error,warning "$window_deb" "$import_deb" >"$work/lintian.log" 2>&1; then
  fail "lintian:"$'\n'"$(cat "$work/lintian.log")"
fi

# The packaged program, from its own package alone.
import=$work/import/usr/bin/quillbarrow-import
said=$("$import" --version) || fail "quillbarrow-import --version failed"
[[ "$said" == "quillbarrow-import $version" ]] || fail "--version printed: $said"
"$import" --help >"$work/help" || fail "quillbarrow-import --help failed"

# The manual pages are well-formed, and the import's page names exactly the
# options --help names.
for page in "$work"/window/usr/share/man/man1/*.1.gz "$work"/import/usr/share/man/man1/*.1.gz; do
  warnings=$(zcat "$page" | groff -man -ww -z 2>&1)
  [[ -z "$warnings" ]] || fail "$(basename "$page"): $warnings"
done
options() { grep -Eo -- '--[a-z][a-z-]*' | sort -u; }
help_options=$(options <"$work/help")
# Unhyphenated and on long lines, so that no option is split.
page_options=$(zcat "$work/import/usr/share/man/man1/quillbarrow-import.1.gz" |
  groff -man -Tascii -P-cbou -rHY=0 -rLL=200n 2>/dev/null | options)
[[ "$help_options" == "$page_options" ]] ||
  fail "--help and the manual page name different options:"$'\n'"$(diff <(echo "$help_options") <(echo "$page_options") || true)"

# The completion, as bash runs it for "quillbarrow-import WORD... CURRENT",
# against a driver manager that knows one data source.
mkdir "$work/odbcsys"
printf '[QbCompletionProbe]\nDriver=SQLite3\nDatabase=%s/probe.sqlite\n' "$work" >"$work/odbc.ini"
complete_line() {
  PATH="$work/import/usr/bin:$PATH" ODBCSYSINI="$work/odbcsys" ODBCINI="$work/odbc.ini" bash -c '
    source "$1"; shift
    COMP_WORDS=("$@") COMP_CWORD=$(($# - 1))
    _quillbarrow_import
    printf "%s\n" "${COMPREPLY[@]}"' _ \
    "$work/import/usr/share/bash-completion/completions/quillbarrow-import" quillbarrow-import "$@"
}
said=$(complete_line --ds)
[[ "$said" == --dsn ]] || fail "completing --ds gave: $said"
said=$(complete_line -- | grep -vx -- -- | sort -u)
[[ "$said" == "$help_options" ]] ||
  fail "completing -- and --help give different options:"$'\n'"$(diff <(echo "$help_options") <(echo "$said") || true)"
said=$(complete_line --dsn '')
grep -qx QbCompletionProbe <<<"$said" || fail "completing after --dsn gave: $said"

if [[ $failures -gt 0 ]]; then
  echo "$failures check(s) failed for $made" >&2
  exit 1
fi
echo "$made: all checks passed"
