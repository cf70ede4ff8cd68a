// Shared by the fuzz targets: one scratch directory per fuzzer process, removed at exit, writing
// an input's bytes to a file in it, and the abort that reports a finding.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace tollwick::fuzz {

// The process's scratch directory (under $TMPDIR, else /dev/shm, else /tmp), removed at exit.
inline const std::string& ScratchDir() {
  static char made[4096];  // plain storage: still valid when the exit handler runs
  static const std::string dir = [] {
    const char* base = std::getenv("TMPDIR");
    if (base == nullptr || *base == '\0')
      base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/tollwick-fuzz-XXXXXX";
    if (pattern.size() >= sizeof made || ::mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    pattern.copy(made, pattern.size());
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(made, ec);
    });
    return pattern;
  }();
  return dir;
}

// Replaces the file's contents with `bytes`; a failure is a broken harness, not a finding.
inline void WriteBytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::abort();
  }
}

// A finding: the input broke the rule that `what` tells (the log is the target's own).
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "fuzz finding: %s\n", what);
  std::abort();
}

inline std::string_view AsText(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace tollwick::fuzz
