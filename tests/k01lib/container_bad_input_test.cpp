// Any byte sequence is read to its end without overflow, hang or crash.
#include <gtest/gtest.h>

#include <zlib.h>

#include <vector>

#include "k01lib/container_reader.h"
#include "k01lib/k01_writer.h"
#include "support/k01_files.h"

namespace k01 {
namespace {

using k01test::Bytes;
using k01test::Reader;

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

TEST(BadInput, ShortOrForeignHeaderBlocks) {
  // A first block that is too short or has the wrong signature: stream shape.
  for (const Bytes& start : {Bytes{0, 0, 0, 3, 0x74, 0xBA, 0x79},
                             Bytes{0, 0, 0, 13, 0x74, 0xBA, 0x79, 0x4B, 0xCF, 0x6C, 8, 24, 0, 0, 8, 11, 0}}) {
    auto d = k01test::NewDecoder();
    auto f = k01test::OpenBytes(start);
    uint8_t status = 0;
    readK01Record(d.get(), f.get(), &status);
    EXPECT_EQ(d->shape, kShapeStream);
  }
  // Inside a file, a header block without version bytes refuses nothing.
  const auto recs = k01test::SampleRecords(3, 32);
  for (size_t n : {0u, 6u, 11u}) {
    Bytes file;
    appendHeaderBlock(file, 9, 0);  // refused ...
    Bytes header(kHeaderSignature, kHeaderSignature + 6);
    header.resize(n, 0);
    appendBlock(file, kBlockHeader, header);  // ... until this one
    k01_write_options_t opt;
    opt.headerBlock = false;
    opt.blockTypes = {kBlockPlain};
    Bytes body;
    ASSERT_EQ(writeK01File(recs, opt, body), kWriteOk);
    file.insert(file.end(), body.begin(), body.end());
    EXPECT_EQ(k01test::Records(k01test::ReadAll(file, Reader::kK01)), recs) << n << "-byte header";
  }
}

TEST(BadInput, BlocksDecodingBeyondTheBlockBufferAreRejected) {
  const auto recs = k01test::SampleRecords(2, 33);
  const Bytes zeros(kBlockOutputSize + 1, 0);
  Bytes packed(compressBound(zeros.size()));
  uLongf packedLen = packed.size();
  ASSERT_EQ(compress(packed.data(), &packedLen, zeros.data(), zeros.size()), Z_OK);
  Bytes zlibPayload(kZlibSync, kZlibSync + 6);
  zlibPayload.insert(zlibPayload.end(), packed.begin(), packed.begin() + static_cast<long>(packedLen));
  // Symbol 0 has a 3-bit code: 200,000 coded bytes hold 533,333 bytes.
  Bytes huffPayload(kHuffmanSync, kHuffmanSync + 6);
  const Bytes coded = huffmanEncode(Bytes(533333, 0), true);
  huffPayload.insert(huffPayload.end(), coded.begin(), coded.end());
  const struct {
    uint8_t type;
    const Bytes* payload;
    uint8_t status;
  } cases[] = {{kBlockZlib, &zlibPayload, kReadZlib}, {kBlockHuffman, &huffPayload, kReadFraming}};
  for (const auto& c : cases) {
    Bytes file, tail;
    appendHeaderBlock(file);
    appendBlock(file, c.type, *c.payload);
    k01_write_options_t opt;
    opt.headerBlock = false;
    ASSERT_EQ(writeK01File(recs, opt, tail), kWriteOk);
    file.insert(file.end(), tail.begin(), tail.end());
    const auto steps = k01test::ReadAll(file, Reader::kK01);
    ASSERT_GE(steps.size(), 1u);
    EXPECT_EQ(steps[0].status, c.status) << int(c.type);
    EXPECT_EQ(k01test::Records(steps), recs) << int(c.type);
  }
  // bzip2 with nothing decodable after it: status 8 from the block step.
  std::vector<Bytes> big;
  for (uint32_t i = 0; i < 130; ++i) big.push_back(k01test::MakeRecord(27, 4090, i));
  Bytes block, bz;
  ASSERT_EQ(buildBlockPayload(kBlockBzip2, big, 0, big.size(), block), kWriteOk);
  appendHeaderBlock(bz);
  appendBlock(bz, kBlockBzip2, block);
  auto d = k01test::NewDecoder();
  auto f = k01test::OpenBytes(bz);
  std::fseek(f.get(), 17, SEEK_SET);  // past the header block
  uint8_t status = 0;
  EXPECT_EQ(readBlockRecord(d.get(), f.get(), &status, 17), -1);
  EXPECT_EQ(status, kReadBzip2);
}

}  // namespace
}  // namespace k01
