// Writes a generated site for the batch benchmark: COUNT pages of 1 to 50 KB
// in folders of 100, plus one stylesheet per folder.
//
//   make_site DIR COUNT

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "HtmlGenerator.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_site DIR COUNT\n");
    return 2;
  }
  const std::filesystem::path root = argv[1];
  const long count = std::atol(argv[2]);
  std::mt19937 random(7);
  for (long page = 0; page < count; ++page) {
    const std::filesystem::path folder = root / ("section" + std::to_string(page / 100));
    if (page % 100 == 0) {
      std::filesystem::create_directories(folder);
      std::ofstream(folder / "style.css") << "body  {  margin: 0;  }\n";
    }
    const std::size_t size = 1024 + random() % (49 * 1024);
    std::ofstream(folder / ("page" + std::to_string(page) + ".html"), std::ios::binary)
        << velmar::bench::GenerateHtml(size, static_cast<unsigned>(page));
  }
  return 0;
}
