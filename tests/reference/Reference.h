// FOR TESTS ONLY. Never link this into the engine.
//
// A slow, literal implementation of the compressor's passes: each pass walks
// the text from the start and moves the rest of the text once per change,
// exactly as the rules read. It is quadratic on purpose; it exists to be
// obviously right, and the tests use it as the oracle for the fast engine.

#ifndef VELMAR_TESTS_REFERENCE_REFERENCE_H_
#define VELMAR_TESTS_REFERENCE_REFERENCE_H_

#include <string>
#include <string_view>

namespace velmar::reference {

struct Options {
  bool simple_tags = true;
  bool center = true;
  bool inv_commas = true;
  bool spaces = true;
  bool returns = true;
  bool all_returns = true;
  bool webbots = true;

  // Bit k of `mask` sets the k-th option of the order above.
  static Options FromMask(unsigned mask);
  std::string Describe() const;
};

// The whole pass sequence over `document`.
std::string Compress(std::string_view document, const Options& options);

// Where an occurrence of ReplaceAll's search text counts.
enum class Match {
  kAnywhere,
  kWholeTagName,  // only where whitespace, "/" or ">" follows it
  kBeforeTagEnd,  // only where its last byte, a ">", ends a tag
};

// The passes alone, each rewriting `text`.
void StripAttributeQuotes(std::string& text);
void ReplaceAll(std::string& text, std::string_view search, std::string_view replacement,
                bool in_blocks, bool skip_scripts, bool webbots, Match match = Match::kAnywhere);
void ConvertCenteredParagraphs(std::string& text, std::string_view open_tag,
                               std::string_view open_replacement, std::string_view close_tag,
                               std::string_view close_replacement);

}  // namespace velmar::reference

#endif  // VELMAR_TESTS_REFERENCE_REFERENCE_H_
