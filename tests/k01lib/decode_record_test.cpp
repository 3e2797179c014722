// The record decoder: stage 1 and its failures, the envelope checks, the
// catalogue's DAT types and header bytes, the first-reset rule of type 30,
// and the stage-2 layouts of the types the DAT encoder consumes; for type
// 17 also the Doppler derived from consecutive carrier phases, the
// prediction path, the 24-entry limit and short records.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "k01lib/decode_record.h"
#include "k01lib/k01_decoder.h"
#include "k01lib/meas17_encoder.h"
#include "support/record_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Raw(uint8_t type, const tb::Fields& f) { return rawrec::BuildRecord(type, f.data(), rawrec::LengthForm::kK01); }

class DecodeRecord : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(d = k01::CreateDecoder(), nullptr); }
  void TearDown() override { k01::DestroyDecoder(d); }
  // Decodes rec as type `type` (0: its type byte), `length` bytes of it (0: all).
  uint16_t Decode(const Bytes& rec, uint8_t checksumMode = 0, uint8_t type = 0, uint16_t length = 0) {
    std::memset(&d->inputRecord, 0, sizeof d->inputRecord);
    std::memcpy(d->inputRecord.bytes, rec.data(), rec.size());
    d->inputRecord.length = length ? length : static_cast<uint16_t>(rec.size());
    d->checksumMode = checksumMode;
    return k01::decodeRecord(d, type ? type : rec.size() > 2 ? rec[2] : 0, &datType, &status);
  }
  Bytes Header() const { return Bytes(d->decode.datHeader, d->decode.datHeader + 4); }
  Bytes Key17(k01::k01_meas17_encoder_t& enc, const k01::k01_meas17_epoch_t& e) {
    Bytes r;
    EXPECT_EQ(enc.key(e, r), k01::kEnc17Ok);
    return r;
  }
  const k01_meas17_t& meas17() const { return d->decode.slots.meas17; }
  // Decodes a record that yields nothing; returns the status.
  uint8_t Failure(const Bytes& rec, uint8_t checksumMode = 0) {
    EXPECT_EQ(Decode(rec, checksumMode), 0);
    return status;
  }

  K01Decoder* d = nullptr;
  uint16_t datType = 0;
  uint8_t status = 0;
};

// One satellite, single frequency.
k01::k01_meas17_epoch_t OneSat(uint32_t time, uint8_t sv, uint8_t snr, uint32_t range, int64_t phase, int32_t doppler) {
  k01::k01_meas17_epoch_t e;
  e.time = time;
  k01::k01_meas17_sat_t s;
  s.sv = sv; s.flags = 0x10; s.snr = snr; s.range = range; s.phase = phase; s.doppler = doppler;
  e.sats = {s};
  return e;
}

TEST_F(DecodeRecord, TypesWithoutResult) {
  const struct {
    uint8_t type;
    uint16_t datType;
  } cases[] = {{22, 22}, {14, 14}, {90, 90}, {200, 65535}, {117, 65535}};
  for (const auto& c : cases) {
    status = 99;
    EXPECT_EQ(Decode(tb::Fields().u32(1).u8(2).record(c.type)), 0) << int(c.type);
    EXPECT_EQ(datType, c.datType) << int(c.type);
    EXPECT_EQ(status, 0) << int(c.type);
  }
}

TEST_F(DecodeRecord, EnvelopeChecks) {
  const Bytes page = tb::Fields().u8(0).u32(123456).u16(1999).u8(5).zeros(28).record(25, /*badChecksum=*/true);
  EXPECT_EQ(Failure(page), k01::kDecodeChecksum);
  EXPECT_EQ(datType, 25);
  EXPECT_EQ(Decode(page, 5), 39);  // checksum mode 5: the checksum is not tested
  EXPECT_EQ(status, 0);
  const auto& page25 = d->decode.slots.page25.page;
  EXPECT_EQ(std::tuple(page25.time, int(page25.byte10)), std::tuple(123456u, 5));
  EXPECT_EQ(Header(), (Bytes{0x74, 39, 0, 25}));
  Bytes noEnd = tb::Fields().u8(0).u32(1).u16(2).u8(3).zeros(28).record(25);
  noEnd.back() = 0x00;
  EXPECT_EQ(Failure(noEnd), k01::kDecodeNoEnd);
  EXPECT_EQ(Failure({0x02, 0x03, 0x19}), k01::kDecodeNoEnd);  // shorter than any record
  // Page cut short:
  EXPECT_EQ(Failure(tb::Fields().u8(0).u32(1).u16(2).u8(3).zeros(10).record(25)), k01::kDecodeLayout);
}

