// The container reader and writer: every form the writer produces reads
// back record for record; the writer refuses what the reader could not
// frame; the bzip2 read-ahead serves only the very block the reader has read
// itself; damage recovery (statuses and where reading goes on); any byte
// sequence is read to its end without overflow, hang or crash.
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/raw_record.h"
#include "k01lib/block_prefetch.h"
#include "k01lib/container_reader.h"
#include "k01lib/k01_writer.h"
#include "support/k01_files.h"

namespace k01 {
namespace {

using k01test::Bytes;
using k01test::Reader;
using Records = std::vector<Bytes>;
using Statuses = std::vector<uint8_t>;

// A record after a trip through a type-5 block, which stores it without
// start byte, checksum and end byte: checksum bytes 0 and, for a compressed
// type, no end byte (the length fields say so).
Bytes AfterStripping(const Bytes& rec) {
  Bytes out = rec;
  out[out.size() - 3] = out[out.size() - 2] = 0;
  if (isCompressedType(rec[2])) {
    out.pop_back();
    out[1] = static_cast<uint8_t>(out.size());  // 74..77: the low byte is length - 256
    if (hasLengthHighByte(rec[2])) out[3] = static_cast<uint8_t>(out.size() >> 8);
  }
  return out;
}

Bytes Write(const Records& records, const k01_write_options_t& opt) {
  Bytes file;
  EXPECT_EQ(writeK01File(records, opt, file), kWriteOk);
  return file;
}

TEST(ContainerForms, EveryFormReadsBack) {
  const struct {
    ContainerForm form;
    uint8_t blockType;  // 0: stream or K00
    uint8_t checksumMode;
    size_t flushInterval;
    Statuses statuses;
  } cases[] = {
      {ContainerForm::kK00, 0, 0, 0, {kReadEndOfFile}},
      // The final flush symbol arrives while the next header is gathered.
      {ContainerForm::kStream, 0, 0, 0, {kReadFlush, kReadEndOfFile}},
      {ContainerForm::kStream, 0, 0, 1, Statuses(40, kReadFlush)},
      {ContainerForm::kBlocks, 1, 4, 0, {kReadEndOfFile}},
      {ContainerForm::kBlocks, 2, 3, 0, {kReadEndOfFile}},
      {ContainerForm::kBlocks, 3, 2, 0, {kReadEndOfFile}},
      {ContainerForm::kBlocks, 4, 1, 0, {kReadEndOfFile}},
      {ContainerForm::kBlocks, 5, 5, 0, {kReadEndOfFile}},
  };
  const auto records = k01test::SampleRecords(40, 4);
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.blockType) * 10 + int(c.flushInterval));
    k01_write_options_t opt;
    opt.form = c.form;
    opt.flushInterval = c.flushInterval;
    if (c.blockType != 0) {
      opt.blockTypes = {c.blockType};
      opt.recordsPerBlock = 7;
    }
    const Bytes file = Write(records, opt);
    if (c.blockType != 0) {  // the library's header block first
      EXPECT_EQ(Bytes(file.begin(), file.begin() + 10), Bytes({0, 0, 0, 13, 0x74, 0xBA, 0x79, 0x4B, 0xCF, 0x6B}));
    }
    const auto steps = k01test::ReadAll(file, c.form == ContainerForm::kK00 ? Reader::kK00 : Reader::kK01);
    Records expected = records;
    if (c.blockType == kBlockBzip2Stripped)
      for (auto& r : expected) r = AfterStripping(r);
    EXPECT_EQ(k01test::Records(steps), expected);
    Statuses statuses = c.statuses;
    if (c.flushInterval) statuses.push_back(kReadEndOfFile);
    EXPECT_EQ(k01test::Statuses(steps), statuses);
    for (const auto& s : steps) ASSERT_TRUE(s.type < 0 || s.checksumMode == c.checksumMode);
  }
}

// About 2.4 MB of records, more than any one block holds.
TEST(ContainerForms, LargeFileIsSplitIntoBlocksThatFit) {
  Records records;
  for (uint32_t i = 0; i < 600; ++i) records.push_back(k01test::MakeRecord(27, 4090, i));
  k01_write_options_t opt;
  opt.blockTypes = {kBlockHuffman};
  const auto steps = k01test::ReadAll(Write(records, opt), Reader::kK01);
  EXPECT_EQ(k01test::Records(steps), records);
  EXPECT_EQ(k01test::Statuses(steps), Statuses({kReadEndOfFile}));
}

