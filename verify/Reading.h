// A reading: what a reader gets from a parsed page, as a flat list of items
// in document order, made so that two pages read the same exactly when their
// readings are equal item by item (see PageVerifier.h for what that allows).
//
// Conventions:
//  1. Element names are lower case, prefixed "svg:" or "math:" outside
//     HTML. The compressor's renames are undone into one spelling on both
//     sides: strong, em, strike read as b, i, s, and a p whose only
//     attribute is align=center reads as center without attributes.
//  2. Ordinary text is split into words and gaps (one gap for any run of
//     whitespace). A gap next to the edge of a block element, or at either
//     end of the page, is dropped; so is a webbot comment, after which two
//     gaps that meet become one.
//  3. Text in pre, textarea, listing, plaintext and xmp is one item, exact;
//     so is script text with runs of line breaks and of blanks collapsed,
//     and style text with whitespace outside strings collapsed.

#ifndef VELMAR_VERIFY_READING_H_
#define VELMAR_VERIFY_READING_H_

#include <gumbo.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmar::verify {

struct Item {
  enum Kind : unsigned char { kStart, kEnd, kWord, kGap, kText, kComment, kDoctype };
  explicit Item(Kind of) : kind(of) {}

  Kind kind;
  bool block = false;  // kStart, kEnd: a block element
  std::string name;    // kStart, kEnd: the element; kText: its container
  std::string text;    // kWord, kText, kComment, kDoctype
  std::vector<std::pair<std::string, std::string>> attributes;  // kStart
  GumboSourcePosition where{};                                  // in the page
};

// The reading of a parsed page.
std::vector<Item> ReadPage(const GumboOutput& output);

}  // namespace velmar::verify

#endif  // VELMAR_VERIFY_READING_H_
