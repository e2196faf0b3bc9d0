// ConvertCenteredParagraphs: <p align=center>x</p> becomes <center>x</center>.
//
// Conventions (see InPlaceText.h for the cursors):
//  1. Tags pair by position alone: after an open conversion the next CloseTag
//     is its partner, whatever lies between. While seeking the close tag no
//     open tag is looked for, and a CloseTag met while seeking the open tag
//     stays.
//  2. The open conversion consumes more than it writes; the close
//     conversion writes more than it consumes, and only ever follows an open
//     conversion of the same scan. The gap between output and input is then
//     at least OpenTag minus OpenReplacement, enough for CloseReplacement
//     minus CloseTag, so output never overruns unread input.
//  3. A replacement is final output: no tag can begin inside it, since the
//     only byte that can start a tag is its first.

#include <cassert>

#include "ByteClasses.h"
#include "ByteScan.h"
#include "InPlaceText.h"
#include "Passes.h"

namespace velmar {
namespace {

ByteSet FirstBytes(std::string_view tag) {
  const char first = tag[0];
  return IsAsciiLetter(first) ? ByteSet::Of(first, static_cast<char>(first - 'a' + 'A'))
                              : ByteSet::Of(first);
}

}  // namespace

void ConvertCenteredParagraphs(WorkingState& state, std::string_view OpenTag,
                               std::string_view OpenReplacement, std::string_view CloseTag,
                               std::string_view CloseReplacement) {
  assert(!OpenTag.empty() && !CloseTag.empty());
  assert(OpenReplacement.size() <= OpenTag.size());
  assert(OpenReplacement.size() + CloseReplacement.size() <= OpenTag.size() + CloseTag.size());
  assert(OpenReplacement.find(OpenTag[0], 1) == std::string_view::npos);
  assert(CloseReplacement.find(OpenTag[0], 1) == std::string_view::npos);
  assert(OpenReplacement.find(CloseTag[0], 1) == std::string_view::npos);
  assert(CloseReplacement.find(CloseTag[0], 1) == std::string_view::npos);

  const ByteSet open_stops = FirstBytes(OpenTag);
  const ByteSet close_stops = FirstBytes(CloseTag);
  InPlaceText text(state);
  const std::string_view input = text.Input();
  bool seeking_open = true;
  while (true) {
    const std::string_view tag = seeking_open ? OpenTag : CloseTag;
    text.KeepTo(
        FindFirstOf(text.data(), text.read(), text.end(), seeking_open ? open_stops : close_stops));
    if (text.AtEnd()) break;
    if (MatchesAt(input, text.read(), tag)) {
      text.Drop(tag.size());
      text.Emit(seeking_open ? OpenReplacement : CloseReplacement);
      seeking_open = !seeking_open;
    } else {
      text.KeepTo(text.read() + 1);
    }
  }
  text.Finish(state);
}

}  // namespace velmar
