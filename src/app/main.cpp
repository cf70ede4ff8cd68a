// Entry point: runs one invocation and is the one place where errors are caught. An error
// ends the run with the report on standard error and exit status 1, after whatever output was
// already produced has been written and after the warnings found so far. A complete run writes
// its warnings, if any, to standard error when it ends.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "app/run.h"
#include "base/errors.h"
#include "base/file_system.h"
#include "base/output_sink.h"

namespace {

std::string ModuleName(const char* argv0) {
  std::string path = argv0 != nullptr ? argv0 : "tollwick";
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A standard descriptor that was closed at start is opened read-only on /dev/null, so that no
// file the run opens takes its place (a workbook's data would go where standard output was
// meant to), while a write to it still fails as on a closed descriptor.
void OpenClosedStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
    if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF)
      tollwick::SystemFileSystem().OpenAt(AT_FDCWD, "/dev/null", O_RDONLY);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tollwick;
  OpenClosedStandardDescriptors();
  std::signal(SIGPIPE, SIG_IGN);  // a closed pipe shows as a failed write, not a signal
  // A file size limit shows as a failed write ("File too large"), not a signal.
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  RunState state(STDOUT_FILENO);
  ErrorKind kind;
  std::string message;
  try {
    int status = RunTollwick(args, state);
    WriteAll(STDERR_FILENO, state.Warnings.Lines());
    if (::close(STDOUT_FILENO) != 0 && errno != EINTR)
      Raise(ErrorKind::EInOutError,
            std::string("Closing standard output failed: ") + SystemErrorText(errno));
    return status;
  } catch (const TollwickError& error) {
    kind = error.kind();
    message = error.message();
  } catch (const std::bad_alloc&) {
    kind = ErrorKind::EOutOfMemory;
    message = "Out of memory";
  }
  try {
    state.Output.Flush();
  } catch (const TollwickError&) {
    // The report below is what matters now; the output had already failed.
  }
  // The warnings found before the error, then the error.
  NoteErrorCause(kind, message, state);
  WriteAll(STDERR_FILENO, state.Warnings.Lines());
  ClearAllTables(state);
  constexpr unsigned kReportAddress = 0x00401000;
  WriteAll(STDERR_FILENO, FormatErrorReport(kind, ModuleName(argc > 0 ? argv[0] : nullptr),
                                            kReportAddress + static_cast<unsigned>(kind), message));
  return 1;
}
