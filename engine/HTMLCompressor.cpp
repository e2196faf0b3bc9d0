// THTMLCompressor: the document, its options, and the order of the passes.

#include "HTMLCompressor.h"

#include <cstring>
#include <new>
#include <string_view>

#include "FileIo.h"
#include "Passes.h"

namespace velmar {
namespace {

// A copy of `bytes` in a block of exactly their size; no block for 0 bytes.
std::unique_ptr<char[]> CopyOf(std::string_view bytes) {
  if (bytes.empty()) return nullptr;
  auto block = std::make_unique_for_overwrite<char[]>(bytes.size());
  std::memcpy(block.get(), bytes.data(), bytes.size());
  return block;
}

}  // namespace

bool THTMLCompressor::LoadFromFile(const std::filesystem::path& file_name) {
  std::error_code ignored;
  return LoadFromFile(file_name, ignored);
}

bool THTMLCompressor::LoadFromFile(const std::filesystem::path& file_name,
                                   std::error_code& error) noexcept {
  // The old document goes first, so that a large file does not have to fit
  // in memory next to it, and a failed load leaves nothing behind.
  Clear();
  fileio::Block block;
  if (!fileio::ReadWholeFile(file_name, block, error)) return false;
  FBuffer = std::move(block.bytes);
  FSize = block.size;
  FLoaded = true;
  return true;
}

bool THTMLCompressor::LoadFromMemory(std::span<const char> bytes) noexcept {
  Clear();
  try {
    FBuffer = CopyOf({bytes.data(), bytes.size()});
  } catch (const std::bad_alloc&) {
    return false;
  }
  FSize = static_cast<std::int64_t>(bytes.size());
  FLoaded = true;
  return true;
}

void THTMLCompressor::Compress() {
  if (!FLoaded || FCompressed) return;
  if (FSize == 0) {
    FCompressed = true;
    return;
  }

  auto working = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(FSize));
  std::memcpy(working.get(), FBuffer.get(), static_cast<std::size_t>(FSize));
  WorkingState state{{working.get(), static_cast<std::size_t>(FSize)}, FSize, *this};

  if (FInvCommas) StripAttributeQuotes(state);
  if (FAllReturns) {
    ReplaceAll(state, "\r\r", "\r", false, false);
    ReplaceAll(state, "\n\n", "\n", false, false);
    ReplaceAll(state, "\r\n", "", false, true);
    ReplaceAll(state, "\r", "", false, true);
    ReplaceAll(state, "\n", "", false, true);
  } else if (FReturns) {
    ReplaceAll(state, "\r\r", "\r", false, false);
    ReplaceAll(state, "\n\n", "\n", false, false);
  }
  if (FSpaces) {
    ReplaceAll(state, "    ", " ", false, true);
    ReplaceAll(state, "   ", " ", false, true);
    ReplaceAll(state, "  ", " ", false, true);
    ReplaceAll(state, "  ", " ", false, true);
    ReplaceAll(state, " >", ">", false, true);
  }
  if (FSimpleTags) {
    ReplaceAll(state, "<strong>", "<b>", true, true);
    ReplaceAll(state, "</strong>", "</b>", true, true);
    ReplaceAll(state, "<em>", "<i>", true, true);
    ReplaceAll(state, "</em>", "</i>", true, true);
    ReplaceAll(state, "<strike>", "<s>", true, true);
    ReplaceAll(state, "</strike>", "</s>", true, true);
  }
  if (FCenter) {
    ConvertCenteredParagraphs(state, "<p align=center>", "<center>", "</p>", "</center>");
    ConvertCenteredParagraphs(state, "<p align=\"center\">", "<center>", "</p>", "</center>");
  }

  // The result block is allocated before anything changes, so that running
  // out of memory here leaves the component as it was.
  auto result = CopyOf(state.Text());
  FBuffer = std::move(result);
  FCompressedSize = state.length;
  FCompressed = true;
}

bool THTMLCompressor::SaveToFile(const std::filesystem::path& file_name) {
  std::error_code ignored;
  return SaveToFile(file_name, ignored);
}

bool THTMLCompressor::SaveToFile(const std::filesystem::path& file_name,
                                 std::error_code& error) noexcept {
  if (!FLoaded) {
    error = std::make_error_code(std::errc::invalid_argument);  // nothing loaded
    return false;
  }
  const std::string_view document = Document();
  return fileio::ReplaceFile(file_name, {document.data(), document.size()}, error);
}

std::string_view THTMLCompressor::Document() const noexcept {
  const std::int64_t size = FCompressed ? FCompressedSize : FSize;
  return {FBuffer.get(), static_cast<std::size_t>(size)};
}

void THTMLCompressor::Clear() noexcept {
  FBuffer.reset();
  FSize = 0;
  FCompressedSize = 0;
  FCompressed = false;
  FLoaded = false;
}

}  // namespace velmar
