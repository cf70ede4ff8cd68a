#!/usr/bin/env bash
# Opens the workbook of a run over examples/ in a real spreadsheet program: LibreOffice, headless,
# converts every sheet to CSV, and each section sheet must hold the values that standard output
# shows (numbers compared as numbers, dates as dates, since the program writes them its own way);
# the Revenue and Markets sheets must have one row per MONTH row with its TOTAL, and parts that
# add up to it within rounding. LibreOffice also prints the workbook to PDF: landscape pages,
# the charts on the last, labelled with the month of the examples and no other; then
# .ci/print-measure.py checks that every printed page, of the workbook and of the sales page,
# is readable.
# Usage: .ci/workbook-check.sh [BUILD_DIR]   (default build; needs libreoffice-calc-nogui and
# poppler-utils)
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
(cd "$work" && HOME="$work" libreoffice --headless --convert-to pdf examples.xlsx >/dev/null 2>&1)
pdfinfo -f 1 -l 1000 "$work/examples.pdf" >"$work/pages.txt"
pdftotext -layout "$work/examples.pdf" "$work/pages.pdf.txt"

python3 - "$work" <<'EOF'
import datetime, pathlib, re, sys, zipfile

work = pathlib.Path(sys.argv[1])
sections = work.joinpath("stdout.csv").read_bytes().decode().split("\r\n\r\n")
faults = 0

def fault(text):
    global faults
    print(text)
    faults += 1

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

def sheet(name):
    path = work / "csv" / f"examples-{name}.csv"
    if not path.exists():
        fault(f"{name}: no such sheet")
        return [""]
    return path.read_text().splitlines()

names = ["Products", "Total", "Years", "Months", "Days"]
for name, section in zip(names, sections):
    shown = sheet(name)
    lines = section.split("\r\n")
    if len(shown) != len(lines):
        fault(f"{name}: {len(shown)} rows, standard output {len(lines)}")
        continue
    for number, (line, cells) in enumerate(zip(lines, shown), 1):
        fields, cells = line.split(";")[:-1], cells.split(";")
        cells += [""] * (len(fields) - len(cells))
        if len(cells) != len(fields) or not all(map(same, fields, cells)):
            fault(f"{name} row {number}:\n  stdout:      {line}\n  LibreOffice: {';'.join(cells)}")

# Revenue and Markets: the months and totals of the MONTH section; the examples' two currencies
# convert once in the total and once per part.
month_lines = sections[3].split("\r\n")
total_at = month_lines[0].split(";").index("TOTAL EUR")
months = [line.split(";") for line in month_lines[1:]]
for name in ["Revenue", "Markets"]:
    rows = [row.split(";") for row in sheet(name)]
    if rows[0][0] != "MONTH" or rows[0][-1] != "TOTAL EUR" or len(rows) - 1 != len(months):
        fault(f"{name}: header {rows[0]} and {len(rows) - 1} rows for {len(months)} months")
        continue
    for row, month in zip(rows[1:], months):
        parts = [round(float(cell or 0) * 100) for cell in row[1:-1]]
        if not same(month[0], row[0]) or not same(month[total_at], row[-1]):
            fault(f"{name}: {row[0]} {row[-1]} against MONTH {month[0]} {month[total_at]}")
        elif abs(sum(parts) - round(float(row[-1]) * 100)) > len(parts) + 1:  # half a cent each
            fault(f"{name}: {row[0]} parts {parts} against the total {row[-1]}")
charts = "\n".join(sheet("Charts"))
if "TOTAL EUR" not in charts or "2026-11" not in charts:
    fault("Charts: no table")

# The charts: three, a line with its markers, as written into the workbook.
book = zipfile.ZipFile(work / "examples.xlsx")
drawn = [book.read(n).decode() for n in book.namelist() if n.startswith("xl/charts/chart")]
if len(drawn) < 3:
    fault(f"{len(drawn)} charts")
if any("<c:lineChart>" in c and '<c:symbol val="none"/>' in c for c in drawn):
    fault("a line chart hides its markers")

# Printed: landscape pages, at least one per sheet (a wide sheet prints across pages); the
# charts, on the last page, labelled with the examples' month, November 2026, and no other.
sizes = re.findall(r"Page +\d+ size: +([\d.]+) x ([\d.]+)", (work / "pages.txt").read_text())
sheets = names + ["Revenue", "Markets", "Charts"]
if len(sizes) < len(sheets) or any(float(w) <= float(h) for w, h in sizes):
    fault(f"printed as {len(sizes)} pages of {sizes} for {len(sheets)} sheets")
printed = (work / "pages.pdf.txt").read_text().rstrip("\f").split("\f")[-1]
labels = set(re.findall(r"\b\d{4}-\d\d\b", printed))
if labels != {"2026-11"} or printed.count("Money per month") != 1:
    fault(f"the printed charts show the months {labels}")

print(f"workbook-check: LibreOffice read {len(names)} sections, Revenue and Markets and printed",
      f"{len(sizes)} pages,", "every value equal" if not faults else f"{faults} faults")
sys.exit(1 if faults else 0)
EOF

# Every printed page readable, for the examples and a wide tree.
/usr/bin/python3 .ci/print-measure.py "$build"
