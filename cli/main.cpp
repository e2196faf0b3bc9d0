// htmlcompress: compresses one HTML file into another.
//
//   htmlcompress [--options LIST] [--stats] SOURCE TARGET
//
// SOURCE "-" reads standard input, TARGET "-" writes standard output. Exit
// status: 0 on success, 1 when reading or writing fails, 2 on a usage error.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "HTMLCompressor.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Every message of the command goes through here, as one line.
void Error(const std::string& message) { std::cerr << "htmlcompress: " << message << '\n'; }

struct Flags {
  std::string source;
  std::string target;
  std::string options = "all";
  bool stats = false;
};

// The option names of --options, lowered, in the order of SetOption.
constexpr std::string_view kOptionNames[] = {"simpletags", "center",     "invcommas", "spaces",
                                             "returns",    "allreturns", "webbots"};

void SetOption(velmar::THTMLCompressor& compressor, std::size_t option, bool on) {
  switch (option) {
    case 0:
      compressor.SetSimpleTags(on);
      break;
    case 1:
      compressor.SetCenter(on);
      break;
    case 2:
      compressor.SetInvCommas(on);
      break;
    case 3:
      compressor.SetSpaces(on);
      break;
    case 4:
      compressor.SetReturns(on);
      break;
    case 5:
      compressor.SetAllReturns(on);
      break;
    case 6:
      compressor.SetWebbots(on);
      break;
  }
}

std::string Lowered(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lowered;
}

// Turns exactly the listed options on. Returns the first unknown name, if
// any; the compressor is then left unchanged.
std::optional<std::string> ApplyOptionList(std::string_view list,
                                           velmar::THTMLCompressor& compressor) {
  std::array<bool, std::size(kOptionNames)> on{};
  std::size_t begin = 0;
  while (begin <= list.size()) {
    const std::size_t comma = std::min(list.find(',', begin), list.size());
    const std::string_view item = list.substr(begin, comma - begin);
    const std::string name = Lowered(item);
    begin = comma + 1;
    if (name.empty() || name == "none") continue;
    if (name == "all") {
      on.fill(true);
      continue;
    }
    bool known = false;
    for (std::size_t k = 0; k < std::size(kOptionNames); ++k) {
      if (kOptionNames[k] == name) on[k] = known = true;
    }
    if (!known) return std::string(item);
  }
  for (std::size_t k = 0; k < on.size(); ++k) SetOption(compressor, k, on[k]);
  return std::nullopt;
}

// Parses the command line into `flags`. Returns an exit status when the
// command is done already (help, version, a usage error), else nothing.
std::optional<int> ReadFlags(int argc, char** argv, Flags& flags) {
  CLI::App app{"Makes HTML files smaller.", "htmlcompress"};
  // File names may begin with "/" on every platform, even where CLI11 would
  // read "/name" as an option.
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", std::string("htmlcompress ") + HTMLCOMPRESS_VERSION);
  app.add_option("--options", flags.options,
                 "Comma-separated options to turn on, the others off: SimpleTags, Center, "
                 "InvCommas, Spaces, Returns, AllReturns, Webbots, or all, or none")
      ->default_str("all");
  app.add_flag("--stats", flags.stats, "Print the sizes before and after on standard error");
  app.add_option("SOURCE", flags.source, "HTML file to read, or - for standard input")->required();
  app.add_option("TARGET", flags.target, "File to write, or - for standard output")->required();
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return kExitSuccess;
  } catch (const CLI::CallForVersion&) {
    std::cout << app.version() << '\n';
    return kExitSuccess;
  } catch (const CLI::ParseError& e) {
    Error(std::string(e.what()) + " (see htmlcompress --help)");
    return kExitUsage;
  }
  return std::nullopt;
}

bool ReadStandardInput(std::string& bytes) {
  char chunk[1 << 16];
  while (std::size_t got = std::fread(chunk, 1, sizeof chunk, stdin)) bytes.append(chunk, got);
  return std::ferror(stdin) == 0;
}

bool WriteStandardOutput(std::string_view bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
         std::fflush(stdout) == 0;
}

std::string Quoted(const std::string& name) { return "'" + name + "'"; }

int RealMain(int argc, char** argv) {
  Flags flags;
  if (std::optional<int> status = ReadFlags(argc, argv, flags)) return *status;

  velmar::THTMLCompressor compressor;
  if (std::optional<std::string> unknown = ApplyOptionList(flags.options, compressor)) {
    Error("unknown option name " + Quoted(*unknown) + " in --options (see htmlcompress --help)");
    return kExitUsage;
  }

  std::error_code error;
  if (flags.source == "-") {
    std::string input;
    if (!ReadStandardInput(input)) {
      Error("cannot read standard input: " +
            std::error_code(errno, std::system_category()).message());
      return kExitFailure;
    }
    if (!compressor.LoadFromMemory(input)) {
      Error("out of memory");
      return kExitFailure;
    }
  } else if (!compressor.LoadFromFile(flags.source, error)) {
    Error(error == std::errc::not_enough_memory
              ? std::string("out of memory")
              : "cannot read " + Quoted(flags.source) + ": " + error.message());
    return kExitFailure;
  }

  try {
    compressor.Compress();
  } catch (const std::bad_alloc&) {
    Error("out of memory");
    return kExitFailure;
  }

  if (flags.target == "-") {
    if (!WriteStandardOutput(compressor.Document())) {
      Error("cannot write standard output: " +
            std::error_code(errno, std::system_category()).message());
      return kExitFailure;
    }
  } else if (!compressor.SaveToFile(flags.target, error)) {
    Error("cannot write " + Quoted(flags.target) + ": " + error.message());
    return kExitFailure;
  }

  if (flags.stats) {
    const auto before = compressor.Size();
    const auto after = compressor.CompressedSize();
    const double saved = before == 0 ? 0.0 : 100.0 * static_cast<double>(before - after) / before;
    std::fprintf(stderr, "%s: %lld -> %lld bytes (-%.1f%%)\n", flags.source.c_str(),
                 static_cast<long long>(before), static_cast<long long>(after), saved);
  }
  return kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef SIGXFSZ
  // Past a file-size limit, a write should fail and be reported, and the
  // temporary file be removed, rather than the process being killed.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  return RealMain(argc, argv);
}
