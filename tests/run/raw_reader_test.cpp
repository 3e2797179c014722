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
using Lines = std::vector<std::pair<int, std::string>>;

// A record of a type that the encoder accepts without writing a body, so
// that each converted record counts without depending on its layout.
Bytes Plain(uint8_t fill) { return tb::Fields().u32(fill * 0x01010101u).record(9); }
const Bytes kBadChecksum = tb::Fields().u8(0x11).u8(0x12).u8(0x13).record(9, true);
const Bytes kZero = {0x00};
const Bytes kType30 = tb::Fields().u8(0).u8(1).u8(2).record(30);

// A raw type-17 measurement epoch at time t (ms) with one single-frequency SV.
Bytes Epoch(uint32_t t) { return tb::Fields().u32(t).u24(0).u8(3).u8(0xD0).zeros(18).record(17); }

tb::Conversion Convert(const std::vector<Bytes>& records, const Bytes& trailing, const char* options,
                       int16_t verbose = 0) {
  tb::RawImage img;
  img.records = records;
  img.trailing = trailing;
  tb::Conversion c;
  c.input = img.bytes();
  c.fixup = std::strchr(options, 'f') != nullptr;
  c.ignoreChecksum = std::strchr(options, 'c') != nullptr;
  c.verbose = verbose;
  c.Run();
  return c;
}

TEST(RawReader, ProblemRecordsByOptions) {
  struct Case {
    const char* name;
    std::vector<Bytes> records;
    Bytes trailing;
    const char* options;
    Status status;
    uint32_t records_, checksumErrors, lostBytes;
  } cases[] = {
      {"all good", {Plain(1), Plain(4)}, {}, "", 0, 2, 0, 0},
      // A zero byte where a record should start.
      {"zero byte, -f", {Plain(1), kZero, Plain(4)}, {}, "f", 29, 2, 0, 1},
      {"zero byte", {Plain(1), kZero, Plain(4)}, {}, "", 11, 1, 0, 0},
      // A record with a wrong checksum (9 bytes long).
      {"bad checksum, -c", {Plain(1), kBadChecksum, Plain(4)}, {}, "c", 29, 2, 1, 9},
      {"bad checksum, -f", {Plain(1), kBadChecksum, Plain(4)}, {}, "f", 29, 2, 0, 9},
      {"bad checksum", {Plain(1), kBadChecksum, Plain(4)}, {}, "", 13, 1, 0, 0},
      // A search that finds nothing: garbage, or only a type-30 record,
      // which is never a candidate.
      {"search reaches the end", {Plain(1), kZero}, {0x55, 0x66, 0x77}, "f", 23, 1, 0, 0},
      {"type 30 never tried", {Plain(1), kZero, kType30}, {}, "f", 23, 1, 0, 0},
      // An epoch 20 s before the one converted last (beyond the 15 s allowed).
      {"epoch out of sequence, -f", {Epoch(100000), Epoch(80000), Plain(4)}, {}, "f", 29, 2, 0, 0},
      {"epoch out of sequence", {Epoch(100000), Epoch(80000), Plain(4)}, {}, "", 19, 1, 0, 0},
      // A truncated last record is neither written nor reported.
      {"truncated last record", {Plain(1)}, {0x02, 10, 9, 1}, "", 0, 1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const tb::Conversion run = Convert(c.records, c.trailing, c.options);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.records, c.records_);
    EXPECT_EQ(run.checksumErrors, c.checksumErrors);
    EXPECT_EQ(run.lostBytes, c.lostBytes);
  }
}

std::string Hex8(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "%08X", v);
  return b;
}

TEST(RawReader, ProblemRecordDumpAndSearchLines) {
  const Bytes second = Plain(4);
  const tb::Conversion run = Convert({Plain(1), kZero, second}, {}, "f", 3);
  const uint32_t first = tb::kImageRecordsOffset, bad = first + 10;  // after the first 10-byte record
  Lines want = {{2, "Record id:   9   Position: " + Hex8(first)},
                {2, "logsplit:  status : 11"},
                {2, "Start of Problem Record: " + Hex8(bad)},
                {3, "[  0]: 00"}, {3, "[  1]: 02"}, {3, "[  2]: 0A"},
                {3, " "}, {3, "Next 256 Bytes:"}, {3, " "}};
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
                           {3, " "},
                           {2, "logsplit:  error  : One or more errors encountered, but either ignored or skipped"}});
  // Without the banner and the closing lines of level 1.
  Lines got;
  for (const auto& l : run.lines)
    if (l.first >= 2) got.push_back(l);
  EXPECT_EQ(got, want);
}

// The closing counters are shown when above zero.
TEST(RawReader, ClosingCountersShownWhenAboveZero) {
  const tb::Conversion run = Convert({Plain(1), kBadChecksum, Plain(4)}, {}, "c", 1);
  ASSERT_GE(run.lines.size(), 4u);
  EXPECT_EQ(Lines(run.lines.end() - 4, run.lines.end()),
            (Lines{{1, "logsplit:  records: 2"}, {1, "logsplit:  status : 29"},
                   {1, "logsplit:  checksum err count: 1"}, {1, "logsplit:  total lost bytes: 9"}}));
}

}  // namespace
