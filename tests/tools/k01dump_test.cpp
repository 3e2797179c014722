// k01dump end to end: files of every form the K01 writer makes and raw
// images, clean and damaged, listed and summarised. Expected offsets come
// from the records' own lengths and the block layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "k01lib/k01_writer.h"
#include "k01lib/meas17_encoder.h"
#include "support/meas17_log.h"
#include "support/record_builder.h"
#include "tools/tool_runner.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

constexpr long kHeaderBytes = 17;  // header block: type, 24-bit length, 13-byte payload

// Writes a file into a folder removed at exit; returns its path.
std::string Write(const std::string& name, const Bytes& bytes) {
  static const struct Dir {
    std::string path = tb::MakeTempDir();
    ~Dir() { tb::RemoveTree(path); }
  } dir;
  tb::WriteFile(dir.path + "/" + name, bytes);
  return dir.path + "/" + name;
}

// A listing with its blanks collapsed: record lines "offset container type
// length checksum decode dat out" and error lines "offset error text" in
// `lines`, the closing count line in `footer`.
struct Listing {
  int exit = -1;
  Lines lines;
  std::string footer;
};
Listing List(const Lines& args) {
  const tt::ToolRun run = tt::RunTool("k01dump", args);
  Listing l{run.exitStatus, {}, {}};
  std::istringstream in(run.out);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string w, joined;
    while (words >> w) joined += (joined.empty() ? "" : " ") + w;
    (line.rfind("# ", 0) == 0 ? l.footer : l.lines.emplace_back()) = joined;
  }
  return l;
}

// Records whose DAT type and DAT length follow from their fields (the same
// bytes are raw image records), with their length; "?" where the catalogue
// leaves the DAT length to the decoder. Type 30 "VELT" first: the K00
// signature.
struct Sample {
  Bytes rec;
  int length;
  const char* datOut;
};
const std::vector<Sample> kSamples = {
    {rawrec::BuildRecord(30, {0, 'V', 'E', 'L', 'T', 0, 0, 0, 0}), 15, "30 ?"},
    {tb::Fields().u8(0).u16(7).u32(1000).u16(3).record(19), 15, "19 14"},  // subtype 0
    {tb::Fields().u8(0).u32(0x11223344).u16(1500).u8(9).zeros(28).record(25), 42, "25 39"},
    {tb::Fields().u16(0x1234).u8(1).u8(3).u8(5).u8(6).u8(7).record(31), 13, "31 11"},             // n + 8
    {tb::Fields().u8(1).u16(2).u32(3).u8(7).u16(500).u8(6).u16(0xFFFB).record(40), 19, "40 29"},  // 11 + 9n
    {tb::Fields().u32(0x01010101).record(90), 10, "90 0"},
    {tb::Fields().u8(0).u16(9).record(22), 9, "22 0"},   // no slot
    {tb::Fields().u8(0).u16(9).record(200), 9, "- 0"},   // unknown type
};
const std::vector<Bytes> kRecs = [] {
  std::vector<Bytes> r;
  for (const Sample& s : kSamples) r.push_back(s.rec);
  return r;
}();
// Where each record starts among the plain records, and with the start,
// checksum and end bytes stripped (4 bytes less each).
const long kOffsets[8] = {0, 15, 30, 72, 85, 104, 114, 123}, kStrippedOffsets[8] = {0, 11, 22, 60, 69, 84, 90, 95};
Bytes Concat(size_t from = 0) {
  Bytes out;
  for (size_t i = from; i < kRecs.size(); ++i) out.insert(out.end(), kRecs[i].begin(), kRecs[i].end());
  return out;
}

// Appends a data block of records [from, to); returns its file offset.
long Block(Bytes& file, uint8_t type, const std::vector<Bytes>& recs, size_t from, size_t to) {
  Bytes payload;
  EXPECT_EQ(k01::buildBlockPayload(type, recs, from, to - from, payload), k01::kWriteOk);
  const long at = static_cast<long>(file.size());
  k01::appendBlock(file, type, payload);
  return at;
}
// A K02 file: the header block, then blocks of `type` holding records
// [0, split) and [split, end); *second: where the second block starts.
Bytes Blocks(uint8_t type, const std::vector<Bytes>& recs, size_t split, long* second = nullptr) {
  Bytes file;
  k01::appendHeaderBlock(file);
  EXPECT_EQ(Block(file, type, recs, 0, split), kHeaderBytes);
  const long at = split < recs.size() ? Block(file, type, recs, split, recs.size()) : 0;
  if (second != nullptr) *second = at;
  return file;
}

