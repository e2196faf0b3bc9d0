// StripAttributeQuotes: <a href="x.htm"> becomes <a href=x.htm>.
//
// The pass must never change what a browser reads, so it follows the HTML
// tokenizer (HTML Living Standard, 13.2.5) wherever the two could differ:
//  1. A tag starts at "<" followed by an ASCII letter, or "</" followed by
//     one. Its name runs to whitespace, "/" or ">"; then come attributes. A
//     double quote opens a value only where the tokenizer starts one, right
//     after the "=" that follows an attribute name (whitespace allowed around
//     the "="); the value runs to the next double quote, across ">" too. A
//     single quote there opens a single-quoted value. The tag ends at the
//     first ">" outside quoted values. Any other quote is an ordinary byte.
//  2. A double-quoted value loses its quotes only when the unquoted form
//     tokenizes to the same value: it is not empty, holds no whitespace,
//     quote, backquote, "=", "<" or ">", and the byte after its closing
//     quote is whitespace or ">".
//  3. A tag that holds a single quote anywhere is copied whole.
//  4. Comments ("<!--" to "-->"), CDATA sections, "<!...>", "<?...>" and
//     "</" followed by a non-letter are copied whole to where the tokenizer
//     ends them; so are the opening tag and the content of script, style,
//     textarea, title, xmp, iframe, noembed and noframes, up to the "<" of
//     the matching closing text. The scan goes on at the "/" after that "<".
//  5. A region or value that never ends leaves the rest of the text as it
//     is. Quotes dropped before it stay dropped.
//  6. The pass only deletes bytes, so output never catches up with input.

#include <algorithm>
#include <array>
#include <cstring>

#include "ByteClasses.h"
#include "ByteScan.h"
#include "InPlaceText.h"
#include "Passes.h"
#include "TagScanner.h"

namespace velmar {
namespace {

// Elements whose content a browser reads as text, not markup.
constexpr std::array<std::string_view, 8> kTextElements = {
    "script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes"};

// Bytes that a double-quoted value must not hold to lose its quotes.
constexpr std::array<unsigned char, 256> kKeepsQuotes =
    MakeByteTable([](unsigned char c) -> unsigned char {
      return IsHtmlWhitespace(static_cast<char>(c)) || c == '"' || c == '\'' || c == '`' ||
             c == '=' || c == '<' || c == '>';
    });

// Whether the double-quoted value between `value.open` and `value.close`
// tokenizes to the same value without its quotes.
bool IsPlain(std::string_view text, const QuotedValue& value) {
  if (text[value.open] != '"' || value.close == value.open + 1) return false;
  if (value.close + 1 >= text.size()) return false;
  const char after = text[value.close + 1];
  if (!IsHtmlWhitespace(after) && after != '>') return false;
  for (std::size_t k = value.open + 1; k < value.close; ++k) {
    if (kKeepsQuotes[static_cast<unsigned char>(text[k])] != 0) return false;
  }
  return true;
}

bool SameLetter(char a, char b) { return Lowered(a) == Lowered(b); }

bool IsTextElement(std::string_view name) {
  for (std::string_view element : kTextElements) {
    if (name.size() == element.size() && MatchesAt(name, 0, element)) return true;
  }
  return false;
}

// The "<" of the first "</name" followed by whitespace, "/" or ">", at or
// after `from`; or the end of the text.
std::size_t FindClosingTag(std::string_view text, std::size_t from, std::string_view name) {
  for (std::size_t pos = from; pos < text.size(); ++pos) {
    pos = FindFirstOf(text.data(), pos, text.size(), ByteSet::Of('<'));
    if (pos + 2 + name.size() >= text.size()) break;
    if (text[pos + 1] == '/' &&
        std::equal(name.begin(), name.end(), text.begin() + pos + 2, SameLetter) &&
        EndsTagName(text[pos + 2 + name.size()])) {
      return pos;
    }
  }
  return text.size();
}

// One past the end of the markup declaration, comment or processing
// instruction at `at`, or the end of the text.
std::size_t SkipDeclaration(std::string_view text, std::size_t at) {
  const std::size_t end = text.size();
  auto after = [end](std::size_t found, std::size_t length) {
    return found == std::string_view::npos ? end : found + length;
  };
  if (text.compare(at, 4, "<!--") == 0) {
    // "<!-->" and "<!--->" end at once; else "-->" or "--!>" ends it.
    if (text.compare(at + 4, 1, ">") == 0) return at + 5;
    if (text.compare(at + 4, 2, "->") == 0) return at + 6;
    for (std::size_t pos = at + 4;; pos += 2) {
      pos = text.find("--", pos);
      if (pos == std::string_view::npos) return end;
      while (pos + 2 < end && text[pos + 2] == '-') ++pos;
      if (text.compare(pos + 2, 1, ">") == 0) return pos + 3;
      if (text.compare(pos + 2, 2, "!>") == 0) return pos + 4;
    }
  }
  if (text.compare(at, 9, "<![CDATA[") == 0) return after(text.find("]]>", at + 9), 3);
  return after(text.find('>', at + 1), 1);
}

}  // namespace

void StripAttributeQuotes(WorkingState& state) {
  InPlaceText text(state);
  const std::string_view input = text.Input();
  const std::size_t end = text.end();
  while (true) {
    text.KeepTo(FindFirstOf(text.data(), text.read(), end, ByteSet::Of('<')));
    if (text.read() + 1 >= end) break;
    const std::size_t at = text.read();
    const char next = input[at + 1];
    const bool end_tag = next == '/' && at + 2 < end && IsAsciiLetter(input[at + 2]);

    if (IsAsciiLetter(next) || end_tag) {
      TagScanner scanner(input, at);
      const std::size_t tag_end = scanner.SkipToEnd();
      if (!end_tag && IsTextElement(scanner.name())) {
        if (scanner.how() != TagScanner::End::kClosed) break;
        const std::size_t closing = FindClosingTag(input, tag_end, scanner.name());
        if (closing == end) break;
        text.KeepTo(closing + 1);
        continue;
      }
      if (std::memchr(input.data() + at, '\'', tag_end - at) == nullptr) {
        TagScanner values(input, at);
        for (QuotedValue value; values.Next(value);) {
          if (!IsPlain(input, value)) continue;
          text.KeepTo(value.open);
          text.Drop(1);
          text.KeepTo(value.close);
          text.Drop(1);
        }
      }
      text.KeepTo(tag_end);
      if (scanner.how() == TagScanner::End::kUnterminatedDouble) break;
    } else if (next == '!' || next == '?' || next == '/') {
      text.KeepTo(SkipDeclaration(input, at));
    } else {
      text.KeepTo(at + 1);
    }
  }
  text.Finish(state);
}

}  // namespace velmar
