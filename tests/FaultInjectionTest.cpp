// The file layer with failures injected into its system calls: whatever
// fails, the result is false with the system's reason, the old target is
// byte for byte what it was, and no temporary file is left behind.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "FileIo.h"

namespace velmar::fileio {
namespace {

namespace fs = std::filesystem;

class FaultInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    folder_ = fs::temp_directory_path() / ("htmlcompress-faults-" + std::to_string(random()));
    ASSERT_TRUE(fs::create_directory(folder_));
    std::ofstream(folder_ / "target.html", std::ios::binary) << "old target";
    std::ofstream(folder_ / "source.html", std::ios::binary) << std::string(5000, 's');
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string Read(const std::string& name) const {
    std::ifstream in(folder_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::size_t EntryCount() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder_), {}));
  }

  fs::path folder_;
};

TEST_F(FaultInjectionTest, FailedSavesLeaveTheTargetAsItWas) {
  const std::string document(100000, 'n');
  const struct {
    const char* name;
    FaultPlan plan;
    int reason;
  } cases[] = {
      {"disk full at once", {.write_limit = 0}, ENOSPC},
      {"disk full part-way", {.write_limit = 4096}, ENOSPC},
      {"flush fails", {.fsync_error = EIO}, EIO},
      {"close fails", {.close_error = EIO}, EIO},
      {"rename fails", {.rename_error = EXDEV}, EXDEV},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code error;
    EXPECT_FALSE(ReplaceFile(folder_ / "target.html", document, error, {}, &c.plan));
    EXPECT_EQ(error.value(), c.reason);
    EXPECT_EQ(Read("target.html"), "old target");
    EXPECT_EQ(EntryCount(), 2u);  // no temporary file left
    EXPECT_FALSE(ReplaceFile(folder_ / "new.html", document, error, {}, &c.plan));
    EXPECT_FALSE(fs::exists(folder_ / "new.html"));
  }
  std::error_code error;
  const FaultPlan roomy{.write_limit = 200000};
  EXPECT_TRUE(ReplaceFile(folder_ / "target.html", document, error, {}, &roomy));
  EXPECT_EQ(Read("target.html"), document);
}

// Where a group replaces each file as it is added.
#ifdef _WIN32
constexpr bool kGroupsReplaceAtOnce = true;
#else
constexpr bool kGroupsReplaceAtOnce = false;
#endif

