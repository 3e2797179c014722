// The DAT envelope: opening records, the ion/UTC record and its in-place
// rewrite, the sticky write error and the per-SV record counts.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/byte_order.h"
#include "dat/conv_state.h"
#include "dat/dat_writer.h"

namespace {

std::vector<uint8_t> Contents(FILE* f) {
  std::fflush(f);
  const long end = std::ftell(f);
  std::vector<uint8_t> out(static_cast<size_t>(end));
  std::fseek(f, 0, SEEK_SET);
  EXPECT_EQ(std::fread(out.data(), 1, out.size(), f), out.size());
  std::fseek(f, end, SEEK_SET);
  return out;
}

struct Fixture {
  ConvState cs;
  uint8_t ion[120] = {};
  FILE* f = std::tmpfile();
  Fixture() { cs.ionUtc = ion; }
  ~Fixture() { std::fclose(f); }
  void SetValue14(double v) { bo::PutLeDouble(ion + 13 * 8, v); }
};

TEST(DatWriter, FirstEntryWritesFivePlaceholdersAndIonRecord) {
  Fixture fx;
  fx.ion[0] = 0x3F;
  ASSERT_TRUE(dat::BeginEntry(fx.cs, fx.f));
  ASSERT_TRUE(dat::BeginEntry(fx.cs, fx.f));  // only the first call writes them
  const std::vector<uint8_t> d = Contents(fx.f);
  ASSERT_EQ(d.size(), 485u);
  const uint8_t heads[5][4] = {{0x74, 24, 0x86, 5}, {0x74, 98, 0x80, 5}, {0x74, 65, 0x81, 5},
                               {0x74, 64, 0x82, 5}, {0x74, 110, 0x83, 5}};
  size_t at = 0;
  for (const auto& h : heads) {
    EXPECT_EQ(0, std::memcmp(d.data() + at, h, 4)) << "record at " << at;
    for (size_t i = 4; i < h[1]; ++i) ASSERT_EQ(d[at + i], 0) << "byte " << at + i;
    at += h[1];
  }
  EXPECT_EQ(at, 361u);
  const uint8_t ionHead[4] = {0x74, 124, 0, 15};
  EXPECT_EQ(0, std::memcmp(d.data() + 361, ionHead, 4));
  EXPECT_EQ(d[365], 0x3F);
  EXPECT_EQ(fx.cs.writer.pendingIonOffset, 361u);
  EXPECT_EQ(fx.cs.writer.recordCalls, 2u);
}

TEST(DatWriter, NullStreamDoesNothing) {
  Fixture fx;
  EXPECT_FALSE(dat::BeginEntry(fx.cs, nullptr));
  EXPECT_EQ(fx.cs.writer.recordCalls, 0u);
}

TEST(DatWriter, IonRecordRewrittenInPlaceThenAppended) {
  Fixture fx;
  ASSERT_TRUE(dat::BeginEntry(fx.cs, fx.f));
  const uint8_t body[6] = {0x74, 6, 0, 99, 1, 2};
  dat::WriteBlock(fx.cs, body, 1, sizeof body, fx.f);

  // Not positive: nothing is written.
  for (double v : {0.0, -1.0}) {
    fx.SetValue14(v);
    dat::UpdateIonRecord(fx.cs, fx.f);
    EXPECT_EQ(Contents(fx.f).size(), 491u);
  }
  // The first positive value replaces the opening record in place.
  fx.SetValue14(1.5);
  fx.ion[0] = 0x11;
  dat::UpdateIonRecord(fx.cs, fx.f);
  std::vector<uint8_t> d = Contents(fx.f);
  ASSERT_EQ(d.size(), 491u);
  EXPECT_EQ(d[365], 0x11);
  EXPECT_EQ(bo::GetLeDouble(d.data() + 365 + 13 * 8), 1.5);
  EXPECT_EQ(d[485], 0x74);  // the record after it is untouched
  EXPECT_EQ(fx.cs.writer.pendingIonOffset, 0u);

  // A second positive value is appended.
  fx.ion[0] = 0x22;
  dat::UpdateIonRecord(fx.cs, fx.f);
  d = Contents(fx.f);
  ASSERT_EQ(d.size(), 491u + 124u);
  EXPECT_EQ(d[365], 0x11);
  EXPECT_EQ(d[491], 0x74);
  EXPECT_EQ(d[494], 15);
  EXPECT_EQ(d[495], 0x22);
}

TEST(DatWriter, ShortWriteIsStickyDiskFull) {
  FILE* full = std::fopen("/dev/full", "wb");
  if (full == nullptr) GTEST_SKIP() << "/dev/full not available";
  std::setvbuf(full, nullptr, _IONBF, 0);
  ConvState cs;
  const uint8_t bytes[8] = {};
  EXPECT_EQ(dat::WriteBlock(cs, bytes, 1, 8, full), 0u);
  EXPECT_EQ(cs.writer.writeError, 15);
  // Later writes do not even reach the stream.
  FILE* ok = std::tmpfile();
  EXPECT_EQ(dat::WriteBlock(cs, bytes, 1, 8, ok), 0u);
  std::fflush(ok);
  EXPECT_EQ(std::ftell(ok), 0);
  std::fclose(ok);
  std::fclose(full);
}

TEST(DatWriter, PerSvCountsSkipNumbersOutside1To32) {
  ConvState cs;
  cs.writer.stream = nullptr;
  const uint8_t svs[] = {1, 32, 33, 0, 5};
  std::memcpy(cs.writer.svList, svs, sizeof svs);
  EXPECT_EQ(dat::EndEntry(cs, 0), 0);
  EXPECT_EQ(cs.writer.svRecordCount[1], 1u);
  EXPECT_EQ(cs.writer.svRecordCount[32], 1u);
  EXPECT_EQ(cs.writer.svRecordCount[5], 0u);  // after the first zero
  EXPECT_EQ(cs.writer.svList[4], 5);          // not reached, not cleared
  EXPECT_EQ(cs.writer.svList[0], 0);
}

}  // namespace
