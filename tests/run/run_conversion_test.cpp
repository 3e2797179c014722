// The conversion run end to end on raw images built from field values:
// header blocks into EPH/ION files, opening and patched DAT header
// records, console lines, cancellation and failing inputs/outputs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "app/application.h"
#include "common/byte_order.h"
#include "dat/conv_state.h"
#include "support/record_builder.h"

namespace {

struct Lines {
  std::vector<std::pair<int, std::string>> all;
  static void Collect(int32_t level, const char* text, void* user) {
    static_cast<Lines*>(user)->all.emplace_back(level, text);
  }
};

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = tb::MakeTempDir(); }
  void TearDown() override { tb::RemoveTree(dir_); }

  // A raw image whose header blocks hold recognisable values.
  tb::RawImage Image() const {
    tb::RawImage img;
    img.receiverCode = 0x0105;
    img.navVersion = 550;
    img.sigVersion = 120;
    for (int prn = 0; prn < 32; ++prn) {
      for (int v = 0; v < 40; ++v) img.eph[prn][v] = prn * 100.0 + v + 0.125;
      for (int b = 0; b < 13; ++b) img.ephTail[prn][b] = static_cast<uint8_t>(prn + b);
    }
    for (int v = 0; v < 14; ++v) img.ion[v] = std::ldexp(1.0, v - 20);
    for (int b = 0; b < 5; ++b) img.ionTail[b] = static_cast<uint8_t>(0xA0 + b);
    return img;
  }

  // Sets up the application as option parsing and name resolution would.
  void Prepare(Application& app, const std::string& input, const std::string& base) {
    std::snprintf(app.inputNames[0], kInputNameSize, "%s", input.c_str());
    app.inputGiven = 1;
    app.inputFormat = kFormatQ00;
    std::snprintf(app.outputBase, kNameSize, "%s", base.c_str());
    app.extensionPos = app.outputBase + std::strlen(app.outputBase);
    std::snprintf(app.datExtension, kNameSize, ".vx!");
    app.SetMessageCallback(Lines::Collect, &lines_);
  }

  std::string dir_;
  Lines lines_;
};

TEST_F(RunTest, HeaderBlocksGiveEphAndIonFilesWithoutDat) {
  const tb::RawImage img = Image();
  const std::string in = dir_ + "/gs00233a.q00";
  tb::WriteFile(in, img.bytes());
  Application app;
  ConvState cs;
  Prepare(app, in, dir_ + "/gs00233a");
  app.produceEph = app.produceIon = 1;
  ASSERT_EQ(app.RunConversion(cs), 0);

  const std::vector<uint8_t> eph = tb::ReadFile(dir_ + "/gs00233a.eph");
  ASSERT_EQ(eph.size(), 10756u);
  EXPECT_EQ(eph[0], 0x74);
  EXPECT_EQ(eph[1], 0x00);
  EXPECT_EQ(eph[2], 0x00);
  EXPECT_EQ(eph[3], 0x03);
  for (int prn : {0, 6, 31}) {
    const uint8_t* slot = eph.data() + 4 + prn * 336;
    for (int v : {0, 17, 39}) EXPECT_EQ(bo::GetLeDouble(slot + 8 * v), img.eph[prn][v]);
    for (int b = 0; b < 13; ++b) EXPECT_EQ(slot[320 + b], img.ephTail[prn][b]);
    EXPECT_EQ(slot[333], 0);
  }
  const std::vector<uint8_t> ion = tb::ReadFile(dir_ + "/gs00233a.ion");
  ASSERT_EQ(ion.size(), 115u);
  for (int v = 0; v < 14; ++v) EXPECT_EQ(bo::GetLeDouble(ion.data() + 8 * v), img.ion[v]);
  EXPECT_EQ(ion[112], 0xA0);
  EXPECT_EQ(ion[114], 0xA2);
  EXPECT_FALSE(tb::FileExists(dir_ + "/gs00233a.dat"));
}

TEST_F(RunTest, VerboseLinesComeInTheirOrder) {
  const std::string in = dir_ + "/gs00233a.q00";
  tb::WriteFile(in, Image().bytes());
  Application app;
  ConvState cs;
  Prepare(app, in, dir_ + "/gs00233a");
  app.produceEph = app.produceIon = 1;
  app.verbose = 1;
  ASSERT_EQ(app.RunConversion(cs), 0);
  const std::vector<std::pair<int, std::string>> expected = {
      {1, "logsplit:  Version 5.17"},
      {1, "logsplit:  K01Lib: 8.24 "},
      {1, "logsplit:  EPH: " + dir_ + "/gs00233a.eph"},
      {1, "logsplit:  ION: " + dir_ + "/gs00233a.ion"},
      {1, "logsplit:  Input file: " + in},
      {1, "logsplit:  records: 0"},
      {1, "logsplit:  status : 0"},
  };
  EXPECT_EQ(lines_.all, expected);
}

