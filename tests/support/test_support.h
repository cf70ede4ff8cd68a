// Helpers shared by the tests: scratch directories, file writing and snapshots of trees, the
// one archive writer, report texts, and the one runner of the built binary.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
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
// `text` with every `from` replaced by `to`: a reference run's warnings name its own tree.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to);
// Relative paths of every entry below `root` (directories end in "/"), sorted.
std::vector<std::string> ListTree(const std::string& root);

// One entry of a ZIP archive as the tests want to write it.
struct ZipEntry {
  // A method other than 0 (stored) is written as-is, the data unchanged; a declared size of -1
  // is the data's size.
  ZipEntry(std::string entry_name, std::string entry_data, uint16_t entry_method = 0,
           int64_t compressed = -1, int64_t uncompressed = -1, std::string extra_field = {})
      : name(std::move(entry_name)),
        data(std::move(entry_data)),
        method(entry_method),
        declared_compressed(compressed),
        declared_uncompressed(uncompressed),
        extra(std::move(extra_field)) {}
  std::string name;
  std::string data;
  uint16_t method;
  int64_t declared_compressed;
  int64_t declared_uncompressed;
  std::string extra;
  int64_t declared_crc = -1;  // -1: the CRC-32 of `data`
  uint16_t flags = 0;
  std::string trailer;  // written right after the data (a data descriptor)
};
// Local headers and data of every entry, then a central directory and end record.
std::string MakeZip(const std::vector<ZipEntry>& entries);
// A stored entry; `declared` replaces both sizes in its header when not negative.
ZipEntry Stored(std::string name, std::string data, int64_t declared = -1);
// A deflated entry of `data`. Streamed: flag bit 3, CRC and sizes 0 in the header, and a data
// descriptor after the data, with its signature unless `bare`.
ZipEntry Deflated(std::string name, std::string_view data, bool streamed = false,
                  bool bare = false);
// The 30-byte local header that MakeZip writes for `entry`, alone.
std::string LocalHeader(const ZipEntry& entry);

// Every entry below `root` with what it is: a file's contents, "<dir>" for a directory,
// "<link>" and the target for a symbolic link, "<fifo>" for a FIFO. Links are not followed.
using Tree = std::map<std::string, std::string>;
Tree Snapshot(const std::string& root);
// The same tree after renaming `from` to `to` (paths relative to the root).
Tree Renamed(Tree tree, const std::string& from, const std::string& to);
// The differences between two snapshots, one line per path; empty when they are equal.
std::string TreeDiff(const Tree& expected, const Tree& actual);
// Hands the tree below `root` (root included) to "nobody" when the test runs as root, so that
// the permission bits apply to unprivileged runs as the owner's.
void GiveToUnprivileged(const std::string& root);

// A report text with the two worksheets; each row is a list of cell values. A header row
// is put first in each worksheet (it is skipped on reading).
std::string MakeReport(const std::vector<std::vector<std::string>>& sku_rows,
                       const std::vector<std::vector<std::string>>& sale_rows);
// Writes into `dir` a report of one sale of X1 ("Alpha", US) and a prices.csv that prices it
// at 1.00 EUR.
void WriteOneSaleTree(const std::string& dir);

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
  bool remove_cwd = false;     // the working directory (empty) is removed before the binary starts
  uint64_t process_limit = 0;  // RLIMIT_NPROC (0 leaves it), the run tried again if exec fails
  uint64_t open_files = 0;     // RLIMIT_NOFILE; 0 leaves it as it is
  uint64_t file_size_limit = 0;  // RLIMIT_FSIZE, SIGXFSZ at its default; 0 leaves it as it is
  bool close_stdout = false;     // the binary starts with standard output closed
  int signal = 0;  // with its default action and no core file, sent once `signal_when` holds
  std::function<bool()> signal_when = {};  // asked every millisecond while the binary runs
};
inline constexpr int kTimedOut = 128 + 14;

RunResult RunBinary(const BinaryRun& run);

// True when the binary can run as a user that file permissions apply to: the test is not root,
// or it is root and can drop to "nobody" with setpriv.
bool CanRunUnprivileged();
// Whether this build runs under AddressSanitizer (which bounds allocations itself).
bool UnderAddressSanitizer();
// Whether this build runs under ThreadSanitizer (which bounds allocations itself too).
bool UnderThreadSanitizer();

// The error report with its address (which tests must not depend on) replaced by "ADDRESS".
std::string NormalizedReport(std::string report);
// The report expected for an error kind and its message (with the message's final ".").
std::string ExpectedReport(const std::string& kind, const std::string& message);

}  // namespace tollwick::testing
