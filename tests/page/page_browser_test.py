#!/usr/bin/python3
"""Opens the --html page in headless Chromium and checks what it shows against stdout and the
workbook, and hostile titles. Usage: page_browser_test.py BINARY EXAMPLES
(exit 77, skipped, without selenium, chromium or chromedriver)."""
import csv, os, pathlib, shutil, subprocess, sys, tempfile

SKIPPED = 77
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--window-size=1400,1000"]
HOSTILE = ["</script><script>alert(1)</script>", '"><img src=x onerror=alert(2)>']
failures = []


def check(ok, message):
    if not ok:
        failures.append(message)


def hostile_report(examples):
    """Titles that try to break out of the page or are no UTF-8, sold in October and December."""
    sys.path.insert(0, examples)
    from make_examples import SALE_HEADER, SKU_HEADER, worksheet
    titles = HOSTILE + ["Caf\xe9 \xff"]
    skus = [[f"HX-{i}", t, "1.0", "x", "PPC", "US"] for i, t in enumerate(titles)]
    sales = [[f"HX-{i}", f"HP-{i}-{month}-{d}", "b", "US", "", f"2026-{month}-{d:02d}T10:00:00Z", "ok"]
             for i in range(len(titles)) for month in ("10", "12") for d in range(1, 4 + i)]
    return ('<?xml version="1.0"?>\n<Workbook xmlns:ss="urn:schemas-microsoft-com:office:spreadsheet">\n'
            + worksheet("SKU detail", SKU_HEADER, skus)
            + worksheet("Purchase History", SALE_HEADER, sales) + "</Workbook>\n").encode("latin-1")


def section_row(stdout, title, first=None):
    """{column title: value} of the section `title`'s first row (or the one starting `first`)."""
    lines = list(csv.reader(stdout.decode("latin-1").split("\r\n"), delimiter=";"))
    at = next(i for i, line in enumerate(lines) if line[:1] == [title])
    return dict(zip(lines[at], next(r for r in lines[at + 1:] if first in (None, *r[:1]))))


def main():
    binary, examples = sys.argv[1], sys.argv[2]
    try:
        import openpyxl
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        from selenium.webdriver.common.by import By
        from selenium.webdriver.support.expected_conditions import alert_is_present
        from selenium.webdriver.support.ui import Select
    except ImportError as error:
        print(f"skipped: {error.name} is missing (python3-selenium, python3-openpyxl)")
        return SKIPPED
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    driver_path = shutil.which("chromedriver")
    if not chromium or not driver_path:
        print("skipped: chromium or chromedriver is missing (chromium, chromium-driver)")
        return SKIPPED

    with tempfile.TemporaryDirectory(prefix="tollwick-page-", ignore_cleanup_errors=True) as work:
        tree = os.path.join(work, "tree")
        shutil.copytree(examples, tree)
        pathlib.Path(tree, "reports", "hostile.xml").write_bytes(hostile_report(examples))
        with open(os.path.join(tree, "prices.csv"), "a") as out:
            out.write("HX-0;USD;1999\nHX-1;EUR;501\nHX-2;USD;333\n")

        plain = subprocess.run([binary, "--all"], cwd=tree, capture_output=True, timeout=120)
        paged = subprocess.run([binary, "--all", "--HTML=Sales.Html", "--workbook=book.xlsx"],
                               cwd=tree, capture_output=True, timeout=120)
        check(paged.returncode == 0 and paged.stdout == plain.stdout,
              "stdout or status changed by --html")
        page = os.path.join(tree, "Sales.Html")
        size = os.path.getsize(page)
        check(size < 5_000_000, f"page of {size} bytes")
        row = section_row(plain.stdout, "TOTAL")
        book = openpyxl.load_workbook(os.path.join(tree, "book.xlsx"))

        options = webdriver.ChromeOptions()
        options.binary_location = chromium
        for flag in FLAGS + ["--user-data-dir=" + os.path.join(work, "profile")]:
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        driver = webdriver.Chrome(service=Service(driver_path), options=options)
        try:
            driver.get("file://" + page)
            load = driver.execute_script(
                "const t = performance.timing; return t.loadEventEnd - t.navigationStart;")
            check(load < 3000, f"load event after {load} ms")
            check(driver.get_log("browser") == [], "console messages on load")
            check(len(driver.find_elements(By.CSS_SELECTOR, "canvas[data-chart]")) >= 4,
                  "fewer than four charts")

            def figure(name):
                return driver.find_element(By.CSS_SELECTOR, f'[data-figure="{name}"]').text

            def select(kind):
                return Select(driver.find_element(By.CSS_SELECTOR, f'select[data-filter="{kind}"]'))

            sales = sum(int(v) for k, v in row.items()
                        if k.startswith("TOTAL ") and k != "TOTAL EUR")
            check((figure("total"), figure("sales"), figure("share")) ==
                  (row["TOTAL EUR"], str(sales), row["SHARE EUR"]),
                  f"header {figure('total')} {figure('sales')} {figure('share')} against {row}")

            # Every title and market, compared by position with the workbook's columns.
            for sheet, kind in (("Revenue", "title"), ("Markets", "market")):
                rows = list(book[sheet].iter_rows(values_only=True))
                menu = select(kind)
                values = [o.get_attribute("value") for o in menu.options][1:]
                check(len(values) == len(rows[0]) - 2, f"{kind} options {values}")
                for column, value in enumerate(values, start=1):
                    menu.select_by_value(value)
                    money = sum(round(r[column] * 100) for r in rows[1:] if r[column])
                    shown = round(float(figure("total")) * 100)
                    check(shown == money, f"{kind} {value!r}: {shown} against {money}")
                    if kind == "title" and "TOTAL " + value in row:
                        check(figure("sales") == row["TOTAL " + value],
                              f"sales of {value!r}: {figure('sales')}")
                menu.select_by_value("")

            # One month alone: its MONTH row.
            october = section_row(plain.stdout, "MONTH", "202610")
            for name in ("from", "to"):
                select(name).select_by_value("2026-10")
            check(figure("total") == october["TOTAL EUR"],
                  f"October: {figure('total')} against {october}")

            # Hostile titles are text: no alert, no element made of them.
            check(not alert_is_present()(driver), "an alert ran")
            check(driver.find_elements(By.TAG_NAME, "img") == [], "an <img> was made")
            shown = [o.text for o in select("title").options]
            for title in HOSTILE + ["Caf\ufffd \ufffd"]:
                check(title in shown, f"title {title!r} not shown as text in {shown}")
            check(driver.get_log("browser") == [], "console messages after filtering")

        finally:
            driver.quit()
    for failure in failures:
        print("FAILED:", failure)
    print(f"{0 if failures else 1} passed, {1 if failures else 0} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
