// The htmlcompress command, run as a real process: exit statuses, messages,
// standard input and output.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "htmlcompress-cli-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path Path(const std::string& name) const { return folder_ / name; }
  static void Write(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
  }
  static std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  // Runs htmlcompress with `arguments` (shell words) in the test's folder.
  // `prefix` runs first in the same shell (a resource limit, say).
  Outcome Htmlcompress(const std::string& arguments, const std::string& input = "",
                       const std::string& prefix = "") {
    Write(Path(".stdin"), input);
    const std::string command = "cd '" + folder_.string() + "' && " + prefix +
                                "'" HTMLCOMPRESS_BINARY "' " + arguments +
                                " <.stdin >.stdout 2>.stderr";
    const int raw = std::system(command.c_str());
    Outcome run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Read(Path(".stdout")),
                Read(Path(".stderr"))};
    return run;
  }

  fs::path folder_;
};

TEST_F(CliTest, CompressesOneFileIntoAnotherSilently) {
  Write(Path("a.html"), "<p align=\"center\">\r\n  <strong>Hi</strong></p>\r\n");
  const Outcome run = Htmlcompress("a.html b.html");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Read(Path("b.html")), "<center> <b>Hi</b></center>");
}

TEST_F(CliTest, StandardInputToStandardOutput) {
  const Outcome run = Htmlcompress("- -", "a  b\r\n<em>x</em>");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "a b<i>x</i>");
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

TEST_F(CliTest, HelpAndVersion) {
  Outcome run = Htmlcompress("--help");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("--options"), std::string::npos);
  run = Htmlcompress("--version");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("htmlcompress ", 0), 0u);
}

}  // namespace
