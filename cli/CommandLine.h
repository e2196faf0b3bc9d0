// The command line of htmlcompress: its flags, the forms it takes, its help.

#ifndef VELMAR_CLI_COMMANDLINE_H_
#define VELMAR_CLI_COMMANDLINE_H_

#include <optional>
#include <string>
#include <vector>

#include "Batch.h"

namespace htmlcompress {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

enum class Mode { kSingle, kRecursive, kInPlace, kOutDir };

struct Flags {
  Mode mode = Mode::kSingle;
  // kSingle: "-" or a file; kRecursive: SRC and DST; else the files.
  std::vector<std::string> files;
  std::string source = "-";  // kSingle
  std::string target = "-";  // kSingle
  std::string out_dir;
  OptionSet options{};
  unsigned jobs = 1;
  bool stats = false;
  bool quiet = false;
  bool verify = false;
};

// Parses the command line into `flags`. Returns an exit status when the
// command is done already (help, version, a usage error reported), else
// nothing.
std::optional<int> ReadFlags(int argc, char** argv, Flags& flags);

// The text of --help, for the man page's test.
std::string HelpText();

}  // namespace htmlcompress

#endif  // VELMAR_CLI_COMMANDLINE_H_
