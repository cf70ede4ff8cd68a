// Running the built binary under adverse conditions: as an unprivileged user, with a bound on
// its address space, and with a time limit, so that a regression fails a test instead of hanging
// the suite. Also the helpers the fault tests share: the error report without its address, and
// a directory tree with its contents, to show that nothing but the expected renames changed.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace tollwick::testing {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

inline constexpr const char* kSetpriv = "/usr/bin/setpriv";

// True when the test can run the binary as a user that the file permissions apply to: either
// the test is not root, or it is root and can drop to "nobody" with setpriv.
inline bool CanRunUnprivileged() {
  return ::geteuid() != 0 || ::access(kSetpriv, X_OK) == 0;
}

struct FaultRun {
  std::vector<std::string> args;
  std::string cwd;
  bool unprivileged = false;      // as "nobody" when the test runs as root
  unsigned timeout_seconds = 60;  // then SIGALRM ends the binary (status 128 + 14)
  uint64_t address_space = 0;     // bytes; 0 leaves the limit as it is
};

inline constexpr int kTimedOut = 128 + SIGALRM;

// Runs the built binary as `run` describes; standard output and error are captured.
inline RunResult RunFault(const FaultRun& run) {
  TempDir capture;
  std::string out_path = capture / "stdout", err_path = capture / "stderr";
  // Every argument vector is built before the fork: the child only makes system calls.
  std::vector<std::string> words;
  if (run.unprivileged && ::geteuid() == 0)
    words = {kSetpriv, "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
  words.push_back(TOLLWICK_BINARY);
  words.insert(words.end(), run.args.begin(), run.args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  // Under AddressSanitizer the shadow memory needs far more address space than any sane limit,
  // so the sanitizer's own bound on single allocations stands in for RLIMIT_AS.
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::string_view(*e).substr(0, 13) != "ASAN_OPTIONS=") environment.emplace_back(*e);
  const char* asan_options = std::getenv("ASAN_OPTIONS");
  std::string options = asan_options != nullptr ? asan_options : "";
  if (run.address_space != 0 && kAddressSanitizer)
    options += ":max_allocation_size_mb=" + std::to_string(run.address_space >> 20);
  if (!options.empty()) environment.push_back("ASAN_OPTIONS=" + options);
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0 || ::chdir(run.cwd.c_str()) != 0) ::_exit(127);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (run.address_space != 0 && !kAddressSanitizer) {
      rlimit limit{run.address_space, run.address_space};
      if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(127);
    }
    ::alarm(run.timeout_seconds);  // survives exec
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  int wstatus = 0;
  while (::waitpid(pid, &wstatus, 0) < 0)
    if (errno != EINTR) throw std::runtime_error("waitpid failed");
  RunResult result;
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  result.out = ReadFile(out_path);
  result.err = ReadFile(err_path);
  return result;
}

// A stored archive entry; `declared` replaces both sizes in its header when not negative.
inline ZipEntry Stored(std::string name, std::string data, int64_t declared = -1) {
  ZipEntry entry;
  entry.name = std::move(name);
  entry.data = std::move(data);
  entry.declared_compressed = entry.declared_uncompressed = declared;
  return entry;
}

// The error report with its address (which tests must not depend on) replaced by "ADDRESS".
inline std::string NormalizedReport(std::string report) {
  const std::string before = " at ", after = ".\r\n";
  size_t at = report.find(before);
  if (at == std::string::npos || at + before.size() + 8 + after.size() > report.size())
    return report;
  size_t digits = at + before.size();
  for (size_t i = digits; i < digits + 8; ++i)
    if (!std::isxdigit(static_cast<unsigned char>(report[i]))) return report;
  if (report.compare(digits + 8, after.size(), after) != 0) return report;
  return report.replace(digits, 8, "ADDRESS");
}

// The expected report: kind, and the message with its final "." as it is printed.
inline std::string ExpectedReport(const std::string& kind, const std::string& message) {
  return "Exception " + kind + " in module tollwick at ADDRESS.\r\n" + message + "\r\n\r\n";
}

// Every entry below `root` with what it is: a file's contents, "<dir>" for a directory,
// "<link>" and the target for a symbolic link, "<fifo>" for a FIFO. Links are not followed.
inline std::map<std::string, std::string> Snapshot(const std::string& root) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    std::string rel = fs::relative(it->path(), root).string();
    fs::file_status st = it->symlink_status();
    if (fs::is_symlink(st))
      tree[rel] = "<link>" + fs::read_symlink(it->path()).string();
    else if (fs::is_directory(st))
      tree[rel] = "<dir>";
    else if (fs::is_fifo(st))
      tree[rel] = "<fifo>";
    else
      tree[rel] = ReadFile(it->path().string());
  }
  return tree;
}

// The same tree after renaming `from` to `to` (paths relative to the root).
inline std::map<std::string, std::string> Renamed(std::map<std::string, std::string> tree,
                                                  const std::string& from, const std::string& to) {
  auto node = tree.extract(from);
  if (node.empty()) throw std::logic_error("no " + from + " in the tree");
  node.key() = to;
  tree.insert(std::move(node));
  return tree;
}

// The differences between two snapshots, one line per path (the first 20 of them); empty
// when they are equal.
inline std::string TreeDiff(const std::map<std::string, std::string>& expected,
                            const std::map<std::string, std::string>& actual) {
  std::vector<std::string> lines;
  for (const auto& [path, content] : expected) {
    auto it = actual.find(path);
    if (it == actual.end())
      lines.push_back("missing: " + path);
    else if (it->second != content)
      lines.push_back("changed: " + path);
  }
  for (const auto& [path, content] : actual)
    if (!expected.count(path)) lines.push_back("unexpected: " + path);
  std::string diff;
  for (size_t i = 0; i < lines.size() && i < 20; ++i) diff += lines[i] + "\n";
  if (lines.size() > 20) diff += "and " + std::to_string(lines.size() - 20) + " more\n";
  return diff;
}

// Hands the tree below `root` (root included) to the user that RunFault's unprivileged runs use,
// so that its permission bits apply to that user as the owner. Nothing to do when the test
// does not run as root.
inline void GiveToUnprivileged(const std::string& root) {
  if (::geteuid() != 0) return;
  constexpr uid_t kNobody = 65534;
  constexpr gid_t kNogroup = 65534;
  auto give = [&](const std::string& path) {
    if (::lchown(path.c_str(), kNobody, kNogroup) != 0)
      throw std::runtime_error("cannot hand " + path + " to nobody");
  };
  give(root);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
    give(entry.path().string());
}

}  // namespace tollwick::testing
