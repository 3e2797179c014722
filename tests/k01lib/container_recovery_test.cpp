// Damage recovery of the container reader: statuses and where reading goes on.
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <vector>

#include "common/raw_record.h"
#include "k01lib/container_reader.h"
#include "k01lib/k01_writer.h"
#include "support/k01_files.h"

namespace k01 {
namespace {

using k01test::Bytes;
using k01test::Reader;
using Records = std::vector<Bytes>;
using Statuses = std::vector<uint8_t>;

Records Pick(const Records& v, std::initializer_list<std::pair<size_t, size_t>> ranges) {
  Records out;
  for (const auto& [from, to] : ranges) out.insert(out.end(), v.begin() + from, v.begin() + to);
  return out;
}

// Appends data blocks (no header) holding records [from, to).
void AppendBlocks(Bytes& file, const Records& recs, size_t from, size_t to, uint8_t type) {
  k01_write_options_t opt;
  opt.headerBlock = false;
  opt.blockTypes = {type};
  Bytes part;
  ASSERT_EQ(writeK01File(Pick(recs, {{from, to}}), opt, part), kWriteOk);
  file.insert(file.end(), part.begin(), part.end());
}

TEST(BlockRecovery, UnknownBlockTypeIsSkippedWhole) {
  const auto recs = k01test::SampleRecords(6, 10);
  Bytes file;
  appendHeaderBlock(file);
  AppendBlocks(file, recs, 0, 3, kBlockPlain);
  appendBlock(file, 6, Bytes(40, 0x02));
  const long afterUnknown = static_cast<long>(file.size());
  AppendBlocks(file, recs, 3, 6, kBlockZlib);
  const auto steps = k01test::ReadAll(file, Reader::kK01);
  ASSERT_EQ(steps.size(), 8u);
  EXPECT_EQ(steps[3].status, kReadUnknownBlock);
  EXPECT_EQ(steps[3].position, afterUnknown);
  EXPECT_EQ(k01test::Records(steps), recs);
}

TEST(BlockRecovery, RefusedHeaderVersionRefusesBlocksUntilAnAcceptedHeader) {
  const struct {
    uint8_t v10, v11;
    bool accepted;
  } cases[] = {{9, 0, false}, {0, 25, false}, {8, 24, true}};
  const auto recs = k01test::SampleRecords(6, 11);
  for (const auto& c : cases) {
    Bytes file;
    appendHeaderBlock(file);
    AppendBlocks(file, recs, 0, 2, kBlockPlain);
    appendHeaderBlock(file, c.v10, c.v11);
    AppendBlocks(file, recs, 2, 3, kBlockZlib);
    const long afterFirstRefused = static_cast<long>(file.size());
    AppendBlocks(file, recs, 3, 4, kBlockHuffman);
    appendHeaderBlock(file);
    AppendBlocks(file, recs, 4, 6, kBlockPlain);
    const auto steps = k01test::ReadAll(file, Reader::kK01);
    if (c.accepted) {
      EXPECT_EQ(k01test::Records(steps), recs);
      EXPECT_EQ(k01test::Statuses(steps), Statuses({kReadEndOfFile}));
      continue;
    }
    EXPECT_EQ(k01test::Records(steps), Pick(recs, {{0, 2}, {4, 6}}));
    EXPECT_EQ(k01test::Statuses(steps), Statuses({kReadRefused, kReadRefused, kReadEndOfFile}));
    EXPECT_EQ(steps[2].position, afterFirstRefused);
  }
}

TEST(BlockRecovery, FailingBzip2BlockGoesOnWithTheNextDecodableBlock) {
  const auto recs = k01test::SampleRecords(6, 12);
  Bytes file, broken;
  appendHeaderBlock(file);
  AppendBlocks(file, recs, 0, 2, kBlockPlain);
  AppendBlocks(broken, recs, 2, 4, kBlockBzip2);
  for (size_t i = 20; i < broken.size(); i += 7) broken[i] ^= 0x5A;
  file.insert(file.end(), broken.begin(), broken.end());
  AppendBlocks(file, recs, 4, 6, kBlockZlib);
  const auto steps = k01test::ReadAll(file, Reader::kK01);
  EXPECT_EQ(k01test::Records(steps), Pick(recs, {{0, 2}, {4, 6}}));
  EXPECT_EQ(k01test::Statuses(steps), Statuses({kReadEndOfFile}));
}

TEST(BlockRecovery, FailingZlibBlockIsSkippedAndTheNextBlockRead) {
  const auto recs = k01test::SampleRecords(5, 14);
  Bytes file;
  appendHeaderBlock(file);
  AppendBlocks(file, recs, 0, 1, kBlockHuffman);
  Bytes data;  // a zlib stream cut short
  for (size_t i = 1; i < 3; ++i) data.insert(data.end(), recs[i].begin(), recs[i].end());
  Bytes packed(compressBound(data.size()));
  uLongf packedLen = packed.size();
  ASSERT_EQ(compress(packed.data(), &packedLen, data.data(), data.size()), Z_OK);
  Bytes payload(kZlibSync, kZlibSync + 6);
  payload.insert(payload.end(), packed.begin(), packed.begin() + static_cast<long>(packedLen / 2));
  appendBlock(file, kBlockZlib, payload);
  const long afterBad = static_cast<long>(file.size());
  AppendBlocks(file, recs, 3, 5, kBlockBzip2);
  const auto steps = k01test::ReadAll(file, Reader::kK01);
  EXPECT_EQ(k01test::Records(steps), Pick(recs, {{0, 1}, {3, 5}}));
  EXPECT_EQ(k01test::Statuses(steps), Statuses({kReadZlib, kReadEndOfFile}));
  EXPECT_EQ(steps[1].position, afterBad);
}

TEST(BlockRecovery, BlockLengthLimits) {
  // 0x80000 exactly: sync bytes and 524,282 bytes of records.
  Records recs;
  for (uint32_t i = 0; i < 127; ++i) recs.push_back(k01test::MakeRecord(27, 4090, i));
  recs.push_back(k01test::MakeRecord(27, 4084, 999));
  Bytes payload(kPlainSync, kPlainSync + 6);
  for (const auto& r : recs) payload.insert(payload.end(), r.begin(), r.end());
  ASSERT_EQ(payload.size(), 0x80000u);
  Bytes file;
  appendHeaderBlock(file);
  appendBlock(file, kBlockPlain, payload);
  EXPECT_EQ(k01test::Records(k01test::ReadAll(file, Reader::kK01)), recs);
  payload.push_back(0);  // one byte more is refused as a block
  Bytes tooLong;
  appendHeaderBlock(tooLong);
  appendBlock(tooLong, kBlockPlain, payload);
  auto d = k01test::NewDecoder();
  auto f = k01test::OpenBytes(tooLong);
  uint8_t status = 0;
  EXPECT_EQ(readK01Record(d.get(), f.get(), &status), -1);
  EXPECT_NE(status, kReadOk);
}

TEST(BlockRecovery, HeaderBlockLengthLimit) {
  const auto recs = k01test::SampleRecords(2, 17);
  for (size_t n : {255u, 256u}) {
    Bytes header(kHeaderSignature, kHeaderSignature + 6), file;
    header.resize(n, 0);
    appendHeaderBlock(file);
    const long second = static_cast<long>(file.size());
    appendBlock(file, kBlockHeader, header);
    AppendBlocks(file, recs, 0, 2, kBlockPlain);
    if (n == 255) {
      EXPECT_EQ(k01test::Records(k01test::ReadAll(file, Reader::kK01)), recs);
      continue;
    }
    auto d = k01test::NewDecoder();
    auto f = k01test::OpenBytes(file);
    std::fseek(f.get(), second, SEEK_SET);
    d->firstCall = 0;
    d->shape = kShapeBlock;
    uint8_t status = 0;
    EXPECT_EQ(readBlockRecord(d.get(), f.get(), &status, second), -1);
    EXPECT_EQ(status, kReadFraming);
  }
}

TEST(BlockRecovery, RecordRunningPastTheBlockEndsTheBlock) {
  const auto recs = k01test::SampleRecords(5, 18);
  Bytes payload(kPlainSync, kPlainSync + 6);
  for (size_t i = 0; i < 3; ++i) payload.insert(payload.end(), recs[i].begin(), recs[i].end());
  payload.pop_back();  // record 2's length field says one byte more
  Bytes file;
  appendHeaderBlock(file);
  appendBlock(file, kBlockPlain, payload);
  const long afterBlock = static_cast<long>(file.size());
  AppendBlocks(file, recs, 3, 5, kBlockPlain);
  const auto steps = k01test::ReadAll(file, Reader::kK01);
  EXPECT_EQ(k01test::Records(steps), Pick(recs, {{0, 2}, {3, 5}}));
  EXPECT_EQ(k01test::Statuses(steps), Statuses({kReadFraming, kReadEndOfFile}));
  EXPECT_EQ(steps[2].position, afterBlock);
}

// A type-17 record with no 0x02 after its start byte.
Bytes RecordWithoutStx(uint8_t seed, bool badChecksum) {
  for (uint8_t s = seed;; ++s) {
    Bytes data(12);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0x10 + s + i * 3);
    Bytes r = rawrec::BuildRecord(17, data, rawrec::LengthForm::kK01, badChecksum);
    if (std::find(r.begin() + 1, r.end(), 0x02) == r.end()) return r;
  }
}

TEST(StreamRecovery, ChecksumErrorDropsOneByte) {
  const Bytes r1 = RecordWithoutStx(1, false), bad = RecordWithoutStx(2, true), r3 = RecordWithoutStx(3, false);
  Bytes file = r1;
  file.insert(file.end(), bad.begin(), bad.end());
  file.insert(file.end(), r3.begin(), r3.end());
  const auto steps = k01test::ReadAll(file, Reader::kK00);
  ASSERT_EQ(steps.size(), 4u);
  EXPECT_EQ(steps[0].record, r1);
  EXPECT_EQ(steps[1].status, kReadChecksum);
  EXPECT_EQ(steps[1].position, static_cast<long>(r1.size() + bad.size()));
  EXPECT_EQ(steps[2].record, r3);
  // Only the start byte is dropped: the rest stays buffered for the search.
  auto d = k01test::NewDecoder();
  auto f = k01test::OpenBytes(bad);
  uint8_t status = 0;
  EXPECT_EQ(readStreamRecord(d.get(), f.get(), &status, false), -1);
  ASSERT_EQ(d->stream.fill, bad.size() - 1);
  EXPECT_EQ(d->stream.buffer[0], bad[1]);
}

TEST(StreamRecovery, RecordLengthLimits) {
  const Bytes longest = k01test::MakeRecord(27, 4090, 5), r = RecordWithoutStx(5, false);
  ASSERT_EQ(longest.size(), 4096u);
  const Bytes tooLong = {0x02, 0x01, 27, 0x10};  // 4097 bytes
  const Bytes zero = {0x02, 0x00, 17, 0x00};
  Bytes file = longest;
  for (const Bytes* part : {&tooLong, &r, &zero, &r}) file.insert(file.end(), part->begin(), part->end());
  const auto steps = k01test::ReadAll(file, Reader::kK00);
  ASSERT_EQ(steps.size(), 6u);
  EXPECT_EQ(steps[0].record, longest);
  EXPECT_EQ(steps[1].status, kReadFraming);
  EXPECT_EQ(steps[1].position, 4096 + 4);  // only the header was read
  EXPECT_EQ(steps[2].record, r);
  EXPECT_EQ(steps[3].status, kReadFraming);
  EXPECT_EQ(steps[4].record, r);
}

TEST(StreamRecovery, StrayByteInK00IsDroppedSilently) {
  const auto recs = k01test::SampleRecords(2, 20);
  Bytes file = recs[0];
  file.push_back(0xFF);
  file.insert(file.end(), recs[1].begin(), recs[1].end());
  const auto steps = k01test::ReadAll(file, Reader::kK00);
  EXPECT_EQ(k01test::Records(steps), recs);
  EXPECT_EQ(k01test::Statuses(steps), Statuses({kReadEndOfFile}));
}

}  // namespace
}  // namespace k01
