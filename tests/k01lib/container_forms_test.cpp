// Every container form the writer produces reads back record for record.
#include <gtest/gtest.h>

#include <bzlib.h>

#include <vector>

#include "k01lib/container_reader.h"
#include "k01lib/k01_writer.h"
#include "support/k01_files.h"

namespace k01 {
namespace {

using k01test::Bytes;
using k01test::Reader;

// What a record looks like after a trip through a type-5 block: checksum
// bytes 0 and, for a compressed type, no end byte (one byte shorter, with the
// length fields saying so).
Bytes AfterStripping(const Bytes& rec) {
  Bytes out = rec;
  const uint8_t type = rec[2];
  out[out.size() - 3] = 0;
  out[out.size() - 2] = 0;
  if (isCompressedType(type)) {
    out.pop_back();  // [.., payload, 0, 0]
    const size_t length = out.size();
    out[1] = static_cast<uint8_t>(length);  // 74..77: the low byte is length - 256
    if (hasLengthHighByte(type)) out[3] = static_cast<uint8_t>(length >> 8);
  }
  return out;
}

Bytes Write(const std::vector<Bytes>& records, const k01_write_options_t& opt) {
  Bytes file;
  EXPECT_EQ(writeK01File(records, opt, file), kWriteOk);
  return file;
}

TEST(ContainerForms, K00ReadsBackWithTheK00Reader) {
  const auto records = k01test::SampleRecords(40, 1);
  k01_write_options_t opt;
  opt.form = ContainerForm::kK00;
  const auto steps = k01test::ReadAll(Write(records, opt), Reader::kK00);
  EXPECT_EQ(k01test::Records(steps), records);
  EXPECT_EQ(k01test::Statuses(steps), std::vector<uint8_t>({kReadEndOfFile}));
}

TEST(ContainerForms, StreamShapeWithFlushAtTheEnd) {
  const auto records = k01test::SampleRecords(60, 2);
  k01_write_options_t opt;
  opt.form = ContainerForm::kStream;
  const Bytes file = Write(records, opt);
  ASSERT_FALSE(file.empty());
  EXPECT_NE(file[0], 0);  // not mistaken for a header block
  const auto steps = k01test::ReadAll(file, Reader::kK01);
  EXPECT_EQ(k01test::Records(steps), records);
  // The final flush symbol arrives while the next header is being gathered.
  EXPECT_EQ(k01test::Statuses(steps), std::vector<uint8_t>({kReadFlush, kReadEndOfFile}));
}

TEST(ContainerForms, StreamShapeFlushedAfterEveryRecord) {
  const auto records = k01test::SampleRecords(5, 3);
  k01_write_options_t opt;
  opt.form = ContainerForm::kStream;
  opt.flushInterval = 1;
  const auto steps = k01test::ReadAll(Write(records, opt), Reader::kK01);
  ASSERT_EQ(steps.size(), 11u);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(steps[2 * i].record, records[i]);
    EXPECT_EQ(steps[2 * i + 1].type, -1);
    EXPECT_EQ(steps[2 * i + 1].status, kReadFlush);
  }
  EXPECT_EQ(steps[10].status, kReadEndOfFile);
}

struct BlockForm {
  uint8_t blockType;
  uint8_t checksumMode;
};

class SingleBlockType : public ::testing::TestWithParam<BlockForm> {};

TEST_P(SingleBlockType, ReadsBackRecordForRecord) {
  const auto records = k01test::SampleRecords(50, 4);
  k01_write_options_t opt;
  opt.blockTypes = {GetParam().blockType};
  opt.recordsPerBlock = 7;  // several blocks
  const Bytes file = Write(records, opt);
  // The file starts with the library's header block.
  ASSERT_GE(file.size(), 17u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 10),
            Bytes({0, 0, 0, 13, 0x74, 0xBA, 0x79, 0x4B, 0xCF, 0x6B}));
  const auto steps = k01test::ReadAll(file, Reader::kK01);
  std::vector<Bytes> expected = records;
  if (GetParam().blockType == kBlockBzip2Stripped)
    for (auto& r : expected) r = AfterStripping(r);
  EXPECT_EQ(k01test::Records(steps), expected);
  EXPECT_EQ(k01test::Statuses(steps), std::vector<uint8_t>({kReadEndOfFile}));
  for (const auto& s : steps)
    if (s.type >= 0) {
      EXPECT_EQ(s.checksumMode, GetParam().checksumMode);
    }
}

INSTANTIATE_TEST_SUITE_P(AllDataBlocks, SingleBlockType,
                         ::testing::Values(BlockForm{1, 4}, BlockForm{2, 3}, BlockForm{3, 2},
                                           BlockForm{4, 1}, BlockForm{5, 5}));

