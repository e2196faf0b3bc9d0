// Fuzz target: the engine against the slow reference on arbitrary bytes.
// The first byte's low seven bits choose the options; the rest is the
// document, capped so that the quadratic reference stays quick.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "HTMLCompressor.h"
#include "reference/Reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned mask = data[0] & 127;
  const std::string_view document(reinterpret_cast<const char*>(data + 1),
                                  size - 1 < 16384 ? size - 1 : 16384);
  const velmar::reference::Options options = velmar::reference::Options::FromMask(mask);

  velmar::THTMLCompressor compressor;
  compressor.SetSimpleTags(options.simple_tags);
  compressor.SetCenter(options.center);
  compressor.SetInvCommas(options.inv_commas);
  compressor.SetSpaces(options.spaces);
  compressor.SetReturns(options.returns);
  compressor.SetAllReturns(options.all_returns);
  compressor.SetWebbots(options.webbots);
  if (!compressor.LoadFromMemory(document)) std::abort();
  compressor.Compress();
  const std::string_view result = compressor.Document();

  if (compressor.CompressedSize() > compressor.Size()) std::abort();
  if (result != velmar::reference::Compress(document, options)) std::abort();
  compressor.Compress();  // a second run changes nothing
  if (compressor.Document() != result) std::abort();
  return 0;
}