TEST(ContainerForms, WriterRejectsWhatTheReaderCannotFrame) {
  Bytes file;
  k01_write_options_t opt;
  Bytes bad = k01test::MakeRecord(17, 20, 1);
  bad[1] = 99;  // length byte disagrees with the size
  EXPECT_EQ(writeK01File({bad}, opt, file), kWriteBadRecord);
  EXPECT_TRUE(file.empty());
  const Bytes short74 = k01test::MakeRecord(74, 253, 1);  // stores 255 bytes: below its minimum
  opt.blockTypes = {5};
  EXPECT_EQ(writeK01File({short74}, opt, file), kWriteNotStorable);
  opt.blockTypes = {6};
  EXPECT_EQ(writeK01File({short74}, opt, file), kWriteBadOption);
  opt.blockTypes = {2};
  opt.plan = {{2, 2}};  // the plan does not cover the record
  EXPECT_EQ(writeK01File({short74}, opt, file), kWriteBadOption);
}

Records Pick(const Records& v, std::initializer_list<std::pair<size_t, size_t>> ranges) {
  Records out;
  for (const auto& [from, to] : ranges) out.insert(out.end(), v.begin() + from, v.begin() + to);
  return out;
}

// Appends data blocks (no header) holding records [from, to).
void AppendBlocks(Bytes& file, const Records& recs, size_t from, size_t to, uint8_t type = kBlockZlib) {
  k01_write_options_t opt;
  opt.headerBlock = false;
  opt.blockTypes = {type};
  Bytes part;
  ASSERT_EQ(writeK01File(Pick(recs, {{from, to}}), opt, part), kWriteOk);
  file.insert(file.end(), part.begin(), part.end());
}

TEST(BlockPrefetch, ResultServesOnlyTheBlockItWasReadFrom) {
  const auto recs = k01test::SampleRecords(21, 1);
  Bytes file;
  AppendBlocks(file, recs, 0, 12, kBlockBzip2);
  const long secondAt = static_cast<long>(file.size());
  AppendBlocks(file, recs, 12, 21, kBlockBzip2);
  const Bytes second(file.begin() + secondAt, file.end());
  const uint32_t secondPayload = static_cast<uint32_t>(second.size() - 4);

  auto f = k01test::OpenBytes(file);
  auto d = k01test::NewDecoder();
  // What decoding the second block's payload gives.
  std::memcpy(d->blockInput, second.data() + 4, secondPayload);
  ASSERT_TRUE(decodeBlockPayload(d.get(), kBlockBzip2, secondPayload));
  const Bytes expected(d->blockOutput, d->blockOutput + d->blockOutputLength);

  const struct {
    const char* name;
    long takeAt;       // block start the reader reports
    uint8_t type;      // block type the reader read
    int flipByte;      // payload byte changed in the reader's copy (-1: none)
    bool taken;
  } cases[] = {
      {"the block read ahead", secondAt, kBlockBzip2, -1, true},
      {"another offset", secondAt + 1, kBlockBzip2, -1, false},
      {"another type", secondAt, kBlockBzip2Stripped, -1, false},
      {"other payload bytes", secondAt, kBlockBzip2, 40, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    prefetchBlockAt(d.get(), f.get(), secondAt);
    std::memcpy(d->blockInput, second.data() + 4, secondPayload);
    if (c.flipByte >= 0) d->blockInput[c.flipByte] ^= 0x01;
    d->blockOutputLength = 0;
    EXPECT_EQ(takePrefetchedBlock(d.get(), c.takeAt, c.type, secondPayload), c.taken);
    EXPECT_EQ(Bytes(d->blockOutput, d->blockOutput + d->blockOutputLength), c.taken ? expected : Bytes());
    EXPECT_TRUE(!c.taken || d->blockReadOffset == 0);
  }
  // The reader's stream position is not moved by the worker's reads.
  EXPECT_EQ(std::ftell(f.get()), 0);
}

// A zlib block payload: the sync bytes and the compressed data, cut to
// `keep` bytes when keep is not 0.
Bytes ZlibPayload(const Bytes& data, size_t keep = 0) {
  Bytes packed(compressBound(data.size()));
  uLongf packedLen = packed.size();
  EXPECT_EQ(compress(packed.data(), &packedLen, data.data(), data.size()), Z_OK);
  packed.resize(keep ? keep : packedLen);
  packed.insert(packed.begin(), kZlibSync, kZlibSync + 6);
  return packed;
}

// A header block after a refused one decides alone whether the blocks after
// it are read; version bytes a short header block lacks count as 0.
TEST(BlockRecovery, HeaderBlocksRefuseOrAcceptTheBlocksAfterThem) {
  Bytes signature(kHeaderSignature, kHeaderSignature + 6), sig11 = signature, sig255 = signature;
  sig11.resize(11, 0);
  sig255.resize(255, 0);
  const struct {
    Bytes payload;
    bool accepted;
  } cases[] = {{headerPayload(9, 0), false}, {headerPayload(0, 25), false}, {headerPayload(8, 24), true},
               {{}, true}, {signature, true}, {sig11, true}, {sig255, true}};
  const auto recs = k01test::SampleRecords(6, 11);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.payload.size());
    Bytes file;
    appendHeaderBlock(file);
    AppendBlocks(file, recs, 0, 2, kBlockPlain);
    appendHeaderBlock(file, 9, 0);
    AppendBlocks(file, recs, 2, 3);
    const long afterFirstRefused = static_cast<long>(file.size());
    appendBlock(file, kBlockHeader, c.payload);
    AppendBlocks(file, recs, 3, 4, kBlockHuffman);
    appendHeaderBlock(file);
    AppendBlocks(file, recs, 4, 6, kBlockPlain);
    const auto steps = k01test::ReadAll(file, Reader::kK01);
    EXPECT_EQ(k01test::Records(steps), Pick(recs, {{0, 2}, {c.accepted ? 3u : 4u, 6}}));
    EXPECT_EQ(k01test::Statuses(steps), c.accepted ? Statuses({kReadRefused, kReadEndOfFile})
                                                   : Statuses({kReadRefused, kReadRefused, kReadEndOfFile}));
    ASSERT_GE(steps.size(), 3u);
    EXPECT_EQ(steps[2].position, afterFirstRefused);
  }
  // A first block that is too short or has the wrong signature: stream shape.
  for (const Bytes& start : {Bytes{0, 0, 0, 3, 0x74, 0xBA, 0x79},
                             Bytes{0, 0, 0, 13, 0x74, 0xBA, 0x79, 0x4B, 0xCF, 0x6C, 8, 24, 0, 0, 8, 11, 0}}) {
    auto d = k01test::NewDecoder();
    auto f = k01test::OpenBytes(start);
    uint8_t status = 0;
    readK01Record(d.get(), f.get(), &status);
    EXPECT_EQ(d->shape, kShapeStream);
  }
}

