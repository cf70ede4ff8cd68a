// The sales page's own script: reads the figures embedded in the page, fills the filters'
// month lists, and draws every chart and table for the chosen title, market and months.
// Money stays in integer hundredths until it is written; a currency's sum is converted into
// the total currency by dividing by its rate and rounding half to even, as the statistics do.
"use strict";
(function () {
  const data = JSON.parse(document.getElementById("tollwick-data").textContent);
  const lineCount = data.lines.length / 3;
  const lineTitle = [], lineMarket = [], lineCurrency = [];
  for (let i = 0; i < lineCount; i++) {
    lineTitle.push(data.lines[3 * i]);
    lineMarket.push(data.lines[3 * i + 1]);
    lineCurrency.push(data.lines[3 * i + 2]);
  }
  const monthCount = data.months.length;
  const currencyCount = data.currencies.length;
  const palette = ["#2f6db5", "#e07b28", "#3a9a4a", "#c23b3b", "#8a5cc2", "#8c6239",
                   "#d462a8", "#6f6f6f", "#b5b52f", "#2fb5b0", "#b0b0b0"];
  const charts = {};

  // ---- Numbers ----
  function cents(value) {
    if (value === null) return "\u2013";
    const whole = Math.floor(Math.abs(value) / 100), rest = Math.abs(value) % 100;
    return (value < 0 ? "-" : "") + whole + "." + (rest < 10 ? "0" : "") + rest;
  }
  function roundHalfEven(x) {
    const floor = Math.floor(x), fraction = x - floor;
    if (fraction > 0.5) return floor + 1;
    if (fraction < 0.5) return floor;
    return floor % 2 === 0 ? floor : floor + 1;
  }
  function share(total) {
    if (total === null) return null;
    const seven = 7 * total, tenth = Math.floor(seven / 10), rest = seven - 10 * tenth;
    return rest > 5 || (rest === 5 && tenth % 2 !== 0) ? tenth + 1 : tenth;
  }
  // Hundredths of currency `c` in hundredths of the total currency; null where no rate.
  function convert(c, amount) {
    if (amount === 0) return 0;
    const rate = data.rates[c];
    return rate === null ? null : roundHalfEven(amount / rate);
  }
  // The sum of converted per-currency sums; null when any is null.
  function convertSums(sums) {
    let total = 0;
    for (let c = 0; c < sums.length; c++) {
      const part = convert(c, sums[c]);
      if (part === null) return null;
      total += part;
    }
    return total;
  }
  function change(now, before) {
    if (now === null || before === null) return null;
    if (before === 0) return now === 0 ? 0 : null;
    return (now - before) / Math.abs(before) * 100;
  }
  function changeText(value) {
    if (value === null) return "\u2013";
    return (value > 0 ? "+" : "") + value.toFixed(1) + " %";
  }

  // ---- Selection ----
  const select = (name) => document.querySelector('select[data-filter="' + name + '"]');
  const titleSelect = select("title"), marketSelect = select("market");
  const fromSelect = select("from"), toSelect = select("to");
  for (const [element, chosen] of [[fromSelect, 0], [toSelect, monthCount - 1]]) {
    data.months.forEach((month, m) => {
      const option = document.createElement("option");
      option.value = month;
      option.textContent = month;
      if (m === chosen) option.selected = true;
      element.appendChild(option);
    });
  }
  function selection() {
    const title = data.titles.indexOf(titleSelect.value);
    const market = data.markets.indexOf(marketSelect.value);
    let from = Math.max(0, data.months.indexOf(fromSelect.value));
    let to = Math.max(0, data.months.indexOf(toSelect.value));
    if (to < from) [from, to] = [to, from];
    if (monthCount === 0) to = -1;  // a range without days: no month to show
    const lineChosen = [];
    for (let i = 0; i < lineCount; i++)
      lineChosen.push((titleSelect.value === "" || lineTitle[i] === title) &&
                      (marketSelect.value === "" || lineMarket[i] === market));
    return { title, market, from, to, lineChosen,
             everything: titleSelect.value === "" && marketSelect.value === "" &&
                         from === 0 && to === monthCount - 1 };
  }

  // Sales and per-currency sums of the chosen lines of flat cells [line, count, cents, ...].
  function sumCells(cells, chosen) {
    const sums = new Array(currencyCount).fill(0);
    let sales = 0;
    for (let k = 0; k < cells.length; k += 3) {
      const line = cells[k];
      if (!chosen[line]) continue;
      sales += cells[k + 1];
      if (lineCurrency[line] >= 0) sums[lineCurrency[line]] += cells[k + 2];
    }
    return { sales, sums };
  }
  // Money of the chosen lines per title or market (`key` gives it for a line), each owner's
  // per-currency sums converted apart, as the workbook's Revenue and Markets sheets convert.
  function moneyBy(cells, chosen, key, owners) {
    const sums = new Map();
    for (let k = 0; k < cells.length; k += 3) {
      const line = cells[k];
      if (!chosen[line] || lineCurrency[line] < 0 || cells[k + 2] === 0) continue;
      const id = key[line] * currencyCount + lineCurrency[line];
      sums.set(id, (sums.get(id) || 0) + cells[k + 2]);
    }
    const money = new Array(owners).fill(0);
    for (const [id, amount] of sums) {
      const owner = Math.floor(id / currencyCount), part = convert(id % currencyCount, amount);
      money[owner] = money[owner] === null || part === null ? null : money[owner] + part;
    }
    return money;
  }
  function monthTotal(m, chosen) { return convertSums(sumCells(data.monthCells[m], chosen).sums); }

  // ---- Header ----
  function setFigure(name, text) {
    document.querySelector('[data-figure="' + name + '"]').textContent = text;
  }
  function drawHeader(s) {
    let total, sales, previous;
    if (s.everything) {
      setFigure("total", data.head.total === null ? "\u2013" : data.head.total);
      setFigure("sales", data.head.sales);
      setFigure("share", data.head.share === null ? "\u2013" : data.head.share);
      setFigure("change", changeText(change(data.headCents.total, data.headCents.previous)));
      setFigure("range", data.first + " \u2013 " + data.last);
      return;
    }
    const length = s.to - s.from + 1;
    if (s.from === 0 && s.to === monthCount - 1 && !data.wholeMonths) {
      // The first or last month reaches beyond the range: the range's own sales.
      const now = sumCells(data.range, s.lineChosen);
      total = convertSums(now.sums);
      sales = now.sales;
    } else {
      // Month by month, as the workbook's Revenue and Markets sheets sum a title or market.
      total = 0;
      sales = 0;
      for (let m = s.from; m <= s.to; m++) {
        const money = monthTotal(m, s.lineChosen);
        total = total === null || money === null ? null : total + money;
        sales += sumCells(data.monthCells[m], s.lineChosen).sales;
      }
    }
    if (s.from === 0 && s.to === monthCount - 1) {
      previous = convertSums(sumCells(data.previous, s.lineChosen).sums);
      setFigure("range", data.first + " \u2013 " + data.last);
    } else {
      previous = s.from - length < 0 ? null : 0;
      for (let m = s.from - length; previous !== null && m < s.from; m++) {
        const money = monthTotal(m, s.lineChosen);
        previous = money === null ? null : previous + money;
      }
      setFigure("range", data.months[s.from] + " \u2013 " + data.months[s.to]);
    }
    setFigure("total", cents(total));
    setFigure("sales", String(sales));
    setFigure("share", cents(share(total)));
    setFigure("change", changeText(change(total, previous)));
  }

  // ---- Tables ----
  // A table of `head` and `rows` into the element data-table=name; a click on a column's
  // header sorts by it (again: the other way round). Cells are texts; numbers sort as numbers.
  function drawTable(name, head, rows) {
    const holder = document.querySelector('[data-table="' + name + '"]');
    const table = document.createElement("table");
    const headRow = table.createTHead().insertRow();
    const body = table.createTBody();
    let sortedBy = -1, ascending = true;
    // A number, a change ("+4.5 %") as its number, or null for any other text.
    const key = (text) => {
      const number = Number(text.endsWith(" %") ? text.slice(0, -2) : text);
      return text !== "" && text !== "\u2013" && !Number.isNaN(number) ? number : null;
    };
    const fill = () => {
      body.textContent = "";
      for (const row of rows) {
        const tr = body.insertRow();
        row.forEach((text, c) => {
          const cell = tr.insertCell();
          cell.textContent = text;
          if (c > 0 && key(text) !== null) cell.className = "number";
        });
      }
    };
    head.forEach((text, c) => {
      const th = document.createElement("th");
      th.textContent = text;
      if (c > 0 && rows.some((row) => key(row[c]) !== null)) th.className = "number";
      th.title = "Sort by " + text;
      th.addEventListener("click", () => {
        ascending = sortedBy === c ? !ascending : true;
        sortedBy = c;
        rows.sort((a, b) => {
          const x = key(a[c]), y = key(b[c]);
          let order;
          if (x !== null && y !== null) order = x - y;
          else if (x !== null || y !== null) order = x !== null ? -1 : 1;
          else order = a[c] < b[c] ? -1 : a[c] > b[c] ? 1 : 0;
          return ascending ? order : -order;
        });
        for (const cell of headRow.cells) cell.removeAttribute("aria-sort");
        th.setAttribute("aria-sort", ascending ? "ascending" : "descending");
        fill();
      });
      headRow.appendChild(th);
    });
    fill();
    holder.textContent = "";
    holder.appendChild(table);
  }

  // ---- Charts ----
  function drawChart(name, config) {
    if (charts[name]) charts[name].destroy();
    const canvas = document.querySelector('canvas[data-chart="' + name + '"]');
    config.options = Object.assign({ responsive: true, maintainAspectRatio: false,
                                     animation: false }, config.options || {});
    charts[name] = new Chart(canvas, config);
  }
  const inCurrency = (text) => text + " (" + data.currency + ")";
  const asUnits = (values) => values.map((v) => (v === null ? null : v / 100));
  function sortedBars(name, labels, money, label, horizontal) {
    const order = labels.map((_, i) => i).filter((i) => money[i] !== 0);
    order.sort((a, b) => (money[b] || 0) - (money[a] || 0));
    // Room for every label of a long list of horizontal bars.
    if (horizontal)
      document.querySelector('canvas[data-chart="' + name + '"]').parentNode.style.height =
        Math.min(600, Math.max(320, 40 + 16 * order.length)) + "px";
    drawChart(name, {
      type: "bar",
      data: { labels: order.map((i) => labels[i]),
              datasets: [{ label: inCurrency(label), data: asUnits(order.map((i) => money[i])),
                           backgroundColor: palette[0] }] },
      options: { indexAxis: horizontal ? "y" : "x", plugins: { legend: { display: false } } },
    });
  }

  function draw() {
    const s = selection();
    drawHeader(s);
    const months = [];
    for (let m = s.from; m <= s.to; m++) months.push(m);
    const titleMoney = months.map((m) =>
      moneyBy(data.monthCells[m], s.lineChosen, lineTitle, data.titles.length));
    const marketMoney = months.map((m) =>
      moneyBy(data.monthCells[m], s.lineChosen, lineMarket, data.markets.length));
    const totals = months.map((m) => monthTotal(m, s.lineChosen));
    const sales = months.map((m) => sumCells(data.monthCells[m], s.lineChosen).sales);
    const sumOver = (rows, owners) => {
      const sum = new Array(owners).fill(0);
      for (const row of rows) row.forEach((v, i) => { sum[i] = sum[i] === null || v === null ? null : sum[i] + v; });
      return sum;
    };
    const titleSum = sumOver(titleMoney, data.titles.length);
    const marketSum = sumOver(marketMoney, data.markets.length);
    const labels = months.map((m) => data.months[m]);

    // Money per month, the ten titles that brought most stacked, the others as "Other".
    const leaders = data.titles.map((_, t) => t).filter((t) => titleSum[t] !== 0)
      .sort((a, b) => (titleSum[b] || 0) - (titleSum[a] || 0) || a - b).slice(0, 10);
    const series = leaders.map((t, i) => ({ label: data.titles[t], type: "bar", stack: "money",
      backgroundColor: palette[i], data: asUnits(titleMoney.map((row) => row[t])) }));
    const other = titleMoney.map((row) => row.reduce((sum, v, t) =>
      (leaders.includes(t) ? sum : sum === null || v === null ? null : sum + v), 0));
    if (other.some((v) => v !== 0))
      series.push({ label: "Other", type: "bar", stack: "money", backgroundColor: palette[10],
                    data: asUnits(other) });
    series.unshift({ label: "Total", type: "line", data: asUnits(totals), borderColor: "#222",
                     backgroundColor: "#222", pointRadius: 2 });
    drawChart("money-per-month", { type: "bar", data: { labels, datasets: series },
      options: { scales: { x: { stacked: true }, y: { stacked: true,
                 title: { display: true, text: data.currency } } } } });

    // Each month against the month before and the same month a year earlier.
    const before = (m, back) => (m - back >= 0 ? monthTotal(m - back, s.lineChosen) : null);
    const vsMonth = months.map((m, i) => change(totals[i], before(m, 1)));
    const vsYear = months.map((m, i) => change(totals[i], before(m, 12)));
    drawChart("change-per-month", { type: "bar", data: { labels, datasets: [
      { label: "against the month before (%)", data: vsMonth, backgroundColor: palette[0] },
      { label: "against the month a year earlier (%)", data: vsYear, backgroundColor: palette[1] }] } });

    sortedBars("money-per-title", data.titles, titleSum, "Money", true);
    sortedBars("money-per-market", data.markets, marketSum, "Money", false);

    // Sales per day over the last days of the range that lie in the chosen months.
    const dayLabels = [], daySales = [];
    const first = new Date(data.firstListed + "T00:00:00Z");
    data.dayCells.forEach((cells, d) => {
      const day = new Date(first.getTime() + d * 86400000).toISOString().slice(0, 10);
      const month = day.slice(0, 7);
      if (month < data.months[s.from] || month > data.months[s.to]) return;
      let count = 0;
      for (let k = 0; k < cells.length; k += 2) if (s.lineChosen[cells[k]]) count += cells[k + 1];
      dayLabels.push(day);
      daySales.push(count);
    });
    drawChart("sales-per-day", { type: "bar", data: { labels: dayLabels,
      datasets: [{ label: "Sales", data: daySales, backgroundColor: palette[2] }] },
      options: { plugins: { legend: { display: false } } } });

    // The tables behind the charts.
    drawTable("months", ["Month", inCurrency("Money"), "Sales", "Against the month before",
                         "Against a year earlier"],
              months.map((m, i) => [data.months[m], cents(totals[i]), String(sales[i]),
                                    changeText(vsMonth[i]), changeText(vsYear[i])]));
    const owned = (sum, names) => names.map((_, i) => i).filter((i) => sum[i] !== 0);
    const titleColumns = owned(titleSum, data.titles);
    drawTable("revenue", ["Month", ...titleColumns.map((t) => data.titles[t]), "Total"],
              months.map((m, i) => [data.months[m], ...titleColumns.map((t) => cents(titleMoney[i][t])),
                                    cents(totals[i])]));
    const marketColumns = owned(marketSum, data.markets);
    drawTable("markets", ["Month", ...marketColumns.map((k) => data.markets[k]), "Total"],
              months.map((m, i) => [data.months[m], ...marketColumns.map((k) => cents(marketMoney[i][k])),
                                    cents(totals[i])]));
    drawTable("products", ["SKU", "Title", "Market", "Version", "OS type", "Currency", "Price"],
              data.products.filter((p) => (titleSelect.value === "" || p[1] === titleSelect.value) &&
                                          (marketSelect.value === "" || p[2] === marketSelect.value))
                .map((p) => p.slice()));
  }

  for (const element of [titleSelect, marketSelect, fromSelect, toSelect])
    element.addEventListener("change", draw);
  // Printed, a chart spans the A4 landscape page (277 mm, 1047 px) at the height the print
  // stylesheet gives it (60 mm) or its own.
  window.addEventListener("beforeprint", () => {
    for (const name in charts) {
      const own = parseInt(charts[name].canvas.parentNode.style.height, 10);
      charts[name].resize(1047, own > 0 ? own : 227);
    }
  });
  window.addEventListener("afterprint", () => { for (const name in charts) charts[name].resize(); });
  draw();
})();
