// The centred paragraph pass, with Center alone unless a row says otherwise.

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace velmar::testing {
namespace {

TEST(ConvertCenteredParagraphsTest, Pairs) {
  const CompressCase cases[] = {
      {"plain case", "<p align=center>Hello</p>", kCenter, "<center>Hello</center>"},
      {"quoted, second run", "<p align=\"center\">Hello</p>", kCenter, "<center>Hello</center>"},
      {"any letter case", "<P ALIGN=CENTER>Hello</P>", kCenter, "<center>Hello</center>"},
      {"empty paragraph", "<p align=center></p>", kCenter, "<center></center>"},
      {"close tags without partner stay", "</p><p align=center>A</p></p>", kCenter,
       "</p><center>A</center></p>"},
      {"first </p> is the partner", "<p align=center>A<p>B</p>C</p>", kCenter,
       "<center>A<p>B</center>C</p>"},
      {"no open tag sought while seeking close", "<p align=center>A<p align=center>B</p>C</p>",
       kCenter, "<center>A<p align=center>B</center>C</p>"},
      {"open tag without partner", "<p align=center>Hello", kCenter, "<center>Hello"},
      {"run 1 takes the only </p>", "<p align=center>A<p align=\"center\">B</p>", kCenter,
       "<center>A<center>B</center>"},
      {"run 2 pairs with the last </p>", "<p align=\"center\">A<p align=center>B</p>C</p>", kCenter,
       "<center>A<center>B</center>C</center>"},
      {"both runs with leftovers", "<p align=center>A</p>B</p><p align=\"center\">C", kCenter,
       "<center>A</center>B</p><center>C"},
      {"repeated pairs", "<p align=center>a</p><p align=center>b</p><p align=center>c</p>", kCenter,
       "<center>a</center><center>b</center><center>c</center>"},
      {"close tag inside a comment", "<p align=center><!-- </p> -->x</p>", kCenter,
       "<center><!-- </center> -->x</p>"},
      {"second blank", "<p  align=center>x</p>", kCenter, "<p  align=center>x</p>"},
      {"blank before >", "<p align=center >x</p>", kCenter, "<p align=center >x</p>"},
      {"single quotes", "<p align='center'>x</p>", kCenter, "<p align='center'>x</p>"},
      {"further attribute", "<p align=center class=x>x</p>", kCenter,
       "<p align=center class=x>x</p>"},
      {"close tag must be exact", "<p align=center></p >", kCenter, "<center></p >"},
      {"open tag cut by the end", "<p align=center", kCenter, "<p align=center"},
      {"nothing to pair", "x</p>", kCenter, "x</p>"},
      {"blank pass first", "<p align=center >x</p>", kSpaces | kCenter, "<center>x</center>"},
      {"quote pass first", "<p align=\"center\">x</p>", kInvCommas | kCenter, "<center>x</center>"},
  };
  ExpectCompressCases(cases);
}

TEST(ConvertCenteredParagraphsTest, CloseConversionsFitInTheGapLeftByOpenOnes) {
  // Many pairs back to back: every close conversion writes 5 bytes more than
  // it reads, into room the open conversion before it made.
  std::string input, expected;
  for (int k = 0; k < 1000; ++k) {
    input += "<p align=center></p>";
    expected += "<center></center>";
  }
  EXPECT_EQ(EngineCompress(input, kCenter), expected);
}

}  // namespace
}  // namespace velmar::testing
