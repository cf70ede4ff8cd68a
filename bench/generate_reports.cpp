// Report-tree generator for the whole-run benchmark.
//
// Writes below an output directory a tree of sales reports shaped like a seller's downloads,
// so that whole runs can be timed on realistic data of a chosen size:
//
//   prices.csv, currency.txt          price of every SKU; rates in both line styles
//   YYYY/sales-YYYY-MM-DD.xml         loose daily report: CR LF, indented cells, styles
//   YYYY/sales-YYYY-MM.zip            stored archive, one "fulfillmentreport.xml" entry per day
//   YYYY/sales-YYYY-MM-DD.zip         stored archive of one day (the last days of such a month)
//
// There is one report per day of a range that ends on 31 December 2019. Months alternate
// between loose files and archives. Every report has an "SKU detail" worksheet and a
// "Purchase History" worksheet; the SKU sheet lists the SKUs sold in that report, and the
// first report of every quarter lists the whole catalogue. Each report repeats the last two
// purchases of the day before, as overlapping downloads do. Dates are written in both forms
// the tool reads (2010-03-05T14:02:11Z and 3/5/2010 2:02:11 PM).
//
// The output depends on the arguments and the seed only: the same call always writes the
// same bytes. Archive names never begin with "report", so a run renames nothing.
//
// Usage: tollwick_generate [--skus N] [--purchases N] [--years Y] [--seed N] OUTPUT_DIR
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr uint64_t kDefaultSeed = 20100305;

// splitmix64: small, fast and the same sequence everywhere (the standard distributions are
// not specified bit for bit, so they are not used).
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint64_t Below(uint64_t n) { return Next() % n; }
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

 private:
  uint64_t state_;
};

// A bijection of 64-bit values: distinct counters give distinct, random-looking ids.
uint64_t Mix(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// ---- Calendar: days since 1970-01-01 (proleptic Gregorian) ----

struct Date {
  int year;
  int month;
  int day;
};

int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

Date CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {static_cast<int>(yoe + era * 400) + (m <= 2), m, d};
}

int Weekday(int64_t days) {
  return static_cast<int>((days % 7 + 11) % 7);
}  // 0 = Sunday

// ---- Small text helpers (snprintf is too slow for a million rows) ----

void AppendUint(std::string& out, uint64_t v, int min_digits = 1) {
  char buf[24];
  int n = 0;
  do {
    buf[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0 || n < min_digits);
  while (n > 0) out += buf[--n];
}

void AppendHex(std::string& out, uint64_t v, int digits) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kHex[(v >> shift) & 15];
}

std::string IsoDay(const Date& d) {
  std::string s;
  AppendUint(s, static_cast<uint64_t>(d.year), 4);
  s += '-';
  AppendUint(s, static_cast<uint64_t>(d.month), 2);
  s += '-';
  AppendUint(s, static_cast<uint64_t>(d.day), 2);
  return s;
}

// ---- The catalogue ----

struct Market {
  const char* code;
  const char* currency;
  double weight;
};

constexpr std::array<Market, 12> kMarkets{{{"US", "USD", 30},
                                           {"GB", "GBP", 10},
                                           {"DE", "EUR", 12},
                                           {"FR", "EUR", 8},
                                           {"IT", "EUR", 5},
                                           {"ES", "EUR", 5},
                                           {"NL", "EUR", 3},
                                           {"AT", "EUR", 2},
                                           {"CA", "USD", 6},
                                           {"AU", "USD", 5},
                                           {"MX", "USD", 3},
                                           {"JP", "JPY", 7}}};

constexpr std::array<const char*, 40> kTitles{
    "Pocket Ledger",  "Trail Maps",      "Chess Tutor",       "Word Quest",     "Night Sky",
    "Tip Calculator", "Flash Cards",     "Tips &amp; Tricks", "Metro Transit",  "Recipe Box",
    "Sudoku Deluxe",  "Unit Converter",  "Voice Memo Pro",    "Golf Scorer",    "Baby Tracker",
    "Bible Reader",   "Poker Odds",      "Tide Tables",       "Mileage Log",    "Bridge Master",
    "Star Finder",    "Fuel Diary",      "Guitar Tuner",      "Mah Jong Tiles", "Language Drill",
    "Budget Planner", "Crossword Daily", "Weather Watch",     "Fitness Coach",  "Photo Frames",
    "Solitaire Pack", "Time Sheet",      "Bird Songs",        "Pill Reminder",  "Ski Reports",
    "Currency Pal",   "Backgammon",      "Note Taker",        "Tennis Stats",   "Kanji Cards"};

