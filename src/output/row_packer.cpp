#include "output/row_packer.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "base/errors.h"

namespace tollwick {

namespace {

// At most this many pieces wait to be packed; the thread making text waits beyond.
constexpr size_t kMostWaiting = 2;
constexpr size_t kOutputSize = size_t{256} << 10;

// An unnamed file in `folder`, or -1 with errno set.
int CreateUnnamedFile(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  // A file system without unnamed files: a hidden name, removed at once.
  std::string name = folder + (folder.ends_with('/') ? "" : "/") + ".tollwick-rows.XXXXXX";
  fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd >= 0) ::unlink(name.c_str());
  return fd;
}

}  // namespace

// The deflate stream of the part being packed, and where it goes.
struct RowPacker::Stream {
  z_stream zlib{};
  std::unique_ptr<unsigned char[]> output{new unsigned char[kOutputSize]};
  uint64_t written = 0;  // to the file
  PackedPart part;       // being packed
  int error = 0;
};

RowPacker::RowPacker(const std::string& folder, const std::string& path, int level) : path_(path) {
  fd_ = CreateUnnamedFile(folder);
  if (fd_ < 0) Fail(errno);
  stream_ = std::make_unique<Stream>();
  if (deflateInit2(&stream_->zlib, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    ::close(fd_);
    Fail(ENOMEM);
  }
  text_.reserve(kPieceSize + kPieceSize / 4);
  thread_ = std::thread(&RowPacker::Work, this);
}

RowPacker::~RowPacker() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
  deflateEnd(&stream_->zlib);
  ::close(fd_);
}

void RowPacker::Fail(int error) const {
  Raise(ErrorKind::EInOutError, "Cannot write file \"" + path_ + "\". " + SystemErrorText(error));
}

void RowPacker::HandOver(bool ends_part) {
  std::string next;
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return error_ != 0 || waiting_.size() < kMostWaiting; });
    if (error_ != 0) Fail(error_);
    waiting_.push_back({std::move(text_), ends_part});
    if (!spare_.empty()) {
      next = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  changed_.notify_all();
  text_ = std::move(next);
  text_.clear();
  text_.reserve(kPieceSize + kPieceSize / 4);
}

PackedPart RowPacker::EndPart() {
  HandOver(true);
  size_t part = ++parts_asked_;
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this, part] { return error_ != 0 || parts_done_ == part; });
  if (error_ != 0) Fail(error_);
  return last_part_;
}

void RowPacker::Work() {
  for (;;) {
    Piece piece;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
      if (stopping_) return;
      piece = std::move(waiting_.front());
      waiting_.pop_front();
    }
    if (stream_->error == 0) Pack(piece);
    {
      std::lock_guard lock(mutex_);
      if (piece.ends_part) {
        last_part_ = stream_->part;
        ++parts_done_;
        stream_->part = PackedPart{stream_->written, 0, 0, 0};
      }
      error_ = stream_->error;
      piece.text.clear();
      spare_.push_back(std::move(piece.text));
    }
    changed_.notify_all();
  }
}

void RowPacker::Pack(const Piece& piece) {
  Stream& stream = *stream_;
  z_stream& zlib = stream.zlib;
  stream.part.size += piece.text.size();
  stream.part.crc = static_cast<uint32_t>(crc32_z(
      stream.part.crc, reinterpret_cast<const Bytef*>(piece.text.data()), piece.text.size()));
  zlib.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.text.data()));
  zlib.avail_in = static_cast<uInt>(piece.text.size());
  int flush = piece.ends_part ? Z_SYNC_FLUSH : Z_NO_FLUSH;
  // Until deflate leaves room in the output: then it has taken all the input, and flushed.
  do {
    zlib.next_out = stream.output.get();
    zlib.avail_out = kOutputSize;
    if (deflate(&zlib, flush) == Z_STREAM_ERROR) {
      stream.error = EIO;
      return;
    }
    WriteOut(reinterpret_cast<const char*>(stream.output.get()), kOutputSize - zlib.avail_out);
    if (stream.error != 0) return;
  } while (zlib.avail_out == 0);
  if (piece.ends_part) {
    stream.part.packed_size = stream.written - stream.part.offset;
    deflateReset(&zlib);
  }
}

void RowPacker::WriteOut(const char* data, size_t size) {
  while (size > 0) {
    ssize_t done = ::write(fd_, data, size);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) {
      stream_->error = done < 0 ? errno : EIO;
      return;
    }
    data += done;
    size -= static_cast<size_t>(done);
    stream_->written += static_cast<uint64_t>(done);
  }
}

}  // namespace tollwick
