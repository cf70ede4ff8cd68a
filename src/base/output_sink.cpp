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
  WriteAll(pending);
  pending.clear();
  buffer_.swap(pending);  // the memory is kept for what follows
}

void OutputSink::WriteAll(std::string_view text) const {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int err = n < 0 ? errno : EIO;
      Raise(ErrorKind::EInOutError,
            std::string("Write to standard output failed: ") + std::strerror(err));
    }
    done += static_cast<size_t>(n);
  }
}

}  // namespace tollwick
