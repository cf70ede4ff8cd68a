#!/usr/bin/env bash
# Draws doc/workbook-charts.png: the "Charts" sheet of a workbook as LibreOffice shows it.
#
# Builds tollwick and the report generator of bench/, generates two years of reports, runs
# `tollwick --all --workbook=...` with every section off (so the workbook holds only the chart
# sheet), lets LibreOffice (headless) print the workbook to PDF and cuts the first page into a
# PNG with pdftoppm. Needs libreoffice-calc-nogui and poppler-utils:
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
g++ -std=c++20 -O2 "$root/bench/generate_reports.cpp" -o "$work/generate"

"$work/generate" --skus 60 --purchases 20000 --years 2 "$work/tree" >/dev/null
(cd "$work/tree" && "$build/tollwick" --all --prices=0 --date-total=0 --date-year=0 \
  --date-month=0 --date-day=0 --workbook="$work/charts.xlsx" >/dev/null)
(cd "$work" && HOME="$work" libreoffice --headless --convert-to pdf charts.xlsx >/dev/null 2>&1)
pdftoppm -png -r 80 -f 1 -l 1 -singlefile "$work/charts.pdf" "$root/doc/workbook-charts"
echo "wrote doc/workbook-charts.png"
