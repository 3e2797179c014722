// The K01 path of the run: K00, K01 and K02 files built with the library's
// writer, converted end to end: record counts and lines, record errors as
// warnings. (Every container form, and compressed type-17 logs, converting
// to the same DAT file is checked with the packing tool in tests/tools.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/byte_order.h"
#include "k01lib/k01_writer.h"
#include "k01lib/meas17_encoder.h"
#include "support/conversion_runner.h"
#include "support/meas17_log.h"
#include "support/record_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;
using k01::ContainerForm;

tb::Conversion Convert(const Bytes& file, int16_t format, int16_t verbose = 0, bool ignoreChecksum = false) {
  tb::Conversion c;
  c.input = file;
  c.format = format;
  c.verbose = verbose;
  c.ignoreChecksum = ignoreChecksum;
  c.Run();
  return c;
}

// Records of types that every path converts the same way: an event (19),
// an ion/UTC block (15) and a record type the encoder does not write (9).
std::vector<Bytes> Records(bool badChecksum = false) {
  tb::Fields ion;
  for (int v = 0; v < 11; ++v) ion.f64(1.0 + v);
  ion.u16(0xFFF2).u16(1462).u32(503808).u64(0x0001020304050607);
  return {tb::Fields().u8(0).u16(7).u32(518400500).u16(3).record(19), ion.record(15),
          tb::Fields().u8(1).u8(2).u8(3).record(9, badChecksum)};
}

// The record that opens a K00 file: type 30, length 15, the maker text.
Bytes K00Signature() { return tb::Fields().u8(0).text("VELT").u32(0).record(30); }

k01::k01_write_options_t Options(ContainerForm form, std::vector<uint8_t> blocks = {2}, size_t perBlock = 1) {
  k01::k01_write_options_t o;
  o.form = form;
  o.blockTypes = blocks;
  o.recordsPerBlock = perBlock;
  return o;
}

Bytes Pack(const std::vector<Bytes>& records, const k01::k01_write_options_t& o) {
  Bytes out;
  EXPECT_EQ(k01::writeK01File(records, o, out), k01::kWriteOk);
  return out;
}

TEST(K01Path, EveryFormatCountsAndShowsItsRecords) {
  std::vector<Bytes> k00Records = {K00Signature()};
  for (const Bytes& r : Records()) k00Records.push_back(r);
  const tb::Conversion k00 = Convert(Pack(k00Records, Options(ContainerForm::kK00)), kFormatK00);
  ASSERT_EQ(k00.status, 0);
  EXPECT_EQ(k00.records, 4u);
  // The event waits for two epochs; the ion/UTC record replaced the opening one.
  ASSERT_EQ(k00.Dat().size(), 485u);
  EXPECT_EQ(bo::GetLeDouble(k00.Dat().data() + 365), 1.0);

  const std::pair<Bytes, int16_t> forms[] = {
      {Pack(Records(), Options(ContainerForm::kStream)), kFormatK01},
      {Pack(Records(), Options(ContainerForm::kBlocks, {2, 4})), kFormatK02}};
  for (const auto& [file, format] : forms) {
    SCOPED_TRACE(format);
    const tb::Conversion out = Convert(file, format, 2);
    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(out.records, 3u);
    EXPECT_EQ(out.Dat(), k00.Dat());
    // Record lines name the type written for each record.
    std::vector<std::string> ids;
    for (const auto& [level, text] : out.lines)
      if (level == 2 && text.rfind("Record id:", 0) == 0) ids.push_back(text.substr(0, 14));
    EXPECT_EQ(ids, (std::vector<std::string>{"Record id:  19", "Record id:  15", "Record id:   9"}));
  }
}

TEST(K01Path, RecordErrorsAreWarnings) {
  // A bad checksum inside a block still reaches the raw path, which takes it.
  tb::Conversion out = Convert(Pack(Records(true), Options(ContainerForm::kBlocks, {4})), kFormatK01);
  EXPECT_EQ(out.status, 0);
  EXPECT_EQ(out.records, 3u);
  // A block of an unknown type is a reader error: a warning, not a
  // checksum error, and the records after it are read.
  Bytes file = Pack(Records(), Options(ContainerForm::kBlocks, {4}));
  k01::appendBlock(file, 9, Bytes(40, 0x55));
  const Bytes more = Pack({Records()[2]}, Options(ContainerForm::kBlocks, {4}));
  file.insert(file.end(), more.begin(), more.end());
  out = Convert(file, kFormatK01, 0, true);
  EXPECT_EQ(out.status, 29);
  EXPECT_EQ(out.records, 4u);
  EXPECT_EQ(out.checksumErrors, 0u);
}

// A compressed key epoch whose carried checksum is wrong fails in the
// library, then on the raw path with a bad checksum: with -c that is a
// counted checksum error, and either way the run ends with 29.
TEST(K01Path, CompactChecksumErrorIsCountedWithIgnoreChecksum) {
  const auto epochs = tb::Meas17Log(tb::Meas17LogShape{});
  k01::k01_meas17_encoder_t enc;
  Bytes key;
  ASSERT_EQ(enc.key(epochs[0], key), 0);
  ASSERT_EQ(key[2], 67);
  key[key.size() - 2] ^= 0x01;  // the carried checksum, just before the end byte
  std::vector<Bytes> records = {K00Signature(), key};
  for (const Bytes& r : Records()) records.push_back(r);
  for (bool ignore : {true, false}) {
    const tb::Conversion out = Convert(Pack(records, Options(ContainerForm::kK00)), kFormatK00, 1, ignore);
    EXPECT_EQ(out.status, 29);
    EXPECT_EQ(out.checksumErrors, ignore ? 1u : 0u);
    bool counted = false;
    for (const auto& line : out.lines) counted |= line.second == "logsplit:  checksum err count: 1";
    EXPECT_EQ(counted, ignore);
  }
}

}  // namespace
