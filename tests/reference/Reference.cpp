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

// ---------------------------------------------------------------- ReplaceAll

bool SkipPastClosingTag(const std::string& text, Index& index, std::string_view closing) {
  for (Index p = index; p < Length(text); ++p) {
    const bool found = Matches(text, p, closing);
    index = p + 1;
    if (found) break;
  }
  return index < Length(text);
}

}  // namespace

void ReplaceAll(std::string& text, std::string_view search, std::string_view replacement,
                bool in_blocks, bool skip_scripts, bool webbots, bool whole_name) {
  const Index l = static_cast<Index>(search.size());
  Index i = 0;
  if (Length(text) <= 0) return;
  while (true) {
    bool step8 = true;  // whether the scan moves on by one at the end of the turn
    bool region = false;
    std::string_view closing;
    if (!in_blocks && Matches(text, i, "<textarea")) {
      closing = "</textarea>";
    } else if (!in_blocks && Matches(text, i, "<pre")) {
      closing = "</pre>";
    } else if (skip_scripts && Matches(text, i, "<script")) {
      closing = "</script>";
    }
    if (!closing.empty()) {
      region = true;
      if (!SkipPastClosingTag(text, i, closing)) return;
    }
    if (!region) {
      bool step7 = true;
      bool occurs = Matches(text, i, search);
      if (occurs && whole_name) {
        const Index after = i + l;
        occurs = after < Length(text) &&
                 (IsSpace(text[after]) || text[after] == '/' || text[after] == '>');
      }
      if (occurs) {
        if (!replacement.empty()) {
          text.replace(i, l, replacement);
          step7 = step8 = false;
        } else {
          // A missing neighbour counts as a blank.
          const char before = i == 0 ? ' ' : text[i - 1];
          const char after = i + l >= Length(text) ? ' ' : text[i + l];
          if (before == '>' || before == ' ' || after == '<' || after == ' ' || after == '\r' ||
              after == '\n') {
            text.erase(i, l);
            step7 = step8 = false;
          }
        }
      }
      if (step7 && search[0] == '\r' && text[i] == '<') {
        bool removed = false;
        if (webbots && Matches(text, i, "<!--webbot")) {
          for (Index g = i + 1; g < Length(text); ++g) {
            if (text[g] == '>') {
              text.erase(i, g - i + 1);
              removed = true;
              break;
            }
          }
        }
        if (removed) {
          step8 = false;  // the next turn starts where the tag was
        } else {
          while (i < Length(text) && text[i] != '>') ++i;
        }
      }
    }
    if (step8) ++i;
    if (i >= Length(text)) return;
  }
}

// ------------------------------------------------------ StripAttributeQuotes

namespace {

// Where the HTML tokenizer ends the tag starting at `start` (the "<"), and
// the double-quoted values whose quotes may go.
struct Tag {
  Index end = 0;              // one past the ">" or the end of the text
  bool unterminated = false;  // a double-quoted value with no closing quote
  std::string name;           // lowered
  std::vector<Index> quotes;  // positions of quotes to delete, ascending
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
        } else if (c == '>') {
          tag.end = i + 1;
          return tag;
        } else {
          state = kUnquoted;
        }
        break;
      case kDoubleQuoted:
        if (c == '"') {
          bool plain = i > value_start + 1 && i + 1 < Length(text) &&
                       (IsSpace(text[i + 1]) || text[i + 1] == '>');
          for (Index k = value_start + 1; k < i; ++k) {
            const char v = text[k];
            if (IsSpace(v) || v == '\'' || v == '`' || v == '=' || v == '<' || v == '>') {
              plain = false;
            }
          }
          if (plain) {
            tag.quotes.push_back(value_start);
            tag.quotes.push_back(i);
          }
          state = kAfterQuoted;
        }
        break;
      case kSingleQuoted:
        if (c == '\'') state = kAfterQuoted;
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

bool IsTextElement(const std::string& name) {
  for (const char* element :
       {"script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes"}) {
    if (name == element) return true;
  }
  return false;
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
        // The first "</name" followed by whitespace, "/" or ">".
        Index c = tag.end;
        const std::string closing = "</" + tag.name;
        while (c < Length(text) &&
               !(Matches(text, c, closing) && c + Length(closing) < Length(text) &&
                 (IsSpace(text[c + Length(closing)]) || text[c + Length(closing)] == '/' ||
                  text[c + Length(closing)] == '>'))) {
          ++c;
        }
        if (c >= Length(text)) return;
        p = c + 1;
        continue;
      }
      bool single_quote = false;
      for (Index k = p; k < tag.end; ++k) single_quote = single_quote || text[k] == '\'';
      Index end = tag.end;
      if (!single_quote) {
        for (auto it = tag.quotes.rbegin(); it != tag.quotes.rend(); ++it) {
          text.erase(*it, 1);
          --end;
        }
      }
      if (tag.unterminated) return;
      p = end;
    } else if (text.compare(p, 4, "<!--") == 0) {
      p = EndOfComment(text, p);
    } else if (next == '!' && text.compare(p, 9, "<![CDATA[") == 0) {
      const Index close = FindFrom(text, "]]>", p + 9);
      if (close < 0) return;
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
    ReplaceAll(text, " >", ">", false, true, w);
  }
  if (o.simple_tags) {
    ReplaceAll(text, "<strong", "<b", true, true, w, true);
    ReplaceAll(text, "</strong>", "</b>", true, true, w);
    ReplaceAll(text, "<em", "<i", true, true, w, true);
    ReplaceAll(text, "</em>", "</i>", true, true, w);
    ReplaceAll(text, "<strike", "<s", true, true, w, true);
    ReplaceAll(text, "</strike>", "</s>", true, true, w);
  }
  if (o.center) {
    ConvertCenteredParagraphs(text, "<p align=center>", "<center>", "</p>", "</center>");
    ConvertCenteredParagraphs(text, "<p align=\"center\">", "<center>", "</p>", "</center>");
  }
  return text;
}

}  // namespace velmar::reference
