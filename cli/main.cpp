// htmlcompress: makes HTML files smaller, one page or a whole site.
//
//   htmlcompress [OPTIONS] [SOURCE [TARGET]]     (or SOURCE -o TARGET)
//   htmlcompress [OPTIONS] --recursive SRC DST
//   htmlcompress [OPTIONS] --in-place FILE...
//   htmlcompress [OPTIONS] --out-dir DIR FILE...
//
// Exit status: 0 on success, 1 when reading or writing fails (or --verify
// kept a page), 2 on a usage error.

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
#include "CommandLine.h"
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

using htmlcompress::Error;
using htmlcompress::Flags;
using htmlcompress::kExitFailure;
using htmlcompress::kExitSuccess;
using htmlcompress::kExitUsage;
using htmlcompress::Mode;

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
int RunBatch(const Flags& flags) {
  htmlcompress::BatchSettings settings;
  settings.options = flags.options;
  settings.jobs = flags.jobs;
  settings.quiet = flags.quiet;
  settings.stats = flags.stats;
  settings.verify = flags.verify;
  settings.progress = !flags.quiet && ::isatty(2);
  std::vector<htmlcompress::Job> jobs;
  std::error_code error;
  htmlcompress::Mirror mirror;
  if (flags.mode == Mode::kRecursive) {
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
      const fs::path target = flags.mode == Mode::kInPlace
                                  ? source
                                  : fs::path(flags.out_dir) / fs::path(file).filename();
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
  if (std::optional<int> status = htmlcompress::ReadFlags(argc, argv, flags)) return *status;
  if (flags.mode != Mode::kSingle) return RunBatch(flags);

  velmar::THTMLCompressor compressor;
  htmlcompress::ApplyOptionSet(flags.options, compressor);
  const std::string& source = flags.source;
  const std::string& target = flags.target;
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
