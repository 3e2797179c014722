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
using Statuses = std::vector<uint8_t>;

// A record after a trip through a type-5 block: checksum bytes 0 and, for a
// compressed type, no end byte (the length fields say so).
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

Bytes Write(const std::vector<Bytes>& records, const k01_write_options_t& opt) {
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
    std::vector<Bytes> expected = records;
    if (c.blockType == kBlockBzip2Stripped)
      for (auto& r : expected) r = AfterStripping(r);
    EXPECT_EQ(k01test::Records(steps), expected);
    Statuses statuses = c.statuses;
    if (c.flushInterval) statuses.push_back(kReadEndOfFile);
    EXPECT_EQ(k01test::Statuses(steps), statuses);
    for (const auto& s : steps)
      if (s.type >= 0) {
        ASSERT_EQ(s.checksumMode, c.checksumMode);
      }
  }
}

TEST(ContainerForms, StrippedRecordIsRebuiltWithZeroChecksum) {
  const uint8_t stored[] = {0x09, 0x11, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x00};  // length 9, type 17
  char packed[512];
  unsigned int packedLen = sizeof packed;
  ASSERT_EQ(BZ2_bzBuffToBuffCompress(packed, &packedLen, reinterpret_cast<char*>(const_cast<uint8_t*>(stored)),
                                     sizeof stored, 9, 0, 0),
            BZ_OK);
  Bytes file;
  appendHeaderBlock(file);
  appendBlock(file, 5, Bytes(packed, packed + packedLen));
  const auto steps = k01test::ReadAll(file, Reader::kK01);
  ASSERT_GE(steps.size(), 1u);
  EXPECT_EQ(steps[0].record, Bytes({0x02, 0x0D, 0x11, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x00, 0x00, 0x00, 0x03}));
  EXPECT_EQ(steps[0].checksumMode, 5);
}

TEST(ContainerForms, LargeFileIsSplitIntoBlocksThatFit) {
  std::vector<Bytes> records;  // about 2.4 MB: more than any one block holds
  for (uint32_t i = 0; i < 600; ++i) records.push_back(k01test::MakeRecord(27, 4090, i));
  for (uint8_t type : {3}) {
    k01_write_options_t opt;
    opt.blockTypes = {type};
    const auto steps = k01test::ReadAll(Write(records, opt), Reader::kK01);
    EXPECT_EQ(k01test::Records(steps), records) << int(type);
    EXPECT_EQ(k01test::Statuses(steps), Statuses({kReadEndOfFile}));
  }
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

}  // namespace
}  // namespace k01