// The DAT file of a run opens with the five header records, patched at
// close with the values of the run, then the ion/UTC record. A record of a
// type that the encoder does not write leaves exactly these records.
TEST_F(RunTest, DatHeaderRecordsArePatchedAtClose) {
  tb::RawImage img = Image();
  img.records.push_back(tb::Fields().u8(1).u8(2).record(200));
  const std::string in = dir_ + "/gs00233a.q00";
  tb::WriteFile(in, img.bytes());
  Application app;
  ConvState cs;
  Prepare(app, in, dir_ + "/gs00233a");
  app.produceDat = 1;
  app.gpsWeek = 1500;
  ASSERT_EQ(app.RunConversion(cs), 0);
  EXPECT_FALSE(tb::FileExists(dir_ + "/gs00233a.vx!"));
  const std::vector<uint8_t> dat = tb::ReadFile(dir_ + "/gs00233a.dat");
  ASSERT_EQ(dat.size(), 485u);

  std::vector<uint8_t> want;
  auto put = [&want](std::initializer_list<int> bytes) {
    for (int b : bytes) want.push_back(static_cast<uint8_t>(b));
  };
  auto zeros = [&want](size_t n) { want.insert(want.end(), n, 0); };
  // Subtype 6: count 4 and four zero words.
  put({0x74, 24, 6, 5, 0, 0, 4, 0});
  zeros(16);
  // Subtype 0: station text from the output name, nothing from a session.
  put({0x74, 98, 0, 5, 1, 0, 'G', 'S', '0', '0', 0});
  zeros(98 - 11);
  // Subtype 1: name tail, week 1500 and the date of its start, 5 Oct 2008.
  put({0x74, 65, 1, 5, 0, 0, '2', '3', '3', 'A', 0, 0});
  zeros(8);
  put({1500 & 0xFF, 1500 >> 8, 108, 0, 10, 0, 5, 0});
  zeros(65 - 28);
  // Subtype 2: versions from the image header, download version 3.11.1,
  // serial numbers formatted from zero, receiver type code 5.
  put({0x74, 64, 2, 5, 0, 0, 550 & 0xFF, 550 >> 8, 120, 0, 3, 0, 11, 0, 1, 0});
  for (char c : std::string("         0")) want.push_back(static_cast<uint8_t>(c));
  zeros(2);
  for (char c : std::string("0000000000")) want.push_back(static_cast<uint8_t>(c));
  zeros(2);
  put({5});
  zeros(64 - 41);
  // Subtype 3: no positions.
  put({0x74, 110, 3, 5});
  zeros(106);
  // The opening ion/UTC record carries the image's block.
  put({0x74, 124, 0, 15});
  uint8_t value[8];
  for (int v = 0; v < 14; ++v) {
    bo::PutLeDouble(value, img.ion[v]);
    want.insert(want.end(), value, value + 8);
  }
  put({0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0, 0, 0});
  ASSERT_EQ(want.size(), 485u);
  for (size_t i = 0; i < want.size(); ++i) ASSERT_EQ(dat[i], want[i]) << "byte " << i;
}

TEST_F(RunTest, CancelFromProgressEndsWith28AfterFinalising) {
  const std::string in = dir_ + "/gs00233a.q00";
  tb::WriteFile(in, Image().bytes());
  Application app;
  ConvState cs;
  Prepare(app, in, dir_ + "/gs00233a");
  app.produceEph = 1;
  app.produceDat = 1;
  app.SetProgressCallback(
      [](uint8_t* cancel, uint16_t percent, uintptr_t, uintptr_t) -> uint16_t {
        *cancel = 1;
        return percent;
      },
      0, 0);
  EXPECT_EQ(app.RunConversion(cs), 28);
  EXPECT_EQ(tb::ReadFile(dir_ + "/gs00233a.eph").size(), 10756u);
}

struct FailureCase {
  const char* name;
  int produce;  // which output: 1 DAT, 2 EPH
  bool badOutputDir;
  bool noSignature;
  bool secondInputMissing;
  Status expected;
};

class RunFailureTest : public RunTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RunFailureTest, EndsWithItsStatus) {
  const FailureCase& c = GetParam();
  const std::string in = dir_ + "/gs00233a.q00";
  tb::WriteFile(in, c.noSignature ? std::vector<uint8_t>(64, 0x55) : Image().bytes());
  Application app;
  ConvState cs;
  Prepare(app, in, c.badOutputDir ? dir_ + "/missing/gs00233a" : dir_ + "/gs00233a");
  if (c.secondInputMissing) {
    std::snprintf(app.inputNames[1], kInputNameSize, "%s/gone.q00", dir_.c_str());
  }
  (c.produce == 1 ? app.produceDat : app.produceEph) = 1;
  EXPECT_EQ(app.RunConversion(cs), c.expected);
  if (c.secondInputMissing) {
    EXPECT_EQ(tb::ReadFile(dir_ + "/gs00233a.eph").size(), 10756u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunFailureTest,
    ::testing::Values(FailureCase{"DatCannotBeCreated", 1, true, false, false, 3},
                      FailureCase{"EphCannotBeCreated", 2, true, false, false, 5},
                      FailureCase{"InputWithoutSignature", 2, false, true, false, 18},
                      FailureCase{"SecondInputMissing", 2, false, false, true, 17}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