constexpr std::array<const char*, 6> kVersionNames{"1.0", "1.1", "1.2.1", "2.0", "2.5", "3.0"};
constexpr std::array<const char*, 4> kDetails{"Full version", "Full version, all languages",
                                              "Upgrade from earlier version", "Family license"};
constexpr std::array<int, 8> kPriceTiersUsd{99, 199, 299, 499, 799, 999, 1499, 1999};
constexpr std::array<const char*, 10> kUsStates{"WA", "CA", "NY", "TX", "FL",
                                                "IL", "OR", "MA", "CO", "GA"};

struct Sku {
  std::string id;
  int title;
  std::string version;
  const char* detail;
  bool professional;
  int market;
  int64_t cents;  // in the market's currency
  double weight;  // share of the purchases
};

int64_t PriceIn(const char* currency, int tier) {
  const int usd = kPriceTiersUsd[static_cast<size_t>(tier)];
  if (std::strcmp(currency, "GBP") == 0) {
    return tier == 0 ? 79 : kPriceTiersUsd[static_cast<size_t>(tier - 1)];
  }
  if (std::strcmp(currency, "JPY") == 0) return (usd + 50) / 100 * 10000;  // whole 100 yen
  return usd;
}

std::vector<Sku> MakeCatalogue(int count, Rng& rng) {
  const int titles = std::clamp(count / 50, 5, static_cast<int>(kTitles.size()));
  std::vector<int> title_tier(static_cast<size_t>(titles));
  std::vector<int> title_versions(static_cast<size_t>(titles));
  std::vector<double> title_weight(static_cast<size_t>(titles));
  for (int t = 0; t < titles; ++t) {
    title_tier[static_cast<size_t>(t)] = static_cast<int>(rng.Below(kPriceTiersUsd.size()));
    title_versions[static_cast<size_t>(t)] = 1 + static_cast<int>(rng.Below(4));
    title_weight[static_cast<size_t>(t)] = 1.0 / std::pow(t + 1.0, 0.8);
  }
  double market_total = 0;
  for (const Market& m : kMarkets) market_total += m.weight;

  std::vector<Sku> skus;
  skus.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    Sku s;
    s.title = static_cast<int>(static_cast<int64_t>(i) * titles / count);
    double pick = rng.Unit() * market_total;
    s.market = 0;
    while (s.market + 1 < static_cast<int>(kMarkets.size()) &&
           pick >= kMarkets[static_cast<size_t>(s.market)].weight) {
      pick -= kMarkets[static_cast<size_t>(s.market)].weight;
      ++s.market;
    }
    s.professional = rng.Below(2) == 0;
    const int versions = title_versions[static_cast<size_t>(s.title)];
    const int version = static_cast<int>(rng.Below(static_cast<uint64_t>(versions)));
    s.version = kVersionNames[static_cast<size_t>(version)];
    s.detail = kDetails[rng.Below(kDetails.size())];
    AppendHex(s.id, rng.Next(), 8);
    s.id += '-';
    AppendHex(s.id, static_cast<uint64_t>(i), 4);
    const int tier = std::clamp(title_tier[static_cast<size_t>(s.title)] + (s.professional ? 1 : 0),
                                0, static_cast<int>(kPriceTiersUsd.size()) - 1);
    s.cents = PriceIn(kMarkets[static_cast<size_t>(s.market)].currency, tier);
    s.weight = title_weight[static_cast<size_t>(s.title)] *
               kMarkets[static_cast<size_t>(s.market)].weight * (s.professional ? 0.6 : 0.4) *
               (0.5 + version * 0.4) * (0.5 + rng.Unit());
    skus.push_back(std::move(s));
  }
  return skus;
}

// ---- Spreadsheet text ----

// Writes rows in one of the two layouts: a loose file as a spreadsheet program saves it
// (CR LF, one indented cell per line) or an archive entry (LF, one row per line).
class SheetWriter {
 public:
  SheetWriter(std::string& out, bool loose) : out_(out), loose_(loose) {}

  void Text(std::string_view s) {
    if (!loose_) {
      out_ += s;
      return;
    }
    for (char c : s) {
      if (c == '\n') out_ += '\r';
      out_ += c;
    }
  }

