// The htmlcompress command as the tests run it: a fresh folder per test,
// the real binary started through the shell, and a small site.

#ifndef VELMAR_TESTS_CLISUPPORT_H_
#define VELMAR_TESTS_CLISUPPORT_H_

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TempFolder.h"

namespace velmar::testing {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

class CliTest : public TempFolderTest {
 protected:
  // Runs htmlcompress with `arguments` (shell words) in the test's folder.
  // `prefix` runs first in the same shell (a resource limit, say).
  // `stdin_from` names the standard input, `input` by default.
  Outcome Htmlcompress(const std::string& arguments, const std::string& input = "",
                       const std::string& prefix = "", const std::string& stdin_from = ".stdin") {
    Write(Path(".stdin"), input);
    const std::string command = "cd '" + folder_.string() + "' && " + prefix +
                                "'" HTMLCOMPRESS_BINARY "' " + arguments + " <" + stdin_from +
                                " >.stdout 2>.stderr";
    const int raw = std::system(command.c_str());
    Outcome run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Read(Path(".stdout")),
                Read(Path(".stderr"))};
    return run;
  }
};

// Batches: a small site made by the test.
class BatchTest : public CliTest {
 protected:
  void MakeSite() {
    fs::create_directories(Path("site/sub"));
    Write(Path("site/index.html"), "<p>a  b</p>\r\n");
    Write(Path("site/sub/Page.HTM"), "<EM>z</EM>");
    Write(Path("site/style.css"), "x  y\r\n");
    Write(Path("site/logo.png"), std::string("\x89PNG\r\n\0  ", 10));
    fs::last_write_time(Path("site/style.css"), fs::file_time_type::clock::now() - 100h);
    fs::permissions(Path("site/style.css"), fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("index.html", Path("site/link.html"));
  }
  // Every entry under `root`: relative name, kind and content.
  std::string Tree(const std::string& root) const {
    std::vector<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(Path(root))) {
      const std::string name = entry.path().lexically_relative(Path(root)).string();
      if (entry.is_symlink()) {
        entries.push_back(name + " -> " + fs::read_symlink(entry.path()).string());
      } else if (entry.is_regular_file()) {
        entries.push_back(name + ": " + Read(entry.path()));
      } else {
        entries.push_back(name + "/");
      }
    }
    std::sort(entries.begin(), entries.end());
    std::string tree;
    for (const std::string& e : entries) tree += e + "\n";
    return tree;
  }
};

}  // namespace velmar::testing

#endif  // VELMAR_TESTS_CLISUPPORT_H_
