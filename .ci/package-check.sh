#!/usr/bin/env bash
# Builds a Release tree, makes the Debian package with CPack and checks what it holds: the
# program in usr/bin, the manual page in usr/share/man/man1, the licence as
# usr/share/doc/tollwick/copyright, and a Depends line worked out by
# dpkg-shlibdeps that names the workbook library. Prints the package's metadata and file list.
set -euo pipefail
cd "$(dirname "$0")/.."

# CPack works out the package's dependencies with dpkg-shlibdeps, from dpkg-dev.
if ! command -v dpkg-shlibdeps >/dev/null; then
  if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq dpkg-dev
  else
    echo "package-check: dpkg-shlibdeps is missing (install dpkg-dev)" >&2
    exit 1
  fi
fi

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
require ' \./usr/share/doc/tollwick/copyright$' 'usr/share/doc/tollwick/copyright'
for field in Package Version Architecture Maintainer Section Description Depends; do
  if [ -z "$(dpkg-deb --field "$deb" "$field")" ]; then
    echo "package-check: empty control field $field" >&2
    status=1
  fi
done
[ "$(dpkg-deb --field "$deb" Package)" = tollwick ] || { echo "package-check: wrong name" >&2; status=1; }
[ "$(dpkg-deb --field "$deb" Section)" = utils ] || { echo "package-check: wrong section" >&2; status=1; }
# The workbook writer links libxlsxwriter, so the package depends on its runtime library.
grep -q libxlsxwriter <<<"$(dpkg-deb --field "$deb" Depends)" ||
  { echo "package-check: Depends lacks libxlsxwriter" >&2; status=1; }

# The manual page renders without a warning.
if command -v groff >/dev/null; then
  warnings=$(groff -ww -man -z doc/tollwick.1 2>&1 || true)
  if command -v man >/dev/null; then
    warnings+=$(MANWIDTH=80 man --warnings -l doc/tollwick.1 2>&1 >/dev/null || true)
  fi
  if [ -n "$warnings" ]; then
    echo "package-check: doc/tollwick.1 renders with warnings:" >&2
    echo "$warnings" >&2
    status=1
  fi
fi

# The packaged program runs, and a run over the examples prints statistics and changes no file.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
if [ "$("$unpacked/usr/bin/tollwick" --version)" != $'Tollwick v1.0\r' ]; then
  echo "package-check: the packaged tollwick --version is wrong" >&2
  status=1
fi
before=$(cd examples && find . -type f -exec md5sum {} + | sort)
if ! (cd examples && "$unpacked/usr/bin/tollwick" --all >"$unpacked/examples.csv"); then
  echo "package-check: tollwick --all over examples/ failed" >&2
  status=1
fi
after=$(cd examples && find . -type f -exec md5sum {} + | sort)
if [ "$before" != "$after" ]; then
  echo "package-check: a run over examples/ changed files" >&2
  status=1
fi
echo "== tollwick --all over examples/: $(wc -l <"$unpacked/examples.csv") lines"

if [ $status -eq 0 ]; then
  echo "package-check: $deb is complete"
fi
exit $status