// Lines equal; a want ending in " ?" leaves the last word open.
void ExpectLines(const Lines& got, const Lines& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    const bool open = want[i].back() == '?';
    EXPECT_EQ(open ? got[i].substr(0, got[i].rfind(' ')) : got[i],
              open ? want[i].substr(0, want[i].size() - 2) : want[i]);
  }
}

TEST(K01dump, ListsEveryFormClean) {
  const std::vector<Bytes>& recs = kRecs;
  struct Case {
    std::string name, format;
    Bytes file;
    std::function<std::string(size_t)> where;  // "offset container" of record i
    std::string checksum = "ok";
  };
  std::vector<Case> cases = {
      {"k00", "K00", Concat(), [](size_t i) { return std::to_string(kOffsets[i]) + " stream/plain"; }},
      {"q00", "Q00", [&] { tb::RawImage m; m.records = recs; return m.bytes(); }(),
       [](size_t i) { return std::to_string(tb::kImageRecordsOffset + kOffsets[i]) + " image"; }}};
  k01::k01_write_options_t stream;
  stream.form = k01::ContainerForm::kStream;
  ASSERT_EQ(k01::writeK01File(recs, stream, cases.emplace_back().file), k01::kWriteOk);
  cases.back().name = "stream", cases.back().format = "K01";
  cases.back().where = [&](size_t i) {  // a coded record ends with the byte that holds its last bit
    k01::HuffmanEncoder e;
    const Bytes all = Concat();
    e.put(all.data(), i < 7 ? static_cast<size_t>(kOffsets[i + 1]) : all.size());
    e.pad();
    return std::to_string(e.bytes().size()) + " stream/huffman";
  };
  const char* coding[] = {"", "bzip2", "zlib", "huffman", "plain", "stripped"};
  for (uint8_t t = 1; t <= 5; ++t) {
    const long* in = t == 5 ? kStrippedOffsets : kOffsets;  // stored records lack start, checksum and end byte
    long b2 = 0;
    const Bytes file = Blocks(t, recs, 3, &b2);
    cases.push_back({"blocks " + std::to_string(t), "K02", file, [=, &coding](size_t i) {
                       return (i < 3 ? std::to_string(kHeaderBytes) + "+" + std::to_string(in[i]) + " block1/"
                                     : std::to_string(b2) + "+" + std::to_string(in[i] - in[3]) + " block2/") +
                              coding[t];
                     }, t == 5 ? "unverified" : "ok"});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Lines rows;
    for (size_t i = 0; i < kSamples.size(); ++i)
      rows.push_back(c.where(i) + " " + std::to_string(kSamples[i].rec[2]) + " " +
                     std::to_string(kSamples[i].length) + " " + c.checksum + " ok " +
                     (c.format == "Q00" ? "- -" : kSamples[i].datOut));
    const std::string path = Write("f.bin", c.file);
    const Listing l = List({path});
    EXPECT_EQ(l.exit, 0);
    ExpectLines(l.lines, rows);
    EXPECT_EQ(l.footer, "# 8 records, 0 errors");
    const tt::ToolRun sum = tt::RunTool("k01dump", {"-s", path});
    EXPECT_EQ(sum.exitStatus, 0);
    EXPECT_NE(sum.out.find("format: " + c.format + "\nrecords: 8\nerrors: 0\n"), std::string::npos) << sum.out;
  }
  // Hexadecimal offsets: record 1 of the first block, 15 bytes in.
  const Listing hex = List({"-x", Write("h.k02", Blocks(4, recs, recs.size()))});
  EXPECT_EQ(hex.lines.at(1).substr(0, 18), "00000011+0000000F ");
}