// A group of three: the middle file meets the fault, the others are
// replaced whatever it is, and the middle one's target stays as it was.
TEST_F(FaultInjectionTest, AFailureInAGroupCostsOnlyItsFile) {
  const struct {
    const char* name;
    FaultPlan plan;
    int reason;
    bool fails_at_add;
  } cases[] = {
      {"disk full", {.write_limit = 0}, ENOSPC, true},
      {"flush fails", {.fsync_error = EIO}, EIO, false},
      {"close fails", {.close_error = EIO}, EIO, false},
      {"rename fails", {.rename_error = EXDEV}, EXDEV, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bool fails_at_add = c.fails_at_add || kGroupsReplaceAtOnce;
    for (const char* name : {"a.html", "b.html", "c.html"}) {
      std::ofstream(folder_ / name, std::ios::binary) << "old " << name;
    }
    Folder folder;
    std::error_code error;
    ASSERT_TRUE(Folder::Open(folder_, folder, error));
    WriteGroup group;
    EXPECT_TRUE(group.Add(folder_ / "a.html", std::string_view("new a"), error));
    EXPECT_EQ(group.Add(folder, "b.html", std::string_view("new b"), error, {}, &c.plan),
              !fails_at_add);
    if (fails_at_add) {
      EXPECT_EQ(error.value(), c.reason);
    }
    EXPECT_TRUE(group.Add(folder, "c.html", std::string_view("new c"), error));
    // Nothing is replaced before the commit.
    if (!kGroupsReplaceAtOnce) {
      EXPECT_EQ(Read("a.html"), "old a.html");
    }
    std::vector<std::error_code> errors;
    EXPECT_EQ(group.Commit(errors), fails_at_add);
    ASSERT_EQ(errors.size(), fails_at_add ? 2u : 3u);
    if (!fails_at_add) {
      EXPECT_EQ(errors[1].value(), c.reason);
    }
    EXPECT_FALSE(errors.front());
    EXPECT_FALSE(errors.back());
    EXPECT_EQ(Read("a.html"), "new a");
    EXPECT_EQ(Read("b.html"), "old b.html");
    EXPECT_EQ(Read("c.html"), "new c");
    EXPECT_EQ(EntryCount(), 5u);  // no temporary file left
  }
}

// Faults in the flushes that serve a whole group: a failed flush of the
// whole file system falls back to each file's own, which succeeds; a failed
// flush of the folder after the renames fails every file renamed there,
// which already holds its new bytes.
TEST_F(FaultInjectionTest, GroupFlushFailuresAreEachFilesOwn) {
  if (kGroupsReplaceAtOnce) GTEST_SKIP() << "this system's groups flush each file alone";
  const struct {
    const char* name;
    FaultPlan plan;
    int reason;  // of every file, 0 for none
  } cases[] = {
      {"file system flush fails", {.syncfs_error = EIO}, 0},
      {"folder flush fails", {.folder_error = EIO}, EIO},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Folder folder;
    std::error_code error;
    ASSERT_TRUE(Folder::Open(folder_, folder, error));
    WriteGroup group;
    EXPECT_TRUE(group.Add(folder, "a.html", std::string_view("new a"), error));
    EXPECT_TRUE(group.Add(folder, "b.html", std::string_view("new b"), error, {}, &c.plan));
    std::vector<std::error_code> errors;
    EXPECT_EQ(group.Commit(errors), c.reason == 0);
    ASSERT_EQ(errors.size(), 2u);
    for (const std::error_code& e : errors) EXPECT_EQ(e.value(), c.reason);
    EXPECT_EQ(Read("a.html"), "new a");
    EXPECT_EQ(Read("b.html"), "new b");
    EXPECT_EQ(EntryCount(), 4u);
  }
}

TEST_F(FaultInjectionTest, AGroupDroppedUncommittedChangesNothing) {
  if (kGroupsReplaceAtOnce) GTEST_SKIP() << "this system's groups replace each file at once";
  std::error_code error;
  Folder folder;
  ASSERT_TRUE(Folder::Open(folder_, folder, error));
  {
    WriteGroup group;
    EXPECT_TRUE(group.Add(folder_ / "target.html", std::string_view("new"), error));
    EXPECT_TRUE(group.Add(folder, "new.html", std::string_view("new"), error));
    EXPECT_EQ(group.size(), 2u);
    EXPECT_EQ(group.bytes(), 6u);
  }
  EXPECT_EQ(Read("target.html"), "old target");
  EXPECT_FALSE(fs::exists(folder_ / "new.html"));
  EXPECT_EQ(EntryCount(), 2u);
}

TEST_F(FaultInjectionTest, FailedLoadsReportTheReason) {
  const struct {
    const char* name;
    FaultPlan plan;
    std::error_condition reason;
  } cases[] = {
      {"read error", {.read_error = EIO}, std::errc::io_error},
      // The file ends before the size it had when opened.
      {"short read",
       {.short_read = true},
       MakeError(Failure::kChangedWhileRead).default_error_condition()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ByteBlock block;
    std::error_code error;
    EXPECT_FALSE(ReadWholeFile(folder_ / "source.html", block, error, &c.plan));
    EXPECT_TRUE(error == c.reason) << error.message();
    EXPECT_EQ(block.data(), nullptr);  // nothing half-read is handed out
  }
}

}  // namespace
}  // namespace velmar::fileio
