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
#include <filesystem>
#include <iostream>
#include <map>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "Batch.h"
#include "CompressPage.h"
#include "HTMLCompressor.h"
#include "Interrupts.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

using htmlcompress::Error;

struct Flags {
  std::vector<std::string> files;  // SOURCE TARGET, or the batch's files
  std::string options = "all";
  bool stats = false;
  bool recursive = false;
  bool in_place = false;
  std::string out_dir;
  unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
  bool quiet = false;
  bool verify = false;
};

// The option names of --options, lowered, in the order of SetOption.
constexpr std::string_view kOptionNames[] = {"simpletags", "center",     "invcommas", "spaces",
                                             "returns",    "allreturns", "webbots"};

std::string Lowered(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lowered;
}

// Turns exactly the listed options on in `on`. Returns the first unknown
// name, if any.
std::optional<std::string> ParseOptionList(std::string_view list, htmlcompress::OptionSet& on) {
  on.fill(false);
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
  app.add_flag("--stats", flags.stats,
               "Print the sizes before and after on standard error (a line per file)");
  app.add_flag("-r,--recursive", flags.recursive,
               "Mirror folder SRC into DST: compress its HTML files, copy the rest");
  app.add_flag("--in-place", flags.in_place, "Replace each FILE by its compressed form");
  app.add_option("--out-dir", flags.out_dir, "Compress each FILE into folder DIR");
  app.add_option("-j,--jobs", flags.jobs, "Files compressed at once (default: the cores)")
      ->check(CLI::PositiveNumber);
  app.add_flag("-q,--quiet", flags.quiet, "No progress line and no summary");
  app.add_flag("--verify", flags.verify,
               "Parse each page before and after as a browser does; keep it uncompressed "
               "unless both read the same");
  app.add_option("FILES", flags.files,
                 "SOURCE TARGET (- for standard input or output); SRC DST with --recursive; "
                 "FILE... with --in-place or --out-dir");
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
  const int modes = flags.recursive + flags.in_place + !flags.out_dir.empty();
  const char* problem = nullptr;
  if (modes > 1) {
    problem = "--recursive, --in-place and --out-dir exclude each other";
  } else if ((modes == 0 || flags.recursive) && flags.files.size() != 2) {
    problem = flags.recursive ? "--recursive needs SRC and DST" : "SOURCE and TARGET are required";
  } else if (modes == 1 && !flags.recursive && flags.files.empty()) {
    problem = "no FILE given";
  }
  if (flags.verify && !htmlcompress::CanVerify()) {
    problem = "--verify is not available in this build";
  }
  if (problem != nullptr) {
    Error(std::string(problem) + " (see htmlcompress --help)");
    return kExitUsage;
  }
  return std::nullopt;
}

// Throws std::bad_alloc when the input does not fit in memory.
bool ReadStandardInput(std::string& bytes) {
  char chunk[1 << 16];
  while (std::size_t got = std::fread(chunk, 1, sizeof chunk, stdin)) bytes.append(chunk, got);
  return std::ferror(stdin) == 0;
}

bool WriteStandardOutput(std::string_view bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
         std::fflush(stdout) == 0;
}

using htmlcompress::Quoted;

namespace fs = std::filesystem;

