#include "base/warnings.h"

#include <utility>

namespace tollwick {

namespace {

// What a sum line says of one and of several files, per WarningKind after Other.
constexpr std::string_view kSumWords[][2] = {
    {"archive is not a zip archive", "archives are not zip archives"},
    {"archive could not be read to its end", "archives could not be read to their end"},
    {"archive holds no entry \"fulfillmentreport.xml\"",
     "archives hold no entry \"fulfillmentreport.xml\""},
    {"file is UTF-16 text, which is not read", "files are UTF-16 text, which is not read"},
    {"file holds no worksheet \"SKU detail\" or \"Purchase History\"",
     "files hold no worksheet \"SKU detail\" or \"Purchase History\""},
    {"file has rows passed over: their start tags carry attributes",
     "files have rows passed over: their start tags carry attributes"},
};

// The line that sums up `more` warnings of `kind` beyond those written.
std::string SumLine(WarningKind kind, size_t more) {
  std::string line = std::to_string(more) + " more ";
  line += kSumWords[static_cast<size_t>(kind) - 1][more == 1 ? 0 : 1];
  return line;
}

void AppendLine(std::string& lines, std::string_view text) {
  lines += "tollwick: warning: ";
  lines += EscapeControls(text);
  lines += '\n';
}

}  // namespace

void WarningList::Add(std::string text, WarningKind kind) {
  if (kind != WarningKind::Other) {
    size_t& count = counts_[static_cast<size_t>(kind)];
    if (count++ == 0) kinds_met_.push_back(kind);
    if (count > kWrittenPerKind) return;
  }
  texts_.push_back(std::move(text));
}

std::string WarningList::Lines() const {
  std::string lines;
  for (const std::string& text : texts_) AppendLine(lines, text);
  for (WarningKind kind : kinds_met_) {
    const size_t count = counts_[static_cast<size_t>(kind)];
    if (count > kWrittenPerKind) AppendLine(lines, SumLine(kind, count - kWrittenPerKind));
  }
  return lines;
}

std::string Quoted(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted += '"';
  quoted += text;
  quoted += '"';
  return quoted;
}

std::string EscapeControls(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  auto escape = [&out](unsigned char byte) {
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x20 || byte == 0x7F) {
      escape(byte);
    } else if (byte == 0xC2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      escape(byte);
      escape(static_cast<unsigned char>(text[++i]));
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace tollwick
