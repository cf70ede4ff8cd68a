#!/usr/bin/env bash
# Opens the workbook of a run over examples/ in a real spreadsheet program: LibreOffice, headless,
# converts every sheet to CSV, and each section sheet must hold the values that standard output
# shows (numbers compared as numbers, dates as dates, since the program writes them its own way).
# Usage: .ci/workbook-check.sh [BUILD_DIR]   (default build; needs libreoffice-calc-nogui)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp -r examples "$work/tree"
(cd "$work/tree" && "$OLDPWD/$build/tollwick" --all --workbook=../examples.xlsx >../stdout.csv)
# Sheet by sheet (the last token, -1), raw values rather than as shown (the ninth, false).
(cd "$work" && HOME="$work" libreoffice --headless --convert-to \
  'csv:Text - txt - csv (StarCalc):59,34,76,1,,0,false,true,false,false,false,-1' \
  --outdir "$work/csv" examples.xlsx >/dev/null 2>&1)

python3 - "$work" <<'EOF'
import datetime, pathlib, re, sys

work = pathlib.Path(sys.argv[1])
sections = work.joinpath("stdout.csv").read_bytes().decode().split("\r\n\r\n")
faults = 0

def same(text, shown):
    """A field of standard output against the cell LibreOffice wrote."""
    if text == shown:
        return True
    if re.fullmatch(r"-?\d+\.\d\d", text):  # money: compare the number
        try:
            return round(float(shown) * 100) == round(float(text) * 100)
        except ValueError:
            return False
    if re.fullmatch(r"\d{6}|\d{8}", text):  # a month or a day: compare the date
        for form in ("%Y-%m-%d", "%m/%d/%Y", "%Y-%m", "%m/%d/%y"):
            try:
                date = datetime.datetime.strptime(shown, form)
            except ValueError:
                continue
            return date.strftime("%Y%m%d")[: len(text)] == text
    return False

for name, section in zip(["Products", "Total", "Years", "Months", "Days"], sections):
    path = work / "csv" / f"examples-{name}.csv"
    shown = path.read_text().splitlines()
    lines = section.split("\r\n")
    if len(shown) != len(lines):
        print(f"{name}: {len(shown)} rows, standard output {len(lines)}")
        faults += 1
        continue
    for number, (line, cells) in enumerate(zip(lines, shown), 1):
        fields, cells = line.split(";")[:-1], cells.split(";")
        cells += [""] * (len(fields) - len(cells))
        if len(cells) != len(fields) or not all(map(same, fields, cells)):
            print(f"{name} row {number}:\n  stdout:      {line}\n  LibreOffice: {';'.join(cells)}")
            faults += 1
charts = (work / "csv" / "examples-Charts.csv").read_text()
if "TOTAL EUR" not in charts:
    print("Charts: no table")
    faults += 1
print(f"workbook-check: LibreOffice read {len(sections) - 1} sections,",
      "every value equal" if not faults else f"{faults} faults")
sys.exit(1 if faults else 0)
EOF
