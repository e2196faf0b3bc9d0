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
#include <mutex>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "FileIo.h"
#include "FileIoShared.h"

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

// The named temporary files of saves in progress, for a signal to remove.
class PendingTemporaries {
 public:
  void Add(const std::wstring& name) {
    std::lock_guard lock(mutex_);
    names_.push_back(name);
  }
  void Remove(const std::wstring& name) {
    std::lock_guard lock(mutex_);
    const auto it = std::find(names_.begin(), names_.end(), name);
    if (it != names_.end()) names_.erase(it);
  }
  void DeleteAll() {
    std::lock_guard lock(mutex_);
    for (const std::wstring& name : names_) ::DeleteFileW(name.c_str());
    names_.clear();
  }

 private:
  std::mutex mutex_;
  std::vector<std::wstring> names_;
};

PendingTemporaries& Pending() {
  static PendingTemporaries pending;
  return pending;
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
    char more;
    DWORD extra = 0;
    if (got != size.QuadPart || (::ReadFile(file.get(), &more, 1, &extra, nullptr) && extra > 0)) {
      error = MakeError(Failure::kChangedWhileRead);
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
                 std::error_code& error, const WriteOptions& options,
                 const FaultPlan* fault_plan) noexcept {
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

    // A new file beside the target under a short temporary name.
    const std::filesystem::path folder = file_name.parent_path();
    std::wstring temp_name;
    HANDLE created = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
      const std::filesystem::path name = NewTemporaryName();
      temp_name = (folder.empty() ? name : folder / name).wstring();
      Pending().Add(temp_name);
      created = ::CreateFileW(temp_name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
      if (created == INVALID_HANDLE_VALUE) {
        Pending().Remove(temp_name);
        if (::GetLastError() != ERROR_FILE_EXISTS) {
          error = LastError();
          return false;
        }
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
      Pending().Remove(temp_name);
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
    Pending().Remove(temp_name);
    if (options.modified) {
      std::error_code ignored;  // the contents are in place; the time is a courtesy
      std::filesystem::last_write_time(file_name, *options.modified, ignored);
    }
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

void RemovePendingTemporaries() noexcept { Pending().DeleteAll(); }

// Folders by path: Windows gives no descriptor to look names up in, so each
// call checks what it finds instead of relying on O_NOFOLLOW.

namespace {

namespace fs = std::filesystem;

bool Fail(std::error_code& error, const std::error_code& reason) {
  error = reason ? reason : Errno(EIO);
  return false;
}

// Names travel as UTF-8 in the interface, and as wide strings to Windows.
fs::path FromUtf8(std::string_view name) {
  return fs::path(std::u8string(name.begin(), name.end()));
}
std::string ToUtf8(const fs::path& path) {
  const std::u8string bytes = path.u8string();
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

Folder::~Folder() = default;
Folder::Folder(Folder&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }
Folder& Folder::operator=(Folder&& other) noexcept {
  path_ = std::move(other.path_);
  other.path_.clear();
  return *this;
}
bool Folder::valid() const noexcept { return !path_.empty(); }

bool Folder::Open(const fs::path& path, Folder& folder, std::error_code& error) noexcept {
  try {
    const fs::path where = path.empty() ? fs::path(".") : path;
    std::error_code status;
    if (!fs::is_directory(where, status)) return Fail(error, status ? status : Errno(ENOTDIR));
    folder.path_ = where;
    return true;
  } catch (...) {
    return Fail(error, Errno(ENOMEM));
  }
}

bool Folder::Child(std::string_view name, Folder& child, std::error_code& error, bool create,
                   std::optional<fs::perms> permissions) const noexcept {
  try {
    const fs::path where = path_ / FromUtf8(name);
    std::error_code step;
    fs::file_status status = fs::symlink_status(where, step);
    if (create && fs::is_symlink(status)) {
      fs::remove(where, step);
      if (step) return Fail(error, step);
      status = fs::file_status(fs::file_type::not_found);
    }
    if (create && !fs::exists(status)) {
      fs::create_directory(where, step);
      if (step) return Fail(error, step);
    } else if (!fs::is_directory(status)) {
      return Fail(error, Errno(ENOTDIR));
    }
    if (create && permissions) {
      fs::permissions(where, *permissions, step);
      if (step) return Fail(error, step);
    }
    child.path_ = where;
    return true;
  } catch (...) {
    return Fail(error, Errno(ENOMEM));
  }
}

bool Folder::List(std::vector<Entry>& entries, std::error_code& error) const noexcept {
  try {
    entries.clear();
    std::error_code step;
    for (fs::directory_iterator it(path_, step), end; !step && it != end; it.increment(step)) {
      const fs::file_status status = it->symlink_status(step);
      if (step) break;
      const Entry::Kind kind = fs::is_symlink(status)        ? Entry::kLink
                               : fs::is_directory(status)    ? Entry::kFolder
                               : fs::is_regular_file(status) ? Entry::kFile
                                                             : Entry::kSpecial;
      entries.push_back({ToUtf8(it->path().filename()), kind});
    }
    return step ? Fail(error, step) : true;
  } catch (...) {
    return Fail(error, Errno(ENOMEM));
  }
}

bool Folder::Info(std::string_view name, FileInfo& info, std::error_code& error) const noexcept {
  try {
    const fs::path where = path_ / FromUtf8(name);
    std::error_code step;
    info.permissions = fs::symlink_status(where, step).permissions();
    if (!step) info.modified = fs::last_write_time(where, step);
    if (!step && fs::is_regular_file(fs::symlink_status(where)))
      info.size = fs::file_size(where, step);
    return step ? Fail(error, step) : true;
  } catch (...) {
    return Fail(error, Errno(ENOMEM));
  }
}

bool Folder::ReadLink(std::string_view name, std::string& target,
                      std::error_code& error) const noexcept {
  try {
    std::error_code step;
    target = ToUtf8(fs::read_symlink(path_ / FromUtf8(name), step));
    return step ? Fail(error, step) : true;
  } catch (...) {
    return Fail(error, Errno(ENOMEM));
  }
}

bool Folder::ReadFile(std::string_view name, ByteBlock& block,
                      std::error_code& error) const noexcept {
  try {
    return ReadWholeFile(path_ / FromUtf8(name), block, error);
  } catch (...) {
    return Fail(error, Errno(ENOMEM));
  }
}

bool Folder::WriteFile(std::string_view name, std::span<const char> bytes, std::error_code& error,
                       const WriteOptions& options, const FaultPlan* faults) const noexcept {
  try {
    WriteOptions replacing = options;
    replacing.replace_name = true;
    return ReplaceFile(path_ / FromUtf8(name), bytes, error, replacing, faults);
  } catch (...) {
    return Fail(error, Errno(ENOMEM));
  }
}

bool Folder::WriteLink(std::string_view name, const std::string& target,
                       std::error_code& error) const noexcept {
  try {
    const fs::path temp = path_ / NewTemporaryName();
    std::error_code step;
    fs::create_symlink(FromUtf8(target), temp, step);
    if (!step) fs::rename(temp, path_ / FromUtf8(name), step);
    if (step) {
      std::error_code ignored;
      fs::remove(temp, ignored);
      return Fail(error, step);
    }
    return true;
  } catch (...) {
    return Fail(error, Errno(ENOMEM));
  }
}

int Folder::RemoveLeftovers() const noexcept {
  try {
    std::vector<Entry> entries;
    std::error_code step;
    if (!List(entries, step)) return 0;
    const auto stale = fs::file_time_type::clock::now() - std::chrono::minutes(1);
    int removed = 0;
    for (const Entry& entry : entries) {
      if (entry.kind == Entry::kFolder || !IsTemporaryName(entry.name)) continue;
      const fs::path where = path_ / FromUtf8(entry.name);
      if (fs::last_write_time(where, step) < stale && !step && fs::remove(where, step)) ++removed;
    }
    return removed;
  } catch (...) {
    return 0;
  }
}

// Windows has no flush for many files at once: each file is replaced as it
// is added, and Commit() only reports that all went well.
struct WriteGroup::Staged {};

WriteGroup::WriteGroup() noexcept = default;
WriteGroup::~WriteGroup() = default;

std::size_t WriteGroup::size() const noexcept { return files_.size(); }

bool WriteGroup::Add(const Folder& folder, std::string_view name, std::span<const char> bytes,
                     std::error_code& error, const WriteOptions& options,
                     const FaultPlan* faults) noexcept {
  try {
    if (files_.size() == files_.capacity()) files_.reserve(2 * files_.size() + 16);
  } catch (...) {
    return Fail(error, Errno(ENOMEM));
  }
  if (!folder.WriteFile(name, bytes, error, options, faults)) return false;
  files_.push_back({});
  bytes_ += bytes.size();
  return true;
}

bool WriteGroup::Add(const fs::path& file_name, std::span<const char> bytes, std::error_code& error,
                     const WriteOptions& options, const FaultPlan* faults) noexcept {
  try {
    if (files_.size() == files_.capacity()) files_.reserve(2 * files_.size() + 16);
  } catch (...) {
    return Fail(error, Errno(ENOMEM));
  }
  if (!ReplaceFile(file_name, bytes, error, options, faults)) return false;
  files_.push_back({});
  bytes_ += bytes.size();
  return true;
}

bool WriteGroup::Commit(std::vector<std::error_code>& errors) noexcept {
  try {
    errors.assign(files_.size(), {});
  } catch (...) {
    errors.clear();
  }
  files_.clear();
  bytes_ = 0;
  return true;
}

}  // namespace velmar::fileio
