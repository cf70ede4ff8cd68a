#!/bin/sh
# Installs the Debian packages that are missing for one purpose, with sudo unless run as root:
#   build  the program (libxlsxwriter, found through pkg-config, zlib, and Chart.js, which the
#          sales page embeds)
#   test   the program and its tests (also openpyxl, which reads workbooks back, and headless
#          Chromium with its driver and selenium, which open the sales page)
#   ci     everything CI runs (also LibreOffice, which opens and prints the example workbook, and
#          poppler-utils, which measures the printed pages of the workbook and the page)
set -e
packages="pkg-config libxlsxwriter-dev zlib1g-dev libjs-chart.js"
browser="chromium chromium-driver python3-selenium"
case "${1:-build}" in
  build) ;;
  test) packages="$packages python3-openpyxl $browser" ;;
  ci) packages="$packages python3-openpyxl $browser libreoffice-calc-nogui poppler-utils" ;;
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
