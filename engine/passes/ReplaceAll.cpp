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
#include <cstdint>
#include <cstring>

#include "ByteClasses.h"
#include "ByteScan.h"
#include "Groups.h"
#include "HTMLCompressor.h"
#include "InPlaceText.h"
#include "Passes.h"
#include "TagBoundaries.h"
#include "TagScanner.h"
#include "WalkingScan.h"

namespace velmar {
namespace {

constexpr std::string_view kWebbotTag = "<!--webbot";

bool HasLetter(std::string_view text) {
  for (char c : text) {
    if (IsAsciiLetter(c)) return true;
  }
  return false;
}

bool ContainsWebbotTag(std::string_view text) {
  for (std::size_t pos = 0;; pos += 2) {
    pos = FindPair(text.data(), pos, text.size(), '<', '!');
    if (pos == text.size()) return false;
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

// Where a CR call walking at `from`, with no tag open, next has something
// to do: a walked CR, a walked "<" that may open a region ("<pr", "<te",
// "<sc") or, with `webbots`, a webbot tag ("<!"), or a walked "<" whose pass to its first ">"
// holds a quote. Before it lies only text and tags the call passes over
// unchanged, found 64 bytes at a time: adding the "<" bits to the inverted
// ">" bits carries from each walked "<" up to the next ">", which marks the
// bytes a pass skips. Returns `from` where SSE2 is missing; the scan then
// finds its way byte by byte.
std::size_t NextCrCallEvent(const char* data, std::size_t from, std::size_t end, bool webbots) {
#ifdef VELMAR_HAVE_SSE2
  const __m128i lt = _mm_set1_epi8('<');
  const __m128i gt = _mm_set1_epi8('>');
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i dq = _mm_set1_epi8('"');
  const __m128i sq = _mm_set1_epi8('\'');
  const __m128i bit = _mm_set1_epi8(0x20);
  // "<pr", "<te", "<sc" may open a region; "<!" a webbot tag.
  const __m128i p = _mm_set1_epi8('p');
  const __m128i r = _mm_set1_epi8('r');
  const __m128i t = _mm_set1_epi8('t');
  const __m128i e = _mm_set1_epi8('e');
  const __m128i s = _mm_set1_epi8('s');
  const __m128i c = _mm_set1_epi8('c');
  const __m128i bang = webbots ? _mm_set1_epi8('!') : _mm_set1_epi8('<');
  std::uint64_t carry = 0;     // the pass goes on from the block before
  std::size_t span_start = 0;  // the walked "<" of that pass
  std::size_t pos = from;
  for (; pos + 66 <= end; pos += 64) {
    std::uint64_t lts = 0, gts = 0, crs = 0, quotes = 0, special = 0;
    for (int k = 0; k < 4; ++k) {
      const char* at = data + pos + 16 * k;
      const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
      const __m128i first = _mm_or_si128(next, bit);
      const __m128i second =
          _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 2)), bit);
      const __m128i is_lt = _mm_cmpeq_epi8(here, lt);
      const __m128i may_open = _mm_or_si128(
          _mm_or_si128(_mm_and_si128(_mm_cmpeq_epi8(first, p), _mm_cmpeq_epi8(second, r)),
                       _mm_and_si128(_mm_cmpeq_epi8(first, t), _mm_cmpeq_epi8(second, e))),
          _mm_or_si128(_mm_and_si128(_mm_cmpeq_epi8(first, s), _mm_cmpeq_epi8(second, c)),
                       _mm_cmpeq_epi8(next, bang)));
      const int shift = 16 * k;
      lts |= static_cast<std::uint64_t>(_mm_movemask_epi8(is_lt)) << shift;
      gts |= static_cast<std::uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(here, gt))) << shift;
      crs |= static_cast<std::uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(here, cr))) << shift;
      quotes |= static_cast<std::uint64_t>(_mm_movemask_epi8(
                    _mm_or_si128(_mm_cmpeq_epi8(here, dq), _mm_cmpeq_epi8(here, sq))))
                << shift;
      special |= static_cast<std::uint64_t>(_mm_movemask_epi8(_mm_and_si128(is_lt, may_open)))
                 << shift;
    }
    // Bit i of `passed`: a carry came into i, so the pass of a walked "<"
    // covers byte i (its ">" included, its "<" not).
    const std::uint64_t open = ~gts;
    std::uint64_t sum = 0;
    std::uint64_t carried = __builtin_add_overflow(open, lts, &sum);
    carried |= __builtin_add_overflow(sum, carry, &sum);
    const std::uint64_t passed = sum ^ open ^ lts;
    const std::uint64_t walked_lts = lts & ~passed;
    std::size_t event = end;
    if (const std::uint64_t walked = (crs | special) & ~passed; walked != 0) {
      event = pos + static_cast<std::size_t>(__builtin_ctzll(walked));
    }
    if (const std::uint64_t held = quotes & passed; held != 0) {
      const int quote = __builtin_ctzll(held);
      const std::uint64_t below = walked_lts & ((std::uint64_t{1} << quote) - 1);
      const std::size_t start =
          below != 0 ? pos + 63 - static_cast<std::size_t>(__builtin_clzll(below)) : span_start;
      event = std::min(event, start);
    }
    if (event != end) return event;
    if (walked_lts != 0)
      span_start = pos + 63 - static_cast<std::size_t>(__builtin_clzll(walked_lts));
    carry = carried;
  }
  return carry != 0 ? span_start : pos;
#else
  (void)data, (void)end, (void)webbots;
  return from;
#endif
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
    if (landing == kNone && !values.InTag(text.read())) {
      text.KeepTo(NextCrCallEvent(text.data(), text.read(), text.end(), removes_webbots));
    }
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

// Any other call stops only where Search can begin, where a region opens
// and where a quoted value begins (WalkingScan.h).
void ScanWalkingThroughTags(InPlaceText& text, const Substitution& substitution,
                            const Regions& regions) {
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
  WalkThroughTags(text, regions, first, next_start,
                  [&] { return ReplaceOccurrence(text, substitution); });
}

}  // namespace

bool CrCallsMayChange(const WorkingState& state) {
  // Every CR call's search holds a CR: where a lone "\r" could change
  // nothing, none of them can.
  return !NothingToChange(state.Text(), "\r", state.component.Webbots());
}

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