// --recursive, --in-place and --out-dir.
int RunBatch(const Flags& flags, const htmlcompress::OptionSet& options) {
  htmlcompress::BatchSettings settings;
  settings.options = options;
  settings.jobs = flags.jobs;
  settings.quiet = flags.quiet;
  settings.stats = flags.stats;
  settings.verify = flags.verify;
  settings.progress = !flags.quiet && ::isatty(2);
  std::vector<htmlcompress::Job> jobs;
  std::error_code error;
  htmlcompress::Mirror mirror;
  if (flags.recursive) {
    mirror.source_path = flags.files[0];
    mirror.target_path = flags.files[1];
    if (!fs::is_directory(mirror.source_path, error)) {
      Error("cannot read " + Quoted(mirror.source_path.string()) + ": " +
            (error ? error.message() : std::string("Not a directory")));
      return kExitFailure;
    }
    // A mirror inside its own source would copy itself without end.
    const fs::path from = fs::weakly_canonical(mirror.source_path, error);
    const fs::path to = fs::weakly_canonical(mirror.target_path, error);
    const auto [end, rest] = std::mismatch(from.begin(), from.end(), to.begin(), to.end());
    if (end == from.end()) {
      Error(Quoted(mirror.target_path.string()) + " lies inside " +
            Quoted(mirror.source_path.string()) + ": the mirror would copy itself");
      return kExitUsage;
    }
    if (!htmlcompress::PlanMirror(mirror, jobs, settings.failed_before, settings.skipped_before)) {
      return kExitFailure;
    }
    settings.mirror = &mirror;
  } else {
    // A file named twice is compressed once; two files that would land on
    // one name in --out-dir are refused before anything is written.
    std::map<fs::path, fs::path> targets;
    for (const std::string& file : flags.files) {
      const fs::path source = fs::path(file).lexically_normal();
      const fs::path target =
          flags.in_place ? source : fs::path(flags.out_dir) / fs::path(file).filename();
      const auto [it, added] = targets.try_emplace(target, source);
      if (added) {
        jobs.push_back({source, target, true, fs::file_size(source, error)});
      } else if (it->second != source) {
        Error("--out-dir would write both " + Quoted(it->second.string()) + " and " +
              Quoted(source.string()) + " to " + Quoted(target.string()) +
              " (see htmlcompress --help)");
        return kExitUsage;
      }
    }
    if (!flags.out_dir.empty()) {
      fs::create_directories(flags.out_dir, error);
      if (error) {
        Error("cannot create " + Quoted(flags.out_dir) + ": " + error.message());
        return kExitFailure;
      }
    }
    // Temporary files a killed run left in the folders about to be written.
    std::set<fs::path> folders;
    for (const htmlcompress::Job& job : jobs) folders.insert(job.target.parent_path());
    for (const fs::path& folder : folders) {
      velmar::fileio::Folder open;
      if (velmar::fileio::Folder::Open(folder, open, error)) open.RemoveLeftovers();
    }
  }
  const int failures = htmlcompress::RunJobs(std::move(jobs), settings);
  return failures == 0 ? kExitSuccess : kExitFailure;
}

int RealMain(int argc, char** argv) {
  Flags flags;
  if (std::optional<int> status = ReadFlags(argc, argv, flags)) return *status;

  htmlcompress::OptionSet options;
  if (std::optional<std::string> unknown = ParseOptionList(flags.options, options)) {
    Error("unknown option name " + Quoted(*unknown) + " in --options (see htmlcompress --help)");
    return kExitUsage;
  }
  if (flags.recursive || flags.in_place || !flags.out_dir.empty()) return RunBatch(flags, options);

  const std::string& source = flags.files[0];
  const std::string& target = flags.files[1];
  velmar::THTMLCompressor compressor;
  htmlcompress::ApplyOptionSet(options, compressor);

  std::error_code error;
  if (source == "-") {
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
  } else if (!compressor.LoadFromFile(source, error)) {
    Error(error == std::errc::not_enough_memory
              ? std::string("out of memory")
              : "cannot read " + Quoted(source) + ": " + error.message());
    return kExitFailure;
  }

  htmlcompress::PageOutcome outcome;
  try {
    outcome = htmlcompress::CompressPage(compressor, flags.verify);
  } catch (const std::bad_alloc&) {
    Error("out of memory");
    return kExitFailure;
  }
  const std::string name = source == "-" ? std::string("standard input") : Quoted(source);
  if (outcome.kept) Error(name + ": " + *outcome.kept);

  if (target == "-") {
    if (!WriteStandardOutput(compressor.Document())) {
      Error("cannot write standard output: " +
            std::error_code(errno, std::system_category()).message());
      return kExitFailure;
    }
  } else if (!compressor.SaveToFile(target, error)) {
    Error("cannot write " + Quoted(target) + ": " + error.message());
    return kExitFailure;
  }

  if (flags.stats) {
    std::fputs(
        htmlcompress::StatsLine(source, static_cast<std::uintmax_t>(compressor.Size()),
                                compressor.Document().size(), flags.verify, outcome.verify_seconds)
            .c_str(),
        stderr);
  }
  return outcome.kept ? kExitFailure : kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef SIGXFSZ
  // Past a file-size limit, a write should fail and be reported, and the
  // temporary file be removed, rather than the process being killed.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  // Before any other thread starts, so that all of them leave the signals
  // to it.
  htmlcompress::HandleInterrupts();
  try {
    return RealMain(argc, argv);
  } catch (const std::bad_alloc&) {
    Error("out of memory");
    return kExitFailure;
  }
}
