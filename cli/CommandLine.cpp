// ReadFlags: CLI11 parses, then the forms are checked here, so that every
// usage error is one clear line.

#include "CommandLine.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <charconv>
#include <iostream>
#include <string_view>
#include <thread>

#include "CompressPage.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

namespace htmlcompress {
namespace {

// The option names of --options, in the order of OptionSet.
constexpr std::array<std::string_view, 7> kOptionNames = {
    "SimpleTags", "Center", "InvCommas", "Spaces", "Returns", "AllReturns", "Webbots"};

constexpr std::string_view kUsage =
    "Usage:\n"
    "  htmlcompress [OPTIONS] [SOURCE [TARGET]]     one page; SOURCE - or none reads\n"
    "                                               standard input, TARGET - or none\n"
    "                                               writes standard output\n"
    "  htmlcompress [OPTIONS] SOURCE -o TARGET\n"
    "  htmlcompress [OPTIONS] --recursive SRC DST   mirror folder SRC into DST\n"
    "  htmlcompress [OPTIONS] --in-place FILE...    replace each FILE by its compressed form\n"
    "  htmlcompress [OPTIONS] --out-dir DIR FILE... compress each FILE into folder DIR\n";

constexpr std::string_view kFooter =
    "Option names for --options LIST (comma-separated, any letter case; or all, or none):\n"
    "  SimpleTags   <strong>, <em>, <strike> become <b>, <i>, <s>\n"
    "  Center       <p align=center>...</p> becomes <center>...</center>\n"
    "  InvCommas    drops the quotes a browser does not need: href=\"x\" -> href=x\n"
    "  Spaces       collapses runs of blanks; drops a blank before a tag's >\n"
    "  Returns      collapses runs of line breaks (when AllReturns is off)\n"
    "  AllReturns   removes line breaks next to blanks and block tags, never\n"
    "               between two words\n"
    "  Webbots      removes FrontPage webbot tags (with Returns or AllReturns)\n"
    "Without --options, all seven are on.\n"
    "\n"
    "HTML files (what --recursive compresses; it copies every other file):\n"
    "  *.html *.htm *.shtml *.chtml *.asp *.cfm *.dhtml *.dhtm *.phtml *.phtm\n"
    "  *.ephtml *.ephtm, in any letter case\n"
    "\n"
    "Examples:\n"
    "  htmlcompress index.html -o dist/index.html\n"
    "  htmlcompress --verify --recursive site/ dist/\n"
    "  curl -s http://localhost:8080/ | htmlcompress > snapshot.html\n"
    "\n"
    "Exit status: 0 when all went well; 1 when a file could not be read or\n"
    "written, or --verify kept a page uncompressed; 2 on a usage error.";

// The usage lines above instead of CLI11's generic one.
class HelpFormatter : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App*, std::string) const override {
    return "\n" + std::string(kUsage);
  }
};

std::string Lowered(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lowered;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Edits between two names (Levenshtein), for "did you mean".
std::size_t Distance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// Turns exactly the listed options on. Returns the problem with the list,
// or nothing.
std::optional<std::string> ParseOptionList(std::string_view list, OptionSet& on) {
  on.fill(false);
  bool named = false;
  bool all_or_none = false;
  for (std::size_t begin = 0; begin <= list.size();) {
    const std::size_t comma = std::min(list.find(',', begin), list.size());
    const std::string_view item = Trimmed(list.substr(begin, comma - begin));
    begin = comma + 1;
    const std::string name = Lowered(item);
    if (name.empty()) continue;
    if (name == "all" || name == "none") {
      on.fill(name == "all");
      all_or_none = true;
      continue;
    }
    named = true;
    std::size_t best = 0;
    for (std::size_t k = 0; k < kOptionNames.size(); ++k) {
      if (Lowered(kOptionNames[k]) == name) {
        on[k] = true;
        best = kOptionNames.size();
        break;
      }
      if (Distance(name, Lowered(kOptionNames[k])) < Distance(name, Lowered(kOptionNames[best]))) {
        best = k;
      }
    }
    if (best == kOptionNames.size()) continue;
    std::string problem = "unknown option name " + Quoted(item);
    if (Distance(name, Lowered(kOptionNames[best])) <= 3) {
      problem += "; did you mean " + Quoted(kOptionNames[best]) + "?";
    }
    return problem;
  }
  if (named && all_or_none) return std::string("'all' and 'none' stand alone in --options");
  return std::nullopt;
}

CLI::App& Define(CLI::App& app, Flags& flags, std::string& options, std::string& jobs,
                 std::vector<std::string>& files, std::string& output, bool& recursive,
                 bool& in_place) {
  app.formatter(std::make_shared<HelpFormatter>());
  app.get_formatter()->column_width(26);
  // File names may begin with "/" on every platform, even where CLI11 would
  // read "/name" as an option.
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", std::string("htmlcompress ") + HTMLCOMPRESS_VERSION,
                       "Print the version and exit");
  app.set_help_flag("-h,--help", "Print this help and exit");
  app.add_option("-o,--output", output, "Write the one page to FILE")->type_name("FILE");
  app.add_option("--options", options, "Turn on the options in LIST, the others off")
      ->type_name("LIST");
  app.add_flag("-r,--recursive", recursive, "Mirror SRC into DST: compress HTML, copy the rest");
  app.add_flag("--in-place", in_place, "Replace each FILE by its compressed form");
  app.add_option("--out-dir", flags.out_dir, "Compress each FILE into folder DIR")
      ->type_name("DIR");
  app.add_option("-j,--jobs", jobs, "Compress N files at once (default: the cores)")
      ->type_name("N");
  app.add_flag("--verify", flags.verify,
               "Check each page with an HTML5 parser; keep it if not same");
  app.add_flag("--stats", flags.stats, "Print the sizes before and after, a line per file");
  app.add_flag("-q,--quiet", flags.quiet, "No progress line and no summary");
  app.add_option("FILE", files, "SOURCE [TARGET], SRC DST, or the files of a batch")->type_name("");
  app.footer(std::string(kFooter));
  return app;
}

}  // namespace