  void BeginRow() { out_ += loose_ ? "   <Row>\r\n" : "<Row>"; }
  void EndRow() { out_ += loose_ ? "   </Row>\r\n" : "</Row>\n"; }
  // A row that is no data row (title or summary line); the tool passes it over.
  void BeginNoteRow() {
    out_ += loose_ ? "   <Row ss:AutoFitHeight=\"0\">\r\n" : "<Row ss:AutoFitHeight=\"0\">";
  }

  void Cell(std::string_view value, const char* style = nullptr) {
    if (loose_) out_ += "    ";
    if (style != nullptr) {
      out_ += "<Cell ss:StyleID=\"";
      out_ += style;
      out_ += "\"><Data ss:Type=\"String\">";
    } else {
      out_ += "<Cell><Data ss:Type=\"String\">";
    }
    out_ += value;
    out_ += "</Data></Cell>";
    if (loose_) out_ += "\r\n";
  }

  void BeginWorksheet(const char* name, int columns, size_t rows) {
    Text(" <Worksheet ss:Name=\"");
    Text(name);
    Text("\">\n  <Table ss:ExpandedColumnCount=\"");
    AppendUint(out_, static_cast<uint64_t>(columns));
    Text("\" ss:ExpandedRowCount=\"");
    AppendUint(out_, rows);
    Text("\" x:FullColumns=\"1\" x:FullRows=\"1\" ss:DefaultRowHeight=\"15\">\n");
    for (int c = 0; c < columns; ++c)
      Text(c == 0 ? "   <Column ss:Width=\"96\"/>\n"
                  : "   <Column ss:AutoFitWidth=\"0\" ss:Width=\"72\"/>\n");
  }

  void EndWorksheet() {
    Text(
        "  </Table>\n  <WorksheetOptions xmlns=\"urn:schemas-microsoft-com:office:excel\">\n"
        "   <PageSetup>\n    <Header x:Margin=\"0.3\"/>\n    <Footer x:Margin=\"0.3\"/>\n"
        "   </PageSetup>\n   <ProtectObjects>False</ProtectObjects>\n"
        "   <ProtectScenarios>False</ProtectScenarios>\n  </WorksheetOptions>\n </Worksheet>\n");
  }

 private:
  std::string& out_;
  bool loose_;
};

struct Purchase {
  int sku;
  uint32_t second;  // of the day
  uint64_t serial;  // unique over the whole tree
  uint32_t buyer;
  uint8_t state;
  bool refunded;
};

// The sixth cell of a purchase row, in the form this report uses.
void AppendDateText(std::string& out, const Date& d, uint32_t second, bool us_form) {
  const uint32_t h = second / 3600, m = second / 60 % 60, s = second % 60;
  if (us_form) {
    AppendUint(out, static_cast<uint64_t>(d.month));
    out += '/';
    AppendUint(out, static_cast<uint64_t>(d.day));
    out += '/';
    AppendUint(out, static_cast<uint64_t>(d.year));
    out += ' ';
    AppendUint(out, h % 12 == 0 ? 12 : h % 12);
    out += ':';
    AppendUint(out, m, 2);
    out += ':';
    AppendUint(out, s, 2);
    out += h < 12 ? " AM" : " PM";
  } else {
    out += IsoDay(d);
    out += 'T';
    AppendUint(out, h, 2);
    out += ':';
    AppendUint(out, m, 2);
    out += ':';
    AppendUint(out, s, 2);
    out += 'Z';
  }
}

struct Generator {
  std::vector<Sku> skus;
  uint64_t id_key = 0;  // makes purchase ids depend on the seed
};

