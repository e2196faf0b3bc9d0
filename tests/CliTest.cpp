// The htmlcompress command, run as a real process: exit statuses, messages,
// standard input and output.

#include <string>

#include "CliSupport.h"
#include "HtmlGenerator.h"

namespace velmar::testing {
namespace {

TEST_F(CliTest, CompressesOneFileIntoAnotherSilently) {
  Write(Path("a.html"), "<p align=\"center\">\r\n  <strong>Hi</strong></p>\r\n");
  const Outcome run = Htmlcompress("a.html b.html");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Read(Path("b.html")), "<center> <b>Hi</b></center>");
}

TEST_F(CliTest, StandardInputToStandardOutput) {
  const Outcome run = Htmlcompress("- -", "a  b\r\n<p><em>x</em>");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "a b<p><i>x</i>");
}

TEST_F(CliTest, OptionListTurnsOnExactlyTheNamedOptions) {
  EXPECT_EQ(Htmlcompress("--options none - -", "<em>a  b</em>\r\n").out, "<em>a  b</em>\r\n");
  EXPECT_EQ(Htmlcompress("--options spaces - -", "<em>a  b</em>\r\n").out, "<em>a b</em>\r\n");
  EXPECT_EQ(Htmlcompress("--options SimpleTags,SPACES - -", "<em>a  b</em>\r\n").out,
            "<i>a b</i>\r\n");
  EXPECT_EQ(Htmlcompress("--options all - -", "<em>a  b</em>\r\n").out, "<i>a b</i>");
}

TEST_F(CliTest, StatsLine) {
  Write(Path("a.html"), "a    b");
  const Outcome run = Htmlcompress("--stats a.html b.html");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "a.html: 6 -> 3 bytes (-50.0%)\n");
}

TEST_F(CliTest, ReadAndWriteFailuresExitOneWithTheReason) {
  Write(Path("a.html"), "x");
  Outcome run = Htmlcompress("missing.html b.html");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "htmlcompress: cannot read 'missing.html': No such file or directory\n");
  EXPECT_FALSE(fs::exists(Path("b.html")));

  run = Htmlcompress("a.html nowhere/b.html");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "htmlcompress: cannot write 'nowhere/b.html': No such file or directory\n");

  fs::create_directory(Path("dir"));
  run = Htmlcompress("a.html dir");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "htmlcompress: cannot write 'dir': Is a directory\n");
}

TEST_F(CliTest, OutOfMemoryLeavesTheTargetIntact) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs more address space than the limit leaves";
#endif
  { std::ofstream(Path("huge.html"), std::ios::binary); }
  fs::resize_file(Path("huge.html"), std::uintmax_t{3} << 30);  // sparse
  Write(Path("target.html"), "old");
  const Outcome run = Htmlcompress("huge.html target.html", "", "ulimit -v 1048576; ");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "htmlcompress: out of memory\n");
  EXPECT_EQ(Read(Path("target.html")), "old");
}

TEST_F(CliTest, UsageErrorsExitTwo) {
  for (const char* arguments : {"", "only-one", "a b c", "--bogus a b", "--options a b"}) {
    SCOPED_TRACE(arguments);
    const Outcome run = Htmlcompress(arguments);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind("htmlcompress: ", 0), 0u) << run.err;
    EXPECT_EQ(run.out, "");
  }
  const Outcome run = Htmlcompress("--options Spaces,Tabs a b");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("'Tabs'"), std::string::npos) << run.err;
}

TEST_F(CliTest, VerifyKeepsAPageThatReadsDifferentlyUnchanged) {
  // A browser keeps every blank inside <listing>; the blank pass does not.
  const std::string page = "<p>a\n<listing>x  y</listing>\n";
  Write(Path("page.html"), page);
  Write(Path("fine.html"), "<p>\n  a  b\n</p>\n");
  Outcome run = Htmlcompress("--verify page.html out.html");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "htmlcompress: 'page.html': kept uncompressed: text in <listing> differs at line 2, "
            "column 10 of the original\n");
  EXPECT_EQ(Read(Path("out.html")), page);

  run = Htmlcompress("--verify --stats fine.html out.html");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Read(Path("out.html")), "<p> a b</p>");
  EXPECT_EQ(run.err.rfind("fine.html: 16 -> 11 bytes (-31.2%), verified in ", 0), 0u) << run.err;
}

TEST_F(CliTest, VerifyPassesGeneratedPagesUnderEveryOptionSet) {
  Write(Path("page.html"), velmar::bench::GenerateHtml(20000, 7));
  const char* names[] = {"SimpleTags", "Center",     "InvCommas", "Spaces",
                         "Returns",    "AllReturns", "Webbots"};
  for (unsigned mask = 0; mask < 128; ++mask) {
    std::string list;
    for (unsigned bit = 0; bit < 7; ++bit) {
      if (mask & (1u << bit)) list += (list.empty() ? "" : ",") + std::string(names[bit]);
    }
    const Outcome run =
        Htmlcompress("--verify --options " + (list.empty() ? std::string("none") : list) +
                     " page.html out.html");
    ASSERT_EQ(run.status, 0) << list << ": " << run.err;
  }
}