// A damaged or unknown block between good ones: what it yields, its status
// and where reading goes on.
TEST(BlockRecovery, BadBlockIsSkippedAndTheNextBlockRead) {
  const auto recs = k01test::SampleRecords(6, 12);
  Bytes plainPastEnd(kPlainSync, kPlainSync + 6), bzipDamaged;
  for (size_t i = 2; i < 4; ++i) plainPastEnd.insert(plainPastEnd.end(), recs[i].begin(), recs[i].end());
  const Bytes records23(plainPastEnd.begin() + 6, plainPastEnd.end()), zlibCut = ZlibPayload(records23, 40);
  plainPastEnd.pop_back();  // record 3's length field says one byte more
  AppendBlocks(bzipDamaged, recs, 2, 4, kBlockBzip2);
  for (size_t i = 20; i < bzipDamaged.size(); i += 7) bzipDamaged[i] ^= 0x5A;
  bzipDamaged.erase(bzipDamaged.begin(), bzipDamaged.begin() + 4);  // the payload only
  const struct {
    uint8_t type;
    const Bytes* payload;
    size_t served;   // records of the bad block still delivered
    uint8_t status;  // 0: none (a bzip2 failure searches on for a decodable block)
  } cases[] = {{6, &records23, 0, kReadUnknownBlock},
               {kBlockPlain, &plainPastEnd, 1, kReadFraming},
               {kBlockZlib, &zlibCut, 0, kReadZlib},
               {kBlockBzip2, &bzipDamaged, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.type));
    Bytes file;
    appendHeaderBlock(file);
    AppendBlocks(file, recs, 0, 2, kBlockBzip2);  // which reads the bad block ahead
    appendBlock(file, c.type, *c.payload);
    const long afterBad = static_cast<long>(file.size());
    AppendBlocks(file, recs, 4, 6, kBlockPlain);
    const auto steps = k01test::ReadAll(file, Reader::kK01);
    EXPECT_EQ(k01test::Records(steps), Pick(recs, {{0, 2 + c.served}, {4, 6}}));
    if (c.status == 0) {
      EXPECT_EQ(k01test::Statuses(steps), Statuses({kReadEndOfFile}));
      continue;
    }
    EXPECT_EQ(k01test::Statuses(steps), Statuses({c.status, kReadEndOfFile}));
    ASSERT_GT(steps.size(), 2 + c.served);
    EXPECT_EQ(steps[2 + c.served].position, afterBad);
  }
}

