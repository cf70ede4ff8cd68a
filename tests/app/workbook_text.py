#!/usr/bin/python3
"""Reads a workbook written with --workbook and prints its section sheets as the semicolon text
that standard output shows with --headers=1, checking the cell types on the way: texts in the
header rows, integer counts and years, money as numbers shown with two decimals, days and months
as dates. Checks the chart sheet against the Months and Total sheets when they are there.
Any fault goes to standard error with exit status 1."""
import datetime
import sys

import openpyxl

SECTIONS = ["Products", "Total", "Years", "Months", "Days"]
MONEY = "#,##0.00"


def fail(message):
    sys.stderr.write(message + "\n")
    sys.exit(1)


def kind_of(cell):
    """'money', 'count', 'text', 'date' or None, checking what the cell holds."""
    value = cell.value
    if value is None:
        return None
    if isinstance(value, str):
        return "text"
    if isinstance(value, datetime.datetime):
        return "date"
    if cell.number_format == MONEY and isinstance(value, (int, float)):
        return "money"
    if isinstance(value, int) and cell.number_format == "General":
        return "count"
    fail(f"{cell.coordinate}: unexpected {value!r} shown as {cell.number_format!r}")


def field(cell, kind, sheet):
    value = cell.value
    if kind is None:
        return ""
    if kind == "money":
        return f"{value:.2f}"
    if kind == "date":
        shown = {"Months": "yyyy-mm", "Days": "yyyy-mm-dd"}.get(sheet)
        if cell.number_format != shown:
            fail(f"{sheet}!{cell.coordinate}: date shown as {cell.number_format!r}")
        return value.strftime("%Y%m" if sheet == "Months" else "%Y%m%d")
    if kind == "count" and cell.column == 1:
        if sheet != "Years":
            fail(f"{sheet}!{cell.coordinate}: a number as label")
        return f"{value:04d}"
    return str(value)


def rows_of(sheet):
    return [list(row) for row in sheet.iter_rows()]


def section_text(sheet):
    name = sheet.title
    label_column = 0 if name == "Products" else 1
    if sheet.freeze_panes != ("A2" if name == "Products" else "B2"):
        fail(f"{name}: header frozen at {sheet.freeze_panes}")
    rows = rows_of(sheet)
    if not rows:
        fail(f"{name}: no header row")
    lines = []
    column_kinds = {}
    for number, row in enumerate(rows):
        kinds = [kind_of(cell) for cell in row]
        if number == 0:
            if any(k not in ("text", None) for k in kinds) or not row[0].font.b:
                fail(f"{name}: the header row is not bold text")
        else:
            for position, kind in enumerate(kinds):
                if position < label_column or kind is None:
                    continue
                if name == "Products":
                    expected = ("text",) if position < 6 else ("money", "text")
                    if kind not in expected:
                        fail(f"{name}!{row[position].coordinate}: {kind}")
                elif column_kinds.setdefault(position, kind) != kind or kind == "text":
                    fail(f"{name}!{row[position].coordinate}: {kind} in a column of numbers")
        last = max((i for i, k in enumerate(kinds) if k is not None), default=-1)
        lines.append("".join(field(row[i], kinds[i], name) + ";" for i in range(last + 1)))
    # Counts stand before every money column.
    ordered = [column_kinds[p] for p in sorted(column_kinds)]
    if "count" in ordered[ordered.index("money"):] if "money" in ordered else False:
        fail(f"{name}: a count column after a money column")
    return lines


def check_charts(book):
    sheet = book["Charts"]
    if sheet.freeze_panes is not None:
        fail("Charts: frozen")
    rows = [r for r in rows_of(sheet) if any(c.value is not None for c in r)]
    header, data = [c.value for c in rows[0] if c.value is not None], rows[1:]
    charts = sheet._charts
    if len(charts) != (0 if not data else 1 if len(header) == 2 else 2):
        fail(f"Charts: {len(charts)} charts for {len(data)} months and {len(header) - 2} series")
    if "Months" not in book.sheetnames or "Total" not in book.sheetnames:
        return
    months = {r[0].value: r for r in rows_of(book["Months"])[1:]}
    month_header = [c.value for c in rows_of(book["Months"])[0]]
    total_at = month_header.index(header[1])
    if len(months) != len(data):
        fail("Charts: not one row per month")
    titles = [(i, v[6:]) for i, v in enumerate(month_header) if v and v.startswith("TOTAL ")]
    titles = [(i, t) for i, t in titles if i != total_at]
    if not titles:
        return  # without market lines the Months sheet has no title lines to add up
    for row in data:
        month = months.get(row[0].value)
        if month is None or row[0].number_format != "yyyy-mm":
            fail(f"Charts: month {row[0].value!r}")
        if round(row[1].value * 100) != round(month[total_at].value * 100):
            fail(f"Charts: total of {row[0].value}")
        counts = {}
        for i, title in titles:
            counts[title] = counts.get(title, 0) + month[i].value
        shown = header[2:]
        expected = [counts.pop(t, 0) for t in shown if t != "Other"]
        if "Other" in shown:
            expected.append(sum(counts.values()))
        if [c.value for c in row[2:2 + len(shown)]] != expected:
            fail(f"Charts: counts of {row[0].value}: {expected}")
    # The series are the best-selling titles of the range, most first.
    total = rows_of(book["Total"])
    sold = {}
    for i, title in titles:
        sold[title] = sold.get(title, 0) + total[1][i].value
    ranked = [t for t in sold if sold[t] > 0]
    ranked.sort(key=lambda t: -sold[t])
    if [t for t in header[2:] if t != "Other"] != ranked[:10]:
        fail(f"Charts: series {header[2:]} for sales {sold}")


def main():
    book = openpyxl.load_workbook(sys.argv[1])
    names = book.sheetnames
    if names[-1:] != ["Charts"] or names[:-1] != [s for s in SECTIONS if s in names]:
        fail(f"sheets {names}")
    out = []
    for name in names[:-1]:
        out += section_text(book[name]) + [""]
    check_charts(book)
    sys.stdout.buffer.write("".join(line + "\r\n" for line in out).encode("utf-8"))


if __name__ == "__main__":
    main()
