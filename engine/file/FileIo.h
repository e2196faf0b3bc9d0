// The engine's access to files: the only code that talks to the operating
// system. One implementation per platform sits beside this header
// (FileIoPosix.cpp here); the engine sees only these two calls.
//
// Both return true on success. On failure they return false with the
// system's reason in `error`, and never throw.

#ifndef VELMAR_ENGINE_FILEIO_H_
#define VELMAR_ENGINE_FILEIO_H_

#include <cstdint>
#include <filesystem>
#include <span>
#include <system_error>

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
  int close_error = 0;            // closing the written file fails with this errno
  int rename_error = 0;           // rename() fails with this errno
};

// Reads the whole file, opened for reading only and shared with other
// readers and writers. A regular file is read at the size it has when
// opened (getting fewer bytes is a failure); anything else that can be read
// (a pipe, a terminal) is read to its end. A file that does not fit in
// memory fails with std::errc::not_enough_memory.
bool ReadWholeFile(const std::filesystem::path& file_name, ByteBlock& block, std::error_code& error,
                   const FaultPlan* faults = nullptr) noexcept;

// Replaces the file by `bytes` without ever leaving it half written: writes
// a temporary file in the same folder, flushes it to disk and renames it
// over the target. A replaced file keeps its permission bits (and, where the
// process may, its owner); a symbolic link is followed to the file it names.
// On failure the target is as it was and the temporary file is gone.
bool ReplaceFile(const std::filesystem::path& file_name, std::span<const char> bytes,
                 std::error_code& error, const FaultPlan* faults = nullptr) noexcept;

}  // namespace velmar::fileio

#endif  // VELMAR_ENGINE_FILEIO_H_
