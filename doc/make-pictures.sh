#!/usr/bin/env bash
# Draws the README's pictures of the example reports:
#   doc/workbook-charts.png  the "Charts" sheet of the workbook, as LibreOffice prints it (the
#                            last page of its PDF, turned into a PNG by pdftoppm);
#   doc/page.png             the top of the sales page, as headless Chromium shows it in a
#                            window 1400 pixels wide (through selenium).
#
# Builds tollwick and runs `tollwick --all --workbook=... --html=...` over a copy of examples/.
# Needs libreoffice-calc-nogui, poppler-utils, chromium, chromium-driver and python3-selenium
# (.ci/install-deps.sh ci):
#
#   doc/make-pictures.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${TOLLWICK_DOC_BUILD:-$root/build-doc}"  # a Release build tree, made when missing
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTOLLWICK_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target tollwick >/dev/null

cp -r "$root/examples" "$work/tree"
(cd "$work/tree" && "$build/tollwick" --all --workbook="$work/charts.xlsx" \
  --html="$work/page.html" >/dev/null 2>&1)

(cd "$work" && HOME="$work" libreoffice --headless --convert-to pdf charts.xlsx >/dev/null 2>&1)
last=$(pdfinfo "$work/charts.pdf" | awk '/^Pages:/ { print $2 }')
pdftoppm -png -r 80 -f "$last" -l "$last" -singlefile "$work/charts.pdf" "$root/doc/workbook-charts"
echo "wrote $root/doc/workbook-charts.png"

/usr/bin/python3 - "$work" "$root/doc/page.png" <<'PYTHON'
import sys
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
work, picture = sys.argv[1], sys.argv[2]
options = webdriver.ChromeOptions()
for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--hide-scrollbars", "--window-size=1400,1500", "--user-data-dir=" + work + "/profile"]:
    options.add_argument(flag)
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
try:
    driver.get("file://" + work + "/page.html")
    driver.save_screenshot(picture)
finally:
    driver.quit()
PYTHON
echo "wrote $root/doc/page.png"
