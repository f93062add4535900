#!/usr/bin/env bash
# Makes docs/velloran.1 from `velloran --help`, `--version`, `--list-formats`
# and `--list-keys` with help2man, and docs/velloran.h2m for the sections
# --help does not hold (@FORMATS@ there is the number of formats, @KEYS@ the
# keys of --browse, as this build has them):
#   docs/make_man_page.sh build/velloran [OUTPUT]
# tests/man_page_test.sh checks that the committed page is what this makes.
set -euo pipefail
tool=$(realpath "$1")
output=${2:-"$(dirname "$0")/velloran.1"}
include=$(mktemp)
trap 'rm -f "$include"' EXIT
formats=$("$tool" --list-formats | grep -vc ' map ')  # the pixel formats; the map layouts follow
# The keys as roff text: a backslash doubled, a minus sign a minus, and a
# line that begins with a dot or a quote kept from being read as a request.
"$tool" --list-keys | sed -e 's/\\/\\\\/g' -e 's/-/\\-/g' -e "s/^\([.']\)/\\\\\&\1/" > "$include.keys"
awk -v formats="$formats" -v keys="$include.keys" '
  /^@KEYS@$/ { while ((getline line < keys) > 0) print line; next }
  { gsub(/@FORMATS@/, formats); print }' "$(dirname "$0")/velloran.h2m" > "$include"
rm -f "$include.keys"
# The version alone, from the first line of --version, and the page's date
# the version's, not the day it was made.
version=$("$tool" --version | head -n 1 | cut -d' ' -f2)
help2man --no-info --section=1 --manual="User Commands" --source="velloran $version" \
  --include="$include" --output="$output" "$tool"
sed -i 's/^\.TH \([^ ]*\) \([^ ]*\) "[^"]*"/.TH \1 \2 "2026"/' "$output"
