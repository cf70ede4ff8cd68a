// Reads every file named on the command line into one reused buffer and throws the bytes away:
// the cost of just getting the bytes of a report tree, the baseline of the whole-run benchmark.
// Each file is opened, sized with fstat and read with read() into a buffer that grows to the
// largest file and is then kept; nothing is written. Prints the total byte count to stderr
// with -v. Exit status 1 when a file cannot be read.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char** argv) {
  bool verbose = argc > 1 && std::strcmp(argv[1], "-v") == 0;
  std::unique_ptr<char[]> buffer;
  size_t capacity = 0;
  unsigned long long total = 0;
  for (int i = verbose ? 2 : 1; i < argc; ++i) {
    int fd = ::open(argv[i], O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
      std::perror(argv[i]);
      return 1;
    }
    size_t want = static_cast<size_t>(st.st_size) + 1;  // one more byte sees the end of file
    if (want > capacity) {
      buffer = std::make_unique_for_overwrite<char[]>(want);
      capacity = want;
    }
    for (;;) {
      ssize_t n = ::read(fd, buffer.get(), capacity);
      if (n < 0) {
        std::perror(argv[i]);
        return 1;
      }
      if (n == 0) break;
      total += static_cast<unsigned long long>(n);
    }
    ::close(fd);
  }
  if (verbose) std::fprintf(stderr, "%llu bytes\n", total);
  return 0;
}
