// THTMLCompressor: the document, its options, and the order of the passes.

#include "HTMLCompressor.h"

#include <cstring>
#include <new>
#include <string_view>

#include "ByteBlock.h"
#include "FileIo.h"
#include "Groups.h"
#include "Passes.h"

namespace velmar {
bool THTMLCompressor::LoadFromFile(const std::filesystem::path& file_name) {
  std::error_code ignored;
  return LoadFromFile(file_name, ignored);
}

bool THTMLCompressor::LoadFromFile(const std::filesystem::path& file_name,
                                   std::error_code& error) noexcept {
  // The old document goes first, so that a large file does not have to fit
  // in memory next to it, and a failed load leaves nothing behind.
  Clear();
  ByteBlock block;
  if (!fileio::ReadWholeFile(file_name, block, error)) return false;
  FSize = static_cast<std::int64_t>(block.size());
  FBuffer = std::move(block);
  FLoaded = true;
  return true;
}

bool THTMLCompressor::LoadFromMemory(std::span<const char> bytes) noexcept {
  Clear();
  try {
    FBuffer = ByteBlock::Allocate(bytes.size());
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!bytes.empty()) std::memcpy(FBuffer.data(), bytes.data(), bytes.size());
  FSize = static_cast<std::int64_t>(bytes.size());
  FLoaded = true;
  return true;
}

void THTMLCompressor::LoadFromBlock(ByteBlock&& bytes) noexcept {
  Clear();
  FSize = static_cast<std::int64_t>(bytes.size());
  FBuffer = std::move(bytes);
  FLoaded = true;
}

void THTMLCompressor::Compress() {
  if (!FLoaded || FCompressed) return;
  // The passes rewrite the document block itself: they only ever shorten
  // the text, cannot fail, and need no second block, so there is nothing to
  // copy and no fresh memory to touch.
  WorkingState state{FBuffer.span(), FSize, *this};
  if (FSize > 0) RunPasses(state);
  FBuffer.Shrink(static_cast<std::size_t>(state.length));
  FCompressedSize = state.length;
  FCompressed = true;
}

// Quotes go before line breaks, blanks collapse before tags shorten (so
// "<strong >" is shortened), and the centred paragraph pass sees what all
// others have left ("<p align=center >" has lost its blank by then).
void THTMLCompressor::RunPasses(WorkingState& state) const {
  if (FInvCommas) StripAttributeQuotes(state);
  if (FAllReturns || FReturns) {
    const bool cr_calls = CrCallsMayChange(state);
    if (cr_calls) ReplaceAll(state, "\r\r", "\r", false, false);
    ReplaceAll(state, "\n\n", "\n", false, false);
    if (FAllReturns) {
      if (cr_calls) {
        ReplaceAll(state, "\r\n", "", false, true);
        ReplaceAll(state, "\r", "", false, true);
      }
      ReplaceAll(state, "\n", "", false, true);
    }
  }
  // The five blank calls ("    ", "   ", "  ", "  " by " ", then " >" by
  // ">" before a tag's end) and the six short-tag calls (<strong, <em,
  // <strike with their attributes, and their end tags) run as one scan each
  // (Groups.h), with the same result.
  if (FSpaces) CollapseBlankGroup(state);
  // A start tag keeps its attributes, so that it still pairs with the
  // shortened end tag: <em class=x> becomes <i class=x>.
  if (FSimpleTags) ShortenTagGroup(state);
  if (FCenter) {
    ConvertCenteredParagraphs(state, "<p align=center>", "<center>", "</p>", "</center>");
    ConvertCenteredParagraphs(state, "<p align=\"center\">", "<center>", "</p>", "</center>");
  }
}

bool THTMLCompressor::SaveToFile(const std::filesystem::path& file_name) {
  std::error_code ignored;
  return SaveToFile(file_name, ignored);
}

bool THTMLCompressor::SaveToFile(const std::filesystem::path& file_name,
                                 std::error_code& error) noexcept {
  return SaveToFile(file_name, fileio::WriteOptions{}, error);
}

bool THTMLCompressor::SaveToFile(const std::filesystem::path& file_name,
                                 const fileio::WriteOptions& options,
                                 std::error_code& error) noexcept {
  if (!FLoaded) {
    error = std::make_error_code(std::errc::invalid_argument);  // nothing loaded
    return false;
  }
  const std::string_view document = Document();
  return fileio::ReplaceFile(file_name, {document.data(), document.size()}, error, options);
}

std::string_view THTMLCompressor::Document() const noexcept {
  const std::int64_t size = FCompressed ? FCompressedSize : FSize;
  return {FBuffer.data(), static_cast<std::size_t>(size)};
}

void THTMLCompressor::Clear() noexcept {
  FBuffer = ByteBlock();
  FSize = 0;
  FCompressedSize = 0;
  FCompressed = false;
  FLoaded = false;
}

}  // namespace velmar