TEST_F(BatchTest, MirrorCompressesHtmlAndCopiesTheRest) {
  MakeSite();
  const Outcome run = Htmlcompress("--recursive site dist");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Read(Path("dist/index.html")), "<p>a b</p>");
  EXPECT_EQ(Read(Path("dist/sub/Page.HTM")), "<i>z</i>");
  EXPECT_EQ(Read(Path("dist/style.css")), "x  y\r\n");
  EXPECT_EQ(Read(Path("dist/logo.png")), Read(Path("site/logo.png")));
  EXPECT_TRUE(fs::is_symlink(Path("dist/link.html")));
  EXPECT_EQ(fs::read_symlink(Path("dist/link.html")), "index.html");
  EXPECT_EQ(fs::last_write_time(Path("dist/style.css")),
            fs::last_write_time(Path("site/style.css")));
  EXPECT_EQ(fs::status(Path("dist/style.css")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_NE(run.err.find("2 files compressed, 2 copied"), std::string::npos) << run.err;

  // Again over the existing mirror, with other thread counts: the same tree.
  const std::string first = Tree("dist");
  EXPECT_EQ(Htmlcompress("-j 1 -q --recursive site dist").status, 0);
  EXPECT_EQ(Htmlcompress("-j 4 -q --recursive site dist4").status, 0);
  EXPECT_EQ(Tree("dist"), first);
  EXPECT_EQ(Tree("dist4"), first);
}

TEST_F(BatchTest, MirrorReplacesAnOldLinkInsteadOfWritingThroughIt) {
  MakeSite();
  ASSERT_EQ(Htmlcompress("-q --recursive site dist").status, 0);
  fs::remove(Path("site/link.html"));
  Write(Path("site/link.html"), "<em>now a file</em>");
  ASSERT_EQ(Htmlcompress("-q --recursive site dist").status, 0);
  EXPECT_FALSE(fs::is_symlink(Path("dist/link.html")));
  EXPECT_EQ(Read(Path("dist/link.html")), "<i>now a file</i>");
  EXPECT_EQ(Read(Path("dist/index.html")), "<p>a b</p>");
}

TEST_F(BatchTest, MirrorInsideItsSourceIsRefused) {
  MakeSite();
  const Outcome run = Htmlcompress("--recursive site site/min");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("inside"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(Path("site/min")));
}

TEST_F(BatchTest, InPlaceReportsFailuresAndDoesTheRest) {
  MakeSite();
  fs::create_directory(Path("site/x.html"));
  const Outcome run =
      Htmlcompress("--in-place site/index.html site/x.html site/missing.html site/style.css");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("htmlcompress: cannot read 'site/x.html': Is a directory"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("htmlcompress: cannot read 'site/missing.html': No such file"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(Read(Path("site/index.html")), "<p>a b</p>");
  EXPECT_EQ(Read(Path("site/style.css")), "x y");  // named, so compressed
}

TEST_F(BatchTest, OutDirCollectsCompressedFiles) {
  MakeSite();
  const Outcome run = Htmlcompress("--quiet --out-dir min site/index.html site/sub/Page.HTM");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Tree("min"), "Page.HTM: <i>z</i>\nindex.html: <p>a b</p>\n");
}

TEST_F(BatchTest, VerifyKeepsFailingPagesAndCountsThem) {
  MakeSite();
  const std::string kept = "<listing>x  y</listing>";
  Write(Path("site/sub/listing.html"), kept);
  Outcome run = Htmlcompress("--verify --recursive site dist");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("'site/sub/listing.html': kept uncompressed: text in <listing> differs"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("3 files compressed, 2 copied, 1 kept uncompressed, "), std::string::npos)
      << run.err;
  EXPECT_EQ(Read(Path("dist/sub/listing.html")), kept);
  EXPECT_EQ(Read(Path("dist/index.html")), "<p>a b</p>");

  run = Htmlcompress("--verify --in-place site/sub/listing.html site/index.html");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Read(Path("site/sub/listing.html")), kept);
  EXPECT_EQ(Read(Path("site/index.html")), "<p>a b</p>");
}

TEST_F(BatchTest, ModesExcludeEachOther) {
  EXPECT_EQ(Htmlcompress("--in-place --out-dir d a.html").status, 2);
  EXPECT_EQ(Htmlcompress("--recursive onlyone").status, 2);
  EXPECT_EQ(Htmlcompress("--in-place").status, 2);
  EXPECT_EQ(Htmlcompress("-j 0 a b").status, 2);
}

TEST_F(CliTest, HelpAndVersion) {
  Outcome run = Htmlcompress("--help");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("--options"), std::string::npos);
  run = Htmlcompress("--version");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("htmlcompress ", 0), 0u);
}

}  // namespace
}  // namespace velmar::testing
