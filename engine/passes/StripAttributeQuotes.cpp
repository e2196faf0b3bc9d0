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
//     ends them; so are the opening tag, the content and the closing tag
//     (to its real ">") of script, style, textarea, title, xmp, iframe,
//     noembed and noframes. A script's text ends where the tokenizer's
//     script data states end it (13.2.5.4 to 13.2.5.29): "<!--" escapes
//     it, a "<script" inside that escapes it twice, and only a "</script"
//     outside the double escape ends it.
//  5. A region or value that never ends leaves the rest of the text as it
//     is, and so does a "<![CDATA[" that a browser may end in two places
//     (see SkipDeclaration). Quotes dropped before stay dropped.
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

// The quoted values one reading of a tag keeps; a tag with more is read
// twice.
constexpr int kKeptValues = 8;

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

// Whether a start tag whose name begins with `first` may open one of the
// text elements: script, style, textarea, title, xmp, iframe, noembed,
// noframes.
bool MayOpenTextElement(char first) {
  const unsigned char c = Lowered(first);
  return c == 's' || c == 't' || c == 'x' || c == 'i' || c == 'n';
}

bool IsTextElement(std::string_view name) {
  for (std::string_view element : kTextElements) {
    if (name.size() == element.size() && MatchesAt(name, 0, element)) return true;
  }
  return false;
}

// Whether the letters at `at` spell `word` in any case, followed by
// whitespace, "/" or ">": the end of a tag name the tokenizer compares.
bool NameAt(std::string_view text, std::size_t at, std::string_view word) {
  return at + word.size() < text.size() &&
         std::equal(word.begin(), word.end(), text.begin() + at, SameLetter) &&
         EndsTagName(text[at + word.size()]);
}

// The "<" of the first "</name" followed by whitespace, "/" or ">", at or
// after `from`; or the end of the text.
std::size_t FindClosingTag(std::string_view text, std::size_t from, std::string_view name) {
  for (std::size_t pos = from; pos < text.size(); ++pos) {
    pos = FindFirstOf(text.data(), pos, text.size(), ByteSet::Of('<'));
    if (pos + 1 < text.size() && text[pos + 1] == '/' && NameAt(text, pos + 2, name)) return pos;
  }
  return text.size();
}

// The "<" of the end tag that ends a script's text, which begins at `from`;
// or the end of the text. The tokenizer's script data states, kept to what
// decides where the script ends.
std::size_t FindScriptEnd(std::string_view text, std::size_t from) {
  enum class State { kData, kEscaped, kDoubleEscaped } state = State::kData;
  const std::size_t end = text.size();
  int dashes = 0;  // "-" just read, in the escaped states
  std::size_t pos = from;
  while (pos < end) {
    if (state == State::kData) {
      pos = FindFirstOf(text.data(), pos, end, ByteSet::Of('<'));
      if (pos + 1 >= end) break;
      if (text[pos + 1] == '/' && NameAt(text, pos + 2, "script")) return pos;
      if (text.compare(pos + 1, 3, "!--") == 0) {
        state = State::kEscaped;
        dashes = 2;
        pos += 4;
      } else {
        ++pos;
      }
      continue;
    }
    const char c = text[pos];
    if (c == '-') {
      ++dashes;
      ++pos;
      continue;
    }
    if (c == '>' && dashes >= 2) {
      state = State::kData;  // "-->" leaves either escape
      ++pos;
      continue;
    }
    dashes = 0;
    if (c != '<' || pos + 1 >= end) {
      ++pos;
      continue;
    }
    const char next = text[pos + 1];
    if (state == State::kEscaped && next == '/' && NameAt(text, pos + 2, "script")) return pos;
    // "<script" escapes twice, "</script" undoes that; the byte after the
    // name is taken as text.
    const std::size_t name = pos + (next == '/' ? 2 : 1);
    if (state == State::kEscaped && next != '/' && NameAt(text, name, "script")) {
      state = State::kDoubleEscaped;
      pos = name + 7;
    } else if (state == State::kDoubleEscaped && next == '/' && NameAt(text, name, "script")) {
      state = State::kEscaped;
      pos = name + 7;
    } else {
      ++pos;
    }
  }
  return end;
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
  if (text.compare(at, 9, "<![CDATA[") == 0) {
    // A comment to the first ">" in HTML, a CDATA section to "]]>" in SVG
    // or MathML: the pass goes on only where both end alike, that is when
    // no "<" follows the first ">" before the end of the "]]>".
    const std::size_t first_end = text.find('>', at + 9);
    const std::size_t close = text.find("]]>", at + 9);
    if (close == std::string_view::npos) return end;
    if (text.find('<', first_end) < close + 3) return end;
    return close + 3;
  }
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
      // A tag with no quote before its first ">" has no quoted value and
      // ends there; unless it opens a text element, it stays as it is.
      const std::size_t stop = FindFirstOf(text.data(), at + 1, end, ByteSet::Of('>', '"', '\''));
      if (stop < end && input[stop] == '>' && (end_tag || !MayOpenTextElement(input[at + 1]))) {
        text.KeepTo(stop + 1);
        continue;
      }
      TagScanner scanner(input, at);
      QuotedValue values[kKeptValues];
      int count = 0;
      for (QuotedValue value; scanner.Next(value); ++count) {
        if (count < kKeptValues) values[count] = value;
      }
      const std::size_t tag_end = scanner.end();
      if (!end_tag && IsTextElement(scanner.name())) {
        if (scanner.how() != TagScanner::End::kClosed) break;
        const std::size_t closing =
            MatchesAt(scanner.name(), 0, "script") && scanner.name().size() == 6
                ? FindScriptEnd(input, tag_end)
                : FindClosingTag(input, tag_end, scanner.name());
        if (closing == end) break;
        TagScanner closing_tag(input, closing);
        text.KeepTo(closing_tag.SkipToEnd());
        continue;
      }
      if (std::memchr(input.data() + at, '\'', tag_end - at) == nullptr) {
        // The values the first reading found, or a second reading for a
        // tag with more than a few.
        auto drop = [&](const QuotedValue& value) {
          if (!IsPlain(input, value)) return;
          text.KeepTo(value.open);
          text.Drop(1);
          text.KeepTo(value.close);
          text.Drop(1);
        };
        if (count <= kKeptValues) {
          for (int k = 0; k < count; ++k) drop(values[k]);
        } else {
          TagScanner again(input, at);
          for (QuotedValue value; again.Next(value);) drop(value);
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
