#!/usr/bin/python3
"""Prints the workbook of a run to PDF with LibreOffice, and its sales page with headless
Chromium, and measures every page: the median height of its words (pdftotext's word boxes) must
be at least 6 points. Two trees: a copy of examples/, and three years of monthly reports of 60
titles sold in two markets.
Usage: .ci/print-measure.py [BUILD_DIR]   (needs libreoffice-calc-nogui, chromium, poppler-utils)"""
import os
import pathlib
import random
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
BINARY = (ROOT / (sys.argv[1] if len(sys.argv) > 1 else "build") / "tollwick").resolve()
LEAST = 6.0


def report(skus, sales):
    def row(cells):
        return "   <Row>\r\n" + "".join(
            f'    <Cell><Data ss:Type="String">{c}</Data></Cell>\r\n' for c in cells) + "   </Row>\r\n"
    out = ('<?xml version="1.0"?>\r\n<Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet"'
           '\r\n xmlns:ss="urn:schemas-microsoft-com:office:spreadsheet">\r\n')
    for name, header, rows in (("SKU detail", ["SKU", "Title", "Version", "Detail", "Edition", "Market"], skus),
                               ("Purchase History", ["SKU", "Purchase", "Buyer", "Country", "State", "Date", "Status"], sales)):
        out += f' <Worksheet ss:Name="{name}">\r\n  <Table>\r\n' + row(header)
        out += "".join(row(r) for r in rows) + "  </Table>\r\n </Worksheet>\r\n"
    return out + "</Workbook>\r\n"


def sixty_titles(tree):
    rng = random.Random(60)
    skus = [[f"T{t:02}-{m}", f"Title number {t}", "1.0", "", "", m] for t in range(60) for m in ("US", "DE")]
    tree.mkdir()
    (tree / "prices.csv").write_text("".join(f"{s[0]};{'USD' if s[5] == 'US' else 'EUR'};{rng.randint(99, 999)}\r\n" for s in skus))
    (tree / "currency.txt").write_text("EUR 1.00 = USD 1.1000\r\n")
    purchase = 0
    for year in (2021, 2022, 2023):
        for month in range(1, 13):
            sales = []
            for _ in range(rng.randint(60, 200)):
                purchase += 1
                sku = rng.choice(skus)[0]
                sales.append([sku, f"P{purchase}", "", "", "", f"{year}-{month:02}-{rng.randint(1, 28):02}T10:00:00Z", ""])
            (tree / f"sales-{year}-{month:02}.xml").write_text(report(skus, sales))


def measure(work, name, make_tree):
    tree = work / name
    make_tree(tree)
    with open(work / f"{name}.csv", "wb") as out:
        subprocess.run([str(BINARY), "--all", f"--workbook=../{name}.xlsx", f"--html=../{name}.html"],
                       cwd=tree, stdout=out, check=True)
    subprocess.run(["libreoffice", "--headless", "--convert-to", "pdf", f"{name}.xlsx"], cwd=work,
                   env=dict(os.environ, HOME=str(work)), check=True, capture_output=True)
    # The page prints on A4 landscape, as its style asks.
    subprocess.run(["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-pdf-header-footer",
                    f"--print-to-pdf={work / (name + '-page.pdf')}", (work / f"{name}.html").as_uri()],
                   env=dict(os.environ, HOME=str(work)), check=True, capture_output=True)
    return measure_pdf(work, name) + measure_pdf(work, f"{name}-page")


def measure_pdf(work, name):
    subprocess.run(["pdftotext", "-bbox", f"{name}.pdf", f"{name}-words.html"], cwd=work, check=True)
    pages = (work / f"{name}-words.html").read_text().split("<page ")[1:]
    faults = 0
    medians = []
    for number, page in enumerate(pages, 1):
        heights = [float(b) - float(a) for a, b in re.findall(r'yMin="([\d.]+)" xMax="[\d.]+" yMax="([\d.]+)"', page)]
        median = statistics.median(heights) if heights else 0.0
        medians.append(median)
        if median < LEAST:
            print(f"{name}: page {number} has a median word height of {median:.1f} pt")
            faults += 1
    print(f"print-measure: {name}: {len(pages)} pages, median word heights {min(medians):.1f} to {max(medians):.1f} pt")
    return faults


def main():
    with tempfile.TemporaryDirectory() as work:
        work = pathlib.Path(work)
        faults = measure(work, "examples", lambda tree: shutil.copytree(ROOT / "examples", tree))
        faults += measure(work, "sixty-titles", sixty_titles)
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
