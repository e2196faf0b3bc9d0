// Block boundaries and tag ends; see TagBoundaries.h.

#include "TagBoundaries.h"

#include <algorithm>
#include <array>

#include "ByteClasses.h"
#include "TagScanner.h"

namespace velmar {
namespace {

// Elements whose edges a browser draws no gap at.
constexpr std::array<std::string_view, 61> kBlockNames = {
    "address", "article",  "aside",      "blockquote", "body",   "br",      "caption",   "center",
    "col",     "colgroup", "dd",         "details",    "dialog", "dir",     "div",       "dl",
    "dt",      "fieldset", "figcaption", "figure",     "footer", "form",    "frame",     "frameset",
    "h1",      "h2",       "h3",         "h4",         "h5",     "h6",      "head",      "header",
    "hgroup",  "hr",       "html",       "legend",     "li",     "listing", "main",      "menu",
    "nav",     "noframes", "ol",         "optgroup",   "option", "p",       "plaintext", "pre",
    "search",  "section",  "summary",    "table",      "tbody",  "td",      "tfoot",     "th",
    "thead",   "title",    "tr",         "ul",         "xmp"};
static_assert(std::is_sorted(kBlockNames.begin(), kBlockNames.end()));

constexpr std::size_t kLongestBlockName = 10;  // "blockquote", "figcaption"

// The same names in an open-addressing table: the line-break and blank
// calls look a name up at every tag they may delete a byte next to.
constexpr std::size_t kSlots = 256;

constexpr std::size_t SlotOf(std::string_view name) {
  const auto byte = [](char c) { return static_cast<std::size_t>(static_cast<unsigned char>(c)); };
  return (name.size() * 131 + byte(name.front()) * 31 + byte(name.back()) * 7 +
          byte(name[name.size() / 2])) %
         kSlots;
}

constexpr std::array<std::string_view, kSlots> kBlockSlots = [] {
  std::array<std::string_view, kSlots> slots{};
  for (std::string_view name : kBlockNames) {
    std::size_t slot = SlotOf(name);
    while (!slots[slot].empty()) slot = (slot + 1) % kSlots;
    slots[slot] = name;
  }
  return slots;
}();

// Whether `name` (lower case, not empty) is in kBlockNames.
constexpr bool IsBlockName(std::string_view name) {
  for (std::size_t slot = SlotOf(name);; slot = (slot + 1) % kSlots) {
    const std::string_view candidate = kBlockSlots[slot];
    if (candidate.empty()) return false;
    if (candidate.size() == name.size() &&
        std::equal(candidate.begin(), candidate.end(), name.begin())) {
      return true;
    }
  }
}

// Where a ">" or "<" nearest before the end of `text` lies, or npos.
std::size_t LastAngle(std::string_view text) {
  for (std::size_t k = text.size(); k-- > 0;) {
    if (text[k] == '<' || text[k] == '>') return k;
  }
  return std::string_view::npos;
}

static_assert(std::all_of(kBlockNames.begin(), kBlockNames.end(), IsBlockName));

}  // namespace

bool IsBlockElementName(std::string_view name) { return !name.empty() && IsBlockName(name); }

bool IsBlockTagAt(std::string_view text, std::size_t at) {
  if (at + 1 < text.size() && text[at + 1] == '!') return MatchesAt(text, at, "<!doctype");
  std::size_t pos = at + 1;
  if (pos < text.size() && text[pos] == '/') ++pos;
  char name[kLongestBlockName];
  std::size_t length = 0;
  for (; pos < text.size() && !EndsTagName(text[pos]); ++pos) {
    if (length == kLongestBlockName) return false;
    name[length++] = static_cast<char>(Lowered(text[pos]));
  }
  if (pos >= text.size() || length == 0) return false;
  return IsBlockName(std::string_view(name, length));
}

bool EndsWithBlockTag(std::string_view before) {
  if (before.empty() || before.back() != '>') return false;
  const std::size_t open = LastAngle(before.substr(0, before.size() - 1));
  return open != std::string_view::npos && before[open] == '<' && IsBlockTagAt(before, open);
}

bool ClosesTag(std::string_view before) {
  const std::size_t open = LastAngle(before);
  if (open == std::string_view::npos || before[open] != '<' || open + 1 >= before.size()) {
    return false;
  }
  const char next = before[open + 1];
  return IsAsciiLetter(next) || next == '/' || next == '!' || next == '?';
}

}  // namespace velmar
