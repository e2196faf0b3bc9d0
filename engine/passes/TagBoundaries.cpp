// Block boundaries and tag ends; see TagBoundaries.h.

#include "TagBoundaries.h"

#include <algorithm>
#include <array>

#include "ByteClasses.h"
#include "TagScanner.h"

namespace velmar {
namespace {

// Elements whose edges a browser draws no gap at, sorted for binary search.
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

// Where a ">" or "<" nearest before the end of `text` lies, or npos.
std::size_t LastAngle(std::string_view text) {
  for (std::size_t k = text.size(); k-- > 0;) {
    if (text[k] == '<' || text[k] == '>') return k;
  }
  return std::string_view::npos;
}

}  // namespace

bool IsBlockElementName(std::string_view name) {
  return std::binary_search(kBlockNames.begin(), kBlockNames.end(), name);
}

bool IsBlockTagAt(std::string_view text, std::size_t at) {
  if (MatchesAt(text, at, "<!doctype")) return true;
  std::size_t pos = at + 1;
  if (pos < text.size() && text[pos] == '/') ++pos;
  char name[kLongestBlockName];
  std::size_t length = 0;
  for (; pos < text.size() && !EndsTagName(text[pos]); ++pos) {
    if (length == kLongestBlockName) return false;
    name[length++] = static_cast<char>(Lowered(text[pos]));
  }
  if (pos >= text.size() || length == 0) return false;
  return std::binary_search(kBlockNames.begin(), kBlockNames.end(), std::string_view(name, length));
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
