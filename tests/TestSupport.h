// Helpers shared by the engine tests.

#ifndef VELMAR_TESTS_TESTSUPPORT_H_
#define VELMAR_TESTS_TESTSUPPORT_H_

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <string_view>

#include "HTMLCompressor.h"
#include "Passes.h"
#include "reference/Reference.h"

namespace velmar::testing {

// Option bits, in the order of reference::Options::FromMask.
enum : unsigned {
  kSimpleTags = 1,
  kCenter = 2,
  kInvCommas = 4,
  kSpaces = 8,
  kReturns = 16,
  kAllReturns = 32,
  kWebbots = 64,
  kNone = 0,
  kAll = 127,
};

inline void ApplyOptions(THTMLCompressor& compressor, unsigned mask) {
  const reference::Options o = reference::Options::FromMask(mask);
  compressor.SetSimpleTags(o.simple_tags);
  compressor.SetCenter(o.center);
  compressor.SetInvCommas(o.inv_commas);
  compressor.SetSpaces(o.spaces);
  compressor.SetReturns(o.returns);
  compressor.SetAllReturns(o.all_returns);
  compressor.SetWebbots(o.webbots);
}

// A whole Compress of `input` by the engine with the options of `mask`.
inline std::string EngineCompress(std::string_view input, unsigned mask) {
  THTMLCompressor compressor;
  ApplyOptions(compressor, mask);
  if (!compressor.LoadFromMemory(input)) return "<load failed>";
  compressor.Compress();
  return std::string(compressor.Document());
}

// The pass table call by call through the engine's own passes, as written
// in the table: what Compress's grouped scans must equal.
inline std::string EngineCallByCall(std::string_view input, unsigned mask) {
  const reference::Options o = reference::Options::FromMask(mask);
  THTMLCompressor component;
  component.SetWebbots(o.webbots);
  std::string buffer(input);
  WorkingState state{
      {buffer.data(), buffer.size()}, static_cast<std::int64_t>(buffer.size()), component};
  if (o.inv_commas) StripAttributeQuotes(state);
  if (o.all_returns) {
    ReplaceAll(state, "\r\r", "\r", false, false);
    ReplaceAll(state, "\n\n", "\n", false, false);
    ReplaceAll(state, "\r\n", "", false, true);
    ReplaceAll(state, "\r", "", false, true);
    ReplaceAll(state, "\n", "", false, true);
  } else if (o.returns) {
    ReplaceAll(state, "\r\r", "\r", false, false);
    ReplaceAll(state, "\n\n", "\n", false, false);
  }
  if (o.spaces) {
    ReplaceAll(state, "    ", " ", false, true);
    ReplaceAll(state, "   ", " ", false, true);
    ReplaceAll(state, "  ", " ", false, true);
    ReplaceAll(state, "  ", " ", false, true);
    ReplaceAll(state, " >", ">", false, true, Match::kBeforeTagEnd);
  }
  if (o.simple_tags) {
    ReplaceAll(state, "<strong", "<b", true, true, Match::kWholeTagName);
    ReplaceAll(state, "</strong>", "</b>", true, true);
    ReplaceAll(state, "<em", "<i", true, true, Match::kWholeTagName);
    ReplaceAll(state, "</em>", "</i>", true, true);
    ReplaceAll(state, "<strike", "<s", true, true, Match::kWholeTagName);
    ReplaceAll(state, "</strike>", "</s>", true, true);
  }
  if (o.center) {
    ConvertCenteredParagraphs(state, "<p align=center>", "<center>", "</p>", "</center>");
    ConvertCenteredParagraphs(state, "<p align=\"center\">", "<center>", "</p>", "</center>");
  }
  buffer.resize(static_cast<std::size_t>(state.length));
  return buffer;
}

inline std::string ReferenceCompress(std::string_view input, unsigned mask) {
  return reference::Compress(input, reference::Options::FromMask(mask));
}

// Runs one pass of the engine over a copy of `input` held in a buffer of
// exactly its size, as Compress does, and returns the text it leaves.
template <typename Pass>
std::string RunPass(std::string_view input, unsigned mask, Pass pass) {
  THTMLCompressor component;
  ApplyOptions(component, mask);
  std::string buffer(input);
  WorkingState state{
      {buffer.data(), buffer.size()}, static_cast<std::int64_t>(buffer.size()), component};
  pass(state);
  buffer.resize(static_cast<std::size_t>(state.length));
  return buffer;
}

// The bytes as a C string literal would spell them.
inline std::string Escaped(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (unsigned char c : bytes) {
    switch (c) {
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        if (c < 32 || c >= 127) {
          out += "\\x";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

// One row of a table: `input` compressed with the options of `mask`
// becomes `expected`.
struct CompressCase {
  const char* name;
  std::string input;
  unsigned mask;
  std::string expected;
};

// Checks every row against the engine and against the reference.
inline void ExpectCompressCases(std::span<const CompressCase> cases) {
  for (const CompressCase& c : cases) {
    SCOPED_TRACE(std::string(c.name) + ": " + Escaped(c.input));
    EXPECT_EQ(Escaped(EngineCompress(c.input, c.mask)), Escaped(c.expected)) << "engine";
    EXPECT_EQ(Escaped(ReferenceCompress(c.input, c.mask)), Escaped(c.expected)) << "reference";
  }
}

}  // namespace velmar::testing

#endif  // VELMAR_TESTS_TESTSUPPORT_H_
