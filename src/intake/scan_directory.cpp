#include "intake/scan_directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "base/file_bytes.h"
#include "base/text.h"
#include "intake/parse_report.h"
#include "intake/report_archive.h"

namespace tollwick {

namespace {

using DirectoryId = std::pair<dev_t, ino_t>;

bool EndsWithIgnoringCase(std::string_view name, std::string_view ending) {
  return name.size() >= ending.size() &&
         LowerAscii(name.substr(name.size() - ending.size())) == ending;
}

// One directory's entries, sorted by name and taken before any of them is used.
struct Listing {
  std::vector<std::string> reports, archives, directories;
};

// Lists the open directory `fd` (which it closes). Hidden names (leading '.') are left out,
// links count as what they point to, and anything but regular files and directories (FIFOs,
// sockets, devices, dangling links) is left out.
Listing ListDirectory(int fd) {
  Listing listing;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return listing;
  }
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
  }
  std::sort(names.begin(), names.end());
  for (std::string& name : names) {
    struct stat st {};
    if (::fstatat(::dirfd(dir), name.c_str(), &st, 0) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      listing.directories.push_back(std::move(name));
    } else if (S_ISREG(st.st_mode)) {
      if (EndsWithIgnoringCase(name, ".xml") && name != "[Content_Types].xml")
        listing.reports.push_back(std::move(name));
      else if (EndsWithIgnoringCase(name, ".zip"))
        listing.archives.push_back(std::move(name));
    }
  }
  ::closedir(dir);
  return listing;
}

// `buffer` holds each file while it is read; one buffer serves the whole walk.
void ScanTree(RowSink& sink, const std::string& directory, std::set<DirectoryId>& entered,
              FileBytes& buffer) {
  int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !entered.insert({st.st_dev, st.st_ino}).second) {
    ::close(fd);
    return;
  }
  Listing listing = ListDirectory(fd);
  for (const std::string& name : listing.reports) ParseReportFile(directory + name, sink, buffer);
  for (const std::string& name : listing.archives)
    ReadReportArchive(directory + name, sink, buffer);
  for (const std::string& name : listing.directories)
    ScanTree(sink, directory + name + "/", entered, buffer);
}

}  // namespace

void ScanDirectory(RowSink& sink) {
  std::string start = AbsolutePath(".");
  start.resize(start.size() - 1);  // drop the "."
  if (start.back() != '/') start += '/';
  std::set<DirectoryId> entered;
  FileBytes buffer;
  ScanTree(sink, start, entered, buffer);
}

}  // namespace tollwick
