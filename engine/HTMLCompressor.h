// Velmar HTML Compressor: the compression engine.
//
// Naming: the class carries a T prefix (THTMLCompressor), the fields behind
// its options an F prefix (FSimpleTags), and each option X is read with X()
// and written with SetX(). Everything else follows Google style.
//
// THTMLCompressor holds one HTML document as a block of bytes, rewrites it
// with a fixed sequence of lexical passes and writes the result out. It is
// used through three calls, in this order:
//
//   velmar::THTMLCompressor compressor;         // all seven options on
//   if (!compressor.LoadFromFile("page.html")) ...;
//   compressor.Compress();
//   if (!compressor.SaveToFile("page.min.html")) ...;
//
// The document is bytes, never characters: no character set is assumed,
// nothing is decoded, line ends are kept as they are. Letter case is ignored
// only for the ASCII letters A to Z.
//
// OPTIONS (each one is True after construction)
//
//   InvCommas  (True)  Attribute quote pass, run before everything else:
//                      drops the double quotes around an attribute value
//                      where a browser reads the unquoted value the same,
//                      <a href="x.htm"> -> <a href=x.htm>. Never inside
//                      script, style, textarea, title, xmp, iframe, noembed
//                      or noframes, nor in a tag that holds a single quote.
//   AllReturns (True)  Removes line breaks: CR CR and LF LF are collapsed,
//                      then CR LF, CR and LF are deleted where they touch a
//                      blank, another line break, an end of the text, or
//                      the tag of a block element (<p>, </div>, <br>, ...).
//                      A line break stays where removing it would join two
//                      words, also across inline tags like <a> or <code>.
//   Returns    (True)  Only when AllReturns is off: collapses runs of CR and
//                      runs of LF to one.
//   Spaces     (True)  Collapses runs of blanks (byte 32) to one blank and
//                      drops a blank in front of a ">" that ends a tag.
//   SimpleTags (True)  Shortens <strong>, <em>, <strike> and their end tags
//                      to <b>, <i>, <s> and their end tags; a start tag keeps
//                      its attributes (<em class=x> -> <i class=x>).
//   Center     (True)  Rewrites <p align=center>...</p> (also with the value
//                      in double quotes) as <center>...</center>.
//   Webbots    (True)  With AllReturns or Returns on, removes webbot comment
//                      tags, "<!--webbot" through the next ">".
//
// The line-break and blank passes leave pre and textarea elements alone;
// all passes but the line-break collapsing leave script elements alone; no
// pass but the quote pass changes a quoted attribute value. The
// passes run in the order of the list above; the centred paragraph pass sees
// the text that all others have left.
//
// ERRORS
//
// The file operations never throw: they return True on success. Their
// std::error_code overloads, as in std::filesystem, also give the system's
// reason for a failure. Compress rewrites the document where it lies and
// allocates nothing, so it cannot fail.
//
// SAVING
//
// SaveToFile never leaves a half-written file: it writes a temporary file in
// the target's folder, flushes it to disk and renames it over the target.
// The temporary file has its final permission bits before its first byte,
// and on Linux no name until just before the rename. On failure the old
// target is untouched and the temporary file is gone. A replaced target
// keeps its permission bits and, where the process may, its owner. A
// symbolic link is followed to the file it names (created if missing); a
// FIFO or a character device, such as /dev/null, is written to as a
// stream. Source and target may be the same file.

#ifndef VELMAR_ENGINE_HTMLCOMPRESSOR_H_
#define VELMAR_ENGINE_HTMLCOMPRESSOR_H_

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <system_error>

#include "ByteBlock.h"
#include "FileIo.h"

namespace velmar {

struct WorkingState;

class THTMLCompressor {
 public:
  // State New: no document, all seven options on.
  THTMLCompressor() = default;
  virtual ~THTMLCompressor() = default;

  THTMLCompressor(const THTMLCompressor&) = delete;
  THTMLCompressor& operator=(const THTMLCompressor&) = delete;

