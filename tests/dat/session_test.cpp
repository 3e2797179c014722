// Receiver and session records of the raw path: text records, receiver
// information, session headers, per-SV session values, session positions
// and the tracking table; and the fold of a session's pending values into
// the session header block.
#include <algorithm>

#include "dat/session_records.h"
#include "dat_fixture.h"

namespace dattest {
namespace {

using SB = SessionBlock;

TEST(TextRecord, BySubtype) {
  struct Case { uint8_t subtype; std::string text; bool written; uint8_t compact; std::string taken; } cases[] = {
      {124, "1 compact", false, 1, ""}, {124, "0 compact", true, 0, ""}, {6, "anything", false, 0, ""},
      // Subtype 3: the long station name.
      {3, "MAST HILL", true, 0, "MAST"}, {3, "AB\xC3" "CD", true, 0, "AB"}, {3, std::string("XY\0Z", 4), true, 0, "XY"},
      {3, std::string(60, 'N'), true, 0, std::string(50, 'N')}, {3, " LEADING", true, 0, ""},
      // Subtype 27: the antenna serial string, right-aligned.
      {27, "ABCDEFGH12345", true, 0, "     12345"}, {27, "ABCDEFGH123456789A", true, 0, "  12345678"},
      {27, std::string("ABCDEFGH12\0" "99", 13), true, 0, "        12"},
  };
  for (const Case& c : cases) {
    DatSink s;
    std::strcpy(s.cs.rx.longStationName, "OLD");
    s.Raw(Fields().u8(c.subtype).text(c.text).record(16));
    EXPECT_EQ(s.Tail(), c.written ? Le().text(c.text).record(c.subtype, 16) : Bytes{}) << c.text;
    EXPECT_EQ(s.cs.rx.compactMode, c.compact) << c.text;
    const ReceiverIdentity& rx = s.cs.rx;
    EXPECT_EQ(c.subtype == 3 ? rx.longStationName : c.subtype == 27 ? rx.antennaString : "", c.taken) << c.text;
    EXPECT_EQ(s.cs.rx.antennaGiven, c.subtype == 27);
  }
}

Bytes InfoRecord(uint8_t subtype, const std::vector<Bytes>& items) {
  Fields f;
  f.u8(subtype).u8(static_cast<uint32_t>(items.size()));
  for (const Bytes& item : items) f.u8(static_cast<uint32_t>(item.size())).bytes(item);
  return f.record(30);
}

// Items 1..6 of a subtype-1 record: serial number 0x01020304 and the type
// word, serial string, a plain item, firmware, an empty item, antenna.
std::vector<Bytes> SteloItems(const std::string& serial, uint16_t firmware, uint16_t typeWord = 0x011D) {
  return {Fields().u32(0x01020304).u16(typeWord).u8(0xAA).u8(0xBB).data(), Fields().text(serial).data(),
          Fields().text("ab").data(), Fields().u16(firmware).u16(2).u16(3).data(), {},
          Fields().u32(0x80000001).u16(7).data()};
}

TEST(ReceiverInfo, ConvertsItemsAndTakesIdentity) {
  DatSink s;
  s.Raw(InfoRecord(1, SteloItems("0000012345", 101)));
  Le b;  // 5 + (1+8) + (1+10) + (1+2) + (1+6) + (1+0) + (1+6) = 43 bytes
  b.u8(6).u8(8).u32(0x01020304).u16(0x011D).u8(0xAA).u8(0xBB).u8(10).text("0000012345");
  b.u8(2).text("ab").u8(6).u16(101).u16(2).u16(3).u8(0).u8(6).u32(0x80000001).u16(7);
  EXPECT_EQ(s.Tail(), b.record(1, 30));
  const ReceiverIdentity& rx = s.cs.rx;
  EXPECT_EQ(std::tuple(rx.serialNumber, rx.serialRank, rx.typeCode, rx.firmwareVersion, rx.antennaSerial),
            std::tuple(0x01020304u, 30, 29, 101, 0x80000001u));
  EXPECT_STREQ(rx.serialString, "0000012345");
  // A later record keeps the first serial number; an empty serial item
  // leaves the string and its flag as they were.
  auto items = SteloItems("", 90);
  items[0] = Fields().u32(0x0A0B0C0D).u16(0x0105).data();
  s.Raw(InfoRecord(1, items));
  EXPECT_EQ(std::tuple(rx.serialNumber, rx.typeCode, rx.serialGiven), std::tuple(0x01020304u, 5, 1));
  EXPECT_STREQ(rx.serialString, "0000012345");
  // Mask bit 0x2 suppresses the record, not what it sets.
  s.cs.exclusionMask = 0x2;
  const size_t written = s.Tail().size();
  s.Raw(InfoRecord(1, SteloItems("0000077777", 101)));
  EXPECT_EQ(s.Tail().size(), written);
  EXPECT_STREQ(rx.serialString, "0000077777");
}

// Subtype 3 swaps two words of items 1 and 3; records whose items run past
// the data are dropped.
TEST(ReceiverInfo, Subtype3AndMalformedRecords) {
  DatSink s;
  s.Raw(Fields().u8(1).u8(3).u8(2).u8(0x41).u8(0x42).record(30));                // 3 items, data for 1
  s.Raw(Fields().u8(1).u8(2).u8(2).text("ab").u8(40).text("short").record(30));  // item past the data
  EXPECT_TRUE(s.Tail().empty());
  EXPECT_EQ(s.cs.rx.serialGiven, 0);
  s.Raw(InfoRecord(3, {Fields().u32(0x11223344).u32(0x55667788).u8(0xEE).data(), Fields().u16(0x0102).data(),
                       Fields().u32(0xA1A2A3A4).u32(0xB1B2B3B4).data()}));
  Le b;
  b.u8(3).u8(9).u32(0x11223344).u32(0x55667788).u8(0xEE).u8(2).u8(0x01).u8(0x02).u8(8).u32(0xA1A2A3A4).u32(0xB1B2B3B4);
  EXPECT_EQ(s.Tail(), b.record(3, 30));
}

TEST(ReceiverInfo, SerialNumberFix) {
  struct Case { int16_t mode; uint16_t typeWord, firmware; const char* serial; const char* result; } cases[] = {
      {1, 29, 101, "0000012345", "4294979641"}, {1, 29, 103, "0000012345", "4294979641"},  // 2^32 + 12345
      {1, 29, 104, "0000012345", "0000012345"}, {1, 28, 101, "0000012345", "0000012345"},
      {0, 29, 101, "0000012345", "0000012345"}, {2, 29, 104, "0000012345", "4294979641"},
      {1, 29, 101, "4294967295", "4294967295"}, {2, 29, 101, "4294967295", "8589934591"},  // low 32 bits all ones
      {1, 29, 101, "4294979641", "4294979641"},    // already fixed
      {2, 29, 101, "99999999999", "99999999999"},  // would not fit 10 digits
  };
  for (const Case& c : cases) {
    DatSink s;
    s.cs.fixSerialMode = c.mode;
    s.Raw(InfoRecord(1, SteloItems(c.serial, c.firmware, c.typeWord)));
    EXPECT_STREQ(s.cs.rx.serialString, c.result) << c.mode << " " << c.typeWord << " " << c.firmware << " " << c.serial;
    const Bytes out = s.Tail();  // the DAT record keeps the string as received
    const std::string serial(c.serial);
    EXPECT_NE(std::search(out.begin(), out.end(), serial.begin(), serial.end()), out.end());
  }
}

struct HeaderValues {
  uint16_t loggingStart = 600;
  uint32_t receiverSerial = 123456;
  int entries = 2;  // k + 1
};

Bytes HeaderRecord(uint8_t type, const HeaderValues& v) {
  Fields f;
  f.u8(static_cast<uint32_t>(v.entries - 1)).f64(0.25).f64(-0.5).f64(100.5).f64(1.5);
  f.u8(1).u8(1).u8(0).u8(254).u8(1).u8(0xFB).u8(4).u8(0);
  for (int i = 0; i < v.entries; ++i) f.u8(i < 72 ? 7 : 0xEE);
  f.u8(2).u8(1).u8(2).u8(1).u8(0).u8(1);
  for (int i = 0; i < v.entries; ++i) f.u8(i < 72 ? 9 : 0xEE);
  f.u16(60).u16(1380).u16(v.loggingStart).u16(1200);
  for (int c = 0; c < 4; ++c)
    for (int i = 0; i < v.entries; ++i) {
      const uint32_t value = c == 3 && i == 0 ? 0xFFFFFFFF : static_cast<uint32_t>(c * 100 + i);
      type == 22 ? f.u32(value) : f.u16(value);
    }
  f.u16(150).u32(777).u32(v.receiverSerial).u16(101).u16(202);
  return f.record(type);
}

TEST(SessionHeader, FillsPendingValues) {
  for (uint8_t type : {4, 22}) {
    DatSink s;
    s.cs.pending.Set<uint8_t>(SB::kStationNamePresent, 1);
    s.Raw(HeaderRecord(type, {}));
    EXPECT_TRUE(s.Tail().empty());
    const SessionBlock& p = s.cs.pending;
    EXPECT_EQ(std::tuple(p.Get<double>(SB::kRefLatitude), p.Get<int8_t>(SB::kElevationMask)), std::tuple(0.25, -5));
    EXPECT_EQ(Bytes(p.bytes + SB::kSvBytes1, p.bytes + SB::kSvBytes1 + 3), (Bytes{7, 7, 0}));
    EXPECT_EQ(std::tuple(p.Get<uint8_t>(SB::kSvBytes2 + 1), p.Get<uint16_t>(SB::kLoggingStop), p.Counter(SB::kC3, 1)),
              std::tuple(9, 1200, 201));
    EXPECT_EQ(p.Counter(SB::kC4, 0), type == 4 ? 0xFFFF : -1);  // low half only for type 4
    EXPECT_EQ(std::tuple(p.Get<uint32_t>(SB::kReceiverSerial), p.Get<uint16_t>(SB::kSigVersion), s.cs.rx.serialRank),
              std::tuple(123456u, 202, 22));
    EXPECT_EQ(p.Get<uint8_t>(SB::kStationNamePresent), 0);
  }
  DatSink s;  // the serial number of a receiver information record wins
  s.Raw(InfoRecord(1, SteloItems("x", 90)));
  s.Raw(HeaderRecord(4, {}));
  EXPECT_EQ(s.cs.pending.Get<uint32_t>(SB::kReceiverSerial), 0x01020304u);
  EXPECT_EQ(s.cs.rx.serialRank, 30);
}

Bytes PositionRecord(uint8_t type, double base, uint32_t w5, uint32_t w6) {
  Fields f;
  for (int i = 0; i < 12; ++i) f.f64(base + i);
  type == 24 ? f.u32(w5).u32(w6) : f.u16(w5).u16(w6);
  return f.record(type);
}

TEST(SessionHeader, NewLoggingStartFoldsPendingFirst) {
  DatSink s;
  s.Raw(HeaderRecord(4, {.loggingStart = 600, .receiverSerial = 1}));
  s.Raw(PositionRecord(24, 0.5, 70000, 5));
  s.Raw(HeaderRecord(4, {.loggingStart = 600, .receiverSerial = 2}));  // same start: no fold
  EXPECT_EQ(s.cs.session.Get<uint16_t>(SB::kLoggingStart), 0);
  EXPECT_EQ(s.cs.pending.P(0), 0.5);  // positions are kept
  s.Raw(HeaderRecord(4, {.loggingStart = 900, .receiverSerial = 3}));
  const SessionBlock& b = s.cs.session;
  EXPECT_EQ(std::tuple(b.Get<uint16_t>(SB::kLoggingStart), b.Get<uint32_t>(SB::kReceiverSerial), b.P(11),
                       b.Get<int32_t>(SB::kW5)),
            std::tuple(600, 2u, 11.5, 70000));
  EXPECT_EQ(std::tuple(s.cs.pending.Get<uint16_t>(SB::kLoggingStart), s.cs.pending.P(0)), std::tuple(900, 0.0));
}

TEST(SessionHeader, EntriesBeyondTheArraysAreReadPastAndTruncationChangesNothing) {
  DatSink s;
  s.Raw(HeaderRecord(22, {.entries = 100}));
  const SessionBlock& p = s.cs.pending;
  // A4 and C2 entry 0 are where entry 72 of the arrays before them would land.
  EXPECT_EQ(std::tuple(p.Get<uint8_t>(SB::kSvBytes1 + 71), p.Get<uint8_t>(SB::kA4), p.Get<uint8_t>(SB::kSvBytes2 + 71)),
            std::tuple(7, 2, 9));
  EXPECT_EQ(std::tuple(p.Counter(SB::kC2, 0), p.Counter(SB::kC4, 71), p.Get<uint16_t>(SB::kSigVersion)),
            std::tuple(100, 371, 202));
  DatSink t;
  const Bytes rec = HeaderRecord(4, {});
  t.Raw(rawrec::BuildRecord(4, Bytes(rec.begin() + 3, rec.end() - 13)));  // 10 data bytes short
  EXPECT_EQ(std::tuple(t.cs.pending.Get<uint16_t>(SB::kLoggingStart), t.cs.staging.Get<double>(SB::kRefLatitude),
                       t.cs.rx.serialRank),
            std::tuple(0, 0.0, 0));
}

Bytes ValuesRecord(uint8_t type, int first, int last, const std::string& name, int nameLength) {
  Fields f;
  f.u8(0).u8(static_cast<uint32_t>(first)).u8(static_cast<uint32_t>(last));
  const int n = last - first + 1;
  for (int i = 0; i < n; ++i) f.u8(0x10 + i);
  for (int i = 0; i < n; ++i) f.u8(0x20 + i);
  for (int c = 1; c <= 4; ++c)
    for (int i = 0; i < n; ++i) type == 23 ? f.u32(c * 100 + i) : f.u16(c * 100 + i);
  f.u8(static_cast<uint32_t>(nameLength)).text(name);
  f.u8(5).u32(0xFFFFFFF0).text("ABC").u32(1).u32(2).u32(3);  // A5, D1 = -16, T1, W1..W3
  f.u8(6).u8(7).u8(8).u8(9).u32(4).u8(10).u8(11);            // A6..A9, W4, A10, A11
  f.u16(0xFFE0).u16(0x1234);                                 // D2 = -32 x 2^-4, H1
  return f.record(type);
}

TEST(SessionValues, FillPendingValuesWithinBounds) {
  for (uint8_t type : {13, 23}) {
    DatSink s;
    s.Raw(ValuesRecord(type, 2, 3, "MAST", 3));
    const SessionBlock& p = s.cs.pending;
    EXPECT_EQ(std::tuple(p.Get<uint8_t>(SB::kStationNamePresent), p.Get<uint8_t>(SB::kSvBytes1 + 2),
                         p.Counter(SB::kC2, 3), p.Counter(SB::kC4, 2), p.Get<uint8_t>(SB::kStationNameLength)),
              std::tuple(1, 0x10, 201, 400, 3));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.bytes + SB::kStationName)), "MAST");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.bytes + SB::kT1), 3), "ABC");
    EXPECT_EQ(std::tuple(p.Get<double>(SB::kD1), p.Get<uint32_t>(SB::kW4), p.Get<double>(SB::kD2),
                         p.Get<uint16_t>(SB::kH1)),
              std::tuple(-16.0, 4u, -2.0, 0x1234));
  }
  DatSink s;  // entries 70..75: only 70 and 71 fit the arrays
  s.Raw(ValuesRecord(23, 70, 75, "N", 0));
  const SessionBlock& p = s.cs.pending;
  EXPECT_EQ(std::tuple(p.Get<uint8_t>(SB::kSvBytes1 + 71), p.Get<uint8_t>(SB::kA4), p.Counter(SB::kC4, 71),
                       p.Get<uint16_t>(SB::kH1)),
            std::tuple(0x11, 0, 401, 0x1234));
  DatSink t;  // a name of 61 characters: 50 kept, the length says 49
  t.Raw(ValuesRecord(13, 0, 0, std::string(61, 'S'), 60));
  const SessionBlock& q = t.cs.pending;
  EXPECT_EQ(std::tuple(q.Get<uint8_t>(SB::kStationNameLength), q.Get<uint8_t>(SB::kStationName + 49),
                       q.Get<uint16_t>(SB::kH1)),
            std::tuple(49, 'S', 0x1234));
  DatSink u;  // last entry before the first: dropped
  u.Raw(ValuesRecord(13, 3, 2, "N", 0));
  EXPECT_EQ(u.cs.pending.Get<uint8_t>(SB::kStationNamePresent), 0);
}

