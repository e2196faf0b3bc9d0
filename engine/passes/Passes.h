// The passes of THTMLCompressor::Compress and the working state they share.
// Internal to the engine; tests include it to run one pass alone.
//
// Each pass rewrites state.buffer[0, state.length) in place, in one forward
// scan, and lowers (or, for the centred paragraph pass, keeps within bounds)
// state.length. No pass reads or writes at or beyond the working length,
// and no pass allocates.

#ifndef VELMAR_ENGINE_PASSES_H_
#define VELMAR_ENGINE_PASSES_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace velmar {

class THTMLCompressor;

// What one Compress call owns and hands to every pass.
struct WorkingState {
  std::span<char> buffer;            // capacity fixed at the loaded size
  std::int64_t length = 0;           // valid bytes at the start of buffer
  const THTMLCompressor& component;  // ReplaceAll reads its Webbots option

  std::string_view Text() const { return {buffer.data(), static_cast<std::size_t>(length)}; }
};

// Drops the double quotes around attribute values where a browser reads the
// unquoted value the same. Only deletes bytes.
void StripAttributeQuotes(WorkingState& state);

// Where an occurrence of ReplaceAll's search text counts.
enum class Match {
  kAnywhere,
  // Search is "<" and a tag name: only where whitespace, "/" or ">" follows,
  // so "<em" shortens <em class=x> but not <embed>.
  kWholeTagName,
  // Search ends with ">": only where that ">" ends a tag, as far as looking
  // back to the nearest "<" or ">" can tell (not in "zoom is > 1").
  kBeforeTagEnd,
};

// Replaces every occurrence of `Search` (1 to 255 bytes, lower case) by
// `Replacement` (shorter than `Search`, or empty for a deletion). `InBlocks`
// false leaves textarea and pre elements alone; `SkipScripts` true leaves
// script elements alone; quoted attribute values of the tags the scan meets
// are always copied whole. A deletion happens only next to a blank, another
// line break or an end of the text, or next to the tag of a block element
// (<p>, </div>, <br>), so two words never run together. A call whose
// `Search` begins with CR passes over the inside of every tag, and removes
// webbot comment tags when the component's Webbots is on.
void ReplaceAll(WorkingState& state, std::string_view Search, std::string_view Replacement,
                bool InBlocks, bool SkipScripts, Match Where = Match::kAnywhere);

// With `Index` on the "<" of a region's opening text, moves it to the second
// byte of the first `ClosingText` at or after it and returns true; returns
// false with `Index` at text.size() when there is none.
bool SkipPastClosingTag(std::string_view text, std::size_t& Index, std::string_view ClosingText);

// Rewrites each `OpenTag` as `OpenReplacement` and the next `CloseTag` after
// it as `CloseReplacement`, pairing by position alone. Requires, as both of
// Compress's argument sets have: lower-case tags; `OpenReplacement` no
// longer than `OpenTag`; both replacements together no longer than both
// tags; and neither tag's first byte inside a replacement past its first.
void ConvertCenteredParagraphs(WorkingState& state, std::string_view OpenTag,
                               std::string_view OpenReplacement, std::string_view CloseTag,
                               std::string_view CloseReplacement);

}  // namespace velmar

#endif  // VELMAR_ENGINE_PASSES_H_
