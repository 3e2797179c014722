// Stage 2 of type 17: field scaling, the Doppler derived from consecutive
// carrier phases, the prediction path, the 24-entry limit and short records.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "k01lib/decode_record.h"
#include "k01lib/k01_decoder.h"
#include "support/record_builder.h"

namespace {

struct Block {
  uint8_t sv;
  uint8_t flags;
  uint8_t status;
  uint32_t range;   // 2^-7
  int64_t phase;    // 2^-15
  int32_t doppler;  // 2^-6
};

tb::Fields Epoch17(uint32_t time, int32_t clock, const std::vector<Block>& blocks) {
  tb::Fields f;
  f.u32(time).u24(static_cast<uint32_t>(clock));
  for (const Block& b : blocks) {
    f.u8(b.sv).u8(b.flags).u8(b.status).u8(5).u8(6).u8(180).u32(b.range);
    f.u48(static_cast<uint64_t>(b.phase)).u24(static_cast<uint32_t>(b.doppler)).u8(0xEE);
    if (b.flags & 1) f.u8(100).u48(1ull << 16).u16(0xFF00);
  }
  return f;
}

class DecodeMeas17 : public ::testing::Test {
 protected:
  void SetUp() override { d = k01::CreateDecoder(); ASSERT_NE(d, nullptr); }
  void TearDown() override { k01::DestroyDecoder(d); }
  uint16_t Decode(const std::vector<uint8_t>& rec, uint16_t lengthOverride = 0) {
    std::memset(&d->inputRecord, 0, sizeof d->inputRecord);
    std::memcpy(d->inputRecord.bytes, rec.data(), rec.size());
    d->inputRecord.length = lengthOverride ? lengthOverride : static_cast<uint16_t>(rec.size());
    d->checksumMode = 5;
    return k01::decodeRecord(d, 17, &datType, &status);
  }
  const k01_meas17_t& slot() const { return d->decode.slots.meas17; }

  K01Decoder* d = nullptr;
  uint16_t datType = 0;
  uint8_t status = 0;
};

TEST_F(DecodeMeas17, FieldsAndScaling) {
  // Same bytes for satellites 25 and 125: the range of 125 is doubled.
  const std::vector<uint8_t> rec =
      Epoch17(1000, -(1 << 19), {{25, 0x01, 0xF3, 1280, 3 << 15, -64}, {125, 0x00, 2, 1280, 0, 64}})
          .record(17);
  EXPECT_EQ(Decode(rec), 21 + 48 * 2 + 24);
  EXPECT_EQ(datType, 17);
  EXPECT_EQ(d->decode.datHeader[1], 141);
  EXPECT_EQ(slot().clockTerm, -1.0);
  EXPECT_EQ(slot().svCount, 2);
  const k01_meas17_sv_t& a = slot().sv[0];
  EXPECT_EQ(a.status & 0x0F, 3);  // low 4 bits of 0xF3
  EXPECT_EQ(a.word2, 12);
  EXPECT_DOUBLE_EQ(a.snr1, 45.0);
  EXPECT_DOUBLE_EQ(a.range1, 10.0);
  EXPECT_DOUBLE_EQ(a.phase1, 3.0);
  EXPECT_DOUBLE_EQ(a.doppler1, -1.0);
  EXPECT_DOUBLE_EQ(a.snr2, 25.0);
  EXPECT_DOUBLE_EQ(a.phase2, 2.0);
  EXPECT_DOUBLE_EQ(a.value2, -1.0);
  EXPECT_DOUBLE_EQ(slot().sv[1].range1, 20.0);
}

TEST_F(DecodeMeas17, DopplerFromConsecutivePhasesAndPrediction) {
  // Epoch 1: no previous epoch, the record's Doppler (1.0) stays, bit 7 set.
  Decode(Epoch17(2000, 0, {{9, 0x10, 0, 100, 100 << 15, 64}}).record(17));
  EXPECT_DOUBLE_EQ(slot().sv[0].doppler1, 1.0);
  EXPECT_EQ(slot().sv[0].status, 0x80);
  // Epoch 2, 1000 ms later, 100.0 -> 103.5 cycles: Doppler 3.5 replaces the
  // record's value; satellite 4 is new and keeps its own.
  Decode(Epoch17(3000, 0, {{4, 0x10, 1, 100, 0, -128}, {9, 0x10, 0, 100, 207 << 14, 640}})
             .record(17));
  EXPECT_DOUBLE_EQ(slot().sv[1].doppler1, 3.5);
  EXPECT_EQ(slot().sv[1].status, 0);
  EXPECT_DOUBLE_EQ(slot().sv[0].doppler1, -2.0);
  EXPECT_EQ(slot().sv[0].status, 0x81);
  // Epoch 3 with flags bit 1: the Doppler is the prediction 2 x 3.5 - 1.0,
  // found at another index; satellite 4 lost bit 4 in this epoch.
  Decode(Epoch17(4000, 0, {{9, 0x12, 0, 100, 0, 0}, {4, 0x00, 0, 100, 1 << 20, 64}}).record(17));
  EXPECT_DOUBLE_EQ(slot().sv[0].doppler1, 6.0);
  EXPECT_EQ(slot().sv[0].status, 0x80);
  EXPECT_DOUBLE_EQ(slot().sv[1].doppler1, 1.0);
  EXPECT_EQ(slot().sv[1].status, 0x80);
  // Same epoch time again: no rate can be derived.
  Decode(Epoch17(4000, 0, {{9, 0x10, 0, 100, 0, 128}}).record(17));
  EXPECT_DOUBLE_EQ(slot().sv[0].doppler1, 2.0);
  EXPECT_EQ(slot().sv[0].status, 0x80);
}

TEST_F(DecodeMeas17, StopsAt24Blocks) {
  std::vector<Block> blocks;
  for (uint8_t sv = 1; sv <= 30; ++sv) blocks.push_back({sv, 0x00, 0, sv, 0, 0});
  // 613 bytes cannot be stated by a length byte: handed over by its count.
  const std::vector<uint8_t> rec = Epoch17(0, 0, blocks).record(117);
  EXPECT_EQ(Decode(rec, static_cast<uint16_t>(rec.size())), 21 + 48 * 24);
  EXPECT_EQ(d->decode.datHeader[2], (21 + 48 * 24) >> 8);
  EXPECT_EQ(slot().svCount, 24);
  EXPECT_EQ(slot().sv[23].svNumber, 24);
}

TEST_F(DecodeMeas17, BlockRunningIntoTheChecksum) {
  // The second block claims a second-frequency block that is not there.
  tb::Fields f = Epoch17(0, 0, {{1, 0, 0, 1, 0, 0}, {2, 0, 0, 1, 0, 0}});
  std::vector<uint8_t> data = f.data();
  data[7 + 20 + 1] = 0x01;
  EXPECT_EQ(Decode(rawrec::BuildRecord(17, data)), 0);
  EXPECT_EQ(status, k01::kDecodeLayout);
  // The store is untouched: a following epoch finds no previous satellite 1.
  Decode(Epoch17(1000, 0, {{1, 0x10, 0, 1, 0, 64}}).record(17));
  EXPECT_EQ(slot().sv[0].status, 0x80);
}

}  // namespace
