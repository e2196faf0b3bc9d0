// The command under conditions a user does not plan for: signals, limits,
// links and odd files where a mirror writes, folders it may not read, names
// that are too long or hold control characters. Tests run as root, so the
// cases that need a user's limits run the command as nobody.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "CliSupport.h"
#include "HtmlGenerator.h"

namespace velmar::testing {
namespace {

// The command run as nobody, so that permission bits and limits bind.
constexpr const char* kAsNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";

class ReliabilityTest : public BatchTest {
 protected:
  // Lets nobody write in the test's folder.
  void OpenToEveryone() { fs::permissions(folder_, fs::perms::all); }

  // Every name under `root` that is a temporary file of the command.
  std::vector<std::string> Temporaries(const std::string& root) const {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(Path(root))) {
      if (entry.path().filename().string().rfind(".htmlcompress-", 0) == 0) {
        found.push_back(entry.path().string());
      }
    }
    return found;
  }

  // Starts the command without a shell, with at most `descriptors` open
  // files if given; returns its process id.
  pid_t Start(const std::vector<std::string>& arguments, rlim_t descriptors = 0) const {
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::chdir(folder_.c_str()) != 0) ::_exit(99);
      const struct rlimit limit = {descriptors, descriptors};
      if (descriptors != 0 && ::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(97);
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 2);
      std::vector<char*> argv = {const_cast<char*>(HTMLCOMPRESS_BINARY)};
      for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(HTMLCOMPRESS_BINARY, argv.data());
      ::_exit(98);
    }
    return pid;
  }
  static int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
};

TEST_F(ReliabilityTest, SignalsLeaveNoTemporaryFileAndExitAsShellsExpect) {
  fs::create_directory(Path("site"));
  for (int k = 0; k < 24; ++k) {
    Write(Path("site/page" + std::to_string(k) + ".html"), bench::GenerateHtml(400000, k));
  }
  ASSERT_EQ(Htmlcompress("-q -r site whole").status, 0);
  const struct {
    int signal;
    int status;
  } cases[] = {{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}};
  for (const auto& c : cases) {
    for (const auto delay : {20ms, 120ms}) {
      SCOPED_TRACE(std::to_string(c.signal) + " after " + std::to_string(delay.count()) + " ms");
      fs::remove_all(Path("dist"));
      const pid_t pid = Start({"-q", "-j", "2", "-r", "site", "dist"});
      std::this_thread::sleep_for(delay);
      ::kill(pid, c.signal);
      const int status = Wait(pid);
      EXPECT_TRUE(status == c.status || status == 0) << status;
      if (!fs::exists(Path("dist"))) continue;
      EXPECT_EQ(Temporaries("dist"), std::vector<std::string>());
      // Each page is either not there yet or whole.
      for (const auto& entry : fs::directory_iterator(Path("dist"))) {
        EXPECT_EQ(Read(entry.path()), Read(Path("whole") / entry.path().filename()));
      }
    }
  }
}

