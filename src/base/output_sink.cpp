#include "base/output_sink.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/errors.h"

namespace tollwick {

void OutputSink::Flush() {
  if (fd_ == kMemory) return;
  size_t done = 0;
  while (done < buffer_.size()) {
    ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int err = n < 0 ? errno : EIO;
      buffer_.clear();
      Raise(ErrorKind::EInOutError,
            std::string("Write to standard output failed: ") + std::strerror(err));
    }
    done += static_cast<size_t>(n);
  }
  buffer_.clear();
}

}  // namespace tollwick
