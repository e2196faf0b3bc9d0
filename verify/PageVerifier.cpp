// Compare: two parses, two readings, the first item where they part.

#include "PageVerifier.h"

#include <gumbo.h>

#include <memory>
#include <vector>

#include "Reading.h"

namespace velmar::verify {
namespace {

// A parsed page, freed with the parser's own call.
class Parsed {
 public:
  explicit Parsed(std::string_view page) {
    options_ = kGumboDefaultOptions;
    options_.max_errors = 0;  // the parse errors are not looked at
    options_.tab_stop = 1;    // columns in bytes
    output_ = gumbo_parse_with_options(&options_, page.data(), page.size());
  }
  ~Parsed() { gumbo_destroy_output(&options_, output_); }
  Parsed(const Parsed&) = delete;
  Parsed& operator=(const Parsed&) = delete;

  const GumboOutput& output() const { return *output_; }

 private:
  GumboOptions options_;
  GumboOutput* output_;
};

// Built piece by piece: GCC 12 warns falsely (-Wrestrict) about
// "'" + std::string at -O2.
std::string Quoted(std::string_view name) {
  std::string quoted(1, '\'');
  quoted += name;
  quoted += '\'';
  return quoted;
}

// What differs between two items that are not equal.
std::string Describe(const Item& was, const Item& is) {
  if (was.kind == Item::kGap) return "words run together";
  if (is.kind == Item::kGap) return "a blank appears";
  if (was.kind != is.kind) {
    if (was.kind == Item::kStart) return "element <" + was.name + "> lost or moved";
    if (was.kind == Item::kEnd || is.kind == Item::kEnd) return "elements nest differently";
    if (is.kind == Item::kStart) return "element <" + is.name + "> appears";
    return "text differs";
  }
  switch (was.kind) {
    case Item::kStart: {
      if (was.name != is.name) return "<" + was.name + "> became <" + is.name + ">";
      for (std::size_t k = 0; k < was.attributes.size(); ++k) {
        if (k >= is.attributes.size() || was.attributes[k].first != is.attributes[k].first) {
          return "attribute " + Quoted(was.attributes[k].first) + " lost";
        }
        if (was.attributes[k].second != is.attributes[k].second) {
          return "attribute " + Quoted(was.attributes[k].first) + " differs";
        }
      }
      return "attribute " + Quoted(is.attributes[was.attributes.size()].first) + " appears";
    }
    case Item::kEnd:
      return "elements nest differently";
    case Item::kWord:
      return "text differs";
    case Item::kText:
      return "text in <" + was.name + "> differs";
    case Item::kComment:
      return "comment differs";
    case Item::kDoctype:
      return "doctype or quirks mode differs";
    case Item::kGap:
      break;
  }
  return "text differs";
}

bool Same(const Item& a, const Item& b) {
  return a.kind == b.kind && a.name == b.name && a.text == b.text && a.attributes == b.attributes;
}

Difference At(std::string what, const GumboSourcePosition& where) {
  return {std::move(what), where.line == 0 ? 1 : where.line, where.column == 0 ? 1 : where.column};
}

}  // namespace

std::optional<Difference> Compare(std::string_view original, std::string_view compressed) {
  const std::vector<Item> was = ReadPage(Parsed(original).output());
  const std::vector<Item> is = ReadPage(Parsed(compressed).output());
  const std::size_t common = std::min(was.size(), is.size());
  for (std::size_t k = 0; k < common; ++k) {
    if (!Same(was[k], is[k])) return At(Describe(was[k], is[k]), was[k].where);
  }
  if (was.size() > common) return At("content lost", was[common].where);
  if (is.size() > common) {
    return At("content appears", was.empty() ? GumboSourcePosition{} : was.back().where);
  }
  return std::nullopt;
}

}  // namespace velmar::verify
