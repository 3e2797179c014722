// Raw records that do not fit their type or the encoder's fixed slots: a
// defined status, nothing written and no state changed, or a bounded write.
#include "dat_fixture.h"

namespace dattest {
namespace {

TEST_F(DatTest, BadRecordsGiveDefinedResults) {
  struct Case { const char* name; Bytes rec; Status st; size_t records; } cases[] = {
      {"type 3 truncated", Fields().u8(1).zeros(100).record(3), status::kNoEtx, 0},
      {"type 21 truncated", Fields().u8(1).zeros(150).record(21), status::kNoEtx, 0},
      {"type 7 of length 52", Fields().zeros(46).record(7), status::kNoEtx, 0},
      {"type 17 partial SV block", Fields().u32(1).u24(0).zeros(25).record(17), status::kNoEtx, 0},
      {"type 17 without epoch header", Fields().u32(1).record(17), status::kNoEtx, 0},
      {"type 11 count beyond record", Fields().zeros(39).u8(20).zeros(4).record(11), status::kNoEtx, 0},
      {"type 11 one correction byte", Fields().zeros(39).u8(1).zeros(3).record(11), status::kNoEtx, 0},
      {"type 11 beyond a DAT length byte", Fields().zeros(39).u8(100).zeros(200).record(11), status::kNoEtx, 0},
      {"type 12 entries beyond record", Fields().u8(5).zeros(56).record(12), status::kNoEtx, 0},
      {"type 15 truncated", Fields().zeros(50).record(15), status::kNoEtx, 0},
      {"type 19 truncated", Fields().u8(0).u16(1).record(19), status::kNoEtx, 0},
      {"type 25 kind 1 truncated", Fields().u8(1).u8(0).u8(1).zeros(20).record(25), status::kNoEtx, 0},
      {"type 31 count beyond record", Fields().u16(1).u8(0).u8(50).zeros(4).record(31), status::kNoEtx, 0},
      {"type 102 partial entry", Fields().u32(1).u24(0).zeros(20).record(102), status::kNoEtx, 0},
      {"type 101 over-long: extra ignored", Fields().zeros(60).record(101), status::kOk, 1},
      {"type 3 over-long: extra ignored", Fields().u8(2).zeros(210).record(3), status::kOk, 1},
      {"compact type 64: no expansion", Fields().zeros(20).record(64), status::kExpansion, 0},
      {"compact type 66 garbage", Fields().zeros(20).record(66), status::kExpansion, 0},
      // A key frame carries the checksum of its type-17 form, not of its own type byte.
      {"key frame with its own checksum", rawrec::BuildRecord(75, Bytes(300, 0)), status::kBadChecksum, 0},
  };
  for (const Case& c : cases) {
    ResetEncoderState(cs);
    const size_t before = Records().size();
    EXPECT_EQ(Raw(c.rec), c.st) << c.name;
    EXPECT_EQ(Records().size() - before, c.records) << c.name;
    EXPECT_EQ(F64(ion), 0.0) << c.name;
    EXPECT_EQ(cs.enc.measOpen, 0) << c.name;
  }
}

TEST_F(DatTest, EnvelopeTooShortOrTooLong) {
  const uint8_t tiny[3] = {2, 3, 3};
  EXPECT_EQ(WriteRawRecord(cs, f, tiny, sizeof tiny), status::kNoEtx);
  Bytes huge(5000, 0);
  huge[0] = 2;
  huge[2] = 17;
  EXPECT_EQ(WriteRawRecord(cs, f, huge.data(), huge.size()), status::kNoEtx);
  EXPECT_TRUE(Records().empty());
}

TEST_F(DatTest, Type7EntriesBeyondThe33SlotsAreDropped) {
  auto entry = [](uint8_t follow, uint8_t sv) {
    return Fields().u8(follow).zeros(4 + 12 + 2 + 8).u32(5000).zeros(8 + 5).u8(sv).record(7);
  };
  for (int i = 0; i < 40; ++i) ASSERT_EQ(Raw(entry(1, static_cast<uint8_t>(i + 1))), 0);
  ASSERT_EQ(Raw(entry(0, 41)), 0);
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 33u);
  EXPECT_EQ(recs.back()[4 + 77], 33);
  for (int sv = 1; sv <= 32; ++sv) EXPECT_EQ(cs.writer.svRecordCount[sv], 1u) << sv;
}

TEST_F(DatTest, MeasurementEpochBeyondTheSlotsKeepsTheFirst64) {
  for (int block = 0; block < 7; ++block) {
    Fields f;
    f.u32(1000 | (block < 6 ? 0x80000000u : 0u)).u24(0);
    for (int i = 0; i < 11; ++i) f.u8(block * 11 + i + 1).zeros(19);
    ASSERT_EQ(Raw(f.record(17)), 0);
  }
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0][20], 64);
  EXPECT_EQ(recs[0].size(), 21u + 64 * 48);
}

}  // namespace
}  // namespace dattest
