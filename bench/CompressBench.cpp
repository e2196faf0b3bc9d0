// Throughput of Compress with every option on, at 1, 16 and 128 MB, and of
// each pass alone at 16 MB. Each iteration includes the in-memory load (one
// copy of the document), which refills the component for the next run.
//
// Pages named with --page=FILE (any number) are timed too, Compress alone:
// bench/real_world.sh times real pages this way.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "HTMLCompressor.h"
#include "HtmlGenerator.h"
#include "Passes.h"

namespace {

const std::string& Html(std::size_t size) {
  static std::map<std::size_t, std::string> cache;
  auto [it, inserted] = cache.try_emplace(size);
  if (inserted) it->second = velmar::bench::GenerateHtml(size);
  return it->second;
}

void BM_Compress(benchmark::State& state) {
  const std::string& html = Html(static_cast<std::size_t>(state.range(0)));
  velmar::THTMLCompressor compressor;
  for (auto _ : state) {
    if (!compressor.LoadFromMemory(html)) state.SkipWithError("out of memory");
    compressor.Compress();
    benchmark::DoNotOptimize(compressor.Document().data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * html.size()));
  state.SetComplexityN(state.range(0));
  state.counters["ratio"] =
      static_cast<double>(compressor.CompressedSize()) / static_cast<double>(html.size());
}
BENCHMARK(BM_Compress)
    ->RangeMultiplier(16)
    ->Range(1 << 20, 128 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// `calls` over the same text, with the buffer refilled before each run.
void RunOver(benchmark::State& state, const std::string& text,
             const std::function<void(velmar::WorkingState&)>& calls) {
  velmar::THTMLCompressor component;
  std::string buffer;
  for (auto _ : state) {
    buffer = text;
    velmar::WorkingState working{
        {buffer.data(), buffer.size()}, static_cast<std::int64_t>(buffer.size()), component};
    calls(working);
    benchmark::DoNotOptimize(working.length);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// One pass over 16 MB of generated HTML.
void RunPass(benchmark::State& state, const std::function<void(velmar::WorkingState&)>& pass) {
  RunOver(state, Html(16 << 20), pass);
}

void BM_StripAttributeQuotes(benchmark::State& state) {
  RunPass(state, [](velmar::WorkingState& s) { velmar::StripAttributeQuotes(s); });
}
void BM_ReplaceAll_CrLfDeletion(benchmark::State& state) {
  RunPass(state, [](velmar::WorkingState& s) { velmar::ReplaceAll(s, "\r\n", "", false, true); });
}
void BM_ReplaceAll_TwoBlanks(benchmark::State& state) {
  RunPass(state, [](velmar::WorkingState& s) { velmar::ReplaceAll(s, "  ", " ", false, true); });
}
void BM_ReplaceAll_LfDeletion(benchmark::State& state) {
  RunPass(state, [](velmar::WorkingState& s) { velmar::ReplaceAll(s, "\n", "", false, true); });
}
void BM_ReplaceAll_Strong(benchmark::State& state) {
  RunPass(state,
          [](velmar::WorkingState& s) { velmar::ReplaceAll(s, "<strong>", "<b>", true, true); });
}
void BM_ConvertCenteredParagraphs(benchmark::State& state) {
  RunPass(state, [](velmar::WorkingState& s) {
    velmar::ConvertCenteredParagraphs(s, "<p align=\"center\">", "<center>", "</p>", "</center>");
  });
}
void BM_CopyOnly(benchmark::State& state) {
  RunPass(state, [](velmar::WorkingState&) {});
}
// Each option group's calls on the text Compress hands them: the page after
// the passes that run before the group (quotes stripped first, and so on).
const std::string& TextAfter(unsigned options) {
  static std::map<unsigned, std::string> cache;
  auto [it, inserted] = cache.try_emplace(options);
  if (inserted) {
    velmar::THTMLCompressor compressor;
    compressor.SetInvCommas(options & 1);
    compressor.SetAllReturns(options & 2);
    compressor.SetSpaces(options & 4);
    compressor.SetSimpleTags(false);
    compressor.SetCenter(false);
    compressor.SetReturns(false);
    if (!compressor.LoadFromMemory(Html(16 << 20))) std::abort();
    compressor.Compress();
    it->second = compressor.Document();
  }
  return it->second;
}

void RunGroup(benchmark::State& state, unsigned before,
              const std::function<void(velmar::WorkingState&)>& calls) {
  RunOver(state, TextAfter(before), calls);
}

void BM_LineBreakCalls(benchmark::State& state) {
  RunGroup(state, 1, [](velmar::WorkingState& s) {
    velmar::ReplaceAll(s, "\r\r", "\r", false, false);
    velmar::ReplaceAll(s, "\n\n", "\n", false, false);
    velmar::ReplaceAll(s, "\r\n", "", false, true);
    velmar::ReplaceAll(s, "\r", "", false, true);
    velmar::ReplaceAll(s, "\n", "", false, true);
  });
}
void BM_BlankCalls(benchmark::State& state) {
  RunGroup(state, 1 | 2, [](velmar::WorkingState& s) {
    velmar::ReplaceAll(s, "    ", " ", false, true);
    velmar::ReplaceAll(s, "   ", " ", false, true);
    velmar::ReplaceAll(s, "  ", " ", false, true);
    velmar::ReplaceAll(s, "  ", " ", false, true);
    velmar::ReplaceAll(s, " >", ">", false, true, velmar::Match::kBeforeTagEnd);
  });
}
void BM_SimpleTagCalls(benchmark::State& state) {
  RunGroup(state, 1 | 2 | 4, [](velmar::WorkingState& s) {
    velmar::ReplaceAll(s, "<strong", "<b", true, true, velmar::Match::kWholeTagName);
    velmar::ReplaceAll(s, "</strong>", "</b>", true, true);
    velmar::ReplaceAll(s, "<em", "<i", true, true, velmar::Match::kWholeTagName);
    velmar::ReplaceAll(s, "</em>", "</i>", true, true);
    velmar::ReplaceAll(s, "<strike", "<s", true, true, velmar::Match::kWholeTagName);
    velmar::ReplaceAll(s, "</strike>", "</s>", true, true);
  });
}
BENCHMARK(BM_LineBreakCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlankCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SimpleTagCalls)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_StripAttributeQuotes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceAll_CrLfDeletion)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceAll_TwoBlanks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceAll_LfDeletion)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceAll_Strong)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertCenteredParagraphs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyOnly)->Unit(benchmark::kMillisecond);

