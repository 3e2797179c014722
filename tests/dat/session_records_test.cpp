#include "dat/session_records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dat/conv_state.h"
#include "support/record_builder.h"

namespace {

using SB = SessionBlock;
using Bytes = std::vector<uint8_t>;

// A conversion state with a scratch DAT stream.
struct Fixture {
  ConvState cs;
  FILE* dat = std::tmpfile();
  ~Fixture() { std::fclose(dat); }

  Status Feed(const Bytes& rec) { return HandleSessionRecord(cs, dat, rec.data(), rec.size()); }
  Bytes Written() {
    std::fflush(dat);
    const long size = std::ftell(dat);
    Bytes out(static_cast<size_t>(size));
    std::rewind(dat);
    if (size > 0) {
      EXPECT_EQ(std::fread(out.data(), 1, out.size(), dat), out.size());
    }
    std::fseek(dat, 0, SEEK_END);
    return out;
  }
};

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// ---- text records -----------------------------------------------------------

Bytes TextRecord(uint8_t subtype, const std::string& text) {
  return tb::Fields().u8(subtype).text(text).record(16);
}

TEST(TextRecord, BySubtype) {
  struct Case {
    const char* what;
    uint8_t subtype;
    std::string text;
    bool written;
    uint8_t compact;
  } cases[] = {
      {"compact mode on", 124, "1 compact", false, 1},
      {"compact mode text without 1", 124, "0 compact", true, 0},
      {"empty compact text", 124, "", true, 0},
      {"subtype 6 is never written", 6, "anything", false, 0},
      {"station name", 3, "MAST", true, 0},
      {"antenna serial", 27, "ABCDEFGH12345", true, 0},
  };
  for (const Case& c : cases) {
    Fixture f;
    f.Feed(TextRecord(c.subtype, c.text));
    const Bytes expected = Concat({{0x74, static_cast<uint8_t>(4 + c.text.size()), c.subtype, 16},
                                   Text(c.text)});
    EXPECT_EQ(f.Written(), c.written ? expected : Bytes{}) << c.what;
    EXPECT_EQ(f.cs.rx.compactMode, c.compact) << c.what;
  }
}

TEST(TextRecord, LongStationName) {
  struct Case {
    std::string text, name;
  } cases[] = {
      {"MAST", "MAST"},
      {"MAST HILL", "MAST"},
      {"AB\xC3" "CD", "AB"},
      {std::string("XY\0Z", 4), "XY"},
      {std::string(60, 'N'), std::string(50, 'N')},
      {" LEADING", ""},
  };
  for (const Case& c : cases) {
    Fixture f;
    std::strcpy(f.cs.rx.longStationName, "OLD");
    f.Feed(TextRecord(3, c.text));
    EXPECT_EQ(std::string(f.cs.rx.longStationName), c.name) << c.text;
  }
}

TEST(TextRecord, AntennaSerialRightAligned) {
  struct Case {
    std::string text, serial;
  } cases[] = {
      {"ABCDEFGH12345", "     12345"},
      {"ABCDEFGH123456789A", "  12345678"},
      {"ABCDEFGH", "          "},
      {"ABC", "          "},
      {std::string("ABCDEFGH12\0" "99", 13), "        12"},
  };
  for (const Case& c : cases) {
    Fixture f;
    f.Feed(TextRecord(27, c.text));
    EXPECT_EQ(std::string(f.cs.rx.antennaString), c.serial) << c.text;
    EXPECT_EQ(f.cs.rx.antennaGiven, 1);
  }
}

// ---- receiver information -------------------------------------------------

Bytes InfoRecord(uint8_t subtype, const std::vector<Bytes>& items) {
  tb::Fields f;
  f.u8(subtype).u8(static_cast<uint32_t>(items.size()));
  for (const Bytes& item : items) f.u8(static_cast<uint32_t>(item.size())).bytes(item);
  return f.record(30);
}

Bytes Be(std::initializer_list<uint64_t> values, int width) {
  tb::Fields f;
  for (uint64_t v : values) {
    if (width == 2) f.u16(static_cast<uint32_t>(v));
    if (width == 4) f.u32(static_cast<uint32_t>(v));
  }
  return f.data();
}

// Items 1..6 of a subtype-1 record: serial number 0x01020304 and type code
// 29, serial string, a plain item, firmware 101, an empty item, antenna.
std::vector<Bytes> SteloItems(const std::string& serial, uint16_t firmware, uint16_t typeWord = 0x011D) {
  return {Concat({Be({0x01020304}, 4), Be({typeWord}, 2), {0xAA, 0xBB}}),
          Text(serial),
          Text("ab"),
          Be({firmware, 2, 3}, 2),
          {},
          Concat({Be({0x80000001}, 4), Be({7}, 2)})};
}

TEST(ReceiverInfo, ConvertsItemsAndTakesIdentity) {
  Fixture f;
  f.Feed(InfoRecord(1, SteloItems("0000012345", 101)));
  // 5 + (1+8) + (1+10) + (1+2) + (1+6) + (1+0) + (1+6) = 43.
  const Bytes expected = Concat({{0x74, 43, 1, 30, 6},
                                 {8, 0x04, 0x03, 0x02, 0x01, 0x1D, 0x01, 0xAA, 0xBB},
                                 {10}, Text("0000012345"),
                                 {2, 'a', 'b'},
                                 {6, 101, 0, 2, 0, 3, 0},
                                 {0},
                                 {6, 0x01, 0x00, 0x00, 0x80, 0x07, 0x00}});
  EXPECT_EQ(f.Written(), expected);
  const ReceiverIdentity& rx = f.cs.rx;
  EXPECT_EQ(rx.serialNumber, 0x01020304u);
  EXPECT_EQ(rx.serialRank, 30);
  EXPECT_EQ(rx.typeCode, 29);
  EXPECT_EQ(rx.firmwareVersion, 101);
  EXPECT_STREQ(rx.serialString, "0000012345");
  EXPECT_EQ(rx.serialGiven, 1);
  EXPECT_EQ(rx.antennaSerial, 0x80000001u);
  // A later record keeps the first serial number; an empty serial item
  // leaves the string as it was.
  auto items = SteloItems("", 90);
  items[0] = Concat({Be({0x0A0B0C0D}, 4), Be({0x0105}, 2)});
  f.Feed(InfoRecord(1, items));
  EXPECT_EQ(rx.serialNumber, 0x01020304u);
  EXPECT_EQ(rx.typeCode, 5);
  EXPECT_STREQ(rx.serialString, "0000012345");
  EXPECT_EQ(rx.serialGiven, 1);
}

TEST(ReceiverInfo, Subtype3SwapsTwoWordsOfItems1And3) {
  Fixture f;
  f.Feed(InfoRecord(3, {Concat({Be({0x11223344, 0x55667788}, 4), {0xEE}}),
                        Be({0x0102}, 2),
                        Be({0xA1A2A3A4, 0xB1B2B3B4}, 4)}));
  const Bytes expected = Concat({{0x74, 5 + 10 + 3 + 9, 3, 30, 3},
                                 {9, 0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55, 0xEE},
                                 {2, 0x01, 0x02},
                                 {8, 0xA4, 0xA3, 0xA2, 0xA1, 0xB4, 0xB3, 0xB2, 0xB1}});
  EXPECT_EQ(f.Written(), expected);
}

TEST(ReceiverInfo, SerialNumberFix) {
  struct Case {
    int16_t mode;
    uint16_t typeWord, firmware;
    const char* serial;
    const char* result;
  } cases[] = {
      {1, 29, 101, "0000012345", "4294979641"},  // 2^32 + 12345
      {1, 29, 103, "0000012345", "4294979641"},
      {1, 29, 104, "0000012345", "0000012345"},
      {1, 28, 101, "0000012345", "0000012345"},
      {0, 29, 101, "0000012345", "0000012345"},
      {2, 29, 104, "0000012345", "4294979641"},
      {1, 29, 101, "4294967295", "4294967295"},  // low 32 bits all ones
      {2, 29, 101, "4294967295", "8589934591"},
      {1, 29, 101, "4294979641", "4294979641"},  // already fixed
      {2, 29, 101, "99999999999", "99999999999"},  // would not fit 10 digits
  };
  for (const Case& c : cases) {
    Fixture f;
    f.cs.fixSerialMode = c.mode;
    f.Feed(InfoRecord(1, SteloItems(c.serial, c.firmware, c.typeWord)));
    EXPECT_STREQ(f.cs.rx.serialString, c.result)
        << "mode " << c.mode << " type " << c.typeWord << " fw " << c.firmware << " " << c.serial;
    // The DAT record keeps the string as received.
    const Bytes out = f.Written();
    const std::string serial(c.serial);
    EXPECT_NE(std::search(out.begin(), out.end(), serial.begin(), serial.end()), out.end());
  }
}

TEST(ReceiverInfo, ExclusionMaskSuppressesRecordOnly) {
  Fixture f;
  f.cs.exclusionMask = 0x2;
  f.Feed(InfoRecord(1, SteloItems("0000012345", 101)));
  EXPECT_TRUE(f.Written().empty());
  EXPECT_EQ(f.cs.rx.typeCode, 29);
  EXPECT_STREQ(f.cs.rx.serialString, "0000012345");
}

TEST(ReceiverInfo, MalformedRecordsAreDropped) {
  // Item count says 3, data holds one item.
  Fixture f;
  f.Feed(tb::Fields().u8(1).u8(3).u8(2).u8(0x41).u8(0x42).record(30));
  // Item length running past the data.
  f.Feed(tb::Fields().u8(1).u8(2).u8(2).text("ab").u8(40).text("short").record(30));
  // Subtype 0 belongs to the raw path.
  f.Feed(tb::Fields().u8(0).u8(0).record(30));
  EXPECT_TRUE(f.Written().empty());
  EXPECT_EQ(f.cs.rx.serialGiven, 0);
}

// ---- session header records -------------------------------------------------

struct HeaderValues {
  uint16_t loggingStart = 600;
  uint32_t receiverSerial = 123456;
  int entries = 2;  // k + 1
  uint8_t svByte = 7;
};

Bytes HeaderRecord(uint8_t type, const HeaderValues& v) {
  const bool wide = type == 22;
  tb::Fields f;
  f.u8(static_cast<uint32_t>(v.entries - 1));
  f.f64(0.25).f64(-0.5).f64(100.5).f64(1.5);
  f.u8(1).u8(1).u8(0).u8(254).u8(1).u8(0xFB).u8(4).u8(0);
  for (int i = 0; i < v.entries; ++i) f.u8(i < 72 ? v.svByte : 0xEE);
  f.u8(2).u8(1).u8(2).u8(1).u8(0).u8(1);
  for (int i = 0; i < v.entries; ++i) f.u8(i < 72 ? 9 : 0xEE);
  f.u16(60).u16(1380).u16(v.loggingStart).u16(1200);
  for (int c = 0; c < 4; ++c)
    for (int i = 0; i < v.entries; ++i) {
      const uint32_t value = c == 3 && i == 0 ? 0xFFFFFFFF : static_cast<uint32_t>(c * 100 + i);
      if (wide)
        f.u32(value);
      else
        f.u16(value);
    }
  f.u16(150).u32(777).u32(v.receiverSerial).u16(101).u16(202);
  return f.record(type);
}

TEST(SessionHeader, FillsPendingValues) {
  for (uint8_t type : {4, 22}) {
    Fixture f;
    f.cs.pending.Set<uint8_t>(SB::kStationNamePresent, 1);
    f.Feed(HeaderRecord(type, {}));
    EXPECT_TRUE(f.Written().empty());
    const SessionBlock& p = f.cs.pending;
    EXPECT_EQ(p.Get<double>(SB::kRefLatitude), 0.25);
    EXPECT_EQ(p.Get<double>(SB::kAntennaHeight), 1.5);
    EXPECT_EQ(p.Get<uint8_t>(SB::kRefKind), 254);
    EXPECT_EQ(p.Get<int8_t>(SB::kElevationMask), -5);
    EXPECT_EQ(p.Get<uint8_t>(SB::kSvBytes1 + 1), 7);
    EXPECT_EQ(p.Get<uint8_t>(SB::kSvBytes1 + 2), 0);
    EXPECT_EQ(p.Get<uint8_t>(SB::kA4), 2);
    EXPECT_EQ(p.Get<uint8_t>(SB::kLogPositionEveryCycle), 1);
    EXPECT_EQ(p.Get<uint8_t>(SB::kSvBytes2 + 1), 9);
    EXPECT_EQ(p.Get<uint16_t>(SB::kLoggingStart), 600);
    EXPECT_EQ(p.Get<uint16_t>(SB::kLoggingStop), 1200);
    EXPECT_EQ(p.Counter(SB::kC1, 1), 1);
    EXPECT_EQ(p.Counter(SB::kC3, 1), 201);
    // 0xFFFF lands in the low half for type 4; type 22 carries all 32 bits.
    EXPECT_EQ(p.Counter(SB::kC4, 0), type == 4 ? 0xFFFF : -1);
    EXPECT_EQ(p.Get<uint16_t>(SB::kSyncRate), 150);
    EXPECT_EQ(p.Get<uint32_t>(SB::kReceiverSerial), 123456u);
    EXPECT_EQ(p.Get<uint16_t>(SB::kSigVersion), 202);
    EXPECT_EQ(p.Get<uint8_t>(SB::kStationNamePresent), 0);
    EXPECT_EQ(f.cs.rx.serialNumber, 123456u);
    EXPECT_EQ(f.cs.rx.serialRank, 22);
  }
}

TEST(SessionHeader, ReceiverInfoSerialWins) {
  Fixture f;
  f.Feed(InfoRecord(1, SteloItems("x", 90)));
  f.Feed(HeaderRecord(4, {}));
  EXPECT_EQ(f.cs.pending.Get<uint32_t>(SB::kReceiverSerial), 0x01020304u);
  EXPECT_EQ(f.cs.rx.serialNumber, 0x01020304u);
  EXPECT_EQ(f.cs.rx.serialRank, 30);
}

Bytes PositionRecord(uint8_t type, double base, uint32_t w5, uint32_t w6) {
  tb::Fields f;
  for (int i = 0; i < 12; ++i) f.f64(base + i);
  if (type == 24)
    f.u32(w5).u32(w6);
  else
    f.u16(w5).u16(w6);
  return f.record(type);
}

TEST(SessionHeader, NewLoggingStartFoldsPendingFirst) {
  Fixture f;
  f.Feed(HeaderRecord(4, {.loggingStart = 600, .receiverSerial = 1}));
  f.Feed(PositionRecord(5, 0.5, 10, 5));
  // Same data-logging start: no fold.
  f.Feed(HeaderRecord(4, {.loggingStart = 600, .receiverSerial = 2}));
  EXPECT_EQ(f.cs.session.Get<uint16_t>(SB::kLoggingStart), 0);
  EXPECT_EQ(f.cs.pending.P(0), 0.5);  // positions are kept
  // New data-logging start: the first session is folded, then replaced.
  f.Feed(HeaderRecord(4, {.loggingStart = 900, .receiverSerial = 3}));
  EXPECT_EQ(f.cs.session.Get<uint16_t>(SB::kLoggingStart), 600);
  EXPECT_EQ(f.cs.session.Get<uint32_t>(SB::kReceiverSerial), 2u);
  EXPECT_EQ(f.cs.session.P(0), 0.5);
  EXPECT_EQ(f.cs.session.Get<int32_t>(SB::kW5), 10);
  EXPECT_EQ(f.cs.pending.Get<uint16_t>(SB::kLoggingStart), 900);
  EXPECT_EQ(f.cs.pending.P(0), 0.0);
  EXPECT_EQ(f.cs.staging.Get<uint16_t>(SB::kLoggingStart), 900);
}

TEST(SessionHeader, EntriesBeyondTheArraysAreReadPast) {
  Fixture f;
  f.Feed(HeaderRecord(22, {.entries = 100}));
  const SessionBlock& p = f.cs.pending;
  EXPECT_EQ(p.Get<uint8_t>(SB::kSvBytes1 + 71), 7);
  EXPECT_EQ(p.Get<uint8_t>(SB::kA4), 2);  // entry 72 would have landed here
  EXPECT_EQ(p.Get<uint8_t>(SB::kSvBytes2 + 71), 9);
  EXPECT_EQ(p.Get<uint16_t>(SB::kScheduleStart), 60);
  EXPECT_EQ(p.Counter(SB::kC1, 71), 71);
  EXPECT_EQ(p.Counter(SB::kC2, 0), 100);  // not overwritten by C1 entry 72
  EXPECT_EQ(p.Counter(SB::kC4, 71), 371);
  EXPECT_EQ(p.Get<uint16_t>(SB::kSyncRate), 150);
  EXPECT_EQ(p.Get<uint32_t>(SB::kReceiverSerial), 123456u);
  EXPECT_EQ(p.Get<uint16_t>(SB::kSigVersion), 202);
}

TEST(SessionHeader, TruncatedRecordChangesNothing) {
  Fixture f;
  Bytes rec = HeaderRecord(4, {});
  // Keep the envelope valid but cut the data short.
  Bytes data(rec.begin() + 3, rec.end() - 3 - 10);
  f.Feed(rawrec::BuildRecord(4, data));
  EXPECT_EQ(f.cs.pending.Get<uint16_t>(SB::kLoggingStart), 0);
  EXPECT_EQ(f.cs.staging.Get<double>(SB::kRefLatitude), 0.0);
  EXPECT_EQ(f.cs.rx.serialRank, 0);
}

// ---- per-SV session values ----------------------------------------------------

Bytes ValuesRecord(uint8_t type, int first, int last, const std::string& name, int nameLength) {
  const bool wide = type == 23;
  tb::Fields f;
  f.u8(0).u8(static_cast<uint32_t>(first)).u8(static_cast<uint32_t>(last));
  const int n = last - first + 1;
  for (int i = 0; i < n; ++i) f.u8(0x10 + i);
  for (int i = 0; i < n; ++i) f.u8(0x20 + i);
  for (int c = 1; c <= 4; ++c)
    for (int i = 0; i < n; ++i) {
      if (wide)
        f.u32(static_cast<uint32_t>(c * 100 + i));
      else
        f.u16(static_cast<uint32_t>(c * 100 + i));
    }
  f.u8(static_cast<uint32_t>(nameLength)).text(name);
  f.u8(5);                                   // A5
  f.u32(0xFFFFFFF0);                         // D1 = -16
  f.text("ABC");                             // T1
  f.u32(1).u32(2).u32(3);                    // W1..W3
  f.u8(6).u8(7).u8(8).u8(9);                 // A6..A9
  f.u32(4);                                  // W4
  f.u8(10).u8(11);                           // A10, A11
  f.u16(0xFFE0);                             // D2 = -32 x 2^-4 = -2
  f.u16(0x1234);                             // H1
  return f.record(type);
}

TEST(SessionValues, FillPendingValues) {
  for (uint8_t type : {13, 23}) {
    Fixture f;
    f.Feed(ValuesRecord(type, 2, 3, "MAST", 3));
    const SessionBlock& p = f.cs.pending;
    EXPECT_EQ(p.Get<uint8_t>(SB::kStationNamePresent), 1);
    EXPECT_EQ(p.Get<uint8_t>(SB::kSvBytes1 + 2), 0x10);
    EXPECT_EQ(p.Get<uint8_t>(SB::kSvBytes2 + 2), 0x20);
    EXPECT_EQ(p.Counter(SB::kC1, 2), 100);
    EXPECT_EQ(p.Counter(SB::kC2, 3), 201);
    EXPECT_EQ(p.Counter(SB::kC4, 2), 400);
    EXPECT_EQ(p.Get<uint8_t>(SB::kStationNameLength), 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.bytes + SB::kStationName)), "MAST");
    EXPECT_EQ(p.Get<uint8_t>(SB::kA5), 5);
    EXPECT_EQ(p.Get<double>(SB::kD1), -16.0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.bytes + SB::kT1), 3), "ABC");
    EXPECT_EQ(p.Get<uint32_t>(SB::kW3), 3u);
    EXPECT_EQ(p.Get<uint8_t>(SB::kA9), 9);
    EXPECT_EQ(p.Get<uint32_t>(SB::kW4), 4u);
    EXPECT_EQ(p.Get<uint8_t>(SB::kA11), 11);
    EXPECT_EQ(p.Get<double>(SB::kD2), -2.0);
    EXPECT_EQ(p.Get<uint16_t>(SB::kH1), 0x1234);
  }
}

