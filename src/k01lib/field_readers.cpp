#include "k01lib/field_readers.h"

#include <cmath>
#include <cstring>

#include "common/scale.h"

namespace k01 {

namespace {

// True when n bytes from offset lie inside the view; marks an overrun otherwise.
bool inside(k01_view_t& rec, uint32_t offset, uint32_t n) {
  if (rec.bytes == nullptr || offset > rec.length || n > rec.length - offset) {
    rec.overrun = true;
    return false;
  }
  return true;
}

uint64_t bigEndian(const uint8_t* p, uint32_t n) {
  uint64_t v = 0;
  for (uint32_t i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}

}  // namespace

k01_view_t viewRecord(const k01_record_t& rec) {
  k01_view_t v;
  v.bytes = rec.bytes;
  v.length = rec.length > kRecordCapacity ? static_cast<uint32_t>(kRecordCapacity) : rec.length;
  return v;
}

k01_view_t viewBytes(const uint8_t* bytes, uint32_t length) {
  k01_view_t v;
  v.bytes = bytes;
  v.length = bytes == nullptr ? 0 : length;
  return v;
}

uint8_t readByte(k01_view_t& rec, uint32_t offset) {
  return inside(rec, offset, 1) ? rec.bytes[offset] : 0;
}

uint32_t readUnsigned(k01_view_t& rec, uint32_t offset, uint32_t n) {
  if (n > 4) {
    rec.overrun = true;
    return 0;
  }
  if (n == 0 || !inside(rec, offset, n)) return 0;
  return static_cast<uint32_t>(bigEndian(rec.bytes + offset, n));
}

float readFloat(k01_view_t& rec, uint32_t offset) {
  if (!inside(rec, offset, 4)) return 0.0f;
  const uint32_t bits = static_cast<uint32_t>(bigEndian(rec.bytes + offset, 4));
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

double readDouble(k01_view_t& rec, uint32_t offset) {
  if (!inside(rec, offset, 8)) return 0.0;
  const uint64_t bits = bigEndian(rec.bytes + offset, 8);
  double d;
  std::memcpy(&d, &bits, 8);
  return d;
}

double readScaled(k01_view_t& rec, uint32_t offset, uint32_t n, int e, bool isSigned) {
  if (n > 8) {
    rec.overrun = true;
    return 0.0;
  }
  if (n == 0 || !inside(rec, offset, n)) return 0.0;
  const uint32_t h = n < 4 ? n : 4;
  const uint32_t k = n - h;
  const uint64_t u = bigEndian(rec.bytes + offset, h);
  double high;
  if (isSigned && (u & (uint64_t{1} << (8 * h - 1))) != 0)
    high = static_cast<double>(static_cast<int64_t>(u) - (int64_t{1} << (8 * h)));
  else
    high = static_cast<double>(u);
  double value = sc::Ldexp(high, e + 8 * static_cast<int>(k));
  if (k > 0) value += sc::Ldexp(static_cast<double>(bigEndian(rec.bytes + offset + h, k)), e);
  return value;
}

void readBytes(k01_view_t& rec, uint32_t offset, uint32_t n, uint8_t* out) {
  if (out == nullptr || n == 0) return;
  if (!inside(rec, offset, n)) {
    std::memset(out, 0, n);
    return;
  }
  std::memcpy(out, rec.bytes + offset, n);
}

}  // namespace k01
