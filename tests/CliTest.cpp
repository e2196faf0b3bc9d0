// The htmlcompress command, run as a real process: exit statuses, messages,
// standard input and output.

#include <cctype>
#include <set>
#include <string>

#include "CliSupport.h"
#include "Figures.h"
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

TEST_F(CliTest, StandardStreamsByDefault) {
  Write(Path("page.html"), "<p>a  b</p>\n");
  const struct {
    const char* arguments;
    std::string input;
    std::string out;
    const char* written;  // the target file, if any
  } cases[] = {
      {"page.html", "", "<p>a b</p>", nullptr},
      {"", "<p>x  y</p>", "<p>x y</p>", nullptr},
      {"-", "<p>x  y</p>", "<p>x y</p>", nullptr},
      {"- -", "<p>x  y</p>", "<p>x y</p>", nullptr},
      {"page.html -o out.html", "", "", "out.html"},
      {"--output out.html", "<p>x  y</p>", "", "out.html"},
      {"page.html out.html", "", "", "out.html"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    fs::remove(Path("out.html"));
    const Outcome run = Htmlcompress(c.arguments, c.input);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, c.out);
    if (c.written) {
      EXPECT_FALSE(Read(Path(c.written)).empty());
    }
  }
}

TEST_F(CliTest, UsageErrorsExitTwo) {
  const struct {
    const char* arguments;
    std::string message;  // the start of the one line on standard error
  } cases[] = {
      {"a b c", "htmlcompress: too many arguments"},
      {"a b -o c", "htmlcompress: TARGET and -o both given"},
      {"-j 0 a b", "htmlcompress: -j needs a number of 1 or more\n"},
      {"-j two a b", "htmlcompress: -j needs a number of 1 or more\n"},
      {"--options Space a b",
       "htmlcompress: unknown option name 'Space'; did you mean 'Spaces'?\n"},
      {"--options Tabs a b", "htmlcompress: unknown option name 'Tabs' (see htmlcompress --help)"},
      {"--options all,Spaces a b", "htmlcompress: 'all' and 'none' stand alone in --options"},
      {"--bogus a b", "htmlcompress: "},
      {"--recursive a", "htmlcompress: --recursive needs SRC and DST"},
      {"--recursive a b c", "htmlcompress: too many arguments"},
      {"--in-place", "htmlcompress: no FILE given"},
      {"--in-place -o x a", "htmlcompress: -o goes with one page only"},
      {"--recursive --in-place a b", "htmlcompress: --recursive, --in-place and --out-dir exclude"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    const Outcome run = Htmlcompress(c.arguments);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind(c.message, 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.out, "");
  }
  // Blanks around the commas are fine.
  EXPECT_EQ(Htmlcompress("--options 'Spaces, AllReturns' - -", "a  b\n").out, "a b");
}

TEST_F(CliTest, TerminalAsSourceIsAUsageErrorNotAWait) {
  // `script` gives the command a terminal as its standard input; what the
  // command prints arrives on script's standard output.
  const std::string command = "cd '" + folder_.string() +
                              "' && script -qec \"'" HTMLCOMPRESS_BINARY
                              "'\" /dev/null </dev/null >.stdout 2>&1";
  const int raw = std::system(command.c_str());
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 2);
  EXPECT_NE(Read(Path(".stdout")).find("no SOURCE given and standard input is a terminal"),
            std::string::npos)
      << Read(Path(".stdout"));
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

TEST_F(CliTest, HelpTeachesAndTheManPageAgrees) {
  const Outcome run = Htmlcompress("--help");
  EXPECT_EQ(run.status, 0);
  for (const char* part :
       {"htmlcompress [OPTIONS] [SOURCE [TARGET]]", "htmlcompress [OPTIONS] --recursive SRC DST",
        "--in-place FILE...", "--out-dir DIR FILE...", "--options LIST", "-j,--jobs N",
        "SimpleTags", "Center", "InvCommas", "Spaces", "Returns", "AllReturns", "Webbots",
        "*.ephtm", "Examples:", "Exit status:"}) {
    EXPECT_NE(run.out.find(part), std::string::npos) << part;
  }
  // Every option in --help is in the man page, and the other way round.
  auto options = [](const std::string& text, const std::string& marker) {
    std::set<std::string> found;
    for (std::size_t at = text.find(marker); at != std::string::npos;
         at = text.find(marker, at + 1)) {
      std::size_t end = at + marker.size();
      std::string name;
      // Letters and "-", which roff writes "\\-".
      for (; end < text.size(); ++end) {
        if (text.compare(end, 2, "\\-") == 0) ++end;
        if (!std::isalnum(static_cast<unsigned char>(text[end])) && text[end] != '-') break;
        name += text[end];
      }
      if (!name.empty()) found.insert(name);
    }
    return found;
  };
  const std::set<std::string> in_help = options(run.out, "--");
  const std::set<std::string> in_man = options(Read(HTMLCOMPRESS_MAN_PAGE), "\\fB\\-\\-");
  EXPECT_EQ(in_help, in_man);
  EXPECT_GE(in_help.size(), 11u);

  const Outcome version = Htmlcompress("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("htmlcompress ", 0), 0u);
}

TEST(FiguresTest, SizesAndCountsReadAsWords) {
  EXPECT_EQ(htmlcompress::SizeChange(770, 663), "770 -> 663 bytes (-13.9%)");
  EXPECT_EQ(htmlcompress::SizeChange(212892836, 195789119),
            "212,892,836 -> 195,789,119 bytes (203 MiB -> 187 MiB, -8.0%)");
  EXPECT_EQ(htmlcompress::SizeChange(40, 40), "40 -> 40 bytes (unchanged)");
  EXPECT_EQ(htmlcompress::SizeChange(0, 0), "0 -> 0 bytes (unchanged)");
  EXPECT_EQ(htmlcompress::Counted(1, "file"), "1 file");
  EXPECT_EQ(htmlcompress::Counted(0, "file"), "0 files");
  EXPECT_EQ(htmlcompress::Readable(1536), "1.5 KiB");
}

}  // namespace
}  // namespace velmar::testing
