// A whole survey session in a raw image, converted as the command line
// would run it (-d -e -i -m -s -a with -n / -u1 variants). The expected
// DAT header records, MES report, summary and CFG file are written out
// from the records' field values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "common/byte_order.h"
#include "dat/conv_state.h"
#include "support/record_builder.h"
#include "support/session_image_builder.h"

namespace {

namespace ss = tb::session;

// Little-endian expected bytes.
struct Le {
  std::vector<uint8_t> b;
  Le& u8(uint32_t v) { b.push_back(static_cast<uint8_t>(v)); return *this; }
  Le& u16(uint32_t v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
  Le& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  Le& f64(double v) {
    uint8_t x[8];
    bo::PutLeDouble(x, v);
    b.insert(b.end(), x, x + 8);
    return *this;
  }
  // Text in a field of width bytes, zero-filled.
  Le& text(const std::string& s, size_t width) {
    for (size_t i = 0; i < width; ++i) u8(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
    return *this;
  }
};

std::string Spaces(size_t n) { return std::string(n, ' '); }

std::string Text(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

// Tracking figures per SV after the whole session (total L1, cont L1,
// total L2, cont L2): SV 1 tracked in two sessions, so its totals add up
// and its continuous counts keep the larger; SV 2's second record of the
// same session replaced its first; SV 4 tracked L2 only and gets no row.
struct Figures {
  int sv;
  long totalL1, contL1, totalL2, contL2;
};
std::vector<Figures> ExpectedTracking() {
  std::vector<Figures> f = {{1, 120 + 160, 150, 110 + 100, 90}};
  for (int s : {2, 3, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15, 17, 18, 19, 20, 21, 22, 24, 25, 27, 31})
    f.push_back({s, 200 + 3 * s, 100 + s, 150 + 2 * s, 50 + s});
  return f;
}

class SessionImageTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = tb::MakeTempDir(); }
  void TearDown() override { tb::RemoveTree(dir_); }

  // Writes the session image as gs00233a.q00 and runs the program's stages
  // on the command line "logsplit <options> <input>".
  Status Convert(const tb::SessionParams& params, const std::vector<std::string>& options) {
    const std::string input = dir_ + "/gs00233a.q00";
    tb::WriteFile(input, tb::SessionImage(params).bytes());
    std::vector<const char*> argv = {"logsplit"};
    for (const std::string& o : options) argv.push_back(o.c_str());
    argv.push_back(input.c_str());
    auto app = std::make_unique<Application>();
    auto cs = std::make_unique<ConvState>();
    app->SetMessageCallback([](int32_t, const char*, void*) {}, nullptr);
    app->customArgsRoot = dir_.c_str();  // no stored custom arguments
    Status st = app->ParseArguments(static_cast<int>(argv.size()), argv.data(), true);
    if (st == 0) st = app->ApplyRegistryArguments();
    if (st == 0) st = app->ResolveOutputName();
    if (st == 0) st = app->RunConversion(*cs);
    return st;
  }

  std::string Out(const std::string& name) const { return dir_ + "/" + name; }

  std::string dir_;
};

// The five DAT header records (361 bytes) of the standard session with
// the given station text, name tail and receiver serial string.
std::vector<uint8_t> ExpectedHeaders(const std::string& station, const std::string& tail,
                                     const std::string& serial, uint8_t typeCode,
                                     const std::string& headerName, uint8_t nameLength) {
  Le e;
  e.u8(0x74).u8(24).u8(6).u8(5).u16(0).u16(4).u32(0).u32(0).u32(0).u32(0);

  e.u8(0x74).u8(98).u8(0).u8(5).u8(1).u8(0).text(station, 5).u8(ss::kRefKind);
  e.f64(ss::kRefLat * 180.0).f64(ss::kRefLon * 180.0).f64(ss::kRefHeight).f64(ss::kAntennaHeight);
  e.u8(ss::kAntennaHeightUnit).u8(1).u8(nameLength);
  e.text(headerName, 51);

  e.u8(0x74).u8(65).u8(1).u8(5).u16(0).text(tail, 5).u8(ss::kScheduleSpecified);
  e.u16(ss::kScheduleStart).u16(ss::kScheduleStop).u16(ss::kLoggingStart).u16(ss::kLoggingStop);
  e.u16(1500).u16(108).u16(10).u16(11);  // first epoch: Saturday 11 October 2008
  e.u16(ss::kSyncRate).u8(ss::kElevationMask).u8(ss::kMinSvs).u8(ss::kAntennaInField);
  e.u8(ss::kLoggingSpecified).u8(ss::kPositionOnly).u8(ss::kEveryCycle).u8(ss::kSvSelection);
  e.u8(ss::kA4).u8(1).u8(ss::kA5).text(ss::kT1, 4).f64(ss::kD1Raw);
  e.u32(ss::kW1).u32(ss::kW2).u32(ss::kW3).u8(ss::kA10);

  e.u8(0x74).u8(64).u8(2).u8(5).u16(0).u16(ss::kDataNav).u16(ss::kDataSig);
  e.u16(3).u16(11).u16(1).text("     12345", 12).text(serial, 12).u8(typeCode);
  e.u8(ss::kA1).u8(ss::kL2Flag).u8(ss::kTestMode).u8(1).u8(ss::kA7).u8(ss::kA8).u8(ss::kA9);
  e.f64(ss::kD2Raw / 16.0).u32(ss::kW4).u16(ss::kH1).u8(ss::kA6).u8(ss::kA11);

  e.u8(0x74).u8(110).u8(3).u8(5).u16(0);
  const double p[12] = {ss::kPositions[0], ss::kPositions[1], ss::kPositions[2], 99.9,
                        ss::kPositions[4], ss::kPositions[5], 100.0, ss::kPositions[7],
                        ss::kPositions[8], ss::kPositions[9], ss::kPositions[10],
                        ss::kPositions[11]};
  for (int i = 0; i < 12; ++i) {
    const bool height = i == 2 || i == 3 || i == 6 || i == 9;
    e.f64(height ? p[i] : p[i] * 180.0);
  }
  e.u32(ss::kW5).u32(ss::kW6);
  return e.b;
}

std::string ExpectedMesTracking() {
  const std::vector<Figures> f = ExpectedTracking();
  std::string out;
  char cell[32];
  for (size_t start = 0; start < f.size(); start += 10) {
    const size_t end = std::min(f.size(), start + 10);
    std::string rows[5] = {"Tracking ", "total L1 ", "cont  L1 ", "total L2 ", "cont  L2 "};
    for (size_t i = start; i < end; ++i) {
      std::snprintf(cell, sizeof cell, "  SV %2d", f[i].sv);
      rows[0] += cell;
      const long values[4] = {f[i].totalL1, f[i].contL1, f[i].totalL2, f[i].contL2};
      for (int r = 0; r < 4; ++r) {
        std::snprintf(cell, sizeof cell, " %6ld", values[r]);
        rows[r + 1] += cell;
      }
    }
    out += "\n";
    for (const std::string& row : rows) out += row + "\n";
  }
  return out;
}

TEST_F(SessionImageTest, FullSessionGivesHeaderRecordsReportsAndCfg) {
  ASSERT_EQ(Convert({}, {"-deima", "-s", "-n", "-u1", "-W1400"}), 0);

  // -u1: the long station name (up to its space) and the name tail from the
  // first epoch (day 285, hour 23 = 'N'), then ".vx!" becomes ".dat".
  const std::string datName = Out("HIGHRIDGE_OBSERVATORY_NORTH285N.dat");
  ASSERT_TRUE(tb::FileExists(datName));
  EXPECT_FALSE(tb::FileExists(Out("gs00233a.dat")));
  EXPECT_FALSE(tb::FileExists(Out("gs00233a.vx!")));
  const std::vector<uint8_t> dat = tb::ReadFile(datName);
  ASSERT_GE(dat.size(), 485u);

  // Receiver type code 29: station text from the header station name, the
  // serial string fixed by -n (0000012345 + 2^32).
  const std::vector<uint8_t> headers = ExpectedHeaders("PHA7", "285N", "4294979641", 29, "ALPHA7", 6);
  ASSERT_EQ(headers.size(), 361u);
  for (size_t i = 0; i < headers.size(); ++i) ASSERT_EQ(dat[i], headers[i]) << "header byte " << i;

  // The opening ion/UTC record was rewritten in place from the type-15 record.
  Le ion;
  for (int i = 0; i < 11; ++i) ion.f64(ss::IonValue(i));
  ion.f64(ss::kIonShort[0]).f64(ss::kIonShort[1]).f64(ss::kIonLong);
  for (uint8_t b : ss::kIonTail) ion.u8(b);
  EXPECT_EQ(std::vector<uint8_t>(dat.begin() + 361, dat.begin() + 365),
            (std::vector<uint8_t>{0x74, 124, 0, 15}));
  EXPECT_EQ(std::vector<uint8_t>(dat.begin() + 365, dat.begin() + 485), ion.b);
  EXPECT_EQ(tb::ReadFile(Out("gs00233a.ion")), std::vector<uint8_t>(ion.b.begin(), ion.b.begin() + 115));

  // The records after the opening ones: type, byte 2 and length. Session
  // records (14, 22, 23, 24), a type-30 subtype 0 and a text of subtype 6
  // write nothing; the three epochs are one record each.
  struct Rec {
    uint8_t type, byte2;
    size_t length;
  };
  const Rec want[] = {{12, 0, 68},   {30, 1, 45},  {16, 3, 36},  {16, 27, 17}, {3, 0, 206},
                      {31, 0, 18},   {31, 0, 108}, {31, 0, 108}, {31, 0, 68},  {17, 0, 165},
                      {17, 0, 213},  {17, 0, 69}};
  size_t at = 485;
  int epoch = 0;
  for (const Rec& r : want) {
    ASSERT_LE(at + 4, dat.size());
    const size_t len = (r.type == 12 || r.type == 17) ? dat[at + 1] | (dat[at + 2] << 8) : dat[at + 1];
    EXPECT_EQ(dat[at], 0x74);
    EXPECT_EQ(dat[at + 3], r.type) << "at " << at;
    if (r.type != 12 && r.type != 17) {
      EXPECT_EQ(dat[at + 2], r.byte2);
    }
    ASSERT_EQ(len, r.length) << "type " << int(r.type) << " at " << at;
    if (r.type == 17) {
      EXPECT_EQ(bo::GetLeDouble(dat.data() + at + 4), ss::kEpochs[epoch++]);
    }
    if (r.type == 16 && r.byte2 == 27) {
      const std::vector<uint8_t> text(dat.begin() + at + 4, dat.begin() + at + len);
      EXPECT_EQ(Text(text), "ANTSER: 12345");
    }
    if (r.type == 30) {
      // The receiver information record keeps the data as received: the
      // serial string fix reaches only the header records and reports.
      Le b;
      b.u8(0x74).u8(45).u8(1).u8(30).u8(6);
      b.u8(8).u32(ss::kInfoSerial).u16(0x0100 | 29).u8(0xAA).u8(0xBB);
      b.u8(10).text("0000012345", 10).u8(2).u8(1).u8(2);
      b.u8(8).u16(101).u16(2).u16(3).u8(0xCC).u8(0xDD).u8(0).u8(6).u32(ss::kInfoAntenna).u16(0x0506);
      EXPECT_EQ(std::vector<uint8_t>(dat.begin() + at, dat.begin() + at + 45), b.b);
    }
    at += len;
  }
  EXPECT_EQ(at, dat.size());

  // EPH slot of SV 5: values 0..24 from the ephemeris record, the rest and
  // the flag bytes 320..332 from the image's initial block.
  const std::vector<uint8_t> eph = tb::ReadFile(Out("gs00233a.eph"));
  ASSERT_EQ(eph.size(), 10756u);
  const uint8_t* slot = eph.data() + 4 + (ss::kEphSv - 1) * 336;
  for (int v = 0; v < 40; ++v)
    EXPECT_EQ(bo::GetLeDouble(slot + 8 * v), v < 25 ? ss::EphValue(v) : 4 + v / 64.0) << v;
  for (int b = 0; b < 13; ++b) EXPECT_EQ(slot[320 + b], 0x40 + b);
  EXPECT_EQ(slot[334], 0);
  EXPECT_EQ(slot[335], 0);

  // MES report.
  std::string mes =
      "Station ID: PHA7  Session #: 285-N     Oct 11, 2008 23:15\n"
      "Reference Position - USER SPECIFIED:\n"
      "Lat.  = 49:13'07.500\" N  Long. =  77:20'37.500\" W  Height = 312.4  [meters]\n"
      "Antenna height   =  1.5625  [meters]  (entered in the field in meters)\n"
      "Long station name:  ALPHA7\n"
      "\n"
      "Receiver serial # = 4294979641\n"
      "Antenna serial  # =      12345  (entered in the field)\n"
      "NP Software = 5.50     SP Software = 1.20     Download Software = 3.11.01\n"
      "\nSurvey schedule:  Start time = 08:00  Stop time = 17:00\n"
      "Data-logging start time = 08:05\n"
      "Data-logging stop  time = 16:55\n";
  mes += ExpectedMesTracking();
  mes +=
      "\nSV Selection mode = AUTOMATIC\n"
      "Elevation mask    = 15     [degrees]   Minimum # of SVs  =  4\n"
      "Survey sync rate  = 15.0   [sec]\n"
      "LOGGED POSITION DATA EVERY CYCLE\n"
      "\n3D Position" + Spaces(6) + "Best PDOP Position [99.9]" + Spaces(5) + "Mean Position [1234]\n" +
      "Latitude:" + Spaces(9) + "49:13'07.50000\" N" + Spaces(13) + "45:00'00.00000\" N\n" +
      "Longitude:" + Spaces(7) + " 77:20'37.50000\" W" + Spaces(12) + " 90:00'00.00000\" E\n" +
      "Height [m]:" + Spaces(6) + Spaces(10) + "305.5" + Spaces(15) + Spaces(10) + "300.4\n" +
      "\n2D Position" + Spaces(6) + "Position not available\n" + "\n";
  const std::string mesText = Text(tb::ReadFile(Out("gs00233a.mes")));
  EXPECT_EQ(mesText, mes);
  // 23 tracked SVs: groups of 10, 10 and 3 (SV 4 tracked L2 only).
  EXPECT_NE(mesText.find("\nTracking   SV  1  SV  2  SV  3  SV  5  SV  6  SV  7  SV  9  SV 10  SV 11"
                         "  SV 12\ntotal L1     280    206    209    215"),
            std::string::npos);
  EXPECT_NE(mesText.find("\nTracking   SV 13  SV 14  SV 15  SV 17  SV 18  SV 19  SV 20  SV 21"
                         "  SV 22  SV 24\n"),
            std::string::npos);
  EXPECT_NE(mesText.find("\nTracking   SV 25  SV 27  SV 31\n"), std::string::npos);

  // Summary: versions reported by the data, the last epoch in the next week.
  std::string summary =
      "Station         : PHA7\n"
      "Session         : 285N\n"
      "First meas      : 08.10.11 23:15:00   1500 602100\n"
      "Last  meas      : 08.10.12  0:45:00   1501   2700\n"
      "\n"
      "Rx  Serial#     : 4294979641\n"
      "Ant Serial#     :      12345\n"
      "NP version      : 1.02\n"
      "SP Software     : 2.05\n"
      "Download version: 3.11.01\n"
      "\n"
      "Tracking        : Total L1  Cont  L1  Total L2  Cont  L2\n";
  char row[96];
  for (const Figures& f : ExpectedTracking()) {
    std::snprintf(row, sizeof row, "SV %2d           : %8ld  %8ld  %8ld  %8ld\n", f.sv, f.totalL1,
                  f.contL1, f.totalL2, f.contL2);
    summary += row;
  }
  EXPECT_EQ(Text(tb::ReadFile(Out("gs00233a.txt"))), summary);

  // CFG: the second application file (260 bytes) in two packets, the first
  // with the prefix and the items of 102 and 102 bytes, the second with the
  // item of 52 bytes; byte count 260 + 2 x 9.
  const std::vector<uint8_t> app = ss::AppFile();
  ASSERT_EQ(app.size(), 260u);
  Le cfg;
  cfg.u16(278);
  auto packet = [&cfg, &app](size_t from, size_t p, uint8_t index) {
    const uint8_t head[7] = {0x02, 0x00, 0x64, static_cast<uint8_t>(p + 3), 0x00, index, 1};
    unsigned sum = 0;  // bytes 1 to 6 of the packet and the payload
    for (int i = 0; i < 7; ++i) {
      cfg.u8(head[i]);
      if (i > 0) sum += head[i];
    }
    for (size_t i = 0; i < p; ++i) {
      cfg.u8(app[from + i]);
      sum += app[from + i];
    }
    cfg.u8(sum & 0xFF).u8(0x03);
  };
  packet(0, 208, 0);
  packet(208, 52, 1);
  EXPECT_EQ(tb::ReadFile(Out("gs00233a.cfg")), cfg.b);
}

// Station text, name tail, serial string and final DAT name by receiver
// type code (29 to 59 take them from the data), -n / -n! and -u1.
struct Variant {
  const char* name;
  uint8_t typeCode = 29;
  uint16_t firmware = 101;
  const char* headerName = "ALPHA7";
  bool terminated = true;  // header station name sent with a NUL
  const char* serialText = "0000012345";
  const char* longNameText = "HIGHRIDGE_OBSERVATORY_NORTH CAMP";
  bool narrow = false;     // session record types 4, 13, 5
  std::vector<std::string> options = {};
  const char* station = "PHA7";
  const char* tail = "285N";
  const char* serial = "0000012345";   // subtype 2
  const char* printed = "0000012345";  // reports
  const char* datName = "gs00233a.dat";
};

void PrintTo(const Variant& v, std::ostream* os) { *os << v.name; }

class SessionVariantTest : public SessionImageTest, public ::testing::WithParamInterface<Variant> {};

TEST_P(SessionVariantTest, StationTailSerialAndName) {
  const Variant& v = GetParam();
  tb::SessionParams params;
  params.typeCode = v.typeCode;
  params.firmware = v.firmware;
  params.headerName = v.headerName;
  params.headerNameTerminated = v.terminated;
  params.serialText = v.serialText;
  params.longNameText = v.longNameText;
  params.narrow = v.narrow;
  std::vector<std::string> options = {"-d", "-m", "-s"};
  options.insert(options.end(), v.options.begin(), v.options.end());
  ASSERT_EQ(Convert(params, options), 0);
  const std::string escaped = dir_ + "/../ESCAPE285N.dat";
  const bool escapedExists = tb::FileExists(escaped);
  std::remove(escaped.c_str());
  EXPECT_FALSE(escapedExists);

  ASSERT_TRUE(tb::FileExists(Out(v.datName))) << v.datName;
  const std::vector<uint8_t> dat = tb::ReadFile(Out(v.datName));
  ASSERT_GE(dat.size(), 361u);
  const std::string name = v.headerName;
  const uint8_t length = static_cast<uint8_t>(name.empty() || v.terminated ? name.size() : name.size() - 1);
  const std::vector<uint8_t> want =
      ExpectedHeaders(v.station, v.tail, v.serial, v.typeCode, name, length);
  for (size_t i = 0; i < want.size(); ++i) ASSERT_EQ(dat[i], want[i]) << "header byte " << i;

  char line[128];
  std::snprintf(line, sizeof line, "Station ID: %-4s  Session #: %.3s-%c     Oct 11, 2008 23:15\n",
                v.station, v.tail, v.tail[3]);
  const std::string mes = Text(tb::ReadFile(Out("gs00233a.mes")));
  EXPECT_EQ(mes.rfind(line, 0), 0u);
  // The whole header station name (length + 1 characters) is printed.
  EXPECT_NE(mes.find("Long station name:  " + name + "\n"), std::string::npos);
  EXPECT_NE(mes.find(std::string("Receiver serial # = ") + v.printed + "\n"), std::string::npos);
  std::snprintf(line, sizeof line, "Station         : %s\nSession         : %s\n", v.station, v.tail);
  const std::string summary = Text(tb::ReadFile(Out("gs00233a.txt")));
  EXPECT_EQ(summary.rfind(line, 0), 0u);
  EXPECT_NE(summary.find(std::string("Rx  Serial#     : ") + v.printed + "\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SessionVariantTest,
    ::testing::Values(
        Variant{.name = "SteloFixAndRename", .options = {"-n", "-u1"}, .serial = "4294979641",
                .printed = "4294979641", .datName = "HIGHRIDGE_OBSERVATORY_NORTH285N.dat"},
        Variant{.name = "NarrowSessionRecords", .narrow = true},
        Variant{.name = "ShortHeaderNameAtCode59", .typeCode = 59, .headerName = "AB",
                .options = {"-u1"}, .station = "AB",
                .datName = "HIGHRIDGE_OBSERVATORY_NORTH285N.dat"},
        // A name that fills its length + 1 bytes: its last character counts.
        Variant{.name = "UnterminatedHeaderName", .headerName = "BRAVO9", .terminated = false,
                .station = "AVO9"},
        Variant{.name = "UnterminatedTwoCharacterName", .headerName = "AB", .terminated = false,
                .station = "AB"},
        Variant{.name = "NoHeaderNameKeepsFileStation", .typeCode = 40, .headerName = "",
                .station = "GS00"},
        Variant{.name = "CodeBelow29UsesFileName", .typeCode = 28, .options = {"-n", "-u1"},
                .station = "GS00", .tail = "233A",
                .datName = "HIGHRIDGE_OBSERVATORY_NORTH233A.dat"},
        Variant{.name = "CodeAbove59UsesFileName", .typeCode = 60, .options = {"-n!"},
                .station = "GS00", .tail = "233A"},
        Variant{.name = "FixNeedsFirmware100To103", .firmware = 104, .options = {"-n"}},
        Variant{.name = "FixForcedWithBang", .firmware = 104, .options = {"-n!"},
                .serial = "4294979641", .printed = "4294979641"},
        // No serial string: the number of the receiver information record,
        // which came before the session header, replaces the header's.
        Variant{.name = "NoSerialStringUsesNumber", .serialText = "", .options = {"-n"},
                .serial = "0012345678", .printed = "12345678"},
        Variant{.name = "RenameNeedsLongName", .longNameText = " LEADING SPACE", .options = {"-u1"}},
        Variant{.name = "LongNameCutAt50",
                .longNameText = "QQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQRRRRRRRRRR",
                .options = {"-u1"},
                .datName = "QQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQ285N.dat"},
        // A station name from the data never moves the file out of its folder.
        Variant{.name = "LongNameWithPathStaysInFolder", .longNameText = "../ESCAPE",
                .options = {"-u1"}}),
    [](const auto& info) { return std::string(info.param.name); });

// PDOP 99.9 still prints a position block; above it the block says
// "Position not available". Here the 2D block has 99.9 and the 3D 100.0.
TEST_F(SessionImageTest, PdopLimitSelectsPositionBlocks) {
  tb::SessionParams params;
  params.pdop3d = 100.0;
  params.pdop2d = 99.9;
  ASSERT_EQ(Convert(params, {"-dm"}), 0);
  const std::string mes = Text(tb::ReadFile(Out("gs00233a.mes")));
  const std::string tail =
      "LOGGED POSITION DATA EVERY CYCLE\n"
      "\n3D Position" + Spaces(6) + "Position not available\n" +
      "\n2D Position" + Spaces(6) + "Best PDOP Position [99.9]" + Spaces(5) + "Mean Position [56]\n" +
      // 2D: P4 0.1 and P5 0.2 semicircles (18 and 36 degrees), means P10
      // 0.3 and P11 0.4 (54 and 72 degrees); no height line.
      "Latitude:" + Spaces(9) + "18:00'00.00000\" N" + Spaces(13) + "54:00'00.00000\" N\n" +
      "Longitude:" + Spaces(7) + " 36:00'00.00000\" E" + Spaces(12) + " 72:00'00.00000\" E\n" + "\n";
  ASSERT_GE(mes.size(), tail.size());
  EXPECT_EQ(mes.substr(mes.size() - tail.size()), tail);
}

}  // namespace
