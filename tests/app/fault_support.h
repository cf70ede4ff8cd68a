// Helpers the fault tests share: stored archive entries, and a directory tree with its contents,
// to show that nothing but the expected renames changed. The binary itself is run by RunBinary
// (as nobody, with a time limit and a bound on its address space where a test asks for them).
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

// A stored archive entry; `declared` replaces both sizes in its header when not negative.
inline ZipEntry Stored(std::string name, std::string data, int64_t declared = -1) {
  ZipEntry entry;
  entry.name = std::move(name);
  entry.data = std::move(data);
  entry.declared_compressed = entry.declared_uncompressed = declared;
  return entry;
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
