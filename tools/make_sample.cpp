// Writes a small raw download image (.q00) built from field values: the
// initial ephemeris and ion/UTC blocks, then an ion/UTC record, an
// ephemeris record, three measurement epochs and a position. Used by the
// demo script; also handy to try the converter by hand.
//
// usage: make_sample OUTPUT.q00
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/raw_record.h"

namespace {

class Data {
 public:
  Data& u8(uint32_t v) { d.push_back(static_cast<uint8_t>(v)); return *this; }
  Data& be(uint64_t v, int n) {
    for (int i = n - 1; i >= 0; --i) d.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  Data& f64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return be(bits, 8);
  }
  Data& le16(uint16_t v) { return u8(v & 0xFF).u8(v >> 8); }
  std::vector<uint8_t> d;
};

void Append(std::vector<uint8_t>& out, uint8_t type, const Data& data) {
  const std::vector<uint8_t> rec = rawrec::BuildRecord(type, data.d);
  out.insert(out.end(), rec.begin(), rec.end());
}

// One measurement epoch: time in ms of the week and four satellites.
Data Epoch(uint32_t timeMs, int index) {
  Data e;
  e.be(timeMs, 4).be(static_cast<uint32_t>(1200 + index) & 0xFFFFFF, 3);  // time, clock term
  const uint8_t svs[4] = {3, 7, 12, 25};
  for (int s = 0; s < 4; ++s) {
    e.u8(svs[s]).u8(0).u8(0);                         // SV, flags, spare
    e.u8(40 + s).u8(10 + s);                          // two small words
    e.u8(180 + s);                                    // signal level
    e.be(20000000u + 1000u * s + 50u * index, 4);     // range (1/128 m)
    e.be(static_cast<uint64_t>(1000000 + 777 * s + 1500 * index), 6);  // carrier phase
    e.be(static_cast<uint32_t>((2000 + 100 * s) & 0xFFFFFF), 3);       // Doppler
    e.u8(0);
  }
  return e;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample OUTPUT.q00\n");
    return 2;
  }
  Data image;
  image.u8(0).u8(0);
  for (const char* p = "VNX RAW DATA IMAGE"; *p; ++p) image.u8(static_cast<uint8_t>(*p));
  image.u8(0).u8(0);
  image.le16(5).le16(550).le16(120);  // receiver code, NAV and SIG versions
  for (int i = 0; i < 11; ++i) image.u8(0);
  for (int prn = 1; prn <= 32; ++prn) {
    for (int v = 0; v < 40; ++v) image.f64(prn % 4 == 0 ? prn * 1000.0 + v * 0.5 : 0.0);
    for (int b = 0; b < 13; ++b) image.u8(prn % 4 == 0 ? b + 1 : 0);
  }
  for (int v = 0; v < 14; ++v) image.f64(v < 8 ? std::ldexp(1.0, -30 + v) : 0.0);
  for (int b = 0; b < 5; ++b) image.u8(b + 1);

  std::vector<uint8_t> out = image.d;
  Data ion;
  for (int v = 0; v < 11; ++v) ion.f64(std::ldexp(1.0, -27 + v));
  ion.be(static_cast<uint16_t>(-14), 2).be(1462, 2).be(503808, 4);
  for (int b = 0; b < 8; ++b) ion.u8(b);
  Append(out, 15, ion);

  Data eph;
  eph.u8(7);
  for (int v = 0; v < 25; ++v) eph.f64(7000.0 + v * 0.25);
  Append(out, 3, eph);

  for (int e = 0; e < 3; ++e) Append(out, 17, Epoch(518400000u + 1000u * e, e));

  Data pos;
  pos.be(0x1A2B3C4Du, 4).be(0x0BADCAFEu, 4).be(0x00012345u, 4).be(2000u, 4).be(150u, 4);
  pos.be(18u, 2).be(0, 4).be(0, 4).be(0, 4).be(518402000u, 4);
  pos.u8(3).u8(7).u8(12).u8(25).u8(0).u8(0).u8(0).u8(0).u8(0).u8(0);
  Append(out, 10, pos);

  FILE* f = std::fopen(argv[1], "wb");
  if (f == nullptr || std::fwrite(out.data(), 1, out.size(), f) != out.size()) {
    std::fprintf(stderr, "make_sample: cannot write %s\n", argv[1]);
    if (f != nullptr) std::fclose(f);
    return 1;
  }
  return std::fclose(f) == 0 ? 0 : 1;
}
