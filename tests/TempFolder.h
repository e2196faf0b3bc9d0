// A fresh folder per test on the real disk, removed afterwards, with the
// few file helpers every test that writes files needs.

#ifndef VELMAR_TESTS_TEMPFOLDER_H_
#define VELMAR_TESTS_TEMPFOLDER_H_

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace velmar::testing {

class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "htmlcompress-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::filesystem::path Path(const std::string& name) const { return folder_ / name; }
  static void Write(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
  }
  static std::string Read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  // Names in the folder, to show that no temporary file is left behind.
  std::size_t EntryCount() const {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator(folder_), {}));
  }

  std::filesystem::path folder_;
};

}  // namespace velmar::testing

#endif  // VELMAR_TESTS_TEMPFOLDER_H_
