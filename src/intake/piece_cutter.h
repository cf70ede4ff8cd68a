// Successive cutting of marker-delimited pieces out of one working text.
//
// Each Next() finds the first open marker in the working text, then the first close marker
// after it, returns the text between them and removes open marker, inner text and close marker
// from the working text. When either marker is missing it returns an empty view and leaves the
// working text alone.
//
// The working text is never copied. It is kept as the original text from a cursor on, plus a
// few carried bytes from before the cursor: removing a piece joins the text before it with the
// text after it, and an open marker may form across such a join ("<Ro" + piece + "w>" reads as
// "<Row>"). Open markers start with '<' and hold no other '<', so the only carried bytes that
// can still take part in a match are a trailing run of chunks that each start with '<' and are
// proper prefixes of the open marker; everything else before the cursor is dropped. Each byte of
// the text is looked at a bounded number of times, so a whole sequence of calls is linear.
#pragma once

#include <string>
#include <string_view>

#include "intake/marker_finder.h"

namespace tollwick {

class PieceCutter {
 public:
  // `open` must begin with '<' and hold no other '<'. The views must outlive the cutter.
  PieceCutter(std::string_view text, std::string_view open, std::string_view close)
      : text_(text), open_(open), close_(close), find_open_(open), find_close_(close) {}

  // The next piece, or an empty view when there is none (or when it is empty).
  std::string_view Next();

  // Next() in two steps, for a caller that finds the close marker itself: Open() gives the
  // position in the text where the next piece begins (after its open marker), or npos when
  // there is no open marker; Take(close_at) then takes the piece up to the close marker at
  // `close_at`, which must be its first occurrence at or after that position.
  size_t Open();
  std::string_view Take(size_t close_at);
  std::string_view text() const { return text_; }
  // After Open(): the bytes of the text it passed over before the open marker. After an
  // Open() that gave npos: the rest of the text from the cursor.
  std::string_view Gap() const {
    return straddle_ || quiet_gap_ ? std::string_view() : text_.substr(cursor_, open_at_ - cursor_);
  }
  std::string_view Rest() const { return text_.substr(cursor_); }

 private:
  bool IsOpenPrefix(std::string_view chunk) const {
    return chunk.size() < open_.size() && open_.substr(0, chunk.size()) == chunk;
  }
  // Adds the bytes that stay in front of the cursor after a piece is removed.
  void AppendCarry(std::string_view skipped);

  std::string_view text_, open_, close_;
  MarkerFinder find_open_, find_close_;
  size_t cursor_ = 0;
  size_t open_at_ = 0;     // where the open marker found by Open() begins
  size_t open_end_ = 0;    // and where the piece begins
  bool straddle_ = false;  // the open marker began in the carried bytes
  // No carried bytes, and none of the skipped ones holds a '<': nothing is carried on.
  bool quiet_gap_ = false;
  static constexpr size_t kGapLook = 16;  // how far Open() looks for that
  std::string carry_;  // empty, or '<'-chunks that are each a proper prefix of `open_`
};

}  // namespace tollwick