std::string MakeReport(const Generator& g, const Date& day, const std::vector<int>& listed_skus,
                       const std::vector<Purchase>& purchases, bool loose) {
  std::string out;
  out.reserve(4096 + listed_skus.size() * 360 + purchases.size() * 460);
  SheetWriter w(out, loose);
  const std::string iso = IsoDay(day);
  w.Text(
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\"\n"
      " xmlns:o=\"urn:schemas-microsoft-com:office:office\"\n"
      " xmlns:x=\"urn:schemas-microsoft-com:office:excel\"\n"
      " xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\"\n"
      " xmlns:html=\"http://www.w3.org/TR/REC-html40\">\n"
      " <DocumentProperties xmlns=\"urn:schemas-microsoft-com:office:office\">\n"
      "  <Title>Fulfillment report</Title>\n  <Created>");
  w.Text(iso);
  w.Text(
      "T23:59:59Z</Created>\n  <Version>12.00</Version>\n </DocumentProperties>\n"
      " <Styles>\n  <Style ss:ID=\"Default\" ss:Name=\"Normal\">\n"
      "   <Alignment ss:Vertical=\"Bottom\"/>\n   <Borders/>\n"
      "   <Font ss:FontName=\"Calibri\" x:Family=\"Swiss\" ss:Size=\"11\"/>\n"
      "   <Interior/>\n   <NumberFormat/>\n   <Protection/>\n  </Style>\n"
      "  <Style ss:ID=\"s21\">\n   <Font ss:FontName=\"Calibri\" ss:Size=\"11\" ss:Bold=\"1\"/>\n"
      "  </Style>\n  <Style ss:ID=\"s22\">\n   <NumberFormat ss:Format=\"General Date\"/>\n"
      "  </Style>\n </Styles>\n");

  w.BeginWorksheet("SKU detail", 6, listed_skus.size() + 2);
  w.BeginNoteRow();
  w.Cell("SKU detail as of " + iso, "s21");
  w.EndRow();
  w.BeginRow();
  for (const char* h : {"SKU", "Title", "Version", "Detail", "Edition", "Market"}) w.Cell(h, "s21");
  w.EndRow();
  for (int i : listed_skus) {
    const Sku& s = g.skus[static_cast<size_t>(i)];
    w.BeginRow();
    w.Cell(s.id);
    w.Cell(kTitles[static_cast<size_t>(s.title)]);
    w.Cell(s.version);
    w.Cell(s.detail);
    w.Cell(s.professional ? "Professional" : "Standard");
    w.Cell(kMarkets[static_cast<size_t>(s.market)].code);
    w.EndRow();
  }
  w.EndWorksheet();

  w.BeginWorksheet("Purchase History", 7, purchases.size() + 2);
  w.BeginRow();
  for (const char* h : {"SKU", "Purchase", "Buyer", "Country", "State", "Date", "Status"}) {
    w.Cell(h, "s21");
  }
  w.EndRow();
  const bool us_form = day.month % 3 == 0;
  std::string cell;
  for (const Purchase& p : purchases) {
    const Sku& s = g.skus[static_cast<size_t>(p.sku)];
    const char* market = kMarkets[static_cast<size_t>(s.market)].code;
    w.BeginRow();
    w.Cell(s.id);
    cell.clear();
    AppendHex(cell, Mix(p.serial ^ g.id_key), 16);
    w.Cell(cell);
    cell.clear();
    AppendHex(cell, p.buyer, 8);
    w.Cell(cell);
    w.Cell(market);
    w.Cell(std::strcmp(market, "US") == 0 ? kUsStates[p.state % kUsStates.size()] : "");
    cell.clear();
    AppendDateText(cell, day, p.second, us_form);
    w.Cell(cell, loose ? "s22" : nullptr);
    w.Cell(p.refunded ? "Refunded" : "Completed");
    w.EndRow();
  }
  w.BeginNoteRow();
  cell = "Purchases: ";
  AppendUint(cell, purchases.size());
  w.Cell(cell, "s21");
  w.EndRow();
  w.EndWorksheet();
  w.Text("</Workbook>\n");
  return out;
}

// ---- Stored ZIP archives ----

uint32_t Crc32(std::string_view data) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : data) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

