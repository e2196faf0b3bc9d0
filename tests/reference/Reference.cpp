// FOR TESTS ONLY: see Reference.h. Written for clarity, not speed: one
// byte at a time, one erase or insert (a move of the rest of the text) per
// change, positions as plain signed integers.

#include "Reference.h"

#include <vector>

namespace velmar::reference {
namespace {

using Index = long long;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

Index Length(const std::string& text) { return static_cast<Index>(text.size()); }

// The literal matches at `at` when all its bytes lie inside the text and
// equal the text's lowered bytes.
bool Matches(const std::string& text, Index at, std::string_view literal) {
  if (at < 0 || at + static_cast<Index>(literal.size()) > Length(text)) return false;
  for (std::size_t k = 0; k < literal.size(); ++k) {
    if (Lower(text[at + k]) != literal[k]) return false;
  }
  return true;
}

bool IsSpace(char c) { return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' '; }
bool IsLetter(char c) { return Lower(c) >= 'a' && Lower(c) <= 'z'; }

// -------------------------------------------------------- the tag tokenizer

// Where the HTML tokenizer ends the tag starting at `start` (the "<"), and
// where its quoted values lie.
struct Tag {
  struct Value {
    Index open;   // the opening quote
    Index close;  // the closing quote
  };
  Index end = 0;              // one past the ">" or the end of the text
  bool unterminated = false;  // a double-quoted value with no closing quote
  std::string name;           // lowered
  std::vector<Value> values;  // quoted values, in order, both kinds
};

Tag TokenizeTag(const std::string& text, Index start) {
  enum State {
    kTagOpen,
    kTagName,
    kBeforeAttributeName,
    kAttributeName,
    kAfterAttributeName,
    kBeforeAttributeValue,
    kDoubleQuoted,
    kSingleQuoted,
    kUnquoted,
    kAfterQuoted,
    kSelfClosing
  };
  Tag tag;
  State state = kTagOpen;
  Index value_start = 0;
  Index i = start + 1;
  for (; i < Length(text); ++i) {
    const char c = text[i];
    switch (state) {
      case kTagOpen:
        state = kTagName;
        if (c == '/') break;
        [[fallthrough]];
      case kTagName:
        if (IsSpace(c)) {
          state = kBeforeAttributeName;
        } else if (c == '/') {
          state = kSelfClosing;
        } else if (c == '>') {
          tag.end = i + 1;
          return tag;
        } else {
          tag.name += Lower(c);
        }
        break;
      case kBeforeAttributeName:
        if (IsSpace(c)) break;
        if (c == '/') {
          state = kSelfClosing;
        } else if (c == '>') {
          tag.end = i + 1;
          return tag;
        } else {
          state = kAttributeName;  // "=" here starts a name
        }
        break;
      case kAttributeName:
        if (IsSpace(c)) {
          state = kAfterAttributeName;
        } else if (c == '/') {
          state = kSelfClosing;
        } else if (c == '>') {
          tag.end = i + 1;
          return tag;
        } else if (c == '=') {
          state = kBeforeAttributeValue;
        }
        break;
      case kAfterAttributeName:
        if (IsSpace(c)) break;
        if (c == '/') {
          state = kSelfClosing;
        } else if (c == '=') {
          state = kBeforeAttributeValue;
        } else if (c == '>') {
          tag.end = i + 1;
          return tag;
        } else {
          state = kAttributeName;
        }
        break;
      case kBeforeAttributeValue:
        if (IsSpace(c)) break;
        if (c == '"') {
          state = kDoubleQuoted;
          value_start = i;
        } else if (c == '\'') {
          state = kSingleQuoted;
          value_start = i;
        } else if (c == '>') {
          tag.end = i + 1;
          return tag;
        } else {
          state = kUnquoted;
        }
        break;
      case kDoubleQuoted:
        if (c == '"') {
          tag.values.push_back({value_start, i});
          state = kAfterQuoted;
        }
        break;
      case kSingleQuoted:
        if (c == '\'') {
          tag.values.push_back({value_start, i});
          state = kAfterQuoted;
        }
        break;
      case kUnquoted:
        if (IsSpace(c)) {
          state = kBeforeAttributeName;
        } else if (c == '>') {
          tag.end = i + 1;
          return tag;
        }
        break;
      case kAfterQuoted:
      case kSelfClosing:
        if (c == '>') {
          tag.end = i + 1;
          return tag;
        }
        state = kBeforeAttributeName;
        --i;  // reconsume
        break;
    }
  }
  tag.end = Length(text);
  tag.unterminated = state == kDoubleQuoted;
  return tag;
}

// ---------------------------------------------------------------- ReplaceAll

bool SkipPastClosingTag(const std::string& text, Index& index, std::string_view closing) {
  for (Index p = index; p < Length(text); ++p) {
    const bool found = Matches(text, p, closing);
    index = p + 1;
    if (found) break;
  }
  return index < Length(text);
}

// The tag start: "<" and a letter, or "</" and a letter.
bool IsTagStart(const std::string& text, Index at) {
  if (at + 1 >= Length(text) || text[at] != '<') return false;
  return IsLetter(text[at + 1]) ||
         (text[at + 1] == '/' && at + 2 < Length(text) && IsLetter(text[at + 2]));
}

// Whether the tag at `at` (a "<") is a start or end tag of a block
// element, or a doctype. A name running to the end of the text is no tag.
bool IsBlockTag(const std::string& text, Index at) {
  if (Matches(text, at, "<!doctype")) return true;
  Index p = at + 1;
  if (p < Length(text) && text[p] == '/') ++p;
  std::string name;
  while (p < Length(text) && !IsSpace(text[p]) && text[p] != '/' && text[p] != '>') {
    name += Lower(text[p++]);
  }
  if (p >= Length(text)) return false;
  for (const char* block :
       {"address", "article",  "aside",    "blockquote", "body",       "br",     "caption",
        "center",  "col",      "colgroup", "dd",         "details",    "dialog", "dir",
        "div",     "dl",       "dt",       "fieldset",   "figcaption", "figure", "footer",
        "form",    "frame",    "frameset", "h1",         "h2",         "h3",     "h4",
        "h5",      "h6",       "head",     "header",     "hgroup",     "hr",     "html",
        "legend",  "li",       "listing",  "main",       "menu",       "nav",    "noframes",
        "ol",      "optgroup", "option",   "p",          "plaintext",  "pre",    "search",
        "section", "summary",  "table",    "tbody",      "td",         "tfoot",  "th",
        "thead",   "title",    "tr",       "ul",         "xmp"}) {
    if (name == block) return true;
  }
  return false;
}

// The nearest "<" or ">" before `at`, or -1.
Index LastAngleBefore(const std::string& text, Index at) {
  for (Index k = at - 1; k >= 0; --k) {
    if (text[k] == '<' || text[k] == '>') return k;
  }
  return -1;
}

// Whether the ">" at `at` ends the tag of a block element.
bool IsBlockTagEnd(const std::string& text, Index at) {
  const Index open = LastAngleBefore(text, at);
  return open >= 0 && text[open] == '<' && IsBlockTag(text, open);
}

// An occurrence of `length` bytes at `at`, to be deleted: it goes next to a
// blank, a line break or an end of the text, and next to a tag only when
// that tag is a block boundary. A missing neighbour counts as a blank.
bool Deletes(const std::string& text, Index at, Index length) {
  const char before = at == 0 ? ' ' : text[at - 1];
  const char after = at + length >= Length(text) ? ' ' : text[at + length];
  if (before == ' ' || after == ' ' || after == '\r' || after == '\n') return true;
  if (before == '>' && IsBlockTagEnd(text, at - 1)) return true;
  return after == '<' && IsBlockTag(text, at + length);
}

// Whether the ">" after a blank at `at` ends a tag: looking back from the
// blank, the nearest "<" or ">" is a "<" followed by a letter, "/", "!" or
// "?".
bool EndsTag(const std::string& text, Index at) {
  const Index open = LastAngleBefore(text, at);
  if (open < 0 || text[open] != '<' || open + 1 >= at) return false;
  const char next = text[open + 1];
  return IsLetter(next) || next == '/' || next == '!' || next == '?';
}

// What the scan knows of each byte: whether it lies in the tag the scan is
// in, and which of that tag's quoted values it belongs to. Kept beside the
// text and changed with it, so that it follows every erase and replace.
struct Mark {
  enum Role : char { kNone, kOpen, kInside, kClose };
  bool in_tag = false;
  int value = 0;  // 0 for none, else the value's number within the call
  Role role = kNone;
};

class MarkedText {
 public:
  explicit MarkedText(std::string& text) : text_(text), marks_(text.size()) {}

