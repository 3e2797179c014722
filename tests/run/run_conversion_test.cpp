// The conversion run end to end on raw images built from field values:
// header blocks into EPH/ION files, opening and patched DAT header
// records, console lines, cancellation and failing inputs/outputs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "support/conversion_runner.h"
#include "support/session_image_builder.h"

namespace {

// The header blocks of the session image, without its records.
tb::RawImage Image() {
  tb::RawImage img = tb::SessionImage({});
  img.records.clear();
  return img;
}

tb::Conversion ImageRun(const std::vector<uint8_t>& input, const char* outputs) {
  tb::Conversion c;
  c.input = input;
  c.outputs = outputs;
  return c;
}

// Without -d the header blocks alone give the EPH and ION files.
TEST(Run, HeaderBlocksGiveEphAndIonFilesAndVerboseLinesInOrder) {
  const tb::RawImage img = Image();
  tb::Conversion c = ImageRun(img.bytes(), "ei");
  c.verbose = 1;
  std::string base;
  c.around = [&base](Application& app, ConvState& cs) {
    base = app.outputBase;
    return app.RunConversion(cs);
  };
  ASSERT_EQ(c.Run(), 0);
  const std::vector<uint8_t>& eph = c.files[".eph"];
  ASSERT_EQ(eph.size(), 10756u);
  EXPECT_EQ(std::vector<uint8_t>(eph.begin(), eph.begin() + 4), (std::vector<uint8_t>{0x74, 0, 0, 3}));
  for (int prn : {0, 6, 31}) {
    const uint8_t* slot = eph.data() + 4 + prn * 336;
    for (int v : {0, 17, 39}) EXPECT_EQ(bo::GetLeDouble(slot + 8 * v), img.eph[prn][v]);
    for (int b = 0; b < 13; ++b) EXPECT_EQ(slot[320 + b], img.ephTail[prn][b]);
    EXPECT_EQ(slot[333], 0);
  }
  const std::vector<uint8_t>& ion = c.files[".ion"];
  ASSERT_EQ(ion.size(), 115u);
  for (int v = 0; v < 14; ++v) EXPECT_EQ(bo::GetLeDouble(ion.data() + 8 * v), img.ion[v]);
  EXPECT_EQ(ion[112], 0xA0);
  EXPECT_EQ(ion[114], 0xA2);
  EXPECT_EQ(c.Dat().size(), 0u);
  const std::vector<std::pair<int, std::string>> expected = {
      {1, "logsplit:  Version 5.17"},         {1, "logsplit:  K01Lib: 8.24 "},
      {1, "logsplit:  EPH: " + base + ".eph"}, {1, "logsplit:  ION: " + base + ".ion"},
      {1, "logsplit:  Input file: " + base + ".q00"},
      {1, "logsplit:  records: 0"},           {1, "logsplit:  status : 0"},
  };
  EXPECT_EQ(c.lines, expected);
}

// The DAT file opens with the five header records, patched at close with
// the values of the run, then the ion/UTC record. A record of a type that
// the encoder does not write leaves exactly these records.
TEST(Run, DatHeaderRecordsArePatchedAtClose) {
  tb::RawImage img = Image();
  img.records.push_back(tb::Fields().u8(1).u8(2).record(200));
  tb::Conversion c = ImageRun(img.bytes(), "d");
  c.gpsWeek = 1500;
  ASSERT_EQ(c.Run(), 0);
  EXPECT_EQ(c.files.count(".vx!"), 0u);
  tb::Le e;
  e.u8(0x74).u8(24).u8(6).u8(5).u16(0).u16(4).zeros(16);  // count 4, four zero words
  // Subtype 0: station text from the output name, nothing from a session.
  e.u8(0x74).u8(98).u8(0).u8(5).u8(1).u8(0).text("GS00", 5).zeros(87);
  // Subtype 1: name tail, week 1500 and the date of its start, 5 Oct 2008.
  e.u8(0x74).u8(65).u8(1).u8(5).u16(0).text("233A", 6).zeros(8);
  e.u16(1500).u16(108).u16(10).u16(5).zeros(37);
  // Subtype 2: versions from the image header, download version 3.11.1,
  // serial numbers formatted from zero, receiver type code 5.
  e.u8(0x74).u8(64).u8(2).u8(5).u16(0).u16(550).u16(120).u16(3).u16(11).u16(1);
  e.text("         0", 12).text("0000000000", 12).u8(5).zeros(23);
  e.u8(0x74).u8(110).u8(3).u8(5).zeros(106);  // subtype 3: no positions
  // The opening ion/UTC record carries the image's block.
  e.u8(0x74).u8(124).u8(0).u8(15);
  for (double v : img.ion) e.f64(v);
  e.u8(0xA0).u8(0xA1).u8(0xA2).u8(0xA3).u8(0xA4).zeros(3);
  ASSERT_EQ(e.b.size(), 485u);
  EXPECT_EQ(c.files[".dat"], e.b);
}

TEST(Run, CancelFromProgressEndsWith28AfterFinalising) {
  tb::Conversion c = ImageRun(Image().bytes(), "ed");
  c.progress = [](uint8_t* cancel, uint16_t percent, uintptr_t, uintptr_t) -> uint16_t {
    *cancel = 1;
    return percent;
  };
  EXPECT_EQ(c.Run(), 28);
  EXPECT_EQ(c.files[".eph"].size(), 10756u);
}

TEST(Run, FailuresEndWithTheirStatus) {
  struct Case {
    const char* outputs;
    bool badOutputDir, noSignature, secondInputMissing;
    Status expected;
  } cases[] = {{"d", true, false, false, 3},    // DAT cannot be created
               {"e", true, false, false, 5},    // EPH cannot be created
               {"e", false, true, false, 18},   // input without signature
               {"e", false, false, true, 17}};  // second input missing
  for (const Case& k : cases) {
    SCOPED_TRACE(k.expected);
    tb::Conversion c = ImageRun(k.noSignature ? std::vector<uint8_t>(64, 0x55) : Image().bytes(), k.outputs);
    c.around = [&k](Application& app, ConvState& cs) {
      std::string base = app.outputBase;
      const std::string dir = base.substr(0, base.rfind('/'));
      if (k.badOutputDir) base.insert(dir.size(), "/missing");
      std::snprintf(app.outputBase, kNameSize, "%s", base.c_str());
      app.extensionPos = app.outputBase + base.size();
      if (k.secondInputMissing) std::snprintf(app.inputNames[1], kInputNameSize, "%s/gone.q00", dir.c_str());
      return app.RunConversion(cs);
    };
    EXPECT_EQ(c.Run(), k.expected);
    if (k.secondInputMissing) {
      EXPECT_EQ(c.files[".eph"].size(), 10756u);
    }
  }
}

}  // namespace
