#include "imaging/view/resample_core.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <system_error>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

namespace vlresample {

namespace {

constexpr int32_t kFracBits = 17;
constexpr double kFracOne = 131072.0;

int32_t Trunc32(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return int32_t(v);
}

uint8_t Clamp255(int64_t v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

void Report(const TVLResampleProgress& Progress, double Percent) {
  if (Progress) Progress(Trunc32(Percent));
}

// Horizontal pass of FastLinear over rows [Y0, Y1) into Work (Dst width x source height).
struct TLinearColumns {
  std::vector<int32_t> Q, P, R;
  // Per box, (v x M) >> 40 equals v div count for every sum v of up to count bytes (exact
  // while count < 65536; larger boxes divide).
  std::vector<uint64_t> M;
};

constexpr int kReciprocalShift = 40;

uint32_t DivideBox(uint32_t v, uint32_t count, uint64_t m) {
  return m ? uint32_t((uint64_t(v) * m) >> kReciprocalShift) : v / count;
}

// Adds whole runs of 8 pixels (24 bytes) of a box to the channel sums, four bytes per 64-bit
// word in 16-bit fields: the even and odd bytes of the three words fall into three fixed
// channel patterns, so each run costs three loads and a few masks instead of 24 byte adds.
// Advances Px and X past the runs it took; the caller adds the rest one pixel at a time.
inline void BoxSum8(const uint8_t*& Px, int32_t& X, int32_t Last, uint32_t& B, uint32_t& G,
                    uint32_t& R) {
  constexpr uint64_t kEven = 0x00FF00FF00FF00FFull;
  auto field = [](uint64_t v, int k) { return uint32_t((v >> (16 * k)) & 0xFFFF); };
  while (Last - X + 1 >= 8) {
    // Fields grow by at most 510 per run: flush before 128 runs.
    uint64_t a = 0, b = 0, c = 0;  // patterns B R G B, G B R G, R G B R
    for (int run = 0; run < 128 && Last - X + 1 >= 8; ++run, X += 8, Px += 24) {
      uint64_t w0, w1, w2;
      std::memcpy(&w0, Px, 8);
      std::memcpy(&w1, Px + 8, 8);
      std::memcpy(&w2, Px + 16, 8);
      a += (w0 & kEven) + ((w1 >> 8) & kEven);
      b += ((w0 >> 8) & kEven) + (w2 & kEven);
      c += (w1 & kEven) + ((w2 >> 8) & kEven);
    }
    B += field(a, 0) + field(a, 3) + field(b, 1) + field(c, 2);
    G += field(a, 2) + field(b, 0) + field(b, 3) + field(c, 1);
    R += field(a, 1) + field(b, 2) + field(c, 0) + field(c, 3);
  }
}

#if defined(__SSE2__)
// The rows are read once front to back, and without help the loads wait on memory most of the
// time (measured: 40% of the cycles on the first load of a box). Asking for the bytes 2 KiB
// ahead (once per box and once per cache line of a long box) halves the time of the preview's
// reduction; prefetches never fault, so running past the row's end is harmless.
constexpr int kPrefetchAhead = 2048;

// The box averages of one 3-channel row, 16 bytes at a time. Within 48 bytes that start on a
// pixel, byte i of the three 16-byte words belongs to channels i, i + 1 and i + 2 (mod 3), so
// one mask per channel and word picks each channel's 16 bytes into a single word, which one
// SAD against zero adds up. The rest of a box is loaded under a length mask; a box whose
// masked words would reach past the end of the row is finished byte by byte.
void BoxRow3(const uint8_t* s, uint8_t* out, int32_t a, int32_t c, const TLinearColumns& t) {
  alignas(16) static constexpr uint8_t kIndex[16] = {0, 1, 2,  3,  4,  5,  6,  7,
                                                     8, 9, 10, 11, 12, 13, 14, 15};
  auto channelMask = [](int phase) {
    alignas(16) uint8_t m[16];
    for (int i = 0; i < 16; ++i) m[i] = (i + phase) % 3 == 0 ? 0xFF : 0;
    return _mm_load_si128(reinterpret_cast<const __m128i*>(m));
  };
  // mWK: the bytes of word W that belong to channel K.
  const __m128i m00 = channelMask(0), m01 = channelMask(2), m02 = channelMask(1);
  const __m128i m10 = m02, m11 = m00, m12 = m01;
  const __m128i m20 = m01, m21 = m02, m22 = m00;
  const __m128i index = _mm_load_si128(reinterpret_cast<const __m128i*>(kIndex));
  const __m128i zero = _mm_setzero_si128();
  const size_t rowBytes = size_t(a) * 3;
  for (int32_t j = 0; j < c; ++j) {
    const int32_t q0 = t.Q[size_t(j)], r0 = t.R[size_t(j)];
    const uint8_t* px = s + size_t(q0) * 3;
    int32_t bytes = (r0 - q0 + 1) * 3;
    __m128i acc0 = zero, acc1 = zero, acc2 = zero;
    _mm_prefetch(reinterpret_cast<const char*>(px) + kPrefetchAhead, _MM_HINT_T0);
    auto add = [&](__m128i v0, __m128i v1, __m128i v2) {
      const __m128i x0 = _mm_or_si128(_mm_or_si128(_mm_and_si128(v0, m00), _mm_and_si128(v1, m10)),
                                      _mm_and_si128(v2, m20));
      const __m128i x1 = _mm_or_si128(_mm_or_si128(_mm_and_si128(v0, m01), _mm_and_si128(v1, m11)),
                                      _mm_and_si128(v2, m21));
      const __m128i x2 = _mm_or_si128(_mm_or_si128(_mm_and_si128(v0, m02), _mm_and_si128(v1, m12)),
                                      _mm_and_si128(v2, m22));
      acc0 = _mm_add_epi64(acc0, _mm_sad_epu8(x0, zero));
      acc1 = _mm_add_epi64(acc1, _mm_sad_epu8(x1, zero));
      acc2 = _mm_add_epi64(acc2, _mm_sad_epu8(x2, zero));
    };
    auto load = [](const uint8_t* p) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    };
    for (; bytes >= 48; bytes -= 48, px += 48) {
      _mm_prefetch(reinterpret_cast<const char*>(px) + kPrefetchAhead + 64, _MM_HINT_T0);
      add(load(px), load(px + 16), load(px + 32));
    }
    uint32_t tail0 = 0, tail1 = 0, tail2 = 0;
    if (bytes > 0) {
      const int32_t words = (bytes + 15) / 16;
      if (size_t(px - s) + 16 * size_t(words) <= rowBytes) {
        auto masked = [&](int w) {
          if (w >= words) return zero;
          return _mm_and_si128(load(px + 16 * w),
                               _mm_cmpgt_epi8(_mm_set1_epi8(char(bytes - 16 * w)), index));
        };
        if (words == 1) {  // the usual rest of a preview box: a few pixels, one word
          const __m128i v = masked(0);
          acc0 = _mm_add_epi64(acc0, _mm_sad_epu8(_mm_and_si128(v, m00), zero));
          acc1 = _mm_add_epi64(acc1, _mm_sad_epu8(_mm_and_si128(v, m01), zero));
          acc2 = _mm_add_epi64(acc2, _mm_sad_epu8(_mm_and_si128(v, m02), zero));
        } else {
          add(masked(0), masked(1), masked(2));
        }
      } else {
        for (; bytes > 0; bytes -= 3, px += 3) {
          tail0 += px[0];
          tail1 += px[1];
          tail2 += px[2];
        }
      }
    }
    const __m128i s01 =
        _mm_add_epi64(_mm_unpacklo_epi64(acc0, acc1), _mm_unpackhi_epi64(acc0, acc1));
    const __m128i s2 = _mm_add_epi64(acc2, _mm_unpackhi_epi64(acc2, acc2));
    const uint32_t sum0 = uint32_t(_mm_cvtsi128_si32(s01)) + tail0;
    const uint32_t sum1 = uint32_t(_mm_cvtsi128_si32(_mm_unpackhi_epi64(s01, s01))) + tail1;
    const uint32_t sum2 = uint32_t(_mm_cvtsi128_si32(s2)) + tail2;
    const uint32_t count = uint32_t(r0 - q0 + 1);
    const uint64_t m = t.M[size_t(j)];
    out[0] = uint8_t(DivideBox(sum0, count, m));
    out[1] = uint8_t(DivideBox(sum1, count, m));
    out[2] = uint8_t(DivideBox(sum2, count, m));
    out += 3;
  }
}

// The box averages of one gray row: whole 16-byte words and a length-masked rest, each added
// up by one SAD. As above, a rest that would reach past the row is added byte by byte.
void BoxRow1(const uint8_t* s, uint8_t* out, int32_t a, int32_t c, const TLinearColumns& t) {
  alignas(16) static constexpr uint8_t kIndex[16] = {0, 1, 2,  3,  4,  5,  6,  7,
                                                     8, 9, 10, 11, 12, 13, 14, 15};
  const __m128i index = _mm_load_si128(reinterpret_cast<const __m128i*>(kIndex));
  const __m128i zero = _mm_setzero_si128();
  for (int32_t j = 0; j < c; ++j) {
    const int32_t q0 = t.Q[size_t(j)], r0 = t.R[size_t(j)];
    const uint8_t* px = s + size_t(q0);
    int32_t bytes = r0 - q0 + 1;
    _mm_prefetch(reinterpret_cast<const char*>(px) + kPrefetchAhead, _MM_HINT_T0);
    __m128i acc = zero;
    for (; bytes >= 16; bytes -= 16, px += 16) {
      if ((reinterpret_cast<uintptr_t>(px) & 63) < 16)
        _mm_prefetch(reinterpret_cast<const char*>(px) + kPrefetchAhead + 64, _MM_HINT_T0);
      acc = _mm_add_epi64(acc, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(px)),
                                            zero));
    }
    uint32_t tail = 0;
    if (bytes > 0 && size_t(px - s) + 16 <= size_t(a)) {
      const __m128i v = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(px)),
                                      _mm_cmpgt_epi8(_mm_set1_epi8(char(bytes)), index));
      acc = _mm_add_epi64(acc, _mm_sad_epu8(v, zero));
    } else {
      for (; bytes > 0; --bytes) tail += *px++;
    }
    const __m128i sum = _mm_add_epi64(acc, _mm_unpackhi_epi64(acc, acc));
    out[j] = uint8_t(DivideBox(uint32_t(_mm_cvtsi128_si32(sum)) + tail, uint32_t(r0 - q0 + 1),
                               t.M[size_t(j)]));
  }
}
#endif

