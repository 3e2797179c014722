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
void ExpectReadsToTheEnd(const Bytes& file, Reader reader, const char* what) {
  const size_t maxCalls = 4 * file.size() + 20;
  auto d = k01test::NewDecoder();
  auto f = k01test::OpenBytes(file);
  const auto steps = k01test::ReadAll(d.get(), f.get(), reader, maxCalls);
  ASSERT_TRUE(std::feof(f.get())) << what << ": no end after " << steps.size() << " calls";
  for (const auto& s : steps) {
    if (s.type < 0) continue;
    ASSERT_GE(s.record.size(), 5u) << what;
    ASSERT_LE(s.record.size(), 4096u) << what;
    EXPECT_EQ(s.record[0], 0x02) << what;
    EXPECT_EQ(s.type, s.record[2]) << what;
  }
}

TEST(BadInput, RandomBytes) {
  uint32_t x = 99;
  for (int round = 0; round < 60; ++round) {
    Bytes file(Next(x) % 3000);
    for (auto& b : file) b = static_cast<uint8_t>(Next(x) >> 24);
    if (round % 3 == 0 && file.size() > 20) {
      // Begin like a block file so that the block reader gets the bytes.
      const Bytes header = {0, 0, 0, 6, 0x74, 0xBA, 0x79, 0x4B, 0xCF, 0x6B};
      std::copy(header.begin(), header.end(), file.begin());
    }
    ExpectReadsToTheEnd(file, Reader::kK01, "random K01");
    ExpectReadsToTheEnd(file, Reader::kK00, "random K00");
  }
}

TEST(BadInput, DamagedAndTruncatedFilesOfEveryForm) {
  const auto recs = k01test::SampleRecords(30, 30);
  std::vector<Bytes> files;
  for (uint8_t t = 1; t <= 5; ++t) {
    k01_write_options_t opt;
    opt.blockTypes = {t};
    opt.recordsPerBlock = 6;
    files.emplace_back();
    ASSERT_EQ(writeK01File(recs, opt, files.back()), kWriteOk);
  }
  k01_write_options_t stream;
  stream.form = ContainerForm::kStream;
  files.emplace_back();
  ASSERT_EQ(writeK01File(recs, stream, files.back()), kWriteOk);
  uint32_t x = 5;
  for (const Bytes& good : files) {
    for (int round = 0; round < 12; ++round) {
      Bytes file = good;
      const int flips = 1 + static_cast<int>(Next(x) % 6);
      for (int i = 0; i < flips; ++i) file[Next(x) % file.size()] ^= static_cast<uint8_t>(1 + Next(x) % 255);
      if (round % 2 == 1) file.resize(Next(x) % file.size());
      ExpectReadsToTheEnd(file, Reader::kK01, "damaged");
    }
  }
}

TEST(BadInput, TruncatedPlainBlockDeliversItsCompleteRecords) {
  const auto recs = k01test::SampleRecords(4, 31);
  k01_write_options_t opt;
  opt.blockTypes = {kBlockPlain};
  Bytes file;
  ASSERT_EQ(writeK01File(recs, opt, file), kWriteOk);
  file.resize(file.size() - recs[3].size() / 2);  // cut inside the last record
  const auto steps = k01test::ReadAll(file, Reader::kK01);
  const auto got = k01test::Records(steps);
  ASSERT_GE(got.size(), 3u);
  EXPECT_EQ(std::vector<Bytes>(got.begin(), got.begin() + 3),
            std::vector<Bytes>(recs.begin(), recs.begin() + 3));
  EXPECT_EQ(steps[3].status, kReadFraming);
}

TEST(BadInput, ShortHeaderBlocks) {
  const auto recs = k01test::SampleRecords(3, 32);
  // A first header block shorter than its signature is no header block.
  Bytes tiny = {0, 0, 0, 3, 0x74, 0xBA, 0x79};
  auto d = k01test::NewDecoder();
  auto f = k01test::OpenBytes(tiny);
  uint8_t status = 0;
  readK01Record(d.get(), f.get(), &status);
  EXPECT_EQ(d->shape, kShapeStream);
  // Inside a file, a header block without version bytes (only 6 or 11
  // bytes) refuses nothing.
  for (size_t n : {0u, 6u, 11u}) {
    Bytes file;
    appendHeaderBlock(file, 9, 0);  // refused ...
    appendBlock(file, kBlockHeader, Bytes(kHeaderSignature, kHeaderSignature + 6));
    file.resize(file.size() - 6 + n);
    file[file.size() - n - 1] = static_cast<uint8_t>(n);  // its length byte
    if (n > 6) file.insert(file.end(), n - 6 - (n - 6), 0);
    Bytes body;
    k01_write_options_t opt;
    opt.headerBlock = false;
    opt.blockTypes = {kBlockPlain};
    ASSERT_EQ(writeK01File(recs, opt, body), kWriteOk);
    file.insert(file.end(), body.begin(), body.end());
    EXPECT_EQ(k01test::Records(k01test::ReadAll(file, Reader::kK01)), recs) << n << "-byte header";
  }
}

TEST(BadInput, BlocksDecodingBeyondTheBlockBufferAreRejected) {
  const Bytes zeros(kBlockOutputSize + 1, 0);
  const auto recs = k01test::SampleRecords(2, 33);
  // zlib
  Bytes packed(compressBound(zeros.size()));
  uLongf packedLen = packed.size();
  ASSERT_EQ(compress(packed.data(), &packedLen, zeros.data(), zeros.size()), Z_OK);
  Bytes zlibPayload(kZlibSync, kZlibSync + 6);
  zlibPayload.insert(zlibPayload.end(), packed.begin(), packed.begin() + static_cast<long>(packedLen));
  // Huffman: symbol 0 has a 3-bit code, so 200,000 coded bytes hold 533,333 bytes.
  Bytes huffPayload(kHuffmanSync, kHuffmanSync + 6);
  const Bytes coded = huffmanEncode(Bytes(533333, 0), true);
  huffPayload.insert(huffPayload.end(), coded.begin(), coded.end());
  struct Case {
    uint8_t type;
    const Bytes* payload;
    uint8_t status;
  };
  const Case cases[] = {{kBlockZlib, &zlibPayload, kReadZlib}, {kBlockHuffman, &huffPayload, kReadFraming}};
  for (const Case& c : cases) {
    Bytes file;
    appendHeaderBlock(file);
    appendBlock(file, c.type, *c.payload);
    Bytes tail;
    k01_write_options_t opt;
    opt.headerBlock = false;
    ASSERT_EQ(writeK01File(recs, opt, tail), kWriteOk);
    file.insert(file.end(), tail.begin(), tail.end());
    const auto steps = k01test::ReadAll(file, Reader::kK01);
    ASSERT_GE(steps.size(), 1u);
    EXPECT_EQ(steps[0].status, c.status) << "block type " << int(c.type);
    EXPECT_EQ(k01test::Records(steps), recs) << "block type " << int(c.type);
  }
  // bzip2 with nothing decodable after it.
  Bytes bz;
  k01_write_options_t opt;
  opt.blockTypes = {kBlockBzip2};
  std::vector<Bytes> big;
  for (uint32_t i = 0; i < 130; ++i) big.push_back(k01test::MakeRecord(27, 4090, i));
  Bytes block;
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
