// The bzip2 read-ahead: its result is used only for the very block the
// reader has read itself, and multi-block files read back the same with it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "k01lib/block_prefetch.h"
#include "k01lib/container_reader.h"
#include "k01lib/k01_writer.h"
#include "support/k01_files.h"

namespace k01 {
namespace {

using k01test::Bytes;

// A bzip2 block holding `count` sample records; its type byte is at `at`.
Bytes Bzip2Block(size_t count, uint32_t seed) {
  const auto records = k01test::SampleRecords(count, seed);
  Bytes payload;
  EXPECT_EQ(buildBlockPayload(kBlockBzip2, records, 0, count, payload), kWriteOk);
  Bytes block;
  appendBlock(block, kBlockBzip2, payload);
  return block;
}

TEST(BlockPrefetch, ResultServesOnlyTheBlockItWasReadFrom) {
  const Bytes first = Bzip2Block(12, 1);
  const Bytes second = Bzip2Block(9, 2);
  Bytes file = first;
  file.insert(file.end(), second.begin(), second.end());
  const long secondAt = static_cast<long>(first.size());
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
    if (c.taken) {
      EXPECT_EQ(Bytes(d->blockOutput, d->blockOutput + d->blockOutputLength), expected);
      EXPECT_EQ(d->blockReadOffset, 0u);
    } else {
      EXPECT_EQ(d->blockOutputLength, 0u);
    }
  }
  // The reader's stream position is not moved by the worker's reads.
  EXPECT_EQ(std::ftell(f.get()), 0);
}

TEST(BlockPrefetch, ManyBlocksWithADamagedOneReadBackAsWithoutIt) {
  const auto records = k01test::SampleRecords(90, 7);
  k01_write_options_t opt;
  opt.blockTypes = {kBlockBzip2, kBlockBzip2, kBlockZlib, kBlockBzip2Stripped};
  opt.recordsPerBlock = 6;
  Bytes file;
  ASSERT_EQ(writeK01File(records, opt, file), kWriteOk);
  const auto clean = k01test::ReadAll(file, k01test::Reader::kK01);
  EXPECT_EQ(k01test::Records(clean).size(), records.size());

  // A byte in the middle of the file damages one block: the read-ahead of
  // that block fails or mismatches, and the reader recovers as always.
  Bytes damaged = file;
  damaged[damaged.size() / 2] ^= 0x5A;
  const auto steps = k01test::ReadAll(damaged, k01test::Reader::kK01);
  EXPECT_LT(k01test::Records(steps).size(), records.size());
  EXPECT_GT(k01test::Records(steps).size(), records.size() / 2);
}

}  // namespace
}  // namespace k01
