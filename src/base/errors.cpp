#include "base/errors.h"

#include <cstdio>
#include <cstring>

#include "base/warnings.h"

namespace tollwick {

namespace {

// strerror_r has two forms: the XSI one returns 0 and fills the buffer, the GNU one returns the
// text, in the buffer or elsewhere. The overload that fits the one declared takes its result.
[[maybe_unused]] const char* StrerrorResult(int result, const char* buffer) {
  return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* StrerrorResult(const char* result, const char* /*buffer*/) {
  return result;
}

}  // namespace

std::string_view ErrorKindName(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::EConvertError:
      return "EConvertError";
    case ErrorKind::EFOpenError:
      return "EFOpenError";
    case ErrorKind::EInOutError:
      return "EInOutError";
    case ErrorKind::EZeroDivide:
      return "EZeroDivide";
    case ErrorKind::EInvalidOp:
      return "EInvalidOp";
    case ErrorKind::EOutOfMemory:
      return "EOutOfMemory";
  }
  return "Exception";
}

void Raise(ErrorKind kind, const std::string& message) {
  throw TollwickError(kind, message);
}

std::string SystemErrorText(int err) {
  char buffer[256] = "";
  const char* text = StrerrorResult(::strerror_r(err, buffer, sizeof buffer), buffer);
  if (text == nullptr || *text == '\0') return "Unknown error " + std::to_string(err);
  return text;
}

void RaiseOpenError(const std::string& path, int err) {
  Raise(ErrorKind::EFOpenError, "Cannot open file \"" + path + "\". " + SystemErrorText(err));
}

void RaiseReadError(const std::string& path, int err) {
  Raise(ErrorKind::EInOutError, "Cannot read file \"" + path + "\". " + SystemErrorText(err));
}

void RaiseEndedEarly(const std::string& path, uint64_t got, uint64_t size) {
  Raise(ErrorKind::EInOutError, "File \"" + path + "\" ended after " + std::to_string(got) +
                                    " of " + std::to_string(size) + " bytes.");
}

std::string FormatErrorReport(ErrorKind kind, std::string_view module, unsigned address,
                              std::string_view message) {
  char addr[16];
  std::snprintf(addr, sizeof addr, "%08X", address);
  std::string report = "Exception ";
  report += ErrorKindName(kind);
  report += " in module ";
  report += module;
  report += " at ";
  report += addr;
  report += ".\r\n";
  report += EscapeControls(message);
  if (!message.empty() && message.back() != '.') report += '.';
  report += "\r\n\r\n";
  return report;
}

}  // namespace tollwick
