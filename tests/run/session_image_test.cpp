// A whole survey session in a raw image, converted as the command line
// would run it (-d -e -i -m -s -a with -n / -u1 variants). The expected
// DAT header records and report lines are written out from the records'
// field values; the report layouts themselves are checked in tests/report.
#include <gtest/gtest.h>

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

TEST(SessionImage, FullSessionGivesHeaderRecordsReportsAndCfg) {
  Outcome out = Convert({}, {"-deima", "-s", "-n", "-u1", "-W1400"});
  ASSERT_EQ(out.status, 0);
  // -u1: the long station name (up to its space) and the name tail from the
  // first epoch (day 285, hour 23 = 'N'), then ".vx!" becomes ".dat".
  std::vector<std::string> names;
  for (const auto& f : out.files) names.push_back(f.first);
  EXPECT_EQ(names, (std::vector<std::string>{kRenamed, "gs00233a.cfg", "gs00233a.eph", "gs00233a.ion",
                                             "gs00233a.mes", "gs00233a.q00", "gs00233a.txt"}));
  const Bytes& dat = out.files[kRenamed];
  ASSERT_GE(dat.size(), 485u);
  // Receiver type code 29: station text from the header station name, the
  // serial string fixed by -n (0000012345 + 2^32).
  EXPECT_EQ(Bytes(dat.begin(), dat.begin() + 361), ExpectedHeaders("PHA7", "285N", "4294979641", 29, "ALPHA7", 6));

  // The opening ion/UTC record was rewritten in place from the type-15
  // record, and the ION file holds the same block.
  tb::Le ion;
  ion.u8(0x74).u8(124).u8(0).u8(15);
  for (int i = 0; i < 11; ++i) ion.f64(ss::IonValue(i));
  ion.f64(ss::kIonShort[0]).f64(ss::kIonShort[1]).f64(ss::kIonLong);
  for (uint8_t b : ss::kIonTail) ion.u8(b);
  EXPECT_EQ(Bytes(dat.begin() + 361, dat.begin() + 485), ion.b);
  EXPECT_EQ(out.files["gs00233a.ion"], Bytes(ion.b.begin() + 4, ion.b.begin() + 119));

  // EPH slot of SV 5 after the run: value 24 from the ephemeris record,
  // value 25 and the flag bytes from the image's initial block.
  const Bytes& eph = out.files["gs00233a.eph"];
  ASSERT_EQ(eph.size(), 10756u);
  const uint8_t* slot = eph.data() + 4 + (ss::kEphSv - 1) * 336;
  EXPECT_EQ(bo::GetLeDouble(slot + 8 * 24), ss::EphValue(24));
  EXPECT_EQ(bo::GetLeDouble(slot + 8 * 25), 4 + 25 / 64.0);
  EXPECT_EQ(slot[332], 0x40 + 12);

  // The reports show the session's values: the MES report the versions of
  // the image header, the summary those of the session record.
  const std::string mes = out.Text("gs00233a.mes"), summary = out.Text("gs00233a.txt");
  for (const char* line : {"Lat.  = 49:13'07.500\" N  Long. =  77:20'37.500\" W  Height = 312.4  [meters]\n",
                           "\nLong station name:  ALPHA7\n\nReceiver serial # = 4294979641\n",
                           "\nNP Software = 5.50     SP Software = 1.20     Download Software = 3.11.01\n",
                           "\nData-logging stop  time = 16:55\n"})
    EXPECT_NE(mes.find(line), std::string::npos) << line;
  for (const char* line : {"\nFirst meas      : 08.10.11 23:15:00   1500 602100\n"
                           "Last  meas      : 08.10.12  0:45:00   1501   2700\n",  // in the next week
                           "\nRx  Serial#     : 4294979641\nAnt Serial#     :      12345\n"
                           "NP version      : 1.02\nSP Software     : 2.05\n",
                           "\nSV  1           :      280       150       210        90\n"})  // two sessions added up
    EXPECT_NE(summary.find(line), std::string::npos) << line;

  // CFG: the second application file (260 bytes) in two packets of 9 bytes
  // of framing each, after the 16-bit byte count 260 + 2 x 9.
  const Bytes& cfg = out.files["gs00233a.cfg"];
  ASSERT_EQ(cfg.size(), 2u + 278u);
  EXPECT_EQ(bo::GetLe16(cfg.data()), 278);
}

// Station text, name tail, serial string and final DAT name by receiver
// type code (29 to 59 take them from the data), -n! and -u1.
struct Variant {
  const char* name;
  tb::SessionParams params = {};
  std::vector<std::string> options = {};
  const char* station = "PHA7";
  const char* tail = "285N";
  const char* serial = "0000012345";
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
  EXPECT_EQ(out.Text("gs00233a.mes").rfind(line, 0), 0u);
  std::snprintf(line, sizeof line, "Station         : %s\nSession         : %s\n", v.station, v.tail);
  EXPECT_EQ(out.Text("gs00233a.txt").rfind(line, 0), 0u);
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
        Variant{.name = "FixForcedWithBang", .params = {.firmware = 104}, .options = {"-n!"},
                .serial = "4294979641"},
        // No serial string: the number of the receiver information record,
        // which came before the session header, replaces the header's.
        Variant{.name = "NoSerialStringUsesNumber", .params = {.serialText = ""}, .options = {"-n"},
                .serial = "0012345678"},
        Variant{.name = "LongNameCutAt50", .params = {.longNameText = std::string(50, 'Q') + "RRRRRRRRRR"},
                .options = {"-u1"}, .datName = "QQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQ285N.dat"},
        // Checked in Convert: nothing is written to the parent folder.
        Variant{.name = "LongNameWithPathStaysInFolder", .params = {.longNameText = "../ESCAPE"},
                .options = {"-u1"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