std::string HelpText() {
  CLI::App app{"Makes HTML files smaller.", "htmlcompress"};
  Flags flags;
  std::string options, jobs, output;
  std::vector<std::string> files;
  bool recursive = false, in_place = false;
  return Define(app, flags, options, jobs, files, output, recursive, in_place).help();
}

std::optional<int> ReadFlags(int argc, char** argv, Flags& flags) {
  CLI::App app{"Makes HTML files smaller.", "htmlcompress"};
  std::string options = "all";
  std::string jobs;
  std::string output;
  std::vector<std::string> files;
  bool recursive = false;
  bool in_place = false;
  Define(app, flags, options, jobs, files, output, recursive, in_place);
  // A usage error: one line, with a pointer to --help unless the line says
  // itself what to type.
  auto usage = [](const std::string& problem, bool hint = true) {
    Error(hint ? problem + " (see htmlcompress --help)" : problem);
    return kExitUsage;
  };
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return kExitSuccess;
  } catch (const CLI::CallForVersion&) {
    std::cout << app.version() << '\n';
    return kExitSuccess;
  } catch (const CLI::ParseError& e) {
    return usage(e.what());
  }

  if (const std::optional<std::string> problem = ParseOptionList(options, flags.options)) {
    return usage(*problem, problem->find("did you mean") == std::string::npos);
  }
  flags.jobs = std::max(1u, std::thread::hardware_concurrency());
  if (!jobs.empty()) {
    unsigned value = 0;
    const auto [end, failure] = std::from_chars(jobs.data(), jobs.data() + jobs.size(), value);
    if (failure != std::errc() || end != jobs.data() + jobs.size() || value == 0) {
      return usage("-j needs a number of 1 or more", false);
    }
    flags.jobs = value;
  }

  const int modes = recursive + in_place + !flags.out_dir.empty();
  if (modes > 1) return usage("--recursive, --in-place and --out-dir exclude each other");
  if (modes == 1 && !output.empty()) return usage("-o goes with one page only");
  if (recursive) {
    if (files.size() < 2) return usage("--recursive needs SRC and DST");
    if (files.size() > 2) return usage("too many arguments: --recursive takes SRC and DST");
    flags.mode = Mode::kRecursive;
  } else if (modes == 1) {
    if (files.empty()) return usage("no FILE given");
    flags.mode = in_place ? Mode::kInPlace : Mode::kOutDir;
  } else {
    if (files.size() > 2) return usage("too many arguments: one page takes SOURCE and TARGET");
    if (files.size() == 2 && !output.empty()) return usage("TARGET and -o both given");
    if (!files.empty()) flags.source = files[0];
    if (files.size() == 2) flags.target = files[1];
    if (!output.empty()) flags.target = output;
    if (files.empty() && ::isatty(0)) {
      return usage(
          "no SOURCE given and standard input is a terminal; name a page, or pipe "
          "one in");
    }
  }
  flags.files = std::move(files);
  if (flags.verify && !CanVerify()) return usage("--verify is not available in this build");
  return std::nullopt;
}

}  // namespace htmlcompress
