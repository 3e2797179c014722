// Final names of the DAT file: temporary extension, station naming and
// explicit names; empty outputs removed at close; open and write failures.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dat/conv_state.h"
#include "dat/dat_writer.h"
#include "run/output_set.h"
#include "support/record_builder.h"

namespace {

TEST(OutputSet, FinalDatName) {
  struct Case {
    const char* opened;     // name the DAT file is opened under
    const char* extension;  // the DAT extension of the run
    int updateNameMode;
    const char* longStationName;
    bool type27Written;
    const char* expected;   // final name; nullptr: removed, as nothing was written
  } cases[] = {
      {"gs00233a.vx!", ".vx!", 0, "", false, "gs00233a.dat"},
      {"gs00233a.vx!", ".vx!", 0, "", true, "gs00233a.vxd"},
      {"out.dat", ".dat", 0, "", true, "out.dat"},  // explicit name kept
      {"gs00233a.vx!", ".vx!", 1, "MAST", false, "MAST233A.dat"},
      {"gs00233a.vx!", ".vx!", 1, "MAST", true, "MAST233A.vxd"},
      {"gs00233a.vx!", ".vx!", 1, "", false, "gs00233a.dat"},  // station naming without a name
      {"gs00233a.vx!", ".vx!", 0, "", false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected ? c.expected : "empty");
    const std::string dir = tb::MakeTempDir();
    ConvState cs;
    OutputSet* set = nullptr;
    ASSERT_EQ(OpenOutputSet(&set, cs), 0);
    set->datExtension = strdup(c.extension);
    set->identity->updateNameMode = static_cast<uint16_t>(c.updateNameMode);
    std::snprintf(set->identity->nameTail, sizeof set->identity->nameTail, "233A");
    ASSERT_EQ(OpenOutput(set, kOutDat, (dir + "/" + c.opened).c_str()), 0);
    std::snprintf(cs.rx.longStationName, sizeof cs.rx.longStationName, "%s", c.longStationName);
    cs.type27Written = c.type27Written;
    if (c.expected == nullptr) {
      // No header records to patch: 16, and no file under either name.
      EXPECT_EQ(CloseOutputSet(&set, cs), 16);
      EXPECT_FALSE(tb::FileExists(dir + "/gs00233a.vx!") || tb::FileExists(dir + "/gs00233a.dat"));
    } else {
      ASSERT_TRUE(dat::BeginEntry(cs, set->dat));  // the opening records
      tb::WriteFile(dir + "/" + c.expected, {1, 2, 3});  // a stale file under the final name is replaced
      EXPECT_EQ(CloseOutputSet(&set, cs), 0);
      EXPECT_EQ(tb::ReadFile(dir + "/" + c.expected).size(), dat::kOpeningBytes);
      EXPECT_TRUE(std::strcmp(c.opened, c.expected) == 0 || !tb::FileExists(dir + "/" + c.opened));
    }
    EXPECT_EQ(set, nullptr);
    tb::RemoveTree(dir);
  }
}

TEST(OutputSet, OpenErrorsByKind) {
  ConvState cs;
  OutputSet* set = nullptr;
  ASSERT_EQ(OpenOutputSet(&set, cs), 0);
  const Status expected[7] = {0, 3, 5, 7, 9, 20, 24};
  for (int kind = kOutDat; kind <= kOutApp; ++kind) {
    EXPECT_EQ(OpenOutput(set, kind, ""), expected[kind]);
    EXPECT_EQ(OpenOutput(set, kind, "/nonexistent-dir/x"), expected[kind]);
  }
  EXPECT_EQ(OpenOutput(nullptr, kOutDat, "x"), 2);
  EXPECT_EQ(CloseOutputSet(&set, cs), 0);
  EXPECT_EQ(CloseOutputSet(&set, cs), 2);
}

// An output whose writes fail (a full disk) makes the close report 15, and
// a device given as an output name is never removed.
TEST(OutputSet, FailedWritesOfAnyOutputReportDiskFull) {
  if (!tb::FileExists("/dev/full")) GTEST_SKIP() << "/dev/full not available";
  for (int kind : {kOutEph, kOutIon, kOutMes, kOutSummary}) {
    ConvState cs;
    OutputSet* set = nullptr;
    ASSERT_EQ(OpenOutputSet(&set, cs), 0);
    ASSERT_EQ(OpenOutput(set, kind, "/dev/full"), 0);
    EXPECT_EQ(CloseOutputSet(&set, cs), 15) << "kind " << kind;
    EXPECT_TRUE(tb::FileExists("/dev/full"));
  }
}

}  // namespace
