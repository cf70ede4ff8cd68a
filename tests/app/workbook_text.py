#!/usr/bin/python3
"""Prints a --workbook file's section sheets as the text of standard output (--headers=1),
checking cell types, the money and chart sheets against the Months sheet, and the print setup;
any fault goes to standard error with exit status 1."""
import datetime
import math
import sys

import openpyxl

SECTIONS = ["Products", "Total", "Years", "Months", "Days"]
MONEY_SHEETS = ["Revenue", "Markets"]
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
    text = str(value)  # quoted as standard output quotes it
    if kind == "text" and any(c in text for c in ';"\r\n'):
        text = '"' + text.replace('"', '""') + '"'
    return text


rows_of = lambda sheet: [list(row) for row in sheet.iter_rows()]


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


def cents(cell):
    """A money cell in hundredths, None when empty."""
    if cell.value is None:
        return None
    if kind_of(cell) != "money":
        fail(f"{cell.parent.title}!{cell.coordinate}: not money")
    return round(cell.value * 100)


def check_print_setup(sheet):
    setup, name = sheet.page_setup, sheet.title
    # Fitted to one page wide only up to a quarter wider than a landscape letter page.
    pixels = sum((math.floor(d.width * 7 + 0.5) + 5) * (d.max - d.min + 1)
                 for d in sheet.column_dimensions.values() if d.width and d.min)
    wide = name != "Charts" and pixels > 9.6 * 96 * 1.25
    fitted = sheet.sheet_properties.pageSetUpPr.fitToPage
    if setup.orientation != "landscape" or (name != "Charts" and fitted == wide) or (
            fitted and setup.fitToWidth not in (None, 1)):
        fail(f"{name}: prints {setup.orientation}, fitted {fitted} {setup.fitToWidth} pages wide"
             f" at {pixels} pixels")
    if (sheet.oddFooter.left.text, sheet.oddFooter.right.text) != ("&A", "Page &P of &N"):
        fail(f"{name}: footer {sheet.oddFooter.left.text!r} {sheet.oddFooter.right.text!r}")
    titles = (sheet.print_title_rows, sheet.print_title_cols)
    if titles != ((None, None) if name == "Charts" else ("$1:$1", "$A:$A")):
        fail(f"{name}: print titles {titles}")


def money_sheet(book, name, currencies):
    """The Revenue or Markets sheet as (month, parts, total) rows, checked against Months."""
    sheet = book[name]
    if sheet.freeze_panes != "B2":
        fail(f"{name}: header frozen at {sheet.freeze_panes}")
    rows = rows_of(sheet)
    header = [c.value for c in rows[0]]
    if header[0] != "MONTH" or not str(header[-1]).startswith("TOTAL "):
        fail(f"{name}: header {header}")
    table = []
    for row in rows[1:]:
        if (kind_of(row[0]) != "date" or row[0].number_format != "yyyy-mm") and not (
                isinstance(row[0].value, str) and row[0].value < "190003"):  # as in Months
            fail(f"{name}!{row[0].coordinate}: month {row[0].value!r}")
        parts = [cents(c) for c in row[1:len(header) - 1]]
        total = cents(row[len(header) - 1])
        # Each part converts each of its currencies, and the total each currency once.
        known = [p for p in parts if p is not None]
        if total is not None and len(known) == len(parts):
            slack = (len([p for p in known if p]) + 1) * currencies / 2
            if abs(sum(known) - total) > slack:
                fail(f"{name}: {row[0].value} parts {sum(known)} against total {total}")
        table.append((row[0].value, parts, total))
    if "Months" in book.sheetnames:
        months = rows_of(book["Months"])
        total_at = [c.value for c in months[0]].index(header[-1])
        expected = [(r[0].value, cents(r[total_at])) for r in months[1:]]
        if [(month, total) for month, _, total in table] != expected:
            fail(f"{name}: months and totals differ from the Months sheet")
    return header[1:-1], table


