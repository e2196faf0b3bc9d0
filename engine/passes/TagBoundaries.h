// Which tags a line break may be removed next to, and which ">" ends a tag.
//
// A browser draws no gap at the edge of a block: whitespace between a word
// and <p>, </div> or <br> is never shown, while whitespace between a word
// and <a>, <code> or <img> is a visible blank. So a line break touching a
// tag can only go when that tag is a block boundary; anywhere else it is
// the one byte that keeps two words apart.
//
// Conventions:
//  1. A tag name is the bytes after "<" or "</" up to whitespace, "/" or
//     ">", compared in any letter case. A name that runs to the end of the
//     text is no tag.
//  2. The tag before a position is found by looking back to the nearest "<"
//     or ">": when that is another ">" (as in <a title="a>b">) or there is
//     none, the tag is unknown, which counts as inline.
//  3. Looking back only ever reaches the nearest "<" or ">", so the bytes
//     looked at from different positions do not overlap and a scan stays
//     linear.

#ifndef VELMAR_ENGINE_TAGBOUNDARIES_H_
#define VELMAR_ENGINE_TAGBOUNDARIES_H_

#include <cstddef>
#include <string_view>

namespace velmar {

// True when `name`, in lower case, is a block element's: one whose edges a
// browser draws no gap at.
bool IsBlockElementName(std::string_view name);

// True when the tag whose "<" is at `at` is a start or end tag of a block
// element (address, p, div, li, br, table, ... or a <!DOCTYPE>).
bool IsBlockTagAt(std::string_view text, std::size_t at);

// True when `before` ends with the ">" of a block element's tag.
bool EndsWithBlockTag(std::string_view before);

// True when a ">" that would follow `before` ends a tag: looking back, the
// nearest "<" or ">" is a "<" followed by a letter, "/", "!" or "?".
bool ClosesTag(std::string_view before);

}  // namespace velmar

#endif  // VELMAR_ENGINE_TAGBOUNDARIES_H_
