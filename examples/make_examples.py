#!/usr/bin/env python3
"""Writes the example report tree in this directory.

Three weeks of daily sales reports (2 to 22 November 2026) for four titles sold in four
markets, as a seller downloads them from the marketplace:

  reports/2026-11-week45/  loose reports, dates written 2026-11-02T14:05:11Z
  reports/2026-11-week46/  loose reports, dates written 11/9/2026 2:05:11 PM
  reports/2026-11-week47/  one archive per day, each holding a stored fulfillmentreport.xml;
                           they carry the numbered names a run gives downloaded archives, so
                           running over this tree renames nothing

Every daily report lists all SKUs and the purchases of that day and the day before, so each
purchase appears in two reports (the tool keeps one row per purchase id). The output is the
same on every run: the random numbers come from a fixed seed, and the archives get a fixed
time stamp. Needs Python 3 and Info-ZIP's zip; run it from anywhere:

  python3 examples/make_examples.py
"""

import datetime
import os
import pathlib
import random
import shutil
import subprocess
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
FIRST_DAY = datetime.date(2026, 11, 2)
DAYS = 21
LAUNCH_DAY = datetime.date(2026, 6, 15)

# SKU id, title, version, description, edition, market, first day on sale (index into DAYS)
SKUS = [
    ("HC-1001", "Harbor Chess", "2.1", "Chess with tutor and 500 puzzles", "Professional", "US", 0),
    ("HC-1002", "Harbor Chess", "2.1", "Chess with tutor and 500 puzzles", "Standard", "US", 0),
    ("HC-1003", "Harbor Chess", "2.1", "Schach mit Trainer und 500 Aufgaben", "Professional", "DE", 0),
    ("HC-1004", "Harbor Chess", "2.1", "Chess with tutor and 500 puzzles", "Professional", "GB", 0),
    ("PL-2001", "Pocket Ledger", "1.4", "Household accounts and budgets", "Professional", "US", 0),
    ("PL-2002", "Pocket Ledger", "1.4", "Haushaltsbuch und Budgets", "Professional", "DE", 0),
    ("PL-2003", "Pocket Ledger", "1.4", "Comptes du foyer et budgets", "Professional", "FR", 0),
    ("SS-3001", "Skyline Sudoku", "3.0", "Sudoku with 2000 puzzles", "Professional", "US", 0),
    ("SS-3002", "Skyline Sudoku", "3.0", "Sudoku with 2000 puzzles", "Standard", "US", 0),
    ("SS-3003", "Skyline Sudoku", "3.0", "Sudoku with 2000 puzzles", "Professional", "GB", 0),
    ("SS-3004", "Skyline Sudoku", "3.0", "Sudoku mit 2000 Raetseln", "Professional", "DE", 0),
    # Published in the third week and not yet in prices.csv: the output shows "???" for it.
    ("SS-3005", "Skyline Sudoku", "3.0", "Sudoku avec 2000 grilles", "Professional", "FR", 14),
    ("TT-4001", "Tide Tables", "1.0", "Tide predictions for 3000 ports", "Professional", "US", 0),
    ("TT-4002", "Tide Tables", "1.0", "Tide predictions for 3000 ports", "Professional", "GB", 0),
]

# Average purchases per day for each SKU.
DAILY_RATE = {
    "HC-1001": 1.6, "HC-1002": 0.5, "HC-1003": 0.9, "HC-1004": 0.4,
    "PL-2001": 0.8, "PL-2002": 0.5, "PL-2003": 0.3,
    "SS-3001": 2.2, "SS-3002": 0.9, "SS-3003": 0.6, "SS-3004": 0.8, "SS-3005": 0.7,
    "TT-4001": 0.6, "TT-4002": 0.5,
}

