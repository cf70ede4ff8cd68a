#!/usr/bin/python3
"""Prints a --workbook file's section sheets as the text of standard output (--headers=1),
checking cell types, the money and chart sheets against the Months sheet, and the print setup;
any fault goes to standard error with exit status 1."""
import datetime
import math
import sys

import openpyxl

SECTIONS = ["Products", "Total", "Years", "Months", "Days"]
MONEY = "#,##0.00"
DATES = {"Months": ("yyyy-mm", "%Y%m"), "Days": ("yyyy-mm-dd", "%Y%m%d")}


def check(ok, message):
    if not ok:
        sys.exit(message)  # to standard error, with exit status 1


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


def field(cell, sheet):
    """The cell as standard output shows it in the section `sheet`."""
    kind, value = kind_of(cell), cell.value
    if kind == "money":
        return f"{value:.2f}"
    if kind == "date":
        shown, written = DATES.get(sheet, (None, None))
        check(cell.number_format == shown,
              f"{sheet}!{cell.coordinate}: date shown as {cell.number_format!r}")
        return value.strftime(written)
    if kind == "count" and cell.column == 1:
        check(sheet == "Years", f"{sheet}!{cell.coordinate}: a number as label")
        return f"{value:04d}"
    text = "" if value is None else str(value)
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
    check(rows and all(kind_of(c) in ("text", None) for c in rows[0]) and rows[0][0].font.b,
          f"{name}: no header row of bold text")
    column_kinds = {}
    for cell in (c for row in rows[1:] for c in row[label_column:] if c.value is not None):
        kind, where = kind_of(cell), f"{name}!{cell.coordinate}"
        if name == "Products":
            check(kind in (("text",) if cell.column <= 6 else ("money", "text")), where)
        else:
            check(column_kinds.setdefault(cell.column, kind) == kind and kind != "text",
                  f"{where}: {kind} in a column of numbers")
    lines = []
    for row in rows:
        last = max((i for i, c in enumerate(row) if c.value is not None), default=-1)
        lines.append("".join(field(c, name) + ";" for c in row[:last + 1]))
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
    titles = (sheet.print_title_rows, sheet.print_title_cols)
    check(footer == ("&A", "Page &P of &N") and
          titles == ((None, None) if name == "Charts" else ("$1:$1", "$A:$A")),
          f"{name}: footer {footer}, print titles {titles}")


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


def check_series(data, at, series, monthly, overall, read):
    """Chart columns from `at` show each month each title of `series`, then "Other" for the rest;
    the series are the ten titles with the most overall, most first."""
    for row, amounts in zip(data, monthly):
        rest = dict(amounts)
        shown = [rest.pop(t, 0) for t in series if t != "Other"]
        if "Other" in series:
            shown.append(sum(rest.values()))
        check([read(c) for c in row[at:at + len(series)]] == shown,
              f"Charts: {series} of {row[0].value}: {shown}")
    ranked = sorted((t for t in overall if overall[t] > 0), key=lambda t: -overall[t])
    check([t for t in series if t != "Other"] == ranked[:10],
          f"Charts: series {series} for {overall}")


def sum_by_title(pairs):
    sums = {}
    for title, amount in pairs:
        sums[title] = sums.get(title, 0) + (amount or 0)
    return sums


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
    check(all(c.x_axis.title is not None and c.y_axis.title is not None for c in charts) and
          all(s.marker is not None and s.marker.symbol not in (None, "none")
              for c in charts if type(c).__name__ == "LineChart" for s in c.series) and
          all((c.legend is None) == (type(c).__name__ == "LineChart") for c in charts),
          "Charts: an axis without a title, a line without markers, or a legend amiss")
    text = lambda title: "".join(r.t for p in title.tx.rich.p for r in (p.r or []))
    # A money chart's title ends in " in <currency>", its value axis named so; else "Sales".
    check(all(text(c.y_axis.title) == (text(c.title) + " in Sales").split(" in ")[1] for c in charts),
          "Charts: a value axis not named by the chart's currency, or Sales")
    check(len(data) == len(revenue), "Charts: not one row per month")
    for row, (month, _, total) in zip(data, revenue):
        label = month[:4] + "-" + month[4:] if isinstance(month, str) else f"{month:%Y-%m}"
        check(row[0].value == label and cents(row[1]) == total,
              f"Charts: month {row[0].value!r} or its total")
    money = [sum_by_title(zip(titles, parts)) for _, parts, _ in revenue]
    check_series(data, gap + 1, money_series, money,
                 sum_by_title(p for m in money for p in m.items()), lambda c: cents(c) or 0)
    if "Months" not in book.sheetnames or "Total" not in book.sheetnames:
        return
    months = {r[0].value: r for r in rows_of(book["Months"])[1:]}
    month_header = [c.value for c in rows_of(book["Months"])[0]]
    total_at = month_header.index(header[1])
    # Without market lines the Months sheet has no title lines to add up.
    lines = [(i, v[6:]) for i, v in enumerate(month_header)
             if v and v.startswith("TOTAL ") and i != total_at]
    if lines:
        counts = [sum_by_title((t, months[month][i].value) for i, t in lines)
                  for month, _, _ in revenue]
        total = rows_of(book["Total"])[1]
        check_series(data, 2, sales_series, counts,
                     sum_by_title((t, total[i].value) for i, t in lines), lambda c: c.value)


def main():
    book = openpyxl.load_workbook(sys.argv[1])
    names = book.sheetnames
    shown = [s for s in SECTIONS if s in names]
    check(names == shown + ["Revenue", "Markets", "Charts"], f"sheets {names}")
    out = [line for name in shown for line in section_text(book[name]) + [""]]
    for name in names:
        check_print_setup(book[name])
    # At most four currencies in the trees of the tests, unless the products name more.
    currencies = max(4, len({r[5].value for r in rows_of(book["Products"])[1:]})
                     if "Products" in names else 4)
    titles, revenue = money_sheet(book, "Revenue", currencies)
    _, markets = money_sheet(book, "Markets", currencies)
    check([total for _, _, total in revenue] == [total for _, _, total in markets],
          "Revenue and Markets: different totals")
    check_charts(book, titles, revenue)
    sys.stdout.buffer.write("".join(line + "\r\n" for line in out).encode("utf-8"))


if __name__ == "__main__":
    main()
