#!/usr/bin/env bash
# Makes docs/velloran.1 from `velloran --help` and `--version` with help2man,
# and docs/velloran.h2m for the sections --help does not hold:
#   docs/make_man_page.sh build/velloran [OUTPUT]
# tests/man_page_test.sh checks that the committed page is what this makes.
set -euo pipefail
tool=$(realpath "$1")
output=${2:-"$(dirname "$0")/velloran.1"}
# The page's date is the version's, not the day it was made.
help2man --no-info --section=1 --manual="User Commands" --source="velloran $("$tool" --version | cut -d' ' -f2)" \
  --include="$(dirname "$0")/velloran.h2m" --output="$output" "$tool"
sed -i 's/^\.TH \([^ ]*\) \([^ ]*\) "[^"]*"/.TH \1 \2 "2026"/' "$output"
