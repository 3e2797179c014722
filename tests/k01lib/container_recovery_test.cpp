// Damage recovery of the container reader: statuses and where reading goes on.
#include <gtest/gtest.h>

#include <zlib.h>

#include <vector>

#include "common/raw_record.h"
#include "k01lib/container_reader.h"
#include "k01lib/k01_writer.h"
#include "support/k01_files.h"

namespace k01 {
namespace {

using k01test::Bytes;
using k01test::Reader;

std::vector<Bytes> Slice(const std::vector<Bytes>& v, size_t from, size_t to) {
  return std::vector<Bytes>(v.begin() + from, v.begin() + to);
}

// Appends data blocks (no header) holding the records.
void AppendBlocks(Bytes& file, const std::vector<Bytes>& records, uint8_t type) {
  k01_write_options_t opt;
  opt.headerBlock = false;
  opt.blockTypes = {type};
  Bytes part;
  ASSERT_EQ(writeK01File(records, opt, part), kWriteOk);
  file.insert(file.end(), part.begin(), part.end());
}

std::vector<Bytes> Concat(std::initializer_list<std::vector<Bytes>> parts) {
  std::vector<Bytes> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(BlockRecovery, UnknownBlockTypeIsSkippedWhole) {
  const auto recs = k01test::SampleRecords(6, 10);
  Bytes file;
  appendHeaderBlock(file);
  AppendBlocks(file, Slice(recs, 0, 3), kBlockPlain);
  appendBlock(file, 6, Bytes(40, 0x02));  // payload that would confuse a stream reading
  const long afterUnknown = static_cast<long>(file.size());
  AppendBlocks(file, Slice(recs, 3, 6), kBlockZlib);
  const auto steps = k01test::ReadAll(file, Reader::kK01);
  ASSERT_EQ(steps.size(), 8u);
  EXPECT_EQ(steps[3].status, kReadUnknownBlock);
  EXPECT_EQ(steps[3].type, -1);
  EXPECT_EQ(steps[3].position, afterUnknown);
  EXPECT_EQ(k01test::Records(steps), recs);
  EXPECT_EQ(steps[7].status, kReadEndOfFile);
}

TEST(BlockRecovery, RefusedHeaderVersionRefusesBlocksUntilAnAcceptedHeader) {
  struct Case {
    uint8_t v10, v11;
    bool accepted;
  };
  const Case cases[] = {{9, 0, false}, {0, 25, false}, {8, 24, true}, {0, 0, true}};
  const auto recs = k01test::SampleRecords(6, 11);
  for (const Case& c : cases) {
    Bytes file;
    appendHeaderBlock(file);
    AppendBlocks(file, Slice(recs, 0, 2), kBlockPlain);
    appendHeaderBlock(file, c.v10, c.v11);
    AppendBlocks(file, Slice(recs, 2, 3), kBlockZlib);
    const long afterFirstRefused = static_cast<long>(file.size());
    AppendBlocks(file, Slice(recs, 3, 4), kBlockHuffman);
    appendHeaderBlock(file);
    AppendBlocks(file, Slice(recs, 4, 6), kBlockPlain);
    const auto steps = k01test::ReadAll(file, Reader::kK01);
    if (c.accepted) {
      EXPECT_EQ(k01test::Records(steps), recs);
      EXPECT_EQ(k01test::Statuses(steps), std::vector<uint8_t>({kReadEndOfFile}));
      continue;
    }
    EXPECT_EQ(k01test::Records(steps), Concat({Slice(recs, 0, 2), Slice(recs, 4, 6)}));
    EXPECT_EQ(k01test::Statuses(steps),
              std::vector<uint8_t>({kReadRefused, kReadRefused, kReadEndOfFile}));
    EXPECT_EQ(steps[2].position, afterFirstRefused);
  }
}

TEST(BlockRecovery, FailingBzip2BlockGoesOnWithTheNextDecodableBlock) {
  const auto recs = k01test::SampleRecords(6, 12);
  Bytes file;
  appendHeaderBlock(file);
  AppendBlocks(file, Slice(recs, 0, 2), kBlockPlain);
  Bytes broken;
  AppendBlocks(broken, Slice(recs, 2, 4), kBlockBzip2);
  for (size_t i = 20; i < broken.size(); i += 7) broken[i] ^= 0x5A;  // damage the coded data
  file.insert(file.end(), broken.begin(), broken.end());
  AppendBlocks(file, Slice(recs, 4, 6), kBlockZlib);
  const auto steps = k01test::ReadAll(file, Reader::kK01);
  EXPECT_EQ(k01test::Records(steps), Concat({Slice(recs, 0, 2), Slice(recs, 4, 6)}));
  EXPECT_EQ(k01test::Statuses(steps), std::vector<uint8_t>({kReadEndOfFile}));
}

TEST(BlockRecovery, FailingBzip2BlockWithNothingAfterItGivesStatus8) {
  const auto recs = k01test::SampleRecords(4, 13);
  Bytes file;
  appendHeaderBlock(file);
  AppendBlocks(file, Slice(recs, 0, 2), kBlockPlain);
  const long badStart = static_cast<long>(file.size());
  Bytes broken;
  AppendBlocks(broken, Slice(recs, 2, 4), kBlockBzip2Stripped);
  for (size_t i = 20; i < broken.size(); i += 5) broken[i] ^= 0xA5;
  file.insert(file.end(), broken.begin(), broken.end());

  // The block step itself.
  auto d = k01test::NewDecoder();
  auto f = k01test::OpenBytes(file);
  uint8_t status = 0;
  for (int i = 0; i < 2; ++i) ASSERT_GE(readK01Record(d.get(), f.get(), &status), 0);
  EXPECT_EQ(readBlockRecord(d.get(), f.get(), &status, badStart), -1);
  EXPECT_EQ(status, kReadBzip2);

  // Through the file reader the failure is reported, whatever the stream
  // reading that follows it finds.
  const auto steps = k01test::ReadAll(file, Reader::kK01);
  ASSERT_GE(steps.size(), 3u);
  EXPECT_EQ(k01test::Records(steps).size() >= 2, true);
  EXPECT_EQ(steps[2].type, -1);
  EXPECT_NE(steps[2].status, kReadOk);
  EXPECT_NE(steps[2].status, kReadEndOfFile);
}

TEST(BlockRecovery, FailingZlibBlockIsSkippedAndTheNextBlockRead) {
  const auto recs = k01test::SampleRecords(5, 14);
  Bytes file;
  appendHeaderBlock(file);
  AppendBlocks(file, Slice(recs, 0, 1), kBlockHuffman);
  // A zlib block whose stream is cut short.
  Bytes data;
  for (const auto& r : Slice(recs, 1, 3)) data.insert(data.end(), r.begin(), r.end());
  Bytes packed(compressBound(data.size()));
  uLongf packedLen = packed.size();
  ASSERT_EQ(compress(packed.data(), &packedLen, data.data(), data.size()), Z_OK);
  Bytes payload(kZlibSync, kZlibSync + 6);
  payload.insert(payload.end(), packed.begin(), packed.begin() + static_cast<long>(packedLen / 2));
  appendBlock(file, kBlockZlib, payload);
  const long afterBad = static_cast<long>(file.size());
  AppendBlocks(file, Slice(recs, 3, 5), kBlockBzip2);
  const auto steps = k01test::ReadAll(file, Reader::kK01);
  EXPECT_EQ(k01test::Records(steps), Concat({Slice(recs, 0, 1), Slice(recs, 3, 5)}));
  EXPECT_EQ(k01test::Statuses(steps), std::vector<uint8_t>({kReadZlib, kReadEndOfFile}));
  ASSERT_GE(steps.size(), 2u);
  EXPECT_EQ(steps[1].status, kReadZlib);
  EXPECT_EQ(steps[1].position, afterBad);
}

TEST(BlockRecovery, BlockLengthLimits) {
  // 0x80000 exactly: sync bytes and 524,282 bytes of records.
  std::vector<Bytes> recs;
  for (uint32_t i = 0; i < 127; ++i) recs.push_back(k01test::MakeRecord(27, 4090, i));
  recs.push_back(k01test::MakeRecord(27, 4084, 999));
  Bytes payload(kPlainSync, kPlainSync + 6);
  for (const auto& r : recs) payload.insert(payload.end(), r.begin(), r.end());
  ASSERT_EQ(payload.size(), 0x80000u);
  Bytes file;
  appendHeaderBlock(file);
  appendBlock(file, kBlockPlain, payload);
  EXPECT_EQ(k01test::Records(k01test::ReadAll(file, Reader::kK01)), recs);
  // One byte more is refused as a block.
  payload.push_back(0);
  Bytes tooLong;
  appendHeaderBlock(tooLong);
  appendBlock(tooLong, kBlockPlain, payload);
  auto d = k01test::NewDecoder();
  auto f = k01test::OpenBytes(tooLong);
  uint8_t status = 0;
  EXPECT_EQ(readK01Record(d.get(), f.get(), &status), -1);
  EXPECT_NE(status, kReadOk);
}

// Bytes 92 49 24 44 are the code of eight 0x00 bytes and two 0x22 bytes,
// ending on a byte boundary; as a block header they are type 146 with a
// length of 0x492444.
const Bytes kCodedHeader = {0x92, 0x49, 0x24, 0x44};

TEST(BlockRecovery, OverlongBlockThatReadsAsAStreamSwitchesShape) {
  const auto recs = k01test::SampleRecords(6, 15);
  Bytes file;
  appendHeaderBlock(file);
  AppendBlocks(file, Slice(recs, 0, 2), kBlockPlain);
  file.insert(file.end(), kCodedHeader.begin(), kCodedHeader.end());
  HuffmanEncoder enc;
  for (const auto& r : Slice(recs, 2, 6)) enc.put(r.data(), r.size());
  enc.flush();
  file.insert(file.end(), enc.bytes().begin(), enc.bytes().end());
  const auto steps = k01test::ReadAll(file, Reader::kK01);
  EXPECT_EQ(k01test::Records(steps), recs);
  EXPECT_EQ(k01test::Statuses(steps), std::vector<uint8_t>({kReadFlush, kReadEndOfFile}));
}

TEST(BlockRecovery, OverlongBlockThatIsNoStreamSearchesForTheNextBlock) {
  const auto recs = k01test::SampleRecords(4, 16);
  Bytes file;
  appendHeaderBlock(file);
  AppendBlocks(file, Slice(recs, 0, 2), kBlockPlain);
  file.insert(file.end(), kCodedHeader.begin(), kCodedHeader.end());
  // Coded bytes of a record header with length 0: a framing error as a stream.
  const Bytes coded = huffmanEncode(Bytes({0x02, 0x00, 0x11, 0x00}), true);
  file.insert(file.end(), coded.begin(), coded.end());
  AppendBlocks(file, Slice(recs, 2, 4), kBlockPlain);
  const auto steps = k01test::ReadAll(file, Reader::kK01);
  EXPECT_EQ(k01test::Records(steps), recs);
}

TEST(BlockRecovery, HeaderBlockLengthLimit) {
  const auto recs = k01test::SampleRecords(2, 17);
  for (size_t n : {255u, 256u}) {
    Bytes header(kHeaderSignature, kHeaderSignature + 6);
    header.resize(n, 0);
    Bytes file;
    appendHeaderBlock(file);
    const long second = static_cast<long>(file.size());
    appendBlock(file, kBlockHeader, header);
    AppendBlocks(file, recs, kBlockPlain);
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
  for (const auto& r : Slice(recs, 0, 2)) payload.insert(payload.end(), r.begin(), r.end());
  Bytes cut = recs[2];
  cut.resize(cut.size() - 1);  // its length field says one byte more
  payload.insert(payload.end(), cut.begin(), cut.end());
  Bytes file;
  appendHeaderBlock(file);
  appendBlock(file, kBlockPlain, payload);
  const long afterBlock = static_cast<long>(file.size());
  AppendBlocks(file, Slice(recs, 3, 5), kBlockPlain);
  const auto steps = k01test::ReadAll(file, Reader::kK01);
  EXPECT_EQ(k01test::Records(steps), Concat({Slice(recs, 0, 2), Slice(recs, 3, 5)}));
  EXPECT_EQ(k01test::Statuses(steps), std::vector<uint8_t>({kReadFraming, kReadEndOfFile}));
  EXPECT_EQ(steps[2].position, afterBlock);
}

// ---- stream shape and K00 ----

// A record of type 17 whose bytes after the start byte hold no 0x02.
Bytes RecordWithoutStx(uint8_t seed, bool badChecksum) {
  for (uint8_t s = seed;; ++s) {
    Bytes data(12);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0x10 + s + i * 3);
    Bytes r = rawrec::BuildRecord(17, data, rawrec::LengthForm::kK01, badChecksum);
    bool clean = true;
    for (size_t i = 1; i < r.size(); ++i) clean = clean && r[i] != 0x02;
    if (clean) return r;
  }
}

TEST(StreamRecovery, ChecksumErrorDropsOneByte) {
  const Bytes r1 = RecordWithoutStx(1, false), bad = RecordWithoutStx(2, true),
              r3 = RecordWithoutStx(3, false);
  Bytes file = r1;
  file.insert(file.end(), bad.begin(), bad.end());
  file.insert(file.end(), r3.begin(), r3.end());
  auto d = k01test::NewDecoder();
  auto f = k01test::OpenBytes(file);
  const auto steps = k01test::ReadAll(d.get(), f.get(), Reader::kK00);
  ASSERT_EQ(steps.size(), 4u);
  EXPECT_EQ(steps[0].record, r1);
  EXPECT_EQ(steps[1].status, kReadChecksum);
  EXPECT_EQ(steps[1].position, static_cast<long>(r1.size() + bad.size()));
  EXPECT_EQ(steps[2].record, r3);
  EXPECT_EQ(steps[3].status, kReadEndOfFile);

  // The same damage in a coded stream: the records around it come through.
  std::vector<Bytes> records = k01test::SampleRecords(8, 19);
  records.insert(records.begin() + 4, bad);
  k01_write_options_t opt;
  opt.form = ContainerForm::kStream;
  Bytes coded;
  ASSERT_EQ(writeK01File(records, opt, coded), kWriteOk);
  const auto k01Steps = k01test::ReadAll(coded, Reader::kK01);
  records.erase(records.begin() + 4);
  EXPECT_EQ(k01test::Records(k01Steps), records);
  EXPECT_GE(k01test::Statuses(k01Steps).size(), 3u);  // the damage, the flush, the end
}

TEST(StreamRecovery, ChecksumErrorLeavesTheRestInTheBuffer) {
  const Bytes bad = RecordWithoutStx(4, true);
  auto d = k01test::NewDecoder();
  auto f = k01test::OpenBytes(bad);
  uint8_t status = 0;
  EXPECT_EQ(readStreamRecord(d.get(), f.get(), &status, false), -1);
  EXPECT_EQ(status, kReadChecksum);
  ASSERT_EQ(d->stream.fill, bad.size() - 1);
  EXPECT_EQ(d->stream.buffer[0], bad[1]);
}

TEST(StreamRecovery, RecordLengthLimits) {
  const Bytes longest = k01test::MakeRecord(27, 4090, 5);
  ASSERT_EQ(longest.size(), 4096u);
  const Bytes r = RecordWithoutStx(5, false);
  // Type 27, length byte 1, high byte 16: 4097 bytes.
  const Bytes tooLong = {0x02, 0x01, 27, 0x10};
  const Bytes zero = {0x02, 0x00, 17, 0x00};
  Bytes file = longest;
  file.insert(file.end(), tooLong.begin(), tooLong.end());
  file.insert(file.end(), r.begin(), r.end());
  file.insert(file.end(), zero.begin(), zero.end());
  file.insert(file.end(), r.begin(), r.end());
  const auto steps = k01test::ReadAll(file, Reader::kK00);
  ASSERT_EQ(steps.size(), 6u);
  EXPECT_EQ(steps[0].record, longest);
  EXPECT_EQ(steps[1].status, kReadFraming);
  EXPECT_EQ(steps[1].position, 4096 + 4);  // only the header was read
  EXPECT_EQ(steps[2].record, r);
  EXPECT_EQ(steps[3].status, kReadFraming);
  EXPECT_EQ(steps[4].record, r);
  EXPECT_EQ(steps[5].status, kReadEndOfFile);
}

TEST(StreamRecovery, StrayByteInK00IsDroppedSilently) {
  const auto recs = k01test::SampleRecords(2, 20);
  Bytes file = recs[0];
  file.push_back(0xFF);
  file.insert(file.end(), recs[1].begin(), recs[1].end());
  const auto steps = k01test::ReadAll(file, Reader::kK00);
  EXPECT_EQ(k01test::Records(steps), recs);
  EXPECT_EQ(k01test::Statuses(steps), std::vector<uint8_t>({kReadEndOfFile}));
}

TEST(StreamRecovery, FlushSymbolInsideARecordIsSkipped) {
  const Bytes r = k01test::MakeRecord(17, 40, 21);
  HuffmanEncoder enc;
  enc.put(r.data(), 10);
  enc.flush();
  enc.put(r.data() + 10, r.size() - 10);
  enc.flush();
  const auto steps = k01test::ReadAll(enc.bytes(), Reader::kK01);
  EXPECT_EQ(k01test::Records(steps), std::vector<Bytes>({r}));
  EXPECT_EQ(k01test::Statuses(steps), std::vector<uint8_t>({kReadFlush, kReadEndOfFile}));
}

TEST(StreamRecovery, FileWithoutHeaderBlockIsReadAsStream) {
  // A header-like start with the wrong signature is no header block.
  Bytes file = {0, 0, 0, 13, 0x74, 0xBA, 0x79, 0x4B, 0xCF, 0x6C, 8, 24, 0, 0, 8, 11, 0};
  auto d = k01test::NewDecoder();
  auto f = k01test::OpenBytes(file);
  uint8_t status = 0;
  readK01Record(d.get(), f.get(), &status);
  EXPECT_EQ(d->shape, kShapeStream);
}

}  // namespace
}  // namespace k01
