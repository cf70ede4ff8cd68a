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


def check(ok, message):
    if not ok:
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
    check(isinstance(value, int) and cell.number_format == "General",
          f"{cell.coordinate}: unexpected {value!r} shown as {cell.number_format!r}")
    return "count"


def field(cell, kind, sheet):
    value = cell.value
    if kind is None:
        return ""
    if kind == "money":
        return f"{value:.2f}"
    if kind == "date":
        shown = {"Months": "yyyy-mm", "Days": "yyyy-mm-dd"}.get(sheet)
        check(cell.number_format == shown,
              f"{sheet}!{cell.coordinate}: date shown as {cell.number_format!r}")
        return value.strftime("%Y%m" if sheet == "Months" else "%Y%m%d")
    if kind == "count" and cell.column == 1:
        check(sheet == "Years", f"{sheet}!{cell.coordinate}: a number as label")
        return f"{value:04d}"
    text = str(value)  # quoted as standard output quotes it
    if kind == "text" and any(c in text for c in ';"\r\n'):
        text = '"' + text.replace('"', '""') + '"'
    return text


rows_of = lambda sheet: [list(row) for row in sheet.iter_rows()]


def section_text(sheet):
    name = sheet.title
    label_column = 0 if name == "Products" else 1
    check(sheet.freeze_panes == ("A2" if name == "Products" else "B2"),
          f"{name}: header frozen at {sheet.freeze_panes}")
    rows = rows_of(sheet)
    check(rows, f"{name}: no header row")
    lines = []
    column_kinds = {}
    for number, row in enumerate(rows):
        kinds = [kind_of(cell) for cell in row]
        if number == 0:
            check(all(k in ("text", None) for k in kinds) and row[0].font.b,
                  f"{name}: the header row is not bold text")
        else:
            for position, kind in enumerate(kinds):
                if position < label_column or kind is None:
                    continue
                where = f"{name}!{row[position].coordinate}: {kind}"
                if name == "Products":
                    check(kind in (("text",) if position < 6 else ("money", "text")), where)
                else:
                    check(column_kinds.setdefault(position, kind) == kind and kind != "text",
                          where + " in a column of numbers")
        last = max((i for i, k in enumerate(kinds) if k is not None), default=-1)
        lines.append("".join(field(row[i], kinds[i], name) + ";" for i in range(last + 1)))
    # Counts stand before every money column.
    ordered = [column_kinds[p] for p in sorted(column_kinds)]
    check("money" not in ordered or "count" not in ordered[ordered.index("money"):],
          f"{name}: a count column after a money column")
    return lines


def cents(cell):
    """A money cell in hundredths, None when empty."""
    if cell.value is None:
        return None
    check(kind_of(cell) == "money", f"{cell.parent.title}!{cell.coordinate}: not money")
    return round(cell.value * 100)


def check_print_setup(sheet):
    setup, name = sheet.page_setup, sheet.title
    # Fitted to one page wide only up to a quarter wider than a landscape letter page.
    pixels = sum((math.floor(d.width * 7 + 0.5) + 5) * (d.max - d.min + 1)
                 for d in sheet.column_dimensions.values() if d.width and d.min)
    wide = name != "Charts" and pixels > 9.6 * 96 * 1.25
    fitted = sheet.sheet_properties.pageSetUpPr.fitToPage
    check(setup.orientation == "landscape" and (name == "Charts" or fitted != wide) and
          (not fitted or setup.fitToWidth in (None, 1)),
          f"{name}: prints {setup.orientation}, fitted {fitted} {setup.fitToWidth} pages wide"
          f" at {pixels} pixels")
    footer = (sheet.oddFooter.left.text, sheet.oddFooter.right.text)
    check(footer == ("&A", "Page &P of &N"), f"{name}: footer {footer}")
    titles = (sheet.print_title_rows, sheet.print_title_cols)
    check(titles == ((None, None) if name == "Charts" else ("$1:$1", "$A:$A")),
          f"{name}: print titles {titles}")


