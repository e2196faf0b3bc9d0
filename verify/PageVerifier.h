// Velmar HTML Compressor: proof that a compressed page reads the same.
//
// Compare() parses the original page and its compressed form with a real
// HTML5 parser (Gumbo), building the document tree a browser builds, and
// walks both trees in document order:
//
//   velmar::verify::Compare(original, compressed)  // nullopt: they agree
//
// WHAT COUNTS AS THE SAME
//
//   Elements   the same, in the same nesting, except the renames the
//              compressor makes on purpose: strong, em and strike may be
//              b, i and s, and <p align=center> (that one attribute) may be
//              <center>.
//   Attributes the same names with the same values, in the same order; a
//              run of blanks in a value may be one blank.
//   Text       the same words with the same gaps between them: a run of
//              whitespace may shrink to one blank, and may vanish next to
//              the edge of a block element (p, div, li, br, table, ... the
//              compressor's list) or of the page, never between two words.
//              Text inside pre, textarea, listing, plaintext and xmp must be
//              exactly the same; in script, runs of line breaks and of
//              blanks may be collapsed; in style, whitespace outside
//              strings may be collapsed.
//   Comments   the same text, whitespace collapsed; FrontPage webbot
//              comments may go.
//   Doctype    the same name and identifiers, and the same quirks mode.
//
// The parser decodes nothing the compressor changes: both pages go through
// the same decoding, so any byte the compressor leaves alone reads the same.

#ifndef VELMAR_VERIFY_PAGEVERIFIER_H_
#define VELMAR_VERIFY_PAGEVERIFIER_H_

#include <optional>
#include <string>
#include <string_view>

namespace velmar::verify {

// Where two pages first read differently.
struct Difference {
  std::string what;     // "words run together", "attribute 'href' differs", ...
  unsigned line = 1;    // in the original page, from 1
  unsigned column = 1;  // in the original page, from 1, in bytes
};

// Parses both pages once each and compares what a reader gets from them.
// Returns nothing when they read the same.
std::optional<Difference> Compare(std::string_view original, std::string_view compressed);

}  // namespace velmar::verify

#endif  // VELMAR_VERIFY_PAGEVERIFIER_H_
