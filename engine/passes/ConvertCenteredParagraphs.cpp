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

// The next position at or after `from` where `tag` can begin: its first two
// bytes, in any letter case (both tags begin with "<", then a letter or
// "/"), or its first byte alone for a tag of one byte.
std::size_t NextPlace(const char* data, std::size_t from, std::size_t end, std::string_view tag) {
  if (tag.size() == 1) return FindFirstOf(data, from, end, ByteSet::Of(tag[0]));
  if (IsAsciiLetter(tag[0])) {
    return FindFirstOf(data, from, end, ByteSet::Of(tag[0], static_cast<char>(tag[0] - 'a' + 'A')));
  }
  return IsAsciiLetter(tag[1]) ? FindFoldedPair(data, from, end, tag[0], ByteSet::Of(tag[1]))
                               : FindPair(data, from, end, tag[0], tag[1]);
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

  InPlaceText text(state);
  const std::string_view input = text.Input();
  bool seeking_open = true;
  while (true) {
    const std::string_view tag = seeking_open ? OpenTag : CloseTag;
    text.KeepTo(NextPlace(text.data(), text.read(), text.end(), tag));
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
