// Many files at once: mirroring a site, replacing files in place, or
// compressing several files into one folder, on several threads.

#ifndef VELMAR_CLI_BATCH_H_
#define VELMAR_CLI_BATCH_H_

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "FileIo.h"
#include "HTMLCompressor.h"

namespace htmlcompress {

// The seven options in the order SimpleTags, Center, InvCommas, Spaces,
// Returns, AllReturns, Webbots.
using OptionSet = std::array<bool, 7>;
void ApplyOptionSet(const OptionSet& options, velmar::THTMLCompressor& compressor);

// Every message of the command goes through here, as one line.
void Error(const std::string& message);
// A file name as messages quote it: 'name', with control characters
// escaped ('a\nb') so that the message stays one line.
std::string Quoted(std::string_view name);
// The --stats line of one file: "NAME: N -> M bytes (-P%)", and with
// `verified` ", verified in T ms"; newline included.
std::string StatsLine(std::string_view name, std::uintmax_t before, std::uintmax_t after,
                      bool verified = false, double verify_seconds = 0);

// One file to write: compressed, or copied unchanged (with its times). In a
// mirror both names are relative to SRC and DST; otherwise they are paths.
struct Job {
  std::filesystem::path source;
  std::filesystem::path target;
  bool compress = true;
  std::uintmax_t size = 0;
};

// SRC and DST of a mirror, held open for the whole run, and the folders'
// permission bits, set once their files are written.
struct Mirror {
  std::filesystem::path source_path;
  std::filesystem::path target_path;
  velmar::fileio::Folder source;
  velmar::fileio::Folder target;
  std::vector<std::pair<std::filesystem::path, std::filesystem::perms>> folder_permissions;
};

struct BatchSettings {
  OptionSet options{};
  unsigned jobs = 1;               // worker threads
  bool progress = false;           // an updating line on standard error
  bool quiet = false;              // no summary line
  bool stats = false;              // a line per compressed file
  bool verify = false;             // keep pages that do not read the same uncompressed
  const Mirror* mirror = nullptr;  // the jobs are a mirror's
  int failed_before = 0;           // entries that failed while planning
  int skipped_before = 0;          // special files left out while planning
};

// Whether the name matches one of the HTML patterns (*.html, *.htm, ...),
// in any letter case.
bool IsHtmlName(const std::filesystem::path& name);

// Creates DST's folders and links for a mirror of SRC, and lists the files
// to write. Each entry that fails or is skipped gets its own line and is
// counted; the rest goes on. Returns false only when SRC or DST cannot be
// opened at all.
bool PlanMirror(Mirror& mirror, std::vector<Job>& jobs, int& failures, int& skipped);

// Runs the jobs, largest first; returns the number of entries that failed
// (planning included) or were kept uncompressed by --verify.
int RunJobs(std::vector<Job> jobs, const BatchSettings& settings);

}  // namespace htmlcompress

#endif  // VELMAR_CLI_BATCH_H_
