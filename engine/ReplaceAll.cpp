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
//  4. Replacement is shorter than Search, so input is consumed faster than
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

// True when the call can change nothing: every change happens at an
// occurrence of Search or at a webbot tag. Only exact for searches without
// letters, where a plain byte search finds every occurrence.
bool NothingToChange(std::string_view text, std::string_view search, bool removes_webbots) {
  if (HasLetter(search)) return false;
  if (text.find(search) != std::string_view::npos) return false;
  return !(removes_webbots && ContainsWebbotTag(text));
}

}  // namespace

void ReplaceAll(WorkingState& state, std::string_view Search, std::string_view Replacement,
                bool InBlocks, bool SkipScripts) {
  assert(!Search.empty() && Search.size() <= 255 && Replacement.size() < Search.size());
  const bool cr_call = Search[0] == '\r';
  const bool removes_webbots = cr_call && state.component.Webbots();
  if (state.length <= 0 || NothingToChange(state.Text(), Search, removes_webbots)) return;

  const bool watch_tags = !InBlocks || SkipScripts || cr_call;
  const char first = Search[0];
  const char first_upper = IsAsciiLetter(first) ? static_cast<char>(first - 'a' + 'A') : first;
  const ByteSet stops = watch_tags ? ByteSet::Of(first, first_upper, '<')
                                   : ByteSet::Of(first, first_upper);

  InPlaceText text(state);
  const std::string_view input = text.Input();
  while (true) {
    text.CopyTo(FindFirstOf(text.data(), text.read(), text.end(), stops));
    if (text.AtEnd()) break;
    const std::size_t at = text.read();

    if (input[at] == '<') {
      std::string_view closing;
      if (!InBlocks && MatchesAt(input, at, "<textarea")) {
        closing = "</textarea>";
      } else if (!InBlocks && MatchesAt(input, at, "<pre")) {
        closing = "</pre>";
      } else if (SkipScripts && MatchesAt(input, at, "<script")) {
        closing = "</script>";
      }
      if (!closing.empty()) {
        std::size_t index = at;
        if (!SkipPastClosingTag(input, index, closing)) break;
        text.CopyTo(index + 1);
        continue;
      }
    }

    if (MatchesAt(input, at, Search)) {
      if (!Replacement.empty()) {
        text.Drop(Search.size());
        text.Unread(Replacement);
        continue;
      }
      const std::size_t after = at + Search.size();
      if (IsDeletionNeighbourBefore(text.Previous(' ')) ||
          IsDeletionNeighbourAfter(after < text.end() ? input[after] : ' ')) {
        text.Drop(Search.size());
        continue;
      }
    }

    if (cr_call && input[at] == '<') {
      if (removes_webbots && MatchesAt(input, at, kWebbotTag)) {
        const std::size_t tag_end = FindFirstOf(text.data(), at + kWebbotTag.size(), text.end(),
                                                ByteSet::Of('>'));
        if (tag_end < text.end()) {
          text.Drop(tag_end + 1 - at);
          continue;
        }
      }
      const std::size_t tag_end = FindFirstOf(text.data(), at, text.end(), ByteSet::Of('>'));
      if (tag_end >= text.end()) break;
      text.CopyTo(tag_end + 1);
      continue;
    }

    text.CopyTo(at + 1);
  }
  text.Finish(state);
}

}  // namespace velmar
