#!/usr/bin/env bash
# Draws doc/page.png: the top of the sales page of the example reports, as headless Chromium
# shows it in a window 1400 pixels wide.
#
# Builds tollwick, runs `tollwick --all --html=...` over a copy of examples/ and lets Chromium
# (through selenium) take the screenshot. Needs chromium, chromium-driver and python3-selenium
# (.ci/install-deps.sh test):
#
#   doc/make-page-picture.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${TOLLWICK_DOC_BUILD:-$root/build-doc}"  # a Release build tree, made when missing
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTOLLWICK_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target tollwick >/dev/null

cp -r "$root/examples" "$work/tree"
(cd "$work/tree" && "$build/tollwick" --all --html="$work/page.html" >/dev/null 2>&1)
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
