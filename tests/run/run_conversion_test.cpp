// The conversion run end to end: header blocks into EPH/ION files, opening
// and patched DAT header records, console lines, and runs that end early:
// failing inputs and outputs, a disk that fills up, a cancel from the
// progress callback. Each must end with its status and finalised outputs.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "k01lib/k01_writer.h"
#include "support/conversion_runner.h"
#include "support/session_image_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The header blocks of the session image, without its records.
tb::RawImage Image() {
  tb::RawImage img = tb::SessionImage({});
  img.records.clear();
  return img;
}

// Ephemeris records: each becomes a 206-byte DAT record.
std::vector<Bytes> Ephemerides(int count) {
  std::vector<Bytes> out;
  for (int i = 0; i < count; ++i) {
    tb::Fields f;
    f.u8(1 + i % 32);
    for (int v = 0; v < 25; ++v) f.f64(i * 100.0 + v);
    out.push_back(f.record(3));
  }
  return out;
}

// One zlib block holding all the records.
Bytes K01File(int records) {
  Bytes file;
  k01::k01_write_options_t options;
  EXPECT_EQ(k01::writeK01File(Ephemerides(records), options, file), 0);
  return file;
}

// The header blocks give the EPH and ION files. The DAT file opens with the
// five header records, patched at close with the values of the run, then
// the ion/UTC record; a record of a type that the encoder does not write
// leaves exactly these records.
TEST(Run, HeaderBlocksGiveEphIonAndDatHeaderRecords) {
  tb::RawImage img = Image();
  img.records.push_back(tb::Fields().u8(1).u8(2).record(200));
  tb::Conversion c;
  c.input = img.bytes();
  c.outputs = "dei";
  c.verbose = 1;
  c.gpsWeek = 1500;
  std::string base;
  c.around = [&base](Application& app, ConvState& cs) {
    base = app.outputBase;
    return app.RunConversion(cs);
  };
  ASSERT_EQ(c.Run(), 0);
  const Bytes& eph = c.files[".eph"];
  ASSERT_EQ(eph.size(), 10756u);
  EXPECT_EQ(Bytes(eph.begin(), eph.begin() + 4), (Bytes{0x74, 0, 0, 3}));
  for (int prn : {0, 6, 31}) {
    const uint8_t* slot = eph.data() + 4 + prn * 336;
    for (int v : {0, 17, 39}) EXPECT_EQ(bo::GetLeDouble(slot + 8 * v), img.eph[prn][v]);
    for (int b = 0; b < 13; ++b) EXPECT_EQ(slot[320 + b], img.ephTail[prn][b]);
    EXPECT_EQ(slot[333], 0);
  }
  const Bytes& ion = c.files[".ion"];
  ASSERT_EQ(ion.size(), 115u);
  for (int v = 0; v < 14; ++v) EXPECT_EQ(bo::GetLeDouble(ion.data() + 8 * v), img.ion[v]);
  EXPECT_EQ(ion[112], 0xA0);
  EXPECT_EQ(ion[114], 0xA2);

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

  const std::vector<std::pair<int, std::string>> expected = {
      {1, "logsplit:  Version 5.17"}, {1, "logsplit:  K01Lib: 8.24 "},
      {1, "logsplit:  DAT: " + base + ".vx!"}, {1, "logsplit:  EPH: " + base + ".eph"},
      {1, "logsplit:  ION: " + base + ".ion"}, {1, "logsplit:  Input file: " + base + ".q00"},
      {1, "logsplit:  records: 1"}, {1, "logsplit:  status : 0"}};
  EXPECT_EQ(c.lines, expected);
}

