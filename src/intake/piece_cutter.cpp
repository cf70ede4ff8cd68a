#include "intake/piece_cutter.h"

#include <algorithm>

namespace tollwick {

size_t PieceCutter::Open() {
  constexpr size_t npos = std::string_view::npos;
  // An open marker that begins in the carried bytes can only begin at their last '<', since
  // every earlier chunk is followed by another '<' that the marker does not hold.
  straddle_ = false;
  if (!carry_.empty()) {
    size_t have = carry_.size() - carry_.rfind('<');
    std::string_view need = open_.substr(have);
    if (text_.substr(cursor_, need.size()) == need) {
      straddle_ = true;
      open_end_ = cursor_ + need.size();
      return open_end_;
    }
  }
  // Pieces are mostly apart by a little layout with no '<': when the first '<' after the
  // cursor begins the open marker, that is the first one, and nothing before it is carried.
  quiet_gap_ = false;
  if (carry_.empty()) {
    const size_t limit = std::min(text_.size(), cursor_ + kGapLook);
    size_t at = cursor_;
    while (at < limit && text_[at] != '<') ++at;
    if (at < limit && text_.compare(at, open_.size(), open_) == 0) {
      quiet_gap_ = true;
      open_at_ = at;
      open_end_ = at + open_.size();
      return open_end_;
    }
  }
  open_at_ = find_open_.Find(text_, cursor_);
  if (open_at_ == npos) return npos;
  open_end_ = open_at_ + open_.size();
  return open_end_;
}

std::string_view PieceCutter::Take(size_t close_at) {
  if (straddle_) {
    carry_.resize(carry_.rfind('<'));
  } else if (!quiet_gap_) {
    AppendCarry(text_.substr(cursor_, open_at_ - cursor_));
  }
  cursor_ = close_at + close_.size();
  return text_.substr(open_end_, close_at - open_end_);
}

std::string_view PieceCutter::Next() {
  constexpr size_t npos = std::string_view::npos;
  size_t open_end = Open();
  if (open_end == npos) return {};
  size_t close_at = find_close_.Find(text_, open_end);
  if (close_at == npos) return {};
  return Take(close_at);
}

void PieceCutter::AppendCarry(std::string_view skipped) {
  if (skipped.empty()) return;
  // Walk the chunks of `skipped` from its end; `start` is where the usable run begins.
  size_t start = skipped.size();
  size_t end = skipped.size();
  while (end > 0) {
    size_t lt = skipped.rfind('<', end - 1);
    if (lt == std::string_view::npos) break;
    if (!IsOpenPrefix(skipped.substr(lt, end - lt))) {
      carry_.assign(skipped.substr(start));
      return;
    }
    start = lt;
    end = lt;
  }
  // All chunks from the first '<' on are usable; the bytes before it extend the last carried
  // chunk, which stays usable only if the result is still a prefix of the open marker.
  std::string_view head = skipped.substr(0, end);
  if (head.empty()) {
    carry_.append(skipped);
    return;
  }
  if (!carry_.empty()) {
    std::string_view last = std::string_view(carry_).substr(carry_.rfind('<'));
    if (last.size() + head.size() < open_.size() &&
        open_.substr(last.size(), head.size()) == head) {
      carry_.append(skipped);
      return;
    }
  }
  carry_.assign(skipped.substr(start));
}

}  // namespace tollwick
