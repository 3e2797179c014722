// A whole survey session in a raw image, converted as the command line
// would run it (-d -e -i -m -s -a with -n / -u1 variants). The expected
// DAT header records, MES report, summary and CFG file are written out
// from the records' field values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "common/byte_order.h"
#include "dat/conv_state.h"
#include "support/session_image_builder.h"

namespace {

namespace ss = tb::session;
using Bytes = std::vector<uint8_t>;

constexpr const char* kRenamed = "HIGHRIDGE_OBSERVATORY_NORTH285N.dat";

std::string Spaces(size_t n) { return std::string(n, ' '); }

// Status and every file left in the folder, by name.
struct Outcome {
  Status status = 0;
  std::map<std::string, Bytes> files;
  std::string Text(const std::string& name) { return {files[name].begin(), files[name].end()}; }
};

// Writes the session image as gs00233a.q00 in a fresh folder and runs the
// program's stages on the command line "logsplit <options> <input>".
Outcome Convert(const tb::SessionParams& params, std::vector<std::string> options) {
  const std::string dir = tb::MakeTempDir();
  tb::WriteFile(dir + "/gs00233a.q00", tb::SessionImage(params).bytes());
  options.insert(options.begin(), "logsplit");
  options.push_back(dir + "/gs00233a.q00");
  std::vector<const char*> argv;
  for (const std::string& o : options) argv.push_back(o.c_str());
  auto app = std::make_unique<Application>();
  auto cs = std::make_unique<ConvState>();
  app->SetMessageCallback([](int32_t, const char*, void*) {}, nullptr);
  app->customArgsRoot = dir.c_str();  // no stored custom arguments
  Outcome out;
  Status& st = out.status;
  st = app->ParseArguments(static_cast<int>(argv.size()), argv.data(), true);
  if (st == 0) st = app->ApplyRegistryArguments();
  if (st == 0) st = app->ResolveOutputName();
  if (st == 0) st = app->RunConversion(*cs);
  for (const auto& e : std::filesystem::directory_iterator(dir))
    out.files[e.path().filename().string()] = tb::ReadFile(e.path().string());
  // A station name from the data never moves the file out of its folder.
  const std::string escaped = dir + "/../ESCAPE285N.dat";
  EXPECT_FALSE(tb::FileExists(escaped));
  std::remove(escaped.c_str());
  tb::RemoveTree(dir);
  return out;
}

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

// The five DAT header records (361 bytes) of the standard session with
// the given station text, name tail and receiver serial string.
Bytes ExpectedHeaders(const std::string& station, const std::string& tail, const std::string& serial,
                      uint8_t typeCode, const std::string& headerName, uint8_t nameLength) {
  using namespace ss;
  tb::Le e;
  e.u8(0x74).u8(24).u8(6).u8(5).u16(0).u16(4).zeros(16);

  e.u8(0x74).u8(98).u8(0).u8(5).u8(1).u8(0).text(station, 5).u8(kRefKind);
  e.f64(kRefLat * 180.0).f64(kRefLon * 180.0).f64(kRefHeight).f64(kAntennaHeight);
  e.u8(kAntennaHeightUnit).u8(1).u8(nameLength).text(headerName, 51);

  e.u8(0x74).u8(65).u8(1).u8(5).u16(0).text(tail, 5).u8(kScheduleSpecified);
  e.u16(kScheduleStart).u16(kScheduleStop).u16(kLoggingStart).u16(kLoggingStop);
  e.u16(1500).u16(108).u16(10).u16(11);  // first epoch: Saturday 11 October 2008
  e.u16(kSyncRate).u8(kElevationMask).u8(kMinSvs).u8(kAntennaInField);
  e.u8(kLoggingSpecified).u8(kPositionOnly).u8(kEveryCycle).u8(kSvSelection);
  e.u8(kA4).u8(1).u8(kA5).text(kT1, 4).f64(kD1Raw).u32(kW1).u32(kW2).u32(kW3).u8(kA10);

  e.u8(0x74).u8(64).u8(2).u8(5).u16(0).u16(kDataNav).u16(kDataSig);
  e.u16(3).u16(11).u16(1).text("     12345", 12).text(serial, 12).u8(typeCode);
  e.u8(kA1).u8(kL2Flag).u8(kTestMode).u8(1).u8(kA7).u8(kA8).u8(kA9);
  e.f64(kD2Raw / 16.0).u32(kW4).u16(kH1).u8(kA6).u8(kA11);

  // Positions: PDOPs 99.9 and 100.0, heights as they are, the rest in degrees.
  e.u8(0x74).u8(110).u8(3).u8(5).u16(0);
  for (int i = 0; i < 12; ++i) {
    const double p = i == 3 ? 99.9 : i == 6 ? 100.0 : kPositions[i];
    e.f64(i == 2 || i == 3 || i == 6 || i == 9 ? p : p * 180.0);
  }
  e.u32(kW5).u32(kW6);
  return e.b;
}

std::string ExpectedMesTracking() {
  const std::vector<Figures> f = ExpectedTracking();
  std::string out;
  char cell[32];
  for (size_t start = 0; start < f.size(); start += 10) {
    std::string rows[5] = {"Tracking ", "total L1 ", "cont  L1 ", "total L2 ", "cont  L2 "};
    for (size_t i = start; i < std::min(f.size(), start + 10); ++i) {
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

TEST(SessionImage, FullSessionGivesHeaderRecordsReportsAndCfg) {
  Outcome out = Convert({}, {"-deima", "-s", "-n", "-u1", "-W1400"});
  ASSERT_EQ(out.status, 0);
  // -u1: the long station name (up to its space) and the name tail from the
  // first epoch (day 285, hour 23 = 'N'), then ".vx!" becomes ".dat".
  const std::string datName = kRenamed;
  std::vector<std::string> names;
  for (const auto& f : out.files) names.push_back(f.first);
  EXPECT_EQ(names, (std::vector<std::string>{datName, "gs00233a.cfg", "gs00233a.eph", "gs00233a.ion",
                                             "gs00233a.mes", "gs00233a.q00", "gs00233a.txt"}));
  const Bytes& dat = out.files[datName];
  ASSERT_GE(dat.size(), 485u);

  // Receiver type code 29: station text from the header station name, the
  // serial string fixed by -n (0000012345 + 2^32).
  const Bytes headers = ExpectedHeaders("PHA7", "285N", "4294979641", 29, "ALPHA7", 6);
  ASSERT_EQ(headers.size(), 361u);
  EXPECT_EQ(Bytes(dat.begin(), dat.begin() + 361), headers);

  // The opening ion/UTC record was rewritten in place from the type-15 record.
  tb::Le ion;
  ion.u8(0x74).u8(124).u8(0).u8(15);
  for (int i = 0; i < 11; ++i) ion.f64(ss::IonValue(i));
  ion.f64(ss::kIonShort[0]).f64(ss::kIonShort[1]).f64(ss::kIonLong);
  for (uint8_t b : ss::kIonTail) ion.u8(b);
  EXPECT_EQ(Bytes(dat.begin() + 361, dat.begin() + 485), ion.b);
  EXPECT_EQ(out.files["gs00233a.ion"], Bytes(ion.b.begin() + 4, ion.b.begin() + 119));

  // The records after the opening ones: type, byte 2 and length. Session
  // records (14, 22, 23, 24), a type-30 subtype 0 and a text of subtype 6
  // write nothing; the three epochs are one record each.
  const int want[][3] = {{12, 0, 68},  {30, 1, 45},  {16, 3, 36},  {16, 27, 17},
                         {3, 0, 206},  {31, 0, 18},  {31, 0, 108}, {31, 0, 108},
                         {31, 0, 68},  {17, 0, 165}, {17, 0, 213}, {17, 0, 69}};
  size_t at = 485;
  int epoch = 0;
  for (const auto& [type, byte2, length] : want) {
    ASSERT_LE(at + 4, dat.size());
    const bool wide = type == 12 || type == 17;
    const size_t len = wide ? dat[at + 1] | (dat[at + 2] << 8) : dat[at + 1];
    EXPECT_EQ(dat[at], 0x74);
    EXPECT_EQ(dat[at + 3], type) << "at " << at;
    if (!wide) {
      EXPECT_EQ(dat[at + 2], byte2);
    }
    ASSERT_EQ(len, static_cast<size_t>(length)) << "type " << type << " at " << at;
    if (type == 17) {
      EXPECT_EQ(bo::GetLeDouble(dat.data() + at + 4), ss::kEpochs[epoch++]);
    }
    if (byte2 == 27) {
      EXPECT_EQ(std::string(dat.begin() + at + 4, dat.begin() + at + len), "ANTSER: 12345");
    }
    at += len;
  }
  EXPECT_EQ(at, dat.size());
  // The receiver information record keeps the data as received: the serial
  // string fix reaches only the header records and reports.
  tb::Le info;
  info.u8(0x74).u8(45).u8(1).u8(30).u8(6).u8(8).u32(ss::kInfoSerial).u16(0x0100 | 29).u8(0xAA).u8(0xBB);
  info.u8(10).text("0000012345", 10).u8(2).u8(1).u8(2);
  info.u8(8).u16(101).u16(2).u16(3).u8(0xCC).u8(0xDD).u8(0).u8(6).u32(ss::kInfoAntenna).u16(0x0506);
  EXPECT_EQ(Bytes(dat.begin() + 485 + 68, dat.begin() + 485 + 68 + 45), info.b);

  // EPH slot of SV 5 after the run: value 24 from the ephemeris record,
  // value 25 and the flag bytes from the image's initial block.
  const Bytes& eph = out.files["gs00233a.eph"];
  ASSERT_EQ(eph.size(), 10756u);
  const uint8_t* slot = eph.data() + 4 + (ss::kEphSv - 1) * 336;
  EXPECT_EQ(bo::GetLeDouble(slot + 8 * 24), ss::EphValue(24));
  EXPECT_EQ(bo::GetLeDouble(slot + 8 * 25), 4 + 25 / 64.0);
  EXPECT_EQ(slot[332], 0x40 + 12);

  // MES report: 23 tracked SVs in groups of 10, 10 and 3 (SV 4 tracked L2 only).
  const std::string mes =
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
      "Data-logging stop  time = 16:55\n" +
      ExpectedMesTracking() +
      "\nSV Selection mode = AUTOMATIC\n"
      "Elevation mask    = 15     [degrees]   Minimum # of SVs  =  4\n"
      "Survey sync rate  = 15.0   [sec]\n"
      "LOGGED POSITION DATA EVERY CYCLE\n"
      "\n3D Position" + Spaces(6) + "Best PDOP Position [99.9]" + Spaces(5) + "Mean Position [1234]\n" +
      "Latitude:" + Spaces(9) + "49:13'07.50000\" N" + Spaces(13) + "45:00'00.00000\" N\n" +
      "Longitude:" + Spaces(7) + " 77:20'37.50000\" W" + Spaces(12) + " 90:00'00.00000\" E\n" +
      "Height [m]:" + Spaces(16) + "305.5" + Spaces(25) + "300.4\n" +
      "\n2D Position" + Spaces(6) + "Position not available\n\n";
  EXPECT_EQ(out.Text("gs00233a.mes"), mes);

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
  EXPECT_EQ(out.Text("gs00233a.txt"), summary);

  // CFG: the second application file (260 bytes) in two packets, the first
  // with the prefix and the items of 102 and 102 bytes, the second with the
  // item of 52 bytes; byte count 260 + 2 x 9.
  const Bytes app = ss::AppFile();
  ASSERT_EQ(app.size(), 260u);
  tb::Le cfg;
  cfg.u16(278);
  auto packet = [&cfg, &app](size_t from, size_t n, uint8_t index) {
    const uint8_t head[7] = {0x02, 0x00, 0x64, static_cast<uint8_t>(n + 3), 0x00, index, 1};
    unsigned sum = 0;  // bytes 1 to 6 of the packet and the payload
    for (int i = 0; i < 7; ++i) cfg.u8(head[i]), sum += i > 0 ? head[i] : 0;
    for (size_t i = 0; i < n; ++i) cfg.u8(app[from + i]), sum += app[from + i];
    cfg.u8(sum & 0xFF).u8(0x03);
  };
  packet(0, 208, 0);
  packet(208, 52, 1);
  EXPECT_EQ(out.files["gs00233a.cfg"], cfg.b);
}

// Station text, name tail, serial string and final DAT name by receiver
// type code (29 to 59 take them from the data), -n / -n! and -u1.
struct Variant {
  const char* name;
  tb::SessionParams params = {};
  std::vector<std::string> options = {};
  const char* station = "PHA7";
  const char* tail = "285N";
  const char* serial = "0000012345";   // subtype 2
  const char* printed = "0000012345";  // reports
  const char* datName = "gs00233a.dat";
};

void PrintTo(const Variant& v, std::ostream* os) { *os << v.name; }

class SessionVariantTest : public ::testing::TestWithParam<Variant> {};

TEST_P(SessionVariantTest, StationTailSerialAndName) {
  const Variant& v = GetParam();
  std::vector<std::string> options = {"-d", "-m", "-s"};
  options.insert(options.end(), v.options.begin(), v.options.end());
  Outcome out = Convert(v.params, options);
  ASSERT_EQ(out.status, 0);
  ASSERT_EQ(out.files.count(v.datName), 1u) << v.datName;
  const Bytes& dat = out.files[v.datName];
  ASSERT_GE(dat.size(), 361u);
  const std::string& name = v.params.headerName;
  const size_t length = name.empty() || v.params.headerNameTerminated ? name.size() : name.size() - 1;
  EXPECT_EQ(Bytes(dat.begin(), dat.begin() + 361),
            ExpectedHeaders(v.station, v.tail, v.serial, v.params.typeCode, name, static_cast<uint8_t>(length)));

  char line[128];
  std::snprintf(line, sizeof line, "Station ID: %-4s  Session #: %.3s-%c     Oct 11, 2008 23:15\n",
                v.station, v.tail, v.tail[3]);
  const std::string mes = out.Text("gs00233a.mes");
  EXPECT_EQ(mes.rfind(line, 0), 0u);
  // The whole header station name (length + 1 characters) is printed.
  EXPECT_NE(mes.find("Long station name:  " + name + "\n"), std::string::npos);
  EXPECT_NE(mes.find(std::string("Receiver serial # = ") + v.printed + "\n"), std::string::npos);
  std::snprintf(line, sizeof line, "Station         : %s\nSession         : %s\n", v.station, v.tail);
  const std::string summary = out.Text("gs00233a.txt");
  EXPECT_EQ(summary.rfind(line, 0), 0u);
  EXPECT_NE(summary.find(std::string("Rx  Serial#     : ") + v.printed + "\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SessionVariantTest,
    ::testing::Values(
        Variant{.name = "NarrowSessionRecords", .params = {.narrow = true}},
        // Code 59 still takes the header name; a short name sent without a
        // NUL fills its length + 1 bytes and is used whole.
        Variant{.name = "ShortUnterminatedHeaderNameAtCode59",
                .params = {.typeCode = 59, .headerName = "AB", .headerNameTerminated = false},
                .options = {"-u1"}, .station = "AB", .datName = kRenamed},
        // A name that fills its length + 1 bytes: its last character counts.
        Variant{.name = "UnterminatedHeaderName",
                .params = {.headerName = "BRAVO9", .headerNameTerminated = false}, .station = "AVO9"},
        Variant{.name = "NoHeaderNameKeepsFileStation", .params = {.typeCode = 40, .headerName = ""},
                .station = "GS00"},
        Variant{.name = "CodeBelow29UsesFileName", .params = {.typeCode = 28}, .options = {"-n", "-u1"},
                .station = "GS00", .tail = "233A", .datName = "HIGHRIDGE_OBSERVATORY_NORTH233A.dat"},
        Variant{.name = "CodeAbove59UsesFileName", .params = {.typeCode = 60}, .options = {"-n!"},
                .station = "GS00", .tail = "233A"},
        Variant{.name = "FixNeedsFirmware100To103", .params = {.firmware = 104}, .options = {"-n"}},
        Variant{.name = "FixForcedWithBang", .params = {.firmware = 104}, .options = {"-n!"},
                .serial = "4294979641", .printed = "4294979641"},
        // No serial string: the number of the receiver information record,
        // which came before the session header, replaces the header's.
        Variant{.name = "NoSerialStringUsesNumber", .params = {.serialText = ""}, .options = {"-n"},
                .serial = "0012345678", .printed = "12345678"},
        Variant{.name = "RenameNeedsLongName", .params = {.longNameText = " LEADING SPACE"},
                .options = {"-u1"}},
        Variant{.name = "LongNameCutAt50", .params = {.longNameText = std::string(50, 'Q') + "RRRRRRRRRR"},
                .options = {"-u1"}, .datName = "QQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQ285N.dat"},
        // Checked in Convert: nothing is written to the parent folder.
        Variant{.name = "LongNameWithPathStaysInFolder", .params = {.longNameText = "../ESCAPE"},
                .options = {"-u1"}}),
    [](const auto& info) { return std::string(info.param.name); });

// PDOP 99.9 still prints a position block; above it the block says
// "Position not available". Here the 2D block has 99.9 and the 3D 100.0.
TEST(SessionImage, PdopLimitSelectsPositionBlocks) {
  tb::SessionParams params;
  params.pdop3d = 100.0;
  params.pdop2d = 99.9;
  Outcome out = Convert(params, {"-dm"});
  ASSERT_EQ(out.status, 0);
  const std::string mes = out.Text("gs00233a.mes");
  // 2D: P4 0.1 and P5 0.2 semicircles (18 and 36 degrees), means P10 0.3
  // and P11 0.4 (54 and 72 degrees); no height line.
  const std::string tail =
      "LOGGED POSITION DATA EVERY CYCLE\n\n3D Position" + Spaces(6) + "Position not available\n" +
      "\n2D Position" + Spaces(6) + "Best PDOP Position [99.9]" + Spaces(5) + "Mean Position [56]\n" +
      "Latitude:" + Spaces(9) + "18:00'00.00000\" N" + Spaces(13) + "54:00'00.00000\" N\n" +
      "Longitude:" + Spaces(7) + " 36:00'00.00000\" E" + Spaces(12) + " 72:00'00.00000\" E\n\n";
  ASSERT_GE(mes.size(), tail.size());
  EXPECT_EQ(mes.substr(mes.size() - tail.size()), tail);
}

}  // namespace