TEST(SessionValues, BoundsOfEntriesAndName) {
  Fixture f;
  // Entries 70..75: only 70 and 71 fit the arrays.
  f.Feed(ValuesRecord(23, 70, 75, "N", 0));
  const SessionBlock& p = f.cs.pending;
  EXPECT_EQ(p.Get<uint8_t>(SB::kSvBytes1 + 71), 0x11);
  EXPECT_EQ(p.Get<uint8_t>(SB::kA4), 0);
  EXPECT_EQ(p.Counter(SB::kC4, 71), 401);
  EXPECT_EQ(p.Get<uint8_t>(SB::kA5), 5);
  EXPECT_EQ(p.Get<uint16_t>(SB::kH1), 0x1234);

  // A name of 61 characters: 50 are kept, the length says 49.
  Fixture g;
  g.Feed(ValuesRecord(13, 0, 0, std::string(61, 'S'), 60));
  EXPECT_EQ(g.cs.pending.Get<uint8_t>(SB::kStationNameLength), 49);
  EXPECT_EQ(g.cs.pending.Get<uint8_t>(SB::kStationName + 49), 'S');
  EXPECT_EQ(g.cs.pending.Get<uint8_t>(SB::kA5), 5);
  EXPECT_EQ(g.cs.pending.Get<uint16_t>(SB::kH1), 0x1234);

  // Last entry before the first: dropped.
  Fixture h;
  h.Feed(ValuesRecord(13, 3, 2, "N", 0));
  EXPECT_EQ(h.cs.pending.Get<uint8_t>(SB::kStationNamePresent), 0);
}

