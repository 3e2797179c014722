// Faults from outside: a disk that fills up while the DAT file is written,
// an input that cannot be read, and a cancel in the middle of a K01 block.
// Each run must end with its status and leave the outputs finalised.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <string>
#include <vector>

#include "k01lib/k01_writer.h"
#include "support/conversion_runner.h"
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

// One zlib block holding all the records.
Bytes K01File(int records) {
  Bytes file;
  k01::k01_write_options_t options;
  options.blockTypes = {2};
  EXPECT_EQ(k01::writeK01File(Ephemerides(records), options, file), 0);
  return file;
}

TEST(Fault, DiskFullWhileWritingDatEndsWith15OnEveryPath) {
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

TEST(Fault, UnreadableInputIsReportedNotTakenAsItsEnd) {
  tb::Conversion c;
  c.format = kFormatK01;
  // A name that resolved to a file but is a folder by the time it is read.
  c.around = [](Application& app, ConvState& cs) {
    std::remove(app.inputNames[0]);
    EXPECT_EQ(::mkdir(app.inputNames[0], 0700), 0);
    return app.RunConversion(cs);
  };
  EXPECT_EQ(c.Run(), 17);
}

TEST(Fault, CancelInTheMiddleOfABlockFinalisesTheOutputs) {
  tb::Conversion c;
  c.input = K01File(20);
  c.format = kFormatK01;
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
}

}  // namespace
