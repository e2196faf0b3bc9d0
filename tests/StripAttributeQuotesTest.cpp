// The attribute quote pass, with InvCommas alone. Quotes go only where a
// browser reads the unquoted value the same; everything else stays.

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace velmar::testing {
namespace {

TEST(StripAttributeQuotesTest, QuotesThatGo) {
  const CompressCase cases[] = {
      {"plain case", "<a href=\"x.htm\">Link</a>", kInvCommas, "<a href=x.htm>Link</a>"},
      {"several values", "<input type=\"text\" value=\"one\" name=\"q\">", kInvCommas,
       "<input type=text value=one name=q>"},
      {"blanks around =", "<a href = \"x\" >", kInvCommas, "<a href = x >"},
      {"value then line break", "<img src=\"a.gif\"\r\nalt=\"b\">", kInvCommas,
       "<img src=a.gif\r\nalt=b>"},
      {"end tag attributes", "</a x=\"y\">", kInvCommas, "</a x=y>"},
      {"upper case tag", "<A HREF=\"X\">", kInvCommas, "<A HREF=X>"},
      {"tag without > is handled to the end", "<a href=\"x\" ", kInvCommas, "<a href=x "},
      {"text after script closes", "<script>1</script x=\"y\"><a b=\"c\">", kInvCommas,
       "<script>1</script x=\"y\"><a b=c>"},
      {"longer name is no script", "<scriptx>\"a\"</script><a b=\"c\">", kInvCommas,
       "<scriptx>\"a\"</script><a b=c>"},
      {"single quote after the tag", "<b class=\"x\">'</b>", kInvCommas, "<b class=x>'</b>"},
      {"> inside an earlier value", "<a title=\"a>b\" href=\"c\">", kInvCommas,
       "<a title=\"a>b\" href=c>"},
  };
  ExpectCompressCases(cases);
}

TEST(StripAttributeQuotesTest, QuotesThatStay) {
  const CompressCase cases[] = {
      {"value with a blank", "<input value=\"two words\" name=\"q\">", kInvCommas,
       "<input value=\"two words\" name=q>"},
      {"any attribute with a blank", "<img alt=\"two words\" src=\"a.gif\">", kInvCommas,
       "<img alt=\"two words\" src=a.gif>"},
      {"tab", "<img alt=\"a\tb\">", kInvCommas, "<img alt=\"a\tb\">"},
      {"empty value", "<input value=\"\" name=q>", kInvCommas, "<input value=\"\" name=q>"},
      {"= in value", "<a href=\"?a=b\">", kInvCommas, "<a href=\"?a=b\">"},
      {"< and backquote", "<a b=\"<\" c=\"`\">", kInvCommas, "<a b=\"<\" c=\"`\">"},
      {"slash after value", "<img src=\"a.gif\"/>", kInvCommas, "<img src=\"a.gif\"/>"},
      {"no blank before next", "<a href=\"x\"title=\"y\">", kInvCommas, "<a href=\"x\"title=y>"},
      {"value at the end of the text", "<a href=\"x\"", kInvCommas, "<a href=\"x\""},
      {"quote in an unquoted value", "<a href=x?q=\"y\">", kInvCommas, "<a href=x?q=\"y\">"},
      {"quote in a name", "<a \"value=\"x y\">", kInvCommas, "<a \"value=\"x y\">"},
      {"quote after empty value", "<a href=\"\"x\"\">", kInvCommas, "<a href=\"\"x\"\">"},
      {"single-quoted value", "<a href=\"x\" onclick='f()'>", kInvCommas,
       "<a href=\"x\" onclick='f()'>"},
      {"single quote in a value", "<img alt=\"don't\">", kInvCommas, "<img alt=\"don't\">"},
      {"whole tag left, < included", "<a onclick='x<b href=\"c\">'>", kInvCommas,
       "<a onclick='x<b href=\"c\">'>"},
      {"quotes outside tags", "text \"quoted\" text", kInvCommas, "text \"quoted\" text"},
      {"< before a blank is text", "if a < b then \"q\" > c \"d\"", kInvCommas,
       "if a < b then \"q\" > c \"d\""},
      {"doctype", "<!DOCTYPE HTML \"x\">", kInvCommas, "<!DOCTYPE HTML \"x\">"},
      {"processing instruction", "<?xml version=\"1.0\" encoding=\"utf-8\"?>", kInvCommas,
       "<?xml version=\"1.0\" encoding=\"utf-8\"?>"},
      {"comment", "<!-- <a href=\"x\"> --><a href=\"y\">", kInvCommas,
       "<!-- <a href=\"x\"> --><a href=y>"},
      {"comment ended by a value", "<!-- <a b=\"-->\" c=\"d\">", kInvCommas,
       "<!-- <a b=\"-->\" c=\"d\">"},
      // "<![CDATA[" is a comment to the first ">" in HTML, CDATA to "]]>" in
      // SVG and MathML; the pass goes on only where both end alike.
      {"CDATA", "<![CDATA[ x > y ]]><a b=\"c\">", kInvCommas, "<![CDATA[ x > y ]]><a b=c>"},
      {"CDATA that may end at its first >", "<![CDATA[ x > <a b=\"c\"> ]]><a b=\"c\">", kInvCommas,
       "<![CDATA[ x > <a b=\"c\"> ]]><a b=\"c\">"},
      {"CDATA whose first > opens a comment", "<![CDATA[><!--]]><a b=\"c\" ", kInvCommas,
       "<![CDATA[><!--]]><a b=\"c\" "},
      {"bogus end tag", "</ a=\"b>c\" d=\"e\">", kInvCommas, "</ a=\"b>c\" d=\"e\">"},
      {"lone <", "<", kInvCommas, "<"},
  };
  ExpectCompressCases(cases);
}

TEST(StripAttributeQuotesTest, TextElementsLeftAlone) {
  const CompressCase cases[] = {
      {"script, opening tag included", "<SCRIPT type=\"a\">x=\"1\"</SCRIPT><b class=\"c\">",
       kInvCommas, "<SCRIPT type=\"a\">x=\"1\"</SCRIPT><b class=c>"},
      {"script never closes", "<script src=\"a.js\"><a href=\"b\">", kInvCommas,
       "<script src=\"a.js\"><a href=\"b\">"},
      {"longer closing name", "<script>a=\"</scripts>\"; <a b=\"c\"></script><a b=\"c\">",
       kInvCommas, "<script>a=\"</scripts>\"; <a b=\"c\"></script><a b=c>"},
      {"style", "<style>a[x=\"y\"]{}</style>", kInvCommas, "<style>a[x=\"y\"]{}</style>"},
      {"textarea", "<textarea><a b=\"c\"></textarea >", kInvCommas,
       "<textarea><a b=\"c\"></textarea >"},
      // Script text ends where the tokenizer's script data states end it.
      {"double-escaped script never ends", "<script><!--<script></script\r<p n=\"r\">", kInvCommas,
       "<script><!--<script></script\r<p n=\"r\">"},
      {"old document.write pattern",
       "<script><!-- document.write('<script src=\"a.js\"></script>'); "
       "document.write('<a href=\"x\">'); //--></script><a href=\"y\">",
       kInvCommas,
       "<script><!-- document.write('<script src=\"a.js\"></script>'); "
       "document.write('<a href=\"x\">'); //--></script><a href=y>"},
      {"escaped script ends at </script>", "<script>a<!--b</script>c<a d=\"e\">", kInvCommas,
       "<script>a<!--b</script>c<a d=e>"},
      {"--> leaves the double escape", "<script><!--<script>x-->y</script>z<a b=\"c\">", kInvCommas,
       "<script><!--<script>x-->y</script>z<a b=c>"},
      {"longer name does not escape twice", "<script><!--<scripts></script><a b=\"c\">", kInvCommas,
       "<script><!--<scripts></script><a b=c>"},
      // The closing tag is a tag to its real ">".
      {"closing tag swallows a tag", "<IfrAme></IFRAME\t<xmp><script></xmp <n\nt=\"x\"\x0c",
       kInvCommas, "<IfrAme></IFRAME\t<xmp><script></xmp <n\nt=\"x\"\x0c"},
      {"closing tag keeps its quotes", "<title>x</title a=\">\"><a b=\"c\">", kInvCommas,
       "<title>x</title a=\">\"><a b=c>"},
      {"title with > in its tag", "<title x=\"</title>\"><a b=\"c\"></title>", kInvCommas,
       "<title x=\"</title>\"><a b=\"c\"></title>"},
      {"xmp iframe noembed noframes",
       "<xmp><a b=\"c\"></xmp><iframe><a b=\"c\"></iframe><noembed><a b=\"c\"></noembed>"
       "<noframes><a b=\"c\"></noframes>",
       kInvCommas,
       "<xmp><a b=\"c\"></xmp><iframe><a b=\"c\"></iframe><noembed><a b=\"c\"></noembed>"
       "<noframes><a b=\"c\"></noframes>"},
  };
  ExpectCompressCases(cases);
}

TEST(StripAttributeQuotesTest, UnterminatedValueEndsThePass) {
  const CompressCase cases[] = {
      {"value runs across > to the next quote", "<input name=\"q\" value=\"abc><b c=\"d\">",
       kInvCommas, "<input name=q value=\"abc><b c=\"d\">"},
      {"no quote at all after", "<input name=\"q\" value=\"abc><b>x</b>", kInvCommas,
       "<input name=q value=\"abc><b>x</b>"},
      {"value crosses >", "<input value=\"abc<b class=\"c\">", kInvCommas,
       "<input value=\"abc<b class=\"c\">"},
  };
  ExpectCompressCases(cases);
}

}  // namespace
}  // namespace velmar::testing