// ---- session positions ----------------------------------------------------------

TEST(SessionPositions, FillPendingPositions) {
  for (uint8_t type : {5, 24}) {
    Fixture f;
    f.Feed(PositionRecord(type, 0.125, 40, 30));
    for (int i = 0; i < 12; ++i) EXPECT_EQ(f.cs.pending.P(i), 0.125 + i);
    EXPECT_EQ(f.cs.pending.Get<int32_t>(SB::kW5), 40);
    EXPECT_EQ(f.cs.pending.Get<int32_t>(SB::kW6), 30);
  }
  Fixture f;
  f.Feed(PositionRecord(24, 0.125, 70000, 1));
  EXPECT_EQ(f.cs.pending.Get<int32_t>(SB::kW5), 70000);
  Fixture g;  // short record
  g.Feed(tb::Fields().f64(1.0).f64(2.0).record(5));
  EXPECT_EQ(g.cs.pending.P(0), 0.0);
}

// ---- tracking table -------------------------------------------------------------

Bytes TrackingRecord(int index, std::initializer_list<uint32_t> words) {
  tb::Fields f;
  f.u8(0).u8(static_cast<uint32_t>(index));
  for (uint32_t w : words) f.u32(w);
  return f.record(14);
}

TEST(Tracking, SessionsAccumulate) {
  Fixture f;
  f.Feed(TrackingRecord(5, {10, 100, 8, 90, 1, 3}));
  EXPECT_EQ(f.cs.tracking.seen, 1);
  // Same session: the current entry is replaced.
  f.Feed(TrackingRecord(5, {12, 120, 9, 95, 1, 4}));
  for (int w = 0; w < 6; ++w) EXPECT_EQ(f.cs.tracking.accumulated[5][w], 0);
  // New session: the current entry is folded first.
  f.Feed(TrackingRecord(5, {5, 50, 4, 40, 2, 1}));
  const int32_t acc[6] = {12, 120, 9, 95, 1, 4};
  for (int w = 0; w < 6; ++w) EXPECT_EQ(f.cs.tracking.accumulated[5][w], acc[w]) << w;
  // Over the whole conversion the last session counts too.
  int32_t total[6];
  FinalTrackingEntry(f.cs.tracking, 5, total);
  const int32_t expected[6] = {12, 170, 9, 135, 1, 5};
  for (int w = 0; w < 6; ++w) EXPECT_EQ(total[w], expected[w]) << w;
  // An entry that tracked nothing adds nothing; totals wrap.
  int32_t quiet[6] = {50, 0, 50, 0, 7, 9};
  int32_t big[6] = {0, 0x7FFFFFFF, 0, 0, 0, 0};
  FoldTrackingEntry(quiet, big);
  EXPECT_EQ(big[0], 0);
  const int32_t one[6] = {-1, 1, 0, 0, 1, 0};
  FoldTrackingEntry(one, big);
  EXPECT_EQ(big[1], INT32_MIN);
  EXPECT_EQ(big[0], 0);  // larger as signed values
}

TEST(Tracking, IndexesAboveTheTableAreDropped) {
  Fixture f;
  f.Feed(TrackingRecord(32, {1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(f.cs.tracking.current[32][5], 6);
  Fixture g;
  g.Feed(TrackingRecord(33, {1, 2, 3, 4, 5, 6}));
  g.Feed(TrackingRecord(255, {1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(g.cs.tracking.seen, 0);
  Fixture h;  // short record
  h.Feed(tb::Fields().u8(0).u8(3).u32(1).record(14));
  EXPECT_EQ(h.cs.tracking.seen, 0);
  int32_t out[6] = {9, 9, 9, 9, 9, 9};
  FinalTrackingEntry(g.cs.tracking, 40, out);
  for (int32_t w : out) EXPECT_EQ(w, 0);
}

}  // namespace
