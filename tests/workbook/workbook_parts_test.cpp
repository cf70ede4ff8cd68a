// The workbook rows the program writes itself: the library's cell XML, packing, and splicing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <random>

#include "app/run.h"
#include "base/errors.h"
#include "base/file_bytes.h"
#include "support/checks.h"
#include "support/faulty_writes.h"
#include "support/literal_archive.h"
#include "support/test_support.h"
#include "workbook/row_packer.h"
#include "workbook/sheet_row_xml.h"
#include "workbook/sheet_splice.h"

namespace tollwick::testing {
namespace {

std::string InflateRaw(const std::string& packed) {
  std::string text;
  size_t consumed = 0;
  literal::Inflate(packed, text, consumed);
  return text;
}

// The entry `name` of a zip file, inflated (after a check of its CRC-32 and size).
std::string EntryOf(const std::string& zip, std::string_view name) {
  auto u16 = [&zip](size_t at) {
    return size_t{uint8_t(zip[at])} | size_t{uint8_t(zip[at + 1])} << 8;
  };
  auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  size_t end = zip.rfind("PK\5\6");
  for (size_t at = u32(end + 16), i = 0; i < u16(end + 10); ++i) {
    size_t name_size = u16(at + 28);
    if (zip.compare(at + 46, name_size, name) == 0) {
      size_t local = u32(at + 42);
      std::string text = zip.substr(local + 30 + u16(local + 26) + u16(local + 28), u32(at + 20));
      if (u16(at + 10) != 0) text = InflateRaw(text);
      EXPECT_EQ(text.size(), u32(at + 24)) << name;
      EXPECT_EQ(literal::Crc32(text), u32(at + 16)) << name;
      return text;
    }
    at += 46 + name_size + u16(at + 30) + u16(at + 32);
  }
  ADD_FAILURE() << "no entry " << name;
  return "";
}

// Random rows, some as wide as a sheet, written by the library in its row-streaming mode and by
// SheetRowXml: the sheets' data are the same bytes. Every number of `numbers` is written once,
// which the library shows as printf's "%.16G" does.
TEST(SheetRowXml, RowsAsTheLibraryWritesThem) {
  // clang-format off
  std::vector<double> numbers = {0.0, -0.0, 1, -1, 0.1 + 0.2, 758.29, -1234.5, 1e15, 1e16, 1e17,
      9007199254740991.0, 9007199254740992.0, 9007199254740994.0, 123456789012345.67,
      99999999999999.99, 1e-7, 2.5e-5, 0.5, 1e300, -1e300, 5e-324, 40179, 2958465};
  // clang-format on
  std::mt19937_64 bits(7);
  for (int i = 0; i < 20000; ++i) {
    auto digits = std::uniform_int_distribution<int>(0, 18)(bits);
    auto cents = static_cast<int64_t>(bits() % static_cast<uint64_t>(std::pow(10.0, digits)));
    numbers.push_back(static_cast<double>(i % 2 != 0 ? -cents : cents) / 100);
    numbers.push_back(static_cast<double>(cents));
    if (const auto any = std::bit_cast<double>(bits()); std::isfinite(any)) numbers.push_back(any);
  }
  TempDir dir;
  const std::string path = dir / "literal.xlsx";
  lxw_workbook_options settings{};
  settings.constant_memory = LXW_TRUE;
  lxw_workbook* workbook = workbook_new_opt(path.c_str(), &settings);
  lxw_worksheet* sheet = workbook_add_worksheet(workbook, "Rows");
  lxw_format* formats[] = {nullptr, workbook_add_format(workbook), workbook_add_format(workbook)};
  format_set_num_format(formats[1], "#,##0.00");
  format_set_num_format(formats[2], "yyyy-mm-dd");
  const int32_t styles[] = {0, lxw_format_get_xf_index(formats[1]),
                            lxw_format_get_xf_index(formats[2])};
  const char* texts[] = {"20100115", " lead", "trail ", "a&b<c>d", "\"quoted\" 'text'", "x y"};

  std::mt19937 random(11);
  SheetRowXml xml;
  std::string ours;
  size_t next = 0;
  for (uint32_t row = 0; next < numbers.size(); row += 1 + random() % 3) {
    xml.BeginRow(ours, row);
    const uint32_t columns = random() % 20 == 0 ? 16384 : random() % 40;  // sometimes none
    for (uint32_t col = random() % 3; col < columns; col += 1 + random() % (columns / 8 + 4)) {
      size_t format = random() % 3;
      if (random() % 10 == 0) {
        const char* text = texts[random() % std::size(texts)];
        worksheet_write_string(sheet, row, static_cast<lxw_col_t>(col), text, formats[format]);
        xml.Text(ours, col, text, styles[format]);
      } else {
        const double value = numbers[next++ % numbers.size()];
        worksheet_write_number(sheet, row, static_cast<lxw_col_t>(col), value, formats[format]);
        xml.Number(ours, col, value, styles[format]);
      }
    }
    xml.EndRow(ours);
  }
  ASSERT_EQ(workbook_close(workbook), LXW_NO_ERROR);
  std::string theirs = EntryOf(ReadFile(path), "xl/worksheets/sheet1.xml");
  size_t begin = theirs.find("<sheetData>"), end = theirs.find("</sheetData>");
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(ours, theirs.substr(begin + 11, end - begin - 11));
}

// Random parts through one and three packing threads inflate back, with CRC, size and offset.
TEST(RowPacker, PartsInflateToTheirText) {
  for (size_t threads : {1, 3}) {
    SCOPED_TRACE(threads);
    TempDir dir;
    const FileDescriptor folder(::open(dir.path().c_str(), O_PATH | O_DIRECTORY));
    RowPacker packer(SystemFileSystem(), folder.get(), dir / "book.xlsx", 2, threads, 700);
    std::mt19937 random(static_cast<unsigned>(threads));
    std::vector<std::pair<std::string, PackedPart>> parts;  // each text and its packed part
    for (int p = 0; p < 12; ++p) {
      std::string text;
      for (int rows = random() % 400; rows > 0; --rows) {
        std::string row = "<row r=\"" + std::to_string(random()) + "\">";
        for (int c = random() % 9; c > 0; --c)
          row += "<c><v>" + std::to_string(random() % 7) + "</v></c>";
        packer.text() += row;
        text += row;
        packer.Pass();
      }
      parts.emplace_back(text, packer.EndPart());
    }
    uint64_t offset = 0;
    for (const auto& [text, part] : parts) {
      EXPECT_EQ(part.offset, offset);
      offset += part.packed_size;
      std::string packed(part.packed_size, '\0');
      ASSERT_EQ(::pread(packer.fd(), packed.data(), packed.size(), static_cast<off_t>(part.offset)),
                static_cast<ssize_t>(packed.size()));
      EXPECT_EQ(InflateRaw(packed), text);
      EXPECT_EQ(part.size, text.size());
      EXPECT_EQ(part.crc, literal::Crc32(text));
    }
  }
}

// A workbook's package around one sheet: the workbook lists it as "Days" with a relationship
// whose target is `entry` (named unlike its place in the list, as a package may name it).
std::vector<ZipEntry> Package(const std::string& entry, const std::string& sheet,
                              bool streamed = false) {
  return {Stored("xl/workbook.xml",
                 "<workbook><sheets><sheet name=\"Products\" sheetId=\"1\" r:id=\"rId1\"/>"
                 "<sheet name=\"Days\" sheetId=\"2\" r:id=\"rId7\"/></sheets></workbook>"),
          Deflated("xl/_rels/workbook.xml.rels",
                   "<Relationships><Relationship Id=\"rId7\" Type=\"t\" "
                   "Target=\"worksheets/../worksheets/sheet9.xml\"/><Relationship Id=\"rId1\" "
                   "Target=\"/xl/worksheets/sheet1.xml\"/></Relationships>"),
          Stored("xl/worksheets/sheet1.xml", "<worksheet><sheetData/></worksheet>"),
          Deflated(entry, sheet, streamed)};
}

// Writes `zip` as book.xlsx in `dir` and splices `rows` (ending at `last_row`) into its sheet
// "Days", as for a workbook "/b.xlsx": the error that raises, or "".
std::string Splice(const TempDir& dir, const std::string& zip, const std::string& rows,
                   uint32_t last_row, int library_errno = 0) {
  WriteFile(dir / "book.xlsx", zip);
  const FileDescriptor folder(::open(dir.path().c_str(), O_PATH | O_DIRECTORY));
  RowPacker packer(SystemFileSystem(), folder.get(), dir / "book.xlsx", 2);
  packer.text() = rows;
  const SheetRows spliced[] = {{"Days", packer.EndPart(), last_row}};
  const FileDescriptor book(::open((dir / "book.xlsx").c_str(), O_RDWR));
  return ErrorOf([&] {
    SpliceSheetRows(SystemFileSystem(), book.get(), packer.fd(), spliced, "/b.xlsx", 2,
                    library_errno);
  });
}

// Rows spliced before "</sheetData>", the dimension widened, other entries unchanged; the sheet's
// sizes in a data descriptor (the binary's workbook tests splice the library's, sizes first).
TEST(SpliceSheetRows, PutsTheRowsIntoTheSheet) {
  const std::string sheet =
      "<worksheet><dimension ref=\"A1:AB1\"/><sheetData><row r=\"1\"/></sheetData><x/></worksheet>";
  const std::string rows = "<row r=\"2\"><c r=\"A2\"><v>7</v></c></row><row r=\"3\"/>";
  TempDir dir;
  const std::vector<ZipEntry> entries = Package("xl/worksheets/sheet9.xml", sheet, true);
  std::string bytes = MakeZip(entries);
  // The central directory has the sizes that the descriptor gives.
  bytes.replace(bytes.rfind("PK\1\2") + 16, 12, entries.back().trailer.substr(4));
  ASSERT_EQ(Splice(dir, bytes, rows, 2), "");
  const std::string book = ReadFile(dir / "book.xlsx");
  EXPECT_EQ(EntryOf(book, "xl/worksheets/sheet9.xml"),
            "<worksheet><dimension ref=\"A1:AB3\"/><sheetData><row r=\"1\"/>" + rows +
                "</sheetData><x/></worksheet>");
  for (size_t i = 0; i + 1 < entries.size(); ++i)
    EXPECT_EQ(EntryOf(book, entries[i].name), EntryOf(bytes, entries[i].name));
}

// Anything the library never writes, every prefix included, is refused rather than completed.
TEST(SpliceSheetRows, RefusesAnythingElse) {
  const std::string sheet = "<worksheet><sheetData></sheetData></worksheet>";
  const std::string entry = "xl/worksheets/sheet9.xml";
  const std::vector<ZipEntry> parts = Package(entry, sheet);
  std::vector<std::string> cases = {
      MakeZip(Package("xl/worksheets/sheet2.xml", sheet)),  // not the listed sheet's part
      MakeZip({parts[1], parts[3]}),                        // no workbook part
      MakeZip({parts[0], parts[3]}),                        // no relationships
      MakeZip({parts[0], parts[1], Stored(entry, sheet)}),
      MakeZip(Package(entry, "<worksheet></worksheet>")),  // no sheetData
      // Sound zip files with a part cut short, deflated or stored.
      MakeZip({Deflated("xl/styles.xml", "<?xml version=\"1.0\"?>\n<styleSheet><fonts>"), parts[0],
               parts[1], parts[2], parts[3]}),
      MakeZip({Stored("a.rels", "<Relationships><Relationship/></Relation"), parts[0], parts[1],
               parts[2], parts[3]}),
      MakeZip(Package(entry, sheet.substr(0, sheet.size() - 1))),
  };
  const std::string whole = MakeZip(parts);
  for (size_t size = 0; size < whole.size(); ++size) cases.push_back(whole.substr(0, size));
  // Every other case with the errno that the library met, which is then the reason given.
  const std::string reasons[] = {"The workbook library wrote no zip file that can be completed",
                                 "File too large"};
  TempDir dir;
  for (size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(Splice(dir, cases[i], "<row r=\"2\"/>", 1, i % 2 == 0 ? 0 : EFBIG),
              "EInOutError: Cannot write file \"/b.xlsx\". " + reasons[i % 2])
        << i;
}

// Each write of the workbook and the page fails in turn: that error, and the old files kept.
TEST(WriteFaults, EachFailedWriteKeepsTheOldFiles) {
  for (const char* target : {"--workbook=old.xlsx", "--html=old.html"}) {
    TempDir dir;
    WriteOneSaleTree(dir.path());
    WriteFile(dir / "old.xlsx", "an older workbook");
    WriteFile(dir / "old.html", "an older page");
    const Tree before = Snapshot(dir.path());
    const std::string name = std::string(target).substr(std::string(target).find('=') + 1);
    const std::string expected = "EInOutError: Cannot write file \"" +
                                 std::filesystem::canonical(dir.path()).string() + "/" + name +
                                 "\". " + SystemErrorText(ENOSPC);
    ScopedChdir here(dir.path());
    const auto run = [&](FaultyWrites& files) {
      RunState state;
      state.Files = &files;
      return ErrorOf([&] { RunTollwick({"--all", target}, state); });
    };
    FaultyWrites counting;
    ASSERT_EQ(run(counting), "") << target;
    EXPECT_NE(ReadFile(dir / name), before.at(name));
    WriteFile(dir / name, before.at(name));
    ASSERT_GT(counting.writes, 0);
    for (int failing = 0; failing < counting.writes; ++failing) {
      SCOPED_TRACE(std::string(target) + ", write " + std::to_string(failing));
      FaultyWrites files;
      files.failing_write = failing;
      EXPECT_EQ(run(files), expected);
      EXPECT_EQ(TreeDiff(before, Snapshot(dir.path())), "");
    }
  }
}

}  // namespace
}  // namespace tollwick::testing
