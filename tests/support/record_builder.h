// Test-side builders: big-endian field writers for raw record data, and
// whole raw images (Q00) assembled from header values and records.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/raw_record.h"

namespace tb {

// Appends big-endian fields to a data vector.
class Fields {
 public:
  Fields& u8(uint32_t v) { d_.push_back(static_cast<uint8_t>(v)); return *this; }
  Fields& u16(uint32_t v) { return be(v, 2); }
  Fields& u24(uint32_t v) { return be(v, 3); }
  Fields& u32(uint32_t v) { return be(v, 4); }
  Fields& u64(uint64_t v) { return be(v, 8); }
  // 48-bit field: 4-byte high part then 2-byte low part.
  Fields& u48(uint64_t v) { return be(v, 6); }
  Fields& f64(double v);
  Fields& bytes(const std::vector<uint8_t>& b) { d_.insert(d_.end(), b.begin(), b.end()); return *this; }
  Fields& text(const std::string& s) { d_.insert(d_.end(), s.begin(), s.end()); return *this; }
  Fields& zeros(size_t n) { d_.insert(d_.end(), n, 0); return *this; }
  const std::vector<uint8_t>& data() const { return d_; }
  // The record built around these fields.
  std::vector<uint8_t> record(uint8_t type, bool badChecksum = false) const {
    return rawrec::BuildRecord(type, d_, rawrec::LengthForm::kImage, badChecksum);
  }

 private:
  Fields& be(uint64_t v, int n) {
    for (int i = n - 1; i >= 0; --i) d_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  std::vector<uint8_t> d_;
};

// A raw download image: signature block, header tail, 32 ephemeris blocks,
// ion/UTC block, then records.
struct RawImage {
  uint16_t receiverCode = 0;
  uint16_t navVersion = 0;
  uint16_t sigVersion = 0;
  double eph[32][40] = {};
  uint8_t ephTail[32][13] = {};
  double ion[14] = {};
  uint8_t ionTail[5] = {};
  std::vector<std::vector<uint8_t>> records;
  std::vector<uint8_t> trailing;  // raw bytes appended after the records

  std::vector<uint8_t> bytes() const;
};

// Offsets of the image layout.
constexpr size_t kImageSignatureBytes = 22;
constexpr size_t kImageHeaderBytes = 39;
constexpr size_t kImageRecordsOffset = 10812;

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFile(const std::string& path);
bool FileExists(const std::string& path);

// A fresh empty folder under the system temp folder; removed by the caller.
std::string MakeTempDir();
void RemoveTree(const std::string& path);

}  // namespace tb
