// A measurement log stored as raw type-17 epochs and the same log stored as
// compressed type-17 records (key and delta epochs of either predictor)
// convert into byte-identical DAT files, whatever the container.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "k01lib/k01_writer.h"
#include "k01lib/meas17_encoder.h"
#include "support/conversion_runner.h"
#include "support/meas17_log.h"
#include "support/record_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;
using k01::ContainerForm;
using k01::Meas17Predictor;

// The log as a receiver writes it: a session record, then the epochs, with
// an event record in between.
std::vector<Bytes> RawLog(bool zeroDoppler) {
  tb::Meas17LogShape shape;
  shape.zeroDoppler = zeroDoppler;
  std::vector<Bytes> records = {tb::Fields().u8(0).text("RX").record(30)};
  const auto log = tb::Meas17Log(shape);
  for (size_t i = 0; i < log.size(); ++i) {
    Bytes raw;
    EXPECT_TRUE(k01::buildRaw17Record(log[i], raw));
    records.push_back(raw);
    if (i == 10) records.push_back(tb::Fields().u8(0).u16(7).u32(log[i].time + 500).u16(3).record(19));
  }
  return records;
}

// Compressed unless the predictor is left out.
Bytes Pack(const std::vector<Bytes>& records, std::optional<Meas17Predictor> predictor,
           ContainerForm form = ContainerForm::kBlocks, std::vector<uint8_t> blocks = {2},
           uint32_t keyInterval = 0) {
  k01::k01_write_options_t o;
  o.form = form;
  o.blockTypes = blocks;
  o.recordsPerBlock = 9;
  o.compressMeasurements = predictor.has_value();
  o.measurementPredictor = predictor.value_or(Meas17Predictor::kLinear);
  o.measurementKeyInterval = keyInterval;
  Bytes out;
  EXPECT_EQ(k01::writeK01File(records, o, out), k01::kWriteOk);
  return out;
}

TEST(K01Compressed, CompressedLogGivesTheRawLogsDat) {
  struct Case {
    const char* name;
    Meas17Predictor predictor;
    ContainerForm form;
    std::vector<uint8_t> blocks;
    uint32_t keyInterval;
  } cases[] = {
      {"linear, zlib", Meas17Predictor::kLinear, ContainerForm::kBlocks, {2}, 0},
      {"linear, stream", Meas17Predictor::kLinear, ContainerForm::kStream, {2}, 0},
      {"linear, key every 6, mixed blocks", Meas17Predictor::kLinear, ContainerForm::kBlocks, {1, 3, 4}, 6},
      {"smoothed, zlib", Meas17Predictor::kSmoothed, ContainerForm::kBlocks, {2}, 0},
      {"smoothed, stripped blocks", Meas17Predictor::kSmoothed, ContainerForm::kBlocks, {5, 2}, 0},
      {"smoothed, key every 4, stream", Meas17Predictor::kSmoothed, ContainerForm::kStream, {2}, 4},
  };
  for (bool zeroDoppler : {false, true}) {
    const std::vector<Bytes> raw = RawLog(zeroDoppler);
    tb::Conversion plain;
    plain.input = Pack(raw, std::nullopt);
    plain.format = kFormatK01;
    ASSERT_EQ(plain.Run(), 0);
    ASSERT_EQ(plain.records, raw.size());
    ASSERT_GT(plain.Dat().size(), 40u * 200u);
    for (const Case& c : cases) {
      // 68/76 carry no Doppler: that predictor is compared on the log
      // without Doppler values (with them it would send key epochs only).
      if (c.predictor == Meas17Predictor::kSmoothed && !zeroDoppler) continue;
      SCOPED_TRACE(c.name);
      tb::Conversion packed = plain;
      packed.input = Pack(raw, c.predictor, c.form, c.blocks, c.keyInterval);
      EXPECT_EQ(packed.Run(), 0);
      EXPECT_EQ(packed.records, raw.size());
      EXPECT_EQ(packed.Dat(), plain.Dat());
    }
  }
}

// The logsplit program itself, when the test knows where it is: its own
// name resolution reads the compressed log alike.
TEST(K01Compressed, ProgramConvertsTheCompressedLogAlike) {
  const char* bin = std::getenv("LOGSPLIT_BIN");
  if (bin == nullptr || !tb::FileExists(bin)) GTEST_SKIP() << "LOGSPLIT_BIN not set";
  const std::vector<Bytes> raw = RawLog(true);
  const std::string dir = tb::MakeTempDir();
  // The same file name in each folder: the station name comes from it.
  auto run = [&](const char* sub, const Bytes& file) {
    const std::string base = dir + "/" + sub + "/gs00233a";
    EXPECT_EQ(std::system(("mkdir " + dir + "/" + sub).c_str()), 0);
    tb::WriteFile(base + ".K01", file);
    EXPECT_EQ(std::system((std::string(bin) + " -d " + base + " > /dev/null 2>&1").c_str()), 0) << sub;
    return tb::ReadFile(base + ".dat");
  };
  const Bytes a = run("plain001", Pack(raw, std::nullopt));
  EXPECT_GT(a.size(), 1000u);
  EXPECT_EQ(run("linear01", Pack(raw, Meas17Predictor::kLinear)), a);
  EXPECT_EQ(run("smooth01", Pack(raw, Meas17Predictor::kSmoothed)), a);
  tb::RemoveTree(dir);
}

}  // namespace
