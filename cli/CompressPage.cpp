#include "CompressPage.h"

#include <chrono>
#include <new>
#include <string_view>

#ifdef HTMLCOMPRESS_HAVE_VERIFY
#include "PageVerifier.h"
#endif

namespace htmlcompress {

bool CanVerify() {
#ifdef HTMLCOMPRESS_HAVE_VERIFY
  return true;
#else
  return false;
#endif
}

PageOutcome CompressPage(velmar::THTMLCompressor& compressor, bool verify) {
  PageOutcome outcome;
  if (!verify || !CanVerify()) {
    compressor.Compress();
    return outcome;
  }
#ifdef HTMLCOMPRESS_HAVE_VERIFY
  // The engine compresses in place, so the original is kept aside.
  const std::string original(compressor.Document());
  compressor.Compress();
  const auto started = std::chrono::steady_clock::now();
  const std::optional<velmar::verify::Difference> difference =
      velmar::verify::Compare(original, compressor.Document());
  outcome.verify_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (difference) {
    outcome.kept = "kept uncompressed: " + difference->what + " at line " +
                   std::to_string(difference->line) + ", column " +
                   std::to_string(difference->column) + " of the original";
    if (!compressor.LoadFromMemory(original)) throw std::bad_alloc();
  }
#endif
  return outcome;
}

}  // namespace htmlcompress
