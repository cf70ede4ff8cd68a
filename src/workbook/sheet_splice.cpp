#include "workbook/sheet_splice.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "base/errors.h"

namespace tollwick {

namespace {

constexpr uint64_t kMost32 = 0xFFFFFFFE;  // 0xFFFFFFFF itself means "see the 64-bit record"
constexpr size_t kLocalHeader = 30, kCentralHeader = 46, kEndRecord = 22;
constexpr std::string_view kSheetDataEnd = "</sheetData>";

uint32_t Read16(std::string_view bytes, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at]) |
                               static_cast<unsigned char>(bytes[at + 1]) << 8);
}
uint32_t Read32(std::string_view bytes, size_t at) {
  return Read16(bytes, at) | Read16(bytes, at + 2) << 16;
}
void Write32(std::string& bytes, size_t at, uint64_t value) {
  for (size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// Whether an XML document ends with the end of its root element, as one that was cut short
// does not.
bool EndsWhole(std::string_view text) {
  size_t at = 0;
  // Past the declaration, processing instructions and comments.
  for (;;) {
    at = text.find('<', at);
    if (at == std::string_view::npos || at + 1 == text.size()) return false;
    if (text[at + 1] != '?' && text[at + 1] != '!') break;
    at = text.find('>', at);
    if (at == std::string_view::npos) return false;
  }
  const size_t name_end = text.find_first_of(" \t\r\n/>", at + 1);
  if (name_end == std::string_view::npos) return false;
  const std::string_view root = text.substr(at + 1, name_end - at - 1);
  const size_t last = text.find_last_not_of(" \t\r\n");
  text = text.substr(0, last + 1);
  // "</root>" at the end, or a root element that closes itself and is all there is.
  const size_t start_end = text.find('>', at);
  if (start_end + 1 == text.size() && text[start_end - 1] == '/') return true;
  return text.size() >= root.size() + 3 && text.ends_with('>') &&
         text.substr(text.size() - root.size() - 3, 2) == "</" &&
         text.substr(text.size() - root.size() - 1, root.size()) == root;
}

// The value of the attribute `name` of the element that begins at `element` ("<sheet ..."),
// its five predefined entities resolved; nullopt when it has none.
std::optional<std::string> AttributeOf(std::string_view element, std::string_view name) {
  element = element.substr(0, element.find('>'));
  size_t at = element.find_first_of(" \t\r\n");
  while (at != std::string_view::npos) {
    at = element.find_first_not_of(" \t\r\n", at);
    const size_t equals = element.find('=', at);
    if (at == std::string_view::npos || equals == std::string_view::npos) break;
    const std::string_view key =
        element.substr(at, element.find_last_not_of(" \t\r\n", equals - 1) + 1 - at);
    const size_t open = element.find_first_of("\"'", equals);
    if (open == std::string_view::npos) break;
    const size_t close = element.find(element[open], open + 1);
    if (close == std::string_view::npos) break;
    if (key == name) {
      const std::string_view raw = element.substr(open + 1, close - open - 1);
      std::string value;
      for (size_t i = 0; i < raw.size(); ++i) {
        static constexpr std::pair<std::string_view, char> kEntities[] = {
            {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
        bool replaced = false;
        for (const auto& [entity, c] : kEntities)
          if (raw.substr(i).starts_with(entity)) {
            value += c;
            i += entity.size() - 1;
            replaced = true;
            break;
          }
        if (!replaced) value += raw[i];
      }
      return value;
    }
    at = close + 1;
  }
  return std::nullopt;
}

// Every element `<tag ...>` of an XML text, as the text from its "<" on.
std::vector<std::string_view> ElementsNamed(std::string_view text, std::string_view tag) {
  std::vector<std::string_view> found;
  const std::string opening = "<" + std::string(tag);
  for (size_t at = text.find(opening); at != std::string_view::npos;
       at = text.find(opening, at + 1)) {
    const size_t after = at + opening.size();
    if (after < text.size() &&
        std::string_view(" \t\r\n/>").find(text[after]) != std::string_view::npos)
      found.push_back(text.substr(at));
  }
  return found;
}

// The zip entry of a relationship's target, taken from the folder "xl/" of the workbook part.
std::string EntryOfTarget(std::string_view target) {
  if (target.starts_with('/')) return std::string(target.substr(1));
  std::string entry = "xl";
  while (!target.empty()) {
    const size_t slash = target.find('/');
    const std::string_view step = target.substr(0, slash);
    if (step == "..") {
      const size_t up = entry.rfind('/');
      entry.resize(up == std::string::npos ? 0 : up);
    } else if (step != "." && !step.empty()) {
      entry += (entry.empty() ? "" : "/") + std::string(step);
    }
    target = slash == std::string_view::npos ? std::string_view() : target.substr(slash + 1);
  }
  return entry;
}

// `text` with the range of its <dimension> element ending in row `last_row` (from 0), the
// column of its last cell kept; unchanged when it has none.
std::string WithDimension(std::string_view text, uint32_t last_row) {
  const std::vector<std::string_view> found = ElementsNamed(text, "dimension");
  if (found.empty()) return std::string(text);
  const std::string_view element = found.front().substr(0, found.front().find('>'));
  const size_t key = element.find("ref=");
  if (key == std::string_view::npos || key + 5 > element.size()) return std::string(text);
  const size_t open = key + 4, close = element.find(element[open], open + 1);
  if (close == std::string_view::npos) return std::string(text);
  const std::string_view ref = element.substr(open + 1, close - open - 1);
  const size_t colon = ref.find(':');
  const std::string_view first = ref.substr(0, colon);
  const std::string_view last = colon == std::string_view::npos ? first : ref.substr(colon + 1);
  const std::string_view column = last.substr(0, last.find_first_of("0123456789"));
  const size_t start = static_cast<size_t>(element.data() - text.data()) + open + 1;
  std::string out(text.substr(0, start));
  out += std::string(first) + ":" + std::string(column) + std::to_string(last_row + 1);
  out += text.substr(start + ref.size());
  return out;
}

class Splicer {
 public:
  Splicer(FileSystem& files, int zip_fd, int rows_fd, const std::string& path, int level,
          int library_error)
      : files_(files),
        zip_fd_(zip_fd),
        rows_fd_(rows_fd),
        path_(path),
        level_(level),
        library_error_(library_error) {}

  void Run(std::span<const SheetRows> sheets) {
    const std::string zip = ReadAll();
    // The end record: the library writes no comment, but one is allowed for.
    size_t end = zip.size() < kEndRecord ? std::string_view::npos
                                         : std::string_view(zip).rfind("PK\5\6", zip.size() - 22);
    if (end == std::string_view::npos || end + kEndRecord > zip.size()) Broken();
    const size_t entries = Read16(zip, end + 10);
    const size_t directory = Read32(zip, end + 16);
    if (directory > end) Broken();

    struct Entry {
      std::string_view record;  // in the central directory
      std::string_view name;
      std::string_view local;  // the local header, the data and what follows up to the next
      size_t data = 0;         // where the data begins in `local`
      uint32_t method = 0;
      const SheetRows* sheet = nullptr;
      std::string text;  // an XML part's text
    };
    std::vector<Entry> list;
    std::vector<size_t> starts;  // of every local part, and of the directory
    for (size_t at = directory, i = 0; i < entries; ++i) {
      if (at + kCentralHeader > end || zip.compare(at, 4, "PK\1\2") != 0) Broken();
      size_t size =
          kCentralHeader + Read16(zip, at + 28) + Read16(zip, at + 30) + Read16(zip, at + 32);
      if (at + size > end) Broken();
      Entry& entry = list.emplace_back();
      entry.record = std::string_view(zip).substr(at, size);
      entry.name = entry.record.substr(kCentralHeader, Read16(entry.record, 28));
      starts.push_back(Read32(entry.record, 42));
      at += size;
    }
    starts.push_back(directory);
    std::sort(starts.begin(), starts.end());

    // Every part must be whole: the library writes each part into a temporary file of its
    // own without checking those writes, so a part can be cut short in a zip file that is
    // otherwise sound.
    for (Entry& entry : list) {
      const size_t local = Read32(entry.record, 42);
      if (local >= directory) Broken();
      entry.local = std::string_view(zip).substr(
          local, *std::upper_bound(starts.begin(), starts.end(), local) - local);
      if (entry.local.size() < kLocalHeader || entry.local.compare(0, 4, "PK\3\4") != 0) Broken();
      entry.data = kLocalHeader + Read16(entry.local, 26) + Read16(entry.local, 28);
      const uint32_t packed = Read32(entry.record, 20);
      entry.method = Read16(entry.record, 10);
      if (entry.data + packed > entry.local.size()) Broken();
      if (!entry.name.ends_with(".xml") && !entry.name.ends_with(".rels")) continue;
      if (entry.method != Z_DEFLATED && entry.method != 0) Broken();
      entry.text = entry.method == 0
                       ? std::string(entry.local.substr(entry.data, packed))
                       : Inflate(entry.local.substr(entry.data, packed), Read32(entry.record, 24));
      if (!EndsWhole(entry.text)) Broken();
    }
    if (sheets.empty()) return;
    FindSheets(list, sheets);

    std::string directory_out;
    for (const Entry& entry : list) {
      std::string record(entry.record);
      Write32(record, 42, Checked(written_));
      if (entry.sheet == nullptr)
        Write(entry.local);
      else
        Splice(entry.local.substr(0, entry.data), entry.text, *entry.sheet, record);
      directory_out += record;
    }
    std::string end_record = zip.substr(end);
    Write32(end_record, 12, Checked(directory_out.size()));
    Write32(end_record, 16, Checked(written_));
    Write(directory_out);
    Write(end_record);
    if (files_.Truncate(zip_fd_, written_) != 0) Fail(errno);
  }

 private:
  // Gives each sheet's entry its rows: the workbook lists the sheet by name with the id of a
  // relationship, whose target is the sheet's part. A sheet not found, or not deflated like
  // the rows, is a workbook that cannot be completed.
  template <typename Entry>
  void FindSheets(std::vector<Entry>& list, std::span<const SheetRows> sheets) {
    auto text_of = [&list](std::string_view name) -> const std::string* {
      for (const Entry& entry : list)
        if (entry.name == name) return &entry.text;
      return nullptr;
    };
    const std::string* workbook = text_of("xl/workbook.xml");
    const std::string* relations = text_of("xl/_rels/workbook.xml.rels");
    if (workbook == nullptr || relations == nullptr) Broken();
    std::map<std::string, std::string> targets;  // by relationship id
    for (std::string_view element : ElementsNamed(*relations, "Relationship")) {
      std::optional<std::string> id = AttributeOf(element, "Id");
      std::optional<std::string> target = AttributeOf(element, "Target");
      if (id && target) targets[*id] = EntryOfTarget(*target);
    }
    for (const SheetRows& sheet : sheets) {
      std::optional<std::string> id;
      for (std::string_view element : ElementsNamed(*workbook, "sheet"))
        if (AttributeOf(element, "name") == sheet.sheet) id = AttributeOf(element, "r:id");
      auto target = id ? targets.find(*id) : targets.end();
      if (target == targets.end()) Broken();  // rows would be lost
      auto entry = std::find_if(list.begin(), list.end(),
                                [&](const Entry& e) { return e.name == target->second; });
      // Its own text is packed again around its rows, so it is deflated like them.
      if (entry == list.end() || entry->method != Z_DEFLATED || entry->sheet != nullptr) Broken();
      entry->sheet = &sheet;
    }
  }

  std::string ReadAll() {
    struct stat info {};
    if (files_.Stat(zip_fd_, info) != 0) Fail(errno);
    std::string bytes(static_cast<size_t>(info.st_size), '\0');
    ReadExactly(zip_fd_, bytes.data(), bytes.size(), 0);
    return bytes;
  }

  // `count` bytes of `fd` at `offset`; a file that ends before them is an I/O error.
  void ReadExactly(int fd, char* buffer, size_t count, uint64_t offset) {
    const ssize_t got = ReadFully(files_, fd, buffer, count, &offset);
    if (got < 0) Fail(errno);
    if (static_cast<size_t>(got) < count) Fail(EIO);
  }

  // The entry of a sheet, from its local `header` and its `text`, with the rows put in; its
  // central `record` gets the new CRC-32 and sizes.
  void Splice(std::string_view header_in, const std::string& text, const SheetRows& sheet,
              std::string& record) {
    size_t split = text.rfind(kSheetDataEnd);
    if (split == std::string::npos) Broken();
    const std::string head_text =
        WithDimension(std::string_view(text).substr(0, split), sheet.last_row);
    const std::string_view before = head_text;
    const std::string_view after = std::string_view(text).substr(split);
    const std::string head = Deflate(before, false), tail = Deflate(after, true);

    uLong crc = crc32_z(0, reinterpret_cast<const Bytef*>(before.data()), before.size());
    crc = crc32_combine(crc, sheet.rows.crc, static_cast<z_off_t>(sheet.rows.size));
    crc = crc32_combine(crc, crc32_z(0, reinterpret_cast<const Bytef*>(after.data()), after.size()),
                        static_cast<z_off_t>(after.size()));
    const uint64_t size = before.size() + after.size() + sheet.rows.size;
    const uint64_t packed_size = head.size() + sheet.rows.packed_size + tail.size();
    std::string header(header_in);
    for (std::string* fields : {&header, &record}) {
      size_t at = fields == &header ? 14 : 16;
      Write32(*fields, at, crc);
      Write32(*fields, at + 4, Checked(packed_size));
      Write32(*fields, at + 8, Checked(size));
    }
    Write(header);
    Write(head);
    CopyRows(sheet.rows);
    Write(tail);
    if ((Read16(header, 6) & 8) != 0) {  // sizes in a data descriptor after the data
      std::string descriptor(16, '\0');
      descriptor.replace(0, 4, "PK\7\x08");
      Write32(descriptor, 4, crc);
      Write32(descriptor, 8, packed_size);
      Write32(descriptor, 12, size);
      Write(descriptor);
    }
  }

  std::string Inflate(std::string_view packed, size_t size) {
    std::string text(size, '\0');
    z_stream zlib{};
    if (inflateInit2(&zlib, -MAX_WBITS) != Z_OK) Fail(ENOMEM);
    zlib.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    zlib.avail_in = static_cast<uInt>(packed.size());
    zlib.next_out = reinterpret_cast<Bytef*>(text.data());
    zlib.avail_out = static_cast<uInt>(text.size());
    int result = inflate(&zlib, Z_FINISH);
    bool whole = result == Z_STREAM_END && zlib.total_out == size;
    inflateEnd(&zlib);
    if (!whole) Broken();
    return text;
  }

  std::string Deflate(std::string_view text, bool final) {
    std::string packed;
    const size_t size = DeflateRaw(text, {}, level_, final, packed);
    if (size == 0) Fail(ENOMEM);
    packed.resize(size);
    return packed;
  }

  void CopyRows(const PackedPart& rows) {
    std::string buffer(std::min<uint64_t>(rows.packed_size, uint64_t{1} << 20), '\0');
    for (uint64_t done = 0; done < rows.packed_size;) {
      size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), rows.packed_size - done));
      ReadExactly(rows_fd_, buffer.data(), want, rows.offset + done);
      Write(std::string_view(buffer).substr(0, want));
      done += want;
    }
  }

  void Write(std::string_view bytes) {
    if (WriteFully(files_, zip_fd_, bytes.data(), bytes.size(), &written_) != 0) Fail(errno);
    written_ += bytes.size();
  }

  uint64_t Checked(uint64_t value) {
    if (value > kMost32)
      Fail("A sheet takes the workbook past the 4 GiB that its zip file can describe");
    return value;
  }

  [[noreturn]] void Broken() {
    if (library_error_ != 0) Fail(library_error_);
    Fail("The workbook library wrote no zip file that can be completed");
  }
  [[noreturn]] void Fail(int error) { Fail(SystemErrorText(error)); }
  [[noreturn]] void Fail(const std::string& reason) {
    Raise(ErrorKind::EInOutError, "Cannot write file \"" + path_ + "\". " + reason);
  }

  FileSystem& files_;
  int zip_fd_, rows_fd_;
  const std::string& path_;
  int level_;
  int library_error_;
  uint64_t written_ = 0;
};

}  // namespace

void SpliceSheetRows(FileSystem& files, int zip_fd, int rows_fd, std::span<const SheetRows> sheets,
                     const std::string& path, int level, int library_error) {
  Splicer(files, zip_fd, rows_fd, path, level, library_error).Run(sheets);
}

}  // namespace tollwick
