#!/usr/bin/env bash
# Builds the .deb from a configured build folder, checks its contents and
# Depends, installs it with dpkg, runs a scripted dump with the installed
# velloran (arguments, then piped answers), removes it, and checks that
# nothing it installed is left. Needs root; .ci/run calls it.
#   tests/package_test.sh build
set -euo pipefail
build=$(realpath "$1")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb="$build/velloran_${version}_amd64.deb"
rm -f "$deb"
(cd "$build" && cpack -G DEB > /dev/null)
test -f "$deb" || { echo "no $deb" >&2; exit 1; }

echo "== contents of $(basename "$deb")"
dpkg-deb -c "$deb" | awk '{print $6}' | tee /tmp/velloran-deb-files
for path in ./usr/bin/velloran ./usr/share/man/man1/velloran.1 ./usr/share/doc/velloran/README.md; do
  grep -qx "$path" /tmp/velloran-deb-files || { echo "missing $path" >&2; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
echo "== Depends: $depends"
# Computed from the binary: the C and C++ runtimes it links.
[[ $depends == *libc6* && $depends == *libstdc++6* ]] || { echo "Depends not computed" >&2; exit 1; }

dpkg -i "$deb" > /dev/null
trap 'dpkg -r velloran > /dev/null 2>&1 || true' EXIT
installed=$(dpkg -L velloran | while read -r path; do [ -f "$path" ] && echo "$path"; done)

work=$(mktemp -d)
cd "$work"
python3 -c 'import sys; sys.stdout.buffer.write(bytes(range(256)) * 2)' > rom.bin
mkdir out
by_arguments=$(velloran rom.bin out/ 8 8 2 0)
expected=$'\nOpening: out/snap0000.bmp\nOpening: out/snap0001.bmp\n256'
[ "$by_arguments" = "$expected" ] || { echo "unexpected: $by_arguments" >&2; exit 1; }
piped=$(echo "rom.bin out/ 8 8 2 256" | velloran | tail -n 3)
expected=$'Opening: out/snap0002.bmp\nOpening: out/snap0003.bmp\n512'
[ "$piped" = "$expected" ] || { echo "unexpected: $piped" >&2; exit 1; }
cmp <(tail -c 128 out/snap0000.bmp) <(tail -c 128 out/snap0002.bmp)
[ "$(stat -c %s out/snap0003.bmp)" = 182 ]
cd / && rm -rf "$work"

dpkg -r velloran > /dev/null
trap - EXIT
for path in $installed; do
  [ ! -e "$path" ] || { echo "left behind: $path" >&2; exit 1; }
done
! dpkg -s velloran > /dev/null 2>&1 || dpkg -s velloran | grep -q "deinstall" || { echo "still installed" >&2; exit 1; }
echo "== the .deb installs, dumps and removes cleanly"
