// k01pack end to end: a raw image packed into every container form, with
// and without record compression, converts to the same DAT file; damaged
// input and bad requests end with the documented exit codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "k01lib/meas17_encoder.h"
#include "support/conversion_runner.h"
#include "support/meas17_log.h"
#include "support/record_builder.h"
#include "tool_runner.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Args = std::vector<std::string>;

class K01pack : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE((dir_ = tb::MakeTempDir()).empty());
    tb::Meas17LogShape shape;
    shape.epochs = 24;
    shape.zeroDoppler = true;  // so that the smoothed predictor can delta-code the epochs
    for (const auto& e : tb::Meas17Log(shape)) {
      image_.records.emplace_back();
      ASSERT_TRUE(k01::buildRaw17Record(e, image_.records.back()));
      if (image_.records.size() % 8 == 0)  // an event now and then
        image_.records.push_back(tb::Fields().u8(0).u16(7).u32(e.time).u16(3).record(19));
    }
  }
  void TearDown() override { tb::RemoveTree(dir_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string WriteImage(const std::string& name, const Bytes& bytes) {
    tb::WriteFile(Path(name), bytes);
    return Path(name);
  }
  static Bytes Dat(const Bytes& file, int16_t format) {
    tb::Conversion c;
    c.input = file;
    c.format = format;
    EXPECT_EQ(c.Run(), 0);
    return c.Dat();
  }

  std::string dir_;
  tb::RawImage image_;
};

TEST_F(K01pack, EveryFormConvertsToTheSameDat) {
  const std::string q00 = WriteImage("in.q00", image_.bytes());
  ASSERT_EQ(tt::RunTool("k01pack", {q00, Path("ref.k00")}).exitStatus, 0);
  const Bytes reference = Dat(tb::ReadFile(Path("ref.k00")), kFormatK00);
  ASSERT_GT(reference.size(), 1000u);

  const struct {
    Args options;
    const char* out;
    int16_t format;
    std::vector<const char*> containers;  // as the listing names them
  } cases[] = {
      {{"-f", "stream"}, "s.k01", kFormatK01, {"stream/huffman"}},
      {{"-f", "stream", "-F", "5", "-c", "linear"}, "sf.k01", kFormatK01, {"stream/huffman"}},
      {{"-b", "1"}, "b1.k01", kFormatK01, {"/bzip2"}},
      {{"-b", "2", "-c", "linear,4", "-z", "all"}, "b2.k01", kFormatK01, {"/zlib"}},
      {{"-b", "3,4", "-n", "3"}, "b34.k01", kFormatK01, {"/huffman", "/plain"}},
      {{"-b", "1,2,3,4,5", "-n", "2"}, "all.k02", kFormatK02,
       {"/bzip2", "/zlib", "/huffman", "/plain", "/stripped"}},
      {{"-b", "4", "--no-header"}, "nh.k01", kFormatK01, {"/plain"}},
      {{"-b", "5,1", "-n", "10", "-c", "smoothed,6"}, "sm.k02", kFormatK02, {"/stripped", "/bzip2"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out);
    Args args = c.options;
    args.push_back(q00);
    args.push_back(Path(c.out));
    const tt::ToolRun run = tt::RunTool("k01pack", args);
    ASSERT_EQ(run.exitStatus, 0) << run.out;
    EXPECT_NE(run.out.find(" bytes written to " + Path(c.out)), std::string::npos);
    const Bytes packed = tb::ReadFile(Path(c.out));
    EXPECT_EQ(Dat(packed, c.format), reference);
    // The listing tool finds nothing wrong in what the packer wrote, and
    // the records sit in the containers asked for.
    const tt::ToolRun listing = tt::RunTool("k01dump", {Path(c.out)});
    EXPECT_EQ(listing.exitStatus, 0);
    for (const char* container : c.containers)
      EXPECT_NE(listing.out.find(container), std::string::npos) << container;
    // Unpacked again, the records are those of the image (compressed
    // records stay compressed: the container is all that is undone).
    const bool compressed = std::find(c.options.begin(), c.options.end(), "-c") != c.options.end();
    if (compressed) continue;
    ASSERT_EQ(tt::RunTool("k01pack", {Path(c.out), Path("back.k00")}).exitStatus, 0);
    EXPECT_EQ(tb::ReadFile(Path("back.k00")), tb::ReadFile(Path("ref.k00")));
  }
}

TEST_F(K01pack, DamagedInputAndBadRequests) {
  // Stray bytes between two records of the image are skipped and reported;
  // the records around them are packed.
  tb::RawImage damaged = image_;
  damaged.records.insert(damaged.records.begin() + 3, Bytes{0x55, 0x66, 0x77});
  const std::string bad = WriteImage("bad.q00", damaged.bytes());
  const tt::ToolRun run = tt::RunTool("k01pack", {bad, Path("bad.k01")}, true);
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_NE(run.out.find("k01pack: 3 stray bytes skipped"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(std::to_string(image_.records.size()) + " records"), std::string::npos);

  const std::string q00 = WriteImage("in.q00", image_.bytes());
  const struct {
    Args args;
    int exit;
  } cases[] = {
      {{"-b", "9", q00, Path("x.k01")}, 1},                 // no such block type
      {{"-f", "tape", q00, Path("x.k01")}, 1},              // no such form
      {{"-c", "cubic", q00, Path("x.k01")}, 1},             // no such predictor
      {{q00}, 1},                                            // no output name
      {{Path("missing.q00"), Path("x.k01")}, 2},            // nothing to read
      {{q00, Path("no/such/dir/x.k01")}, 2},                // nowhere to write
      {{"-b", "5", "-c", "linear", q00, Path("x.k01")}, 3}, // stripping loses these records
      {{"-h"}, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(tt::RunTool("k01pack", c.args).exitStatus, c.exit) << c.args.front();
}

}  // namespace
