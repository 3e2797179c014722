// Shared fixture of the DAT encoder tests: a conversion state writing to a
// temporary DAT stream, and a little-endian builder for expected records.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "dat/conv_state.h"
#include "dat/dat_encoder.h"
#include "support/record_builder.h"

namespace dattest {

using Bytes = std::vector<uint8_t>;
using tb::Fields;
constexpr size_t kOpening = 485;

class Le {
 public:
  Le& u8(uint64_t v) { return put(v, 1); }
  Le& u16(uint64_t v) { return put(v, 2); }
  Le& u32(uint64_t v) { return put(v, 4); }
  Le& f64(double v) { return put(std::bit_cast<uint64_t>(v), 8); }
  Le& f32(float v) { return put(std::bit_cast<uint32_t>(v), 4); }
  Le& text(const std::string& s) { d_.insert(d_.end(), s.begin(), s.end()); return *this; }
  Le& zeros(size_t n) { d_.insert(d_.end(), n, 0); return *this; }
  const Bytes& data() const { return d_; }
  // The data behind a DAT header; wide types carry the high length byte in byte 2.
  Bytes record(uint8_t byte2, uint8_t type, bool wide = false) const {
    const size_t len = d_.size() + 4;
    Bytes r{0x74, static_cast<uint8_t>(len), wide ? static_cast<uint8_t>(len >> 8) : byte2, type};
    r.insert(r.end(), d_.begin(), d_.end());
    return r;
  }

 private:
  Le& put(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) d_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  Bytes d_;
};

inline double F64(const uint8_t* p) { double d; std::memcpy(&d, p, 8); return d; }
inline Bytes& operator+=(Bytes& a, const Bytes& b) { a.insert(a.end(), b.begin(), b.end()); return a; }

// Everything written to a stream so far.
inline Bytes Contents(FILE* f) {
  std::fflush(f);
  Bytes all(1 << 18);
  const ssize_t n = ::pread(fileno(f), all.data(), all.size(), 0);
  all.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return all;
}

struct DatSink {
  ConvState cs;
  FILE* f = std::tmpfile();
  uint8_t ion[120] = {};
  uint8_t eph[32 * 336] = {};
  DatSink() { cs.ionUtc = ion; cs.ephTable = eph; ResetEncoderState(cs); }
  ~DatSink() { std::fclose(f); }
  Status Raw(const Bytes& r) { return WriteRawRecord(cs, f, r.data(), r.size()); }
  void RawOk(std::initializer_list<Bytes> records) {  // each one expected to give status 0
    int i = 0;
    for (const Bytes& r : records) EXPECT_EQ(Raw(r), 0) << "record " << i++ << " of type " << int(r.at(2));
  }
  Bytes File() { return Contents(f); }
  // What follows the opening records, whole and split into records.
  Bytes Tail() {
    const Bytes all = File();
    return all.size() > kOpening ? Bytes(all.begin() + kOpening, all.end()) : Bytes{};
  }
  std::vector<Bytes> Records() {
    const Bytes all = Tail();
    std::vector<Bytes> out;
    for (size_t p = 0, len; p + 4 <= all.size(); p += len) {
      const uint8_t t = all[p + 3];
      const bool wide = t == 12 || t == 17 || t == 27 || t == 29 || t == 98 || t == 99 || t == 102;
      len = all[p + 1] + (wide ? 256u * all[p + 2] : 0u);
      if (len < 4 || p + len > all.size()) {
        ADD_FAILURE() << "bad DAT record at " << p;
        break;
      }
      out.emplace_back(all.begin() + p, all.begin() + p + len);
    }
    return out;
  }
  Bytes Types() {
    Bytes t;
    for (const Bytes& r : Records()) t.push_back(r[3]);
    return t;
  }
};

class DatTest : public ::testing::Test, public DatSink {};

}  // namespace dattest
