#include "Batch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <system_error>
#include <thread>

#include "CompressPage.h"

namespace htmlcompress {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHtmlExtensions[] = {".html",  ".htm",  ".shtml",  ".chtml",
                                                ".asp",   ".cfm",  ".dhtml",  ".dhtm",
                                                ".phtml", ".phtm", ".ephtml", ".ephtm"};

std::string Quoted(const fs::path& name) { return htmlcompress::Quoted(name.string()); }

double Saving(std::uintmax_t before, std::uintmax_t after) {
  return before == 0 ? 0.0
                     : 100.0 * (static_cast<double>(before) - static_cast<double>(after)) /
                           static_cast<double>(before);
}

// What the workers share: the queue position, the counters, one lock for
// the lines they print.
struct Progress {
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> done{0};
  std::atomic<std::size_t> compressed{0};
  std::atomic<std::size_t> copied{0};
  std::atomic<int> failed{0};
  std::atomic<int> kept{0};                    // by --verify
  std::atomic<std::int64_t> verify_micros{0};  // summed over the workers
  std::atomic<std::uintmax_t> bytes_in{0};
  std::atomic<std::uintmax_t> bytes_out{0};
  std::mutex output;
  const char* clear_line = "";  // clears the progress line, where one is shown
};

void Report(Progress& progress, const std::string& message) {
  std::lock_guard lock(progress.output);
  std::fputs(progress.clear_line, stderr);
  Error(message);
}

// Gives a written file the permissions (and, for a copy, the time) of its
// source, as a mirror should.
void KeepAttributes(const Job& job) {
  std::error_code ignored;
  fs::permissions(job.target, fs::status(job.source, ignored).permissions(), ignored);
  if (!job.compress)
    fs::last_write_time(job.target, fs::last_write_time(job.source, ignored), ignored);
}

void RunJob(const Job& job, const BatchSettings& settings, velmar::THTMLCompressor& compressor,
            Progress& progress) {
  std::error_code error;
  if (!compressor.LoadFromFile(job.source, error)) {
    Report(progress, error == std::errc::not_enough_memory
                         ? "out of memory for " + Quoted(job.source)
                         : "cannot read " + Quoted(job.source) + ": " + error.message());
    ++progress.failed;
    return;
  }
  PageOutcome outcome;
  if (job.compress) {
    try {
      outcome = CompressPage(compressor, settings.verify);
    } catch (const std::bad_alloc&) {
      Report(progress, "out of memory for " + Quoted(job.source));
      ++progress.failed;
      return;
    }
    progress.verify_micros += static_cast<std::int64_t>(outcome.verify_seconds * 1e6);
    if (outcome.kept) {
      Report(progress, Quoted(job.source) + ": " + *outcome.kept);
      ++progress.kept;
    }
  }
  if (!compressor.SaveToFile(job.target, error)) {
    Report(progress, "cannot write " + Quoted(job.target) + ": " + error.message());
    ++progress.failed;
    return;
  }
  KeepAttributes(job);
  const auto before = static_cast<std::uintmax_t>(compressor.Size());
  const auto after = static_cast<std::uintmax_t>(compressor.Document().size());
  progress.bytes_in += before;
  progress.bytes_out += after;
  ++(job.compress ? progress.compressed : progress.copied);
  if (settings.stats && job.compress) {
    std::lock_guard lock(progress.output);
    std::fputs(progress.clear_line, stderr);
    std::fputs(
        StatsLine(job.source.string(), before, after, settings.verify, outcome.verify_seconds)
            .c_str(),
        stderr);
  }
}

}  // namespace

void Error(const std::string& message) { std::cerr << "htmlcompress: " << message << '\n'; }

// Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about
// "'" + std::string at -O2.
std::string Quoted(std::string_view name) {
  std::string quoted(1, '\'');
  quoted += name;
  quoted += '\'';
  return quoted;
}

std::string StatsLine(std::string_view name, std::uintmax_t before, std::uintmax_t after,
                      bool verified, double verify_seconds) {
  char sizes[96];
  std::snprintf(sizes, sizeof sizes, ": %ju -> %ju bytes (-%.1f%%)", before, after,
                Saving(before, after));
  std::string line(name);
  line += sizes;
  if (verified) {
    std::snprintf(sizes, sizeof sizes, ", verified in %.1f ms", verify_seconds * 1e3);
    line += sizes;
  }
  line += '\n';
  return line;
}

void ApplyOptionSet(const OptionSet& options, velmar::THTMLCompressor& compressor) {
  compressor.SetSimpleTags(options[0]);
  compressor.SetCenter(options[1]);
  compressor.SetInvCommas(options[2]);
  compressor.SetSpaces(options[3]);
  compressor.SetReturns(options[4]);
  compressor.SetAllReturns(options[5]);
  compressor.SetWebbots(options[6]);
}

bool IsHtmlName(const fs::path& name) {
  std::string extension = name.extension().string();
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return std::find(std::begin(kHtmlExtensions), std::end(kHtmlExtensions), extension) !=
         std::end(kHtmlExtensions);
}

