#!/usr/bin/env bash
# Builds a Release tree, makes the Debian package with CPack and checks what it holds: the
# program in usr/bin, the manual page in usr/share/man/man1, and a Depends line worked out by
# dpkg-shlibdeps. Prints the package's metadata and file list.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${PACKAGE_BUILD_DIR:-build-package}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTOLLWICK_WERROR=ON -DTOLLWICK_TESTS=OFF
cmake --build "$build" -j2 --target tollwick
(cd "$build" && cpack -G DEB)

shopt -s nullglob
debs=("$build"/tollwick_*.deb)
if [ ${#debs[@]} -ne 1 ]; then
  echo "package-check: expected one tollwick_*.deb in $build, found ${#debs[@]}" >&2
  exit 1
fi
deb=${debs[0]}

echo "== $deb"
dpkg-deb --info "$deb"
listing=$(dpkg -c "$deb")
echo "$listing"

status=0
require() {
  if ! grep -Eq "$1" <<<"$listing"; then
    echo "package-check: missing $2" >&2
    status=1
  fi
}
require ' \./usr/bin/tollwick$' 'usr/bin/tollwick'
require ' \./usr/share/man/man1/tollwick\.1(\.gz)?$' 'usr/share/man/man1/tollwick.1(.gz)'
for field in Package Version Architecture Maintainer Section Description Depends; do
  if [ -z "$(dpkg-deb --field "$deb" "$field")" ]; then
    echo "package-check: empty control field $field" >&2
    status=1
  fi
done
[ "$(dpkg-deb --field "$deb" Package)" = tollwick ] || { echo "package-check: wrong name" >&2; status=1; }
[ "$(dpkg-deb --field "$deb" Section)" = utils ] || { echo "package-check: wrong section" >&2; status=1; }

if [ $status -eq 0 ]; then
  echo "package-check: $deb is complete"
fi
exit $status
