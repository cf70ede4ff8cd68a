#include "intake/report_archive.h"

#include "base/file_bytes.h"
#include "intake/archive_rename.h"
#include "intake/parse_report.h"
#include "intake/stored_entries.h"

namespace tollwick {

namespace {

// An archive read piece by piece from its file; `size` is the size when it was opened.
class FileArchive : public ArchiveBytes {
 public:
  FileArchive(const FileDescriptor& fd, const std::string& path, uint64_t size, FileBytes& buffer)
      : pieces_(fd, path, buffer), size_(size) {}
  uint64_t size() const override { return size_; }
  std::string_view Read(uint64_t offset, size_t length) override {
    return pieces_.Read(offset, length);
  }

 private:
  FilePieces pieces_;
  uint64_t size_;
};

}  // namespace

void ReadReportArchive(const std::string& path, RowSink& sink, FileBytes& buffer,
                       FreeNumbers* free_numbers) {
  std::string absolute = AbsolutePath(path);
  {
    FileDescriptor fd;
    uint64_t size = 0;
    if (OpenRegularFile(absolute, fd, size) != OpenResult::Read) return;
    ReadArchiveEntries(fd, size, absolute, sink, buffer);
  }
  size_t slash = absolute.rfind('/');
  std::string name = absolute.substr(slash + 1);
  if (NeedsNumberedName(name))
    RenameToNumberedName(absolute.substr(0, slash + 1), name, free_numbers);
}

void ReadArchiveEntries(const FileDescriptor& fd, uint64_t size, const std::string& path,
                        RowSink& sink, FileBytes& buffer) {
  FileArchive archive(fd, path, size, buffer);
  ForEachReportEntry(archive, [&](std::string_view entry) { ParseReportText(entry, sink); });
}

}  // namespace tollwick
