// ReadPage: a parsed page as a flat list of items; see Reading.h.

#include "Reading.h"

#include <cstring>

#include "TagBoundaries.h"

namespace velmar::verify {
namespace {

bool IsSpace(char c) { return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' '; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

std::string Lowered(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = Lower(c);
  return lowered;
}

// Runs of blanks (byte 32) as one blank.
std::string CollapseBlanks(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' && !out.empty() && out.back() == ' ') continue;
    out += c;
  }
  return out;
}

// Runs of whitespace as one blank.
std::string CollapseWhitespace(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (IsSpace(c)) {
      if (out.empty() || out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

// Script text: runs of line breaks and runs of blanks as one.
std::string CollapseScript(std::string_view text) {
  std::string out;
  for (char c : text) {
    if ((c == '\n' || c == '\r' || c == ' ') && !out.empty() && out.back() == c) continue;
    out += c;
  }
  return out;
}

// Style text: whitespace outside strings as one blank; strings exact.
std::string CollapseStyle(std::string_view text) {
  std::string out;
  char quote = 0;
  for (std::size_t k = 0; k < text.size(); ++k) {
    const char c = text[k];
    if (quote != 0) {
      out += c;
      if (c == '\\' && k + 1 < text.size()) {
        out += text[++k];
      } else if (c == quote) {
        quote = 0;
      }
    } else if (IsSpace(c)) {
      if (out.empty() || out.back() != ' ') out += ' ';
    } else {
      if (c == '"' || c == '\'') quote = c;
      out += c;
    }
  }
  return out;
}

// The element's name as a reading spells it (convention 1, renames aside).
std::string ElementName(const GumboElement& element) {
  std::string name;
  if (element.tag != GUMBO_TAG_UNKNOWN) {
    name = gumbo_normalized_tagname(element.tag);
  } else {
    GumboStringPiece piece = element.original_tag;
    gumbo_tag_from_original_text(&piece);
    std::size_t length = 0;
    while (length < piece.length && !IsSpace(piece.data[length]) && piece.data[length] != '/' &&
           piece.data[length] != '>') {
      ++length;
    }
    name.assign(piece.data, length);
  }
  name = Lowered(name);
  if (element.tag_namespace == GUMBO_NAMESPACE_SVG) return "svg:" + name;
  if (element.tag_namespace == GUMBO_NAMESPACE_MATHML) return "math:" + name;
  return name;
}

bool IsPreformatted(std::string_view name) {
  return name == "pre" || name == "textarea" || name == "listing" || name == "plaintext" ||
         name == "xmp";
}

bool IsWebbot(std::string_view comment) {
  return comment.size() >= 6 && Lowered(comment.substr(0, 6)) == "webbot";
}

// Where each byte of a text node lies, when its text is its source.
class Cursor {
 public:
  Cursor(const GumboText& text) : where_(text.start_pos) {
    exact_ = text.original_text.length == std::strlen(text.text) &&
             std::memcmp(text.original_text.data, text.text, text.original_text.length) == 0;
  }
  const GumboSourcePosition& where() const { return where_; }
  void Pass(char c) {
    if (!exact_) return;
    ++where_.offset;
    if (c == '\n') {
      ++where_.line;
      where_.column = 1;
    } else {
      ++where_.column;
    }
  }

 private:
  GumboSourcePosition where_;
  bool exact_;
};

class Reader {
 public:
  std::vector<Item> Read(const GumboNode* document) {
    const GumboDocument& doc = document->v.document;
    if (doc.has_doctype || doc.doc_type_quirks_mode != GUMBO_DOCTYPE_NO_QUIRKS) {
      Item item(Item::kDoctype);
      item.text = std::string(doc.name) + '\n' + doc.public_identifier + '\n' +
                  doc.system_identifier + '\n' + std::to_string(doc.doc_type_quirks_mode);
      items_.push_back(std::move(item));
    }
    // Depth-first with an explicit stack: pages nest deeper than a thread's
    // stack would like.
    struct Frame {
      const GumboNode* node;
      std::size_t next_child;
      std::string name;
      bool block;
    };
    std::vector<Frame> stack;
    stack.push_back({document, 0, "", false});
    while (!stack.empty()) {
      Frame& frame = stack.back();
      const GumboVector& children = frame.node->type == GUMBO_NODE_DOCUMENT
                                        ? frame.node->v.document.children
                                        : frame.node->v.element.children;
      if (frame.next_child == children.length) {
        if (frame.node->type != GUMBO_NODE_DOCUMENT) {
          Item item(Item::kEnd);
          item.block = frame.block;
          item.name = frame.name;
          item.where = frame.node->v.element.end_pos;
          items_.push_back(std::move(item));
          Leave(frame.name);
        }
        stack.pop_back();
        continue;
      }
      const auto* child = static_cast<const GumboNode*>(children.data[frame.next_child++]);
      switch (child->type) {
        case GUMBO_NODE_ELEMENT:
        case GUMBO_NODE_TEMPLATE: {
          Item item = Start(child->v.element);
          Enter(item.name);
          stack.push_back({child, 0, item.name, item.block});
          items_.push_back(std::move(item));
          break;
        }
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
        case GUMBO_NODE_CDATA:
          Text(child->v.text, stack.back().name);
          break;
        case GUMBO_NODE_COMMENT:
          if (!IsWebbot(child->v.text.text)) {
            Item item(Item::kComment);
            item.text = CollapseWhitespace(child->v.text.text);
            item.where = child->v.text.start_pos;
            items_.push_back(std::move(item));
          }
          break;
        case GUMBO_NODE_DOCUMENT:
          break;
      }
    }
    return DropGapsAtEdges();
  }

 private:
  static Item Start(const GumboElement& element) {
    Item item(Item::kStart);
    item.name = ElementName(element);
    item.where = element.start_pos;
    for (unsigned k = 0; k < element.attributes.length; ++k) {
      const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[k]);
      item.attributes.emplace_back(Lowered(attribute->name), CollapseBlanks(attribute->value));
    }
    if (item.name == "strong") item.name = "b";
    if (item.name == "em") item.name = "i";
    if (item.name == "strike") item.name = "s";
    if (item.name == "p" && item.attributes.size() == 1 && item.attributes[0].first == "align" &&
        Lowered(item.attributes[0].second) == "center") {
      item.name = "center";
      item.attributes.clear();
    }
    item.block = IsBlockElementName(item.name);
    return item;
  }

  void Enter(const std::string& name) {
    if (IsPreformatted(name)) preformatted_.push_back(name);
  }
  void Leave(const std::string& name) {
    if (IsPreformatted(name)) preformatted_.pop_back();
  }

  void Text(const GumboText& text, const std::string& parent) {
    const std::string_view content = text.text;
    if (!preformatted_.empty() || parent == "script" || parent == "style") {
      Item item(Item::kText);
      item.name = preformatted_.empty() ? parent : preformatted_.back();
      item.text = !preformatted_.empty() ? std::string(content)
                  : parent == "script"   ? CollapseScript(content)
                                         : CollapseStyle(content);
      item.where = text.start_pos;
      items_.push_back(std::move(item));
      return;
    }
    Cursor cursor(text);
    for (std::size_t k = 0; k < content.size();) {
      const bool space = IsSpace(content[k]);
      Item item(space ? Item::kGap : Item::kWord);
      item.where = cursor.where();
      const std::size_t begin = k;
      while (k < content.size() && IsSpace(content[k]) == space) cursor.Pass(content[k++]);
      if (!space) item.text.assign(content.substr(begin, k - begin));
      if (space && !items_.empty() && items_.back().kind == Item::kGap) continue;
      items_.push_back(std::move(item));
    }
  }

  // Convention 2: a gap at the start or end of a line is no gap. A browser
  // removes whitespace there (CSS Text 3, 4.1.2) also across the edges of
  // inline elements, comments and elements it does not draw; atomic inline
  // elements such as <img> are content.
  std::vector<Item> DropGapsAtEdges() {
    std::vector<Item> kept;
    kept.reserve(items_.size());
    for (std::size_t k = 0; k < items_.size(); ++k) {
      if (items_[k].kind == Item::kGap && (AtLineEdge(kept.rbegin(), kept.rend()) ||
                                           AtLineEdge(items_.begin() + k + 1, items_.end()))) {
        continue;
      }
      kept.push_back(std::move(items_[k]));
    }
    return kept;
  }

  // Whether the items from `from` on, up to the first one that draws
  // something, reach a block edge or the end of the page.
  template <typename Iterator>
  static bool AtLineEdge(Iterator from, Iterator end) {
    constexpr int kLookLimit = 64;  // a page nests far less; beyond, not an edge
    for (int seen = 0; from != end; ++from, ++seen) {
      const Item& item = *from;
      if (seen == kLookLimit) return false;
      if (item.kind == Item::kComment || item.kind == Item::kGap) continue;
      if (item.kind == Item::kText && (item.name == "script" || item.name == "style")) continue;
      if (item.kind != Item::kStart && item.kind != Item::kEnd) return false;
      if (item.block) return true;
      if (IsAtomicInline(item.name)) return false;
    }
    return true;
  }

  static bool IsAtomicInline(std::string_view name) {
    for (std::string_view atomic :
         {"img", "input", "button", "select", "textarea", "iframe", "object", "embed", "video",
          "audio", "canvas", "meter", "progress", "svg:svg", "math:math", "applet", "keygen"}) {
      if (name == atomic) return true;
    }
    return false;
  }

  std::vector<Item> items_;
  std::vector<std::string> preformatted_;  // the open pre, textarea, ... elements
};

}  // namespace

std::vector<Item> ReadPage(const GumboOutput& output) { return Reader().Read(output.document); }

}  // namespace velmar::verify