TEST(ContainerForms, MixedBlocksWithHeaderBlocksBetween) {
  const auto records = k01test::SampleRecords(45, 5);
  k01_write_options_t opt;
  opt.plan = {{4, 3}, {1, 10}, {3, 1}, {5, 6}, {2, 15}, {4, 0}, {3, 10}};
  Bytes file = Write(records, opt);
  // A second header block in the middle of the file changes nothing.
  Bytes withHeader;
  k01_write_options_t first = opt;
  first.plan = {{2, 20}};
  std::vector<Bytes> a(records.begin(), records.begin() + 20), b(records.begin() + 20, records.end());
  withHeader = Write(a, first);
  appendHeaderBlock(withHeader, 8, 24);
  k01_write_options_t second;
  second.headerBlock = false;
  second.blockTypes = {3, 4, 1};
  second.recordsPerBlock = 4;
  const Bytes tail = Write(b, second);
  withHeader.insert(withHeader.end(), tail.begin(), tail.end());

  for (const Bytes* f : {&file, &withHeader}) {
    const auto steps = k01test::ReadAll(*f, Reader::kK01);
    const auto got = k01test::Records(steps);
    ASSERT_EQ(got.size(), records.size());
    for (size_t i = 0; i < got.size(); ++i) {
      // Records 14..19 of the plan went through a type-5 block.
      const bool stripped = f == &file && i >= 14 && i < 20;
      EXPECT_EQ(got[i], stripped ? AfterStripping(records[i]) : records[i]) << "record " << i;
    }
    EXPECT_EQ(k01test::Statuses(steps), std::vector<uint8_t>({kReadEndOfFile}));
  }
}

TEST(ContainerForms, StrippedRecordIsRebuiltWithZeroChecksum) {
  // Stored record 09 11 AA BB CC DD EE FF 00 (length 9, type 17).
  const uint8_t stored[] = {0x09, 0x11, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x00};
  char packed[512];
  unsigned int packedLen = sizeof packed;
  ASSERT_EQ(BZ2_bzBuffToBuffCompress(packed, &packedLen, const_cast<char*>(reinterpret_cast<const char*>(stored)),
                                     sizeof stored, 9, 0, 0),
            BZ_OK);
  Bytes file;
  appendHeaderBlock(file);
  appendBlock(file, 5, Bytes(packed, packed + packedLen));
  const auto steps = k01test::ReadAll(file, Reader::kK01);
  ASSERT_GE(steps.size(), 1u);
  EXPECT_EQ(steps[0].type, 17);
  EXPECT_EQ(steps[0].record,
            Bytes({0x02, 0x0D, 0x11, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x00, 0x00, 0x00, 0x03}));
  EXPECT_EQ(steps[0].checksumMode, 5);
}

TEST(ContainerForms, LargeFileIsSplitIntoBlocksThatFit) {
  // About 2.4 MB of 4096-byte records: more than any one block holds.
  std::vector<Bytes> records;
  for (uint32_t i = 0; i < 600; ++i) records.push_back(k01test::MakeRecord(27, 4090, i));
  for (uint8_t type : {1, 3, 4}) {
    k01_write_options_t opt;
    opt.blockTypes = {type};
    const Bytes file = Write(records, opt);
    const auto steps = k01test::ReadAll(file, Reader::kK01);
    EXPECT_EQ(k01test::Records(steps), records) << "block type " << int(type);
    EXPECT_EQ(k01test::Statuses(steps), std::vector<uint8_t>({kReadEndOfFile}));
  }
}

TEST(ContainerForms, WriterRejectsWhatTheReaderCannotFrame) {
  Bytes file;
  k01_write_options_t opt;
  Bytes bad = k01test::MakeRecord(17, 20, 1);
  bad[1] = 99;  // length byte disagrees with the size
  EXPECT_EQ(writeK01File({bad}, opt, file), kWriteBadRecord);
  EXPECT_TRUE(file.empty());
  // A type-74 record of 259 bytes stores 255 bytes: below its 256 minimum.
  const Bytes short74 = k01test::MakeRecord(74, 253, 1);
  ASSERT_TRUE(isFramedRecord(short74));
  opt.blockTypes = {5};
  EXPECT_EQ(writeK01File({short74}, opt, file), kWriteNotStorable);
  opt.blockTypes = {6};
  EXPECT_EQ(writeK01File({short74}, opt, file), kWriteBadOption);
  opt.blockTypes = {2};
  opt.plan = {{2, 2}};
  EXPECT_EQ(writeK01File({short74}, opt, file), kWriteBadOption);
}

}  // namespace
}  // namespace k01
