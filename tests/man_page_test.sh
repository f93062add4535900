#!/usr/bin/env bash
# The committed man page is what help2man makes of this build's --help and
# --version (when --help changes, docs/make_man_page.sh must be run again),
# and README's Usage section shows the same --help text.
#   tests/man_page_test.sh build/velloran
set -euo pipefail
root=$(dirname "$(realpath "$0")")/..
made=$(mktemp)
trap 'rm -f "$made"' EXIT
"$root/docs/make_man_page.sh" "$1" "$made"
if ! diff -u "$root/docs/velloran.1" "$made"; then
  echo "docs/velloran.1 is out of date: run docs/make_man_page.sh $1" >&2
  exit 1
fi
# The first fenced block after "## Usage".
awk '/^## Usage/ {usage = 1} usage && /^```/ {if (inside) exit; inside = 1; next} inside' "$root/README.md" > "$made"
if ! "$1" --help | diff -u "$made" -; then
  echo "README's Usage section differs from velloran --help" >&2
  exit 1
fi
echo "docs/velloran.1 and README agree with --help"