  const Mark& operator[](Index at) const { return marks_[static_cast<std::size_t>(at)]; }

  // Marks the tag starting at `at` and its quoted values.
  void MarkTag(Index at) {
    const Tag tag = TokenizeTag(text_, at);
    for (Index k = at; k < tag.end; ++k) marks_[k].in_tag = true;
    for (const Tag::Value& value : tag.values) {
      ++values_;
      for (Index k = value.open; k <= value.close; ++k) {
        marks_[k].value = values_;
        marks_[k].role = k == value.open    ? Mark::kOpen
                         : k == value.close ? Mark::kClose
                                            : Mark::kInside;
      }
    }
  }

  // The closing quote of the value that `at` belongs to, or -1 when it is
  // gone.
  Index CloseOf(Index at) const {
    for (Index k = at; k < Length(text_); ++k) {
      if (marks_[k].value == marks_[at].value && marks_[k].role == Mark::kClose) return k;
    }
    return -1;
  }

  void Erase(Index at, Index count) {
    text_.erase(at, count);
    marks_.erase(marks_.begin() + at, marks_.begin() + at + count);
  }

  // New bytes lie where the old ones did: in the tag, and in a value, if
  // the first old byte was.
  void Replace(Index at, Index count, std::string_view with) {
    Mark mark = marks_[at];
    if (mark.role != Mark::kNone) mark.role = Mark::kInside;
    text_.replace(at, count, with);
    marks_.erase(marks_.begin() + at, marks_.begin() + at + count);
    marks_.insert(marks_.begin() + at, with.size(), mark);
  }

