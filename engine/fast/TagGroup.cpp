// ShortenTagGroup: the six short-tag calls in one scan.
//
// Why one scan gives what the six calls give:
//  1. The calls share their protected regions (script) and the byte that
//     makes a quoted value matter to them ("<"), and a shortened name
//     changes neither: a tag's values do not depend on its name, and no
//     name here spells "<script" or "</script>".
//  2. No call's replacement makes or breaks another's occurrence: <b, <i
//     and <s are followed by what followed the long name, and no end tag
//     search begins inside a start tag. So at each "<" the one pattern that
//     matches there, if any, is what the calls would replace.

#include <array>

#include "Groups.h"
#include "WalkingScan.h"

namespace velmar {
namespace {

struct Shortening {
  std::string_view long_form;
  std::string_view short_form;
  bool whole_name;  // a start tag: the name must end after long_form
};

constexpr std::array<Shortening, 6> kShortenings = {{
    {"<strong", "<b", true},
    {"</strong>", "</b>", false},
    {"<em", "<i", true},
    {"</em>", "</i>", false},
    {"<strike", "<s", true},
    {"</strike>", "</s>", false},
}};

}  // namespace

void ShortenTagGroup(WorkingState& state) {
  if (state.length <= 0) return;
  InPlaceText text(state);
  const std::string_view input = text.Input();
  const Regions regions{false, true};
  auto next_tag = [&](std::size_t limit) {
    return FindFoldedPair(text.data(), text.read(), limit, '<', ByteSet::Of('s', 'e', '/'));
  };
  WalkThroughTags(text, regions, '<', next_tag, [&] {
    const std::size_t at = text.read();
    // Every long name begins with "s" or "e"; most stops are other end tags.
    const std::size_t name = at + (at + 1 < text.end() && input[at + 1] == '/' ? 2 : 1);
    if (name >= text.end()) return false;
    const unsigned char first = Lowered(input[name]);
    if (first != 's' && first != 'e') return false;
    for (const Shortening& s : kShortenings) {
      if (!MatchesAt(input, at, s.long_form)) continue;
      const std::size_t after = at + s.long_form.size();
      if (s.whole_name && (after >= text.end() || !EndsTagName(input[after]))) continue;
      text.Drop(s.long_form.size());
      text.Emit(s.short_form);
      return true;
    }
    return false;
  });
  text.Finish(state);
}

}  // namespace velmar
