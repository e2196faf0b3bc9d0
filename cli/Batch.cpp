// Batches: the mirror's plan, the workers, and the lines they print.
//
// Conventions:
//  1. A mirror is read and written entry by entry through folders held
//     open (fileio::Folder): no name is followed through a link and no path
//     grows past one name, so a link left in DST cannot send a write
//     outside it and a tree deeper than PATH_MAX mirrors like any other.
//  2. Folders are visited one at a time from a queue of names relative to
//     SRC, so only a few descriptors are open at once however deep the
//     tree; a worker opens the folders of its file from the roots.
//  3. Every entry that cannot be read or written gets its own line and is
//     counted; nothing stops the rest of the batch.

#include "Batch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <iostream>
#include <mutex>
#include <system_error>
#include <thread>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "CompressPage.h"
#include "Figures.h"

namespace htmlcompress {
namespace {

namespace fs = std::filesystem;
using velmar::fileio::Entry;
using velmar::fileio::FileInfo;
using velmar::fileio::Folder;

constexpr std::string_view kHtmlExtensions[] = {".html",  ".htm",  ".shtml",  ".chtml",
                                                ".asp",   ".cfm",  ".dhtml",  ".dhtm",
                                                ".phtml", ".phtm", ".ephtml", ".ephtm"};

std::string Quoted(const fs::path& name) { return htmlcompress::Quoted(name.string()); }

// The folder at `relative` below `root`, each step without following a link.
bool OpenFolder(const Folder& root, const fs::path& relative, Folder& folder,
                std::error_code& error) {
  const Folder* at = &root;
  Folder next;
  for (const fs::path& name : relative) {
    Folder child;
    if (!at->Child(name.string(), child, error)) return false;
    next = std::move(child);
    at = &next;
  }
  if (at == &root) return root.Child(".", folder, error);
  folder = std::move(next);
  return true;
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
  std::atomic<std::uintmax_t> bytes_read{0};   // of files started, as their reading ends
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

std::string ReadFailure(const fs::path& name, const std::error_code& error) {
  return error == std::errc::not_enough_memory
             ? "out of memory for " + Quoted(name)
             : "cannot read " + Quoted(name) + ": " + error.message();
}

// A worker's view of the mirror: the folders of the last file, kept open
// for the next one in the same folder.
class MirrorFolders {
 public:
  explicit MirrorFolders(const Mirror& mirror) : mirror_(mirror) {}

  bool Open(const fs::path& relative_folder, std::error_code& error, fs::path& failed) {
    if (open_ && relative_folder == at_) return true;
    open_ = false;
    if (!OpenFolder(mirror_.source, relative_folder, source_, error)) {
      failed = mirror_.source_path / relative_folder;
      return false;
    }
    if (!OpenFolder(mirror_.target, relative_folder, target_, error)) {
      failed = mirror_.target_path / relative_folder;
      return false;
    }
    at_ = relative_folder;
    open_ = true;
    return true;
  }
  const Folder& source() const { return source_; }
  const Folder& target() const { return target_; }

 private:
  const Mirror& mirror_;
  fs::path at_;
  bool open_ = false;
  Folder source_;
  Folder target_;
};

// A file written to a worker's group and not yet committed, with what its
// lines will say.
struct Written {
  fs::path source_name;
  fs::path target_name;
  bool compress = true;
  std::uintmax_t before = 0;
  std::uintmax_t after = 0;
  double verify_seconds = 0;
};

// A group is committed when it holds this many files or bytes: enough for
// one flush to serve a site's worth of small pages, few enough to bound the
// descriptors held (see GroupFiles) and the dirty memory waiting. (On 5,900
// real pages, 1,024 files a group beat 128 by about 5%.)
constexpr std::size_t kGroupFiles = 1024;
constexpr std::uintmax_t kGroupBytes = std::uintmax_t{64} << 20;

// How many files each of `workers` may hold in its group: each holds two
// descriptors until committed, within the process's limit, beside what a
// worker holds anyway (a mirror's two folders, two more while it opens the
// next ones, the file it reads) and what the process holds.
std::size_t GroupFiles(unsigned workers) {
  std::size_t files = kGroupFiles;
#ifdef _WIN32
  (void)workers;  // each file is flushed as it is added: no descriptors held
#else
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    const std::size_t threads = std::max(workers, 1u);
    const std::size_t held = 32 + 8 * threads;
    const auto total = static_cast<std::size_t>(limit.rlim_cur);
    files = std::min(files, total > held ? (total - held) / (2 * threads) : 0);
  }
#endif
  return std::max<std::size_t>(files, 1);
}

bool TooManyOpenFiles(const std::error_code& error) {
  return error == std::errc::too_many_files_open ||
         error == std::errc::too_many_files_open_in_system;
}

// Reads and compresses one job and adds its file to `group`; when the
// process runs out of descriptors, `commit_group` makes room first.
void RunJob(const Job& job, const BatchSettings& settings, velmar::THTMLCompressor& compressor,
            MirrorFolders* folders, velmar::fileio::WriteGroup& group,
            std::vector<Written>& written, const std::function<void()>& commit_group,
            Progress& progress) {
  const Mirror* mirror = settings.mirror;
  const fs::path source_name = mirror ? mirror->source_path / job.source : job.source;
  const fs::path target_name = mirror ? mirror->target_path / job.target : job.target;
  auto fail = [&](const std::string& message) {
    Report(progress, message);
    ++progress.failed;
    ++progress.done;
  };
  try {
    if (written.size() == written.capacity()) written.reserve(2 * written.size() + 16);
  } catch (const std::bad_alloc&) {
    return fail("out of memory for " + Quoted(source_name));
  }
  std::error_code error;
  FileInfo info;
  if (mirror) {
    fs::path failed;
    if (!folders->Open(job.source.parent_path(), error, failed)) {
      return fail("cannot open folder " + Quoted(failed) + ": " + error.message());
    }
    const std::string name = job.source.filename().string();
    velmar::ByteBlock block;
    if (!folders->source().Info(name, info, error) ||
        !folders->source().ReadFile(name, block, error)) {
      return fail(ReadFailure(source_name, error));
    }
    compressor.LoadFromBlock(std::move(block));
  } else if (!compressor.LoadFromFile(job.source, error)) {
    return fail(ReadFailure(source_name, error));
  }
  progress.bytes_read += static_cast<std::uintmax_t>(compressor.Size());

  PageOutcome outcome;
  if (job.compress) {
    try {
      outcome = CompressPage(compressor, settings.verify);
    } catch (const std::bad_alloc&) {
      return fail("out of memory for " + Quoted(source_name));
    }
    progress.verify_micros += static_cast<std::int64_t>(outcome.verify_seconds * 1e6);
    if (outcome.kept) {
      Report(progress, Quoted(source_name) + ": " + *outcome.kept);
      ++progress.kept;
    }
  }

  const std::string_view document = compressor.Document();
  const std::span<const char> bytes{document.data(), document.size()};
  // The file's entry is made before it joins the group, so that the two
  // stay in step: pushing it below cannot throw.
  Written entry;
  try {
    entry = {source_name,
             target_name,
             job.compress,
             static_cast<std::uintmax_t>(compressor.Size()),
             static_cast<std::uintmax_t>(document.size()),
             outcome.verify_seconds};
  } catch (const std::bad_alloc&) {
    return fail("out of memory for " + Quoted(source_name));
  }
  velmar::fileio::WriteOptions options;
  if (mirror) {
    // The copy has the source's permission bits from its first byte on,
    // and a copied file its time too.
    options.permissions = info.permissions;
    if (!job.compress) options.modified = info.modified;
  } else if (job.target != job.source) {
    options.permissions = fs::status(job.source, error).permissions();
    if (error) options.permissions.reset();
  }
  auto add = [&] {
    return mirror
               ? group.Add(folders->target(), job.target.filename().string(), bytes, error, options)
               : group.Add(job.target, bytes, error, options);
  };
  bool added = add();
  if (!added && TooManyOpenFiles(error) && group.size() > 0) {
    commit_group();
    added = add();
  }
  if (!added) return fail("cannot write " + Quoted(target_name) + ": " + error.message());
  written.push_back(std::move(entry));
}

// Commits a worker's group and gives each of its files its line and figures.
void CommitGroup(velmar::fileio::WriteGroup& group, std::vector<Written>& written,
                 const BatchSettings& settings, Progress& progress) {
  if (group.size() == 0) return;
  std::vector<std::error_code> errors;
  const bool all = group.Commit(errors);
  for (std::size_t k = 0; k < written.size(); ++k) {
    const Written& file = written[k];
    const std::error_code error =
        k < errors.size()
            ? errors[k]
            : (all ? std::error_code() : std::make_error_code(std::errc::not_enough_memory));
    ++progress.done;
    if (error) {
      Report(progress, "cannot write " + Quoted(file.target_name) + ": " + error.message());
      ++progress.failed;
      continue;
    }
    progress.bytes_in += file.before;
    progress.bytes_out += file.after;
    ++(file.compress ? progress.compressed : progress.copied);
    if (settings.stats && file.compress) {
      std::lock_guard lock(progress.output);
      std::fputs(progress.clear_line, stderr);
      std::fputs(StatsLine(file.source_name.string(), file.before, file.after, settings.verify,
                           file.verify_seconds)
                     .c_str(),
                 stderr);
    }
  }
  written.clear();
}

// The summary line: what was done, what went wrong, and the figures.
std::string Summary(const Progress& progress, const BatchSettings& settings, int skipped,
                    double seconds) {
  const std::size_t written = progress.compressed + progress.copied;
  std::string summary = written == 0 ? std::string("nothing compressed")
                                     : Counted(progress.compressed, "file") + " compressed, " +
                                           std::to_string(progress.copied.load()) + " copied";
  if (progress.kept) summary += ", " + std::to_string(progress.kept.load()) + " kept uncompressed";
  if (skipped) summary += ", " + std::to_string(skipped) + " skipped";
  if (progress.failed) summary += ", " + std::to_string(progress.failed.load()) + " failed";
  char figures[160];
  if (written > 0) summary += ", " + SizeChange(progress.bytes_in, progress.bytes_out);
  std::snprintf(figures, sizeof figures, ", %.2f s", seconds);
  summary += figures;
  if (settings.verify && settings.stats) {
    std::snprintf(figures, sizeof figures, " (verifying %.2f s of work)",
                  static_cast<double>(progress.verify_micros.load()) / 1e6);
    summary += figures;
  }
  return summary;
}

}  // namespace

void Error(const std::string& message) { std::cerr << "htmlcompress: " << message << '\n'; }

std::string Quoted(std::string_view name) {
  static constexpr char kHex[] = "0123456789abcdef";
  // Built piece by piece: GCC 12 warns falsely (-Wrestrict) about
  // "'" + std::string at -O2.
  std::string quoted(1, '\'');
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      quoted += "\\n";
    } else if (c == '\t') {
      quoted += "\\t";
    } else if (c == '\r') {
      quoted += "\\r";
    } else if (byte < 0x20 || byte == 0x7f) {
      quoted += "\\x";
      quoted += kHex[byte >> 4];
      quoted += kHex[byte & 15];
    } else {
      quoted += c;
    }
  }
  quoted += '\'';
  return quoted;
}

