// ReplaceAll: one search text replaced everywhere, in one forward scan.
//
// Conventions (see InPlaceText.h for the cursors):
//  1. A turn begins at each scan position. In order: the opening quote of a
//     quoted attribute value of the current tag is copied through its
//     closing quote; a protected region opening there (textarea and pre
//     unless InBlocks, script if SkipScripts) is copied through the second
//     byte of its closing text and the next turn begins at the byte after
//     that; else an occurrence of Search is replaced, or deleted under the
//     deletion rule; else, in a call whose Search begins with CR, a "<" is
//     passed over to its first ">" (or a webbot comment tag is dropped);
//     else the byte stays.
//  2. The current tag is the last one read at a tag start that the scan met
//     outside the tag before it (TagScanner.h). A CR call's pass over a tag
//     that ends inside one of its values goes on after that value's closing
//     quote. A value the scan does not land on at its opening quote (after
//     a region or a removed webbot tag) is walked through like any text.
//  3. After a replacement the replacement's bytes are put back in front of
//     the input, so the next turn sees them together with what follows: a
//     run of blanks collapses in one call. After a deletion or a webbot
//     removal the next turn begins where the removed bytes began.
//  4. Deletion rule: an occurrence with an empty replacement goes when the
//     byte before it is a blank, or the byte after it is a blank, CR or LF,
//     or it touches an end of the text; next to a tag ("<" after it, ">"
//     before it) only when that tag is a block boundary (TagBoundaries.h).
//     The byte before is the last output byte, which no later turn changes.
//  5. Replacement is shorter than Search, so input is consumed faster than
//     output grows and every turn makes progress.
//  6. The tag scanner reads input ahead of the scan only: before any change
//     at the scan position it has read past that position, or its tag is
//     over, so no byte it reads has been moved.

#include <algorithm>
#include <cassert>
#include <cstring>

#include "ByteClasses.h"
#include "ByteScan.h"
#include "HTMLCompressor.h"
#include "InPlaceText.h"
#include "Passes.h"
#include "TagBoundaries.h"
#include "TagScanner.h"

namespace velmar {
namespace {

constexpr std::string_view kWebbotTag = "<!--webbot";
constexpr std::size_t kNone = std::string_view::npos;

bool HasLetter(std::string_view text) {
  for (char c : text) {
    if (IsAsciiLetter(c)) return true;
  }
  return false;
}

bool ContainsWebbotTag(std::string_view text) {
  for (std::size_t pos = 0;; pos += 4) {
    pos = text.find("<!--", pos);
    if (pos == std::string_view::npos) return false;
    if (MatchesAt(text, pos, kWebbotTag)) return true;
  }
}

// Whether `needle` (without letters) occurs in `text`, byte for byte.
bool Occurs(std::string_view text, std::string_view needle) {
  if (needle.size() == 1) return std::memchr(text.data(), needle[0], text.size()) != nullptr;
  for (std::size_t pos = 0;; ++pos) {
    pos = FindPair(text.data(), pos, text.size(), needle[0], needle[1]);
    if (pos == text.size()) return false;
    if (text.substr(pos, needle.size()) == needle) return true;
  }
}

// True when the call can change nothing: every change happens at an
// occurrence of Search or at a webbot tag. Only exact for searches without
// letters, where a plain byte search finds every occurrence.
bool NothingToChange(std::string_view text, std::string_view search, bool removes_webbots) {
  if (HasLetter(search) || Occurs(text, search)) return false;
  return !(removes_webbots && ContainsWebbotTag(text));
}

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
    if (!blocks && !scripts) return text.size();
    const ByteSet names = blocks && scripts ? ByteSet::Of('t', 'p', 's')
                          : blocks          ? ByteSet::Of('t', 'p')
                                            : ByteSet::Of('s');
    for (std::size_t pos = from;; ++pos) {
      pos = FindFoldedPair(text.data(), pos, text.size(), '<', names);
      if (pos == text.size() || !ClosingAt(text, pos).empty()) return pos;
    }
  }
};

