// Skipping to the next byte that can matter.
//
// Every pass spends most of its time between the few bytes it acts on ("<",
// a blank, a line break). FindFirstOf jumps over the rest sixteen bytes at a
// time with SSE2 where the machine has it, and byte by byte elsewhere.

#ifndef VELMAR_ENGINE_BYTESCAN_H_
#define VELMAR_ENGINE_BYTESCAN_H_

#include <cassert>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__) && !defined(VELMAR_PORTABLE_SCAN)
#include <emmintrin.h>
#define VELMAR_HAVE_SSE2 1
#endif

namespace velmar {

// Up to four bytes to look for; unused slots repeat the last one given.
struct ByteSet {
  char a, b, c, d;
  static constexpr ByteSet Of(char x) { return {x, x, x, x}; }
  static constexpr ByteSet Of(char x, char y) { return {x, y, y, y}; }
  static constexpr ByteSet Of(char x, char y, char z) { return {x, y, z, z}; }
  static constexpr ByteSet Of(char x, char y, char z, char w) { return {x, y, z, w}; }
  constexpr bool Has(char x) const { return x == a || x == b || x == c || x == d; }
};

// The first position in [from, end) whose byte is in `set`, or `end`.
inline std::size_t FindFirstOf(const char* data, std::size_t from, std::size_t end, ByteSet set) {
  std::size_t pos = from;
  if (set.a == set.b && set.c == set.a && set.d == set.a) {
    // Tags and the gaps between them are short: look at the first bytes
    // before paying for a call.
#ifdef VELMAR_HAVE_SSE2
    const __m128i va = _mm_set1_epi8(set.a);
    for (int block = 0; block < 4 && pos + 16 <= end; ++block, pos += 16) {
      const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
      const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, va)));
      if (mask != 0) return pos + static_cast<std::size_t>(__builtin_ctz(mask));
    }
#else
    for (const std::size_t near = from + 8 < end ? from + 8 : end; pos < near; ++pos) {
      if (data[pos] == set.a) return pos;
    }
#endif
    if (pos >= end) return end;
    const void* hit = std::memchr(data + pos, set.a, end - pos);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - data) : end;
  }
#ifdef VELMAR_HAVE_SSE2
  const __m128i va = _mm_set1_epi8(set.a);
  const __m128i vb = _mm_set1_epi8(set.b);
  const __m128i vc = _mm_set1_epi8(set.c);
  const __m128i vd = _mm_set1_epi8(set.d);
  while (pos + 16 <= end) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
    const __m128i hits =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, va), _mm_cmpeq_epi8(chunk, vb)),
                     _mm_or_si128(_mm_cmpeq_epi8(chunk, vc), _mm_cmpeq_epi8(chunk, vd)));
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

// The first position p in [from, end) where `a` is followed by `b`, or whose
// byte is `c`; or `end`. A search text of two or more bytes can only start
// at such a pair, so a pass skips the lone first bytes too.
inline std::size_t FindPairOrByte(const char* data, std::size_t from, std::size_t end, char a,
                                  char b, char c) {
  std::size_t pos = from;
#ifdef VELMAR_HAVE_SSE2
  const __m128i va = _mm_set1_epi8(a);
  const __m128i vb = _mm_set1_epi8(b);
  const __m128i vc = _mm_set1_epi8(c);
  while (pos + 17 <= end) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos + 1));
    const __m128i hits =
        _mm_or_si128(_mm_and_si128(_mm_cmpeq_epi8(here, va), _mm_cmpeq_epi8(next, vb)),
                     _mm_cmpeq_epi8(here, vc));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    if (mask != 0) return pos + static_cast<std::size_t>(__builtin_ctz(mask));
    pos += 16;
  }
#endif
  for (; pos < end; ++pos) {
    if (data[pos] == c || (data[pos] == a && pos + 1 < end && data[pos + 1] == b)) return pos;
  }
  return end;
}

// The first position p in [from, end) where `a` is followed by `b`; or `end`.
inline std::size_t FindPair(const char* data, std::size_t from, std::size_t end, char a, char b) {
  std::size_t pos = from;
#ifdef VELMAR_HAVE_SSE2
  const __m128i va = _mm_set1_epi8(a);
  const __m128i vb = _mm_set1_epi8(b);
  while (pos + 17 <= end) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos + 1));
    const __m128i hits = _mm_and_si128(_mm_cmpeq_epi8(here, va), _mm_cmpeq_epi8(next, vb));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    if (mask != 0) return pos + static_cast<std::size_t>(__builtin_ctz(mask));
    pos += 16;
  }
#endif
  for (; pos + 1 < end; ++pos) {
    if (data[pos] == a && data[pos + 1] == b) return pos;
  }
  return end;
}