void LinearRow(const uint8_t* s, uint8_t* out, int32_t a, int32_t c, int32_t ch, bool interp,
               const TLinearColumns& t, [[maybe_unused]] TLinearPath path) {
  if (interp) {
    for (int32_t j = 0; j < c; ++j) {
      const int32_t q0 = t.Q[size_t(j)];
      const int32_t q1 = std::min(q0 + 1, a - 1);
      const int32_t p = t.P[size_t(j)];
      const uint8_t* s0 = s + size_t(q0) * size_t(ch);
      const uint8_t* s1 = s + size_t(q1) * size_t(ch);
      for (int32_t k = 0; k < ch; ++k)
        out[k] = uint8_t(s0[k] + (((int32_t(s1[k]) - int32_t(s0[k])) * p) >> kFracBits));
      out += ch;
    }
    return;
  }
#if defined(__SSE2__)
  if (ch == 3 && a < (1 << 24) && path == TLinearPath::Fast) return BoxRow3(s, out, a, c, t);
  if (ch == 1 && a < (1 << 24) && path == TLinearPath::Fast) return BoxRow1(s, out, a, c, t);
#endif
  if (ch == 3 && a < (1 << 24)) {  // 32-bit sums cannot overflow below 2^24 pixels per box
    for (int32_t j = 0; j < c; ++j) {
      const int32_t q0 = t.Q[size_t(j)], r0 = t.R[size_t(j)];
      uint32_t s0 = 0, s1 = 0, s2 = 0;
      const uint8_t* px = s + size_t(q0) * 3;
      int32_t x = q0;
      if constexpr (std::endian::native == std::endian::little) BoxSum8(px, x, r0, s0, s1, s2);
      for (; x <= r0; ++x, px += 3) {
        s0 += px[0];
        s1 += px[1];
        s2 += px[2];
      }
      const uint32_t count = uint32_t(r0 - q0 + 1);
      const uint64_t m = t.M[size_t(j)];
      out[0] = uint8_t(DivideBox(s0, count, m));
      out[1] = uint8_t(DivideBox(s1, count, m));
      out[2] = uint8_t(DivideBox(s2, count, m));
      out += 3;
    }
    return;
  }
  for (int32_t j = 0; j < c; ++j) {
    const int32_t q0 = t.Q[size_t(j)], r0 = t.R[size_t(j)];
    const uint64_t count = uint64_t(r0 - q0 + 1);
    for (int32_t k = 0; k < ch; ++k) {
      uint64_t sum = 0;
      for (int32_t x = q0; x <= r0; ++x) sum += s[size_t(x) * size_t(ch) + size_t(k)];
      out[k] = uint8_t(sum / count);
    }
    out += ch;
  }
}

}  // namespace

