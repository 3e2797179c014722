// Faults from outside: a disk that fills up while the DAT file is written,
// an input that cannot be read, and a cancel in the middle of a K01 block.
// Each run must end with its status and leave the outputs finalised.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "app/application.h"
#include "dat/conv_state.h"
#include "k01lib/k01_writer.h"
#include "support/record_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;

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

class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = tb::MakeTempDir(); }
  void TearDown() override { tb::RemoveTree(dir_); }

  void Prepare(Application& app, const std::string& in, int16_t format) {
    std::snprintf(app.inputNames[0], kInputNameSize, "%s", in.c_str());
    app.inputFormat = format;
    app.includeHeader = format == kFormatQ00 ? 1 : 0;
    app.includeEphemeris = app.includeIonUtc = format == kFormatQ00 ? 1 : 0;
    std::snprintf(app.outputBase, kNameSize, "%s/out", dir_.c_str());
    app.extensionPos = app.outputBase + std::strlen(app.outputBase);
    std::snprintf(app.datExtension, kNameSize, ".vx!");
    app.produceDat = 1;
    app.SetMessageCallback([](int32_t, const char*, void*) {}, nullptr);
  }

  std::string dir_;
};

// Runs the conversion with every file of the process limited to `limit`
// bytes, as on a disk that fills up.
Status RunWithFileLimit(Application& app, ConvState& cs, rlim_t limit) {
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit lim = old;
  lim.rlim_cur = limit;
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &lim);
  const Status st = app.RunConversion(cs);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  return st;
}

TEST_F(FaultTest, DiskFullWhileWritingDatEndsWith15OnEveryPath) {
  const std::vector<Bytes> records = Ephemerides(120);
  tb::RawImage img;
  img.records = records;
  Bytes k01File;
  k01::k01_write_options_t options;
  options.blockTypes = {2};
  ASSERT_EQ(k01::writeK01File(records, options, k01File), 0);
  struct Case {
    const char* name;
    Bytes file;
    int16_t format;
  } cases[] = {{"q00", img.bytes(), kFormatQ00}, {"k01", k01File, kFormatK01}};
  for (const Case& c : cases) {
    const std::string in = dir_ + "/in." + c.name;
    tb::WriteFile(in, c.file);
    Application app;
    ConvState cs;
    Prepare(app, in, c.format);
    app.fixup = 1;  // a full disk is never skipped, even with fixup
    EXPECT_EQ(RunWithFileLimit(app, cs, 13000 + 4096), 15) << c.name;
    // The file is closed under its final name. After a failed write the
    // counted write path writes nothing more, so the header records stay
    // placeholders (a reader sees at once that the file is incomplete).
    const Bytes dat = tb::ReadFile(dir_ + "/out.dat");
    ASSERT_GE(dat.size(), 485u) << c.name;
    EXPECT_LE(dat.size(), 13000u + 4096u) << c.name;
    EXPECT_EQ(dat[2], 0x86) << c.name;
    EXPECT_FALSE(tb::FileExists(dir_ + "/out.vx!")) << c.name;
    std::remove((dir_ + "/out.dat").c_str());
  }
}

TEST_F(FaultTest, UnreadableInputIsReportedNotTakenAsItsEnd) {
  // A name that resolved to a file but is a folder by the time it is read.
  const std::string in = dir_ + "/gone.K01";
  ASSERT_EQ(::mkdir(in.c_str(), 0700), 0);
  Application app;
  ConvState cs;
  Prepare(app, in, kFormatK01);
  EXPECT_EQ(app.RunConversion(cs), 17);
}

TEST_F(FaultTest, CancelInTheMiddleOfABlockFinalisesTheOutputs) {
  Bytes file;
  k01::k01_write_options_t options;
  options.blockTypes = {2};  // all records in one zlib block
  ASSERT_EQ(k01::writeK01File(Ephemerides(20), options, file), 0);
  const std::string in = dir_ + "/in.K01";
  tb::WriteFile(in, file);
  Application app;
  ConvState cs;
  Prepare(app, in, kFormatK01);
  static int calls;
  calls = 0;
  app.SetProgressCallback(
      [](uint8_t* cancel, uint16_t percent, uintptr_t, uintptr_t) -> uint16_t {
        if (++calls == 6) *cancel = 1;  // the start call, then five records
        return percent;
      },
      0, 0);
  EXPECT_EQ(app.RunConversion(cs), 28);
  EXPECT_EQ(app.recordCount, 5u);
  const Bytes dat = tb::ReadFile(dir_ + "/out.dat");
  EXPECT_EQ(dat.size(), 485u + 5u * 206u);
  ASSERT_FALSE(dat.empty());
  EXPECT_EQ(dat[2], 6);  // patched, not a placeholder any more
}

}  // namespace
