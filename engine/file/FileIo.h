// The engine's access to files: the only code that talks to the operating
// system. One implementation per platform sits beside this header
// (FileIoPosix.cpp, FileIoWindows.cpp).
//
// Every call returns true on success; on failure it returns false with the
// system's reason in `error`, and never throws.
//
// A file is never replaced in place: its new contents go to a temporary
// file in the same folder, created with its final permission bits (or
// stricter) before the first byte is written, flushed to disk and renamed
// over the old name. Where the system allows (Linux), the temporary file has
// no name until just before the rename, so a killed process leaves nothing.
// A temporary name is ".htmlcompress-" and 12 hexadecimal digits, whatever
// the target's name.

#ifndef VELMAR_ENGINE_FILEIO_H_
#define VELMAR_ENGINE_FILEIO_H_

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "ByteBlock.h"

namespace velmar::fileio {

// Failures to inject into the calls below, for tests: each makes one system
// call fail as the system would. The calls take a plan as an optional last
// argument; the engine passes none.
struct FaultPlan {
  int read_error = 0;             // read() fails with this errno
  bool short_read = false;        // the file ends early while being read
  std::int64_t write_limit = -1;  // writes fail with ENOSPC past this many bytes
  int fsync_error = 0;            // fsync() fails with this errno
  int syncfs_error = 0;           // a WriteGroup's flush of the whole file system fails
  int folder_error = 0;           // a WriteGroup's flush of the folder after the rename fails
  int close_error = 0;            // closing the written file fails with this errno
  int rename_error = 0;           // rename() fails with this errno
  // When set, receives the new file's permission bits as its first byte is
  // written (POSIX).
  unsigned* mode_at_first_write = nullptr;
};

// The file layer's own reasons, beside the system's.
enum class Failure {
  kChangedWhileRead = 1,  // "changed while being read"
  kNotRegular,            // "not a regular file"
};
const std::error_category& FailureCategory() noexcept;
std::error_code MakeError(Failure failure) noexcept;

// How a file is replaced.
struct WriteOptions {
  // The new file's permission bits. By default: those of the file it
  // replaces, or for a new file what the umask leaves of rw-rw-rw-.
  std::optional<std::filesystem::perms> permissions;
  // Replace the name itself: a symbolic link or special file found there
  // gives way to the new file (a mirror's files). By default a link is
  // followed to the file it names (a dangling one is created), and a FIFO or
  // a character device (/dev/null, /dev/stdout) is written to as a stream.
  bool replace_name = false;
  // The new file's modification time; by default the time of writing.
  std::optional<std::filesystem::file_time_type> modified = std::nullopt;
};

// Reads the whole file, opened for reading only and shared with other
// readers and writers. A regular file is read at the size it has when
// opened; one that shrinks or grows meanwhile fails with kChangedWhileRead.
// Anything else that can be read (a pipe, a terminal) is read to its end. A
// file that does not fit in memory fails with std::errc::not_enough_memory.
bool ReadWholeFile(const std::filesystem::path& file_name, ByteBlock& block, std::error_code& error,
                   const FaultPlan* faults = nullptr) noexcept;

// Replaces the file by `bytes` without ever leaving it half written (see
// the top of this header). A replaced file keeps its owner where the process
// may; a link loop fails. On failure the target is as it was.
bool ReplaceFile(const std::filesystem::path& file_name, std::span<const char> bytes,
                 std::error_code& error, const WriteOptions& options = {},
                 const FaultPlan* faults = nullptr) noexcept;

class Folder;

// Files replaced together, for a batch: one flush to disk for them all in
// place of one per file. Add() writes a file's new contents to a temporary
// file beside its target, made as ReplaceFile makes one; Commit() flushes
// every added file to disk at once (one sync of each file system where the
// system has it, else a flush per file), renames each over its target, and
// flushes their folders. Each target holds its old file until its rename
// and its new one after it, so a crash at any moment leaves it whole. Files
// added and not committed are discarded when the group is destroyed; until
// Commit() each holds two open descriptors (its own and its folder's).
// Where the system offers nothing better (Windows), Add() replaces the file
// at once, as ReplaceFile does, and Commit() has nothing left to do.
class WriteGroup {
 public:
  WriteGroup() noexcept;
  ~WriteGroup();
  WriteGroup(const WriteGroup&) = delete;
  WriteGroup& operator=(const WriteGroup&) = delete;