void FastLinear(TPlane Src, TPlane Dst, const TRowGet& Get, const TRowPut& Put,
                const TVLResampleProgress& Progress, bool AlwaysInterpolate, TLinearPath Path) {
  const int32_t a = Src.Width, b = Src.Height, c = Dst.Width, n = Dst.Height;
  const int32_t ch = Src.Channels;
  if (a <= 0 || b <= 0 || c <= 0 || n <= 0 || ch <= 0) return;
  const double sx = double(c) / double(a);
  const double sy = double(n) / double(b);
  if (sx == 1.0 && sy == 1.0) {
    for (int32_t y = 0; y < b; ++y) Put(y, Get(y));
    return;
  }
  const bool interpX = AlwaysInterpolate || sx > 1.0;
  const bool interpY = AlwaysInterpolate || sy > 1.0;
  TLinearColumns t;
  t.Q.resize(size_t(c));
  t.P.resize(size_t(c));
  t.R.resize(size_t(c));
  for (int32_t j = 0; j < c; ++j) {
    const double f = double(j) / sx;
    const int32_t q = std::min(Trunc32(f), a - 1);
    t.Q[size_t(j)] = q;
    t.P[size_t(j)] = Trunc32((f - double(q)) * kFracOne);
    const int32_t r = Trunc32(double(std::min(j + 1, c - 1)) / sx + 1e-10);
    t.R[size_t(j)] = std::clamp(r, q, a - 1);
  }
  t.M.resize(size_t(c));
  for (int32_t j = 0; j < c; ++j) {
    const uint64_t count = uint64_t(t.R[size_t(j)] - t.Q[size_t(j)] + 1);
    t.M[size_t(j)] = count < 65536 ? ((uint64_t(1) << kReciprocalShift) / count) + 1 : 0;
  }
  const size_t workRow = size_t(c) * size_t(ch);
  std::vector<uint8_t> work(workRow * size_t(b));
  const double progressStep = 100.0 / (double(b) + double(n) + 0.5);
  // Large work bitmaps from sources in memory: the second core takes the upper half of the
  // horizontal pass. Reductions to a small picture stay on one core, where streaming the
  // source is the limit and a second thread only adds contention.
  const bool split = Src.ConcurrentRows && !Progress && int64_t(c) * b >= (int64_t(1) << 21) &&
                     std::thread::hardware_concurrency() > 1;
  int32_t firstRow = 0;
  std::thread helper;
  if (split) {
    firstRow = b / 2;
    try {
      helper = std::thread([&] {
        for (int32_t y = 0; y < b / 2; ++y)
          LinearRow(Get(y), work.data() + workRow * size_t(y), a, c, ch, interpX, t, Path);
      });
    } catch (const std::system_error&) {
      firstRow = 0;  // no thread to be had: do it all here
    }
  }
  for (int32_t y = firstRow; y < b; ++y) {
    LinearRow(Get(y), work.data() + workRow * size_t(y), a, c, ch, interpX, t, Path);
    Report(Progress, progressStep * double(y));
  }
  if (helper.joinable()) helper.join();
  std::vector<uint8_t> out(workRow);
  std::vector<uint64_t> sums(workRow);
  std::vector<uint32_t> sums32(workRow);
  for (int32_t j = 0; j < n; ++j) {
    if (interpY) {
      const double g = double(j) / sy;
      const int32_t h = std::min(Trunc32(g), b - 1);
      const int32_t frac = Trunc32((g - double(h)) * kFracOne);
      const int32_t h1 = std::min(h + 1, b - 1);
      const uint8_t* r0 = work.data() + workRow * size_t(h);
      const uint8_t* r1 = work.data() + workRow * size_t(h1);
      for (size_t i = 0; i < workRow; ++i)
        out[i] = uint8_t(r0[i] + (((int32_t(r1[i]) - int32_t(r0[i])) * frac) >> kFracBits));
    } else {
      const int32_t first = std::min(Trunc32(double(j) / sy), b - 1);
      const int32_t last = std::clamp(Trunc32(double(std::min(j + 1, n - 1)) / sy), first, b - 1);
      const uint32_t rows = uint32_t(last - first + 1);
      if (rows < 65536 && Path == TLinearPath::Fast) {
        // 32-bit sums (below 2^24) and the reciprocal instead of a division per byte.
        std::fill(sums32.begin(), sums32.end(), 0);
        for (int32_t y = first; y <= last; ++y) {
          const uint8_t* r = work.data() + workRow * size_t(y);
          for (size_t i = 0; i < workRow; ++i) sums32[i] += r[i];
        }
        const uint64_t m = ((uint64_t(1) << kReciprocalShift) / rows) + 1;
        for (size_t i = 0; i < workRow; ++i) out[i] = uint8_t(DivideBox(sums32[i], rows, m));
        Put(j, out.data());
        Report(Progress, progressStep * double(b + j));
        continue;
      }
      std::fill(sums.begin(), sums.end(), 0);
      for (int32_t y = first; y <= last; ++y) {
        const uint8_t* r = work.data() + workRow * size_t(y);
        for (size_t i = 0; i < workRow; ++i) sums[i] += r[i];
      }
      const uint64_t count = uint64_t(last - first + 1);
      for (size_t i = 0; i < workRow; ++i) out[i] = uint8_t(sums[i] / count);
    }
    Put(j, out.data());
    Report(Progress, progressStep * double(b + j));
  }
}

