// Windows implementation of FileIo.h: wide-character names, files shared
// with other readers and writers, and a replace that keeps the target's
// attributes and security settings.

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// <windows.h> names its own ReplaceFileW so; this file defines ours.
#undef ReplaceFile

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "FileIo.h"

namespace velmar::fileio {
namespace {

const FaultPlan kNoFaults;

// Win32 error codes as the portable error conditions the callers compare
// against (std::errc), so that messages and tests read the same everywhere.
std::error_code FromWin32(DWORD code) {
  int value = EIO;
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      value = ENOENT;
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      value = EACCES;
      break;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      value = EBUSY;
      break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      value = EEXIST;
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      value = ENOSPC;
      break;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      value = ENOMEM;
      break;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
      value = EINVAL;
      break;
    case ERROR_DIRECTORY:
      value = ENOTDIR;
      break;
    case ERROR_NOT_SAME_DEVICE:
      value = EXDEV;
      break;
  }
  return {value, std::generic_category()};
}

std::error_code LastError() { return FromWin32(::GetLastError()); }
std::error_code Errno(int value) { return {value, std::generic_category()}; }

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool Close() {
    if (handle_ == INVALID_HANDLE_VALUE) return true;
    const BOOL closed = ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed != 0;
  }

 private:
  HANDLE handle_;
};

// Reads up to `count` bytes; returns the number read, or -1 with `error`.
std::int64_t ReadFully(HANDLE file, char* into, std::int64_t count, const FaultPlan& faults,
                       std::error_code& error) {
  if (faults.read_error != 0) {
    error = Errno(faults.read_error);
    return -1;
  }
  if (faults.short_read) count /= 2;
  std::int64_t done = 0;
  while (done < count) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::int64_t>(count - done, 1 << 30));
    DWORD got = 0;
    if (!::ReadFile(file, into + done, chunk, &got, nullptr)) {
      if (::GetLastError() == ERROR_BROKEN_PIPE) break;  // the writer is done
      error = LastError();
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

bool WriteFully(HANDLE file, const char* from, std::size_t count, const FaultPlan& faults,
                std::error_code& error) {
  std::int64_t written = 0;
  while (count > 0) {
    std::size_t chunk = std::min<std::size_t>(count, 1 << 30);
    if (faults.write_limit >= 0) {
      if (written >= faults.write_limit) {
        error = Errno(ENOSPC);
        return false;
      }
      chunk = std::min<std::size_t>(chunk, static_cast<std::size_t>(faults.write_limit - written));
    }
    DWORD put = 0;
    if (!::WriteFile(file, from, static_cast<DWORD>(chunk), &put, nullptr)) {
      error = LastError();
      return false;
    }
    from += put;
    written += put;
    count -= put;
  }
  return true;
}

bool ReadStream(HANDLE file, ByteBlock& block, std::error_code& error, const FaultPlan& faults) {
  std::vector<char> bytes(1 << 16);
  std::size_t used = 0;
  while (true) {
    if (used == bytes.size()) bytes.resize(bytes.size() * 2);
    const std::int64_t got = ReadFully(
        file, bytes.data() + used, static_cast<std::int64_t>(bytes.size() - used), faults, error);
    if (got < 0) return false;
    used += static_cast<std::size_t>(got);
    if (used < bytes.size()) break;
  }
  block = ByteBlock::Allocate(used);
  if (used != 0) std::memcpy(block.data(), bytes.data(), used);
  return true;
}

}  // namespace

bool ReadWholeFile(const std::filesystem::path& file_name, ByteBlock& block, std::error_code& error,
                   const FaultPlan* fault_plan) noexcept {
  const FaultPlan& faults = fault_plan ? *fault_plan : kNoFaults;
  try {
    if (file_name.empty()) {
      error = Errno(ENOENT);
      return false;
    }
    const DWORD attributes = ::GetFileAttributesW(file_name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      error = Errno(EISDIR);
      return false;
    }
    Handle file(::CreateFileW(
        file_name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid()) {
      error = LastError();
      return false;
    }
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
      return ReadStream(file.get(), block, error, faults);
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) {
      error = LastError();
      return false;
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > PTRDIFF_MAX) {
      error = Errno(ENOMEM);
      return false;
    }
    ByteBlock bytes = ByteBlock::Allocate(static_cast<std::size_t>(size.QuadPart));
    const std::int64_t got = ReadFully(file.get(), bytes.data(), size.QuadPart, faults, error);
    if (got < 0) return false;
    if (got != size.QuadPart) {
      error = Errno(EIO);
      return false;
    }
    block = std::move(bytes);
    error.clear();
    return true;
  } catch (const std::bad_alloc&) {
    error = Errno(ENOMEM);
    return false;
  } catch (...) {
    error = Errno(EIO);
    return false;
  }
}

bool ReplaceFile(const std::filesystem::path& name, std::span<const char> bytes,
                 std::error_code& error, const FaultPlan* fault_plan) noexcept {
  const FaultPlan& faults = fault_plan ? *fault_plan : kNoFaults;
  try {
    // Some calls (ReplaceFileW among them) want backslashes.
    const std::filesystem::path file_name = std::filesystem::path(name).make_preferred();
    if (file_name.empty()) {
      error = Errno(ENOENT);
      return false;
    }
    const DWORD attributes = ::GetFileAttributesW(file_name.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      error = Errno(EISDIR);
      return false;
    }

    // A new file beside the target, named so that it does not clash.
    const std::filesystem::path folder = file_name.parent_path();
    std::random_device random;
    std::wstring temp_name;
    HANDLE created = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
      const unsigned long long tag = (static_cast<unsigned long long>(random()) << 32) ^ random();
      std::wstring name = L".";
      name += file_name.filename().wstring();
      name += L'.';
      name += std::to_wstring(tag);
      name += L".tmp";
      temp_name = (folder.empty() ? std::filesystem::path(name) : folder / name).wstring();
      created = ::CreateFileW(temp_name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
      if (created == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) {
        error = LastError();
        return false;
      }
    }
    if (created == INVALID_HANDLE_VALUE) {
      error = Errno(EEXIST);
      return false;
    }
    Handle temp(created);
    auto fail = [&](std::error_code reason) {
      error = reason;
      temp.Close();
      ::DeleteFileW(temp_name.c_str());
      return false;
    };
    if (!WriteFully(temp.get(), bytes.data(), bytes.size(), faults, error)) return fail(error);
    if (faults.fsync_error != 0) return fail(Errno(faults.fsync_error));
    if (!::FlushFileBuffers(temp.get())) return fail(LastError());
    if (!temp.Close()) return fail(LastError());
    if (faults.close_error != 0) return fail(Errno(faults.close_error));
    if (faults.rename_error != 0) return fail(Errno(faults.rename_error));
    // ReplaceFileW keeps the old file's attributes and security settings;
    // a file that does not exist yet is simply moved into place.
    const BOOL replaced = exists
                              ? ::ReplaceFileW(file_name.c_str(), temp_name.c_str(), nullptr,
                                               REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                              : ::MoveFileExW(temp_name.c_str(), file_name.c_str(),
                                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!replaced) return fail(LastError());
    error.clear();
    return true;
  } catch (const std::bad_alloc&) {
    error = Errno(ENOMEM);
    return false;
  } catch (...) {
    error = Errno(EIO);
    return false;
  }
}

}  // namespace velmar::fileio
