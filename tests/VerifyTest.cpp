// The page verifier: pairs of pages that read the same, and pairs that do
// not, with what the verifier says and where.

#include <gtest/gtest.h>

#include <string>

#include "PageVerifier.h"

namespace velmar::verify {
namespace {

struct PagePair {
  const char* name;
  std::string original;
  std::string compressed;
};

TEST(VerifyTest, PagesThatReadTheSame) {
  const PagePair cases[] = {
      {"identical", "<p>Hello</p>", "<p>Hello</p>"},
      {"strong em strike", "<strong>a</strong> <em>b</em> <strike>c</strike>",
       "<b>a</b> <i>b</i> <s>c</s>"},
      {"centred paragraph", "<p align=\"CENTER\">x</p>y", "<center>x</center>y"},
      {"quotes dropped", "<a href=\"x.htm\" class=\"n\">x</a>", "<a href=x.htm class=n>x</a>"},
      {"whitespace at block edges", "<div>\n  <p>\n    a\n  </p>\n</div>\n<ul>\n <li>x</li>\n</ul>",
       "<div><p>a</p></div><ul><li>x</li></ul>"},
      {"blank runs collapsed", "<p>a   b\n\n c</p>", "<p>a b c</p>"},
      {"line break kept between words", "See the\n<a href=x>log</a>", "See the\n<a href=x>log</a>"},
      {"br", "a<br>\nb", "a<br>b"},
      {"head", "<html>\n<head>\n  <title>T</title>\n</head>\n<body>\nx\n</body>\n</html>\n",
       "<html><head><title>T</title></head><body>x</body></html>"},
      {"comment whitespace", "<!--  a\n\n b -->x", "<!-- a b -->x"},
      {"webbot comment removed", "a <!--webbot bot=x --> b", "a b"},
      {"script line breaks collapsed", "<script>a\n\n\nb</script>", "<script>a\nb</script>"},
      {"style whitespace outside strings", "<style>p {\n  color: red;\n}</style>",
       "<style>p { color: red; }</style>"},
      {"value blanks collapsed", "<a title=\"a   b\">x</a>", "<a title=\"a b\">x</a>"},
      {"doctype", "<!DOCTYPE html>\n<html>", "<!DOCTYPE html><html>"},
  };
  for (const PagePair& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<Difference> difference = Compare(c.original, c.compressed);
    EXPECT_FALSE(difference) << difference->what;
  }
}

struct Failing {
  const char* name;
  std::string original;
  std::string compressed;
  std::string what;
  unsigned line;
  unsigned column;
};

TEST(VerifyTest, PagesThatDoNotReadTheSame) {
  const Failing cases[] = {
      {"words joined across <a>", "<p>See the\n<a href=x>log</a></p>",
       "<p>See the<a href=x>log</a></p>", "words run together", 1, 11},
      {"words joined in text", "<p>one two</p>", "<p>onetwo</p>", "text differs", 1, 4},
      {"attribute value changed", "<a title=\"a b\">x</a>", "<a title=\"ab\">x</a>",
       "attribute 'title' differs", 1, 1},
      {"attribute lost", "<a href=x id=y>x</a>", "<a href=x>x</a>", "attribute 'id' lost", 1, 1},
      {"</p> paired with the wrong paragraph", "<p align=center>A<p>B</p>C</p>",
       "<center>A<p>B</center>C</p>", "elements nest differently", 1, 18},
      {"text changed in pre", "<p>x</p>\n<pre>a  b</pre>", "<p>x</p><pre>a b</pre>",
       "text in <pre> differs", 2, 6},
      {"text changed in listing", "<listing>a  b</listing>", "<listing>a b</listing>",
       "text in <listing> differs", 1, 10},
      {"string changed in style", "<style>p{content:\"a  b\"}</style>",
       "<style>p{content:\"a b\"}</style>", "text in <style> differs", 1, 8},
      {"renamed to something else", "<em>x</em>", "<b>x</b>", "<i> became <b>", 1, 1},
      {"quirks mode", "<!DOCTYPE html><p>x", "<p>x", "doctype or quirks mode differs", 1, 1},
      {"comment changed", "<!-- a -->", "<!-- b -->", "comment differs", 1, 1},
      {"element lost", "<p>a</p><p>b</p>", "<p>a</p>", "element <p> lost or moved", 1, 9},
  };
  for (const Failing& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<Difference> difference = Compare(c.original, c.compressed);
    ASSERT_TRUE(difference);
    EXPECT_EQ(difference->what, c.what);
    EXPECT_EQ(difference->line, c.line);
    EXPECT_EQ(difference->column, c.column);
  }
}

}  // namespace
}  // namespace velmar::verify
