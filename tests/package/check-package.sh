#!/usr/bin/env bash
# Usage: check-package.sh CPACK CPACK_CONFIG VERSION
# Builds the Debian package into a temporary folder and checks its files, its
# control fields, that its import program runs, and that the manual page and
# --help name the same options.
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
deb=$work/out/quillbarrow_${version}_$(dpkg --print-architecture).deb
if [[ ! -f "$deb" ]]; then
  fail "no $(basename "$deb"); made: $(cd "$work/out" && ls ./*.deb 2>/dev/null)"
  exit 1
fi

# Paths as dpkg-deb -c prints them, "./usr/...", with the mode in front.
dpkg-deb -c "$deb" | awk '{ print $1, $6 }' >"$work/contents"
for path in usr/bin/quillbarrow usr/bin/quillbarrow-import; do
  grep -Eq "^-..x.* \./$path\$" "$work/contents" || fail "no executable /$path"
done
for path in usr/share/man/man1/quillbarrow.1.gz usr/share/man/man1/quillbarrow-import.1.gz \
            usr/share/applications/quillbarrow.desktop usr/share/icons/hicolor/64x64/apps/quillbarrow.png \
            usr/share/quillbarrow/HAND-M.CUR usr/share/quillbarrow/drag.ico usr/share/quillbarrow/quillbarrow.png; do
  grep -Eq "^-.* \./$path\$" "$work/contents" || fail "no /$path"
done
# Only programs belong in /usr/bin.
others=$(grep -E ' \./usr/bin/.' "$work/contents" | grep -Ev ' \./usr/bin/quillbarrow(-import)?$' || true)
[[ -z "$others" ]] || fail "other files in /usr/bin: $others"

field() { dpkg-deb -f "$deb" "$1"; }
[[ "$(field Package)" == quillbarrow ]] || fail "Package: $(field Package)"
[[ "$(field Version)" == "$version" ]] || fail "Version: $(field Version)"
[[ -n "$(field Maintainer)" ]] || fail "no Maintainer"
[[ -n "$(field Section)" ]] || fail "no Section"
[[ -n "$(field Description)" ]] || fail "no Description"
depends=$(field Depends)
grep -Eq '(^|, )libqt6widgets6( |,|$)' <<<"$depends" || fail "Depends lacks libqt6widgets6: $depends"
grep -Eq '(^|, )libodbc[12]( |,|$)' <<<"$depends" || fail "Depends lacks libodbc: $depends"
grep -Eq '(^|, )libuchardet0( |,|$)' <<<"$depends" || fail "Depends lacks libuchardet0: $depends"
grep -Eq '(^|, )libsqliteodbc( |,|$)' <<<"$(field Recommends)" || fail "Recommends lacks libsqliteodbc: $(field Recommends)"

# The packaged program, not the build's.
dpkg-deb -x "$deb" "$work/root"
import=$work/root/usr/bin/quillbarrow-import
said=$("$import" --version) || fail "quillbarrow-import --version failed"
[[ "$said" == "quillbarrow-import $version" ]] || fail "--version printed: $said"

# The manual pages are well-formed, and the import's page names exactly the
# options --help names.
for page in "$work"/root/usr/share/man/man1/*.1.gz; do
  warnings=$(zcat "$page" | groff -man -ww -z 2>&1)
  [[ -z "$warnings" ]] || fail "$(basename "$page"): $warnings"
done
options() { grep -Eo -- '--[a-z][a-z-]*' | sort -u; }
help_options=$("$import" --help | options)
page_options=$(zcat "$work/root/usr/share/man/man1/quillbarrow-import.1.gz" | groff -man -Tascii -P-cbou 2>/dev/null | options)
[[ "$help_options" == "$page_options" ]] ||
  fail "--help and the manual page name different options:"$'\n'"$(diff <(echo "$help_options") <(echo "$page_options") || true)"

if [[ $failures -gt 0 ]]; then
  echo "$failures check(s) failed for $(basename "$deb")" >&2
  exit 1
fi
echo "$(basename "$deb"): all checks passed"