def money_sheet(book, name, currencies):
    """The Revenue or Markets sheet as (month, parts, total) rows, checked against Months."""
    sheet = book[name]
    check(sheet.freeze_panes == "B2", f"{name}: header frozen at {sheet.freeze_panes}")
    rows = rows_of(sheet)
    header = [c.value for c in rows[0]]
    check(header[0] == "MONTH" and str(header[-1]).startswith("TOTAL "), f"{name}: header {header}")
    table = []
    for row in rows[1:]:
        check((kind_of(row[0]) == "date" and row[0].number_format == "yyyy-mm") or (
            isinstance(row[0].value, str) and row[0].value < "190003"),  # as in Months
              f"{name}!{row[0].coordinate}: month {row[0].value!r}")
        parts = [cents(c) for c in row[1:len(header) - 1]]
        total = cents(row[len(header) - 1])
        # Each part converts each of its currencies, and the total each currency once.
        known = [p for p in parts if p is not None]
        if total is not None and len(known) == len(parts):
            slack = (len([p for p in known if p]) + 1) * currencies / 2
            check(abs(sum(known) - total) <= slack,
                  f"{name}: {row[0].value} parts {sum(known)} against total {total}")
        table.append((row[0].value, parts, total))
    if "Months" in book.sheetnames:
        months = rows_of(book["Months"])
        total_at = [c.value for c in months[0]].index(header[-1])
        expected = [(r[0].value, cents(r[total_at])) for r in months[1:]]
        check([(month, total) for month, _, total in table] == expected,
              f"{name}: months and totals differ from the Months sheet")
    return header[1:-1], table


def series_values(amounts, series):
    """What a chart shows for `series`: each title's own amount, then "Other" for the rest."""
    amounts = dict(amounts)
    shown = [amounts.pop(t, 0) for t in series if t != "Other"]
    if "Other" in series:
        shown.append(sum(amounts.values()))
    return shown


def check_ranked(series, amounts):
    """The series are the ten titles with the most in the range, most first."""
    ranked = sorted((t for t in amounts if amounts[t] > 0), key=lambda t: -amounts[t])
    check([t for t in series if t != "Other"] == ranked[:10],
          f"Charts: series {series} for {amounts}")


def check_charts(book, titles, revenue):
    sheet = book["Charts"]
    check(sheet.freeze_panes is None, "Charts: frozen")
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
    check(len(charts) == expected,
          f"Charts: {len(charts)} charts for {len(data)} months and series {header[2:]}")
    check(all(s.marker is not None and s.marker.symbol not in (None, "none")
              for c in charts if type(c).__name__ == "LineChart" for s in c.series),
          "Charts: a line without markers")
    check(all(c.x_axis.title is not None and c.y_axis.title is not None for c in charts),
          "Charts: an axis without a title")
    check(len(data) == len(revenue), "Charts: not one row per month")
    brought = dict.fromkeys(titles, 0)
    for row, (month, parts, total) in zip(data, revenue):
        label = month[:4] + "-" + month[4:] if isinstance(month, str) else f"{month:%Y-%m}"
        check(row[0].value == label and cents(row[1]) == total,
              f"Charts: month {row[0].value!r} or its total")
        money = dict.fromkeys(titles, 0)
        for title, part in zip(titles, parts):
            money[title] += part or 0
            brought[title] += part or 0
        shown = series_values(money, money_series)
        cells = row[gap + 1:gap + 1 + len(money_series)]
        check([cents(c) or 0 for c in cells] == shown, f"Charts: money of {row[0].value}: {shown}")
    check_ranked(money_series, brought)
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
        expected = series_values(counts, sales_series)
        check([c.value for c in row[2:2 + len(sales_series)]] == expected,
              f"Charts: counts of {row[0].value}: {expected}")
    total = rows_of(book["Total"])
    sold = {}
    for i, title in month_titles:
        sold[title] = sold.get(title, 0) + total[1][i].value
    check_ranked(sales_series, sold)


def main():
    book = openpyxl.load_workbook(sys.argv[1])
    names = book.sheetnames
    shown = [s for s in SECTIONS if s in names]
    check(names == shown + MONEY_SHEETS + ["Charts"], f"sheets {names}")
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
    check([total for _, _, total in revenue] == [total for _, _, total in markets],
          "Revenue and Markets: different totals")
    check_charts(book, titles, revenue)
    sys.stdout.buffer.write("".join(line + "\r\n" for line in out).encode("utf-8"))


if __name__ == "__main__":
    main()