// ---- Convolution ------------------------------------------------------------------------------

namespace {

struct TContributor {
  int32_t Index;
  int32_t Weight;
};

double Sinc(double x) {
  if (x == 0.0) return 1.0;
  x *= M_PI;
  return std::sin(x) / x;
}

double Kernel(TResampleFilter f, double x) {
  const double ax = std::fabs(x);
  switch (f) {
    case rfTriangle:
    case rfLinear:
      return ax < 1.0 ? 1.0 - ax : 0.0;
    case rfHermite:
      return ax < 1.0 ? (2.0 * ax - 3.0) * x * x + 1.0 : 0.0;
    case rfBell:
      if (ax < 0.5) return 0.75 - x * x;
      if (ax < 1.5) return 0.5 * (ax - 1.5) * (ax - 1.5);
      return 0.0;
    case rfBSpline:
      if (ax < 1.0) return 0.5 * ax * ax * ax - x * x + 2.0 / 3.0;
      if (ax < 2.0) return (2.0 - ax) * (2.0 - ax) * (2.0 - ax) / 6.0;
      return 0.0;
    case rfLanczos3:
      return ax < 3.0 ? Sinc(x) * Sinc(x / 3.0) : 0.0;
    case rfMitchell:
      if (ax < 1.0) return (7.0 * ax * ax * ax - 12.0 * x * x + 16.0 / 3.0) / 6.0;
      if (ax < 2.0)
        return (-7.0 / 3.0 * ax * ax * ax + 12.0 * x * x - 20.0 * ax + 32.0 / 3.0) / 6.0;
      return 0.0;
    case rfNearest:
      return (x > -0.5 && x <= 0.5) ? 1.0 : 0.0;
    default:
      return 0.0;
  }
}

double Support(TResampleFilter f) {
  switch (f) {
    case rfBell:
      return 1.5;
    case rfBSpline:
    case rfMitchell:
      return 2.0;
    case rfLanczos3:
      return 3.0;
    default:
      return 1.0;
  }
}

int32_t Mirror(int64_t j, int32_t n) {
  if (j < 0) j = -j;
  if (j >= n) j = 2 * int64_t(n) - 1 - j;
  return int32_t(std::clamp<int64_t>(j, 0, n - 1));
}

std::vector<std::vector<TContributor>> Contributors(int32_t srcN, int32_t dstN, TResampleFilter f) {
  const double support = Support(f);
  const double scale =
      (srcN == 1 || dstN == 1) ? double(dstN) / double(srcN) : double(dstN - 1) / double(srcN - 1);
  std::vector<std::vector<TContributor>> list(static_cast<size_t>(dstN));
  for (int32_t i = 0; i < dstN; ++i) {
    const double centre = double(i) / scale;
    auto& out = list[size_t(i)];
    const double width = scale >= 1.0 ? support : support / scale;
    const int64_t left = int64_t(std::floor(centre - width));
    const int64_t right = int64_t(std::ceil(centre + width));
    for (int64_t j = left; j <= right; ++j) {
      const double w = scale >= 1.0 ? Kernel(f, centre - double(j)) * 256.0
                                    : Kernel(f, (centre - double(j)) * scale) * 256.0 * scale;
      const int32_t weight = int32_t(std::nearbyint(w));
      if (weight != 0) out.push_back({Mirror(j, srcN), weight});
    }
    // Far reductions round every weight to zero: take the nearest source pixel then, so the
    // picture does not turn black.
    if (out.empty()) out.push_back({std::clamp(int32_t(std::nearbyint(centre)), 0, srcN - 1), 256});
  }
  return list;
}

void ConvolveRow(const std::vector<TContributor>& c, const uint8_t* const* rows, size_t offset,
                 int32_t stride, int32_t ch, uint8_t* out) {
  int64_t wsum = 0;
  for (const auto& k : c) wsum += k.Weight;
  for (int32_t q = 0; q < ch; ++q) {
    int64_t sum = 0;
    for (const auto& k : c) sum += int64_t(k.Weight) * rows[k.Index][offset + size_t(q)];
    out[q] = Clamp255(wsum != 0 ? sum / wsum : sum / 256);
  }
  (void)stride;
}

}  // namespace