bool PlanMirror(const fs::path& source, const fs::path& target, std::vector<Job>& jobs,
                int& failures) {
  std::error_code error;
  fs::create_directories(target, error);
  if (error) {
    Error("cannot create " + Quoted(target) + ": " + error.message());
    return false;
  }
  fs::recursive_directory_iterator entries(source, error);
  if (error) {
    Error("cannot read " + Quoted(source) + ": " + error.message());
    return false;
  }
  for (; entries != fs::recursive_directory_iterator(); entries.increment(error)) {
    if (error) {
      Error("cannot read " + Quoted(entries->path()) + ": " + error.message());
      return false;
    }
    const fs::directory_entry& entry = *entries;
    // Lexically: fs::relative would resolve a link to what it names.
    const fs::path out = target / entry.path().lexically_relative(source);
    std::error_code step;
    if (entry.is_symlink(step)) {
      // A link is recreated as a link, never followed.
      const fs::path points_to = fs::read_symlink(entry.path(), step);
      if (!step && (fs::is_symlink(fs::symlink_status(out)) || fs::exists(out)))
        fs::remove(out, step);
      if (!step) fs::create_symlink(points_to, out, step);
      if (step) {
        Error("cannot write " + Quoted(out) + ": " + step.message());
        ++failures;
      }
    } else if (entry.is_directory(step)) {
      fs::create_directories(out, step);
      if (!step) fs::permissions(out, entry.status().permissions(), step);
      if (step) {
        Error("cannot create " + Quoted(out) + ": " + step.message());
        ++failures;
        entries.disable_recursion_pending();
      }
    } else if (entry.is_regular_file(step)) {
      // A link left in DST by an earlier mirror must not be written through.
      if (fs::is_symlink(fs::symlink_status(out, step))) fs::remove(out, step);
      jobs.push_back({entry.path(), out, IsHtmlName(entry.path()), entry.file_size(step)});
    }
  }
  return true;
}

int RunJobs(std::vector<Job> jobs, const BatchSettings& settings) {
  // Largest first, so that one big page does not start last and run alone.
  std::stable_sort(jobs.begin(), jobs.end(),
                   [](const Job& a, const Job& b) { return a.size > b.size; });
  Progress progress;
  if (settings.progress) progress.clear_line = "\r\033[K";
  const auto started = std::chrono::steady_clock::now();
  auto seconds = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  };

  std::vector<std::thread> workers;
  const unsigned count = std::max(
      1u, std::min<unsigned>(settings.jobs,
                             static_cast<unsigned>(std::max<std::size_t>(jobs.size(), 1))));
  for (unsigned k = 0; k < count; ++k) {
    workers.emplace_back([&] {
      velmar::THTMLCompressor compressor;  // each worker owns its own
      ApplyOptionSet(settings.options, compressor);
      for (std::size_t i; (i = progress.next++) < jobs.size(); ++progress.done) {
        RunJob(jobs[i], settings, compressor, progress);
      }
    });
  }

  std::mutex waiting;
  std::condition_variable finished;
  bool all_done = false;
  std::thread bar;
  if (settings.progress) {
    bar = std::thread([&] {
      std::unique_lock lock(waiting);
      while (!finished.wait_for(lock, std::chrono::milliseconds(100), [&] { return all_done; })) {
        std::lock_guard out(progress.output);
        const double mb = static_cast<double>(progress.bytes_in) / 1e6;
        std::fprintf(stderr, "\r\033[K%zu/%zu files, %ju -> %ju bytes, %.1f MB/s",
                     progress.done.load(), jobs.size(), progress.bytes_in.load(),
                     progress.bytes_out.load(), mb / std::max(seconds(), 1e-9));
        std::fflush(stderr);
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
  {
    std::lock_guard lock(waiting);
    all_done = true;
  }
  finished.notify_one();
  if (bar.joinable()) {
    bar.join();
    std::fputs("\r\033[K", stderr);
  }

  if (!settings.quiet) {
    std::string summary = std::to_string(progress.compressed.load()) + " files compressed, " +
                          std::to_string(progress.copied.load()) + " copied";
    if (progress.kept)
      summary += ", " + std::to_string(progress.kept.load()) + " kept uncompressed";
    if (progress.failed) summary += ", " + std::to_string(progress.failed.load()) + " failed";
    char figures[160];
    std::snprintf(figures, sizeof figures, ", %ju -> %ju bytes (-%.1f%%), %.2f s",
                  progress.bytes_in.load(), progress.bytes_out.load(),
                  Saving(progress.bytes_in, progress.bytes_out), seconds());
    summary += figures;
    if (settings.verify && settings.stats) {
      std::snprintf(figures, sizeof figures, " (verifying %.2f s of work)",
                    static_cast<double>(progress.verify_micros.load()) / 1e6);
      summary += figures;
    }
    Error(summary);
  }
  return progress.failed + progress.kept;
}

}  // namespace htmlcompress
