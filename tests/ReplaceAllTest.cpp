// The substitution pass: blanks, line breaks, webbot tags and simple tags,
// through whole Compress runs with only the named options on, and single
// calls where a call's own behaviour is the point.

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"

namespace velmar::testing {
namespace {

using namespace std::string_literals;

TEST(ReplaceAllTest, Blanks) {
  const CompressCase cases[] = {
      {"two blanks", "x  y", kSpaces, "x y"},
      {"three", "x   y", kSpaces, "x y"},
      {"five", "x     y", kSpaces, "x y"},
      {"nine", "x         y", kSpaces, "x y"},
      {"blanks before a tag's >", "<a            >x", kSpaces, "<a>x"},
      {"only byte 32 is a blank", "a\t\tb  c", kSpaces, "a\t\tb c"},
      {"text of four blanks", "    ", kSpaces, " "},
      {"pre protected", "<pre>a  b</pre>  c", kSpaces, "<pre>a  b</pre> c"},
      {"PRE any case", "<PRE>a  b</Pre>  c", kSpaces, "<PRE>a  b</Pre> c"},
      {"textarea protected", "<textarea>a  b</textarea>  c", kSpaces,
       "<textarea>a  b</textarea> c"},
      {"script protected", "<script language=x>a  b</SCRIPT>  c", kSpaces,
       "<script language=x>a  b</SCRIPT> c"},
      {"region never closes", "a  b<pre>c  d", kSpaces, "a b<pre>c  d"},
      {"opener inside a comment", "<!-- <pre> -->a  b", kSpaces, "<!-- <pre> -->a  b"},
      {"regions do not nest", "<pre><pre></pre>a  b</pre>  c", kSpaces,
       "<pre><pre></pre>a b</pre> c"},
      {"inside a tag", "<a href=x   >", kSpaces, "<a href=x>"},
      {"blank after a tag's >", "<b> y", kSpaces, "<b> y"},
      {"blank pass before simple tags", "<strong >x</strong>", kSpaces | kSimpleTags, "<b>x</b>"},
  };
  ExpectCompressCases(cases);
}

TEST(ReplaceAllTest, LineBreaksRemoved) {
  const CompressCase cases[] = {
      {"CR LF between words", "a\r\nb", kAllReturns, "a\nb"},
      {"two CR LF", "a\r\n\r\nb", kAllReturns, "a\nb"},
      {"next to a blank", "a \r\nb", kAllReturns, "a b"},
      {"blank after", "a\r\n b", kAllReturns, "a b"},
      {"before a block tag", "a\r\n<p>", kAllReturns, "a<p>"},
      {"after a block tag", "<p>\r\nc", kAllReturns, "<p>c"},
      {"between tags", "<p>\r\n<b>x</b>\r\n</p>", kAllReturns, "<p><b>x</b></p>"},
      {"lone CR stays", "a\rb", kAllReturns, "a\rb"},
      {"lone LF stays", "a\nb", kAllReturns, "a\nb"},
      {"LF CR", "a\n\rb", kAllReturns, "a\rb"},
      {"CR CR", "a\r\rb", kAllReturns, "a\rb"},
      {"pre protected", "a\r\n<pre>b\r\nc</pre>\r\nd", kAllReturns, "a<pre>b\r\nc</pre>d"},
      {"PRE protected", "a\r\n<PRE>b\r\nc</PRE>\r\nd", kAllReturns, "a<PRE>b\r\nc</PRE>d"},
      {"doubled LF collapsed in script", "<script>a\n\nb\r\n</script>x", kAllReturns,
       "<script>a\nb\r\n</script>x"},
      {"CR calls pass over tags", "<img\r\nsrc=x>", kAllReturns, "<img\r\nsrc=x>"},
      {"LF deletion walks tags", "<img\r\n src=x>", kAllReturns, "<img\r src=x>"},
      // A missing neighbour counts as a blank.
      {"line break at the end goes", "x\r\ny\r\n", kAllReturns, "x\ny"},
      {"line break at the start goes", "\nx", kAllReturns, "x"},
      {"lone line break", "\r", kAllReturns, ""},
  };
  ExpectCompressCases(cases);
}

TEST(ReplaceAllTest, DoubledLineBreaksCollapsed) {
  const CompressCase cases[] = {
      {"three LF", "a\n\n\nb", kReturns, "a\nb"},
      {"three CR then LF", "a\r\r\r\nb", kReturns, "a\r\nb"},
      {"CR LF CR LF stays", "a\r\n\r\nb", kReturns, "a\r\n\r\nb"},
      {"inside a tag CR stays", "<p\r\r>a\r\rb", kReturns, "<p\r\r>a\rb"},
      {"inside a tag LF collapses", "<p\n\n>", kReturns, "<p\n>"},
      {"pre protected", "<pre>a\r\r\rb</pre>c\r\rd", kReturns, "<pre>a\r\r\rb</pre>c\rd"},
      {"script not protected", "<script>a\r\r\rb</script>", kReturns, "<script>a\rb</script>"},
      {"< without > ends the CR call", "a<b\r\r", kReturns, "a<b\r\r"},
      {"CR CR before <", "a\r\r<b", kReturns, "a\r<b"},
      {"opener inside a tag unseen", "<!-- <pre> -->a\r\r\rb", kReturns, "<!-- <pre> -->a\rb"},
      {"AllReturns wins over Returns", "a\r\n\r\nb", kReturns | kAllReturns, "a\nb"},
  };
  ExpectCompressCases(cases);
}

TEST(ReplaceAllTest, WebbotTags) {
  const CompressCase cases[] = {
      {"removed", "x<!--webbot bot='a' -->y", kReturns | kWebbots, "xy"},
      {"any case", "x<!--WebBot bot='a' -->y", kReturns | kWebbots, "xy"},
      {"blank before webbot", "x<!-- webbot bot='a' -->y", kReturns | kWebbots,
       "x<!-- webbot bot='a' -->y"},
      {"no >", "x<!--webbot bot='a'", kReturns | kWebbots, "x<!--webbot bot='a'"},
      {"first > ends it", "a<!--webbot x='>' -->b", kReturns | kWebbots, "a' -->b"},
      {"inside pre", "<pre><!--webbot bot='a' --></pre>x", kReturns | kWebbots,
       "<pre><!--webbot bot='a' --></pre>x"},
      {"needs a line-break option", "x<!--webbot bot='a' -->y", kWebbots | kSpaces,
       "x<!--webbot bot='a' -->y"},
      // The scan goes on where a removed tag began.
      {"two in a row", "a<!--webbot 1--><!--webbot 2-->b", kReturns | kWebbots, "ab"},
      {"CR CR right after", "a<!--webbot 1-->\r\r\rb", kReturns | kWebbots, "a\rb"},
      {"with AllReturns", "a\r\n<!--webbot x-->\r\nb", kAllReturns | kWebbots, "a\nb"},
  };
  ExpectCompressCases(cases);
}

TEST(ReplaceAllTest, SimpleTags) {
  const CompressCase cases[] = {
      {"strong any case", "<STRONG>x</Strong>", kSimpleTags, "<b>x</b>"},
      {"strike and em", "<strike>x</strike><EM>y</EM>", kSimpleTags, "<s>x</s><i>y</i>"},
      {"end tag alone", "</STRIKE>", kSimpleTags, "</s>"},
      {"repeated", "<strong><strong>", kSimpleTags, "<b><b>"},
      {"inside pre", "<pre><em>x</em></pre>", kSimpleTags, "<pre><i>x</i></pre>"},
      {"inside textarea", "<textarea><strong>x</strong></textarea>", kSimpleTags,
       "<textarea><b>x</b></textarea>"},
      {"not inside script", "<script><em>x</em></script>", kSimpleTags,
       "<script><em>x</em></script>"},
  };
  ExpectCompressCases(cases);
}

TEST(ReplaceAllTest, ShortenedStartTagsKeepTheirAttributes) {
  const CompressCase cases[] = {
      {"em with class", "<em class=\"x\">word</em> more", kSimpleTags,
       "<i class=\"x\">word</i> more"},
      {"STRONG with CR LF", "<STRONG\r\nid=a>x</STRONG>", kSimpleTags, "<b\r\nid=a>x</b>"},
      {"Strike with tab", "<Strike\tclass=a>x</strike>", kSimpleTags, "<s\tclass=a>x</s>"},
      {"em with LF", "<em\nx>", kSimpleTags, "<i\nx>"},
      {"em with CR", "<eM\rx>", kSimpleTags, "<i\rx>"},
      {"em with FF", "<em\fx>", kSimpleTags, "<i\fx>"},
      {"self-closing", "<strong/>", kSimpleTags, "<b/>"},
      {"longer names stay", "<embed><emphasis><strongest><strikeout>", kSimpleTags,
       "<embed><emphasis><strongest><strikeout>"},
      {"name at the end of the text", "x<em", kSimpleTags, "x<em"},
      {"not inside script", "<script><em class=x>y</em></script>", kSimpleTags,
       "<script><em class=x>y</em></script>"},
      {"inside pre", "<pre><strong id=a>x</strong></pre>", kSimpleTags, "<pre><b id=a>x</b></pre>"},
      {"with every option", "<p>\r\n  <em class=\"note\">Hi</em>\r\n</p>", kAll,
       "<p> <i class=note>Hi</i></p>"},
  };
  ExpectCompressCases(cases);
}

// A line break is the only gap between two words when an inline tag stands
// next to it: it goes only at the edge of a block, where no gap is drawn.
TEST(ReplaceAllTest, WordsNeverRunTogether) {
  const CompressCase cases[] = {
      {"inline tag after", "See the\n<a href=c.html>log</a> for", kAllReturns,
       "See the\n<a href=c.html>log</a> for"},
      {"inline tag before", "<code>len()</code>\ntwice", kAllReturns, "<code>len()</code>\ntwice"},
      {"inline tags on both sides", "<b>bold</b>\n<i>italic</i>", kAllReturns,
       "<b>bold</b>\n<i>italic</i>"},
      {"CR LF shortened to LF", "calling\r\n<code>x</code>", kAllReturns,
       "calling\n<code>x</code>"},
      {"lone CR stays", "a\r<img src=x>", kAllReturns, "a\r<img src=x>"},
      {"block start tag after", "text\n<p>more", kAllReturns, "text<p>more"},
      {"block end tag before", "</div>\nword", kAllReturns, "</div>word"},
      {"block end tag after", "word\r\n</li>", kAllReturns, "word</li>"},
      {"br", "a<br>\nb", kAllReturns, "a<br>b"},
      {"BR/ in capitals", "a<BR/>\r\nb", kAllReturns, "a<BR/>b"},
      {"h1 with attributes", "<H1 class=t>\nTitle", kAllReturns, "<H1 class=t>Title"},
      {"doctype", "<!DOCTYPE html>\n<html>", kAllReturns, "<!DOCTYPE html><html>"},
      {"b is not bdi", "x\n<bdi>y", kAllReturns, "x\n<bdi>y"},
      {"br is not brx", "x\n<brx>y</brx>\nz", kAllReturns, "x\n<brx>y</brx>\nz"},
      {"whole name: b stays, body goes", "x\n<b>y\n<body>", kAllReturns, "x\n<b>y<body>"},
      {"comment is inline", "a\n<!-- c -->\nb", kAllReturns, "a\n<!-- c -->\nb"},
      {"> inside a value makes the tag unknown", "<p title=\"a>b\">\nx", kAllReturns,
       "<p title=\"a>b\">\nx"},
      {"text > is no tag", "a > b\nc>\nd", kAllReturns, "a > b\nc>\nd"},
      {"blank next to it still goes", "<b>x</b> \n<i>y</i>", kAllReturns, "<b>x</b> <i>y</i>"},
      {"at the end of the text", "<b>x</b>\n", kAllReturns, "<b>x</b>"},
      {"at the start of the text", "\r\n<b>x</b>", kAllReturns, "<b>x</b>"},
      {"name running to the end is no tag", "x\n<p", kAllReturns, "x\n<p"},
      {"pre untouched", "<pre>a\n<p>b</pre>", kAllReturns, "<pre>a\n<p>b</pre>"},
      {"script untouched", "<script>a\n</div>\nb</script>", kAllReturns,
       "<script>a\n</div>\nb</script>"},
      {"with every option",
       "<p>See the\r\n  <a href=\"x.html\">log</a>\r\nfor <em>more</em>\r\n</p>", kAll,
       "<p>See the <a href=x.html>log</a>\nfor <i>more</i></p>"},
  };
  ExpectCompressCases(cases);
}

// The blank before ">" goes only where the ">" ends a tag.
TEST(ReplaceAllTest, BlankBeforeTagEnd) {
  const CompressCase cases[] = {
      {"start tag", "<p class=x >", kSpaces, "<p class=x>"},
      {"end tag", "</p >", kSpaces, "</p>"},
      {"comment end", "<!-- x -- >", kSpaces, "<!-- x -->"},
      {"text >", "<p>zoom is > 1</p>", kSpaces, "<p>zoom is > 1</p>"},
      {"< before a blank is text", "a < b > c", kSpaces, "a < b > c"},
      {"nothing before", " >", kSpaces, " >"},
      {"> inside a value", "<a title=\"x>y\" >", kSpaces, "<a title=\"x>y\" >"},
  };
  ExpectCompressCases(cases);
}

// Quoted attribute values are copied whole by every call.
TEST(ReplaceAllTest, QuotedValuesKeepTheirWhitespace) {
  const CompressCase cases[] = {
      {"title with line breaks and blanks",
       "<a title=\"error.Why?\n\n#include <iostream>\n\nusing  std;\">x</a>", kAllReturns | kSpaces,
       "<a title=\"error.Why?\n\n#include <iostream>\n\nusing  std;\">x</a>"},
      {"CR inside a value with > in it", "<p title=\"a>\r\n\r\nb\">\r\nx", kAllReturns,
       "<p title=\"a>\r\n\r\nb\">\nx"},
      {"single-quoted value", "<input value='a  b\r\n'>", kAllReturns | kSpaces,
       "<input value='a  b\r\n'>"},
      {"blanks between attributes still collapse", "<a  href=\"a  b\"   id=x  >", kSpaces,
       "<a href=\"a  b\" id=x>"},
      {"blank before > after a value", "<a href=\"a b\" >", kSpaces, "<a href=\"a b\">"},
      {"unquoted value", "<a href=x  id=y>", kSpaces, "<a href=x id=y>"},
      {"value that never closes", "<a title=\"a  b>c  d", kSpaces, "<a title=\"a b>c d"},
      {"blanks around =", "<a title = \"a  b\">", kSpaces, "<a title = \"a  b\">"},
      {"quote in a name is no value", "<a \"b  c\">", kSpaces, "<a \"b c\">"},
      {"end tag values", "</a x=\"  \">", kSpaces, "</a x=\"  \">"},
      {"tag name in a value", "<a title=\"<strong>x\"><strong>", kSimpleTags,
       "<a title=\"<strong>x\"><b>"},
      {"region opening in a value", "<a title=\"<pre>\">a  b</pre>", kSpaces,
       "<a title=\"<pre>\">a b</pre>"},
      {"tag open across a region", "<a <pre x=\"</pre>\"  y=\"a  b\">", kSpaces,
       "<a <pre x=\"</pre>\" y=\"a  b\">"},
      // Found by the fuzzer: the tag open at a region opening must be read
      // before the scan moves any of its bytes.
      {"tag open at a region opening", "\n\n<t='\n\n><a=\n\n\xe5<pre='</pre><a r='<pre'\n\n",
       kAllReturns, "<t='\n><a=\n\xe5<pre='</pre><a r='<pre'\n\n"},
      {"doubled LF in a value", "<a title=\"a\n\nb\">\n\nc", kReturns, "<a title=\"a\n\nb\">\nc"},
      {"CR CR in a value after >", "<a title=\"a>\r\r\rb\">\r\r\rc", kReturns,
       "<a title=\"a>\r\r\rb\">\rc"},
      {"with every option", "<input type=\"text\" value=\"two  words\" >\r\n", kAll,
       "<input type=text value=\"two  words\">"},
  };
  ExpectCompressCases(cases);
}

// Single calls, engine and reference side by side.
struct CallCase {
  const char* name;
  std::string input;
  std::string search;
  std::string replacement;
  bool in_blocks;
  bool skip_scripts;
  std::string expected;
};

TEST(ReplaceAllTest, SingleCalls) {
  const CallCase cases[] = {
      {"two blanks by one collapses any run", "x         y", "  ", " ", false, true, "x y"},
      {"four by one leaves 1", "x    y", "    ", " ", false, true, "x y"},
      {"four by one leaves 2", "x     y", "    ", " ", false, true, "x  y"},
      {"four by one leaves 3", "x      y", "    ", " ", false, true, "x   y"},
      {"four by one at 7", "x       y", "    ", " ", false, true, "x y"},
      {"four by one at 8", "x        y", "    ", " ", false, true, "x  y"},
      {"four by one at 9", "x         y", "    ", " ", false, true, "x   y"},
      {"CR LF deletion after a block tag", "<p>\r\n\r\nb", "\r\n", "", false, true, "<p>b"},
      {"CR LF after text > stays", "a>\r\nb", "\r\n", "", false, true, "a>\r\nb"},
      {"CR LF deletion between words", "a\r\n\r\nb", "\r\n", "", false, true, "a\r\nb"},
      {"capital letter in search", "<STRONG>", "<STRONG>", "<b>", true, true, "<STRONG>"},
      {"NUL and high bytes pass", "a\0\xff  b"s, "  ", " ", false, true, "a\0\xff b"s},
      {"empty text", "", "  ", " ", false, true, ""},
  };
  for (const CallCase& c : cases) {
    SCOPED_TRACE(std::string(c.name) + ": " + Escaped(c.input));
    const std::string engine = RunPass(c.input, kAll, [&](WorkingState& state) {
      ReplaceAll(state, c.search, c.replacement, c.in_blocks, c.skip_scripts);
    });
    std::string reference = c.input;
    reference::ReplaceAll(reference, c.search, c.replacement, c.in_blocks, c.skip_scripts, true);
    EXPECT_EQ(Escaped(engine), Escaped(c.expected));
    EXPECT_EQ(Escaped(reference), Escaped(c.expected));
  }
}

TEST(SkipPastClosingTagTest, StopsOnSecondByteOrAtTheEnd) {
  std::size_t index = 0;
  EXPECT_TRUE(SkipPastClosingTag("<pre>x</PRE>y", index, "</pre>"));
  EXPECT_EQ(index, 7u);
  index = 0;
  EXPECT_FALSE(SkipPastClosingTag("<pre>x</pr", index, "</pre>"));
  EXPECT_EQ(index, 10u);
}

}  // namespace
}  // namespace velmar::testing
