// POSIX implementation of FileIo.h.
//
// Conventions:
//  1. Every file is written by Replace(): a temporary file in the target's
//     folder, made with mode 0600 (0666 under the umask for a new file that
//     takes the default), given the old file's owner and its final
//     permission bits before its first byte, written, flushed, and renamed
//     over the target with renameat() relative to the folder's descriptor.
//  2. On Linux the temporary file is made with O_TMPFILE and gets a name
//     only just before the rename; elsewhere, or on a file system without
//     it, it has its name from the start.
//  3. A temporary file with a name is in the pending registry from just
//     before it is named until its rename or removal, so that a signal can
//     remove it (RemovePendingTemporaries).
//  4. Folder operations take names, never paths: each is relative to an
//     open descriptor and none follows a link (O_NOFOLLOW,
//     AT_SYMLINK_NOFOLLOW), so no path grows past one name.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "FileIo.h"
#include "FileIoShared.h"

namespace velmar::fileio {
namespace {

namespace fs = std::filesystem;

std::error_code LastError() { return {errno, std::system_category()}; }
std::error_code Errno(int value) { return {value, std::system_category()}; }

// Closes the descriptor when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() { Close(); }
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.fd_, -1));
    return *this;
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Takes `fd` in place of the one held, which is closed.
  void Reset(int fd) {
    Close();
    fd_ = fd;
  }
  // Returns false, with errno set, when closing reports an error.
  bool Close() {
    if (fd_ < 0) return true;
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0;
  }

 private:
  int fd_;
};

const FaultPlan kNoFaults;

// Sets errno and returns true when the plan makes this call fail.
bool Injected(int error) {
  if (error == 0) return false;
  errno = error;
  return true;
}

// ---------------------------------------------------------- temporary names

// The named temporary files of saves in progress (convention 3).
class PendingTemporaries {
 public:
  void Add(int folder, const std::string& name) {
    std::lock_guard lock(mutex_);
    entries_.emplace_back(folder, name);
  }
  // Allocates nothing: it runs where memory may have run out.
  void Remove(int folder, const std::string& name) noexcept {
    std::lock_guard lock(mutex_);
    const auto it = std::find_if(entries_.begin(), entries_.end(), [&](const auto& entry) {
      return entry.first == folder && entry.second == name;
    });
    if (it != entries_.end()) entries_.erase(it);
  }
  void UnlinkAll() {
    std::lock_guard lock(mutex_);
    for (const auto& [folder, name] : entries_) ::unlinkat(folder, name.c_str(), 0);
    entries_.clear();
  }

 private:
  std::mutex mutex_;
  std::vector<std::pair<int, std::string>> entries_;
};

// Process-wide, as the signals that use it are.
PendingTemporaries& Pending() {
  static PendingTemporaries pending;
  return pending;
}

// ----------------------------------------------------------------- reading

// Reads up to `count` bytes, retrying after interruptions and partial reads;
// returns the number read (less only at the end of the file), or -1.
std::int64_t ReadFully(int fd, char* into, std::int64_t count, const FaultPlan& faults) {
  if (Injected(faults.read_error)) return -1;
  if (faults.short_read) count /= 2;
  std::int64_t done = 0;
  while (done < count) {
    const std::int64_t chunk = std::min<std::int64_t>(count - done, 1 << 30);
    const ssize_t got = ::read(fd, into + done, static_cast<std::size_t>(chunk));
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

// Reads a stream of unknown length to its end.
bool ReadStream(int fd, ByteBlock& block, std::error_code& error, const FaultPlan& faults) {
  std::vector<char> bytes(1 << 16);
  std::size_t used = 0;
  while (true) {
    if (used == bytes.size()) bytes.resize(bytes.size() * 2);
    const std::int64_t got =
        ReadFully(fd, bytes.data() + used, static_cast<std::int64_t>(bytes.size() - used), faults);
    if (got < 0) {
      error = LastError();
      return false;
    }
    used += static_cast<std::size_t>(got);
    if (used < bytes.size()) break;
  }
  block = ByteBlock::Allocate(used);
  if (used != 0) std::memcpy(block.data(), bytes.data(), used);
  return true;
}

// Reads the open file `fd` whole (see ReadWholeFile). Throws std::bad_alloc.
bool ReadOpenFile(int fd, ByteBlock& block, std::error_code& error, const FaultPlan& faults) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    error = LastError();
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    error = Errno(EISDIR);
    return false;
  }
  if (!S_ISREG(info.st_mode)) return ReadStream(fd, block, error, faults);
  const std::int64_t size = info.st_size;
  if (static_cast<std::uint64_t>(size) > PTRDIFF_MAX) {
    error = std::make_error_code(std::errc::not_enough_memory);
    return false;
  }
  ByteBlock bytes = ByteBlock::Allocate(static_cast<std::size_t>(size));
  const std::int64_t got = ReadFully(fd, bytes.data(), size, faults);
  if (got < 0) {
    error = LastError();
    return false;
  }
  char more;
  if (got != size || ::read(fd, &more, 1) > 0) {
    error = MakeError(Failure::kChangedWhileRead);
    return false;
  }
  block = std::move(bytes);
  error.clear();
  return true;
}