void Convolve(TPlane Src, TPlane Dst, TResampleFilter Filter, const TRowGet& Get,
              const TRowPut& Put, const TVLResampleProgress& Progress) {
  const int32_t a = Src.Width, b = Src.Height, c = Dst.Width, n = Dst.Height;
  const int32_t ch = Src.Channels;
  if (a <= 0 || b <= 0 || c <= 0 || n <= 0 || (a < 2 && b < 2)) return;
  const auto cols = Contributors(a, c, Filter);
  const auto rowsC = Contributors(b, n, Filter);
  const size_t workRow = size_t(c) * size_t(ch);
  std::vector<uint8_t> work(workRow * size_t(b));
  const double step = 100.0 / (double(c) + double(b) + 0.5);
  for (int32_t y = 0; y < b; ++y) {
    const uint8_t* s = Get(y);
    uint8_t* out = work.data() + workRow * size_t(y);
    for (int32_t j = 0; j < c; ++j) {
      const auto& list = cols[size_t(j)];
      int64_t wsum = 0;
      for (const auto& k : list) wsum += k.Weight;
      for (int32_t q = 0; q < ch; ++q) {
        int64_t sum = 0;
        for (const auto& k : list) sum += int64_t(k.Weight) * s[size_t(k.Index) * ch + q];
        out[size_t(j) * ch + q] = Clamp255(wsum != 0 ? sum / wsum : sum / 256);
      }
    }
    Report(Progress, step * double(y + 1));
  }
  std::vector<const uint8_t*> rows(static_cast<size_t>(b));
  for (int32_t y = 0; y < b; ++y) rows[size_t(y)] = work.data() + workRow * size_t(y);
  std::vector<uint8_t> out(workRow);
  for (int32_t j = 0; j < n; ++j) {
    for (size_t x = 0; x < size_t(c); ++x)
      ConvolveRow(rowsC[size_t(j)], rows.data(), x * size_t(ch), 0, ch, out.data() + x * ch);
    Put(j, out.data());
    Report(Progress, step * double(b + j + 1));
  }
}

