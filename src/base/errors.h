// Errors of a run. Every failure is raised as a TollwickError carrying its kind and message;
// nothing below main() catches it. main() writes the one error report and exits with status 1.
#pragma once

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
      : std::runtime_error(message), kind_(kind) {}
  ErrorKind kind() const { return kind_; }

 private:
  ErrorKind kind_;
};

[[noreturn]] void Raise(ErrorKind kind, const std::string& message);

// The messages raised in more than one place.
inline constexpr std::string_view kInvalidDateMessage = "Invalid argument to date encode";
inline constexpr std::string_view kZeroDivideMessage = "Floating point division by zero";
inline constexpr std::string_view kInvalidOpMessage = "Invalid floating point operation";

// "Cannot open file "<path>". <strerror(err)>" as EFOpenError.
[[noreturn]] void RaiseOpenError(const std::string& path, int err);

// The complete error report: "Exception <Kind> in module <module> at <address>.\r\n<message>"
// plus "." unless the message is empty or ends in ".", then "\r\n\r\n".
std::string FormatErrorReport(ErrorKind kind, std::string_view module, unsigned address,
                              std::string_view message);

}  // namespace tollwick
