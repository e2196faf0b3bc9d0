// One page through the engine, with or without proof that it reads the same.

#ifndef VELMAR_CLI_COMPRESSPAGE_H_
#define VELMAR_CLI_COMPRESSPAGE_H_

#include <optional>
#include <string>

#include "HTMLCompressor.h"

namespace htmlcompress {

// Whether this build has --verify (it needs the HTML5 parser).
bool CanVerify();

struct PageOutcome {
  // Set when the page was kept uncompressed: "kept uncompressed: words run
  // together at line 3, column 9 of the original".
  std::optional<std::string> kept;
  double verify_seconds = 0;
};

// Compresses the document `compressor` holds. With `verify`, the page is
// parsed before and after; when the two read differently, the document goes
// back to the loaded bytes, to be saved unchanged. Throws std::bad_alloc when
// memory runs out.
PageOutcome CompressPage(velmar::THTMLCompressor& compressor, bool verify);

}  // namespace htmlcompress

#endif  // VELMAR_CLI_COMPRESSPAGE_H_
