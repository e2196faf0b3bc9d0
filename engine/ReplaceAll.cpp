// ReplaceAll: one search text replaced everywhere, in one forward scan.
//
// Conventions (see InPlaceText.h for the cursors):
//  1. A turn begins at each scan position. In order: a protected region
//     opening there (textarea and pre unless InBlocks, script if
//     SkipScripts) is copied through the second byte of its closing text and
//     the next turn begins at the byte after that; else an occurrence of
//     Search is replaced, or deleted under the deletion rule; else, in a call
//     whose Search begins with CR, a "<" starts a tag that is passed over to
//     its ">" (or a webbot comment tag that is dropped); else the byte stays.
//  2. After a replacement the replacement's bytes are put back in front of
//     the input, so the next turn sees them together with what follows: a
//     run of blanks collapses in one call. After a deletion or a webbot
//     removal the next turn begins where the removed bytes began.
//  3. Deletion rule: an occurrence with an empty replacement goes when the
//     byte before it is ">" or a blank, or the byte after it is "<", a
//     blank, CR or LF. A missing neighbour at either end of the text counts
//     as a blank. The byte before is the last output byte, which no later
//     turn changes.
//  4. With WholeTagName, an occurrence counts only where whitespace, "/" or
//     ">" follows it, so "<em" shortens <em class=x> but not <embed>.
//  5. Replacement is shorter than Search, so input is consumed faster than
//     output grows and every turn makes progress.

#include <cassert>
#include <cstring>

#include "ByteClasses.h"
#include "ByteScan.h"
#include "HTMLCompressor.h"
#include "InPlaceText.h"
#include "Passes.h"

namespace velmar {
namespace {

constexpr std::string_view kWebbotTag = "<!--webbot";

bool IsDeletionNeighbourBefore(char c) { return c == '>' || c == ' '; }
bool IsDeletionNeighbourAfter(char c) { return c == '<' || c == ' ' || c == '\r' || c == '\n'; }

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

}  // namespace

namespace {

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

// What one call replaces, and by what.
struct Substitution {
  std::string_view search;
  std::string_view replacement;
  bool whole_name;  // search is a tag name: the byte after it must end the name
};

// Whether the byte after a tag name, at `pos`, ends it.
bool EndsTagNameAt(std::string_view text, std::size_t pos) {
  return pos < text.size() && (IsHtmlWhitespace(text[pos]) || text[pos] == '/' || text[pos] == '>');
}

// Turn steps shared by both scans: replaces or deletes an occurrence of
// Search at the scan position; false when the occurrence stays.
bool ReplaceOccurrence(InPlaceText& text, const Substitution& substitution) {
  const std::string_view input = text.Input();
  const std::size_t at = text.read();
  const std::string_view search = substitution.search;
  const std::string_view replacement = substitution.replacement;
  if (!MatchesAt(input, at, search)) return false;
  if (substitution.whole_name && !EndsTagNameAt(input, at + search.size())) return false;
  if (!replacement.empty()) {
    text.Drop(search.size());
    text.Unread(replacement);
    return true;
  }
  const std::size_t after = at + search.size();
  if (IsDeletionNeighbourBefore(text.Previous(' ')) ||
      IsDeletionNeighbourAfter(after < text.end() ? input[after] : ' ')) {
    text.Drop(search.size());
    return true;
  }
  return false;
}

// A call whose Search begins with CR stops at every "<": a tag is passed
// over to its ">", a webbot comment tag is dropped.
void ScanPassingOverTags(InPlaceText& text, const Substitution& substitution,
                         const Regions& regions, bool removes_webbots) {
  const std::string_view input = text.Input();
  const std::string_view search = substitution.search;
  while (true) {
    text.KeepTo(
        search.size() >= 2
            ? FindPairOrByte(text.data(), text.read(), text.end(), search[0], search[1], '<')
            : FindFirstOf(text.data(), text.read(), text.end(), ByteSet::Of(search[0], '<')));
    if (text.AtEnd()) return;
    const std::size_t at = text.read();
    if (input[at] == '<') {
      if (const std::string_view closing = regions.ClosingAt(input, at); !closing.empty()) {
        if (!KeepRegion(text, closing)) return;
        continue;
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
      text.KeepTo(tag_end + 1);
      continue;
    }
    if (!ReplaceOccurrence(text, substitution)) text.KeepTo(at + 1);
  }
}

// Any other call stops only where Search can begin and where a region
// opens. No edit of such a call can make a region opening appear or vanish
// (replacements and the bytes next to a deletion hold no "<" followed by a
// letter, and nothing after the scan position changes), so the next opening
// is looked for once and kept until the scan reaches it.
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
  std::size_t opening = regions.NextOpening(input, 0);
  while (true) {
    text.KeepTo(next_start(opening));
    if (text.AtEnd()) return;
    if (text.read() == opening) {
      if (!KeepRegion(text, regions.ClosingAt(input, opening))) return;
      opening = regions.NextOpening(input, text.read());
      continue;
    }
    if (!ReplaceOccurrence(text, substitution)) text.KeepTo(text.read() + 1);
  }
}

}  // namespace

void ReplaceAll(WorkingState& state, std::string_view Search, std::string_view Replacement,
                bool InBlocks, bool SkipScripts, bool WholeTagName) {
  assert(!Search.empty() && Search.size() <= 255 && Replacement.size() < Search.size());
  const bool cr_call = Search[0] == '\r';
  const bool removes_webbots = cr_call && state.component.Webbots();
  if (state.length <= 0 || NothingToChange(state.Text(), Search, removes_webbots)) return;

  InPlaceText text(state);
  const Substitution substitution{Search, Replacement, WholeTagName};
  const Regions regions{!InBlocks, SkipScripts};
  if (cr_call) {
    ScanPassingOverTags(text, substitution, regions, removes_webbots);
  } else {
    ScanWalkingThroughTags(text, substitution, regions);
  }
  text.Finish(state);
}

}  // namespace velmar
