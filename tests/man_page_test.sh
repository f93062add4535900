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
# The title line whole (a --version of several lines once spread it over
# four), the sections, every option of --help and every key of the view.
version=$("$1" --version | head -n 1 | cut -d' ' -f2)
page="$root/docs/velloran.1"
fail() { echo "$*" >&2; exit 1; }
sed -n 2p "$page" | grep -qxF ".TH VELLORAN \"1\" \"2026\" \"velloran $version\" \"User Commands\"" ||
  fail "the man page's title line is not whole: $(sed -n 2p "$page")"
nroff -man "$page" 2>/dev/null | head -n 1 | grep -qE '^VELLORAN\(1\) +User Commands +VELLORAN\(1\)$' ||
  fail "the man page does not start with its title"
for section in NAME SYNOPSIS DESCRIPTION OPTIONS '"FILE FORMAT"' EXAMPLES COPYRIGHT; do
  grep -qxF ".SH $section" "$page" || fail "the man page has no section $section"
done
rendered=$(nroff -man "$page" 2>/dev/null | col -bx)
for option in $("$1" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
  grep -qF -- "$option" <<< "$rendered" || fail "the man page does not name $option"
done
while IFS= read -r key; do
  grep -qF -- "$(sed 's/  */ /g' <<< "$key")" <<< "$(sed 's/  */ /g' <<< "$rendered")" || fail "the man page lacks the key line: $key"
done < <("$1" --list-keys)
# README's numbers and names are the build's.
formats=$("$1" --list-formats | grep -vc ' map ')
grep -qF "names one of $((formats - 1)) other layouts" "$root/README.md" ||
  fail "README does not say the build's $((formats - 1)) other layouts"
for name in $(grep -oE 'velloran[-_][0-9][0-9.]*[-_](win64\.zip|amd64\.deb)' "$root/README.md" | sort -u); do
  [[ $name == "velloran-$version-win64.zip" || $name == "velloran_${version}_amd64.deb" ]] ||
    fail "README names $name, but this build makes version $version"
done
echo "docs/velloran.1 and README agree with --help, --list-formats and --list-keys"
