#include "rates/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "tables/errors.h"

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

namespace {

std::string AbsolutePath(const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  std::string dir(256, '\0');
  while (getcwd(dir.data(), dir.size()) == nullptr) {
    if (errno != ERANGE) return name;
    dir.resize(dir.size() * 2);
  }
  dir.resize(dir.find('\0'));
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir + name;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { close(fd_); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

bool ReadTextFile(const std::string& name, std::string& text) {
  text.clear();
  struct stat info {};
  if (stat(name.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) RaiseOpenError(AbsolutePath(name), errno);
  FileDescriptor file(fd);
  if (fstat(file.get(), &info) != 0) RaiseOpenError(AbsolutePath(name), errno);
  if (!S_ISREG(info.st_mode)) return false;
  if (info.st_size > 0) text.reserve(static_cast<size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t n = read(file.get(), buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseOpenError(AbsolutePath(name), errno);
    }
    text.append(buffer, static_cast<size_t>(n));
  }
  return true;
}

}  // namespace tollwick
