// TagScanner: where a tag ends and where its quoted attribute values lie, as
// the HTML tokenizer reads them (HTML Living Standard, 13.2.5.8 to 13.2.5.42).
//
// Conventions:
//  1. A tag starts at "<" followed by an ASCII letter, or at "</" followed by
//     one. Its name runs to whitespace, "/" or ">".
//  2. A value opens only right after the "=" that follows an attribute name,
//     whitespace allowed around the "=". A quoted value runs to the next
//     quote of its kind, across ">" too; an unquoted one to whitespace or
//     ">". An attribute name may begin with any byte, "=" included.
//  3. The tag ends at the first ">" outside quoted values. A tag whose last
//     quoted value never closes runs to the end of the text.
//  4. Values are found one at a time, so a caller can look at each value
//     before the scanner reads past it, and nothing is stored. The scanner
//     never reads at or past the end of the text.

#ifndef VELMAR_ENGINE_TAGSCANNER_H_
#define VELMAR_ENGINE_TAGSCANNER_H_

#include <array>
#include <cstddef>
#include <string_view>

#include "ByteClasses.h"
#include "ByteScan.h"

namespace velmar {

// Whether the bytes at `at` start a tag: "<" and a letter, or "</" and one.
inline bool IsTagStart(std::string_view text, std::size_t at) {
  if (at + 1 >= text.size() || text[at] != '<') return false;
  if (IsAsciiLetter(text[at + 1])) return true;
  return text[at + 1] == '/' && at + 2 < text.size() && IsAsciiLetter(text[at + 2]);
}

inline bool EndsTagName(char c) { return IsHtmlWhitespace(c) || c == '/' || c == '>'; }

// Whether the quote at `at` may open a quoted value: a value opens only
// right after an "=", whitespace allowed between. Every opening quote passes
// this test; quotes inside names and unquoted values mostly do not.
inline bool MayOpenValue(std::string_view text, std::size_t at) {
  std::size_t pos = at;
  while (pos > 0 && IsHtmlWhitespace(text[pos - 1])) --pos;
  return pos > 0 && text[pos - 1] == '=';
}

// The positions of the two quotes around one quoted attribute value. No
// default values: arrays of them, filled by Next(), are made per tag in the
// hot loops, and clearing them first would cost more than reading the tag.
struct QuotedValue {
  std::size_t open;
  std::size_t close;
};

class TagScanner {
 public:
  enum class End {
    kOpen,                // not over yet: Next() may find more values
    kClosed,              // at its ">"
    kRanToEnd,            // the text ended inside the tag
    kUnterminatedDouble,  // the text ended inside a double-quoted value
    kUnterminatedSingle,  // the text ended inside a single-quoted value
  };

  // No tag: Next() finds nothing.
  TagScanner() = default;

  // The tag whose "<" is at `at` (IsTagStart holds there).
  TagScanner(std::string_view text, std::size_t at) { Reset(text, at); }

  // Starts over at the tag whose "<" is at `at`. Resetting in place rather
  // than assigning a new scanner keeps the fields out of a temporary copy,
  // which costs a store-forwarding stall per tag in the hot loops.
  void Reset(std::string_view text, std::size_t at) {
    text_ = text;
    pos_ = at + 1;
    if (text_[pos_] == '/') ++pos_;
    const std::size_t name_begin = pos_;
    while (pos_ < text_.size() && !EndsTagName(text_[pos_])) ++pos_;
    name_ = text_.substr(name_begin, pos_ - name_begin);
    state_ = kBeforeName;
    end_ = text_.size();
    how_ = End::kOpen;
  }

  // Starts over at a tag known to hold no quoted value, over at `end`.
  void ResetWithoutValues(std::size_t end) {
    name_ = {};
    end_ = end;
    how_ = End::kClosed;
  }

  std::string_view name() const { return name_; }