// ----------------------------------------------------------------- writing

bool WriteFully(int fd, const char* from, std::size_t count, const FaultPlan& faults) {
  std::int64_t written = 0;
  while (count > 0) {
    std::size_t chunk = std::min<std::size_t>(count, 1 << 30);
    if (faults.write_limit >= 0) {
      if (written >= faults.write_limit) {
        errno = ENOSPC;
        return false;
      }
      chunk = std::min<std::size_t>(chunk, static_cast<std::size_t>(faults.write_limit - written));
    }
    const ssize_t put = ::write(fd, from, chunk);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    from += put;
    written += put;
    count -= static_cast<std::size_t>(put);
  }
  return true;
}

// Writes to a FIFO or a device as a stream, as cp does: no temporary file
// and no rename, which such a file cannot take.
bool WriteStream(const fs::path& target, std::span<const char> bytes, std::error_code& error,
                 const FaultPlan& faults) {
  FileDescriptor file(::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
  if (!file.valid() || !WriteFully(file.get(), bytes.data(), bytes.size(), faults) ||
      !file.Close()) {
    error = LastError();
    return false;
  }
  error.clear();
  return true;
}

// Whether O_TMPFILE files can be given a name: through AT_EMPTY_PATH (with
// the capability it needs) or through /proc.
bool CanNameUnnamedFiles() {
  static const bool can = ::access("/proc/self/fd", X_OK) == 0;
  return can;
}

// Links the unnamed file `fd` into `folder` under a new temporary name.
// Throws std::bad_alloc; `temp_name` stays empty unless it succeeds.
bool NameUnnamedFile(int fd, int folder, std::string& temp_name) {
#ifdef O_TMPFILE
  char by_proc[32];
  std::snprintf(by_proc, sizeof by_proc, "/proc/self/fd/%d", fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = NewTemporaryName();
    Pending().Add(folder, name);
    if (::linkat(fd, "", folder, name.c_str(), AT_EMPTY_PATH) == 0 ||
        ::linkat(AT_FDCWD, by_proc, folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      temp_name = std::move(name);
      return true;
    }
    const int reason = errno;
    Pending().Remove(folder, name);
    errno = reason;
    if (errno != EEXIST) return false;
  }
#else
  (void)fd, (void)folder, (void)temp_name;
#endif
  errno = EEXIST;
  return false;
}

// The modification time `when` as utimensat() and futimens() take it.
void ToTimes(fs::file_time_type when, struct timespec (&times)[2]) {
  const auto since = std::chrono::file_clock::to_sys(when).time_since_epoch();
  const auto seconds = std::chrono::floor<std::chrono::seconds>(since);
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(seconds.count());
  times[1].tv_nsec = static_cast<long>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count());
}

// A replacement written and not yet on disk or under its name: the first
// half of convention 1.
struct Staging {
  int folder = -1;
  std::string name;
  FileDescriptor temp;
  std::string temp_name;  // empty while the file has no name

  Staging() = default;
  ~Staging() { Discard(); }
  Staging(Staging&& other) noexcept
      : folder(other.folder),
        name(std::move(other.name)),
        temp(std::move(other.temp)),
        temp_name(std::exchange(other.temp_name, {})) {}
  Staging& operator=(Staging&&) = delete;

  // Removes the temporary file, which leaves the target as it was.
  void Discard() {
    temp.Close();
    if (!temp_name.empty()) {
      ::unlinkat(folder, temp_name.c_str(), 0);
      Pending().Remove(folder, temp_name);
      temp_name.clear();
    }
  }
};

// Writes the new contents of `name` in `folder` to a temporary file beside
// it, with its final owner, permission bits and (if asked) time.
bool Stage(int folder, const std::string& name, std::span<const char> bytes,
           const WriteOptions& options, Staging& staging, std::error_code& error,
           const FaultPlan& faults) {
  staging.folder = folder;
  staging.name = name;
  struct stat old {};
  const bool exists = ::fstatat(folder, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
  if (exists && S_ISDIR(old.st_mode)) {
    error = Errno(EISDIR);
    return false;
  }
  const bool replaces_file = exists && S_ISREG(old.st_mode);
  std::optional<mode_t> mode;
  if (options.permissions) {
    mode = static_cast<mode_t>(*options.permissions) & 07777;
  } else if (replaces_file) {
    mode = old.st_mode & 07777;
  }
  // No moment exists when the new file is readable by more than its final
  // bits allow: it starts at 0600 (or under the umask, which is final).
  const mode_t create_mode = mode ? 0600 : 0666;

  FileDescriptor& temp = staging.temp;
  std::string& temp_name = staging.temp_name;
#ifdef O_TMPFILE
  if (CanNameUnnamedFiles()) {
    temp.Reset(::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, create_mode));
    if (!temp.valid() && errno != EISDIR && errno != EOPNOTSUPP && errno != EINVAL) {
      error = LastError();
      return false;
    }
  }
#endif
  for (int attempt = 0; !temp.valid() && attempt < 100; ++attempt) {
    temp_name = NewTemporaryName();
    Pending().Add(folder, temp_name);
    temp.Reset(
        ::openat(folder, temp_name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, create_mode));
    if (temp.valid()) break;
    const int reason = errno;
    Pending().Remove(folder, temp_name);
    temp_name.clear();
    if (reason != EEXIST) {
      error = Errno(reason);
      return false;
    }
  }
  if (!temp.valid()) {
    error = Errno(EEXIST);
    return false;
  }
  auto fail = [&](int reason) {
    error = Errno(reason);
    staging.Discard();
    return false;
  };
  if (replaces_file && ::fchown(temp.get(), old.st_uid, old.st_gid) != 0) {
    // Only a privileged process may give a file away; the mode still holds.
  }
  // After the owner: changing it may clear the set-id bits.
  if (mode && ::fchmod(temp.get(), *mode) != 0) return fail(errno);
  if (faults.mode_at_first_write != nullptr) {
    struct stat info {};
    ::fstat(temp.get(), &info);
    *faults.mode_at_first_write = info.st_mode & 07777;
  }
  if (!WriteFully(temp.get(), bytes.data(), bytes.size(), faults)) return fail(errno);
  if (options.modified) {
    // A courtesy, as on every system: the contents are what counts.
    struct timespec times[2];
    ToTimes(*options.modified, times);
    ::futimens(temp.get(), times);
  }
  return true;
}

// Gives the staged file its target's name, once its bytes are on disk: the
// second half of convention 1. On failure the target is as it was.
bool Rename(Staging& staging, std::error_code& error, const FaultPlan& faults) {
  auto fail = [&](int reason) {
    error = Errno(reason);
    staging.Discard();
    return false;
  };
  if (staging.temp_name.empty() &&
      !NameUnnamedFile(staging.temp.get(), staging.folder, staging.temp_name)) {
    return fail(errno);
  }
  if (!staging.temp.Close() || Injected(faults.close_error)) return fail(errno);
  if (Injected(faults.rename_error) || ::renameat(staging.folder, staging.temp_name.c_str(),
                                                  staging.folder, staging.name.c_str()) != 0) {
    return fail(errno);
  }
  Pending().Remove(staging.folder, staging.temp_name);
  staging.temp_name.clear();
  return true;
}

// Replaces `name` in `folder` by `bytes` (convention 1).
bool Replace(int folder, const std::string& name, std::span<const char> bytes,
             const WriteOptions& options, std::error_code& error, const FaultPlan& faults) {
  Staging staging;
  if (!Stage(folder, name, bytes, options, staging, error, faults)) return false;
  if (Injected(faults.fsync_error) || ::fsync(staging.temp.get()) != 0) {
    error = LastError();
    staging.Discard();
    return false;
  }
  if (!Rename(staging, error, faults)) return false;
  // Flushing the folder entry loses nothing the rename has not already
  // made visible if it fails, so it is not reported.
  ::fsync(folder);
  error.clear();
  return true;
}

// Opens the folder of `file` for Replace.
bool OpenParent(const fs::path& file, FileDescriptor& folder, std::error_code& error) {
  const fs::path parent = file.parent_path();
  folder.Reset(::open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid()) error = LastError();
  return folder.valid();
}

// Where the chain of links from `link` ends, when it ends at nothing.
bool FollowDangling(fs::path link, fs::path& end, std::error_code& error) {
  for (int hop = 0; hop < 40; ++hop) {
    std::vector<char> target(PATH_MAX + 1);
    const ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
    if (length < 0) {
      error = LastError();
      return false;
    }
    const fs::path next(std::string(target.data(), static_cast<std::size_t>(length)));
    link = next.is_absolute() ? next : link.parent_path() / next;
    struct stat info {};
    if (::lstat(link.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      end = link;
      return true;
    }
  }
  error = Errno(ELOOP);
  return false;
}

// Where a write to `file_name` goes: the file to replace (`target`), or
// with `stream` set, `file_name` itself written to as a stream.
bool FindTarget(const fs::path& file_name, const WriteOptions& options, fs::path& target,
                bool& stream, std::error_code& error) {
  stream = false;
  if (file_name.empty() || !file_name.has_filename()) {
    error = Errno(file_name.empty() ? ENOENT : EISDIR);
    return false;
  }
  target = file_name;
  if (options.replace_name) return true;
  struct stat info {};
  if (::lstat(target.c_str(), &info) != 0) return true;  // a new file
  if (S_ISLNK(info.st_mode)) {
    if (::stat(target.c_str(), &info) != 0) {
      if (errno != ENOENT) {
        error = LastError();  // a link loop among others
        return false;
      }
      if (!FollowDangling(file_name, target, error)) return false;
      info = {};
    } else if (S_ISREG(info.st_mode)) {
      char* resolved = ::realpath(file_name.c_str(), nullptr);
      if (resolved == nullptr) {
        error = LastError();
        return false;
      }
      target = resolved;
      std::free(resolved);
    }
  }
  if (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode)) {
    stream = true;
    return true;
  }
  if (S_ISDIR(info.st_mode)) {
    error = Errno(EISDIR);
    return false;
  }
  if (info.st_mode != 0 && !S_ISREG(info.st_mode)) {
    error = MakeError(Failure::kNotRegular);
    return false;
  }
  return true;
}

}  // namespace

