// POSIX implementation of FileIo.h.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "FileIo.h"

namespace velmar::fileio {
namespace {

std::error_code LastError() { return {errno, std::system_category()}; }

// Closes the descriptor when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { Close(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
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

// Opens a new file beside `target`, named so that it does not clash.
int CreateTemporaryBeside(const std::filesystem::path& target, std::string& temp_name) {
  std::random_device random;
  const std::filesystem::path folder = target.parent_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const unsigned long long tag =
        (static_cast<unsigned long long>(random()) << 32) ^ random() ^ ::getpid();
    std::string name(1, '.');
    name += target.filename().string();
    name += '.';
    name += std::to_string(tag);
    name += ".tmp";
    temp_name = (folder.empty() ? std::filesystem::path(name) : folder / name).string();
    const int fd = ::open(temp_name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// Flushes the folder entry of a renamed file; a failure here loses nothing
// that the rename has not already made visible, so it is not reported.
void SyncFolderOf(const std::filesystem::path& file) {
  const std::filesystem::path folder = file.parent_path();
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

}  // namespace

bool ReadWholeFile(const std::filesystem::path& file_name, ByteBlock& block, std::error_code& error,
                   const FaultPlan* fault_plan) noexcept {
  const FaultPlan& faults = fault_plan ? *fault_plan : kNoFaults;
  try {
    FileDescriptor file(::open(file_name.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid()) {
      error = LastError();
      return false;
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
      error = LastError();
      return false;
    }
    if (S_ISDIR(info.st_mode)) {
      error = std::make_error_code(std::errc::is_a_directory);
      return false;
    }
    if (!S_ISREG(info.st_mode)) return ReadStream(file.get(), block, error, faults);

    const std::int64_t size = info.st_size;
    if (static_cast<std::uint64_t>(size) > PTRDIFF_MAX) {
      error = std::make_error_code(std::errc::not_enough_memory);
      return false;
    }
    ByteBlock bytes = ByteBlock::Allocate(static_cast<std::size_t>(size));
    const std::int64_t got = ReadFully(file.get(), bytes.data(), size, faults);
    if (got != size) {
      error = got < 0 ? LastError() : std::make_error_code(std::errc::io_error);
      return false;
    }
    block = std::move(bytes);
    error.clear();
    return true;
  } catch (const std::bad_alloc&) {
    error = std::make_error_code(std::errc::not_enough_memory);
    return false;
  } catch (...) {
    error = std::make_error_code(std::errc::io_error);
    return false;
  }
}

bool ReplaceFile(const std::filesystem::path& file_name, std::span<const char> bytes,
                 std::error_code& error, const FaultPlan* fault_plan) noexcept {
  const FaultPlan& faults = fault_plan ? *fault_plan : kNoFaults;
  try {
    if (file_name.empty()) {
      error = std::make_error_code(std::errc::no_such_file_or_directory);
      return false;
    }
    std::filesystem::path target = file_name;
    struct stat info {};
    bool exists = ::lstat(target.c_str(), &info) == 0;
    if (exists && S_ISLNK(info.st_mode)) {
      if (char* resolved = ::realpath(target.c_str(), nullptr)) {
        target = resolved;
        std::free(resolved);
        exists = ::stat(target.c_str(), &info) == 0;
      }
    }
    if (exists && S_ISDIR(info.st_mode)) {
      error = std::make_error_code(std::errc::is_a_directory);
      return false;
    }

    std::string temp_name;
    FileDescriptor temp(CreateTemporaryBeside(target, temp_name));
    if (!temp.valid()) {
      error = LastError();
      return false;
    }
    auto fail = [&]() {
      error = LastError();
      temp.Close();
      ::unlink(temp_name.c_str());
      return false;
    };
    if (exists && S_ISREG(info.st_mode)) {
      // The owner first: changing it may clear the set-id bits.
      if (::fchown(temp.get(), info.st_uid, info.st_gid) != 0) {
        // Only a privileged process may give a file away; keep the mode.
      }
      if (::fchmod(temp.get(), info.st_mode & 07777) != 0) return fail();
    }
    if (!WriteFully(temp.get(), bytes.data(), bytes.size(), faults)) return fail();
    if (Injected(faults.fsync_error) || ::fsync(temp.get()) != 0) return fail();
    if (!temp.Close() || Injected(faults.close_error)) {
      error = LastError();
      ::unlink(temp_name.c_str());
      return false;
    }
    if (Injected(faults.rename_error) || ::rename(temp_name.c_str(), target.c_str()) != 0) {
      error = LastError();
      ::unlink(temp_name.c_str());
      return false;
    }
    SyncFolderOf(target);
    error.clear();
    return true;
  } catch (const std::bad_alloc&) {
    error = std::make_error_code(std::errc::not_enough_memory);
    return false;
  } catch (...) {
    error = std::make_error_code(std::errc::io_error);
    return false;
  }
}

}  // namespace velmar::fileio
