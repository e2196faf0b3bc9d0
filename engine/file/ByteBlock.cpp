#include "ByteBlock.h"

#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace velmar {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Below this the small-page faults cost little.
constexpr std::size_t kHugeBlockThreshold = std::size_t{8} << 20;

}  // namespace

ByteBlock ByteBlock::Allocate(std::size_t size) {
  ByteBlock block;
  if (size == 0) return block;
  void* bytes = nullptr;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (size >= kHugeBlockThreshold && size <= SIZE_MAX - kHugePage) {
    const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    bytes = std::aligned_alloc(kHugePage, rounded);
    // Only advice: without huge pages the block works the same.
    if (bytes != nullptr) ::madvise(bytes, rounded, MADV_HUGEPAGE);
  }
#endif
  if (bytes == nullptr) bytes = std::malloc(size);
  if (bytes == nullptr) throw std::bad_alloc();
  block.bytes_.reset(static_cast<char*>(bytes));
  block.size_ = size;
  return block;
}

void ByteBlock::Shrink(std::size_t size) noexcept {
  if (size >= size_) return;
  if (size == 0) {
    bytes_.reset();
  } else if (void* smaller = std::realloc(bytes_.get(), size)) {
    bytes_.release();
    bytes_.reset(static_cast<char*>(smaller));
  }
  size_ = size;
}

}  // namespace velmar