// ---- Area resampler -----------------------------------------------------------------------------

namespace {

struct TAreaWeight {
  int32_t Index;
  double Weight;
};

double Cubic(double x) {
  const double ax = std::fabs(x);
  if (ax <= 1.0) return ax * ax * ax - 2.0 * x * x + 1.0;
  if (ax <= 2.0) return -ax * ax * ax + 5.0 * x * x - 8.0 * ax + 4.0;
  return 0.0;
}

// Weights per destination index that already include the division by the area: an average of
// the overlapped cells along a reduced axis, an interpolated sample along an enlarged one.
std::vector<std::vector<TAreaWeight>> AreaWeights(int32_t srcN, int32_t dstN, bool bicubic) {
  std::vector<std::vector<TAreaWeight>> list(static_cast<size_t>(dstN));
  const double ratio = double(srcN) / double(dstN);
  for (int32_t i = 0; i < dstN; ++i) {
    const double x0 = double(i) * ratio, x1 = double(i + 1) * ratio;
    auto& out = list[size_t(i)];
    if (dstN > srcN) {
      const double u = (x0 + x1) / 2.0 - 0.5;
      const int32_t k = int32_t(std::floor(u));
      const double t = u - double(k);
      if (bicubic) {
        for (int32_t o = -1; o <= 2; ++o)
          out.push_back({std::clamp(k + o, 0, srcN - 1), Cubic(t - double(o))});
      } else {
        out.push_back({std::clamp(k, 0, srcN - 1), 1.0 - t});
        out.push_back({std::clamp(k + 1, 0, srcN - 1), t});
      }
      continue;
    }
    for (int32_t k = int32_t(std::floor(x0)); double(k) < x1 - 0.0001 && k < srcN; ++k) {
      const double overlap = std::min(x1, double(k + 1)) - std::max(x0, double(k));
      if (overlap > 0.0001) out.push_back({k, overlap / ratio});
    }
    if (out.empty()) out.push_back({std::clamp(int32_t(x0), 0, srcN - 1), 1.0});
  }
  return list;
}

uint8_t ClampTrunc(double v) {
  v += 1e-7;  // sums of exact weights may land a hair below a whole number
  if (!(v > 0.0)) return 0;
  if (v >= 255.0) return 255;
  return uint8_t(v);
}

}  // namespace