std::string StatsLine(std::string_view name, std::uintmax_t before, std::uintmax_t after,
                      bool verified, double verify_seconds) {
  std::string line(name);
  line += ": " + SizeChange(before, after);
  if (verified) {
    char time[64];
    std::snprintf(time, sizeof time, ", verified in %.1f ms", verify_seconds * 1e3);
    line += time;
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

bool PlanMirror(Mirror& mirror, std::vector<Job>& jobs, int& failures, int& skipped) {
  std::error_code error;
  fs::create_directories(mirror.target_path, error);
  if (error || !Folder::Open(mirror.target_path, mirror.target, error)) {
    Error("cannot create " + Quoted(mirror.target_path) + ": " + error.message());
    return false;
  }
  if (!Folder::Open(mirror.source_path, mirror.source, error)) {
    Error("cannot read " + Quoted(mirror.source_path) + ": " + error.message());
    return false;
  }
  std::deque<fs::path> folders = {fs::path()};
  std::vector<Entry> entries;
  while (!folders.empty()) {
    const fs::path relative = std::move(folders.front());
    folders.pop_front();
    Folder source;
    Folder target;
    if (!OpenFolder(mirror.source, relative, source, error) || !source.List(entries, error)) {
      Error("cannot read folder " + Quoted(mirror.source_path / relative) + ": " + error.message());
      ++failures;
      continue;
    }
    if (!OpenFolder(mirror.target, relative, target, error)) {
      Error("cannot open folder " + Quoted(mirror.target_path / relative) + ": " + error.message());
      ++failures;
      continue;
    }
    target.RemoveLeftovers();  // of a killed run
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    for (const Entry& entry : entries) {
      const fs::path name = relative / entry.name;
      FileInfo info;
      switch (entry.kind) {
        case Entry::kFolder: {
          Folder made;
          if (!target.Child(entry.name, made, error, /*create=*/true)) {
            Error("cannot create folder " + Quoted(mirror.target_path / name) + ": " +
                  error.message());
            ++failures;
            break;
          }
          // Set once the folder's files are written: a read-only source
          // folder must not keep its mirror empty.
          if (source.Info(entry.name, info, error)) {
            mirror.folder_permissions.emplace_back(name, info.permissions);
          }
          folders.push_back(name);
          break;
        }
        case Entry::kLink: {
          std::string to;
          if (!source.ReadLink(entry.name, to, error) || !target.WriteLink(entry.name, to, error)) {
            Error("cannot write link " + Quoted(mirror.target_path / name) + ": " +
                  error.message());
            ++failures;
          }
          break;
        }
        case Entry::kFile:
          if (velmar::fileio::IsTemporaryName(entry.name)) break;  // another run's
          source.Info(entry.name, info, error);
          jobs.push_back({name, name, IsHtmlName(name), info.size});
          break;
        case Entry::kSpecial:
          Error("skipped " + Quoted(mirror.source_path / name) + ": not a regular file");
          ++skipped;
          break;
      }
    }
  }
  return true;
}

int RunJobs(std::vector<Job> jobs, const BatchSettings& settings) {
  // Largest first, so that one big page does not start last and run alone.
  std::stable_sort(jobs.begin(), jobs.end(),
                   [](const Job& a, const Job& b) { return a.size > b.size; });
  Progress progress;
  progress.failed = settings.failed_before;
  std::uintmax_t total = 0;
  for (const Job& job : jobs) total += job.size;
  if (settings.progress) progress.clear_line = "\r\033[K";
  const auto started = std::chrono::steady_clock::now();
  auto seconds = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  };

  const std::size_t group_files = GroupFiles(settings.jobs);
  auto work = [&] {
    velmar::THTMLCompressor compressor;  // each worker owns its own
    ApplyOptionSet(settings.options, compressor);
    std::optional<MirrorFolders> folders;
    if (settings.mirror) folders.emplace(*settings.mirror);
    velmar::fileio::WriteGroup group;
    std::vector<Written> written;
    const std::function<void()> commit = [&] { CommitGroup(group, written, settings, progress); };
    for (std::size_t i; (i = progress.next++) < jobs.size();) {
      RunJob(jobs[i], settings, compressor, folders ? &*folders : nullptr, group, written, commit,
             progress);
      if (group.size() >= group_files || group.bytes() >= kGroupBytes) commit();
    }
    commit();
  };
  // The calling thread works too; when the system refuses more threads,
  // the batch goes on with those it has.
  std::vector<std::thread> workers;
  const std::size_t wanted =
      std::min<std::size_t>(settings.jobs, std::max<std::size_t>(jobs.size(), 1));
  try {
    while (workers.size() + 1 < wanted) workers.emplace_back(work);
  } catch (const std::system_error&) {
  }

  std::mutex waiting;
  std::condition_variable finished;
  bool all_done = false;
  std::thread bar;
  if (settings.progress) {
    try {
      bar = std::thread([&] {
        std::unique_lock lock(waiting);
        while (!finished.wait_for(lock, std::chrono::milliseconds(100), [&] { return all_done; })) {
          std::lock_guard out(progress.output);
          const double read = static_cast<double>(progress.bytes_read);
          const double rate = read / std::max(seconds(), 1e-9);  // bytes a second
          std::string line = std::to_string(progress.done.load()) + "/" +
                             Counted(jobs.size(), "file") + ", " + Readable(progress.bytes_read) +
                             " of " + Readable(total);
          char figures[64];
          std::snprintf(figures, sizeof figures, ", %.1f MB/s", rate / 1e6);
          line += figures;
          if (rate > 0) {
            std::snprintf(figures, sizeof figures, ", %.0f s left",
                          (static_cast<double>(total) - read) / rate);
            line += figures;
          }
          std::fprintf(stderr, "\r\033[K%s", line.c_str());
          std::fflush(stderr);
        }
      });
    } catch (const std::system_error&) {
      progress.clear_line = "";  // no progress line, then
    }
  }
  work();
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

  if (settings.mirror) {
    std::error_code error;
    for (const auto& [name, permissions] : settings.mirror->folder_permissions) {
      Folder parent;
      Folder folder;
      if (!OpenFolder(settings.mirror->target, name.parent_path(), parent, error) ||
          !parent.Child(name.filename().string(), folder, error, true, permissions)) {
        Error("cannot set the permissions of " + Quoted(settings.mirror->target_path / name) +
              ": " + error.message());
        ++progress.failed;
      }
    }
  }
  if (!settings.quiet) Error(Summary(progress, settings, settings.skipped_before, seconds()));
  return progress.failed + progress.kept;
}

}  // namespace htmlcompress
