// The parts of FileIo.h that are the same on every system.

#include "FileIoShared.h"

#include <algorithm>
#include <random>
#include <string>
#include <thread>

#include "FileIo.h"

namespace velmar::fileio {
namespace {

constexpr std::string_view kTemporaryPrefix = ".htmlcompress-";
constexpr std::size_t kTemporaryDigits = 12;

class FailureCategoryImpl : public std::error_category {
 public:
  const char* name() const noexcept override { return "htmlcompress"; }
  std::string message(int value) const override {
    switch (static_cast<Failure>(value)) {
      case Failure::kChangedWhileRead:
        return "changed while being read";
      case Failure::kNotRegular:
        return "not a regular file";
    }
    return "unknown failure";
  }
};

}  // namespace

const std::error_category& FailureCategory() noexcept {
  static const FailureCategoryImpl category;
  return category;
}

std::error_code MakeError(Failure failure) noexcept {
  return {static_cast<int>(failure), FailureCategory()};
}

std::string NewTemporaryName() {
  thread_local std::mt19937_64 random{std::random_device{}() ^
                                      std::hash<std::thread::id>{}(std::this_thread::get_id())};
  static constexpr char kHex[] = "0123456789abcdef";
  std::uint64_t bits = random();
  std::string name(kTemporaryPrefix);
  for (std::size_t k = 0; k < kTemporaryDigits; ++k, bits >>= 4) name += kHex[bits & 15];
  return name;
}

bool IsTemporaryName(std::string_view name) noexcept {
  if (name.size() != kTemporaryPrefix.size() + kTemporaryDigits) return false;
  if (name.substr(0, kTemporaryPrefix.size()) != kTemporaryPrefix) return false;
  return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(kTemporaryPrefix.size()),
                     name.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

}  // namespace velmar::fileio
