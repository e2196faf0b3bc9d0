// Skipping to the next byte that can matter.
//
// Every pass spends most of its time between the few bytes it acts on ("<",
// a blank, a line break). FindFirstOf jumps over the rest sixteen bytes at a
// time with SSE2 where the machine has it, and byte by byte elsewhere.

#ifndef VELMAR_ENGINE_BYTESCAN_H_
#define VELMAR_ENGINE_BYTESCAN_H_

#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#define VELMAR_HAVE_SSE2 1
#endif

namespace velmar {

// Up to three bytes to look for; unused slots repeat the first one.
struct ByteSet {
  char a, b, c;
  static constexpr ByteSet Of(char x) { return {x, x, x}; }
  static constexpr ByteSet Of(char x, char y) { return {x, y, y}; }
  static constexpr ByteSet Of(char x, char y, char z) { return {x, y, z}; }
  constexpr bool Has(char x) const { return x == a || x == b || x == c; }
};

// The first position in [from, end) whose byte is in `set`, or `end`.
inline std::size_t FindFirstOf(const char* data, std::size_t from, std::size_t end, ByteSet set) {
  if (set.a == set.b && set.b == set.c) {
    if (from >= end) return end;
    const void* hit = std::memchr(data + from, set.a, end - from);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - data) : end;
  }
  std::size_t pos = from;
#ifdef VELMAR_HAVE_SSE2
  const __m128i va = _mm_set1_epi8(set.a);
  const __m128i vb = _mm_set1_epi8(set.b);
  const __m128i vc = _mm_set1_epi8(set.c);
  while (pos + 16 <= end) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
    const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, va), _mm_cmpeq_epi8(chunk, vb)),
                                      _mm_cmpeq_epi8(chunk, vc));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    if (mask != 0) return pos + static_cast<std::size_t>(__builtin_ctz(mask));
    pos += 16;
  }
#endif
  for (; pos < end; ++pos) {
    if (set.Has(data[pos])) return pos;
  }
  return end;
}

}  // namespace velmar

#endif  // VELMAR_ENGINE_BYTESCAN_H_