void AreaResample(TPlane Src, TPlane Dst, bool Bicubic, const TRowGet& Get, const TRowPut& Put,
                  const TVLResampleProgress& Progress) {
  const int32_t a = Src.Width, b = Src.Height, c = Dst.Width, n = Dst.Height;
  const int32_t ch = Src.Channels;
  if (a <= 0 || b <= 0 || c <= 0 || n <= 0) return;
  const auto wx = AreaWeights(a, c, Bicubic);
  const auto wy = AreaWeights(b, n, Bicubic);
  const size_t workRow = size_t(c) * size_t(ch);
  std::vector<double> work(workRow * size_t(b));
  for (int32_t y = 0; y < b; ++y) {
    const uint8_t* s = Get(y);
    double* out = work.data() + workRow * size_t(y);
    for (int32_t j = 0; j < c; ++j)
      for (int32_t q = 0; q < ch; ++q) {
        double v = 0;
        for (const auto& w : wx[size_t(j)]) v += w.Weight * s[size_t(w.Index) * ch + q];
        out[size_t(j) * ch + q] = std::clamp(v, 0.0, 255.0);
      }
  }
  std::vector<uint8_t> row(workRow);
  for (int32_t j = 0; j < n; ++j) {
    for (size_t i = 0; i < workRow; ++i) {
      double v = 0;
      for (const auto& w : wy[size_t(j)]) v += w.Weight * work[workRow * size_t(w.Index) + i];
      row[i] = ClampTrunc(v);
    }
    Put(j, row.data());
    Report(Progress, double(j + 1) / double(n) * 100.0);
  }
}