// 130 records of 4,096 bytes (532,480 bytes, mostly zeros) decode to more
// than the 530,134 bytes a block may hold: none of them comes out, and the
// next block is read.
TEST(BlockRecovery, BlocksDecodingBeyondTheBlockBufferAreRefusedWhole) {
  Records big;
  Bytes all;
  for (uint32_t i = 0; i < 130; ++i) {
    Bytes data(4090, 0);
    data[5] = static_cast<uint8_t>(i);
    big.push_back(rawrec::BuildRecord(27, data, rawrec::LengthForm::kK01));
    all.insert(all.end(), big.back().begin(), big.back().end());
  }
  const Bytes zlibPayload = ZlibPayload(all);
  Bytes huffPayload(kHuffmanSync, kHuffmanSync + 6), bzPayload;
  const Bytes coded = huffmanEncode(all, true);
  huffPayload.insert(huffPayload.end(), coded.begin(), coded.end());
  ASSERT_EQ(buildBlockPayload(kBlockBzip2, big, 0, big.size(), bzPayload), kWriteOk);
  const struct {
    uint8_t type;
    const Bytes* payload;
    uint8_t status;
  } cases[] = {{kBlockZlib, &zlibPayload, kReadZlib},
               {kBlockHuffman, &huffPayload, kReadFraming},
               {kBlockBzip2, &bzPayload, kReadOk}};  // the search for a decodable block finds the next
  const auto recs = k01test::SampleRecords(2, 33);
  for (const auto& c : cases) {
    Bytes file;
    appendHeaderBlock(file);
    appendBlock(file, c.type, *c.payload);
    AppendBlocks(file, recs, 0, 2);
    const auto steps = k01test::ReadAll(file, Reader::kK01);
    ASSERT_GE(steps.size(), 1u);
    EXPECT_EQ(steps[0].status, c.status) << int(c.type);
    EXPECT_EQ(k01test::Records(steps), recs) << int(c.type);
  }
  // bzip2 with nothing decodable after it: status 8 from the block step.
  Bytes bz;
  appendHeaderBlock(bz);
  appendBlock(bz, kBlockBzip2, bzPayload);
  auto d = k01test::NewDecoder();
  auto f = k01test::OpenBytes(bz);
  std::fseek(f.get(), 17, SEEK_SET);  // past the header block
  uint8_t status = 0;
  EXPECT_EQ(readBlockRecord(d.get(), f.get(), &status, 17), -1);
  EXPECT_EQ(status, kReadBzip2);
}

