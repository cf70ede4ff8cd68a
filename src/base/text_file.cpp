#include "base/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "base/file_bytes.h"

namespace tollwick {

std::vector<std::string_view> SplitLines(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

bool ReadTextFile(FileSystem& files, const std::string& name, std::string& text) {
  text.clear();
  struct stat info {};
  if (files.StatAt(AT_FDCWD, name, info, 0) != 0 || !S_ISREG(info.st_mode)) return false;
  const std::string path = AbsolutePath(files, name);
  FileDescriptor fd;
  uint64_t size = 0;
  if (OpenRegularFileAt(files, AT_FDCWD, name, path, fd, size) != OpenResult::Read) return false;
  FileBytes bytes;
  ReadOpenFile(files, fd, size, path, bytes);
  text.assign(bytes.view());
  return true;
}

}  // namespace tollwick