// Compress alone on a page read from a file; the load is not timed.
void BM_CompressPage(benchmark::State& state, const std::string& file) {
  velmar::THTMLCompressor compressor;
  std::error_code error;
  velmar::THTMLCompressor page;
  if (!page.LoadFromFile(file, error)) {
    state.SkipWithError(("cannot read " + file + ": " + error.message()).c_str());
    return;
  }
  const std::string_view html = page.Document();
  for (auto _ : state) {
    state.PauseTiming();
    if (!compressor.LoadFromMemory(html)) state.SkipWithError("out of memory");
    state.ResumeTiming();
    compressor.Compress();
    benchmark::DoNotOptimize(compressor.Document().data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * html.size()));
  state.counters["ratio"] =
      static_cast<double>(compressor.CompressedSize()) / static_cast<double>(html.size());
}

}  // namespace

int main(int argc, char** argv) {
  // --page=FILE arguments are ours; the rest go to Google Benchmark.
  std::vector<char*> rest;
  for (int k = 0; k < argc; ++k) {
    const std::string_view argument = argv[k];
    if (argument.starts_with("--page=")) {
      const std::string file(argument.substr(7));
      benchmark::RegisterBenchmark(("BM_CompressPage/" + file).c_str(), BM_CompressPage, file)
          ->Unit(benchmark::kMillisecond);
    } else {
      rest.push_back(argv[k]);
    }
  }
  int count = static_cast<int>(rest.size());
  benchmark::Initialize(&count, rest.data());
  if (benchmark::ReportUnrecognizedArguments(count, rest.data())) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