TEST_F(DecodeRecord, TranscoderFailureIsStatus7WithTheFamilysDatType) {
  k01::k01_meas17_epoch_t e = OneSat(1000, 3, 100, 1u << 20, 1 << 20, 64);
  k01::k01_meas17_encoder_t enc;
  EXPECT_EQ(Decode(Key17(enc, e)), 21 + 48);
  e.time += 1000;
  e.sats[0].phase += 3 << 15;  // 3 cycles in 1 s
  Bytes delta;
  ASSERT_EQ(enc.delta(e, delta), k01::kEnc17Ok);
  delta[delta.size() - 3] ^= 1;  // a wrong carried checksum
  EXPECT_EQ(Failure(delta), k01::kDecodeTranscode);
  EXPECT_EQ(datType, 17);
  EXPECT_EQ(Decode(delta, 5), 69);  // checksum mode 5: the carried checksum is replaced
  EXPECT_DOUBLE_EQ(meas17().sv[0].doppler1, 3.0);
  Bytes position = tb::Fields().zeros(40).record(54);
  position[0] = 0x00;  // no STX
  EXPECT_EQ(Failure(position), k01::kDecodeTranscode);
  EXPECT_EQ(datType, 11);
}

TEST_F(DecodeRecord, FirstType30Subtype0KeepsTheHistory) {
  const k01::k01_meas17_epoch_t e = OneSat(500, 8, 90, 12345, 777, 0);
  k01::k01_meas17_encoder_t enc;
  auto previousSv = [&] { return d->decode.linear.previous.slot(0)[k01::img::kSv]; };
  ASSERT_GT(Decode(Key17(enc, e)), 0);
  const Bytes session = tb::Fields().u8(0).text("RX").record(30);
  EXPECT_EQ(Decode(session), session.size() - 3);
  EXPECT_EQ(previousSv(), 8);  // the first one: intact
  Decode(tb::Fields().u8(1).text("RX").record(30));
  EXPECT_EQ(previousSv(), 8);  // other subtypes: intact
  Decode(session);
  EXPECT_EQ(previousSv(), 0);  // later ones clear it
  EXPECT_EQ(d->decode.linear.prediction.bytes[k01::img::kEnd], 0x03);
  ASSERT_GT(Decode(Key17(enc, e)), 0);  // a new input file starts with the flag set again
  ASSERT_TRUE(k01::ResetDecoderBuffers(d));
  ASSERT_GT(Decode(Key17(enc, e)), 0);
  Decode(session);
  EXPECT_EQ(previousSv(), 8);
}

// Type 26 by subtype: DAT length, header byte 2 and the slot bytes 7 to 14.
TEST_F(DecodeRecord, Type26Subtypes) {
  Bytes data(48);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0x40 + i);
  const struct {
    uint8_t subtype;
    uint16_t length;
    uint8_t byte2;
    Bytes slot7to14;  // byte7, value8 (4 bytes LE), byte12, data[0], data[1]
  } cases[] = {
      {0, 55, 6, {0, 0, 0, 0, 0, 38, 0x40, 0x41}},        {6, 55, 6, {0x40, 0x41, 0, 0, 0, 38, 0x40, 0x41}},
      {1, 29, 7, {0, 0, 0, 0, 0, 0x40, 11, 0x41}},        {7, 29, 7, {0x41, 0x42, 0, 0, 0, 0x40, 11, 0x41}},
      {2, 50, 2, {0x40, 0x04, 0, 0, 0, 0x01, 0, 31}},     {3, 49, 3, {0x40, 0x04, 0, 0, 0, 0x01, 1, 30}},
      {5, 34, 5, {0x40, 0x04, 0, 0, 0, 0x01, 3, 15}},     {9, 0, 9, {0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Decode(tb::Fields().u8(c.subtype).u32(0x01020304).u16(0x0506).u8(7).bytes(data).record(26)), c.length)
        << int(c.subtype);
    EXPECT_EQ(Header(), (Bytes{0x74, static_cast<uint8_t>(c.length), c.byte2, 26}));
    const k01_aux26_t& a = d->decode.slots.aux26;
    EXPECT_EQ(std::tuple(a.value0, int(a.value4)), std::tuple(0x01020304u, 0x0506));
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&a);
    EXPECT_EQ(Bytes(p + 7, p + 15), c.slot7to14) << int(c.subtype);
  }
  Decode(tb::Fields().u8(2).u32(0).u16(0).u8(0).bytes(data).record(26));  // 31 bytes from data[2]
  EXPECT_EQ(Bytes(d->decode.slots.aux26.data + 32, d->decode.slots.aux26.data + 34), (Bytes{0x60, 0}));
}

