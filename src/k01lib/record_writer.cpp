#include "k01lib/record_writer.h"

#include <cmath>
#include <cstring>

#include "common/scale.h"

namespace k01 {

namespace {

bool appendBigEndian(k01_record_t& rec, uint32_t value, size_t width) {
  if (rec.length > kRecordCapacity || width > kRecordCapacity - rec.length) return false;
  for (size_t i = 0; i < width; ++i)
    rec.bytes[rec.length + i] = static_cast<uint8_t>(value >> (8 * (width - 1 - i)));
  rec.length = static_cast<uint16_t>(rec.length + width);
  return true;
}

}  // namespace

bool appendByte(k01_record_t& rec, uint8_t value) { return appendBigEndian(rec, value, 1); }

bool appendBytes(k01_record_t& rec, const uint8_t* bytes, size_t n) {
  if (rec.length > kRecordCapacity || n > kRecordCapacity - rec.length) return false;
  if (n == 0) return true;
  if (bytes == nullptr) return false;
  std::memcpy(rec.bytes + rec.length, bytes, n);
  rec.length = static_cast<uint16_t>(rec.length + n);
  return true;
}

bool appendU16(k01_record_t& rec, uint32_t value) { return appendBigEndian(rec, value, 2); }
bool appendU24(k01_record_t& rec, uint32_t value) { return appendBigEndian(rec, value, 3); }
bool appendU32(k01_record_t& rec, uint32_t value) { return appendBigEndian(rec, value, 4); }

uint32_t scaledBits(double x, int e) {
  const double y = sc::Ldexp(x, e);
  if (std::isnan(y) || std::isinf(y)) return 0;
  const double r = y > 0 ? std::floor(y + 0.5) : std::ceil(y - 0.5);
  // Reduce modulo 2^32 exactly in floating point; this is the two's
  // complement truncation for every integral value, however large.
  double m = std::fmod(r, 4294967296.0);
  if (m < 0) m += 4294967296.0;
  return static_cast<uint32_t>(m);
}

bool appendScaled32(k01_record_t& rec, double x, int e) {
  return appendBigEndian(rec, scaledBits(x, e), 4);
}
bool appendScaled24(k01_record_t& rec, double x, int e) {
  return appendBigEndian(rec, scaledBits(x, e), 3);
}
bool appendScaled16(k01_record_t& rec, double x, int e) {
  return appendBigEndian(rec, scaledBits(x, e), 2);
}

}  // namespace k01