// Scans from a region's opening "<" through the second byte of its closing
// text, which the next turn follows. False when the region never closes.
bool KeepRegion(InPlaceText& text, std::string_view closing) {
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

// What one call replaces, and by what.
struct Substitution {
  std::string_view search;
  std::string_view replacement;
  Match where;
};

// Whether the byte after a tag name, at `pos`, ends it.
bool EndsTagNameAt(std::string_view text, std::size_t pos) {
  return pos < text.size() && EndsTagName(text[pos]);
}

// The deletion rule, for an occurrence at the scan position whose last
// byte is followed by `after`.
bool Deletes(InPlaceText& text, std::size_t after) {
  const std::string_view input = text.Input();
  const char before = text.Previous(' ');
  const char next = after < text.end() ? input[after] : ' ';
  if (before == ' ' || next == ' ' || next == '\r' || next == '\n') return true;
  if (before == '>' && EndsWithBlockTag(text.Before())) return true;
  return next == '<' && IsBlockTagAt(input, after);
}

// Replaces or deletes an occurrence of Search at the scan position; false
// when there is none or it stays.
bool ReplaceOccurrence(InPlaceText& text, const Substitution& substitution) {
  const std::string_view input = text.Input();
  const std::size_t at = text.read();
  const std::string_view search = substitution.search;
  const std::string_view replacement = substitution.replacement;
  if (!MatchesAt(input, at, search)) return false;
  const std::size_t after = at + search.size();
  if (substitution.where == Match::kWholeTagName && !EndsTagNameAt(input, after)) return false;
  if (substitution.where == Match::kBeforeTagEnd && !ClosesTag(text.Before())) return false;
  if (!replacement.empty()) {
    text.Drop(search.size());
    text.Unread(replacement);
    return true;
  }
  if (!Deletes(text, after)) return false;
  text.Drop(search.size());
  return true;
}

// Whether the first ">" after the tag start at `at`, at `first_end`, may lie
// inside one of the tag's quoted values. Such a value opens at the last
// quote of its kind before the ">", and must pass MayOpenValue there.
bool MayEndInsideValue(std::string_view text, std::size_t at, std::size_t first_end) {
  bool seen_double = false;
  bool seen_single = false;
  for (std::size_t pos = first_end; pos-- > at + 1 && !(seen_double && seen_single);) {
    const char c = text[pos];
    bool& seen = c == '"' ? seen_double : seen_single;
    if ((c == '"' || c == '\'') && !seen) {
      if (MayOpenValue(text, pos)) return true;
      seen = true;
    }
  }
  return false;
}

// A call whose Search begins with CR stops at every "<": a tag is passed
// over to its ">", a webbot comment tag is dropped.
void ScanPassingOverTags(InPlaceText& text, const Substitution& substitution,
                         const Regions& regions, bool removes_webbots) {
  const std::string_view input = text.Input();
  const std::string_view search = substitution.search;
  TagValues values(input);
  while (true) {
    const std::size_t landing = values.Landing(text.read());
    const std::size_t limit = std::min(landing, text.end());
    text.KeepTo(search.size() >= 2
                    ? FindPairOrByte(text.data(), text.read(), limit, search[0], search[1], '<')
                    : FindFirstOf(text.data(), text.read(), limit, ByteSet::Of(search[0], '<')));
    if (text.AtEnd()) return;
    const std::size_t at = text.read();
    if (at == landing) {
      text.KeepTo(values.LandedAt(at).close + 1);
      values.Pop();
      continue;
    }
    if (input[at] == '<') {
      if (const std::string_view closing = regions.ClosingAt(input, at); !closing.empty()) {
        if (!KeepRegion(text, closing)) return;
        continue;
      }
      if (IsTagStart(input, at) && !values.InTag(at)) {
        // Most tags hold no quote before their first ">".
        std::size_t first_end =
            FindFirstOf(text.data(), at + 1, text.end(), ByteSet::Of('>', '"', '\''));
        if (first_end < text.end() && input[first_end] != '>') {
          first_end = FindFirstOf(text.data(), first_end, text.end(), ByteSet::Of('>'));
        }
        if (first_end >= text.end()) return;
        if (!MayEndInsideValue(input, at, first_end)) {
          // The tag ends at its first ">", and the pass jumps over its values.
          values.StartWithoutValues(first_end + 1);
          text.KeepTo(first_end + 1);
          continue;
        }
        values.Start(at);
      }
      if (removes_webbots && MatchesAt(input, at, kWebbotTag)) {
        const std::size_t tag_end =
            FindFirstOf(text.data(), at + kWebbotTag.size(), text.end(), ByteSet::Of('>'));
        if (tag_end < text.end()) {
          text.Drop(tag_end + 1 - at);
          continue;
        }
      }
      const std::size_t tag_end = FindFirstOf(text.data(), at, text.end(), ByteSet::Of('>'));
      if (tag_end >= text.end()) return;
      if (const QuotedValue* value = values.Containing(tag_end)) {
        text.KeepTo(value->close + 1);
        values.Pop();
      } else {
        text.KeepTo(tag_end + 1);
      }
      continue;
    }
    if (!ReplaceOccurrence(text, substitution)) text.KeepTo(at + 1);
  }
}

// The first tag start in [from, limit), or `limit`.
std::size_t NextTagStart(std::string_view text, std::size_t from, std::size_t limit) {
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
      : input_(input), values_(input), triggers_(ByteSet::Of(first_of_search, '<', '>')) {}

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
      const std::size_t close =
          FindFirstOf(input_.data(), quote + 1, end, ByteSet::Of(input_[quote]));
      if (close == end || FindFirstOf(input_.data(), quote + 1, close, triggers_) < close) {
        return quote;
      }
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
  ByteSet triggers_;
  std::size_t outside_ = 0;  // no tag is open here
  std::size_t search_ = 0;   // quotes before this have been looked at
};

// Any other call stops only where Search can begin, where a region opens
// and where a quoted value begins. No edit of such a call can make a region
// opening appear or vanish (replacements and the bytes next to a deletion
// hold no "<" followed by a letter, and nothing after the scan position
// changes), so the next opening is looked for once and kept until the scan
// reaches it or a value covers it.
void ScanWalkingThroughTags(InPlaceText& text, const Substitution& substitution,
                            const Regions& regions) {
  const std::string_view input = text.Input();
  const std::string_view search = substitution.search;
  const char first = search[0];
  const char second = search.size() >= 2 ? search[1] : first;
  // The narrowest filter for where an occurrence can begin: its first two
  // bytes where both are known, else its first byte in either case.
  auto next_start = [&](std::size_t limit) {
    if (search.size() >= 2 && !IsAsciiLetter(first)) {
      return IsAsciiLetter(second)
                 ? FindFoldedPair(text.data(), text.read(), limit, first, ByteSet::Of(second))
                 : FindPair(text.data(), text.read(), limit, first, second);
    }
    return FindFirstOf(text.data(), text.read(), limit,
                       IsAsciiLetter(first) ? ByteSet::Of(first, static_cast<char>(first - 32))
                                            : ByteSet::Of(first));
  };
  Landings landings(input, first);
  std::size_t opening = regions.NextOpening(input, 0);
  std::size_t landing = landings.Next(0, opening);
  while (true) {
    text.KeepTo(next_start(std::min(opening, landing)));
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
    if (!ReplaceOccurrence(text, substitution)) text.KeepTo(at + 1);
  }
}

}  // namespace

void ReplaceAll(WorkingState& state, std::string_view Search, std::string_view Replacement,
                bool InBlocks, bool SkipScripts, Match Where) {
  assert(!Search.empty() && Search.size() <= 255 && Replacement.size() < Search.size());
  const bool cr_call = Search[0] == '\r';
  const bool removes_webbots = cr_call && state.component.Webbots();
  if (state.length <= 0 || NothingToChange(state.Text(), Search, removes_webbots)) return;

  InPlaceText text(state);
  const Substitution substitution{Search, Replacement, Where};
  const Regions regions{!InBlocks, SkipScripts};
  if (cr_call) {
    ScanPassingOverTags(text, substitution, regions, removes_webbots);
  } else {
    ScanWalkingThroughTags(text, substitution, regions);
  }
  text.Finish(state);
}

}  // namespace velmar
