#!/usr/bin/env bash
# The committed man page is what help2man makes of this build's --help and
# --version: when --help changes, docs/make_man_page.sh must be run again.
#   tests/man_page_test.sh build/velloran
set -euo pipefail
docs=$(dirname "$(realpath "$0")")/../docs
made=$(mktemp)
trap 'rm -f "$made"' EXIT
"$docs/make_man_page.sh" "$1" "$made"
if ! diff -u "$docs/velloran.1" "$made"; then
  echo "docs/velloran.1 is out of date: run docs/make_man_page.sh $1" >&2
  exit 1
fi
echo "docs/velloran.1 agrees with --help"