bool ReadWholeFile(const fs::path& file_name, ByteBlock& block, std::error_code& error,
                   const FaultPlan* fault_plan) noexcept {
  const FaultPlan& faults = fault_plan ? *fault_plan : kNoFaults;
  try {
    FileDescriptor file(::open(file_name.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid()) {
      error = LastError();
      return false;
    }
    return ReadOpenFile(file.get(), block, error, faults);
  } catch (const std::bad_alloc&) {
    error = std::make_error_code(std::errc::not_enough_memory);
    return false;
  } catch (...) {
    error = Errno(EIO);
    return false;
  }
}

bool ReplaceFile(const fs::path& file_name, std::span<const char> bytes, std::error_code& error,
                 const WriteOptions& options, const FaultPlan* fault_plan) noexcept {
  const FaultPlan& faults = fault_plan ? *fault_plan : kNoFaults;
  try {
    fs::path target;
    bool stream = false;
    if (!FindTarget(file_name, options, target, stream, error)) return false;
    if (stream) return WriteStream(file_name, bytes, error, faults);
    FileDescriptor folder;
    if (!OpenParent(target, folder, error)) return false;
    return Replace(folder.get(), target.filename().string(), bytes, options, error, faults);
  } catch (const std::bad_alloc&) {
    error = std::make_error_code(std::errc::not_enough_memory);
    return false;
  } catch (...) {
    error = Errno(EIO);
    return false;
  }
}

void RemovePendingTemporaries() noexcept { Pending().UnlinkAll(); }

// ------------------------------------------------------------------ Folder

Folder::~Folder() {
  if (fd_ >= 0) ::close(fd_);
}

Folder::Folder(Folder&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

Folder& Folder::operator=(Folder&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

bool Folder::valid() const noexcept { return fd_ >= 0; }

bool Folder::Open(const fs::path& path, Folder& folder, std::error_code& error) noexcept {
  const int fd = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    error = LastError();
    return false;
  }
  folder = Folder();
  folder.fd_ = fd;
  return true;
}

bool Folder::Child(std::string_view name, Folder& child, std::error_code& error, bool create,
                   std::optional<fs::perms> permissions) const noexcept {
  try {
    const std::string entry(name);
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(fd_, entry.c_str(), kFlags);
    if (fd < 0 && create) {
      struct stat info {};
      const bool exists = ::fstatat(fd_, entry.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
      // A link where a folder belongs is replaced; nothing it points to is.
      if (exists && S_ISLNK(info.st_mode) && ::unlinkat(fd_, entry.c_str(), 0) != 0) {
        error = LastError();
        return false;
      }
      if ((!exists || S_ISLNK(info.st_mode)) && ::mkdirat(fd_, entry.c_str(), 0700) != 0 &&
          errno != EEXIST) {
        error = LastError();
        return false;
      }
      fd = ::openat(fd_, entry.c_str(), kFlags);
    }
    if (fd < 0) {
      error = errno == ELOOP ? Errno(ENOTDIR) : LastError();
      return false;
    }
    child = Folder();
    child.fd_ = fd;
    if (create && permissions && ::fchmod(fd, static_cast<mode_t>(*permissions) & 07777) != 0) {
      error = LastError();
      return false;
    }
    return true;
  } catch (...) {
    error = Errno(ENOMEM);
    return false;
  }
}

bool Folder::List(std::vector<Entry>& entries, std::error_code& error) const noexcept {
  entries.clear();
  const int copy = ::dup(fd_);
  DIR* dir = copy < 0 ? nullptr : ::fdopendir(copy);
  if (dir == nullptr) {
    error = LastError();
    if (copy >= 0) ::close(copy);
    return false;
  }
  ::rewinddir(dir);
  try {
    while (true) {
      errno = 0;
      const dirent* item = ::readdir(dir);
      if (item == nullptr) break;
      const std::string_view name = item->d_name;
      if (name == "." || name == "..") continue;
      unsigned char type = item->d_type;
      if (type == DT_UNKNOWN) {
        struct stat info {};
        if (::fstatat(fd_, item->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        type = S_ISREG(info.st_mode)   ? DT_REG
               : S_ISDIR(info.st_mode) ? DT_DIR
               : S_ISLNK(info.st_mode) ? DT_LNK
                                       : DT_FIFO;
      }
      const Entry::Kind kind = type == DT_REG   ? Entry::kFile
                               : type == DT_DIR ? Entry::kFolder
                               : type == DT_LNK ? Entry::kLink
                                                : Entry::kSpecial;
      entries.push_back({std::string(name), kind});
    }
  } catch (...) {
    ::closedir(dir);
    error = Errno(ENOMEM);
    return false;
  }
  const int reason = errno;
  ::closedir(dir);
  if (reason != 0) {
    error = Errno(reason);
    return false;
  }
  return true;
}

bool Folder::Info(std::string_view name, FileInfo& info, std::error_code& error) const noexcept {
  try {
    struct stat status {};
    if (::fstatat(fd_, std::string(name).c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
      error = LastError();
      return false;
    }
    info.permissions = static_cast<fs::perms>(status.st_mode & 07777);
    info.size = static_cast<std::uintmax_t>(status.st_size);
    const auto since = std::chrono::seconds(status.st_mtim.tv_sec) +
                       std::chrono::nanoseconds(status.st_mtim.tv_nsec);
    info.modified =
        std::chrono::file_clock::from_sys(std::chrono::sys_time<fs::file_time_type::duration>(
            std::chrono::duration_cast<fs::file_time_type::duration>(since)));
    return true;
  } catch (...) {
    error = Errno(ENOMEM);
    return false;
  }
}

bool Folder::ReadLink(std::string_view name, std::string& target,
                      std::error_code& error) const noexcept {
  try {
    const std::string entry(name);
    std::vector<char> buffer(256);
    while (true) {
      const ssize_t length = ::readlinkat(fd_, entry.c_str(), buffer.data(), buffer.size());
      if (length < 0) {
        error = LastError();
        return false;
      }
      if (static_cast<std::size_t>(length) < buffer.size()) {
        target.assign(buffer.data(), static_cast<std::size_t>(length));
        return true;
      }
      buffer.resize(buffer.size() * 2);
    }
  } catch (...) {
    error = Errno(ENOMEM);
    return false;
  }
}

bool Folder::ReadFile(std::string_view name, ByteBlock& block,
                      std::error_code& error) const noexcept {
  try {
    // Not blocking at the open: what was listed as a file may have become
    // a FIFO meanwhile.
    FileDescriptor file(
        ::openat(fd_, std::string(name).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid()) {
      error = LastError();
      return false;
    }
    struct stat info {};
    if (::fstat(file.get(), &info) == 0 && !S_ISREG(info.st_mode)) {
      error = MakeError(Failure::kNotRegular);
      return false;
    }
    ::fcntl(file.get(), F_SETFL, ::fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);
    return ReadOpenFile(file.get(), block, error, kNoFaults);
  } catch (const std::bad_alloc&) {
    error = std::make_error_code(std::errc::not_enough_memory);
    return false;
  } catch (...) {
    error = Errno(EIO);
    return false;
  }
}

bool Folder::WriteFile(std::string_view name, std::span<const char> bytes, std::error_code& error,
                       const WriteOptions& options, const FaultPlan* faults) const noexcept {
  try {
    WriteOptions replacing = options;
    replacing.replace_name = true;
    return Replace(fd_, std::string(name), bytes, replacing, error, faults ? *faults : kNoFaults);
  } catch (...) {
    error = Errno(ENOMEM);
    return false;
  }
}

bool Folder::WriteLink(std::string_view name, const std::string& target,
                       std::error_code& error) const noexcept {
  try {
    // A new link under a temporary name, renamed over the old entry, so
    // that the name always holds a whole link.
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string temp_name = NewTemporaryName();
      Pending().Add(fd_, temp_name);
      if (::symlinkat(target.c_str(), fd_, temp_name.c_str()) != 0) {
        const int reason = errno;
        Pending().Remove(fd_, temp_name);
        if (reason == EEXIST) continue;
        error = Errno(reason);
        return false;
      }
      const bool renamed = ::renameat(fd_, temp_name.c_str(), fd_, std::string(name).c_str()) == 0;
      const int reason = errno;
      if (!renamed) ::unlinkat(fd_, temp_name.c_str(), 0);
      Pending().Remove(fd_, temp_name);
      if (!renamed) {
        error = Errno(reason);
        return false;
      }
      return true;
    }
    error = Errno(EEXIST);
    return false;
  } catch (...) {
    error = Errno(ENOMEM);
    return false;
  }
}

int Folder::RemoveLeftovers() const noexcept {
  std::vector<Entry> entries;
  std::error_code ignored;
  if (!List(entries, ignored)) return 0;
  const time_t stale = ::time(nullptr) - 60;
  int removed = 0;
  for (const Entry& entry : entries) {
    if (entry.kind == Entry::kFolder || !IsTemporaryName(entry.name)) continue;
    struct stat info {};
    if (::fstatat(fd_, entry.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        info.st_ctime < stale && ::unlinkat(fd_, entry.name.c_str(), 0) == 0) {
      ++removed;
    }
  }
  return removed;
}

// -------------------------------------------------------------- WriteGroup

struct WriteGroup::Staged {
  enum class State { kStaged, kFlushed, kRenamed, kDone };
  FileDescriptor folder;  // the target's, held until the rename
  Staging staging;        // of a file in `folder`
  FaultPlan faults;
  dev_t device = 0;  // of the folder, and so of the file
  ino_t folder_inode = 0;
  bool syncs_whole = false;  // its file system is flushed with one syncfs()
  State state = State::kStaged;
};

WriteGroup::WriteGroup() noexcept = default;
WriteGroup::~WriteGroup() = default;  // each Staging removes its file

std::size_t WriteGroup::size() const noexcept { return files_.size(); }

namespace {

#ifdef __linux__
// Whether one syncfs() on the file system of `fd` can stand for an fsync()
// of each of its files: it must flush them all and report every failure.
// Linux reports writeback errors from syncfs() since 5.8, and the file
// system's own commit failing (a journal that cannot be written) since
// 5.17. Network and FUSE file systems may flush nothing for it, so only
// local file systems known to take it whole qualify.
bool SyncfsStandsForFsync(int fd) {
  static const bool kernel = [] {
    struct utsname system {};
    int major = 0, minor = 0;
    return ::uname(&system) == 0 && std::sscanf(system.release, "%d.%d", &major, &minor) == 2 &&
           (major > 5 || (major == 5 && minor >= 17));
  }();
  if (!kernel) return false;
  struct statfs info {};
  if (::fstatfs(fd, &info) != 0) return false;
  constexpr unsigned long kExt4 = 0xEF53, kXfs = 0x58465342, kBtrfs = 0x9123683E,
                          kF2fs = 0xF2F52010, kTmpfs = 0x01021994;
  const auto type = static_cast<unsigned long>(info.f_type);
  return type == kExt4 || type == kXfs || type == kBtrfs || type == kF2fs || type == kTmpfs;
}
#endif

// Stages `name` in `folder`, a descriptor the staged file then holds.
template <typename Staged>
bool StageInGroup(FileDescriptor folder, const std::string& name, std::span<const char> bytes,
                  const WriteOptions& options, const FaultPlan* faults, Staged& staged,
                  std::error_code& error) {
  struct stat info {};
  if (!folder.valid() || ::fstat(folder.get(), &info) != 0) {
    error = LastError();
    return false;
  }
  staged.device = info.st_dev;
  staged.folder_inode = info.st_ino;
#ifdef __linux__
  staged.syncs_whole = SyncfsStandsForFsync(folder.get());
#endif
  staged.folder = std::move(folder);
  staged.faults = faults ? *faults : kNoFaults;
  staged.faults.mode_at_first_write = nullptr;  // used while staging only
  return Stage(staged.folder.get(), name, bytes, options, staged.staging, error,
               faults ? *faults : kNoFaults);
}

}  // namespace

bool WriteGroup::Add(const Folder& folder, std::string_view name, std::span<const char> bytes,
                     std::error_code& error, const WriteOptions& options,
                     const FaultPlan* faults) noexcept {
  try {
    // Room for one more first, so that push_back cannot throw.
    if (files_.size() == files_.capacity()) files_.reserve(2 * files_.size() + 16);
    WriteOptions replacing = options;
    replacing.replace_name = true;
    Staged staged;
    if (!StageInGroup(FileDescriptor(::fcntl(folder.fd_, F_DUPFD_CLOEXEC, 0)), std::string(name),
                      bytes, replacing, faults, staged, error)) {
      return false;
    }
    files_.push_back(std::move(staged));
    bytes_ += bytes.size();
    return true;
  } catch (...) {
    error = std::make_error_code(std::errc::not_enough_memory);
    return false;
  }
}

bool WriteGroup::Add(const fs::path& file_name, std::span<const char> bytes, std::error_code& error,
                     const WriteOptions& options, const FaultPlan* faults) noexcept {
  try {
    if (files_.size() == files_.capacity()) files_.reserve(2 * files_.size() + 16);
    fs::path target;
    bool stream = false;
    if (!FindTarget(file_name, options, target, stream, error)) return false;
    Staged staged;
    if (stream) {
      if (!WriteStream(file_name, bytes, error, faults ? *faults : kNoFaults)) return false;
      staged.state = Staged::State::kDone;
    } else {
      FileDescriptor folder;
      if (!OpenParent(target, folder, error) ||
          !StageInGroup(std::move(folder), target.filename().string(), bytes, options, faults,
                        staged, error)) {
        return false;
      }
    }
    files_.push_back(std::move(staged));
    bytes_ += bytes.size();
    return true;
  } catch (...) {
    error = std::make_error_code(std::errc::not_enough_memory);
    return false;
  }
}

// Commit's three steps, each over the whole group:
//  1. The files' bytes go to disk. Where one syncfs() stands for an fsync()
//     of each file (SyncfsStandsForFsync), one call per file system does it
//     for all, and reports any writeback error there since the descriptor
//     it is given was opened: that of the group's first file on it, opened
//     before any of the others was written. Where it reports one (maybe
//     another program's), each file's own fsync() tells whose it was.
//     Elsewhere each file is flushed alone.
//  2. Each file is renamed over its target.
//  3. The renames go to disk: syncfs() again, or one fsync() per folder.
// A step that fails for a file, memory included, fails that file alone.
bool WriteGroup::Commit(std::vector<std::error_code>& errors) noexcept {
  using State = Staged::State;
  const std::size_t count = files_.size();
  try {
    errors.assign(count, {});
  } catch (...) {
    errors.clear();
    files_.clear();  // each Staging removes its file
    bytes_ = 0;
    return false;
  }
  bool all = true;
  auto fail = [&](std::size_t k, int reason) {
    errors[k] = Errno(reason);
    files_[k].staging.Discard();
    files_[k].state = State::kDone;
    all = false;
  };
  // The files in `state` that one syncfs() with file `first` covers:
  // `first` itself, or all those on its file system.
  auto covered_with = [&](std::size_t first, State state, auto step) {
    for (std::size_t k = first; k < count; ++k) {
      if (files_[k].state != state) continue;
      if (k == first || (files_[first].syncs_whole && files_[k].device == files_[first].device)) {
        step(k);
      }
    }
  };

  // 1. The bytes.
  for (std::size_t first = 0; first < count; ++first) {
    if (files_[first].state != State::kStaged) continue;
    bool synced = false;
#ifdef __linux__
    if (files_[first].syncs_whole) {
      bool injected = false;
      covered_with(first, State::kStaged, [&](std::size_t k) {
        injected |= files_[k].faults.fsync_error != 0 || files_[k].faults.syncfs_error != 0;
      });
      synced = !injected && ::syncfs(files_[first].staging.temp.get()) == 0;
    }
#endif
    covered_with(first, State::kStaged, [&](std::size_t k) {
      if (!synced &&
          (Injected(files_[k].faults.fsync_error) || ::fsync(files_[k].staging.temp.get()) != 0)) {
        fail(k, errno);
      } else {
        files_[k].state = State::kFlushed;
      }
    });
  }

  // 2. The names.
  for (std::size_t k = 0; k < count; ++k) {
    if (files_[k].state != State::kFlushed) continue;
    bool renamed = false;
    try {
      renamed = Rename(files_[k].staging, errors[k], files_[k].faults);
    } catch (...) {
      errors[k] = std::make_error_code(std::errc::not_enough_memory);
      files_[k].staging.Discard();
    }
    files_[k].state = renamed ? State::kRenamed : State::kDone;
    all = all && renamed;
  }

  // 3. The folders, each flushed once.
  for (std::size_t first = 0; first < count; ++first) {
    if (files_[first].state != State::kRenamed) continue;
    bool synced = false;
#ifdef __linux__
    if (files_[first].syncs_whole) {
      bool injected = false;
      covered_with(first, State::kRenamed, [&](std::size_t k) {
        injected |= files_[k].faults.syncfs_error != 0 || files_[k].faults.folder_error != 0;
      });
      synced = !injected && ::syncfs(files_[first].folder.get()) == 0;
    }
#endif
    covered_with(first, State::kRenamed, [&](std::size_t k) {
      if (files_[k].state != State::kRenamed) return;  // flushed with an earlier one
      // Every file renamed in the same folder shares the folder's flush.
      auto same_folder = [&](std::size_t j) {
        return files_[j].state == State::kRenamed && files_[j].device == files_[k].device &&
               files_[j].folder_inode == files_[k].folder_inode;
      };
      int reason = 0;
      for (std::size_t j = k; j < count && reason == 0 && !synced; ++j) {
        if (same_folder(j)) reason = files_[j].faults.folder_error;
      }
      if (!synced && reason == 0 && ::fsync(files_[k].folder.get()) != 0) reason = errno;
      for (std::size_t j = count; j-- > k;) {
        if (!same_folder(j)) continue;
        if (reason != 0) {
          errors[j] = Errno(reason);  // renamed, but maybe not on disk
          all = false;
        }
        files_[j].state = State::kDone;
      }
    });
  }
  files_.clear();
  bytes_ = 0;
  return all;
}

}  // namespace velmar::fileio
