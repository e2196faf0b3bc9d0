// SkipPastClosingTag: the end of a protected region (textarea, pre, script).
//
// Regions of one kind do not nest: the first closing text ends the region,
// whatever opened in between. The closing text matches in any letter case.

#include <cassert>
#include <cstring>

#include "ByteClasses.h"
#include "Passes.h"

namespace velmar {

bool SkipPastClosingTag(std::string_view text, std::size_t& Index, std::string_view ClosingText) {
  assert(!ClosingText.empty() && !IsAsciiLetter(ClosingText[0]));
  for (std::size_t pos = Index; pos < text.size(); ++pos) {
    const void* hit = std::memchr(text.data() + pos, ClosingText[0], text.size() - pos);
    if (hit == nullptr) break;
    pos = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
    if (MatchesAt(text, pos, ClosingText)) {
      Index = pos + 1;
      return true;
    }
  }
  Index = text.size();
  return false;
}

}  // namespace velmar
