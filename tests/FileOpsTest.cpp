// LoadFromFile and SaveToFile on a real disk, in a fresh folder per test.
// Tests run as root, so failures are provoked by means that stop root too:
// a directory where a file is expected, a missing folder, a file-size limit
// in a child process, a child that gives up its privileges.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>

#include "FileIo.h"
#include "HTMLCompressor.h"
#include "TempFolder.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;

class FileOpsTest : public testing::TempFolderTest {
 protected:
  // Runs `body` in a child process and returns its exit status.
  static int InChild(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
};

TEST_F(FileOpsTest, LoadCompressSave) {
  Write(Path("in.html"), "<p align=center>  Hi</p>\r\n");
  THTMLCompressor compressor;
  ASSERT_TRUE(compressor.LoadFromFile(Path("in.html")));
  compressor.Compress();
  ASSERT_TRUE(compressor.SaveToFile(Path("out.html")));
  EXPECT_EQ(Read(Path("out.html")), "<center> Hi</center>");
  EXPECT_EQ(EntryCount(), 2u);
}

TEST_F(FileOpsTest, LoadFailuresGiveTheReasonAndLeaveTheComponentEmpty) {
  fs::create_directory(Path("dir.html"));
  Write(Path("good.html"), "x");
  Write(Path("target.html"), "old");
  const struct {
    const char* name;
    fs::path source;
    std::errc reason;
  } cases[] = {
      {"missing", Path("missing.html"), std::errc::no_such_file_or_directory},
      {"missing folder", Path("nowhere/a.html"), std::errc::no_such_file_or_directory},
      {"directory", Path("dir.html"), std::errc::is_a_directory},
      {"empty name", fs::path(), std::errc::no_such_file_or_directory},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    THTMLCompressor compressor;
    ASSERT_TRUE(compressor.LoadFromFile(Path("good.html")));
    std::error_code error;
    EXPECT_FALSE(compressor.LoadFromFile(c.source, error));
    EXPECT_TRUE(error == c.reason) << error.message();
    EXPECT_FALSE(compressor.HasDocument());
    EXPECT_EQ(compressor.Size(), 0);
    compressor.Compress();
    EXPECT_FALSE(compressor.Compressed());
    EXPECT_FALSE(compressor.SaveToFile(Path("target.html")));
    EXPECT_EQ(Read(Path("target.html")), "old");
  }
}

TEST_F(FileOpsTest, ReadOnlySourceLoads) {
  // Root may open any file for writing, so a child that has given up root
  // shows that the source is opened for reading only.
  Write(Path("ro.html"), "a  b");
  fs::permissions(Path("ro.html"),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(folder_, fs::perms::all);
  const int status = InChild([&] {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) return 3;
    if (::access(Path("ro.html").c_str(), W_OK) == 0) return 4;  // still privileged
    THTMLCompressor compressor;
    return compressor.LoadFromFile(Path("ro.html")) && compressor.Document() == "a  b" ? 0 : 1;
  });
  EXPECT_EQ(status, 0);
}

TEST_F(FileOpsTest, EmptySourceGivesEmptyTarget) {
  Write(Path("empty.html"), "");
  Write(Path("target.html"), "old");
  THTMLCompressor compressor;
  ASSERT_TRUE(compressor.LoadFromFile(Path("empty.html")));
  compressor.Compress();
  EXPECT_TRUE(compressor.Compressed());
  ASSERT_TRUE(compressor.SaveToFile(Path("target.html")));
  EXPECT_EQ(Read(Path("target.html")), "");
  ASSERT_TRUE(compressor.SaveToFile(Path("new.html")));
  EXPECT_TRUE(fs::exists(Path("new.html")));
}

TEST_F(FileOpsTest, DevicesAndStreamsLoadToTheirEnd) {
  THTMLCompressor compressor;
  ASSERT_TRUE(compressor.LoadFromFile("/dev/null"));
  EXPECT_TRUE(compressor.HasDocument());
  EXPECT_EQ(compressor.Size(), 0);
}

TEST_F(FileOpsTest, SaveWritesTheLoadedBytesBeforeCompress) {
  Write(Path("in.html"), "a  b");
  THTMLCompressor compressor;
  ASSERT_TRUE(compressor.LoadFromFile(Path("in.html")));
  ASSERT_TRUE(compressor.SaveToFile(Path("copy.html")));
  EXPECT_EQ(Read(Path("copy.html")), "a  b");
}

TEST_F(FileOpsTest, SaveBeforeAnyLoadTouchesNothing) {
  Write(Path("target.html"), "old");
  THTMLCompressor compressor;
  EXPECT_FALSE(compressor.SaveToFile(Path("target.html")));
  EXPECT_FALSE(compressor.SaveToFile(Path("new.html")));
  EXPECT_EQ(Read(Path("target.html")), "old");
  EXPECT_FALSE(fs::exists(Path("new.html")));
}

TEST_F(FileOpsTest, SaveFailuresLeaveNothingBehind) {
  fs::create_directory(Path("dir.html"));
  Write(Path("dir.html/inside"), "kept");
  THTMLCompressor compressor;
  ASSERT_TRUE(compressor.LoadFromMemory(std::string_view("x")));
  const struct {
    const char* name;
    fs::path target;
    std::errc reason;
  } cases[] = {
      {"missing folder", Path("nowhere/a.html"), std::errc::no_such_file_or_directory},
      {"directory", Path("dir.html"), std::errc::is_a_directory},
      {"empty name", fs::path(), std::errc::no_such_file_or_directory},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code error;
    EXPECT_FALSE(compressor.SaveToFile(c.target, error));
    EXPECT_TRUE(error == c.reason) << error.message();
  }
  EXPECT_EQ(Read(Path("dir.html/inside")), "kept");
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(FileOpsTest, FailedWriteKeepsTheOldTarget) {
  Write(Path("target.html"), "old contents");
  const int status = InChild([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{100, 100};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
    THTMLCompressor compressor;
    if (!compressor.LoadFromMemory(std::string(10000, 'x'))) return 4;
    std::error_code error;
    const bool saved = compressor.SaveToFile(Path("target.html"), error);
    return !saved && error == std::errc::file_too_large ? 0 : 1;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Read(Path("target.html")), "old contents");
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(FileOpsTest, FileLargerThanMemoryFailsCleanly) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs more address space than the limit leaves";
#endif
  // A sparse file of 3 GiB, loaded under a 1 GiB address-space limit: its
  // size needs 64 bits, and the block for it cannot be had.
  { std::ofstream(Path("huge.html"), std::ios::binary); }
  fs::resize_file(Path("huge.html"), std::uintmax_t{3} << 30);
  const int status = InChild([&] {
    const rlimit limit{std::uint64_t{1} << 30, std::uint64_t{1} << 30};
    if (::setrlimit(RLIMIT_AS, &limit) != 0) return 3;
    THTMLCompressor compressor;
    std::error_code error;
    if (compressor.LoadFromFile(Path("huge.html"), error)) return 1;
    if (error != std::errc::not_enough_memory) return 2;
    return compressor.HasDocument() ? 4 : 0;
  });
  EXPECT_EQ(status, 0);
}

TEST_F(FileOpsTest, SameFileAsSourceAndTarget) {
  Write(Path("page.html"), "a   b\r\n");
  THTMLCompressor compressor;
  ASSERT_TRUE(compressor.LoadFromFile(Path("page.html")));
  compressor.Compress();
  ASSERT_TRUE(compressor.SaveToFile(Path("page.html")));
  EXPECT_EQ(Read(Path("page.html")), "a b");
}

TEST_F(FileOpsTest, ReplacedTargetKeepsItsPermissions) {
  Write(Path("target.html"), "old");
  fs::permissions(Path("target.html"),
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  THTMLCompressor compressor;
  ASSERT_TRUE(compressor.LoadFromMemory(std::string_view("new")));
  ASSERT_TRUE(compressor.SaveToFile(Path("target.html")));
  EXPECT_EQ(Read(Path("target.html")), "new");
  EXPECT_EQ(fs::status(Path("target.html")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(FileOpsTest, NewTargetFollowsTheUmask) {
  const mode_t old_mask = ::umask(027);
  THTMLCompressor compressor;
  ASSERT_TRUE(compressor.LoadFromMemory(std::string_view("new")));
  const bool saved = compressor.SaveToFile(Path("new.html"));
  ::umask(old_mask);
  ASSERT_TRUE(saved);
  EXPECT_EQ(fs::status(Path("new.html")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(FileOpsTest, SymbolicLinkTargetIsWrittenThrough) {
  Write(Path("real.html"), "old");
  fs::create_symlink("real.html", Path("link.html"));
  THTMLCompressor compressor;
  ASSERT_TRUE(compressor.LoadFromMemory(std::string_view("new")));
  ASSERT_TRUE(compressor.SaveToFile(Path("link.html")));
  EXPECT_TRUE(fs::is_symlink(Path("link.html")));
  EXPECT_EQ(Read(Path("real.html")), "new");
}

// The temporary file is never readable by more users than the file it
// becomes: its permission bits are final before its first byte.
TEST_F(FileOpsTest, TemporaryFileHasItsFinalModeBeforeTheFirstWrite) {
  using fs::perms;
  Write(Path("shared.html"), "old");
  fs::permissions(Path("shared.html"), perms::owner_read | perms::owner_write | perms::group_read);
  const mode_t old_mask = ::umask(022);
  const struct {
    const char* name;
    const char* file;
    std::optional<perms> asked;
    unsigned expected;
  } cases[] = {
      {"a private copy", "private.html", perms::owner_read | perms::owner_write, 0600},
      {"the replaced file's bits", "shared.html", std::nullopt, 0640},
      {"a new file under the umask", "new.html", std::nullopt, 0644},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    unsigned mode = 0;
    fileio::FaultPlan watch;
    watch.mode_at_first_write = &mode;
    std::error_code error;
    EXPECT_TRUE(fileio::ReplaceFile(Path(c.file), std::string_view("new"), error,
                                    {.permissions = c.asked}, &watch))
        << error.message();
    EXPECT_EQ(mode, c.expected);
    EXPECT_EQ(static_cast<unsigned>(fs::status(Path(c.file)).permissions()), c.expected);
  }
  ::umask(old_mask);
}

// A FIFO or a device is written to as cp writes to it; a link is followed,
// even where nothing is at its end; a loop of links is an error.
TEST_F(FileOpsTest, SpecialTargets) {
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  const pid_t reader = ::fork();
  if (reader == 0) {
    std::ifstream in(Path("fifo"), std::ios::binary);
    const std::string got{std::istreambuf_iterator<char>(in), {}};
    ::_exit(got == "new" ? 0 : 1);
  }
  std::error_code error;
  EXPECT_TRUE(fileio::ReplaceFile(Path("fifo"), std::string_view("new"), error));
  int status = 0;
  ::waitpid(reader, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(fs::is_fifo(Path("fifo")));

  EXPECT_TRUE(fileio::ReplaceFile("/dev/null", std::string_view("new"), error)) << error.message();
  EXPECT_TRUE(fs::is_character_file("/dev/null"));

  fs::create_directory(Path("sub"));
  fs::create_symlink("sub/made.html", Path("dangling"));
  EXPECT_TRUE(fileio::ReplaceFile(Path("dangling"), std::string_view("new"), error));
  EXPECT_TRUE(fs::is_symlink(Path("dangling")));
  EXPECT_EQ(Read(Path("sub/made.html")), "new");

  fs::create_symlink("loop-b", Path("loop-a"));
  fs::create_symlink("loop-a", Path("loop-b"));
  EXPECT_FALSE(fileio::ReplaceFile(Path("loop-a"), std::string_view("new"), error));
  EXPECT_EQ(error, std::errc::too_many_symbolic_link_levels) << error.message();
  EXPECT_TRUE(fs::is_symlink(Path("loop-a")));
}

// The temporary name does not grow with the target's, so any name the file
// system takes can be a target.
TEST_F(FileOpsTest, LongestTargetNamesWork) {
  const std::string name = std::string(250, 'n') + ".html";
  std::error_code error;
  EXPECT_TRUE(fileio::ReplaceFile(Path(name), std::string_view("new"), error)) << error.message();
  EXPECT_EQ(Read(Path(name)), "new");
  EXPECT_EQ(EntryCount(), 1u);
}

}  // namespace
}  // namespace velmar