TEST_F(DecodeRecord, Types28And32KeepTheSlotForOtherSubtypes) {
  tb::Fields f28;
  f28.u8(2).u8(9).u16(0x1234).u32(0xA0B0C0D0).u16(7).u8(1).u8(2).u8(3).u32(44).bytes({1, 2, 3, 4, 5, 6});
  for (int i = 0; i < 14; ++i) f28.f64(i + 0.5);
  EXPECT_EQ(Decode(f28.record(28)), 139);
  const k01_rec28_t& r = d->decode.slots.rec28;
  EXPECT_EQ(r.body.s2.value7, 0xA0B0C0D0u);
  EXPECT_DOUBLE_EQ(r.body.s2.values[13], 13.5);
  EXPECT_EQ(Decode(tb::Fields().u8(5).zeros(20).record(28)), 0);
  EXPECT_EQ(status, 0);
  EXPECT_DOUBLE_EQ(r.body.s2.values[13], 13.5);

  tb::Fields f32;
  f32.u8(3).u16(0x0102).u32(0x03040506).f64(1).f64(2).f64(3).u8(4).f64(5).f64(6).u16(7).u32(8);
  f32.u16(9).u16(10).u16(11).u16(12).f64(13).f64(14).u32(15).u16(16);
  EXPECT_EQ(Decode(f32.record(32)), 88);
  const k01_rec32_t& q = d->decode.slots.rec32;
  EXPECT_EQ(std::tuple(int(q.body.s3.words[3]), int(q.body.s3.word85)), std::tuple(12, 16));
  EXPECT_EQ(Decode(tb::Fields().u8(7).zeros(90).record(32)), 0);
  EXPECT_EQ(q.subtype, 3);
  EXPECT_EQ(Decode(tb::Fields().u8(2).zeros(66).record(32)), 5);  // the subtype alone
  EXPECT_EQ(std::tuple(int(q.subtype), int(q.body.s3.word4)), std::tuple(2, 0));
}

TEST_F(DecodeRecord, PositionWithCorrectionsAndLongLists) {
  // Latitude 2^29 units of 2^-31 = 0.25; correction +2 units of 2^-39.
  tb::Fields f;
  f.u32(1u << 29).u32(1u << 28).u32(4096).u32(512).u32(0).u16(16).u32(0).u32(0).u32(1 << 21);
  f.u32(86400000).u8(6).u8(2).bytes({0, 1}).bytes({17, 23}).u8(2).u8(0xFF);
  EXPECT_EQ(Decode(f.record(11)), 86);
  const k01_pos11_t& p = d->decode.slots.pos11;
  EXPECT_DOUBLE_EQ(p.latitude, 0.25 + 2.0 / (1ull << 39));
  EXPECT_DOUBLE_EQ(p.longitude, 0.25 - 1.0 / (1ull << 38));
  EXPECT_EQ(std::tuple(p.value9, p.time), std::tuple(1.0, 86400000u));
  EXPECT_EQ(Bytes(p.lists, p.lists + 4), (Bytes{0, 1, 17, 23}));
  tb::Fields g;  // 40 satellites: 32 of each list kept
  g.zeros(34).u32(5).u8(0).u8(40);
  for (int i = 0; i < 40; ++i) g.u8(i);
  for (int i = 0; i < 40; ++i) g.u8(100 + i);
  EXPECT_EQ(Decode(g.record(11)), 82 + 64);
  EXPECT_EQ(std::tuple(int(p.count), int(p.lists[31]), int(p.lists[32])), std::tuple(32, 31, 100));
  // Lists past the record:
  EXPECT_EQ(Failure(tb::Fields().zeros(34).u32(5).u8(0).u8(40).zeros(10).record(11)), k01::kDecodeLayout);
}