 private:
  std::string& text_;
  std::vector<Mark> marks_;
  int values_ = 0;
};

}  // namespace

void ReplaceAll(std::string& text, std::string_view search, std::string_view replacement,
                bool in_blocks, bool skip_scripts, bool webbots, Match match) {
  const Index l = static_cast<Index>(search.size());
  MarkedText marks(text);
  Index i = 0;
  if (Length(text) <= 0) return;
  while (true) {
    bool step8 = true;  // whether the scan moves on by one at the end of the turn
    std::string_view closing;
    if (marks[i].role == Mark::kOpen && marks.CloseOf(i) >= 0) {
      // A quoted value of the current tag is copied whole.
      i = marks.CloseOf(i);
    } else {
      if (!in_blocks && Matches(text, i, "<textarea")) {
        closing = "</textarea>";
      } else if (!in_blocks && Matches(text, i, "<pre")) {
        closing = "</pre>";
      } else if (skip_scripts && Matches(text, i, "<script")) {
        closing = "</script>";
      }
      if (!closing.empty()) {
        if (!SkipPastClosingTag(text, i, closing)) return;
      } else {
        // A tag met outside the current one becomes the current tag.
        if (IsTagStart(text, i) && !marks[i].in_tag) marks.MarkTag(i);
        bool step7 = true;
        bool occurs = Matches(text, i, search);
        if (occurs && match == Match::kWholeTagName) {
          const Index after = i + l;
          occurs = after < Length(text) &&
                   (IsSpace(text[after]) || text[after] == '/' || text[after] == '>');
        }
        if (occurs && match == Match::kBeforeTagEnd) occurs = EndsTag(text, i);
        if (occurs) {
          if (!replacement.empty()) {
            marks.Replace(i, l, replacement);
            step7 = step8 = false;
          } else if (Deletes(text, i, l)) {
            marks.Erase(i, l);
            step7 = step8 = false;
          }
        }
        if (step7 && search[0] == '\r' && text[i] == '<') {
          bool removed = false;
          if (webbots && Matches(text, i, "<!--webbot")) {
            for (Index g = i + 1; g < Length(text); ++g) {
              if (text[g] == '>') {
                marks.Erase(i, g - i + 1);
                removed = true;
                break;
              }
            }
          }
          if (removed) {
            step8 = false;  // the next turn starts where the tag was
          } else {
            while (i < Length(text) && text[i] != '>') ++i;
            // A ">" inside a value does not end the tag: go on after the value.
            if (i < Length(text) && marks[i].role == Mark::kInside) {
              const Index close = marks.CloseOf(i);
              if (close >= 0) i = close;
            }
          }
        }
      }
    }
    if (step8) ++i;
    if (i >= Length(text)) return;
  }
}

// ------------------------------------------------------ StripAttributeQuotes

namespace {

// One past the end of the comment opened by "<!--" at `start`.
Index EndOfComment(const std::string& text, Index start) {
  enum State { kStart, kStartDash, kComment, kEndDash, kEnd, kEndBang } state = kStart;
  for (Index i = start + 4; i < Length(text); ++i) {
    const char c = text[i];
    switch (state) {
      case kStart:
        if (c == '-')
          state = kStartDash;
        else if (c == '>')
          return i + 1;
        else
          state = kComment;
        break;
      case kStartDash:
        if (c == '-')
          state = kEnd;
        else if (c == '>')
          return i + 1;
        else
          state = kComment;
        break;
      case kComment:
        if (c == '-') state = kEndDash;
        break;
      case kEndDash:
        state = c == '-' ? kEnd : kComment;
        break;
      case kEnd:
        if (c == '>') return i + 1;
        if (c == '!')
          state = kEndBang;
        else if (c != '-')
          state = kComment;
        break;
      case kEndBang:
        if (c == '>') return i + 1;
        state = c == '-' ? kEndDash : kComment;
        break;
    }
  }
  return Length(text);
}

Index FindFrom(const std::string& text, std::string_view what, Index from) {
  const std::size_t found = text.find(what, static_cast<std::size_t>(from));
  return found == std::string::npos ? -1 : static_cast<Index>(found);
}

// Whether a double-quoted value reads the same without its quotes: not
// empty, no whitespace, quote, backquote, "=", "<" or ">" in it, and
// whitespace or ">" after it.
bool IsPlainValue(const std::string& text, const Tag::Value& value) {
  if (text[value.open] != '"' || value.close == value.open + 1) return false;
  if (value.close + 1 >= Length(text)) return false;
  const char after = text[value.close + 1];
  if (!IsSpace(after) && after != '>') return false;
  for (Index k = value.open + 1; k < value.close; ++k) {
    const char v = text[k];
    if (IsSpace(v) || v == '\'' || v == '`' || v == '=' || v == '<' || v == '>') return false;
  }
  return true;
}

bool IsTextElement(const std::string& name) {
  for (const char* element :
       {"script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes"}) {
    if (name == element) return true;
  }
  return false;
}

// Whether "</" + `name` followed by whitespace, "/" or ">" stands at `at`.
bool IsEndTag(const std::string& text, Index at, const std::string& name) {
  const std::string closing = "</" + name;
  const Index after = at + Length(closing);
  return Matches(text, at, closing) && after < Length(text) &&
         (IsSpace(text[after]) || text[after] == '/' || text[after] == '>');
}

// The first end tag of `name` at or after `from`, or the length.
Index ClosingTag(const std::string& text, Index from, const std::string& name) {
  Index c = from;
  while (c < Length(text) && !IsEndTag(text, c, name)) ++c;
  return c;
}

// Where a script's text ends: the tokenizer's script data states (HTML
// Living Standard 13.2.5.4 to 13.2.5.29), one byte at a time. Returns the
// "<" of the end tag, or the length.
Index ScriptEnd(const std::string& text, Index from) {
  enum State {
    kData,
    kEscaped,
    kEscapedDash,
    kEscapedDashDash,
    kDoubleEscaped,
    kDoubleEscapedDash,
    kDoubleEscapedDashDash
  } state = kData;
  auto starts_script = [&](Index at) {  // "script" then whitespace, "/" or ">"
    return Matches(text, at, "script") && at + 6 < Length(text) &&
           (IsSpace(text[at + 6]) || text[at + 6] == '/' || text[at + 6] == '>');
  };
  for (Index i = from; i < Length(text); ++i) {
    const char c = text[i];
    switch (state) {
      case kData:
        if (IsEndTag(text, i, "script")) return i;
        if (Matches(text, i, "<!--")) {
          state = kEscapedDashDash;
          i += 3;
        }
        break;
      case kEscaped:
      case kEscapedDash:
      case kEscapedDashDash:
        if (c == '-') {
          state = state == kEscaped ? kEscapedDash : kEscapedDashDash;
        } else if (c == '>' && state == kEscapedDashDash) {
          state = kData;
        } else if (c == '<') {
          state = kEscaped;
          if (IsEndTag(text, i, "script")) return i;
          if (starts_script(i + 1)) {
            state = kDoubleEscaped;
            i += 7;  // the name and the byte after it
          }
        } else {
          state = kEscaped;
        }
        break;
      case kDoubleEscaped:
      case kDoubleEscapedDash:
      case kDoubleEscapedDashDash:
        if (c == '-') {
          state = state == kDoubleEscaped ? kDoubleEscapedDash : kDoubleEscapedDashDash;
        } else if (c == '>' && state == kDoubleEscapedDashDash) {
          state = kData;
        } else if (c == '<') {
          state = kDoubleEscaped;
          if (i + 1 < Length(text) && text[i + 1] == '/' && starts_script(i + 2)) {
            state = kEscaped;
            i += 8;  // "/", the name and the byte after it
          }
        } else {
          state = kDoubleEscaped;
        }
        break;
    }
  }
  return Length(text);
}

}  // namespace

void StripAttributeQuotes(std::string& text) {
  Index p = 0;
  while (p + 1 < Length(text)) {
    if (text[p] != '<') {
      ++p;
      continue;
    }
    const char next = text[p + 1];
    if (IsLetter(next) || (next == '/' && p + 2 < Length(text) && IsLetter(text[p + 2]))) {
      Tag tag = TokenizeTag(text, p);
      if (next != '/' && IsTextElement(tag.name)) {
        if (tag.end >= Length(text)) return;  // no room for content and its end
        const Index c =
            tag.name == "script" ? ScriptEnd(text, tag.end) : ClosingTag(text, tag.end, tag.name);
        if (c >= Length(text)) return;
        // The closing tag is read as a tag and copied whole.
        p = TokenizeTag(text, c).end;
        continue;
      }
      bool single_quote = false;
      for (Index k = p; k < tag.end; ++k) single_quote = single_quote || text[k] == '\'';
      Index end = tag.end;
      for (auto it = tag.values.rbegin(); !single_quote && it != tag.values.rend(); ++it) {
        if (IsPlainValue(text, *it)) {
          text.erase(it->close, 1);
          text.erase(it->open, 1);
          end -= 2;
        }
      }
      if (tag.unterminated) return;
      p = end;
    } else if (text.compare(p, 4, "<!--") == 0) {
      p = EndOfComment(text, p);
    } else if (next == '!' && text.compare(p, 9, "<![CDATA[") == 0) {
      // A comment to the first ">" in HTML, CDATA to "]]>" in SVG: only
      // where both end alike does the pass go on.
      const Index first_end = FindFrom(text, ">", p + 9);
      const Index close = FindFrom(text, "]]>", p + 9);
      if (close < 0) return;
      for (Index k = first_end; k < close + 3; ++k) {
        if (text[k] == '<') return;
      }
      p = close + 3;
    } else if (next == '!' || next == '?' || next == '/') {
      const Index close = FindFrom(text, ">", p + 1);
      if (close < 0) return;
      p = close + 1;
    } else {
      ++p;
    }
  }
}

// -------------------------------------------------- ConvertCenteredParagraphs

void ConvertCenteredParagraphs(std::string& text, std::string_view open_tag,
                               std::string_view open_replacement, std::string_view close_tag,
                               std::string_view close_replacement) {
  bool seeking_open = true;
  for (Index p = 0; p < Length(text); ++p) {
    if (seeking_open && Matches(text, p, open_tag)) {
      text.replace(p, open_tag.size(), open_replacement);
      seeking_open = false;
    } else if (!seeking_open && Matches(text, p, close_tag)) {
      text.replace(p, close_tag.size(), close_replacement);
      seeking_open = true;
    }
  }
}

// ------------------------------------------------------------------ Compress

Options Options::FromMask(unsigned mask) {
  Options o;
  o.simple_tags = mask & 1;
  o.center = mask & 2;
  o.inv_commas = mask & 4;
  o.spaces = mask & 8;
  o.returns = mask & 16;
  o.all_returns = mask & 32;
  o.webbots = mask & 64;
  return o;
}

std::string Options::Describe() const {
  std::string names;
  auto add = [&names](bool on, const char* name) {
    if (on) names += names.empty() ? name : std::string(",") + name;
  };
  add(simple_tags, "SimpleTags");
  add(center, "Center");
  add(inv_commas, "InvCommas");
  add(spaces, "Spaces");
  add(returns, "Returns");
  add(all_returns, "AllReturns");
  add(webbots, "Webbots");
  return names.empty() ? "none" : names;
}

std::string Compress(std::string_view document, const Options& o) {
  std::string text(document);
  const bool w = o.webbots;
  if (o.inv_commas) StripAttributeQuotes(text);
  if (o.all_returns) {
    ReplaceAll(text, "\r\r", "\r", false, false, w);
    ReplaceAll(text, "\n\n", "\n", false, false, w);
    ReplaceAll(text, "\r\n", "", false, true, w);
    ReplaceAll(text, "\r", "", false, true, w);
    ReplaceAll(text, "\n", "", false, true, w);
  } else if (o.returns) {
    ReplaceAll(text, "\r\r", "\r", false, false, w);
    ReplaceAll(text, "\n\n", "\n", false, false, w);
  }
  if (o.spaces) {
    ReplaceAll(text, "    ", " ", false, true, w);
    ReplaceAll(text, "   ", " ", false, true, w);
    ReplaceAll(text, "  ", " ", false, true, w);
    ReplaceAll(text, "  ", " ", false, true, w);
    ReplaceAll(text, " >", ">", false, true, w, Match::kBeforeTagEnd);
  }
  if (o.simple_tags) {
    ReplaceAll(text, "<strong", "<b", true, true, w, Match::kWholeTagName);
    ReplaceAll(text, "</strong>", "</b>", true, true, w);
    ReplaceAll(text, "<em", "<i", true, true, w, Match::kWholeTagName);
    ReplaceAll(text, "</em>", "</i>", true, true, w);
    ReplaceAll(text, "<strike", "<s", true, true, w, Match::kWholeTagName);
    ReplaceAll(text, "</strike>", "</s>", true, true, w);
  }
  if (o.center) {
    ConvertCenteredParagraphs(text, "<p align=center>", "<center>", "</p>", "</center>");
    ConvertCenteredParagraphs(text, "<p align=\"center\">", "<center>", "</p>", "</center>");
  }
  return text;
}

}  // namespace velmar::reference