TEST(BlockRecovery, BlockLengthLimits) {
  // 0x80000 exactly: sync bytes and 524,282 bytes of records.
  Records recs;
  for (uint32_t i = 0; i < 127; ++i) recs.push_back(k01test::MakeRecord(27, 4090, i));
  recs.push_back(k01test::MakeRecord(27, 4084, 999));
  Bytes payload(kPlainSync, kPlainSync + 6);
  for (const auto& r : recs) payload.insert(payload.end(), r.begin(), r.end());
  ASSERT_EQ(payload.size(), 0x80000u);
  Bytes file, tooLong;
  appendHeaderBlock(file);
  appendBlock(file, kBlockPlain, payload);
  EXPECT_EQ(k01test::Records(k01test::ReadAll(file, Reader::kK01)), recs);
  payload.push_back(0);  // one byte more is refused as a block
  appendHeaderBlock(tooLong);
  appendBlock(tooLong, kBlockPlain, payload);
  auto d = k01test::NewDecoder();
  auto f = k01test::OpenBytes(tooLong);
  uint8_t status = 0;
  EXPECT_EQ(readK01Record(d.get(), f.get(), &status), -1);
  EXPECT_NE(status, kReadOk);
  // A header block holds at most 255 bytes.
  Bytes header(kHeaderSignature, kHeaderSignature + 6), headers;
  header.resize(256, 0);
  appendBlock(headers, kBlockHeader, header);
  AppendBlocks(headers, recs, 0, 1);
  d = k01test::NewDecoder();
  f = k01test::OpenBytes(headers);
  d->firstCall = 0;
  d->shape = kShapeBlock;
  EXPECT_EQ(readBlockRecord(d.get(), f.get(), &status, 0), -1);
  EXPECT_EQ(status, kReadFraming);
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

// Lengths of 4,097 and 0 are framing errors after the header alone; a stray
// byte between records is dropped silently.
TEST(StreamRecovery, RecordLengthLimitsAndStrayBytes) {
  const Bytes longest = k01test::MakeRecord(27, 4090, 5), r = RecordWithoutStx(5, false);
  ASSERT_EQ(longest.size(), 4096u);
  const Bytes tooLong = {0x02, 0x01, 27, 0x10};  // 4097 bytes
  const Bytes zero = {0x02, 0x00, 17, 0x00};
  Bytes file = longest;
  for (const Bytes* part : {&tooLong, &r, &zero, &r}) file.insert(file.end(), part->begin(), part->end());
  file.push_back(0xFF);
  file.insert(file.end(), longest.begin(), longest.end());
  const auto steps = k01test::ReadAll(file, Reader::kK00);
  ASSERT_EQ(steps.size(), 7u);
  EXPECT_EQ(steps[0].record, longest);
  EXPECT_EQ(steps[1].status, kReadFraming);
  EXPECT_EQ(steps[1].position, 4096 + 4);  // only the header was read
  EXPECT_EQ(steps[2].record, r);
  EXPECT_EQ(steps[3].status, kReadFraming);
  EXPECT_EQ(k01test::Records(steps), Records({longest, r, r, longest}));
  EXPECT_EQ(k01test::Statuses(steps), Statuses({kReadFraming, kReadFraming, kReadEndOfFile}));
}

uint32_t Next(uint32_t& x) { return x = x * 1664525u + 1013904223u; }

// Reads to the end and checks that every delivered record is framed.
void ExpectReadsToTheEnd(const Bytes& file, Reader reader) {
  auto d = k01test::NewDecoder();
  auto f = k01test::OpenBytes(file);
  const auto steps = k01test::ReadAll(d.get(), f.get(), reader, 4 * file.size() + 20);
  ASSERT_TRUE(std::feof(f.get())) << "no end after " << steps.size() << " calls";
  for (const auto& s : steps) {
    if (s.type < 0) continue;
    ASSERT_GE(s.record.size(), 5u);
    ASSERT_LE(s.record.size(), 4096u);
    EXPECT_EQ(s.record[0], 0x02);
    EXPECT_EQ(s.type, s.record[2]);
  }
}

TEST(BadInput, RandomDamagedAndTruncatedFiles) {
  uint32_t x = 99;
  for (int round = 0; round < 60; ++round) {
    Bytes file(Next(x) % 3000);
    for (auto& b : file) b = static_cast<uint8_t>(Next(x) >> 24);
    if (round % 3 == 0 && file.size() > 20) {  // begin like a block file
      const Bytes header = {0, 0, 0, 6, 0x74, 0xBA, 0x79, 0x4B, 0xCF, 0x6B};
      std::copy(header.begin(), header.end(), file.begin());
    }
    ExpectReadsToTheEnd(file, Reader::kK01);
    ExpectReadsToTheEnd(file, Reader::kK00);
  }
  const auto recs = k01test::SampleRecords(30, 30);
  for (uint8_t t = 0; t <= 5; ++t) {  // 0: stream shape
    k01_write_options_t opt;
    if (t == 0) opt.form = ContainerForm::kStream;
    else opt.blockTypes = {t};
    opt.recordsPerBlock = 6;
    Bytes good;
    ASSERT_EQ(writeK01File(recs, opt, good), kWriteOk);
    for (int round = 0; round < 12; ++round) {
      Bytes file = good;
      for (int i = 0, flips = 1 + static_cast<int>(Next(x) % 6); i < flips; ++i)
        file[Next(x) % file.size()] ^= static_cast<uint8_t>(1 + Next(x) % 255);
      if (round % 2 == 1) file.resize(Next(x) % file.size());
      ExpectReadsToTheEnd(file, Reader::kK01);
    }
  }
}

}  // namespace
}  // namespace k01
