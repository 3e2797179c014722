#include "common/raw_record.h"

namespace rawrec {

uint16_t ByteSum(const uint8_t* p, size_t n) {
  uint32_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += p[i];
  return static_cast<uint16_t>(sum);
}

Status CheckEnvelope(const uint8_t* rec, size_t len) {
  if (len < kEnvelopeBytes || rec[0] != kStx) return status::kNoStx;
  if (SkipsChecksum(rec[2])) return status::kOk;
  const uint16_t stored = static_cast<uint16_t>((rec[len - 3] << 8) | rec[len - 2]);
  if (stored != ByteSum(rec, len - 3)) return status::kBadChecksum;
  if (rec[len - 1] != kEtx) return status::kNoEtx;
  return status::kOk;
}

std::vector<uint8_t> BuildRecord(uint8_t type, const std::vector<uint8_t>& data, LengthForm form,
                                 bool badChecksum) {
  const size_t len = data.size() + kEnvelopeBytes;
  std::vector<uint8_t> rec;
  rec.reserve(len);
  rec.push_back(kStx);
  uint8_t lengthByte = static_cast<uint8_t>(len);
  rec.push_back(lengthByte);
  rec.push_back(type);
  rec.insert(rec.end(), data.begin(), data.end());
  if (form == LengthForm::kK01 && HasLengthHighByte(type) && !data.empty())
    rec[3] = static_cast<uint8_t>(len >> 8);
  uint16_t sum = ByteSum(rec.data(), rec.size());
  if (badChecksum) sum = static_cast<uint16_t>(sum ^ 0x5A5A);
  rec.push_back(static_cast<uint8_t>(sum >> 8));
  rec.push_back(static_cast<uint8_t>(sum));
  rec.push_back(kEtx);
  return rec;
}

}  // namespace rawrec
