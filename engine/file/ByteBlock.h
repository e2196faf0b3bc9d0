// ByteBlock: the one heap block that holds a document.
//
// Large blocks ask the system for huge pages where it has them: touching
// fresh memory one small page at a time costs more than every pass over it
// together. A block can shrink in place once a document has been compressed
// into its front.

#ifndef VELMAR_ENGINE_BYTEBLOCK_H_
#define VELMAR_ENGINE_BYTEBLOCK_H_

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <span>

namespace velmar {

class ByteBlock {
 public:
  ByteBlock() = default;

  // A block of `size` bytes, not initialised; no block for 0. Throws
  // std::bad_alloc when memory runs out.
  static ByteBlock Allocate(std::size_t size);

  char* data() const noexcept { return bytes_.get(); }
  std::size_t size() const noexcept { return size_; }
  std::span<char> span() const noexcept { return {bytes_.get(), size_}; }

  // Keeps the first `size` bytes (at most size()) and gives the rest back
  // where the system can take it without copying.
  void Shrink(std::size_t size) noexcept;

 private:
  struct Free {
    void operator()(char* bytes) const noexcept { std::free(bytes); }
  };
  std::unique_ptr<char, Free> bytes_;
  std::size_t size_ = 0;
};

}  // namespace velmar

#endif  // VELMAR_ENGINE_BYTEBLOCK_H_