TEST_F(DecodeRecord, PrecisePositionSections) {
  // Header, first section, second, third (mode byte 4), fourth (flags bit 1,
  // length 10), extension (flags bit 4, 2 entries), 2 satellites.
  tb::Fields f;
  f.u8(0);  // length high byte
  f.u8(15).u16(0x0102).u32(604800000).u8(1).u8(2).u8(0).u8(3).u8(0x12).u8(5).u8(4).u8(6);
  f.u8(53).u48(1ull << 40).u48(1ull << 39).u32(4096).u32(0).u32(0).u32(0).u32(1 << 26).u32(0);
  f.u16(48).u16(64).u16(0).u16(0).u16(0).u16(0).u16(1 << 14).u16(4096);
  f.u8(5).u8(9).u16(128).u8(1);
  f.u8(10).u32(1 << 16).u32(static_cast<uint32_t>(-(1 << 17))).u8(1);
  f.u8(7).u8(0x2B).u8(0x23).u16(0x0100).u8(0x11).u8(0xFF);
  f.u8(7).bytes({1, 2, 3, 4, 5, 6});
  const Bytes rec = Raw(29, f);
  const uint16_t expected = 4 + 15 + 93 + 7 + 10 + (3 + 18) + 7;
  EXPECT_EQ(Decode(rec), expected);
  EXPECT_EQ(Header(), (Bytes{0x74, expected & 0xFF, expected >> 8, 29}));
  const k01_pos29_t& p = d->decode.slots.pos29;
  EXPECT_EQ(std::tuple(p.time, int(p.svCount), int(p.extCodes[0]), int(p.svEntries[5])),
            std::tuple(604800000u, 2, 3, 6));
  EXPECT_EQ(std::tuple(p.height, p.values[10], p.thirdValue, p.fourthValues[1], p.extValues[1]),
            std::tuple(1.0, 4.0f, 2.0f, -2.0f, -1.0 / (1 << 28)));
  Bytes bad = rec;  // more than 88 satellites: nothing
  bad[12] = 89;
  EXPECT_EQ(Failure(bad, 5), k01::kDecodeLayout);
}

TEST_F(DecodeRecord, CodedValuesAndDataBlocks) {
  tb::Fields f;
  f.u8(0).u16(300).u32(70000).u8(7).u16(65000).u8(6).u16(0xFFFE).u8(3).u16(0xFF9C);
  EXPECT_EQ(Decode(f.record(40)), 11 + 27);
  const k01_coded40_t& c = d->decode.slots.coded40;
  // Codes 7 (unsigned) and 6 (signed).
  EXPECT_EQ(std::tuple(int(c.count), c.entry[0].value, c.entry[1].value), std::tuple(3, 65000.0, -2.0));

  EXPECT_EQ(Decode(Raw(98, tb::Fields().u8(0).u8(0).u16(5).u32(6).bytes({'d', 'a', 't', 'a', 0, 1, 2}))), 18);
  EXPECT_EQ(d->decode.slots.data98.data[6], 2);

  Bytes plain(3000);  // type 99 of kind 1: the payload is inflated into the slot
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i % 7);
  uLongf packedLength = compressBound(plain.size());
  Bytes packed(packedLength);
  ASSERT_EQ(compress(packed.data(), &packedLength, plain.data(), plain.size()), Z_OK);
  packed.resize(packedLength);
  EXPECT_EQ(Decode(Raw(99, tb::Fields().u8(0).u8(1).u16(5).u32(6).bytes(packed))), 3011);
  EXPECT_EQ(std::memcmp(d->decode.slots.data99.data, plain.data(), plain.size()), 0);
  EXPECT_EQ(Failure(Raw(99, tb::Fields().u8(0).u8(1).u16(5).u32(6).bytes({1, 2, 3, 4}))), k01::kDecodeLayout);
}

TEST_F(DecodeRecord, ApplicationBlockAndIonUtc) {
  EXPECT_EQ(Decode(tb::Fields().u16(4000).u8(1).u8(3).bytes({7, 8, 9}).record(31)), 11);
  EXPECT_EQ(d->decode.slots.rec31.data[2], 9);
  // Count beyond the record:
  EXPECT_EQ(Failure(tb::Fields().u16(4000).u8(1).u8(30).bytes({7, 8, 9}).record(31)), k01::kDecodeLayout);
  tb::Fields f;
  for (int i = 0; i < 11; ++i) f.f64(i * 1.5);
  f.u16(0xFFFF).u16(2).u32(4000000000u).bytes({1, 2, 3, 4, 5, 6, 7}).u8(8);
  EXPECT_EQ(Decode(f.record(15)), 124);
  EXPECT_EQ(std::tuple(d->decode.slots.ion15.value91, int(d->decode.slots.ion15.byte106)), std::tuple(-1.0, 8));
}

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

