// What every call that walks through tags shares: the protected regions,
// the quoted values of the tags it meets, and the loop that stops at both.
// Internal to the passes; see ReplaceAll.cpp for the conventions.

#ifndef VELMAR_ENGINE_WALKINGSCAN_H_
#define VELMAR_ENGINE_WALKINGSCAN_H_

#include <algorithm>
#include <cassert>
#include <string_view>

#include "ByteClasses.h"
#include "ByteScan.h"
#include "InPlaceText.h"
#include "Passes.h"
#include "TagScanner.h"

namespace velmar {

inline constexpr std::size_t kNone = std::string_view::npos;

// The protected regions of one call.
struct Regions {
  bool blocks;   // textarea and pre
  bool scripts;  // script

  // The closing text of the region that opens at `at`, or "".
  std::string_view ClosingAt(std::string_view text, std::size_t at) const {
    if (blocks && MatchesAt(text, at, "<textarea")) return "</textarea>";
    if (blocks && MatchesAt(text, at, "<pre")) return "</pre>";
    if (scripts && MatchesAt(text, at, "<script")) return "</script>";
    return {};
  }

  // The first position at or after `from` where a region opens, or the end.
  std::size_t NextOpening(std::string_view text, std::size_t from) const {
    static constexpr char kAll[][2] = {{'t', 'e'}, {'p', 'r'}, {'s', 'c'}};
    const char(*pairs)[2] = blocks ? kAll : kAll + 2;
    const int count = (blocks ? 2 : 0) + (scripts ? 1 : 0);
    if (count == 0) return text.size();
    for (std::size_t pos = from;; ++pos) {
      pos = FindTagPrefix(text.data(), pos, text.size(), pairs, count);
      if (pos == text.size() || !ClosingAt(text, pos).empty()) return pos;
    }
  }
};

// Scans from a region's opening "<" through the second byte of its closing
// text, which the next turn follows. False when the region never closes.
inline bool KeepRegion(InPlaceText& text, std::string_view closing) {
  std::size_t index = text.read();
  if (!SkipPastClosingTag(text.Input(), index, closing)) return false;
  text.KeepTo(index + 1);
  return true;
}

// The quoted values of the current tag, read one at a time as the scan
// nears them: the first that does not end before the scan position, and
// the one after it.
class TagValues {
 public:
  explicit TagValues(std::string_view input) : input_(input) {}

  // Makes the tag starting at `at` the current one.
  void Start(std::size_t at) {
    count_ = 0;
    scanner_.Reset(input_, at);
  }

  // Makes the tag starting before `end` the current one, when it is known
  // to end at `end` with no value the scan can land on.
  void StartWithoutValues(std::size_t end) {
    count_ = 0;
    scanner_.ResetWithoutValues(end);
  }

  // Drops the values that end before `read`. Afterwards the tag is over or
  // the scanner has read past `read` (convention 6).
  void PassTo(std::size_t read) {
    while (true) {
      if (count_ > 0 && queue_[0].close >= read) return;
      if (count_ > 0) {
        Pop();
      } else if (!Fetch()) {
        return;
      }
    }
  }

  // The opening quote of the next value that begins at or after `read`, or
  // kNone when the current tag has no more.
  std::size_t Landing(std::size_t read) {
    if (count_ == 0 && scanner_.how() != TagScanner::End::kOpen) return kNone;
    PassTo(read);
    if (count_ > 0 && queue_[0].open >= read) return queue_[0].open;
    if (count_ == 1) Fetch();
    return count_ == 2 ? queue_[1].open : kNone;
  }

  // The value that a ">" at `at` lies in, or null.
  const QuotedValue* Containing(std::size_t at) {
    PassTo(at);
    return count_ > 0 && queue_[0].open < at ? &queue_[0] : nullptr;
  }

  // The value whose opening quote Landing gave as `at`; the scan copies it
  // whole, then pops it.
  const QuotedValue& LandedAt(std::size_t at) {
    PassTo(at);
    assert(count_ > 0 && queue_[0].open == at);
    return queue_[0];
  }
  // The value Containing found.
  const QuotedValue& Front() const { return queue_[0]; }
  void Pop() {
    queue_[0] = queue_[1];
    --count_;
  }

  // Whether `at` (where Landing was last asked, or past it) lies in the
  // current tag.
  bool InTag(std::size_t at) const {
    return scanner_.how() == TagScanner::End::kOpen || at < scanner_.end();
  }
  // One past the current tag, once it is over.
  std::size_t TagEnd() const { return scanner_.end(); }

 private:
  bool Fetch() {
    assert(count_ < 2);
    if (!scanner_.Next(queue_[count_])) return false;
    ++count_;
    return true;
  }

  std::string_view input_;
  TagScanner scanner_;
  QuotedValue queue_[2];
  int count_ = 0;
};

// The first tag start in [from, limit), or `limit`.
inline std::size_t NextTagStart(std::string_view text, std::size_t from, std::size_t limit) {
  for (std::size_t pos = from;; ++pos) {
    pos = FindFirstOf(text.data(), pos, limit, ByteSet::Of('<'));
    if (pos >= limit || IsTagStart(text, pos)) return pos;
  }
}

// Where the walking scan lands on quoted values. A value changes what a
// call does only when it holds the first byte of Search (an occurrence can
// only begin inside it), a "<" (a region opening, a tag start) or a ">" (a
// tag that does not end at its first ">"). So only tags holding a quote
// that may open such a value are read; every other value is walked
// through, which changes nothing.
class Landings {
 public:
  Landings(std::string_view input, char first_of_search)
      : input_(input), values_(input), first_of_search_(first_of_search) {}

