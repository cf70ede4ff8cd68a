#!/bin/sh
# Installs the Debian packages that are missing for one purpose, with sudo unless run as root:
#   build  the program (libxlsxwriter, found through pkg-config, and zlib)
#   test   the program and its tests (also openpyxl, which reads workbooks back)
#   ci     everything CI runs (also LibreOffice, which opens and prints the example workbook,
#          and poppler-utils, which reads the printed pages)
set -e
packages="pkg-config libxlsxwriter-dev zlib1g-dev"
case "${1:-build}" in
  build) ;;
  test) packages="$packages python3-openpyxl" ;;
  ci) packages="$packages python3-openpyxl libreoffice-calc-nogui poppler-utils" ;;
  *) echo "usage: $0 [build|test|ci]" >&2; exit 2 ;;
esac
missing=""
for package in $packages; do
  dpkg -s "$package" >/dev/null 2>&1 || missing="$missing $package"
done
[ -z "$missing" ] && exit 0
echo "installing$missing"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update -q
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
