// Shared by the fuzz targets, with the headers they all use: a scratch directory per process,
// removed at exit, writing an input's bytes to a file in it, and the abort reporting a finding.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace tollwick::fuzz {

// Ends the process on a finding (the input broke the rule that `what` tells) or a broken harness.
[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz target: %s\n", what.c_str());
  std::abort();
}

// The process's scratch directory (under $TMPDIR, else /dev/shm, else /tmp), removed at exit
// (its name never freed, so that it is still there when the exit handler runs).
inline const std::string& ScratchDir() {
  static const std::string* const dir = [] {
    const char* base = std::getenv("TMPDIR");
    if (base == nullptr || *base == '\0')
      base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    auto* made = new std::string(std::string(base) + "/tollwick-fuzz-XXXXXX");
    if (::mkdtemp(made->data()) == nullptr)
      Fail("cannot make a scratch directory under " + std::string(base));
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(*dir, ec);
    });
    return made;
  }();
  return *dir;
}

// Replaces the file's contents with `bytes`; a failure is a broken harness, not a finding.
inline void WriteBytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) Fail("cannot write " + path);
}

inline std::string_view AsText(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace tollwick::fuzz
