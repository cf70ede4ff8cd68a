#include "workbook/row_packer.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>

#include "base/errors.h"

namespace tollwick {

namespace {

// At most this many pieces wait to be taken; the thread making text waits beyond.
constexpr size_t kMostWaiting = 2;
// The end of a piece that the next one may refer back to: all of deflate's window.
constexpr size_t kDictionarySize = size_t{32} << 10;

// An unnamed file in the folder `folder_fd`, or -1 with errno set.
int CreateUnnamedFile(FileSystem& files, int folder_fd) {
  int fd = MoveAboveStandard(files.OpenAt(folder_fd, ".", O_TMPFILE | O_RDWR, 0600));
  if (fd >= 0) return fd;
  // A file system without unnamed files: a hidden name, removed at once.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = ".tollwick-rows." + std::to_string(files.RandomSeed() % 1000000000);
    fd = MoveAboveStandard(
        files.OpenAt(folder_fd, name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600));
    if (fd >= 0) {
      files.UnlinkAt(folder_fd, name, 0);
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

}  // namespace

RowPacker::RowPacker(FileSystem& files, int folder_fd, const std::string& path, int level,
                     size_t threads, size_t piece_size)
    : files_(files), path_(path), level_(level), piece_size_(piece_size) {
  file_ = FileDescriptor(CreateUnnamedFile(files, folder_fd));
  if (file_.get() < 0) Fail(errno);
  for (size_t i = 0; i < std::max<size_t>(threads, 1); ++i)
    threads_.emplace_back(&RowPacker::Work, this);
}

RowPacker::~RowPacker() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void RowPacker::Fail(int error) const {
  Raise(ErrorKind::EInOutError, "Cannot write file \"" + path_ + "\". " + SystemErrorText(error));
}

void RowPacker::HandOver(bool ends_part) {
  Piece piece{std::move(text_), std::move(dictionary_), ends_part, handed_over_++};
  if (!ends_part) {
    size_t keep = std::min(piece.text.size(), kDictionarySize);
    dictionary_.assign(piece.text, piece.text.size() - keep, keep);
  }
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return error_ != 0 || waiting_.size() < kMostWaiting; });
    if (error_ != 0) Fail(error_);
    waiting_.push_back(std::move(piece));
    if (!spare_.empty()) {
      text_ = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  changed_.notify_all();
  text_.clear();
  text_.reserve(piece_size_ + piece_size_ / 4);
}

PackedPart RowPacker::EndPart() {
  HandOver(true);
  uint64_t part = ++parts_asked_;
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this, part] { return error_ != 0 || parts_done_ == part; });
  if (error_ != 0) Fail(error_);
  return last_part_;
}

void RowPacker::Work() {
  Packed packed;
  for (;;) {
    Piece piece;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
      if (stopping_) return;
      piece = std::move(waiting_.front());
      waiting_.pop_front();
    }
    bool packed_well = Pack(piece, level_, packed);
    // Written in turn: the pieces before this one first.
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this, &piece] { return stopping_ || next_to_write_ == piece.number; });
    if (stopping_) return;
    if (error_ == 0 && !packed_well) error_ = ENOMEM;
    if (error_ == 0) {
      lock.unlock();  // the turn is this thread's until next_to_write_ moves on
      const int error =
          WriteFully(files_, file_.get(), packed.data.data(), packed.size) == 0 ? 0 : errno;
      lock.lock();
      if (error_ == 0) error_ = error;
      written_ += packed.size;
    }
    part_.packed_size += packed.size;
    part_.crc = static_cast<uint32_t>(
        crc32_combine(part_.crc, packed.crc, static_cast<z_off_t>(piece.text.size())));
    part_.size += piece.text.size();
    if (piece.ends_part) {
      last_part_ = part_;
      part_ = PackedPart{written_, 0, 0, 0};
      ++parts_done_;
    }
    ++next_to_write_;
    piece.text.clear();
    spare_.push_back(std::move(piece.text));
    lock.unlock();
    changed_.notify_all();
  }
}

bool RowPacker::Pack(const Piece& piece, int level, Packed& out) {
  out.crc = static_cast<uint32_t>(
      crc32_z(0, reinterpret_cast<const Bytef*>(piece.text.data()), piece.text.size()));
  out.size = DeflateRaw(piece.text, piece.dictionary, level, false, out.data);
  return out.size != 0;
}

size_t DeflateRaw(std::string_view text, std::string_view dictionary, int level, bool final,
                  std::string& out) {
  z_stream zlib{};
  if (deflateInit2(&zlib, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return 0;
  bool ok = dictionary.empty() ||
            deflateSetDictionary(&zlib, reinterpret_cast<const Bytef*>(dictionary.data()),
                                 static_cast<uInt>(dictionary.size())) == Z_OK;
  // Room for all of it at once: deflateBound, plus the few bytes of a sync flush.
  const size_t room = deflateBound(&zlib, text.size()) + 16;
  if (out.size() < room) out.resize(room);
  zlib.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  zlib.avail_in = static_cast<uInt>(text.size());
  zlib.next_out = reinterpret_cast<Bytef*>(out.data());
  zlib.avail_out = static_cast<uInt>(room);
  const int result = deflate(&zlib, final ? Z_FINISH : Z_SYNC_FLUSH);
  ok = ok && result == (final ? Z_STREAM_END : Z_OK) && zlib.avail_in == 0 && zlib.avail_out > 0;
  const size_t size = zlib.total_out;
  deflateEnd(&zlib);
  return ok ? size : 0;
}

}  // namespace tollwick
