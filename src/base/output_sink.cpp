#include "base/output_sink.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/errors.h"

namespace tollwick {

void OutputSink::Flush() {
  if (fd_ == kMemory) return;
  std::string pending;
  pending.swap(buffer_);  // emptied first, so that a failed write leaves nothing to repeat
  Write(pending);
  pending.clear();
  buffer_.swap(pending);  // the memory is kept for what follows
}

void OutputSink::Write(std::string_view text) const {
  if (const int err = WriteAll(fd_, text); err != 0)
    Raise(ErrorKind::EInOutError,
          std::string("Write to standard output failed: ") + SystemErrorText(err));
}

}  // namespace tollwick
