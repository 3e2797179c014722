#include "k01lib/byte_arith.h"

namespace k01 {

int bytesAdd(uint8_t* a, const uint8_t* b, size_t w) {
  unsigned carry = 0;
  for (size_t i = w; i-- > 0;) {
    const unsigned sum = a[i] + b[i] + carry;
    a[i] = static_cast<uint8_t>(sum);
    carry = sum >> 8;
  }
  return static_cast<int>(carry);
}

int bytesSub(uint8_t* a, const uint8_t* b, size_t w) {
  int borrow = 0;
  for (size_t i = w; i-- > 0;) {
    const int diff = static_cast<int>(a[i]) - static_cast<int>(b[i]) - borrow;
    a[i] = static_cast<uint8_t>(diff);
    borrow = diff < 0 ? 1 : 0;
  }
  return borrow;
}

int bytesCompare(const uint8_t* a, const uint8_t* b, size_t w) {
  for (size_t i = 0; i < w; ++i)
    if (a[i] != b[i]) return static_cast<int>(a[i]) - static_cast<int>(b[i]);
  return 0;
}

size_t bytesLength(const uint8_t* a, size_t w, bool isSigned) {
  for (size_t i = 0; i < w; ++i) {
    if (a[i] == 0) continue;
    size_t n = w - i;
    if (isSigned && (a[i] & 0x80) != 0) ++n;
    return n;
  }
  return 0;
}

void bytesShiftRight(uint8_t* a, unsigned s, size_t w) {
  if (w == 0) return;
  const uint8_t fill = (a[0] & 0x80) != 0 ? 0xFF : 0x00;
  // Whole bytes first (only for shifts beyond 8 bits), then the remainder.
  while (s >= 8) {
    for (size_t i = w; i-- > 1;) a[i] = a[i - 1];
    a[0] = fill;
    s -= 8;
  }
  if (s == 0) return;
  for (size_t i = w; i-- > 0;) {
    const uint8_t above = i > 0 ? a[i - 1] : fill;
    a[i] = static_cast<uint8_t>((a[i] >> s) | (above << (8 - s)));
  }
}

int bytesPredict(const uint8_t* a, const uint8_t* b, uint8_t* c, size_t w) {
  // Byte i of each step depends only on bytes i..w-1 of a and b, and both are
  // read before c[i] is written, so c may overlap a or b.
  int borrow = 0;
  unsigned carry = 0;
  for (size_t i = w; i-- > 0;) {
    const uint8_t ai = a[i];
    const uint8_t bi = b[i];
    const int diff = static_cast<int>(bi) - static_cast<int>(ai) - borrow;
    borrow = diff < 0 ? 1 : 0;
    const unsigned sum = static_cast<uint8_t>(diff) + bi + carry;
    c[i] = static_cast<uint8_t>(sum);
    carry = sum >> 8;
  }
  return static_cast<int>(carry);
}

}  // namespace k01