PRICES = """\
HC-1001;USD;499
HC-1002;USD;299
HC-1003;EUR;449
HC-1004;USD;499
PL-2001;USD;999
PL-2002;EUR;899
PL-2003;EUR;899
SS-3001;USD;199
SS-3002;USD;99
SS-3003;USD;199
SS-3004;EUR;179
TT-4001;USD;299
TT-4002;USD;299
"""

# As copied from a rates page: one line holds two rates joined by <br>.
RATES = """\
EUR 1.00 = USD 1.3000
EUR 1.00 = GBP 0.8500<br>EUR 1.00 = CHF 1.2100
EUR 1.00 = JPY 121.4000
"""

SKU_HEADER = ["SKU ID", "Title", "Version", "Description", "Edition", "Market", "Status",
              "Published"]
SALE_HEADER = ["SKU ID", "Purchase ID", "Product Name", "Market", "Edition", "Purchase Date",
               "Purchase Type"]

WORKBOOK_HEAD = """\
<?xml version="1.0" encoding="utf-8"?>
<?mso-application progid="Excel.Sheet"?>
<Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet"
 xmlns:o="urn:schemas-microsoft-com:office:office"
 xmlns:x="urn:schemas-microsoft-com:office:excel"
 xmlns:ss="urn:schemas-microsoft-com:office:spreadsheet"
 xmlns:html="http://www.w3.org/TR/REC-html40">
 <DocumentProperties xmlns="urn:schemas-microsoft-com:office:office">
  <Title>Fulfillment report</Title>
  <Author>Marketplace seller portal</Author>
  <Created>{created}</Created>
 </DocumentProperties>
 <Styles>
  <Style ss:ID="Default" ss:Name="Normal">
   <Alignment ss:Vertical="Bottom"/>
   <Font ss:FontName="Calibri" ss:Size="11"/>
  </Style>
  <Style ss:ID="Header">
   <Font ss:FontName="Calibri" ss:Size="11" ss:Bold="1"/>
   <Interior ss:Color="#D9E1F2" ss:Pattern="Solid"/>
  </Style>
 </Styles>
"""

WORKSHEET_TAIL = """\
  </Table>
  <WorksheetOptions xmlns="urn:schemas-microsoft-com:office:excel">
   <FreezePanes/>
   <SplitHorizontal>1</SplitHorizontal>
   <TopRowBottomPane>1</TopRowBottomPane>
  </WorksheetOptions>
 </Worksheet>
"""


def worksheet(name, header, rows):
    lines = [f' <Worksheet ss:Name="{name}">',
             f'  <Table ss:ExpandedColumnCount="{len(header)}" '
             f'ss:ExpandedRowCount="{len(rows) + 1}" x:FullColumns="1" x:FullRows="1">']
    for _ in header:
        lines.append('   <Column ss:AutoFitWidth="1" ss:Width="96"/>')
    lines.append("   <Row>")
    for title in header:
        lines.append(f'    <Cell ss:StyleID="Header"><Data ss:Type="String">{title}</Data></Cell>')
    lines.append("   </Row>")
    for row in rows:
        lines.append("   <Row>")
        for value in row:
            lines.append(f'    <Cell><Data ss:Type="String">{value}</Data></Cell>')
        lines.append("   </Row>")
    return "\n".join(lines) + "\n" + WORKSHEET_TAIL


def report_info(day):
    rows = [["Report", "Fulfillment report"],
            ["Period", f"{day - datetime.timedelta(days=1)} to {day}"],
            ["Seller", "Lanternfish Software"]]
    return worksheet("Report information", ["Field", "Value"], rows)


def iso_time(moment):
    return moment.strftime("%Y-%m-%dT%H:%M:%SZ")


def us_time(moment):
    hour = moment.hour % 12 or 12
    half = "AM" if moment.hour < 12 else "PM"
    return (f"{moment.month}/{moment.day}/{moment.year} "
            f"{hour}:{moment.minute:02d}:{moment.second:02d} {half}")


