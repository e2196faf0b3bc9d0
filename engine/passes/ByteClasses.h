// Byte classes and literal matching shared by the passes.
//
// The text is bytes. Lowering maps only A to Z to a to z; every literal the
// passes look for is written in lower case, so a literal matches a document
// in any letter case, and a literal holding a capital letter never matches.

#ifndef VELMAR_ENGINE_BYTECLASSES_H_
#define VELMAR_ENGINE_BYTECLASSES_H_

#include <array>
#include <cstddef>
#include <string_view>

namespace velmar {

// A 256-entry table built from a rule over one byte.
template <typename Rule>
constexpr std::array<unsigned char, 256> MakeByteTable(Rule rule) {
  std::array<unsigned char, 256> table{};
  for (int byte = 0; byte < 256; ++byte) table[byte] = rule(static_cast<unsigned char>(byte));
  return table;
}

inline constexpr std::array<unsigned char, 256> kLowered = MakeByteTable(
    [](unsigned char c) -> unsigned char { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; });

// Whitespace as the HTML tokenizer sees it once CR LF has become LF: tab,
// LF, FF, CR and the blank.
inline constexpr std::array<unsigned char, 256> kHtmlWhitespace =
    MakeByteTable([](unsigned char c) -> unsigned char {
      return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
    });

inline constexpr unsigned char Lowered(char c) { return kLowered[static_cast<unsigned char>(c)]; }

inline constexpr bool IsHtmlWhitespace(char c) {
  return kHtmlWhitespace[static_cast<unsigned char>(c)] != 0;
}

inline constexpr bool IsAsciiLetter(char c) { return Lowered(c) >= 'a' && Lowered(c) <= 'z'; }

// True when every byte of `literal` lies in text[pos, text.size()) and equals
// the text's byte there after lowering. Reads nothing past the end of `text`.
inline bool MatchesAt(std::string_view text, std::size_t pos, std::string_view literal) {
  if (pos > text.size() || text.size() - pos < literal.size()) return false;
  for (std::size_t k = 0; k < literal.size(); ++k) {
    if (Lowered(text[pos + k]) != static_cast<unsigned char>(literal[k])) return false;
  }
  return true;
}

}  // namespace velmar

#endif  // VELMAR_ENGINE_BYTECLASSES_H_