void Put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// Writes uncompressed entries with local headers, a central directory and an end record.
class StoredZip {
 public:
  void Add(std::string_view name, std::string_view data, const Date& modified) {
    if (data.size() > 0xFFFFFFFFu || bytes_.size() > 0xFFFFFFFFu) {
      throw std::runtime_error("archive too large for a plain ZIP");
    }
    const uint32_t offset = static_cast<uint32_t>(bytes_.size());
    const uint32_t crc = Crc32(data);
    const uint32_t size = static_cast<uint32_t>(data.size());
    const uint32_t time = (23u << 11) | (59u << 5) | 29u;  // 23:59:58
    const uint32_t date = (static_cast<uint32_t>(modified.year - 1980) << 9) |
                          (static_cast<uint32_t>(modified.month) << 5) |
                          static_cast<uint32_t>(modified.day);
    Put32(bytes_, 0x04034B50u);
    Put16(bytes_, 10);  // version needed: stored
    Put16(bytes_, 0);   // flags
    Put16(bytes_, 0);   // method: stored
    Put16(bytes_, time);
    Put16(bytes_, date);
    Put32(bytes_, crc);
    Put32(bytes_, size);
    Put32(bytes_, size);
    Put16(bytes_, static_cast<uint32_t>(name.size()));
    Put16(bytes_, 0);
    bytes_ += name;
    bytes_ += data;

    Put32(central_, 0x02014B50u);
    Put16(central_, (3u << 8) | 20);  // made by: Unix, 2.0
    Put16(central_, 10);
    Put16(central_, 0);
    Put16(central_, 0);
    Put16(central_, time);
    Put16(central_, date);
    Put32(central_, crc);
    Put32(central_, size);
    Put32(central_, size);
    Put16(central_, static_cast<uint32_t>(name.size()));
    Put16(central_, 0);  // extra
    Put16(central_, 0);  // comment
    Put16(central_, 0);  // disk
    Put16(central_, 0);  // internal attributes
    Put32(central_, 0100644u << 16);
    Put32(central_, offset);
    central_ += name;
    ++entries_;
  }

  std::string Finish() {
    const uint32_t central_offset = static_cast<uint32_t>(bytes_.size());
    bytes_ += central_;
    Put32(bytes_, 0x06054B50u);
    Put16(bytes_, 0);
    Put16(bytes_, 0);
    Put16(bytes_, entries_);
    Put16(bytes_, entries_);
    Put32(bytes_, static_cast<uint32_t>(central_.size()));
    Put32(bytes_, central_offset);
    Put16(bytes_, 0);
    return std::move(bytes_);
  }

 private:
  std::string bytes_, central_;
  uint32_t entries_ = 0;
};

// ---- Files ----

void MakeDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
    throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
  }
}

struct Totals {
  uint64_t files = 0, loose = 0, archives = 0, entries = 0, bytes = 0, sku_rows = 0,
           purchase_rows = 0;
};

void WriteFile(const std::string& path, std::string_view data, Totals& totals) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
  const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  if (std::fclose(f) != 0 || !ok) throw std::runtime_error("cannot write " + path);
  ++totals.files;
  totals.bytes += data.size();
}

std::string PricesCsv(const std::vector<Sku>& skus, Rng& rng) {
  std::string out;
  for (const Sku& s : skus) {
    const char* currency = kMarkets[static_cast<size_t>(s.market)].currency;
    // Some SKUs changed price: the older line comes first, the later line decides.
    if (rng.Below(20) == 0) {
      out += s.id + ";" + currency + ";";
      AppendUint(out, static_cast<uint64_t>(s.cents + (s.cents >= 10000 ? 10000 : 100)));
      out += "\r\n";
    }
    out += s.id + ";" + currency + ";";
    AppendUint(out, static_cast<uint64_t>(s.cents));
    out += "\r\n";
  }
  return out;
}

constexpr char kCurrencyTxt[] =
    "Exchange rates of 31 December 2019<br>EUR 1.00 = USD 1.1234<br>EUR 1.00 = GBP 0.8508\r\n"
    "EUR 1.00 = JPY 121.94\r\n"
    "EUR 1.00 = CHF 1.0854<br>EUR 1.00 = CAD 1.4598<br>EUR 1.00 = AUD 1.5995\r\n"
    "EUR 1.00 = SEK 10.4468\r\n";

struct Options {
  int skus = 200;
  int64_t purchases = 100000;
  double years = 3;
  uint64_t seed = kDefaultSeed;
  std::string out;
};

[[noreturn]] void Usage(const char* message) {
  std::fprintf(stderr,
               "%s\nUsage: tollwick_generate [--skus N] [--purchases N] [--years Y] [--seed N] "
               "OUTPUT_DIR\n  defaults: --skus 200 --purchases 100000 --years 3 --seed %llu\n"
               "  OUTPUT_DIR must be empty or not exist yet.\n",
               message, static_cast<unsigned long long>(kDefaultSeed));
  std::exit(2);
}

