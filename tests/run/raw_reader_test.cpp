// Reading the records of a raw image: problem records with and without
// fixup, checksum handling, resynchronisation and its console lines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/conversion_runner.h"
#include "support/record_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A record of a type that the encoder accepts without writing a body, so
// that each converted record counts without depending on its layout.
Bytes Plain(uint8_t fill) { return tb::Fields().u8(fill).u8(fill).u8(fill).u8(fill).record(9); }
Bytes BadChecksum() { return tb::Fields().u8(0x11).u8(0x12).u8(0x13).record(9, true); }

constexpr uint32_t kFirst = 10812;  // where the records of an image start

tb::Conversion Convert(const std::vector<Bytes>& records, const Bytes& trailing, const char* options,
                       int verbose = 0) {
  tb::RawImage img;
  img.records = records;
  img.trailing = trailing;
  tb::Conversion c;
  c.input = img.bytes();
  c.fixup = std::strchr(options, 'f') != nullptr;
  c.ignoreChecksum = std::strchr(options, 'c') != nullptr;
  c.verbose = static_cast<int16_t>(verbose);
  c.Run();
  return c;
}

struct ReaderCase {
  const char* name;
  std::vector<Bytes> records;
  Bytes trailing;
  const char* options;
  Status status;
  uint32_t records_;
  uint32_t checksumErrors;
  uint32_t lostBytes;
};

class RawReaderTest : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(RawReaderTest, Outcome) {
  const ReaderCase& c = GetParam();
  const tb::Conversion run = Convert(c.records, c.trailing, c.options);
  EXPECT_EQ(run.status, c.status);
  EXPECT_EQ(run.records, c.records_);
  EXPECT_EQ(run.checksumErrors, c.checksumErrors);
  EXPECT_EQ(run.lostBytes, c.lostBytes);
}

const Bytes kZero = {0x00};
const Bytes kType30 = tb::Fields().u8(0).u8(1).u8(2).record(30);

INSTANTIATE_TEST_SUITE_P(
    Cases, RawReaderTest,
    ::testing::Values(
        ReaderCase{"AllGood", {Plain(1), Plain(4)}, {}, "", 0, 2, 0, 0},
        // A zero byte where a record should start.
        ReaderCase{"ZeroByteWithFixup", {Plain(1), kZero, Plain(4)}, {}, "f", 29, 2, 0, 1},
        ReaderCase{"ZeroByteWithoutFixup", {Plain(1), kZero, Plain(4)}, {}, "", 11, 1, 0, 0},
        // A record with a wrong checksum (9 bytes long).
        ReaderCase{"BadChecksumIgnored", {Plain(1), BadChecksum(), Plain(4)}, {}, "c", 29, 2, 1, 9},
        ReaderCase{"BadChecksumRepaired", {Plain(1), BadChecksum(), Plain(4)}, {}, "f", 29, 2, 0, 9},
        ReaderCase{"BadChecksumEndsRun", {Plain(1), BadChecksum(), Plain(4)}, {}, "", 13, 1, 0, 0},
        // A search that finds nothing: garbage, or only a type-30 record,
        // which is never a candidate.
        ReaderCase{"SearchReachesEnd", {Plain(1), kZero}, {0x55, 0x66, 0x77}, "f", 23, 1, 0, 0},
        ReaderCase{"Type30NeverTried", {Plain(1), kZero, kType30}, {}, "f", 23, 1, 0, 0},
        // A truncated last record is neither written nor reported.
        ReaderCase{"TruncatedLastRecord", {Plain(1)}, {0x02, 10, 9, 1}, "", 0, 1, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

std::string Hex8(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "%08X", v);
  return b;
}

TEST(RawReaderLines, ProblemRecordDumpAndSearchDetails) {
  const Bytes second = Plain(4);
  const tb::Conversion run = Convert({Plain(1), kZero, second}, {}, "f", 3);
  const uint32_t bad = kFirst + 10;  // after the first 10-byte record
  std::vector<std::pair<int, std::string>> want = {
      {2, "Record id:   9   Position: " + Hex8(kFirst)},
      {2, "logsplit:  status : 11"},
      {2, "Start of Problem Record: " + Hex8(bad)},
      {3, "[  0]: 00"},
      {3, "[  1]: 02"},
      {3, "[  2]: 0A"},
      {3, " "},
      {3, "Next 256 Bytes:"},
      {3, " "},
  };
  // The bytes after the three read: the rest of the second record.
  for (size_t i = 2; i < second.size(); ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "[%3d]: %02X", static_cast<int>(i - 2), second[i]);
    want.emplace_back(3, line);
  }
  want.insert(want.end(), {{3, " "},
                           {2, "Attempting Fixup: " + Hex8(bad)},
                           {3, "Start Search    : " + Hex8(bad)},
                           {3, "Resync to Record: " + Hex8(bad + 1)},
                           {3, "Lost Bytes      : 1"},
                           {3, " "}});
  // Drop the banner and the closing lines; keep those of the records.
  std::vector<std::pair<int, std::string>> got;
  for (const auto& l : run.lines)
    if (l.first >= 2) got.push_back(l);
  // The last level-2 line is the error line of the final status 29.
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back(), (std::pair<int, std::string>{2, "logsplit:  error  : One or more errors encountered, but either ignored or skipped"}));
  got.pop_back();
  EXPECT_EQ(got, want);
}

TEST(RawReaderLines, ClosingCountersShownWhenAboveZero) {
  const tb::Conversion run = Convert({Plain(1), BadChecksum(), Plain(4)}, {}, "c", 1);
  ASSERT_GE(run.lines.size(), 4u);
  const size_t n = run.lines.size();
  EXPECT_EQ(run.lines[n - 4].second, "logsplit:  records: 2");
  EXPECT_EQ(run.lines[n - 3].second, "logsplit:  status : 29");
  EXPECT_EQ(run.lines[n - 2].second, "logsplit:  checksum err count: 1");
  EXPECT_EQ(run.lines[n - 1].second, "logsplit:  total lost bytes: 9");
}

}  // namespace
