// Errors of a run. Every failure is raised as a TollwickError carrying its kind and message;
// nothing below main() catches it. main() writes the one error report and exits with status 1.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tollwick {

// EOutOfMemory is raised only by main(), for an allocation that failed.
enum class ErrorKind {
  EConvertError,
  EFOpenError,
  EInOutError,
  EZeroDivide,
  EInvalidOp,
  EOutOfMemory
};

// The kind's name as the error report prints it ("EConvertError", ...).
std::string_view ErrorKindName(ErrorKind kind);

class TollwickError : public std::runtime_error {
 public:
  TollwickError(ErrorKind kind, const std::string& message)
      : std::runtime_error(message), kind_(kind), message_(message) {}
  ErrorKind kind() const { return kind_; }
  // The whole message: unlike what(), also past a NUL byte (a date text may hold one).
  const std::string& message() const { return message_; }

 private:
  ErrorKind kind_;
  std::string message_;
};

[[noreturn]] void Raise(ErrorKind kind, const std::string& message);

// The messages raised in more than one place.
inline constexpr std::string_view kInvalidDateMessage = "Invalid argument to date encode";
inline constexpr std::string_view kZeroDivideMessage = "Floating point division by zero";
inline constexpr std::string_view kInvalidOpMessage = "Invalid floating point operation";
// The start of "No exchange rate for currency "<code>"".
inline constexpr std::string_view kNoRateMessage = "No exchange rate for currency ";

// The system's text for the error number `err` ("No such file or directory"), as strerror gives
// it, but safe on any thread: the reading threads make error messages too.
std::string SystemErrorText(int err);

// "Cannot open file "<path>". <SystemErrorText(err)>" as EFOpenError.
[[noreturn]] void RaiseOpenError(const std::string& path, int err);

// "Cannot read file "<path>". <SystemErrorText(err)>" as EInOutError: a read that failed.
[[noreturn]] void RaiseReadError(const std::string& path, int err);

// "File "<path>" ended after <got> of <size> bytes." as EInOutError: a file that became shorter
// than it was when it was opened (replaced or cut while it was read).
[[noreturn]] void RaiseEndedEarly(const std::string& path, uint64_t got, uint64_t size);

// The complete error report: "Exception <Kind> in module <module> at <address>.\r\n<message>"
// plus "." unless the message is empty or ends in ".", then "\r\n\r\n". The message's control
// bytes are escaped as in warnings (EscapeControls).
std::string FormatErrorReport(ErrorKind kind, std::string_view module, unsigned address,
                              std::string_view message);

}  // namespace tollwick