TEST(K01dump, ReportsDamage) {
  const std::vector<Bytes>& recs = kRecs;
  struct Case {
    std::string name;
    Bytes file;
    Lines errors;       // the error lines, in order
    std::string types;  // types of the record lines
    std::string footer;
    std::string badRow = "";  // the one record line with a bad checksum
  };
  Bytes flipped = Blocks(4, recs, recs.size());  // record 1 sits at 17 + 10 + 15 in a plain block
  flipped[17 + 10 + 15 + 5] ^= 0x40;
  std::vector<Case> cases = {{"flipped byte", flipped, {}, "30 19 25 31 40 90 22 200", "# 8 records, 1 error",
                              "17+15 block1/plain 19 15 bad checksum 19 0"}};
  const std::string refused =
      " error reader refused (9): data block after a header block with refused version bytes";
  for (int damage = 0; damage < 4; ++damage) {  // the second of three zlib (bzip2) blocks spoilt
    const uint8_t type = damage == 3 ? 1 : 2;
    Bytes f;
    k01::appendHeaderBlock(f);
    Block(f, type, recs, 0, 3);
    const std::string h2 = std::to_string(f.size());
    if (damage == 2) k01::appendHeaderBlock(f, 9, 11);  // version byte 10 above 8
    const long b2 = Block(f, type, recs, 3, 6), b3 = Block(f, type, recs, 6, 8);
    if (damage == 0 || damage == 3) f[static_cast<size_t>(b2 + 10 + (b3 - b2 - 10) / 2)] ^= 0xFF;
    if (damage == 1) f[static_cast<size_t>(b2)] = 6;
    const Lines errors[] = {
        {std::to_string(b2) + " error reader zlib (10): zlib block failed to decompress"},
        {std::to_string(b2) + " error reader unknown-block (7): unknown block type; block skipped"},
        {h2 + refused, std::to_string(b3) + refused},
        // The reader searches past a bzip2 block that fails and says nothing.
        {std::to_string(b2) + " error skipped " + std::to_string(b3 - b2) +
         " bytes: no block could be decoded here"}};
    cases.push_back({"zlib damage " + std::to_string(damage), f, errors[damage],
                     damage == 2 ? "30 19 25" : "30 19 25 22 200",
                     damage == 2 ? "# 3 records, 2 errors" : "# 5 records, 1 error"});
  }
  // Cut short: a K00 file and a plain block inside the last record, at 123.
  Bytes k00 = Concat(), plain = Blocks(4, recs, recs.size());
  k00.resize(k00.size() - 4);
  plain.resize(plain.size() - 4);
  cases.push_back({"cut k00", k00, {"123 error truncated: 5 bytes at the end of the file hold no complete record"},
                   "30 19 25 31 40 90 22", "# 7 records, 1 error"});
  cases.push_back({"cut block", plain,
                   {"17+123 error reader framing (3): bad record or block length, or bad header block"},
                   "30 19 25 31 40 90 22", "# 7 records, 1 error"});
  // K00 record 2 (type 25, 42 bytes at 30) spoilt by a false record start
  // at 50 whose length (42) reaches into records 31 (at 72) and 40 (at 85):
  // both fail and are dropped, and record 31 is found in the reader's buffer.
  Bytes k00bad = Concat();
  const Bytes falseStart = {0x02, 42, 25, 0};
  std::copy(falseStart.begin(), falseStart.end(), k00bad.begin() + 50);
  const std::string dropped = " error reader checksum (2): checksum mismatch in the stream; one byte dropped";
  cases.push_back({"k00 checksum", k00bad,
                   {"30" + dropped, "50" + dropped, "30 error skipped 42 bytes: no record starts here"},
                   "30 19 31 40 90 22 200", "# 7 records, 2 errors"});
  // Raw image: a bad checksum, 3 stray bytes after type 40 (ending at 104),
  // 20 bytes of a record after the last one (at 104 + 3 + 10 + 9 + 9 = 135).
  tb::RawImage image;
  image.records = recs;
  image.records[1] = tb::Fields().u8(0).u16(7).u32(1000).u16(3).record(19, true);
  image.records[4].insert(image.records[4].end(), {0xFF, 0xFF, 0xFF});
  image.trailing = Bytes(recs[2].begin(), recs[2].begin() + 20);
  const long at = tb::kImageRecordsOffset;
  cases.push_back({"q00", image.bytes(),
                   {std::to_string(at + 104) + " error skipped 3 bytes: no record starts here",
                    std::to_string(at + 135) +
                        " error truncated: 20 bytes at the end of the file hold no complete record"},
                   "30 19 25 31 40 90 22 200", "# 8 records, 3 errors",
                   std::to_string(at + 15) + " image 19 15 bad checksum - -"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Listing l = List({Write("d.bin", c.file)});
    EXPECT_EQ(l.exit, 1);
    Lines errors;
    std::string types;
    for (const std::string& line : l.lines) {
      std::istringstream w(line);
      std::string offset, box, type, length, checksum, decode;
      w >> offset >> box >> type >> length >> checksum >> decode;
      if (box == "error") {
        errors.push_back(line);
        continue;
      }
      types += (types.empty() ? "" : " ") + type;
      EXPECT_TRUE(line == c.badRow || checksum + " " + decode == "ok ok") << line;
    }
    EXPECT_EQ(errors, c.errors);
    EXPECT_EQ(types, c.types);
    EXPECT_EQ(l.footer, c.footer);
    EXPECT_TRUE(c.badRow.empty() || std::count(l.lines.begin(), l.lines.end(), c.badRow) == 1);
  }
  const std::string z = Write("z.k02", cases[1].file);
  const tt::ToolRun sum = tt::RunTool("k01dump", {"-s", z});
  EXPECT_EQ(sum.exitStatus, 1);
  EXPECT_EQ(sum.out, "file: " + z +
                         "\nformat: K02\nrecords: 5\nerrors: 1\ntype 19: 1\ntype 22: 1\ntype 25: 1\n"
                         "type 30: 1\ntype 200: 1\nchecksum ok: 5\ndecode ok: 5\nreader zlib: 1\n");
  EXPECT_EQ(List({"-e", Write("e.k02", flipped)}).lines, Lines{cases[0].badRow});
}

// Compressed measurements decode with the histories carried from record to
// record: a spoilt key epoch fails, and so does every delta epoch built on
// it, up to the next key epoch.
TEST(K01dump, CompressedRecordsCarryHistories) {
  tb::Meas17LogShape shape;
  shape.epochs = 16;
  std::vector<Bytes> raw, packed;
  for (const auto& e : tb::Meas17Log(shape)) ASSERT_TRUE(k01::buildRaw17Record(e, raw.emplace_back()));
  k01::k01_write_options_t o;
  o.measurementKeyInterval = 5;
  ASSERT_EQ(k01::compressMeasurementRecords(raw, o, packed), k01::kWriteOk);
  std::vector<size_t> keys;
  std::vector<long> offsets = {0};
  for (size_t i = 0; i < packed.size(); ++i) {
    if (packed[i][2] == 67 || packed[i][2] == 75) keys.push_back(i);
    offsets.push_back(offsets.back() + static_cast<long>(packed[i].size()));
  }
  ASSERT_GE(keys.size(), 3u);
  Bytes f = Blocks(4, packed, packed.size());
  for (int spoilt : {0, 1}) {
    SCOPED_TRACE(spoilt);
    if (spoilt) f[static_cast<size_t>(17 + 10 + offsets[keys[1]] + 12)] ^= 0x01;
    const Listing l = List({Write("m.k02", f)});
    EXPECT_EQ(l.exit, spoilt);
    Lines want;
    for (size_t i = 0; i < packed.size(); ++i)
      want.push_back("17+" + std::to_string(offsets[i]) + " block1/plain " + std::to_string(packed[i][2]) +
                     " " + std::to_string(packed[i].size()) +
                     (spoilt && i >= keys[1] && i < keys[2] ? " - transcode 17 0" : " ok ok 17 ?"));
    ExpectLines(l.lines, want);
  }
}

TEST(K01dump, ArgumentsFormatsAndExitStatus) {
  // Records without the K00 signature: found by a probed extension, taken
  // for K01, and listed cleanly when read as K00 (type 200 at 108).
  const std::string file = Write("plain.k00", Concat(1)), base = file.substr(0, file.size() - 4);
  EXPECT_NE(tt::RunTool("k01dump", {"-s", base}).out.find("format: K01\n"), std::string::npos);
  for (const Lines& args : {Lines{"-t", "k00", base}, Lines{"-t", ".K00", base}, Lines{"-tk00", base}}) {
    const Listing l = List(args);
    EXPECT_EQ(l.exit, 0);
    EXPECT_EQ(l.lines.size(), 7u);
    EXPECT_EQ(l.lines.at(6), "108 stream/plain 200 9 ok ok - 0");
  }
  const struct {
    Lines args;
    int exit;
  } cases[] = {{{}, 2}, {{"-q", file}, 2}, {{"-t", "k03", file}, 2}, {{"-t"}, 2}, {{file, file}, 2},
               {{file + ".missing"}, 2}, {{"-h"}, 0}, {{"--help"}, 0}};
  for (const auto& c : cases) EXPECT_EQ(tt::RunTool("k01dump", c.args).exitStatus, c.exit) << c.args.size();
}

}  // namespace
