#include "output/sheet_splice.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string_view>
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

class Splicer {
 public:
  Splicer(int zip_fd, int rows_fd, const std::string& path, int level, int library_error)
      : zip_fd_(zip_fd),
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
      size_t record, record_size, local;
      const SheetRows* sheet = nullptr;
    };
    std::vector<Entry> list;
    size_t found = 0;
    for (size_t at = directory, i = 0; i < entries; ++i) {
      if (at + kCentralHeader > end || zip.compare(at, 4, "PK\1\2") != 0) Broken();
      size_t size =
          kCentralHeader + Read16(zip, at + 28) + Read16(zip, at + 30) + Read16(zip, at + 32);
      if (at + size > end) Broken();
      std::string_view name(zip.data() + at + kCentralHeader, Read16(zip, at + 28));
      const SheetRows* sheet = nullptr;
      for (const SheetRows& candidate : sheets)
        if (candidate.entry == name) sheet = &candidate;
      found += sheet != nullptr;
      list.push_back({at, size, Read32(zip, at + 42), sheet});
      at += size;
    }
    if (found != sheets.size()) Broken();  // rows would be lost
    // Each entry's local part runs to the next one's, or to the central directory.
    std::vector<size_t> starts;
    starts.reserve(list.size() + 1);
    for (const Entry& entry : list) starts.push_back(entry.local);
    starts.push_back(directory);
    std::sort(starts.begin(), starts.end());

    // Every part must be whole: the library writes each part into a temporary file of its
    // own without checking those writes, so a part can be cut short in a zip file that is
    // otherwise sound.
    for (const Entry& entry : list) {
      std::string_view name = std::string_view(zip).substr(entry.record + kCentralHeader,
                                                           Read16(zip, entry.record + 28));
      if (entry.local >= directory) Broken();
      std::string_view local = std::string_view(zip).substr(entry.local, directory - entry.local);
      if (local.size() < kLocalHeader || local.compare(0, 4, "PK\3\4") != 0) Broken();
      if (!name.ends_with(".xml") && !name.ends_with(".rels")) continue;
      size_t data = kLocalHeader + Read16(local, 26) + Read16(local, 28);
      const uint32_t packed = Read32(zip, entry.record + 20);
      if (data + packed > local.size()) Broken();
      const uint32_t method = Read16(zip, entry.record + 10);
      if (method != 0 && method != Z_DEFLATED) Broken();
      const std::string text =
          method == 0 ? std::string(local.substr(data, packed))
                      : Inflate(local.substr(data, packed), Read32(zip, entry.record + 24));
      if (!EndsWhole(text)) Broken();
    }
    if (sheets.empty()) return;

    std::string directory_out;
    for (const Entry& entry : list) {
      size_t local_end = *std::upper_bound(starts.begin(), starts.end(), entry.local);
      std::string record = zip.substr(entry.record, entry.record_size);
      Write32(record, 42, Checked(written_));
      if (entry.sheet == nullptr) {
        Write(std::string_view(zip).substr(entry.local, local_end - entry.local));
      } else {
        Splice(std::string_view(zip).substr(entry.local, local_end - entry.local),
               Read32(record, 20), *entry.sheet, record);
      }
      directory_out += record;
    }
    std::string end_record = zip.substr(end);
    Write32(end_record, 12, Checked(directory_out.size()));
    Write32(end_record, 16, Checked(written_));
    Write(directory_out);
    Write(end_record);
    if (::ftruncate(zip_fd_, static_cast<off_t>(written_)) != 0) Fail(errno);
  }

 private:
  std::string ReadAll() {
    struct stat info {};
    if (::fstat(zip_fd_, &info) != 0) Fail(errno);
    std::string bytes(static_cast<size_t>(info.st_size), '\0');
    for (size_t got = 0; got < bytes.size();) {
      ssize_t done =
          ::pread(zip_fd_, bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
      if (done < 0 && errno == EINTR) continue;
      if (done <= 0) Fail(done < 0 ? errno : EIO);
      got += static_cast<size_t>(done);
    }
    return bytes;
  }

  // The entry's local part (`packed` bytes of data after its header) with the rows put in;
  // its central `record` gets the new CRC-32 and sizes.
  void Splice(std::string_view local, uint32_t packed, const SheetRows& sheet,
              std::string& record) {
    if (local.size() < kLocalHeader || local.compare(0, 4, "PK\3\4") != 0 ||
        Read16(local, 8) != Z_DEFLATED)
      Broken();
    size_t data = kLocalHeader + Read16(local, 26) + Read16(local, 28);
    if (data + packed > local.size()) Broken();
    const std::string text = Inflate(local.substr(data, packed), Read32(record, 24));
    size_t split = text.rfind(kSheetDataEnd);
    if (split == std::string::npos) Broken();
    const std::string_view before = std::string_view(text).substr(0, split);
    const std::string_view after = std::string_view(text).substr(split);
    const std::string head = Deflate(before, Z_SYNC_FLUSH), tail = Deflate(after, Z_FINISH);

    uLong crc = crc32_z(0, reinterpret_cast<const Bytef*>(before.data()), before.size());
    crc = crc32_combine(crc, sheet.rows.crc, static_cast<z_off_t>(sheet.rows.size));
    crc = crc32_combine(crc, crc32_z(0, reinterpret_cast<const Bytef*>(after.data()), after.size()),
                        static_cast<z_off_t>(after.size()));
    const uint64_t size = text.size() + sheet.rows.size;
    const uint64_t packed_size = head.size() + sheet.rows.packed_size + tail.size();
    std::string header(local.substr(0, data));
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
    if ((Read16(local, 6) & 8) != 0) {  // sizes in a data descriptor after the data
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

  std::string Deflate(std::string_view text, int flush) {
    z_stream zlib{};
    if (deflateInit2(&zlib, level_, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
      Fail(ENOMEM);
    std::string packed(deflateBound(&zlib, text.size()) + 64, '\0');
    zlib.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    zlib.avail_in = static_cast<uInt>(text.size());
    zlib.next_out = reinterpret_cast<Bytef*>(packed.data());
    zlib.avail_out = static_cast<uInt>(packed.size());
    int result = deflate(&zlib, flush);
    bool whole = zlib.avail_in == 0 && zlib.avail_out > 0 &&
                 (flush == Z_FINISH ? result == Z_STREAM_END : result == Z_OK);
    packed.resize(zlib.total_out);
    deflateEnd(&zlib);
    if (!whole) Fail(ENOMEM);
    return packed;
  }

  void CopyRows(const PackedPart& rows) {
    std::string buffer(std::min<uint64_t>(rows.packed_size, uint64_t{1} << 20), '\0');
    for (uint64_t done = 0; done < rows.packed_size;) {
      size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), rows.packed_size - done));
      ssize_t got = ::pread(rows_fd_, buffer.data(), want, static_cast<off_t>(rows.offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) Fail(got < 0 ? errno : EIO);
      Write(std::string_view(buffer).substr(0, static_cast<size_t>(got)));
      done += static_cast<uint64_t>(got);
    }
  }

  void Write(std::string_view bytes) {
    while (!bytes.empty()) {
      ssize_t done = ::pwrite(zip_fd_, bytes.data(), bytes.size(), static_cast<off_t>(written_));
      if (done < 0 && errno == EINTR) continue;
      if (done <= 0) Fail(done < 0 ? errno : EIO);
      bytes.remove_prefix(static_cast<size_t>(done));
      written_ += static_cast<uint64_t>(done);
    }
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

  int zip_fd_, rows_fd_;
  const std::string& path_;
  int level_;
  int library_error_;
  uint64_t written_ = 0;
};

}  // namespace

void SpliceSheetRows(int zip_fd, int rows_fd, std::span<const SheetRows> sheets,
                     const std::string& path, int level, int library_error) {
  Splicer(zip_fd, rows_fd, path, level, library_error).Run(sheets);
}

}  // namespace tollwick