// A run killed outright at any moment (no handler runs) leaves each target
// its old bytes or its new ones, never a mix or an empty file. A batch
// flushes and renames its files in groups, so a kill falls between the
// steps of many files at once; a low limit on open files makes the groups
// small, and so many.
TEST_F(ReliabilityTest, KilledBatchesLeaveEachTargetOldOrNew) {
  fs::create_directories(Path("site/a/b"));
  std::vector<std::string> names;
  for (int k = 0; k < 150; ++k) {
    const std::string folder = k % 3 == 0 ? "" : k % 3 == 1 ? "a/" : "a/b/";
    names.push_back(folder + "page" + std::to_string(k) + ".html");
    Write(Path("site/" + names.back()), bench::GenerateHtml(20000 + 997 * (k % 50), k));
  }
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(Htmlcompress("-q -r site whole", "", "ulimit -n 100 && ").status, 0);
  const auto whole_run = std::chrono::steady_clock::now() - started;

  const struct {
    const char* mode;
    std::vector<std::string> arguments;
  } modes[] = {
      {"--recursive", {"-q", "-j", "2", "-r", "site", "dist"}},
      {"--in-place", {"-q", "-j", "2", "--in-place"}},
  };
  std::mt19937 random(20261211);
  constexpr int kAttempts = 8;
  constexpr rlim_t kFewDescriptors = 100;  // groups of 9 files
  for (const auto& m : modes) {
    std::vector<std::string> arguments = m.arguments;
    if (arguments.back() == "--in-place") {
      for (const std::string& name : names) arguments.push_back("dist/" + name);
    }
    int killed_midway = 0;  // with some targets replaced and some not
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      // The old targets: for a mirror a run before this one, for in-place
      // the pages themselves.
      fs::remove_all(Path("dist"));
      fs::create_directories(Path("dist/a/b"));
      for (const std::string& name : names) {
        Write(Path("dist/" + name),
              m.mode == std::string("--in-place") ? Read(Path("site/" + name)) : "old " + name);
      }
      const auto delay = std::chrono::duration_cast<std::chrono::microseconds>(
          whole_run * (attempt + std::uniform_real_distribution<>(0, 1)(random)) / kAttempts);
      SCOPED_TRACE(std::string(m.mode) + ", killed after " + std::to_string(delay.count()) + " us");
      const pid_t pid = Start(arguments, kFewDescriptors);
      std::this_thread::sleep_for(delay);
      ::kill(pid, SIGKILL);
      Wait(pid);
      int replaced = 0;
      for (const std::string& name : names) {
        const std::string now = Read(Path("dist/" + name));
        const std::string old =
            m.mode == std::string("--in-place") ? Read(Path("site/" + name)) : "old " + name;
        const bool is_new = now == Read(Path("whole/" + name));
        EXPECT_TRUE(now == old || is_new) << name << " holds " << now.size() << " bytes";
        replaced += is_new ? 1 : 0;
      }
      killed_midway += replaced > 0 && replaced < static_cast<int>(names.size()) ? 1 : 0;
      // What a killed run leaves gives the next one nothing to trip on.
      if (attempt == kAttempts / 2) {
        for (const std::string& name : names)
          Write(Path("dist/" + name), Read(Path("site/" + name)));
        Wait(Start(arguments));
        for (const std::string& name : names) {
          EXPECT_EQ(Read(Path("dist/" + name)), Read(Path("whole/" + name))) << name;
        }
      }
    }
    EXPECT_GT(killed_midway, 0) << m.mode << ": no kill fell inside the run";
  }
}

TEST_F(ReliabilityTest, OutOfMemoryOnStandardInputIsReported) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs more address space than the limit leaves";
#endif
  Write(Path("target.html"), "old");
  const Outcome run = Htmlcompress("- target.html", "", "ulimit -v 1048576; ", "/dev/zero");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "htmlcompress: out of memory\n");
  EXPECT_EQ(Read(Path("target.html")), "old");
}

TEST_F(ReliabilityTest, UnreadableFolderIsReportedAndTheRestMirrored) {
  OpenToEveryone();
  fs::create_directories(Path("s/d1"));
  fs::create_directories(Path("s/d5"));
  Write(Path("s/d1/a.html"), "<p>a  b</p>");
  Write(Path("s/d5/b.html"), "<p>secret</p>");
  Write(Path("s/z.html"), "<p>z</p>");
  fs::permissions(Path("s"), fs::perms::all);
  fs::permissions(Path("s/d1"), fs::perms::all);
  fs::permissions(Path("s/z.html"), fs::perms::all);
  fs::permissions(Path("s/d1/a.html"), fs::perms::all);
  fs::permissions(Path("s/d5"), fs::perms::owner_all);
  const Outcome run = Htmlcompress("-r s d", "", kAsNobody);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("htmlcompress: cannot read folder 's/d5': Permission denied\n"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find(", 1 failed,"), std::string::npos) << run.err;
  EXPECT_EQ(Read(Path("d/d1/a.html")), "<p>a b</p>");
  EXPECT_EQ(Read(Path("d/z.html")), "<p>z</p>");
}

TEST_F(ReliabilityTest, LinkInDestinationIsReplacedNotWrittenThrough) {
  fs::create_directories(Path("ext"));
  fs::create_directories(Path("d"));
  fs::create_symlink("../ext", Path("d/sub"));
  fs::create_directories(Path("s/sub"));
  Write(Path("s/sub/index.html"), "<p>x</p>");
  const Outcome run = Htmlcompress("-q -r s d");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(fs::is_symlink(Path("d/sub")));
  EXPECT_EQ(Read(Path("d/sub/index.html")), "<p>x</p>");
  EXPECT_TRUE(fs::is_empty(Path("ext")));
}

TEST_F(ReliabilityTest, OutDirRefusesTwoInputsForOneName) {
  fs::create_directories(Path("x"));
  fs::create_directories(Path("y"));
  Write(Path("x/index.html"), "x");
  Write(Path("y/index.html"), "y");
  Outcome run = Htmlcompress("--out-dir o x/index.html y/index.html");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("'x/index.html' and 'y/index.html'"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(Path("o")));
  // The same file named twice is compressed once.
  run = Htmlcompress("--stats --out-dir o x/index.html ./x/index.html");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("1 file compressed"), std::string::npos) << run.err;
}

