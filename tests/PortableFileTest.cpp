// File operations that behave the same on every platform, the Windows build
// included: names beyond ASCII, replacing a target, and the failures that
// need no privileges to provoke.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "HTMLCompressor.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;

class PortableFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    folder_ = fs::temp_directory_path() / ("htmlcompress-portable-" + std::to_string(random()));
    ASSERT_TRUE(fs::create_directory(folder_));
  }
  void TearDown() override { fs::remove_all(folder_); }

  static std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  fs::path folder_;
};

TEST_F(PortableFileTest, NamesBeyondAsciiRoundTrip) {
  const fs::path source = folder_ / fs::path(u8"Pr\u00fcfung \u65e5\u672c.html");
  const fs::path target = folder_ / fs::path(u8"\u00e9t\u00e9.min.html");
  std::ofstream(source, std::ios::binary) << "a  b\r\n<p><em>x</em>";
  THTMLCompressor compressor;
  ASSERT_TRUE(compressor.LoadFromFile(source));
  compressor.Compress();
  ASSERT_TRUE(compressor.SaveToFile(target));
  EXPECT_EQ(Read(target), "a b<p><i>x</i>");
}

TEST_F(PortableFileTest, ReplacesAnExistingTargetAndLeavesNothingElse) {
  const fs::path target = folder_ / "target.html";
  std::ofstream(target, std::ios::binary) << "old contents";
  THTMLCompressor compressor;
  ASSERT_TRUE(compressor.LoadFromMemory(std::string_view("new")));
  ASSERT_TRUE(compressor.SaveToFile(target));
  EXPECT_EQ(Read(target), "new");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), {}), 1);
}

TEST_F(PortableFileTest, FailuresNameTheReason) {
  fs::create_directory(folder_ / "dir.html");
  THTMLCompressor compressor;
  std::error_code error;
  EXPECT_FALSE(compressor.LoadFromFile(folder_ / "missing.html", error));
  EXPECT_TRUE(error == std::errc::no_such_file_or_directory) << error.message();
  EXPECT_FALSE(compressor.LoadFromFile(folder_ / "dir.html", error));
  EXPECT_TRUE(error == std::errc::is_a_directory) << error.message();
  ASSERT_TRUE(compressor.LoadFromMemory(std::string_view("x")));
  EXPECT_FALSE(compressor.SaveToFile(folder_ / "nowhere" / "a.html", error));
  EXPECT_TRUE(error == std::errc::no_such_file_or_directory) << error.message();
  EXPECT_FALSE(compressor.SaveToFile(folder_ / "dir.html", error));
  EXPECT_TRUE(error == std::errc::is_a_directory) << error.message();
}

}  // namespace
}  // namespace velmar
