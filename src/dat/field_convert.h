// Field converters from big-endian raw record fields to little-endian DAT
// fields. Every converter repeats k times. The scaled ("fix") converters
// produce binary64 = integer x 2^e exactly.
//
// The cursor bounds both sides: a read past the end of the source yields
// zero bytes and a write past the end of the destination is dropped; both
// set the overrun flag so that the caller can reject the record.
#pragma once
#include <cstddef>
#include <cstdint>

namespace fc {

struct Cursor {
  const uint8_t* src = nullptr;
  size_t srcPos = 0;
  size_t srcEnd = 0;
  uint8_t* dst = nullptr;
  size_t dstPos = 0;
  size_t dstEnd = 0;
  bool overrun = false;

  Cursor(const uint8_t* s, size_t sPos, size_t sEnd, uint8_t* d, size_t dPos, size_t dEnd)
      : src(s), srcPos(sPos), srcEnd(sEnd), dst(d), dstPos(dPos), dstEnd(dEnd) {}

  uint8_t ReadByte();
  uint64_t ReadBe(int bytes);  // big-endian unsigned of 1..8 bytes
  void Skip(size_t n);
  void WriteByte(uint8_t v);
  void WriteLe(uint64_t v, int bytes);
  void WriteDouble(double v);
};

constexpr bool kSigned = true;
constexpr bool kUnsigned = false;

void Copy(Cursor& c, int k);
void Swap16(Cursor& c, int k);
void Swap32(Cursor& c, int k);
void Swap64(Cursor& c, int k);
void Fix8(Cursor& c, int k, bool isSigned, int e);
void Fix8Int(Cursor& c, int k, bool isSigned, int e);  // integer form: 16-bit result
void Fix16(Cursor& c, int k, bool isSigned, int e);
void Fix24(Cursor& c, int k, bool isSigned, int e);
void Fix32(Cursor& c, int k, bool isSigned, int e);
void Fix48(Cursor& c, int k, bool isSigned, int e);

// The scaled value of an integer field of the given width (1..4 bytes).
double Scale(uint64_t raw, int bytes, bool isSigned, int e);

}  // namespace fc
