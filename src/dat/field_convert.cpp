#include "dat/field_convert.h"

#include <cmath>
#include <cstring>

#include "common/scale.h"

namespace fc {

uint8_t Cursor::ReadByte() {
  if (srcPos >= srcEnd) {
    overrun = true;
    ++srcPos;
    return 0;
  }
  return src[srcPos++];
}

uint64_t Cursor::ReadBe(int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | ReadByte();
  return v;
}

void Cursor::Skip(size_t n) {
  if (srcPos + n > srcEnd) overrun = true;
  srcPos += n;
}

void Cursor::WriteByte(uint8_t v) {
  if (dstPos >= dstEnd) {
    overrun = true;
    return;
  }
  dst[dstPos++] = v;
}

void Cursor::WriteLe(uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) WriteByte(static_cast<uint8_t>(v >> (8 * i)));
}

void Cursor::WriteDouble(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  WriteLe(bits, 8);
}

double Scale(uint64_t raw, int bytes, bool isSigned, int e) {
  int64_t value;
  if (isSigned) {
    const int shift = 64 - 8 * bytes;
    value = static_cast<int64_t>(raw << shift) >> shift;
  } else {
    value = static_cast<int64_t>(raw);
  }
  return sc::Ldexp(static_cast<double>(value), e);
}

void Copy(Cursor& c, int k) {
  for (int i = 0; i < k; ++i) c.WriteByte(c.ReadByte());
}
void Swap16(Cursor& c, int k) {
  for (int i = 0; i < k; ++i) c.WriteLe(c.ReadBe(2), 2);
}
void Swap32(Cursor& c, int k) {
  for (int i = 0; i < k; ++i) c.WriteLe(c.ReadBe(4), 4);
}
void Swap64(Cursor& c, int k) {
  for (int i = 0; i < k; ++i) c.WriteLe(c.ReadBe(8), 8);
}

static void FixN(Cursor& c, int k, int bytes, bool isSigned, int e) {
  for (int i = 0; i < k; ++i) c.WriteDouble(Scale(c.ReadBe(bytes), bytes, isSigned, e));
}
void Fix8(Cursor& c, int k, bool isSigned, int e) { FixN(c, k, 1, isSigned, e); }
void Fix16(Cursor& c, int k, bool isSigned, int e) { FixN(c, k, 2, isSigned, e); }
void Fix24(Cursor& c, int k, bool isSigned, int e) { FixN(c, k, 3, isSigned, e); }
void Fix32(Cursor& c, int k, bool isSigned, int e) { FixN(c, k, 4, isSigned, e); }

void Fix8Int(Cursor& c, int k, bool isSigned, int e) {
  for (int i = 0; i < k; ++i) {
    const double v = Scale(c.ReadBe(1), 1, isSigned, e);
    c.WriteLe(static_cast<uint16_t>(static_cast<int16_t>(v)), 2);
  }
}

void Fix48(Cursor& c, int k, bool isSigned, int e) {
  for (int i = 0; i < k; ++i) {
    const uint64_t high = c.ReadBe(4);
    const uint64_t low = c.ReadBe(2);
    const int64_t h = isSigned ? static_cast<int64_t>(static_cast<int32_t>(high)) : static_cast<int64_t>(high);
    c.WriteDouble(sc::Ldexp(static_cast<double>(h * 65536 + static_cast<int64_t>(low)), e));
  }
}

}  // namespace fc
