#!/usr/bin/env bash
# Draws doc/workbook-charts.png: the "Charts" sheet of the workbook of the example reports, as
# LibreOffice prints it.
#
# Builds tollwick, runs `tollwick --all --workbook=...` over a copy of examples/, lets
# LibreOffice (headless) print the workbook to PDF and turns the last page, the chart sheet's
# only one, into a PNG with pdftoppm. Needs libreoffice-calc-nogui and poppler-utils:
#
#   sudo apt-get install --no-install-recommends libreoffice-calc-nogui poppler-utils
#   doc/make-chart-picture.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${TOLLWICK_DOC_BUILD:-$root/build-doc}"  # a Release build tree, made when missing
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTOLLWICK_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target tollwick >/dev/null

cp -r "$root/examples" "$work/tree"
(cd "$work/tree" && "$build/tollwick" --all --workbook="$work/charts.xlsx" >/dev/null)
(cd "$work" && HOME="$work" libreoffice --headless --convert-to pdf charts.xlsx >/dev/null 2>&1)
last=$(pdfinfo "$work/charts.pdf" | awk '/^Pages:/ { print $2 }')
pdftoppm -png -r 80 -f "$last" -l "$last" -singlefile "$work/charts.pdf" "$root/doc/workbook-charts"
echo "wrote doc/workbook-charts.png"
