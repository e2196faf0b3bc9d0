// Whole Compress runs: the pass order, and the component's states.

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace velmar::testing {
namespace {

TEST(CompressTest, PassOrderWithAllOptions) {
  const CompressCase cases[] = {
      {"the example page",
       "<html>\r\n<body>\r\n  <p align=\"center\">  <strong>Hello</strong>\r\n  world</p>\r\n"
       "  <a href=\"x.htm\">Next  page</a>\r\n</body>\r\n</html>\r\n",
       kAll,
       "<html><body> <center> <b>Hello</b> world</center> <a href=x.htm>Next "
       "page</a></body></html>"},
      {"upper case page", "<P ALIGN=\"CENTER\">\r\n  <STRONG>Hi</STRONG>  there\r\n</P>\r\nx", kAll,
       "<center> <b>Hi</b> there</center>x"},
      {"all options off", "<p align=center>  a\r\n</p>", kNone, "<p align=center>  a\r\n</p>"},
      {"blank before > then centre", "<p align=center >x</p>", kSpaces | kCenter,
       "<center>x</center>"},
  };
  ExpectCompressCases(cases);
}

TEST(CompressTest, StatesAcrossCalls) {
  THTMLCompressor compressor;
  EXPECT_FALSE(compressor.HasDocument());
  compressor.Compress();  // nothing loaded: nothing happens
  EXPECT_FALSE(compressor.Compressed());
  EXPECT_EQ(compressor.Document(), "");

  ASSERT_TRUE(compressor.LoadFromMemory(std::string_view("a  b")));
  EXPECT_EQ(compressor.Document(), "a  b");
  EXPECT_EQ(compressor.Size(), 4);
  compressor.Compress();
  EXPECT_TRUE(compressor.Compressed());
  EXPECT_EQ(compressor.Document(), "a b");
  EXPECT_EQ(compressor.Size(), 4);
  EXPECT_EQ(compressor.CompressedSize(), 3);

  // A second Compress changes nothing, even with other options.
  compressor.SetSpaces(false);
  compressor.Compress();
  EXPECT_EQ(compressor.Document(), "a b");

  // An empty document compresses to an empty result.
  ASSERT_TRUE(compressor.LoadFromMemory(std::string_view()));
  EXPECT_FALSE(compressor.Compressed());
  compressor.Compress();
  EXPECT_TRUE(compressor.Compressed());
  EXPECT_EQ(compressor.CompressedSize(), 0);
}

TEST(CompressTest, AllOptionsOnAfterConstruction) {
  THTMLCompressor compressor;
  EXPECT_TRUE(compressor.SimpleTags() && compressor.Center() && compressor.InvCommas() &&
              compressor.Spaces() && compressor.Returns() && compressor.AllReturns() &&
              compressor.Webbots());
}

}  // namespace
}  // namespace velmar::testing
