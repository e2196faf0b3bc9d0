// Fuzz target: every pass, one at a time, on arbitrary bytes, with the bytes
// past the working length made unreadable (under AddressSanitizer), so that
// a pass that reads or writes past the text stops the run. Checks that the
// text never grows and that a second Compress changes nothing.
//
// The first byte's low seven bits choose the options of the Compress check.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "HTMLCompressor.h"
#include "Passes.h"

#if defined(__SANITIZE_ADDRESS__)
#define VELMAR_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMAR_ASAN 1
#endif
#endif
#ifdef VELMAR_ASAN
#include <sanitizer/asan_interface.h>
#define POISON(address, size) ASAN_POISON_MEMORY_REGION(address, size)
#define UNPOISON(address, size) ASAN_UNPOISON_MEMORY_REGION(address, size)
#else
#define POISON(address, size) ((void)(address), (void)(size))
#define UNPOISON(address, size) ((void)(address), (void)(size))
#endif

namespace {

using velmar::WorkingState;

// Runs `pass` with everything from the working length to the end of a
// larger buffer poisoned.
template <typename Pass>
void RunGuarded(std::vector<char>& buffer, std::int64_t& length,
                const velmar::THTMLCompressor& component, Pass pass) {
  const std::int64_t before = length;
  POISON(buffer.data() + length, buffer.size() - static_cast<std::size_t>(length));
  WorkingState state{{buffer.data(), static_cast<std::size_t>(length)}, length, component};
  pass(state);
  UNPOISON(buffer.data(), buffer.size());
  if (state.length < 0 || state.length > before) std::abort();
  length = state.length;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned mask = data[0] & 127;
  const std::string_view document(reinterpret_cast<const char*>(data + 1), size - 1);

  velmar::THTMLCompressor component;
  component.SetWebbots(mask & 64);
  std::vector<char> buffer(document.size() + 64);
  std::int64_t length = static_cast<std::int64_t>(document.size());
  std::memcpy(buffer.data(), document.data(), document.size());
  RunGuarded(buffer, length, component, [](WorkingState& s) { velmar::StripAttributeQuotes(s); });
  constexpr velmar::Match kAnywhere = velmar::Match::kAnywhere;
  struct Call {
    const char* search;
    const char* replacement;
    bool in_blocks, skip_scripts;
    velmar::Match where;
  };
  static constexpr Call kCalls[] = {{"\r\r", "\r", false, false, kAnywhere},
                                    {"\n\n", "\n", false, false, kAnywhere},
                                    {"\r\n", "", false, true, kAnywhere},
                                    {"\r", "", false, true, kAnywhere},
                                    {"\n", "", false, true, kAnywhere},
                                    {"    ", " ", false, true, kAnywhere},
                                    {"  ", " ", false, true, kAnywhere},
                                    {" >", ">", false, true, velmar::Match::kBeforeTagEnd},
                                    {"<strong", "<b", true, true, velmar::Match::kWholeTagName},
                                    {"</em>", "</i>", true, true, kAnywhere}};
  for (const Call& call : kCalls) {
    RunGuarded(buffer, length, component, [&call](WorkingState& s) {
      velmar::ReplaceAll(s, call.search, call.replacement, call.in_blocks, call.skip_scripts,
                         call.where);
    });
  }
  RunGuarded(buffer, length, component, [](WorkingState& s) {
    velmar::ConvertCenteredParagraphs(s, "<p align=center>", "<center>", "</p>", "</center>");
  });

  velmar::THTMLCompressor compressor;
  compressor.SetSimpleTags(mask & 1);
  compressor.SetCenter(mask & 2);
  compressor.SetInvCommas(mask & 4);
  compressor.SetSpaces(mask & 8);
  compressor.SetReturns(mask & 16);
  compressor.SetAllReturns(mask & 32);
  compressor.SetWebbots(mask & 64);
  if (!compressor.LoadFromMemory(document)) std::abort();
  compressor.Compress();
  if (compressor.CompressedSize() > compressor.Size()) std::abort();
  const std::string result(compressor.Document());
  compressor.Compress();
  if (compressor.Document() != result) std::abort();
  return 0;
}
