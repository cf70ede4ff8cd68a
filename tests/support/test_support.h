// Helpers shared by the tests: scratch directories, file writing, a stored-archive writer and
// running the built binary.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tollwick::testing {

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + relative
  std::string operator/(std::string_view relative) const;

 private:
  std::string path_;
};

// Changes the working directory for the lifetime of the object.
class ScopedChdir {
 public:
  explicit ScopedChdir(const std::string& dir);
  ~ScopedChdir();
  ScopedChdir(const ScopedChdir&) = delete;
  ScopedChdir& operator=(const ScopedChdir&) = delete;

 private:
  std::string previous_;
};

// Writes bytes to a file, creating missing parent directories.
void WriteFile(const std::string& path, std::string_view bytes);
std::string ReadFile(const std::string& path);
// Relative paths of every entry below `root` (directories end in "/"), sorted.
std::vector<std::string> ListTree(const std::string& root);

// One entry of a ZIP archive as the tests want to write it.
struct ZipEntry {
  std::string name;
  std::string data;
  uint16_t method = 0;                 // 0 stored; other values are written as-is (data unchanged)
  int64_t declared_compressed = -1;    // -1: data.size()
  int64_t declared_uncompressed = -1;  // -1: data.size()
  std::string extra;
};
// Local headers and data of every entry, then a central directory and end record.
std::string MakeZip(const std::vector<ZipEntry>& entries);

// A report text with the two worksheets; each row is a list of cell values. A header row
// is put first in each worksheet (it is skipped on reading).
std::string MakeReport(const std::vector<std::vector<std::string>>& sku_rows,
                       const std::vector<std::vector<std::string>>& sale_rows);

struct RunResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

// How to run the built binary. Standard error is always captured; standard output too unless
// `stdout_fd` names a descriptor to hand the binary instead.
struct BinaryRun {
  std::vector<std::string> args;
  std::string cwd;
  bool unprivileged = false;      // as "nobody" (through setpriv) when the test runs as root
  unsigned timeout_seconds = 60;  // then SIGALRM ends the binary (status kTimedOut)
  uint64_t address_space = 0;     // bytes; 0 leaves the limit as it is
  int stdout_fd = -1;
};
inline constexpr int kTimedOut = 128 + 14;

RunResult RunBinary(const BinaryRun& run);
inline RunResult RunTollwickBinary(const std::vector<std::string>& args, const std::string& cwd) {
  return RunBinary({args, cwd});
}

// True when the binary can run as a user that file permissions apply to: the test is not root,
// or it is root and can drop to "nobody" with setpriv.
bool CanRunUnprivileged();
// Whether this build runs under AddressSanitizer (which bounds allocations itself).
bool UnderAddressSanitizer();

// The error report with its address (which tests must not depend on) replaced by "ADDRESS".
std::string NormalizedReport(std::string report);
// The report expected for an error kind and its message (with the message's final ".").
std::string ExpectedReport(const std::string& kind, const std::string& message);

}  // namespace tollwick::testing
