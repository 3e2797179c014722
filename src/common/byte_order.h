// Byte-order helpers. Input records are most significant byte first; DAT
// bodies, the EPH table and the ion/UTC block are little-endian.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

namespace bo {

inline uint16_t GetBe16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t GetBe24(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
}
inline uint32_t GetBe32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}
inline uint64_t GetBe64(const uint8_t* p) {
  return (static_cast<uint64_t>(GetBe32(p)) << 32) | GetBe32(p + 4);
}
inline double GetBeDouble(const uint8_t* p) {
  uint64_t bits = GetBe64(p);
  double d;
  std::memcpy(&d, &bits, 8);
  return d;
}

inline uint16_t GetLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetLe32(const uint8_t* p) {
  return p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t GetLe64(const uint8_t* p) {
  return GetLe32(p) | (static_cast<uint64_t>(GetLe32(p + 4)) << 32);
}
inline double GetLeDouble(const uint8_t* p) {
  uint64_t bits = GetLe64(p);
  double d;
  std::memcpy(&d, &bits, 8);
  return d;
}

inline void PutBe16(uint8_t* p, uint16_t v) { p[0] = static_cast<uint8_t>(v >> 8); p[1] = static_cast<uint8_t>(v); }
inline void PutBe24(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 16); p[1] = static_cast<uint8_t>(v >> 8); p[2] = static_cast<uint8_t>(v);
}
inline void PutBe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24); p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8); p[3] = static_cast<uint8_t>(v);
}
inline void PutBe64(uint8_t* p, uint64_t v) { PutBe32(p, static_cast<uint32_t>(v >> 32)); PutBe32(p + 4, static_cast<uint32_t>(v)); }
inline void PutBeDouble(uint8_t* p, double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, 8);
  PutBe64(p, bits);
}

inline void PutLe16(uint8_t* p, uint16_t v) { p[0] = static_cast<uint8_t>(v); p[1] = static_cast<uint8_t>(v >> 8); }
inline void PutLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v); p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16); p[3] = static_cast<uint8_t>(v >> 24);
}
inline void PutLe64(uint8_t* p, uint64_t v) { PutLe32(p, static_cast<uint32_t>(v)); PutLe32(p + 4, static_cast<uint32_t>(v >> 32)); }
inline void PutLeDouble(uint8_t* p, double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, 8);
  PutLe64(p, bits);
}

// Unsigned big-endian value of w bytes (1 to 8).
inline uint64_t GetBeN(const uint8_t* p, unsigned w) {
  uint64_t v = 0;
  for (unsigned i = 0; i < w; ++i) v = (v << 8) | p[i];
  return v;
}
// Writes the low w bytes of v big-endian.
inline void PutBeN(uint8_t* p, uint64_t v, unsigned w) {
  for (unsigned i = 0; i < w; ++i) p[i] = static_cast<uint8_t>(v >> (8 * (w - 1 - i)));
}
// Appends the low w bytes of v big-endian.
inline void AppendBeN(std::vector<uint8_t>& out, uint64_t v, unsigned w) {
  for (unsigned i = w; i-- > 0;) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
// All ones in the low w bytes.
inline uint64_t WidthMask(unsigned w) { return w >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * w)) - 1; }
// The low w bytes of v as a two's complement value.
inline int64_t SignExtend(uint64_t v, unsigned w) {
  v &= WidthMask(w);
  const uint64_t sign = uint64_t{1} << (8 * w - 1);
  return static_cast<int64_t>((v ^ sign) - sign);
}

// Reverses each 8-byte group of count big-endian binary64 values into dst.
inline void SwapDoubles(uint8_t* dst, const uint8_t* src, int count) {
  for (int i = 0; i < count; ++i)
    for (int b = 0; b < 8; ++b) dst[i * 8 + b] = src[i * 8 + 7 - b];
}

}  // namespace bo