  // The opening quote of the next value the scan lands on at or after
  // `read`, before `limit` (a region opening); kNone when there is none.
  std::size_t Next(std::size_t read, std::size_t limit) {
    for (std::size_t from = read;;) {
      if (const std::size_t open = values_.Landing(from); open != kNone) return open;
      // The current tag is over; no tag the scan met is open past it.
      outside_ = std::max({outside_, values_.TagEnd(), read});
      search_ = std::max(search_, outside_);
      std::size_t start = kNone;
      if (const std::size_t quote = NextTriggeringQuote(limit); quote != kNone) {
        start = TagHolding(quote);
        if (start == kNone) {
          outside_ = search_ = quote + 1;  // a quote in text
          continue;
        }
      } else {
        // A tag open at the region opening goes on after the region: it is
        // read now, while none of its bytes has been moved.
        if (limit >= input_.size() || values_.InTag(limit)) return kNone;
        start = TagHolding(limit);
        if (start == kNone) return kNone;
      }
      values_.Start(start);
      from = start;
    }
  }

  // The scan has passed over the region from `opening` to `after`.
  void SkipRegion(std::size_t opening, std::size_t after) {
    if (!values_.InTag(opening)) outside_ = std::max(outside_, after);
    search_ = std::max(search_, after);
  }

  // The value whose opening quote Next gave as `at`; the scan copies it
  // whole, then pops it.
  const QuotedValue& LandedAt(std::size_t at) { return values_.LandedAt(at); }
  void Pop() { values_.Pop(); }

 private:
  // The next quote at or after search_ that may open a value holding a
  // trigger, or one that never closes (its tag then runs to the end).
  std::size_t NextTriggeringQuote(std::size_t limit) {
    const std::size_t end = input_.size();
    while (true) {
      const std::size_t quote = FindFirstOf(input_.data(), search_, limit, ByteSet::Of('"', '\''));
      if (quote >= limit) {
        search_ = std::max(search_, limit);
        return kNone;
      }
      search_ = quote + 1;
      if (!MayOpenValue(input_, quote)) continue;
      // One scan to the closing quote or a trigger before it.
      const char closing = input_[quote];
      const std::size_t stop = FindFirstOf(input_.data(), quote + 1, end,
                                           ByteSet::Of(closing, first_of_search_, '<', '>'));
      if (stop == end || input_[stop] != closing) return quote;
    }
  }

  // The start of the tag open at `at`, or kNone. No tag is open at
  // outside_, and every value between holds no "<" or ">", so each tag
  // there ends at its first ">": after the last ">" before the quote no tag
  // is open, and the first tag start after it opens the tag.
  std::size_t TagHolding(std::size_t at) const {
    std::size_t begin = at;
    while (begin > outside_ && input_[begin - 1] != '>') --begin;
    const std::size_t start = NextTagStart(input_, begin, at);
    return start < at ? start : kNone;
  }

  std::string_view input_;
  TagValues values_;
  char first_of_search_;
  std::size_t outside_ = 0;  // no tag is open here
  std::size_t search_ = 0;   // quotes before this have been looked at
};

// The walking scan's loop, shared by every call that walks through tags:
// it stops where `next_candidate(limit)` finds a candidate before `limit`,
// at region openings and at quoted values to copy whole. At a candidate it
// calls `handle()`, which changes the text at the scan position and
// returns true, or returns false to keep the byte. No change a handler makes
// may make a region opening appear or vanish (replacements and the bytes
// next to a deletion hold no "<" followed by a letter, and nothing after the
// scan position changes), so the next opening is looked for once and kept
// until the scan reaches it or a value covers it.
template <typename NextCandidate, typename Handle>
void WalkThroughTags(InPlaceText& text, const Regions& regions, char trigger,
                     NextCandidate next_candidate, Handle handle) {
  const std::string_view input = text.Input();
  Landings landings(input, trigger);
  std::size_t opening = regions.NextOpening(input, 0);
  std::size_t landing = landings.Next(0, opening);
  while (true) {
    text.KeepTo(next_candidate(std::min(opening, landing)));
    if (text.AtEnd()) return;
    const std::size_t at = text.read();
    if (at == opening) {
      if (!KeepRegion(text, regions.ClosingAt(input, opening))) return;
      landings.SkipRegion(opening, text.read());
      opening = regions.NextOpening(input, text.read());
      landing = landings.Next(text.read(), opening);
      continue;
    }
    if (at == landing) {
      text.KeepTo(landings.LandedAt(at).close + 1);
      landings.Pop();
      if (opening < text.read()) opening = regions.NextOpening(input, text.read());
      landing = landings.Next(text.read(), opening);
      continue;
    }
    if (!handle()) text.KeepTo(at + 1);
  }
}

}  // namespace velmar

#endif  // VELMAR_ENGINE_WALKINGSCAN_H_
