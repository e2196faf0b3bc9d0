// A text compacted in place by one forward scan.
//
// Conventions for every pass that uses it:
//  1. Bytes [0, write) are final output; bytes [kept, read) have been scanned
//     and kept, but not yet moved behind the output; bytes [read, end) are
//     still to be scanned; the bytes between are dead. So the current text,
//     as a move-per-change rewrite would hold it, is output, then kept
//     bytes, then input.
//  2. write <= kept <= read at all times: output never overwrites input.
//     A step that writes more than it consumes (the centred paragraph
//     pass's end tag) relies on a gap that an earlier step of the same scan
//     opened; Emit checks it in debug builds.
//  3. Nothing at or beyond `end` is read or written.
//  4. Runs of unchanged bytes are moved with one memmove per change, and not
//     at all while nothing has been removed yet (write == kept).

#ifndef VELMAR_ENGINE_INPLACETEXT_H_
#define VELMAR_ENGINE_INPLACETEXT_H_

#include <cassert>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "Passes.h"

namespace velmar {

class InPlaceText {
 public:
  explicit InPlaceText(WorkingState& state)
      : data_(state.buffer.data()), end_(static_cast<std::size_t>(state.length)) {}

  const char* data() const { return data_; }
  // The scan position in the input.
  std::size_t read() const { return read_; }
  std::size_t end() const { return end_; }
  bool AtEnd() const { return read_ >= end_; }
  // The buffer up to the end of the text, for matching at read().
  std::string_view Input() const { return {data_, end_}; }
  // The byte before the scan position in the current text; `missing` at
  // the start of the text.
  char Previous(char missing) const {
    if (read_ > kept_) return data_[read_ - 1];
    return write_ == 0 ? missing : data_[write_ - 1];
  }

  // The current text before the scan position, made contiguous (for
  // looking back). Moves the kept bytes now rather than at the next change.
  std::string_view Before() {
    Flush();
    return {data_, write_};
  }

  // Keeps the input bytes [read, to) unchanged. They are moved only when a
  // later change needs them out of the way.
  void KeepTo(std::size_t to) {
    assert(to >= read_ && to <= end_);
    read_ = to;
  }

  // Drops the next `count` input bytes.
  void Drop(std::size_t count) {
    assert(read_ + count <= end_);
    Flush();
    read_ += count;
    kept_ = read_;
  }

  // Writes `bytes` as output in place of input already dropped.
  void Emit(std::string_view bytes) {
    Flush();
    assert(write_ + bytes.size() <= read_);
    std::memcpy(data_ + write_, bytes.data(), bytes.size());
    write_ += bytes.size();
  }

  // Puts `bytes` back in front of the unread input, so that the scan sees
  // them next; needs room left by dropped input.
  void Unread(std::string_view bytes) {
    Flush();
    assert(read_ >= write_ + bytes.size());
    read_ -= bytes.size();
    kept_ = read_;
    std::memcpy(data_ + read_, bytes.data(), bytes.size());
  }

  // Stores the final length; called once, when the scan is over.
  void Finish(WorkingState& state) {
    read_ = end_;
    Flush();
    state.length = static_cast<std::int64_t>(write_);
  }

 private:
  // Moves the kept bytes [kept, read) to the output.
  void Flush() {
    const std::size_t count = read_ - kept_;
    if (write_ != kept_) {
      if (count <= 16) {
        // Dense edits move a few bytes at a time; a forward byte loop is
        // safe for the overlap (output lies before input) and beats a call.
        for (std::size_t k = 0; k < count; ++k) data_[write_ + k] = data_[kept_ + k];
      } else {
        std::memmove(data_ + write_, data_ + kept_, count);
      }
    }
    write_ += count;
    kept_ = read_;
  }

  char* data_;             // the working buffer
  std::size_t kept_ = 0;   // first input byte kept but not yet moved
  std::size_t read_ = 0;   // scan position: next input byte
  std::size_t write_ = 0;  // next output byte
  std::size_t end_;        // end of the text
};

}  // namespace velmar

#endif  // VELMAR_ENGINE_INPLACETEXT_H_
