#include "k01lib/delta_fields.h"

#include <cstring>

#include "k01lib/byte_arith.h"

namespace k01 {

void setCursor(k01_cursor_t& c, const uint8_t* bytes, uint32_t length, uint32_t offset) {
  c.overrun = false;
  if (bytes == nullptr || offset > length) {
    c.pos = bytes;
    c.left = 0;
    return;
  }
  c.pos = bytes + offset;
  c.left = length - offset;
}

uint8_t takeByte(k01_cursor_t& c) {
  if (c.left == 0 || c.pos == nullptr) {
    c.overrun = true;
    return 0;
  }
  --c.left;
  return *c.pos++;
}

bool takeBytes(k01_cursor_t& c, uint8_t* out, size_t n) {
  if (n > c.left || (n > 0 && c.pos == nullptr)) {
    c.overrun = true;
    return false;
  }
  if (out != nullptr && n > 0) std::memcpy(out, c.pos, n);
  c.pos += n;
  c.left -= static_cast<uint32_t>(n);
  return true;
}

namespace {

// Applies the sign-and-magnitude delta of the m bytes taken to the
// reference. Up to w bytes the sign bit is cleared out of the magnitude;
// beyond w the magnitude is the last w bytes as they stand.
void applyDelta(const uint8_t* taken, size_t m, bool negative, uint8_t* dst, const uint8_t* ref,
                size_t w) {
  uint8_t magnitude[kMaxFieldWidth] = {};
  uint8_t result[kMaxFieldWidth];
  if (m <= w) {
    std::memcpy(magnitude + (w - m), taken, m);
    magnitude[w - m] &= 0x7F;
  } else {
    std::memcpy(magnitude, taken + (m - w), w);
  }
  std::memcpy(result, ref, w);
  if (negative)
    bytesSub(result, magnitude, w);
  else
    bytesAdd(result, magnitude, w);
  std::memcpy(dst, result, w);
}

bool updateFieldCommon(k01_cursor_t& c, unsigned mode, unsigned rawMode, uint8_t* dst,
                       const uint8_t* ref, size_t w, bool wideModes) {
  if (w == 0 || w > kMaxFieldWidth) return false;
  if (mode == rawMode) return takeBytes(c, dst, w);
  if (mode == 0) {
    std::memmove(dst, ref, w);
    return true;
  }
  if (mode > w && !wideModes) return false;
  uint8_t taken[16];
  if (mode > sizeof(taken)) return false;
  if (!takeBytes(c, taken, mode)) return false;
  applyDelta(taken, mode, (taken[0] & 0x80) != 0, dst, ref, w);
  return true;
}

}  // namespace

bool updateField(k01_cursor_t& c, unsigned mode, unsigned rawMode, uint8_t* dst,
                 const uint8_t* ref, size_t w) {
  return updateFieldCommon(c, mode, rawMode, dst, ref, w, false);
}

bool updateField27(k01_cursor_t& c, unsigned mode, unsigned rawMode, uint8_t* dst,
                   const uint8_t* ref, size_t w) {
  return updateFieldCommon(c, mode, rawMode, dst, ref, w, true);
}

bool updateStep(k01_cursor_t& c, unsigned mode, unsigned rawMode, uint8_t* dst,
                const uint8_t* ref, size_t w) {
  if (w == 0 || w > kMaxFieldWidth) return false;
  if (mode == rawMode) return takeBytes(c, dst, w);
  const long step = mode < rawMode ? static_cast<long>(mode)
                                   : static_cast<long>(mode) - 2 * static_cast<long>(rawMode);
  // The step as a w-byte two's complement number.
  uint8_t delta[kMaxFieldWidth];
  const unsigned long bits = static_cast<unsigned long>(step);
  for (size_t i = 0; i < w; ++i) delta[w - 1 - i] = static_cast<uint8_t>(bits >> (8 * i));
  uint8_t result[kMaxFieldWidth];
  std::memcpy(result, ref, w);
  bytesAdd(result, delta, w);
  std::memcpy(dst, result, w);
  return true;
}

bool updateSmall(k01_cursor_t& c, uint8_t magnitude, bool flag, uint8_t* dst, const uint8_t* ref) {
  if (flag && magnitude == 0) {
    if (c.left == 0) {
      c.overrun = true;
      return false;
    }
    *dst = takeByte(c);
    return true;
  }
  uint8_t v = *ref;
  if (magnitude != 0) v = static_cast<uint8_t>(flag ? v - magnitude : v + magnitude);
  *dst = v;
  return true;
}

}  // namespace k01
