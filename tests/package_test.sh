#!/usr/bin/env bash
# Builds the .deb from a configured build folder and checks it: lintian passes
# it with no error and no warning; its copyright file holds LICENSE's text and
# its changelog opens with this version; its contents and Depends. Then it
# installs it with dpkg, runs a scripted dump with the installed velloran
# (arguments, then piped answers), removes it, and checks that nothing it
# installed is left. Last, the .deb (and the Windows ZIP, when MinGW-w64 is
# there) built twice from this commit in two fresh clones must be byte for
# byte the same. Needs root; .ci/run calls it.
#   tests/package_test.sh build
set -euo pipefail
build=$(realpath "$1")
root=$(dirname "$(realpath "$0")")/..
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb="$build/velloran_${version}_amd64.deb"
rm -f "$deb"
(cd "$build" && cpack -G DEB > /dev/null)
test -f "$deb" || { echo "no $deb" >&2; exit 1; }

echo "== lintian $(basename "$deb")"
lintian --fail-on error,warning "$deb"

echo "== contents of $(basename "$deb")"
dpkg-deb -c "$deb" | awk '{print $6}' | tee /tmp/velloran-deb-files
for path in ./usr/bin/velloran ./usr/share/man/man1/velloran.1.gz ./usr/share/doc/velloran/README.md \
            ./usr/share/doc/velloran/changelog.gz ./usr/share/doc/velloran/copyright; do
  grep -qx "$path" /tmp/velloran-deb-files || { echo "missing $path" >&2; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
echo "== Depends: $depends"
# Computed from the binary: the C and C++ runtimes it links.
[[ $depends == *libc6* && $depends == *libstdc++6* ]] || { echo "Depends not computed" >&2; exit 1; }

unpacked=$(mktemp -d)
dpkg-deb -x "$deb" "$unpacked"
doc=$unpacked/usr/share/doc/velloran
# The copyright file's Copyright field and licence text are LICENSE's.
copyright_line=$(sed -n 's/^Copyright (c) //p' "$root/LICENSE")
grep -qx "Copyright: $copyright_line" "$doc/copyright" || { echo "copyright holder differs" >&2; exit 1; }
diff <(sed -n '/^Permission /,$p' "$root/LICENSE") \
     <(sed -n '/^License: /,$p' "$doc/copyright" | tail -n +2 | sed 's/^ \.$//; s/^ //') \
  || { echo "the copyright file's licence text is not LICENSE's" >&2; exit 1; }
top_entry=$(zcat "$doc/changelog.gz" | head -n 1)
[ "$top_entry" = "velloran ($version) unstable; urgency=medium" ] || { echo "changelog opens with: $top_entry" >&2; exit 1; }
zcat "$unpacked/usr/share/man/man1/velloran.1.gz" | cmp - "$root/docs/velloran.1"
rm -rf "$unpacked"

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
zcat /usr/share/man/man1/velloran.1.gz | grep -q '^\.SH COPYRIGHT' || { echo "the man page has no copyright" >&2; exit 1; }
cd / && rm -rf "$work"

dpkg -r velloran > /dev/null
trap - EXIT
for path in $installed; do
  [ ! -e "$path" ] || { echo "left behind: $path" >&2; exit 1; }
done
! dpkg -s velloran > /dev/null 2>&1 || dpkg -s velloran | grep -q "deinstall" || { echo "still installed" >&2; exit 1; }
echo "== the .deb installs, dumps and removes cleanly"

# Reproducible: two fresh clones of this commit, in folders of different
# names, each built and packaged; nothing set in the environment.
twice=$(mktemp -d)
for clone in first second-clone; do
  git clone -q "$root" "$twice/$clone"
  (cd "$twice/$clone" && env -u SOURCE_DATE_EPOCH cmake -S . -B build -DBUILD_TESTING=OFF > /dev/null &&
   cmake --build build -j 4 > /dev/null && cd build && env -u SOURCE_DATE_EPOCH cpack -G DEB > /dev/null)
  if command -v x86_64-w64-mingw32-g++-posix > /dev/null; then
    (cd "$twice/$clone" &&
     cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=toolchains/mingw-w64-x86_64.cmake -DBUILD_TESTING=OFF \
       > /dev/null && cmake --build build-windows -j 4 > /dev/null && cd build-windows &&
     env -u SOURCE_DATE_EPOCH cpack -G ZIP > /dev/null)
  fi
done
for package in "build/velloran_${version}_amd64.deb" "build-windows/velloran-${version}-win64.zip"; do
  [ -e "$twice/first/$package" ] || continue
  cmp "$twice/first/$package" "$twice/second-clone/$package"
  echo "== built twice, the same: $(sha256sum "$twice/first/$package" | cut -d' ' -f1)  $(basename "$package")"
done
rm -rf "$twice"