Bytes TrackingRecord(int index, std::initializer_list<uint32_t> words) {
  Fields f;
  f.u8(0).u8(static_cast<uint32_t>(index));
  for (uint32_t w : words) f.u32(w);
  return f.record(14);
}
std::vector<int32_t> Six(const int32_t* w) { return std::vector<int32_t>(w, w + 6); }

TEST(Tracking, SessionsAccumulate) {
  DatSink s;
  const TrackingTable& t = s.cs.tracking;
  s.Raw(TrackingRecord(5, {10, 100, 8, 90, 1, 3}));
  s.Raw(TrackingRecord(5, {12, 120, 9, 95, 1, 4}));  // same session: replaced
  EXPECT_EQ(t.accumulated[5][1], 0);
  s.Raw(TrackingRecord(5, {5, 50, 4, 40, 2, 1}));  // new session: the current entry folded first
  EXPECT_EQ(Six(t.accumulated[5]), (std::vector<int32_t>{12, 120, 9, 95, 1, 4}));
  int32_t total[6];
  FinalTrackingEntry(t, 5, total);  // the last session counts too
  EXPECT_EQ(Six(total), (std::vector<int32_t>{12, 170, 9, 135, 1, 5}));
  int32_t quiet[6] = {50, 0, 50, 0, 7, 9};  // tracked nothing: adds nothing
  int32_t big[6] = {0, 0x7FFFFFFF, 0, 0, 0, 0};
  FoldTrackingEntry(quiet, big);
  EXPECT_EQ(big[0], 0);
  const int32_t one[6] = {-1, 1, 0, 0, 1, 0};
  FoldTrackingEntry(one, big);
  EXPECT_EQ(big[1], INT32_MIN);  // totals wrap
  EXPECT_EQ(big[0], 0);          // larger as signed values
  DatSink u;  // indexes above 32 and short records are dropped
  u.Raw(TrackingRecord(33, {1, 2, 3, 4, 5, 6}));
  u.Raw(TrackingRecord(255, {1, 2, 3, 4, 5, 6}));
  u.Raw(Fields().u8(0).u8(3).u32(1).record(14));
  EXPECT_EQ(u.cs.tracking.seen, 0);
  s.Raw(TrackingRecord(32, {1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(t.current[32][5], 6);
  FinalTrackingEntry(t, 40, total);
  EXPECT_EQ(Six(total), std::vector<int32_t>(6, 0));
}

// Each row: the value at off (size bytes) in the block and in the pending
// values, and after the fold into a block that holds a session (data-logging
// start or, alone, W3 set). A block that holds none takes the pending values whole.
TEST(FoldPendingHeader, TakesTheFirstSessionWholeAndMergesAFurtherOne) {
  constexpr uint64_t kB = 0x1111111111111111, kP = 0x5A5A5A5A5A5A5A5A;
  struct Case { size_t off, size; uint64_t block, pending, result; } cases[] = {
      // C1 and C3 add (wrapping), C2 and C4 keep the larger signed value.
      {SB::kC1, 4, 5, 7, 12}, {SB::kC1 + 4, 4, 0x7FFFFFFF, 1, 0x80000000},
      {SB::kC3 + 4 * 71, 4, 0xFFFFFFFD, 10, 7}, {SB::kC2, 4, 0xFFFFFFFF, 3, 3}, {SB::kC2 + 20, 4, 5, 0xFFFFFFFE, 5},
      {SB::kC4 + 4 * 71, 4, 0xFFFFFFF8, 0xFFFFFFF7, 0xFFFFFFF8},
      // Starts: 9999 takes the pending value; stops: a pending 9999 is not taken.
      {SB::kScheduleStart, 2, 9999, 100, 100}, {SB::kScheduleStart, 2, 50, 100, 50},
      {SB::kScheduleStop, 2, 200, 9999, 200}, {SB::kScheduleStop, 2, 200, 300, 300},
      {SB::kLoggingStop, 2, 9999, 700, 700}, {SB::kLoggingStop, 2, 650, 9999, 650},
      {SB::kLoggingStart, 2, 9999, 420, 420},
      // The session values taken, and some that are not.
      {SB::kW2, 4, kB, kP, kP}, {SB::kRefLatitude, 8, kB, kP, kP}, {SB::kAntennaHeight, 8, kB, kP, kP},
      {SB::kAntennaHeightUnit, 1, kB, kP, kP}, {SB::kAntennaSerial, 4, kB, kP, kP}, {SB::kReceiverSerial, 4, kB, kP, kP},
      {SB::kStationNamePresent, 1, kB, kP, kP}, {SB::kA10, 2, kB, kP, kP}, {SB::kD2, 8, kB, kP, kP},
      {SB::kH1, 2, kB, kP, kP}, {SB::kA1, 1, kB, kP, kB}, {SB::kW1, 4, kB, kP, kB}, {SB::kNavVersion, 4, kB, kP, kB},
      {SB::kStationNameLength, 8, kB, kP, kB}, {SB::kSyncRate, 2, kB, kP, kB}, {SB::kPositions + 8, 8, kB, kP, kB},
  };
  for (int holds : {0, 1, 2}) {  // nothing, a logging start, W3
    for (const Case& c : cases) {
      ConvState cs;
      if (holds == 1) cs.session.Set<uint16_t>(SB::kLoggingStart, 480);
      if (holds == 2) cs.session.Set<uint32_t>(SB::kW3, 1);
      std::memcpy(cs.session.bytes + c.off, &c.block, c.size);
      std::memcpy(cs.pending.bytes + c.off, &c.pending, c.size);
      FoldPendingHeader(cs);
      uint64_t got = 0;
      std::memcpy(&got, cs.session.bytes + c.off, c.size);
      const uint64_t mask = c.size == 8 ? ~0ull : (1ull << (8 * c.size)) - 1;
      EXPECT_EQ(got, (holds ? c.result : c.pending) & mask) << c.off << " holds " << holds;
      EXPECT_TRUE(std::all_of(std::begin(cs.pending.bytes), std::end(cs.pending.bytes), [](uint8_t v) { return !v; }));
    }
  }
}

TEST(FoldPendingHeader, PositionsByPdopAndCount) {
  struct Case { const char* what; double blockPdop, pendingPdop; bool taken; } cases[] = {
      {"block has none", 0.0, 4.0, true},  {"pending better", 2.0, 1.5, true},
      {"pending worse", 2.0, 3.0, false},  {"equal", 2.0, 2.0, false},
      {"pending session reported no position", 2.0, 0.0, false},
  };
  for (const Case& c : cases) {
    ConvState cs;
    cs.session.Set<uint16_t>(SB::kLoggingStart, 480), cs.session.SetP(0, 0.5);
    for (int i : {0, 1, 2, 4, 5}) cs.pending.SetP(i, 10.0 + i);
    for (int i : {3, 6}) cs.session.SetP(i, c.blockPdop), cs.pending.SetP(i, c.pendingPdop);
    FoldPendingHeader(cs);
    for (int i : {1, 2, 4, 5}) EXPECT_EQ(cs.session.P(i), c.taken ? 10.0 + i : 0.0) << c.what;
    EXPECT_EQ(cs.session.P(0), c.taken ? 10.0 : 0.5) << c.what;
    for (int i : {3, 6}) EXPECT_EQ(cs.session.P(i), c.taken ? c.pendingPdop : c.blockPdop) << c.what;
  }
  // Means: P7..P9 by W5, P10 and P11 by W6, taken when the pending count is
  // greater; the counts themselves stay.
  ConvState cs;
  cs.session.Set<uint16_t>(SB::kLoggingStart, 480), cs.session.SetP(10, 0.5);
  cs.session.Set<int32_t>(SB::kW5, 10), cs.session.Set<int32_t>(SB::kW6, 10);
  cs.pending.Set<int32_t>(SB::kW5, 11), cs.pending.Set<int32_t>(SB::kW6, 10);
  for (int i = 7; i <= 11; ++i) cs.pending.SetP(i, -1.0 * i);
  FoldPendingHeader(cs);
  for (int i = 7; i <= 9; ++i) EXPECT_EQ(cs.session.P(i), -1.0 * i);
  EXPECT_EQ(std::tuple(cs.session.P(10), cs.session.P(11), cs.session.Get<int32_t>(SB::kW5)), std::tuple(0.5, 0.0, 10));
}

}  // namespace
}  // namespace dattest
