#include "base/target_file.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>
#include <utility>

#include "base/errors.h"
#include "base/file_bytes.h"
#include "base/text.h"

namespace tollwick {

namespace {

// The signals whose default action ends the process and that a handler can catch (SIGPIPE and
// SIGXFSZ are ignored by the program).
constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,    SIGQUIT,   SIGTERM, SIGUSR1,
                                  SIGUSR2, SIGALRM,   SIGVTALRM, SIGPROF, SIGPOLL,
                                  SIGPWR,  SIGSTKFLT, SIGABRT,   SIGTRAP, SIGSYS};

// The hidden files that a signal removes before it ends the process. A slot is filled while the
// ending signals are blocked on this thread, and armed last.
struct HiddenSlot {
  volatile sig_atomic_t armed = 0;
  int folder_fd = -1;
  char name[NAME_MAX + 1] = {};
};
HiddenSlot g_hidden[8];
std::atomic<bool> g_handlers_installed{false};

// Async-signal-safe: removes the hidden files, then lets the signal end the process with its
// default action once this handler returns.
extern "C" void RemoveHiddenAndEnd(int signal) {
  for (HiddenSlot& slot : g_hidden)
    if (slot.armed != 0) ::unlinkat(slot.folder_fd, slot.name, 0);
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

void InstallHandlers() {
  if (g_handlers_installed.exchange(true)) return;
  for (int signal : kEndingSignals) {
    struct sigaction previous {};
    // A signal ignored from the start (a background job's SIGINT, nohup's SIGHUP) stays so.
    if (::sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = RemoveHiddenAndEnd;
    sigemptyset(&action.sa_mask);
    for (int other : kEndingSignals) sigaddset(&action.sa_mask, other);
    ::sigaction(signal, &action, nullptr);
  }
}

// Blocks the ending signals on this thread for its lifetime.
class EndingSignalsBlocked {
 public:
  EndingSignalsBlocked() {
    sigset_t block;
    sigemptyset(&block);
    for (int signal : kEndingSignals) sigaddset(&block, signal);
    pthread_sigmask(SIG_BLOCK, &block, &previous_);
  }
  ~EndingSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  EndingSignalsBlocked(const EndingSignalsBlocked&) = delete;
  EndingSignalsBlocked& operator=(const EndingSignalsBlocked&) = delete;

 private:
  sigset_t previous_{};
};

// A free slot, filled and armed, or -1 when every slot is taken. Call with the ending signals
// blocked.
int ArmSlot(int folder_fd, const std::string& name) {
  if (name.size() > NAME_MAX) return -1;
  for (size_t i = 0; i < std::size(g_hidden); ++i) {
    HiddenSlot& slot = g_hidden[i];
    if (slot.armed != 0) continue;
    slot.folder_fd = folder_fd;
    std::memcpy(slot.name, name.c_str(), name.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    slot.armed = 1;
    return static_cast<int>(i);
  }
  return -1;
}

void DisarmSlot(int slot) {
  if (slot >= 0) g_hidden[slot].armed = 0;
}

bool HasEnding(std::string_view name, std::initializer_list<std::string_view> endings) {
  for (std::string_view ending : endings)
    if (name.size() >= ending.size() &&
        LowerAscii(name.substr(name.size() - ending.size())) == LowerAscii(ending))
      return true;
  return false;
}

// ""a"", ""a" or "b"", ""a", "b" or "c"".
std::string EndingsText(std::initializer_list<std::string_view> endings) {
  std::string text;
  size_t i = 0;
  for (std::string_view ending : endings) {
    if (i > 0) text += i + 1 == endings.size() ? " or " : ", ";
    text.append("\"").append(ending).append("\"");
    ++i;
  }
  return text;
}

[[noreturn]] void RaiseCreateError(const std::string& path, std::string_view reason) {
  Raise(ErrorKind::EFOpenError, "Cannot create file \"" + path + "\". " + std::string(reason));
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

TargetFile::TargetFile(FileSystem& files, const std::string& path,
                       std::initializer_list<std::string_view> endings)
    : files_(files) {
  // The chain of links, each relative link taken from its own folder.
  std::string followed = AbsolutePath(files, path);
  for (int links = 0;; ++links) {
    struct stat entry {};
    if (files.StatAt(AT_FDCWD, followed, entry, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISLNK(entry.st_mode))
      break;
    if (links == 40) RaiseCreateError(followed, SystemErrorText(ELOOP));
    std::string link;
    if (files.ReadLinkAt(AT_FDCWD, followed, link) != 0)
      RaiseCreateError(followed, SystemErrorText(errno));
    if (link.empty()) RaiseCreateError(followed, SystemErrorText(ENOENT));
    if (link.front() != '/') link = FolderOf(followed).append("/").append(link);
    followed = std::move(link);
  }
  const size_t slash = followed.rfind('/');
  name_ = slash == std::string::npos ? followed : followed.substr(slash + 1);
  target_ = followed;
  if (name_.empty() || name_ == "." || name_ == "..")
    RaiseCreateError(target_, SystemErrorText(EISDIR));
  if (!HasEnding(name_, endings))
    RaiseCreateError(target_, "The name must end in " + EndingsText(endings) + ".");

  folder_ = FileDescriptor(
      MoveAboveStandard(files.OpenAt(AT_FDCWD, FolderOf(followed), O_PATH | O_DIRECTORY)));
  folder_fd_ = folder_.get();
  if (folder_fd_ < 0) RaiseCreateError(target_, SystemErrorText(errno));
  // The folder's own path, its links resolved, names the target from here on.
  std::string folder;
  if (files.ReadLinkAt(AT_FDCWD, "/proc/self/fd/" + std::to_string(folder_fd_), folder) == 0 &&
      !folder.empty() && folder.front() == '/')
    target_ = folder + (folder.back() == '/' ? "" : "/") + name_;

  struct stat existing {};
  const bool exists = files.StatAt(folder_fd_, name_, existing, AT_SYMLINK_NOFOLLOW) == 0;
  if (!exists && errno != ENOENT) RaiseCreateError(target_, SystemErrorText(errno));
  if (exists && S_ISDIR(existing.st_mode)) RaiseCreateError(target_, SystemErrorText(EISDIR));
  if (exists && !S_ISREG(existing.st_mode)) RaiseCreateError(target_, "Not a regular file");
  if (exists) {
    // Opened for writing only to learn whether it may be written; nothing is changed.
    const FileDescriptor probe(files.OpenAt(folder_fd_, name_, O_WRONLY | O_NONBLOCK | O_NOFOLLOW));
    if (probe.get() < 0) RaiseCreateError(target_, SystemErrorText(errno));
  }
  // It keeps the permissions of the file it replaces; a new one gets those of a new file.
  OpenTemporary(exists ? existing.st_mode & 07777 : 0666, exists);
}

void TargetFile::OpenTemporary(mode_t mode, bool exists) {
  file_ =
      FileDescriptor(MoveAboveStandard(files_.OpenAt(folder_fd_, ".", O_TMPFILE | O_RDWR, mode)));
  fd_ = file_.get();
  // Writers open it by its name in /proc; without /proc it takes a hidden name instead.
  struct stat reopened {};
  if (fd_ >= 0 && files_.StatAt(AT_FDCWD, ReopenPath(), reopened, 0) != 0) {
    file_ = FileDescriptor();
    fd_ = -1;
  }
  if (fd_ < 0) {
    // No unnamed files here: a hidden name, removed by the signals that end the process.
    InstallHandlers();
    EndingSignalsBlocked blocked;
    int err = EEXIST;
    for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
      std::string name = HiddenName();
      fd_ = MoveAboveStandard(
          files_.OpenAt(folder_fd_, name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, mode));
      err = fd_ < 0 ? errno : 0;
      if (fd_ >= 0) {
        file_ = FileDescriptor(fd_);
        temporary_name_ = std::move(name);
        signal_slot_ = ArmSlot(folder_fd_, temporary_name_);
      }
    }
    if (fd_ < 0) RaiseCreateError(target_, SystemErrorText(err));
  }
  // The umask does not narrow the mode of the file replaced. A file owned by another user
  // keeps the mode it was created with.
  if (exists) files_.ChangeMode(fd_, mode);
}

std::string TargetFile::HiddenName() {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  uint64_t bits = files_.RandomSeed();
  std::string name(".");
  name.append(name_, 0, NAME_MAX - 8).append(".");
  for (int i = 0; i < 6; ++i) {
    name += kLetters[bits % (sizeof kLetters - 1)];
    bits /= sizeof kLetters - 1;
  }
  return name;
}

std::string TargetFile::ReopenPath() const {
  if (!unnamed()) return target_.substr(0, target_.size() - name_.size()) + temporary_name_;
  return "/proc/self/fd/" + std::to_string(fd_);
}

void TargetFile::RaiseWriteError(int err) const {
  Raise(ErrorKind::EInOutError, "Cannot write file \"" + target_ + "\". " + SystemErrorText(err));
}

void TargetFile::Write(std::string_view bytes) {
  if (WriteFully(files_, fd_, bytes.data(), bytes.size()) != 0) RaiseWriteError(errno);
}

void TargetFile::Commit() {
  if (committed_) return;
  // The data reaches the disk before the name does, so a crash cannot leave an empty file.
  if (files_.Sync(fd_) != 0) RaiseWriteError(errno);
  if (!unnamed()) {
    if (files_.RenameAt(folder_fd_, temporary_name_, folder_fd_, name_) != 0)
      RaiseWriteError(errno);
    DisarmSlot(signal_slot_);
    signal_slot_ = -1;
    temporary_name_.clear();
    committed_ = true;
    return;
  }
  // An unnamed file gets a hidden name first, then replaces the target by rename, so that the
  // target is the old file or the new one at every moment. The ending signals wait meanwhile,
  // so that none can leave the hidden name behind.
  EndingSignalsBlocked blocked;
  std::string hidden;
  int err = EEXIST;
  for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
    hidden = HiddenName();
    err = files_.LinkAt(AT_FDCWD, "/proc/self/fd/" + std::to_string(fd_), folder_fd_, hidden,
                        AT_SYMLINK_FOLLOW) == 0
              ? 0
              : errno;
    // Without /proc, the descriptor itself (this needs the right to read any file).
    if (err == ENOENT)
      err = files_.LinkAt(fd_, "", folder_fd_, hidden, AT_EMPTY_PATH) == 0 ? 0 : errno;
  }
  if (err != 0) RaiseWriteError(err);
  if (files_.RenameAt(folder_fd_, hidden, folder_fd_, name_) != 0) {
    err = errno;
    files_.UnlinkAt(folder_fd_, hidden, 0);
    RaiseWriteError(err);
  }
  committed_ = true;
}

TargetFile::~TargetFile() {
  if (!temporary_name_.empty()) {
    EndingSignalsBlocked blocked;
    files_.UnlinkAt(folder_fd_, temporary_name_, 0);
    DisarmSlot(signal_slot_);
  }
}

}  // namespace tollwick