  // Adds `name` in `folder`, which may close before Commit(): as
  // Folder::WriteFile, the name itself is replaced.
  bool Add(const Folder& folder, std::string_view name, std::span<const char> bytes,
           std::error_code& error, const WriteOptions& options = {},
           const FaultPlan* faults = nullptr) noexcept;
  // Adds the file at `file_name`, as ReplaceFile finds it: a link is
  // followed, and a FIFO or device is written to at once as a stream.
  bool Add(const std::filesystem::path& file_name, std::span<const char> bytes,
           std::error_code& error, const WriteOptions& options = {},
           const FaultPlan* faults = nullptr) noexcept;

  // The files added since the last Commit(), and their bytes.
  std::size_t size() const noexcept;
  std::uintmax_t bytes() const noexcept { return bytes_; }

  // Makes each file added since the last Commit() its target's contents.
  // `errors` gets one entry per file, in the order added: empty where the
  // file is on disk under its name, else the reason, with the target as it
  // was (or, when only flushing its folder failed, already replaced). Returns
  // whether all succeeded.
  bool Commit(std::vector<std::error_code>& errors) noexcept;

 private:
  struct Staged;  // one file, as the platform holds it
  std::vector<Staged> files_;
  std::uintmax_t bytes_ = 0;
};

// Removes the named temporary files of saves in progress, in this process.
// For a signal that ends the process: a thread that is not inside a save
// may call it at any time.
void RemovePendingTemporaries() noexcept;

// Whether `name` is one of the temporary names above.
bool IsTemporaryName(std::string_view name) noexcept;

// One entry of a folder.
struct Entry {
  enum Kind { kFile, kFolder, kLink, kSpecial };
  std::string name;
  Kind kind = kFile;
};

// What a mirror needs to know of a file.
struct FileInfo {
  std::filesystem::perms permissions = std::filesystem::perms::none;
  std::filesystem::file_time_type modified;
  std::uintmax_t size = 0;
};

// A folder held open, so that a tree can be read and written entry by entry:
// names are looked up in it, never followed through a symbolic link, and no
// path grows longer than one name. Closed when destroyed.
class Folder {
 public:
  Folder() = default;
  ~Folder();
  Folder(Folder&& other) noexcept;
  Folder& operator=(Folder&& other) noexcept;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  // The folder at `path`, links in the path followed: the folder a user named.
  static bool Open(const std::filesystem::path& path, Folder& folder,
                   std::error_code& error) noexcept;

  // The subfolder `name`, never through a link. With `create`, a missing one
  // is made with `permissions` (applied also to one that exists), and a link
  // or file found there is replaced by the new folder; nothing it points to
  // is touched.
  bool Child(std::string_view name, Folder& child, std::error_code& error, bool create = false,
             std::optional<std::filesystem::perms> permissions = {}) const noexcept;

  bool List(std::vector<Entry>& entries, std::error_code& error) const noexcept;
  bool Info(std::string_view name, FileInfo& info, std::error_code& error) const noexcept;
  bool ReadLink(std::string_view name, std::string& target, std::error_code& error) const noexcept;
  bool ReadFile(std::string_view name, ByteBlock& block, std::error_code& error) const noexcept;

  // Replaces `name` by a file holding `bytes`, as ReplaceFile does, with the
  // name itself replaced (WriteOptions::replace_name).
  bool WriteFile(std::string_view name, std::span<const char> bytes, std::error_code& error,
                 const WriteOptions& options = {},
                 const FaultPlan* faults = nullptr) const noexcept;
  // Replaces `name`, atomically, by a symbolic link to `target`.
  bool WriteLink(std::string_view name, const std::string& target,
                 std::error_code& error) const noexcept;
  // Removes the temporary files left here by a process that was killed
  // (untouched for a minute); returns how many.
  int RemoveLeftovers() const noexcept;

  bool valid() const noexcept;

 private:
  friend class WriteGroup;
#ifdef _WIN32
  std::filesystem::path path_;
#else
  int fd_ = -1;
#endif
};

}  // namespace velmar::fileio

#endif  // VELMAR_ENGINE_FILEIO_H_