// ---- Projection ---------------------------------------------------------------------------------

void Project(TPlane Src, TPlane Dst, bool BlackWins, const TRowGet& Get, const TRowPut& Put) {
  const int32_t a = Src.Width, b = Src.Height, c = Dst.Width, n = Dst.Height;
  const int32_t ch = Src.Channels;
  if (a <= 0 || b <= 0 || c <= 0 || n <= 0) return;
  // Each destination pixel looks at its own source box (at least one pixel), so no band of
  // the source is skipped and no box is shared with a neighbour.
  auto bounds = [](int32_t srcN, int32_t dstN, int32_t i, int32_t& first, int32_t& last) {
    const double e = double(srcN) / double(dstN);
    first = std::min(Trunc32(e * double(i)), srcN - 1);
    last = std::clamp(Trunc32(e * double(i + 1)) - 1, first, srcN - 1);
  };
  std::vector<int32_t> x0(static_cast<size_t>(c)), x1(static_cast<size_t>(c));
  for (int32_t k = 0; k < c; ++k) bounds(a, c, k, x0[size_t(k)], x1[size_t(k)]);
  std::vector<uint8_t> out(static_cast<size_t>(c));
  const uint8_t start = BlackWins ? 1 : 0;
  for (int32_t j = 0; j < n; ++j) {
    int32_t y0, y1;
    bounds(b, n, j, y0, y1);
    std::fill(out.begin(), out.end(), start);
    for (int32_t y = y0; y <= y1; ++y) {
      const uint8_t* s = Get(y);
      for (int32_t k = 0; k < c; ++k) {
        if (out[size_t(k)] != start) continue;
        for (int32_t x = x0[size_t(k)]; x <= x1[size_t(k)]; ++x) {
          const uint8_t* px = s + size_t(x) * ch;
          bool all = true;
          for (int32_t q = 0; q < ch && all; ++q) all = BlackWins ? px[q] < 128 : px[q] > 128;
          if (all) {
            out[size_t(k)] = uint8_t(1 - start);
            break;
          }
        }
      }
    }
    Put(j, out.data());
  }
}

}  // namespace vlresample