  // Reads the whole file into the component (state Loaded). The source is
  // opened for reading only and shared with other readers and writers; an
  // empty file loads too. On failure (missing, a directory, unreadable, too
  // large for memory, an empty name) the component is left empty: no
  // document, Compress does nothing and SaveToFile fails.
  [[nodiscard]] bool LoadFromFile(const std::filesystem::path& file_name);
  [[nodiscard]] bool LoadFromFile(const std::filesystem::path& file_name,
                                  std::error_code& error) noexcept;

  // The same for bytes held in memory (standard input, tests). Fails only
  // when memory runs out, leaving the component empty.
  [[nodiscard]] bool LoadFromMemory(std::span<const char> bytes) noexcept;
  // Takes over a block read elsewhere (a folder's file), without a copy.
  void LoadFromBlock(ByteBlock&& bytes) noexcept;

  // Runs the passes that the options select over the loaded document and
  // keeps the result in its place (state Compressed). Does nothing when no
  // document is loaded or when it has been compressed already: to compress
  // again, load again. Time is linear in the document's size.
  virtual void Compress();

  // Writes the current document: the result after Compress, otherwise the
  // loaded bytes. Fails only when no load has succeeded or when the file
  // cannot be written; see SAVING above.
  [[nodiscard]] bool SaveToFile(const std::filesystem::path& file_name);
  [[nodiscard]] bool SaveToFile(const std::filesystem::path& file_name,
                                std::error_code& error) noexcept;
  // With the file's permission bits, or the name itself replaced rather than
  // a link followed or a FIFO written to (see FileIo.h).
  [[nodiscard]] bool SaveToFile(const std::filesystem::path& file_name,
                                const fileio::WriteOptions& options,
                                std::error_code& error) noexcept;

  // The current document (empty in state New). The view is valid until the
  // next Load or Compress.
  std::string_view Document() const noexcept;
  // True once a load has succeeded and no later load has failed.
  bool HasDocument() const noexcept { return FLoaded; }
  // True once Compress has stored a result for the loaded document.
  bool Compressed() const noexcept { return FCompressed; }
  // Byte count of the loaded document, and of the result (0 until Compress).
  std::int64_t Size() const noexcept { return FSize; }
  std::int64_t CompressedSize() const noexcept { return FCompressedSize; }

  bool SimpleTags() const noexcept { return FSimpleTags; }
  void SetSimpleTags(bool value) noexcept { FSimpleTags = value; }
  bool Center() const noexcept { return FCenter; }
  void SetCenter(bool value) noexcept { FCenter = value; }
  bool InvCommas() const noexcept { return FInvCommas; }
  void SetInvCommas(bool value) noexcept { FInvCommas = value; }
  bool Spaces() const noexcept { return FSpaces; }
  void SetSpaces(bool value) noexcept { FSpaces = value; }
  bool Returns() const noexcept { return FReturns; }
  void SetReturns(bool value) noexcept { FReturns = value; }
  bool AllReturns() const noexcept { return FAllReturns; }
  void SetAllReturns(bool value) noexcept { FAllReturns = value; }
  bool Webbots() const noexcept { return FWebbots; }
  void SetWebbots(bool value) noexcept { FWebbots = value; }

 private:
  // Back to state New, options aside.
  void Clear() noexcept;
  // The passes that the options select, in their fixed order.
  void RunPasses(WorkingState& state) const;

  // The document block: FSize bytes after a load, FCompressedSize bytes
  // after Compress. A byte count of 0 is held as no block at all.
  ByteBlock FBuffer;
  std::int64_t FSize = 0;
  std::int64_t FCompressedSize = 0;
  bool FSimpleTags = true;
  bool FCenter = true;
  bool FInvCommas = true;
  bool FSpaces = true;
  bool FReturns = true;
  bool FAllReturns = true;
  bool FWebbots = true;
  bool FCompressed = false;
  // An empty document holds no block, so whether one is loaded at all is
  // kept apart from FBuffer.
  bool FLoaded = false;
};

}  // namespace velmar

#endif  // VELMAR_ENGINE_HTMLCOMPRESSOR_H_