def make_purchases(rng):
    """One list of (sku row, purchase id, moment) per day."""
    purchases = []
    next_id = 4471020000
    for index in range(DAYS):
        day = FIRST_DAY + datetime.timedelta(days=index)
        today = []
        for sku in SKUS:
            if index < sku[6]:
                continue
            # A weekend lifts sales a little.
            rate = DAILY_RATE[sku[0]] * (1.3 if day.weekday() >= 5 else 1.0)
            count = sum(1 for _ in range(8) if rng.random() < rate / 8)
            for _ in range(count):
                seconds = rng.randrange(24 * 3600)
                moment = datetime.datetime.combine(day, datetime.time()) + \
                    datetime.timedelta(seconds=seconds)
                today.append((sku, moment))
        today.sort(key=lambda sale: sale[1])
        numbered = []
        for sku, moment in today:
            next_id += rng.randrange(3, 40)
            numbered.append((sku, f"P{next_id}", moment))
        purchases.append(numbered)
    return purchases


def report_text(index, purchases, date_format):
    day = FIRST_DAY + datetime.timedelta(days=index)
    created = f"{day + datetime.timedelta(days=1)}T06:00:00Z"
    sku_rows = [[s[0], s[1], s[2], s[3], s[4], s[5], "Published",
                 str(FIRST_DAY + datetime.timedelta(days=s[6]) if s[6] else LAUNCH_DAY)]
                for s in SKUS if s[6] <= index]
    sale_rows = []
    for earlier in (index - 1, index):
        if earlier < 0:
            continue
        for sku, purchase_id, moment in purchases[earlier]:
            sale_rows.append([sku[0], purchase_id, sku[1], sku[5], sku[4],
                              date_format(moment), "Purchase"])
    text = (WORKBOOK_HEAD.format(created=created) + report_info(day) +
            worksheet("SKU detail", SKU_HEADER, sku_rows) +
            worksheet("Purchase History", SALE_HEADER, sale_rows) + "</Workbook>\n")
    return text.replace("\n", "\r\n").encode("ascii")


def write_archive(path, data, day):
    # zip -0 stores the entry uncompressed; -X leaves out the extra fields so that the archive
    # holds nothing but the report and a fixed time stamp.
    stamp = datetime.datetime.combine(day + datetime.timedelta(days=1), datetime.time(6, 0))
    with tempfile.TemporaryDirectory() as work:
        entry = pathlib.Path(work) / "fulfillmentreport.xml"
        entry.write_bytes(data)
        seconds = stamp.replace(tzinfo=datetime.timezone.utc).timestamp()
        os.utime(entry, (seconds, seconds))
        target = pathlib.Path(work) / "out.zip"
        subprocess.run(["zip", "-0", "-X", "-q", str(target), entry.name], cwd=work, check=True,
                       env={**os.environ, "TZ": "UTC"})
        shutil.copyfile(target, path)


def main():
    rng = random.Random(20261102)
    purchases = make_purchases(rng)
    reports = HERE / "reports"
    if reports.exists():
        shutil.rmtree(reports)
    for index in range(DAYS):
        day = FIRST_DAY + datetime.timedelta(days=index)
        week = reports / f"2026-11-week{day.isocalendar()[1]}"
        week.mkdir(parents=True, exist_ok=True)
        if index < 7:
            (week / f"fulfillment_{day}.xml").write_bytes(report_text(index, purchases, iso_time))
        elif index < 14:
            (week / f"fulfillment_{day}.xml").write_bytes(report_text(index, purchases, us_time))
        else:
            write_archive(week / f"report_({index - 13}).zip",
                          report_text(index, purchases, iso_time), day)
    (HERE / "prices.csv").write_bytes(PRICES.replace("\n", "\r\n").encode("ascii"))
    (HERE / "currency.txt").write_bytes(RATES.replace("\n", "\r\n").encode("ascii"))
    total = sum(len(day) for day in purchases)
    print(f"{DAYS} reports, {len(SKUS)} SKUs, {total} purchases")


if __name__ == "__main__":
    main()
