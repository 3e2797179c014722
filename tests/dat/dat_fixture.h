// Shared fixture of the DAT encoder tests: a conversion state connected to
// a temporary DAT stream, and a reader that splits the written file into
// records.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "dat/conv_state.h"
#include "dat/dat_encoder.h"
#include "support/record_builder.h"

namespace dattest {

constexpr size_t kOpening = 485;

struct DatRecord {
  std::vector<uint8_t> bytes;
  uint8_t type() const { return bytes[3]; }
  uint8_t byte2() const { return bytes[2]; }
  const uint8_t* body() const { return bytes.data() + 4; }
  size_t size() const { return bytes.size(); }
};

inline bool WideLength(uint8_t type) {
  return type == 12 || type == 17 || type == 27 || type == 29 || type == 98 || type == 99 ||
         type == 102;
}

// Little-endian expected-bytes builder.
class Le {
 public:
  Le& u8(uint32_t v) { d_.push_back(static_cast<uint8_t>(v)); return *this; }
  Le& u16(uint32_t v) { return put(v, 2); }
  Le& u32(uint32_t v) { return put(v, 4); }
  Le& f64(double v) {
    uint64_t b;
    std::memcpy(&b, &v, 8);
    return put(b, 8);
  }
  Le& f32(float v) {
    uint32_t b;
    std::memcpy(&b, &v, 4);
    return put(b, 4);
  }
  Le& bytes(const std::vector<uint8_t>& b) { d_.insert(d_.end(), b.begin(), b.end()); return *this; }
  Le& zeros(size_t n) { d_.insert(d_.end(), n, 0); return *this; }
  const std::vector<uint8_t>& data() const { return d_; }
  // The data with a DAT header in front: 0x74, length, byte 2, type.
  std::vector<uint8_t> record(uint8_t byte2, uint8_t type, bool wide = false) const {
    const size_t len = d_.size() + 4;
    std::vector<uint8_t> r{0x74, static_cast<uint8_t>(len),
                           wide ? static_cast<uint8_t>(len >> 8) : byte2, type};
    r.insert(r.end(), d_.begin(), d_.end());
    return r;
  }

 private:
  Le& put(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) d_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  std::vector<uint8_t> d_;
};

inline double GetF64(const uint8_t* p) {
  double d;
  std::memcpy(&d, p, 8);
  return d;
}

class DatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    f_ = std::tmpfile();
    ASSERT_NE(f_, nullptr);
    cs_.ionUtc = ion_;
    cs_.ephTable = eph_;
    ResetEncoderState(cs_);
  }
  void TearDown() override {
    if (f_ != nullptr) std::fclose(f_);
  }

  Status Raw(const std::vector<uint8_t>& rec) { return WriteRawRecord(cs_, f_, rec.data(), rec.size()); }

  std::vector<uint8_t> File() {
    std::fflush(f_);
    const long here = std::ftell(f_);
    std::fseek(f_, 0, SEEK_END);
    const long size = std::ftell(f_);
    std::vector<uint8_t> all(static_cast<size_t>(size));
    std::fseek(f_, 0, SEEK_SET);
    const size_t got = std::fread(all.data(), 1, all.size(), f_);
    all.resize(got);
    std::fseek(f_, here, SEEK_SET);
    return all;
  }

  // The records after the opening records.
  std::vector<DatRecord> Records() {
    const std::vector<uint8_t> all = File();
    std::vector<DatRecord> out;
    size_t p = kOpening;
    while (p + 4 <= all.size()) {
      const uint8_t type = all[p + 3];
      size_t len = all[p + 1];
      if (WideLength(type)) len += 256u * all[p + 2];
      if (len < 4 || p + len > all.size()) {
        ADD_FAILURE() << "bad DAT record at " << p;
        break;
      }
      out.push_back(DatRecord{std::vector<uint8_t>(all.begin() + p, all.begin() + p + len)});
      p += len;
    }
    return out;
  }

  ConvState cs_;
  FILE* f_ = nullptr;
  uint8_t ion_[120] = {};
  uint8_t eph_[32 * 336] = {};
};

}  // namespace dattest
