// The K01 path of the run: K00, K01 (block and stream shapes) and K02 files
// built with the library's writer, converted end to end.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "k01lib/k01_writer.h"
#include "support/conversion_runner.h"
#include "support/record_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Converts a file on the K01 path; the record lines are kept apart.
tb::Conversion Convert(const Bytes& file, int16_t format, int verbose = 0, bool ignoreChecksum = false) {
  tb::Conversion c;
  c.input = file;
  c.format = format;
  c.verbose = static_cast<int16_t>(verbose);
  c.ignoreChecksum = ignoreChecksum;
  c.Run();
  return c;
}

std::vector<std::string> RecordLines(const tb::Conversion& c) {
  std::vector<std::string> out;
  for (const auto& [level, text] : c.lines)
    if (level == 2 && text.rfind("Record id:", 0) == 0) out.push_back(text);
  return out;
}

// Records of types that every path converts the same way: an event (19),
// an ion/UTC block (15) and a record type the encoder does not write (9).
std::vector<Bytes> Records(bool badChecksum = false) {
  Bytes ion;
  tb::Fields f;
  for (int v = 0; v < 11; ++v) f.f64(1.0 + v);
  f.u16(0xFFF2).u16(1462).u32(503808);
  for (int b = 0; b < 8; ++b) f.u8(b);
  return {tb::Fields().u8(0).u16(7).u32(518400500).u16(3).record(19),
          f.record(15),
          tb::Fields().u8(1).u8(2).u8(3).record(9, badChecksum)};
}

Bytes K00Signature() {
  // A type-30 record of length 15 with the maker text.
  return tb::Fields().u8(0).text("VELT").u8(0).u8(0).u8(0).u8(0).record(30);
}

Bytes Pack(const std::vector<Bytes>& records, k01::ContainerForm form, std::vector<uint8_t> blocks = {2},
           bool header = true) {
  k01::k01_write_options_t options;
  options.form = form;
  options.blockTypes = blocks;
  options.recordsPerBlock = 1;
  options.headerBlock = header;
  Bytes out;
  EXPECT_EQ(k01::writeK01File(records, options, out), 0);
  return out;
}

TEST(K01Path, EveryContainerFormGivesTheSameDat) {
  std::vector<Bytes> k00Records = {K00Signature()};
  for (const Bytes& r : Records()) k00Records.push_back(r);
  const tb::Conversion k00 = Convert(Pack(k00Records, k01::ContainerForm::kK00), kFormatK00);
  ASSERT_EQ(k00.status, 0);
  EXPECT_EQ(k00.records, 4u);
  // The event waits for two epochs; the ion/UTC record replaced the opening one.
  ASSERT_EQ(k00.Dat().size(), 485u);
  double first;
  std::memcpy(&first, k00.Dat().data() + 365, 8);
  EXPECT_EQ(first, 1.0);

  struct Form {
    const char* name;
    Bytes file;
    int16_t format;
  };
  const Form forms[] = {
      {"stream", Pack(Records(), k01::ContainerForm::kStream), kFormatK01},
      {"zlib blocks", Pack(Records(), k01::ContainerForm::kBlocks, {2}, true), kFormatK01},
      {"mixed blocks", Pack(Records(), k01::ContainerForm::kBlocks, {1, 3, 4}, true), kFormatK01},
      {"K02", Pack(Records(), k01::ContainerForm::kBlocks, {2, 4}, true), kFormatK02},
  };
  for (const Form& form : forms) {
    const tb::Conversion out = Convert(form.file, form.format);
    EXPECT_EQ(out.status, 0) << form.name;
    EXPECT_EQ(out.records, 3u) << form.name;
    // The same records give the same DAT bytes whatever the container.
    EXPECT_EQ(out.Dat(), k00.Dat()) << form.name;
  }
}

TEST(K01Path, RecordLinesNameTheTypeWrittenForEachRecord) {
  const tb::Conversion out = Convert(Pack(Records(), k01::ContainerForm::kStream), kFormatK01, 2);
  ASSERT_EQ(out.status, 0);
  ASSERT_EQ(RecordLines(out).size(), 3u);
  EXPECT_EQ(RecordLines(out)[0].substr(0, 14), "Record id:  19");
  EXPECT_EQ(RecordLines(out)[1].substr(0, 14), "Record id:  15");
  EXPECT_EQ(RecordLines(out)[2].substr(0, 14), "Record id:   9");
}

TEST(K01Path, BadChecksumInsideABlockStillReachesTheRawPath) {
  const tb::Conversion out = Convert(Pack(Records(true), k01::ContainerForm::kBlocks, {4}, true), kFormatK01);
  EXPECT_EQ(out.status, 0);
  EXPECT_EQ(out.records, 3u);
  EXPECT_EQ(out.checksumErrors, 0u);
}

TEST(K01Path, ReaderErrorIsAWarningNotAChecksumError) {
  Bytes file = Pack(Records(), k01::ContainerForm::kBlocks, {4}, true);
  // A block of an unknown type (9) between the records' blocks.
  k01::appendBlock(file, 9, Bytes(40, 0x55));
  const Bytes more = Pack({Records()[2]}, k01::ContainerForm::kBlocks, {4}, true);
  file.insert(file.end(), more.begin(), more.end());
  const tb::Conversion out = Convert(file, kFormatK01, 0, true);
  EXPECT_EQ(out.status, 29);
  EXPECT_EQ(out.records, 4u);
  EXPECT_EQ(out.checksumErrors, 0u);
}

}  // namespace
