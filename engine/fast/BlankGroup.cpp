// CollapseBlankGroup: the five blank calls in one scan.
//
// Why one scan gives what the five calls give:
//  1. The calls share their protected regions (pre, textarea, script) and
//     the bytes that make a quoted value matter to them (a blank, "<", ">"),
//     and collapsing blanks changes neither: a tag tokenizes the same with
//     one blank as with many, and no region's opening or closing text holds
//     a blank. So every call copies the same values and regions whole.
//  2. Outside them, the first four calls leave every run of blanks as one
//     blank: four by one leaves 1 to 3, three by one leaves 1 or 2, two by
//     one leaves 1. The fifth then drops that blank where a ">" follows and
//     ends a tag, judged by the nearest "<" or ">" before it, which blanks
//     never are.
//  3. So each run goes whole before a ">" that ends a tag and becomes one
//     blank elsewhere. A run never crosses a value's quote or a region's
//     "<", so the scan stops where a run begins: two blanks, or a blank and
//     a ">".

#include "Groups.h"
#include "TagBoundaries.h"
#include "WalkingScan.h"

namespace velmar {

void CollapseBlankGroup(WorkingState& state) {
  if (state.length <= 0) return;
  InPlaceText text(state);
  const std::string_view input = text.Input();
  const Regions regions{true, true};
  auto next_run = [&](std::size_t limit) {
    return FindPairOf(text.data(), text.read(), limit, ' ', ByteSet::Of(' ', '>'));
  };
  WalkThroughTags(text, regions, ' ', next_run, [&] {
    const std::size_t at = text.read();
    std::size_t end = at + 1;
    while (end < text.end() && input[end] == ' ') ++end;
    if (end < text.end() && input[end] == '>' && ClosesTag(text.Before())) {
      text.Drop(end - at);
      return true;
    }
    if (end == at + 1) return false;
    text.KeepTo(at + 1);
    text.Drop(end - at - 1);
    return true;
  });
  text.Finish(state);
}

}  // namespace velmar