TEST_F(DecodeRecord, Meas17FieldsAndScaling) {
  // Same bytes for satellites 25 and 125: the range of 125 is doubled.
  EXPECT_EQ(Decode(Epoch17(1000, -(1 << 19), {{25, 1, 0xF3, 1280, 3 << 15, -64}, {125, 0, 2, 1280, 0, 64}}).record(17)),
            21 + 48 * 2 + 24);
  EXPECT_EQ(datType, 17);
  EXPECT_EQ(d->decode.datHeader[1], 141);
  EXPECT_EQ(std::tuple(meas17().clockTerm, int(meas17().svCount)), std::tuple(-1.0, 2));
  const k01_meas17_sv_t& a = meas17().sv[0];
  EXPECT_EQ(std::tuple(a.status & 0x0F, int(a.word2)), std::tuple(3, 12));  // low 4 bits of 0xF3
  EXPECT_EQ(std::tuple(a.snr1, a.range1, a.phase1, a.doppler1, a.snr2, a.phase2, a.value2, meas17().sv[1].range1),
            std::tuple(45.0, 10.0, 3.0, -1.0, 25.0, 2.0, -1.0, 20.0));
}

// A satellite's Doppler and status byte.
using Sv = std::tuple<double, int>;
Sv ToSv(const k01_meas17_sv_t& s) { return Sv(s.doppler1, s.status); }

TEST_F(DecodeRecord, Meas17DopplerFromConsecutivePhasesAndPrediction) {
  // Epoch 1: no previous epoch, the record's Doppler (1.0) stays, bit 7 set.
  Decode(Epoch17(2000, 0, {{9, 0x10, 0, 100, 100 << 15, 64}}).record(17));
  EXPECT_EQ(ToSv(meas17().sv[0]), Sv(1.0, 0x80));
  // Epoch 2, 1000 ms later, 100.0 -> 103.5 cycles: Doppler 3.5 replaces the
  // record's value; satellite 4 is new and keeps its own.
  Decode(Epoch17(3000, 0, {{4, 0x10, 1, 100, 0, -128}, {9, 0x10, 0, 100, 207 << 14, 640}}).record(17));
  EXPECT_EQ(ToSv(meas17().sv[1]), Sv(3.5, 0));
  EXPECT_EQ(ToSv(meas17().sv[0]), Sv(-2.0, 0x81));
  // Epoch 3 with flags bit 1: the Doppler is the prediction 2 x 3.5 - 1.0,
  // found at another index; satellite 4 lost bit 4 in this epoch.
  Decode(Epoch17(4000, 0, {{9, 0x12, 0, 100, 0, 0}, {4, 0x00, 0, 100, 1 << 20, 64}}).record(17));
  EXPECT_EQ(ToSv(meas17().sv[0]), Sv(6.0, 0x80));
  EXPECT_EQ(ToSv(meas17().sv[1]), Sv(1.0, 0x80));
  // Same epoch time again: no rate can be derived.
  Decode(Epoch17(4000, 0, {{9, 0x10, 0, 100, 0, 128}}).record(17));
  EXPECT_EQ(ToSv(meas17().sv[0]), Sv(2.0, 0x80));
}

TEST_F(DecodeRecord, Meas17StopsAt24Blocks) {
  std::vector<Block> blocks;
  for (uint8_t sv = 1; sv <= 30; ++sv) blocks.push_back({sv, 0x00, 0, sv, 0, 0});
  // 613 bytes cannot be stated by a length byte: handed over by its count.
  const Bytes rec = Epoch17(0, 0, blocks).record(117);
  EXPECT_EQ(Decode(rec, 5, 17, static_cast<uint16_t>(rec.size())), 21 + 48 * 24);
  EXPECT_EQ(d->decode.datHeader[2], (21 + 48 * 24) >> 8);
  EXPECT_EQ(meas17().svCount, 24);
  EXPECT_EQ(meas17().sv[23].svNumber, 24);
}

TEST_F(DecodeRecord, Meas17BlockRunningIntoTheChecksum) {
  // The second block claims a second-frequency block that is not there.
  Bytes data = Epoch17(0, 0, {{1, 0, 0, 1, 0, 0}, {2, 0, 0, 1, 0, 0}}).data();
  data[7 + 20 + 1] = 0x01;
  EXPECT_EQ(Failure(rawrec::BuildRecord(17, data)), k01::kDecodeLayout);
  // The store is untouched: a following epoch finds no previous satellite 1.
  Decode(Epoch17(1000, 0, {{1, 0x10, 0, 1, 0, 64}}).record(17));
  EXPECT_EQ(meas17().sv[0].status, 0x80);
}

}  // namespace