Options ReadArguments(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) Usage("missing value");
      return argv[++i];
    };
    char* end = nullptr;
    if (arg == "--skus") {
      o.skus = static_cast<int>(std::strtol(value(), &end, 10));
      if (*end != '\0' || o.skus < 1 || o.skus > 65535) Usage("--skus takes 1 to 65535");
    } else if (arg == "--purchases") {
      o.purchases = std::strtoll(value(), &end, 10);
      if (*end != '\0' || o.purchases < 0 || o.purchases > 100000000) {
        Usage("--purchases takes 0 to 100000000");
      }
    } else if (arg == "--years") {
      o.years = std::strtod(value(), &end);
      if (*end != '\0' || !(o.years > 0 && o.years <= 100))
        Usage("--years takes a number up to 100");
    } else if (arg == "--seed") {
      o.seed = std::strtoull(value(), &end, 10);
      if (*end != '\0') Usage("--seed takes a number");
    } else if (!arg.empty() && arg[0] == '-') {
      Usage("unknown option");
    } else if (o.out.empty()) {
      o.out = arg;
    } else {
      Usage("only one output directory");
    }
  }
  if (o.out.empty()) Usage("no output directory");
  return o;
}

// Refuses a directory that already holds something: stale files would mix into the tree.
void RequireEmptyOrAbsent(const std::string& dir) {
  for (size_t slash = dir.find('/', 1); slash != std::string::npos;
       slash = dir.find('/', slash + 1)) {
    MakeDirectory(dir.substr(0, slash));
  }
  MakeDirectory(dir);
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) throw std::runtime_error("cannot open " + dir + ": " + std::strerror(errno));
  bool empty = true;
  while (const dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) empty = false;
  }
  ::closedir(d);
  if (!empty) throw std::runtime_error(dir + " is not empty");
}

}  // namespace