TEST_F(ReliabilityTest, BatchGoesOnWhenNoThreadCanStart) {
  OpenToEveryone();
  MakeSite();
  for (const auto& entry : fs::recursive_directory_iterator(Path("site"))) {
    if (!entry.is_symlink()) fs::permissions(entry.path(), fs::perms::all, fs::perm_options::add);
  }
  fs::permissions(Path("site"), fs::perms::all, fs::perm_options::add);
  // LeakSanitizer, in the sanitizer build, needs a thread of its own.
  const Outcome run =
      Htmlcompress("-j 8 -r site dist", "",
                   "ASAN_OPTIONS=detect_leaks=0 prlimit --nproc=1 " + std::string(kAsNobody));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err.rfind("htmlcompress: 2 files compressed, 2 copied, ", 0), 0u) << run.err;
  EXPECT_EQ(Read(Path("dist/index.html")), "<p>a b</p>");
}

TEST_F(ReliabilityTest, TreeDeeperThanPathMaxMirrors) {
  // 20 folders of 240-byte names: the deepest path is longer than PATH_MAX.
  const std::string name(240, 'f');
  fs::create_directories(Path("s"));
  int fd = ::open(Path("s").c_str(), O_RDONLY | O_DIRECTORY);
  for (int depth = 0; depth < 20; ++depth) {
    ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
    const int child = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = child;
  }
  const int file = ::openat(fd, "deep.html", O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(::write(file, "<p>a  b</p>", 11), 11);
  ::close(file);
  ASSERT_EQ(::symlinkat("deep.html", fd, std::string(250, 'l').c_str()), 0);
  ::close(fd);

  const Outcome run = Htmlcompress("-q -r s d");
  EXPECT_EQ(run.status, 0) << run.err;
  fd = ::open(Path("d").c_str(), O_RDONLY | O_DIRECTORY);
  for (int depth = 0; depth < 20 && fd >= 0; ++depth) {
    const int child = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    ::close(fd);
    fd = child;
  }
  ASSERT_GE(fd, 0);
  char bytes[32] = {};
  const int copy = ::openat(fd, "deep.html", O_RDONLY);
  EXPECT_EQ(::read(copy, bytes, sizeof bytes), 10);
  EXPECT_EQ(std::string(bytes), "<p>a b</p>");
  struct stat link {};
  EXPECT_EQ(::fstatat(fd, std::string(250, 'l').c_str(), &link, AT_SYMLINK_NOFOLLOW), 0);
  EXPECT_TRUE(S_ISLNK(link.st_mode));
  ::close(copy);
  ::close(fd);
}

TEST_F(ReliabilityTest, SpecialFilesInSourceAreSkippedWithALine) {
  MakeSite();
  ASSERT_EQ(::mkfifo(Path("site/p.html").c_str(), 0644), 0);
  const Outcome run = Htmlcompress("-r site dist");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err.rfind("htmlcompress: skipped 'site/p.html': not a regular file\n", 0), 0u)
      << run.err;
  EXPECT_NE(run.err.find(", 1 skipped,"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(Path("dist/p.html")));
}

TEST_F(ReliabilityTest, ConcurrentMirrorsOfManyLinksBothSucceed) {
  fs::create_directories(Path("s"));
  Write(Path("s/index.html"), "<p>x</p>");
  for (int k = 0; k < 3000; ++k) fs::create_symlink("index.html", Path("s/l" + std::to_string(k)));
  for (int round = 0; round < 3; ++round) {
    const pid_t first = Start({"-q", "-r", "s", "d"});
    const pid_t second = Start({"-q", "-r", "s", "d"});
    EXPECT_EQ(Wait(first), 0);
    EXPECT_EQ(Wait(second), 0);
  }
  EXPECT_TRUE(fs::is_symlink(Path("d/l2999")));
  EXPECT_EQ(Temporaries("d"), std::vector<std::string>());
}

TEST_F(ReliabilityTest, SummaryAndNamesSayWhatHappened) {
  // Nothing could be done: the summary says so, and a newline in a name is
  // shown escaped, keeping each message on one line.
  const Outcome run = Htmlcompress("--in-place 'a\nb.html'");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("htmlcompress: cannot read 'a\\nb.html': No such file or directory\n"
                          "htmlcompress: nothing compressed, 1 failed, ",
                          0),
            0u)
      << run.err;
}

}  // namespace
}  // namespace velmar::testing
