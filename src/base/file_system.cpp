#include "base/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace tollwick {

namespace {

// Makes the call again while a signal interrupts it.
template <typename Call>
auto Retried(Call call) {
  for (;;) {
    auto result = call();
    if (!(result < 0 && errno == EINTR)) return result;
  }
}

class SystemFiles final : public FileSystem {};

}  // namespace

int FileSystem::OpenAt(int dir_fd, const std::string& name, int flags) {
  return Retried([&] { return DoOpenAt(dir_fd, name, flags); });
}
ssize_t FileSystem::Read(int fd, char* buffer, size_t count) {
  return Retried([&] { return DoRead(fd, buffer, count); });
}
ssize_t FileSystem::ReadAt(int fd, char* buffer, size_t count, uint64_t offset) {
  return Retried([&] { return DoReadAt(fd, buffer, count, offset); });
}
int FileSystem::Stat(int fd, struct stat& st) {
  return Retried([&] { return DoStat(fd, st); });
}
int FileSystem::StatAt(int dir_fd, const std::string& name, struct stat& st, int flags) {
  return Retried([&] { return DoStatAt(dir_fd, name, st, flags); });
}
int FileSystem::ListDirectory(int dir_fd, std::vector<std::string>& names) {
  return Retried([&] {
    names.clear();
    return DoListDirectory(dir_fd, names);
  });
}
int FileSystem::RenameNoReplace(int dir_fd, const std::string& from, const std::string& to) {
  if (Retried([&] { return DoRenameNoReplace(dir_fd, from, to); }) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
  // A file system without RENAME_NOREPLACE: a hard link under the new name, then the old name
  // removed (or, when that fails, the new one again, so that the file keeps one name).
  if (LinkAt(dir_fd, from, dir_fd, to, 0) != 0) return -1;
  if (UnlinkAt(dir_fd, from, 0) != 0) {
    const int err = errno;
    UnlinkAt(dir_fd, to, 0);
    errno = err;
    return -1;
  }
  return 0;
}
std::string FileSystem::WorkingDirectory() {
  for (;;) {
    std::string cwd = DoWorkingDirectory();
    if (cwd.empty() && errno == EINTR) continue;
    // The system gives no relative path, but nothing may be built on one.
    if (!cwd.empty() && cwd.front() != '/') {
      errno = ENOENT;
      return {};
    }
    return cwd;
  }
}

int FileSystem::OpenAt(int dir_fd, const std::string& name, int flags, mode_t mode) {
  return Retried([&] { return DoCreateAt(dir_fd, name, flags, mode); });
}
int FileSystem::ReadLinkAt(int dir_fd, const std::string& name, std::string& target) {
  return Retried([&] { return DoReadLinkAt(dir_fd, name, target); });
}
int FileSystem::LinkAt(int from_dir, const std::string& from, int to_dir, const std::string& to,
                       int flags) {
  return Retried([&] { return DoLinkAt(from_dir, from, to_dir, to, flags); });
}
int FileSystem::RenameAt(int from_dir, const std::string& from, int to_dir, const std::string& to) {
  return Retried([&] { return DoRenameAt(from_dir, from, to_dir, to); });
}
int FileSystem::UnlinkAt(int dir_fd, const std::string& name, int flags) {
  return Retried([&] { return DoUnlinkAt(dir_fd, name, flags); });
}
int FileSystem::Truncate(int fd, uint64_t size) {
  return Retried([&] { return DoTruncate(fd, size); });
}
int FileSystem::ChangeMode(int fd, mode_t mode) {
  return Retried([&] { return DoChangeMode(fd, mode); });
}
int FileSystem::Sync(int fd) {
  return Retried([&] { return DoSync(fd); });
}
ssize_t FileSystem::Write(int fd, const char* buffer, size_t count) {
  return Retried([&] { return DoWrite(fd, buffer, count); });
}
ssize_t FileSystem::WriteAt(int fd, const char* buffer, size_t count, uint64_t offset) {
  return Retried([&] { return DoWriteAt(fd, buffer, count, offset); });
}
int FileSystem::SpaceStat(int fd, const std::string& path, struct statvfs& space) {
  return Retried([&] { return DoSpaceStat(fd, path, space); });
}
uint64_t FileSystem::RandomSeed() {
  return DoRandomSeed();
}

int FileSystem::DoOpenAt(int dir_fd, const std::string& name, int flags) {
  return ::openat(dir_fd, name.c_str(), flags | O_CLOEXEC);
}
ssize_t FileSystem::DoRead(int fd, char* buffer, size_t count) {
  return ::read(fd, buffer, count);
}
ssize_t FileSystem::DoReadAt(int fd, char* buffer, size_t count, uint64_t offset) {
  return ::pread(fd, buffer, count, static_cast<off_t>(offset));
}
int FileSystem::DoStat(int fd, struct stat& st) {
  return ::fstat(fd, &st);
}
int FileSystem::DoStatAt(int dir_fd, const std::string& name, struct stat& st, int flags) {
  return ::fstatat(dir_fd, name.c_str(), &st, flags);
}
int FileSystem::DoListDirectory(int dir_fd, std::vector<std::string>& names) {
  // A second descriptor for the listing, so that the directory's own stays usable.
  const int listing_fd = ::dup(dir_fd);
  DIR* listing = listing_fd < 0 ? nullptr : ::fdopendir(listing_fd);
  if (listing == nullptr) {
    const int err = errno;
    if (listing_fd >= 0) ::close(listing_fd);
    errno = err;
    return -1;
  }
  ::rewinddir(listing);
  for (;;) {
    errno = 0;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): a stream of this call's own, used on one thread
    const dirent* entry = ::readdir(listing);
    if (entry == nullptr) {
      const int err = errno;
      ::closedir(listing);
      errno = err;
      return err == 0 ? 0 : -1;
    }
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
}
int FileSystem::DoRenameNoReplace(int dir_fd, const std::string& from, const std::string& to) {
  return ::renameat2(dir_fd, from.c_str(), dir_fd, to.c_str(), RENAME_NOREPLACE);
}
std::string FileSystem::DoWorkingDirectory() {
  std::string cwd(256, '\0');
  while (::getcwd(cwd.data(), cwd.size()) == nullptr) {
    if (errno != ERANGE) return {};
    cwd.resize(cwd.size() * 2);
  }
  cwd.resize(std::strlen(cwd.c_str()));
  return cwd;
}
int FileSystem::DoCreateAt(int dir_fd, const std::string& name, int flags, mode_t mode) {
  return ::openat(dir_fd, name.c_str(), flags | O_CLOEXEC, mode);
}
int FileSystem::DoReadLinkAt(int dir_fd, const std::string& name, std::string& target) {
  target.resize(256);
  for (;;) {
    const ssize_t size = ::readlinkat(dir_fd, name.c_str(), target.data(), target.size());
    if (size < 0) return -1;
    if (static_cast<size_t>(size) < target.size()) {
      target.resize(static_cast<size_t>(size));
      return 0;
    }
    target.resize(target.size() * 2);
  }
}
int FileSystem::DoLinkAt(int from_dir, const std::string& from, int to_dir, const std::string& to,
                         int flags) {
  return ::linkat(from_dir, from.c_str(), to_dir, to.c_str(), flags);
}
int FileSystem::DoRenameAt(int from_dir, const std::string& from, int to_dir,
                           const std::string& to) {
  return ::renameat(from_dir, from.c_str(), to_dir, to.c_str());
}
int FileSystem::DoUnlinkAt(int dir_fd, const std::string& name, int flags) {
  return ::unlinkat(dir_fd, name.c_str(), flags);
}
int FileSystem::DoTruncate(int fd, uint64_t size) {
  return ::ftruncate(fd, static_cast<off_t>(size));
}
int FileSystem::DoChangeMode(int fd, mode_t mode) {
  return ::fchmod(fd, mode);
}
int FileSystem::DoSync(int fd) {
  return ::fsync(fd);
}
ssize_t FileSystem::DoWrite(int fd, const char* buffer, size_t count) {
  return ::write(fd, buffer, count);
}
ssize_t FileSystem::DoWriteAt(int fd, const char* buffer, size_t count, uint64_t offset) {
  return ::pwrite(fd, buffer, count, static_cast<off_t>(offset));
}
int FileSystem::DoSpaceStat(int fd, const std::string& path, struct statvfs& space) {
  return fd >= 0 ? ::fstatvfs(fd, &space) : ::statvfs(path.c_str(), &space);
}
uint64_t FileSystem::DoRandomSeed() {
  uint64_t seed = 0;
  if (::getrandom(&seed, sizeof seed, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof seed))
    return seed;
  // Early in boot getrandom may have no entropy yet; the device still answers.
  if (const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC); fd >= 0) {
    const ssize_t got = ::read(fd, &seed, sizeof seed);
    ::close(fd);
    if (got == static_cast<ssize_t>(sizeof seed)) return seed;
  }
  return static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
         (static_cast<uint64_t>(::getpid()) << 32);
}

FileSystem& SystemFileSystem() {
  static SystemFiles files;
  return files;
}

ssize_t ReadFully(FileSystem& files, int fd, char* buffer, size_t count, const uint64_t* offset) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = offset != nullptr
                          ? files.ReadAt(fd, buffer + done, count - done, *offset + done)
                          : files.Read(fd, buffer + done, count - done);
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

int WriteFully(FileSystem& files, int fd, const char* buffer, size_t count,
               const uint64_t* offset) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = offset != nullptr
                          ? files.WriteAt(fd, buffer + done, count - done, *offset + done)
                          : files.Write(fd, buffer + done, count - done);
    if (n < 0) return -1;
    if (n == 0) {
      errno = EIO;
      return -1;
    }
    done += static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace tollwick