TEST(Run, FailuresEndWithTheirStatus) {
  enum Fault { kEphFolderMissing, kNoSignature, kSecondInputMissing, kInputIsFolder };
  const std::pair<Fault, Status> cases[] = {
      {kEphFolderMissing, 5}, {kNoSignature, 18}, {kSecondInputMissing, 17}, {kInputIsFolder, 17}};
  for (const auto& [fault, expected] : cases) {
    SCOPED_TRACE(fault);
    tb::Conversion c;
    c.input = fault == kNoSignature ? Bytes(64, 0x55) : Image().bytes();
    c.format = fault == kInputIsFolder ? kFormatK01 : kFormatQ00;
    c.outputs = fault == kInputIsFolder ? "d" : "e";
    c.around = [fault](Application& app, ConvState& cs) {
      if (fault == kEphFolderMissing) {
        std::string base = app.outputBase;
        base.insert(base.rfind('/'), "/missing");
        std::snprintf(app.outputBase, kNameSize, "%s", base.c_str());
        app.extensionPos = app.outputBase + base.size();
      } else if (fault == kSecondInputMissing) {
        std::memcpy(app.inputNames[1], "/nonexistent/gone.q00", 22);
      } else if (fault == kInputIsFolder) {
        // A name that resolved to a file but is a folder by the time it is
        // read: reported, not taken as the end of the input.
        std::remove(app.inputNames[0]);
        EXPECT_EQ(::mkdir(app.inputNames[0], 0700), 0);
      }
      return app.RunConversion(cs);
    };
    EXPECT_EQ(c.Run(), expected);
    if (fault == kSecondInputMissing) {
      EXPECT_EQ(c.files[".eph"].size(), 10756u);  // still written
    }
  }
}

TEST(Run, DiskFullWhileWritingDatEndsWith15OnEveryPath) {
  constexpr rlim_t kLimit = 13000 + 4096;
  tb::RawImage img;
  img.records = Ephemerides(120);
  const std::pair<Bytes, int16_t> inputs[] = {{img.bytes(), kFormatQ00}, {K01File(120), kFormatK01}};
  for (const auto& [file, format] : inputs) {
    SCOPED_TRACE(format);
    tb::Conversion c;
    c.input = file;
    c.format = format;
    c.fixup = true;  // a full disk is never skipped, even with fixup
    // Every file of the process limited to kLimit bytes during the run.
    c.around = [](Application& app, ConvState& cs) {
      struct rlimit old;
      getrlimit(RLIMIT_FSIZE, &old);
      struct rlimit lim = old;
      lim.rlim_cur = kLimit;
      auto previous = std::signal(SIGXFSZ, SIG_IGN);
      setrlimit(RLIMIT_FSIZE, &lim);
      const Status st = app.RunConversion(cs);
      setrlimit(RLIMIT_FSIZE, &old);
      std::signal(SIGXFSZ, previous);
      return st;
    };
    EXPECT_EQ(c.Run(), 15);
    // Closed under its final name. After a failed write nothing more is
    // written, so the header records stay placeholders (a reader sees at
    // once that the file is incomplete).
    EXPECT_EQ(c.files.count(".vx!"), 0u);
    const Bytes& dat = c.files[".dat"];
    ASSERT_GE(dat.size(), 485u);
    EXPECT_LE(dat.size(), kLimit);
    EXPECT_EQ(dat[2], 0x86);
  }
}

// A cancel in the middle of a K01 block ends the run with 28 and still
// finalises every output. (Cancels on the raw path: tests/api.)
TEST(Run, CancelInTheMiddleOfABlockFinalisesTheOutputs) {
  tb::Conversion c;
  c.input = K01File(20);
  c.format = kFormatK01;
  c.outputs = "de";
  static int calls;
  calls = 0;
  c.progress = [](uint8_t* cancel, uint16_t percent, uintptr_t, uintptr_t) -> uint16_t {
    if (++calls == 6) *cancel = 1;  // the start call, then five records
    return percent;
  };
  EXPECT_EQ(c.Run(), 28);
  EXPECT_EQ(c.records, 5u);
  const Bytes& dat = c.files[".dat"];
  ASSERT_EQ(dat.size(), 485u + 5u * 206u);
  EXPECT_EQ(dat[2], 6);  // patched, not a placeholder any more
  EXPECT_EQ(c.files[".eph"].size(), 10756u);
}

}  // namespace