def check_charts(book, titles, revenue):
    sheet = book["Charts"]
    if sheet.freeze_panes is not None:
        fail("Charts: frozen")
    rows = rows_of(sheet)
    top = next(i for i, r in enumerate(rows) if r and r[0].value == "MONTH")
    header = [c.value for c in rows[top]]
    while header and header[-1] is None:
        header.pop()
    gap = header.index(None) if None in header else len(header)
    sales_series, money_series = header[2:gap], header[gap + 1:]
    data = [r for r in rows[top + 1:] if r and r[0].value is not None]
    charts = sheet._charts
    expected = 0 if not data else 1 + bool(sales_series) + bool(money_series)
    if len(charts) != expected:
        fail(f"Charts: {len(charts)} charts for {len(data)} months and series {header[2:]}")
    if any(s.marker is None or s.marker.symbol in (None, "none")
           for c in charts if type(c).__name__ == "LineChart" for s in c.series):
        fail("Charts: a line without markers")
    if any(c.x_axis.title is None or c.y_axis.title is None for c in charts):
        fail("Charts: an axis without a title")
    if len(data) != len(revenue):
        fail("Charts: not one row per month")
    brought = dict.fromkeys(titles, 0)
    for row, (month, parts, total) in zip(data, revenue):
        label = month[:4] + "-" + month[4:] if isinstance(month, str) else f"{month:%Y-%m}"
        if row[0].value != label or cents(row[1]) != total:
            fail(f"Charts: month {row[0].value!r} or its total")
        money = dict.fromkeys(titles, 0)
        for title, part in zip(titles, parts):
            money[title] += part or 0
            brought[title] += part or 0
        shown = [money.pop(t, 0) for t in money_series if t != "Other"]
        if "Other" in money_series:
            shown.append(sum(money.values()))
        cells = row[gap + 1:gap + 1 + len(money_series)]
        if [cents(c) or 0 for c in cells] != shown:
            fail(f"Charts: money of {row[0].value}: {shown}")
    ranked = sorted((t for t in brought if brought[t] > 0), key=lambda t: -brought[t])
    if [t for t in money_series if t != "Other"] != ranked[:10]:
        fail(f"Charts: money series {money_series} for {brought}")
    if "Months" not in book.sheetnames or "Total" not in book.sheetnames:
        return
    months = {r[0].value: r for r in rows_of(book["Months"])[1:]}
    month_header = [c.value for c in rows_of(book["Months"])[0]]
    total_at = month_header.index(header[1])
    month_titles = [(i, v[6:]) for i, v in enumerate(month_header) if v and v.startswith("TOTAL ")]
    month_titles = [(i, t) for i, t in month_titles if i != total_at]
    if not month_titles:
        return  # without market lines the Months sheet has no title lines to add up
    for row, (month, _, _) in zip(data, revenue):
        counts = {}
        for i, title in month_titles:
            counts[title] = counts.get(title, 0) + months[month][i].value
        expected = [counts.pop(t, 0) for t in sales_series if t != "Other"]
        if "Other" in sales_series:
            expected.append(sum(counts.values()))
        if [c.value for c in row[2:2 + len(sales_series)]] != expected:
            fail(f"Charts: counts of {row[0].value}: {expected}")
    # The series are the best-selling titles of the range, most first.
    total = rows_of(book["Total"])
    sold = {}
    for i, title in month_titles:
        sold[title] = sold.get(title, 0) + total[1][i].value
    ranked = [t for t in sold if sold[t] > 0]
    ranked.sort(key=lambda t: -sold[t])
    if [t for t in sales_series if t != "Other"] != ranked[:10]:
        fail(f"Charts: series {sales_series} for sales {sold}")


def main():
    book = openpyxl.load_workbook(sys.argv[1])
    names = book.sheetnames
    shown = [s for s in SECTIONS if s in names]
    if names != shown + MONEY_SHEETS + ["Charts"]:
        fail(f"sheets {names}")
    out = []
    for name in shown:
        out += section_text(book[name]) + [""]
    for name in names:
        check_print_setup(book[name])
    # At most four currencies in the trees of the tests, unless the products name more.
    currencies = 4
    if "Products" in names:
        currencies = max(4, len({r[5].value for r in rows_of(book["Products"])[1:]}))
    titles, revenue = money_sheet(book, "Revenue", currencies)
    _, markets = money_sheet(book, "Markets", currencies)
    if [total for _, _, total in revenue] != [total for _, _, total in markets]:
        fail("Revenue and Markets: different totals")
    check_charts(book, titles, revenue)
    sys.stdout.buffer.write("".join(line + "\r\n" for line in out).encode("utf-8"))


if __name__ == "__main__":
    main()