// The first position p in [from, end) where `first` is followed by a byte
// in `second`; or `end`.
inline std::size_t FindPairOf(const char* data, std::size_t from, std::size_t end, char first,
                              ByteSet second) {
  std::size_t pos = from;
#ifdef VELMAR_HAVE_SSE2
  const __m128i lead = _mm_set1_epi8(first);
  const __m128i va = _mm_set1_epi8(second.a);
  const __m128i vb = _mm_set1_epi8(second.b);
  const __m128i vc = _mm_set1_epi8(second.c);
  while (pos + 17 <= end) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos + 1));
    const __m128i seconds = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(next, va), _mm_cmpeq_epi8(next, vb)), _mm_cmpeq_epi8(next, vc));
    const unsigned mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(here, lead), seconds)));
    if (mask != 0) return pos + static_cast<std::size_t>(__builtin_ctz(mask));
    pos += 16;
  }
#endif
  for (; pos + 1 < end; ++pos) {
    if (data[pos] == first && second.Has(data[pos + 1])) return pos;
  }
  return end;
}

// The first position p in [from, end) where `first` is followed by a byte
// that, with bit 0x20 set (which lowers the letters), is in `second`; or
// `end`. A filter for "<" and a tag name's first letter in any case: every
// such pair is found, and the caller checks the name itself.
inline std::size_t FindFoldedPair(const char* data, std::size_t from, std::size_t end, char first,
                                  ByteSet second) {
  std::size_t pos = from;
#ifdef VELMAR_HAVE_SSE2
  const __m128i lt = _mm_set1_epi8(first);
  const __m128i bit = _mm_set1_epi8(0x20);
  const __m128i va = _mm_set1_epi8(second.a);
  const __m128i vb = _mm_set1_epi8(second.b);
  const __m128i vc = _mm_set1_epi8(second.c);
  while (pos + 17 <= end) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
    const __m128i next =
        _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos + 1)), bit);
    const __m128i names = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(next, va), _mm_cmpeq_epi8(next, vb)), _mm_cmpeq_epi8(next, vc));
    const unsigned mask =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(here, lt), names)));
    if (mask != 0) return pos + static_cast<std::size_t>(__builtin_ctz(mask));
    pos += 16;
  }
#endif
  for (; pos + 1 < end; ++pos) {
    if (data[pos] == first && second.Has(static_cast<char>(data[pos + 1] | 0x20))) return pos;
  }
  return end;
}

// The first position p in [from, end) where "<" is followed by two bytes
// that, with bit 0x20 set, equal one of the `count` pairs in `pairs` (at
// most three, each two lower-case letters); or `end`. Finds where "<pre", "<textarea" and
// "<script" may begin, in any letter case.
inline std::size_t FindTagPrefix(const char* data, std::size_t from, std::size_t end,
                                 const char (*pairs)[2], int count) {
  std::size_t pos = from;
#ifdef VELMAR_HAVE_SSE2
  constexpr int kMost = 3;
  assert(count <= kMost);
  const __m128i lt = _mm_set1_epi8('<');
  const __m128i bit = _mm_set1_epi8(0x20);
  __m128i firsts[kMost], seconds[kMost];
  for (int k = 0; k < count; ++k) {
    firsts[k] = _mm_set1_epi8(pairs[k][0]);
    seconds[k] = _mm_set1_epi8(pairs[k][1]);
  }
  while (pos + 18 <= end) {
    // Most blocks of 16 bytes hold no "<" at all.
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
    const unsigned lts = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(here, lt)));
    if (lts != 0) {
      const __m128i first =
          _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos + 1)), bit);
      const __m128i second =
          _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos + 2)), bit);
      __m128i hits = _mm_setzero_si128();
      for (int k = 0; k < count; ++k) {
        hits = _mm_or_si128(hits, _mm_and_si128(_mm_cmpeq_epi8(first, firsts[k]),
                                                _mm_cmpeq_epi8(second, seconds[k])));
      }
      const unsigned mask = lts & static_cast<unsigned>(_mm_movemask_epi8(hits));
      if (mask != 0) return pos + static_cast<std::size_t>(__builtin_ctz(mask));
    }
    pos += 16;
  }
#endif
  for (; pos + 2 < end; ++pos) {
    if (data[pos] != '<') continue;
    for (int k = 0; k < count; ++k) {
      if ((data[pos + 1] | 0x20) == pairs[k][0] && (data[pos + 2] | 0x20) == pairs[k][1]) {
        return pos;
      }
    }
  }
  return end;
}

}  // namespace velmar

#endif  // VELMAR_ENGINE_BYTESCAN_H_
