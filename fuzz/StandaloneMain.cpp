// Runs the fuzz target over files named on the command line, or over every
// file in the folders named there, without libFuzzer.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void RunFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  int count = 0;
  for (int k = 1; k < argc; ++k) {
    const std::filesystem::path name = argv[k];
    if (std::filesystem::is_directory(name)) {
      for (const auto& entry : std::filesystem::directory_iterator(name)) {
        RunFile(entry.path());
        ++count;
      }
    } else {
      RunFile(name);
      ++count;
    }
  }
  std::printf("ran %d inputs\n", count);
  return count > 0 ? 0 : 1;
}