int main(int argc, char** argv) {
  const Options opt = ReadArguments(argc, argv);
  try {
    RequireEmptyOrAbsent(opt.out);
    Rng rng(opt.seed);
    Generator g;
    g.id_key = rng.Next();
    g.skus = MakeCatalogue(opt.skus, rng);
    std::vector<double> cumulative(g.skus.size());
    double sum = 0;
    for (size_t i = 0; i < g.skus.size(); ++i) cumulative[i] = sum += g.skus[i].weight;

    // The range ends on 31 December 2019; whole years begin on 1 January.
    const int64_t last = DaysFromCivil(2019, 12, 31);
    const double whole_years = std::floor(opt.years);
    const int64_t first = DaysFromCivil(2020 - static_cast<int>(whole_years), 1, 1) -
                          std::llround((opt.years - whole_years) * 365.2425);
    const int64_t days = last - first + 1;

    // Purchases per day: sales grow over the years, with busier weekends and Decembers.
    std::vector<double> day_weight(static_cast<size_t>(days));
    double weight_sum = 0;
    for (int64_t i = 0; i < days; ++i) {
      const Date d = CivilFromDays(first + i);
      const int wd = Weekday(first + i);
      double w = 0.4 + static_cast<double>(i) / static_cast<double>(days);
      if (wd == 0 || wd == 6) w *= 1.25;
      if (d.month == 12) w *= 1.4;
      w *= 0.8 + 0.4 * rng.Unit();
      day_weight[static_cast<size_t>(i)] = w;
      weight_sum += w;
    }

    Totals totals;
    const std::string root = opt.out;
    WriteFile(root + "/prices.csv", PricesCsv(g.skus, rng), totals);
    WriteFile(root + "/currency.txt", kCurrencyTxt, totals);

    std::vector<int> all_skus(g.skus.size());
    for (size_t i = 0; i < all_skus.size(); ++i) all_skus[i] = static_cast<int>(i);

    uint64_t serial = 0;
    double cum_weight = 0;
    int64_t assigned = 0;
    std::vector<Purchase> previous, today;
    std::vector<char> listed(g.skus.size());
    std::vector<int> listed_skus;
    StoredZip month_zip;
    bool month_zip_used = false;
    std::string month_zip_path;
    int month_index = 0;
    int last_year = 0;

    for (int64_t i = 0; i < days; ++i) {
      const Date d = CivilFromDays(first + i);
      const std::string year_dir = root + "/" + std::to_string(d.year);
      if (d.year != last_year) {
        MakeDirectory(year_dir);
        last_year = d.year;
      }
      if (i > 0 && d.day == 1) ++month_index;
      cum_weight += day_weight[static_cast<size_t>(i)];
      const int64_t target =
          i + 1 == days
              ? opt.purchases
              : std::llround(static_cast<double>(opt.purchases) * cum_weight / weight_sum);
      const int64_t count = std::max<int64_t>(0, target - assigned);
      assigned += count;

      today.clear();
      for (int64_t k = 0; k < count; ++k) {
        Purchase p{};
        const double pick = rng.Unit() * sum;
        p.sku = static_cast<int>(std::upper_bound(cumulative.begin(), cumulative.end(), pick) -
                                 cumulative.begin());
        p.sku = std::min(p.sku, static_cast<int>(g.skus.size()) - 1);
        p.second = static_cast<uint32_t>(rng.Below(86400));
        p.buyer = static_cast<uint32_t>(rng.Next());
        p.state = static_cast<uint8_t>(rng.Below(256));
        p.refunded = rng.Below(50) == 0;
        today.push_back(p);
      }
      std::sort(today.begin(), today.end(),
                [](const Purchase& a, const Purchase& b) { return a.second < b.second; });
      for (Purchase& p : today) p.serial = serial++;

      // The rows of the report: the day's purchases after the last two of the day before.
      std::vector<Purchase> rows(previous.end() - std::min<ptrdiff_t>(2, std::ssize(previous)),
                                 previous.end());
      rows.insert(rows.end(), today.begin(), today.end());
      // The SKU sheet carries the SKUs that this report's purchases need and that no earlier
      // report of the month carried; the first report of every quarter carries the whole
      // catalogue.
      if (d.day == 1) std::fill(listed.begin(), listed.end(), 0);
      const bool full_catalogue = i == 0 || (d.day == 1 && (d.month - 1) % 3 == 0);
      listed_skus.clear();
      if (full_catalogue) {
        listed_skus = all_skus;
        std::fill(listed.begin(), listed.end(), 1);
      } else {
        for (const Purchase& p : rows) {
          if (listed[static_cast<size_t>(p.sku)] == 0) {
            listed[static_cast<size_t>(p.sku)] = 1;
            listed_skus.push_back(p.sku);
          }
        }
        std::sort(listed_skus.begin(), listed_skus.end());
      }
      totals.sku_rows += listed_skus.size();
      totals.purchase_rows += rows.size();

      const std::string day_name = "sales-" + IsoDay(d);
      const bool loose = month_index % 2 == 0;
      const std::string report = MakeReport(g, d, listed_skus, rows, loose);
      if (loose) {
        WriteFile(year_dir + "/" + day_name + ".xml", report, totals);
        ++totals.loose;
      } else if (d.day > 25 || i + 1 == days) {
        // The month's archive was already sent; the last days come one archive each.
        StoredZip single;
        single.Add("fulfillmentreport.xml", report, d);
        WriteFile(year_dir + "/" + day_name + ".zip", single.Finish(), totals);
        ++totals.archives;
        ++totals.entries;
      } else {
        month_zip.Add("fulfillmentreport.xml", report, d);
        month_zip_used = true;
        ++totals.entries;
        month_zip_path = year_dir + "/sales-" + IsoDay(d).substr(0, 7) + ".zip";
      }
      const bool month_ends = i + 1 == days || CivilFromDays(first + i + 1).day == 1 || d.day == 25;
      if (month_zip_used && month_ends) {
        WriteFile(month_zip_path, month_zip.Finish(), totals);
        month_zip = StoredZip();
        month_zip_used = false;
        ++totals.archives;
      }
      previous.swap(today);
    }

    std::printf(
        "%s: %llu SKUs, %llu purchases, %lld days from %s to %s\n"
        "  %llu files, %.1f MB: %llu loose reports, %llu archives with %llu reports\n"
        "  %llu SKU rows, %llu purchase rows\n",
        root.c_str(), static_cast<unsigned long long>(g.skus.size()),
        static_cast<unsigned long long>(opt.purchases), static_cast<long long>(days),
        IsoDay(CivilFromDays(first)).c_str(), IsoDay(CivilFromDays(last)).c_str(),
        static_cast<unsigned long long>(totals.files), static_cast<double>(totals.bytes) / 1e6,
        static_cast<unsigned long long>(totals.loose),
        static_cast<unsigned long long>(totals.archives),
        static_cast<unsigned long long>(totals.entries),
        static_cast<unsigned long long>(totals.sku_rows),
        static_cast<unsigned long long>(totals.purchase_rows));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tollwick_generate: %s\n", e.what());
    return 1;
  }
  return 0;
}