  // Finds the tag's next quoted value; false once the tag is over, and then
  // end() and how() tell where and how it ended.
  bool Next(QuotedValue& value) { return how_ == End::kOpen && Advance(value); }

  // Reads the rest of the tag; returns one past its end.
  std::size_t SkipToEnd() {
    QuotedValue ignored;
    while (Next(ignored)) {
    }
    return end_;
  }

  // One past the ">", or the end of the text; the text's end until the tag
  // is over.
  std::size_t end() const { return end_; }
  End how() const { return how_; }

 private:
  // The tokenizer's states between attributes (13.2.5.32 to 13.2.5.40); the
  // state after a quoted value acts as kBeforeName.
  enum State : unsigned char { kBeforeName, kInName, kAfterName, kBeforeValue, kInUnquoted };
  // The bytes that can change the state; every other byte is kOther.
  enum Class : unsigned char { kOther, kSpace, kSlash, kEquals, kGreater, kQuote };
  static constexpr std::array<unsigned char, 256> kClasses =
      MakeByteTable([](unsigned char c) -> unsigned char {
        if (IsHtmlWhitespace(static_cast<char>(c))) return kSpace;
        if (c == '/') return kSlash;
        if (c == '=') return kEquals;
        if (c == '>') return kGreater;
        if (c == '"' || c == '\'') return kQuote;
        return kOther;
      });
  // The next state for a byte of each class; ">" ends the tag and a quote
  // before a value opens one, so those entries are never read.
  static constexpr State kNext[5][6] = {
      //            other        space        slash        equals        greater  quote
      /* before */ {kInName, kBeforeName, kBeforeName, kInName, kBeforeName, kInName},
      /* name   */ {kInName, kAfterName, kBeforeName, kBeforeValue, kBeforeName, kInName},
      /* after  */ {kInName, kAfterName, kBeforeName, kBeforeValue, kBeforeName, kInName},
      /* value? */ {kInUnquoted, kBeforeValue, kInUnquoted, kInUnquoted, kBeforeName, kBeforeName},
      /* value  */ {kInUnquoted, kBeforeName, kInUnquoted, kInUnquoted, kBeforeName, kInUnquoted},
  };

  // Takes the byte at pos_, one that may change the state. Returns true when it
  // ended the scan step: the tag is over, or `value` holds a new value.
  bool Take(QuotedValue& value, bool& found) {
    const char c = text_[pos_];
    const unsigned char cls = kClasses[static_cast<unsigned char>(c)];
    if (cls == kGreater) {
      found = Finish(pos_ + 1, End::kClosed);
      return true;
    }
    if (cls == kQuote && state_ == kBeforeValue) {
      const std::size_t end = text_.size();
      const std::size_t close = FindFirstOf(text_.data(), pos_ + 1, end, ByteSet::Of(c));
      if (close == end) {
        found = Finish(end, c == '"' ? End::kUnterminatedDouble : End::kUnterminatedSingle);
        return true;
      }
      value = {pos_, close};
      pos_ = close + 1;
      state_ = kBeforeName;
      found = true;
      return true;
    }
    state_ = kNext[state_][cls];
    ++pos_;
    return false;
  }

  bool Advance(QuotedValue& value) {
    const std::size_t end = text_.size();
    bool found = false;
    while (pos_ < end) {
      if (kClasses[static_cast<unsigned char>(text_[pos_])] == kOther) {
        state_ = kNext[state_][kOther];
        ++pos_;
      } else if (Take(value, found)) {
        return found;
      }
    }
    return Finish(end, End::kRanToEnd);
  }

  bool Finish(std::size_t end, End how) {
    end_ = end;
    how_ = how;
    return false;
  }

  std::string_view text_;
  std::size_t pos_ = 0;  // next byte to read
  std::string_view name_;
  State state_ = kBeforeName;
  std::size_t end_ = 0;
  End how_ = End::kClosed;
};

}  // namespace velmar

#endif  // VELMAR_ENGINE_TAGSCANNER_H_
