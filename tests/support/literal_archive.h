// The word-for-word walk of an archive's local headers, the reference for the fast walk.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tollwick::literal {

enum class End { NotZip, Complete, Incomplete };

struct ArchiveResult {
  std::vector<std::string> reports;  // the data of the report entries handed on, in order
  End end = End::Complete;
  bool report_entry_met = false;
  friend bool operator==(const ArchiveResult&, const ArchiveResult&) = default;
};

ArchiveResult WalkArchive(const std::string& archive);

// Inflates raw deflate data all at once (up to a sync flush); false unless the stream ends.
bool Inflate(const std::string& input, std::string& out, size_t& consumed);

// CRC-32 (the ZIP polynomial), bit by bit.
uint32_t Crc32(std::string_view data);

}  // namespace tollwick::literal
