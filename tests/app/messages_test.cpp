// Status texts, console templates with their built-in fallbacks, and the
// building of console lines.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/messages.h"
#include "app_test_util.h"

namespace {

// Turns the string table off for the life of the object.
struct NoResources {
  NoResources() { SetResourcesAvailable(false); }
  ~NoResources() { SetResourcesAvailable(true); }
};

struct StatusCase {
  Status code;
  const char* resource;  // text with the table present
  const char* builtin;   // text with the table missing
};

const StatusCase kStatusCases[] = {
    {0, "None", "None"},
    {1, "Insufficient memory", "Insufficient memory"},
    {2, "DAT file conversion library not opened properly", "Download functions not opened properly"},
    {3, "Unable to open DAT file", "Unable to open DAT file"},
    {4, "Unable to write to DAT file, file is not open", "Unable to write to DAT file, file is not open"},
    {5, "Unable to open EPH file", "Unable to open EPH file"},
    {6, "Unable to write to EPH file, file is not open", "Unable to write to EPH file, file is not open"},
    {7, "Unable to open ION file", "Unable to open ION file"},
    {8, "Unable to write to ION file, file is not open", "Unable to write to ION file, file is not open"},
    {9, "Unable to open MES file", "Unable to open MES file"},
    {10, "Unable to write to MES file, file is not open", "Unable to write to MES file, file is not open"},
    {11, "Record error - STX not found", "Record error - STX not found"},
    {12, "Record error - ETX not found", "Record error - ETX not found"},
    {13, "Record error - bad checksum", "Record error - bad checksum"},
    {14, "Record error - unexpected LOGST record (18)", "Record error - unexpected LOGST record (18)"},
    {15, "Disk full", "Disk full"},
    {16, "Unable to locate binary message records for update",
     "Unable to locate binary message records for update"},
    {17, "Unable to locate/open source Q00/K00 file", "Unable to locate/open source Q00 file"},
    {18, "Not a valid Q00/K00 file (bad header)", "Not a valid Q00 file (bad header)"},
    {19, "Measurement records out of sequence", "Measurement records out of sequence"},
    {20, "Unable to open summary TXT file", "Unable to open summary TXT file"},
    {21, "Unable to write to summary TXT file, file is not open",
     "Unable to write to summary TXT file, file is not open"},
    {22, "Unknown error [22]", "Unknown error [22]"},
    {23, "Unable to resync to a record", "Unable to resync to a record"},
    {24, "Unable to open application CFG file", "Unable to open Application CFG file"},
    {25, "Unable to write to application CFG file, file is not open",
     "Unable to write to Application CFG file, file is not open"},
    {26, "Application CFG file built from record 31 is not valid",
     "AppFile built from record 31 is not valid"},
    {27, "Application CFG file could not be built, no information",
     "Application CFG file could not be built, no information"},
    {28, "Conversion terminated by calling application", "Conversion terminated by calling application"},
    {29, "One or more errors encountered, but either ignored or skipped",
     "One or more errors encountered, but either ignored or skipped"},
    {30, "Error encountered while expanding measurement records",
     "Error encountered while expanding measurement records"},
    {31, "K02 files not supported in this version of the K01 library",
     "K02 files not supported in this version of the K01 library"},
    {32, "Unknown error [32]", "Unknown error [32]"},
    {40, "Unknown error [40]", "Unknown error [40]"},
    {-1, "Unknown error [-1]", "Unknown error [-1]"},
    {-32768, "Unknown error [-32768]", "Unknown error [-32768]"},
};

TEST(StatusText, EveryCodeWithAndWithoutResources) {
  for (const StatusCase& c : kStatusCases) {
    char buf[128];
    EXPECT_STREQ(StatusText(c.code, buf, sizeof buf), c.resource) << c.code;
    NoResources off;
    EXPECT_STREQ(StatusText(c.code, buf, sizeof buf), c.builtin) << c.code;
  }
}

TEST(StatusText, ShortBufferIsCutAndTerminated) {
  char buf[12];
  std::memset(buf, 'X', sizeof buf);
  EXPECT_STREQ(StatusText(17, buf, 10), "Unable to");
  EXPECT_EQ(buf[10], 'X');
  EXPECT_STREQ(StatusText(40, buf, 8), "Unknown");
  NoResources off;
  EXPECT_STREQ(StatusText(31, buf, 4), "K02");
}

struct TemplateCase {
  int number;
  const char* resource;
  const char* builtin;
};

const TemplateCase kTemplateCases[] = {
    {101, "logsplit:  error  : %s", "logsplit:  error  : %s"},
    {102, "logsplit:  %s", "logsplit:  %s"},
    {103, "logsplit:  DAT: %s", "logsplit:  DAT: %s"},
    {108, "logsplit:  SUM: %s", "logsplit:  SUM: %s"},
    {109, "logsplit:  Input file: %s", "logsplit:  Input file: %s"},
    {110, "Record id: %3d   Position: %08X", "Record id: %3d   Position: %9u"},
    {111, "Start of Problem Record: %08X", "Start of Problem Record: %08X"},
    {112, "[%3d]: %02X", "[%3d]: %02X"},
    {113, "Next 256 Bytes:", "Next 256 Bytes:"},
    {117, "Lost Bytes      : %lu", "Lost Bytes      : %lu"},
    {118, "logsplit:  records: %ld", "logsplit:  records: %ld"},
    {119, "logsplit:  status : %d", "logsplit:  status : %d"},
    {120, "logsplit:  checksum err count: %lu", "logsplit:  checksum err count: %ld"},
    {121, "logsplit:  total lost bytes: %lu", "logsplit:  total lost bytes: %lu"},
    {122, "Record id: %3d   Position: %08X   Time: %9.3f", "Record id: %3d   Position: %9u   Time: %9.3f"},
    {123, "logsplit:  K01Lib: %s", "logsplit:  K01Lib: %s"},
};

TEST(LoadTemplate, ResourceFirstBuiltinWhenMissing) {
  for (const TemplateCase& c : kTemplateCases) {
    char buf[256];
    EXPECT_STREQ(LoadTemplate(c.number, buf, sizeof buf, BuiltinTemplate(c.number)), c.resource) << c.number;
    NoResources off;
    EXPECT_STREQ(LoadTemplate(c.number, buf, sizeof buf, BuiltinTemplate(c.number)), c.builtin) << c.number;
  }
}

TEST(LoadTemplate, UnknownNumberTakesTheBuiltinText) {
  char buf[32];
  EXPECT_STREQ(LoadTemplate(99, buf, sizeof buf, "fallback"), "fallback");
  EXPECT_STREQ(LoadTemplate(32, buf, sizeof buf, "no resource"), "no resource");
  EXPECT_STREQ(LoadTemplate(99, buf, sizeof buf, nullptr), "");
}

TEST(LoadTemplate, BuiltinFillingTheBufferIsTerminated) {
  char buf[9];
  std::memset(buf, 'X', sizeof buf);
  EXPECT_STREQ(LoadTemplate(99, buf, 8, "0123456789"), "0123456");
  EXPECT_EQ(buf[8], 'X');
}

// Collects the lines handed to the message callback.
struct Collected {
  std::vector<std::pair<int, std::string>> lines;
  static void Callback(int32_t level, const char* text, void* user) {
    static_cast<Collected*>(user)->lines.emplace_back(level, text);
  }
};

TEST(SendLine, RecordLinePositionFollowsTheTemplate) {
  auto app = apptest::MakeApp();
  Collected got;
  app->SetMessageCallback(&Collected::Callback, &got);
  app->SendLine(2, kMsgRecord, BuiltinTemplate(kMsgRecord), 17, 0x1234u);
  app->SendLine(2, kMsgRecordTime, BuiltinTemplate(kMsgRecordTime), 7, 0xABCDEFu, 12.5);
  {
    NoResources off;
    app->SendLine(2, kMsgRecord, BuiltinTemplate(kMsgRecord), 17, 0x1234u);
    app->SendLine(2, kMsgRecordTime, BuiltinTemplate(kMsgRecordTime), 7, 0xABCDEFu, 12.5);
  }
  ASSERT_EQ(got.lines.size(), 4u);
  EXPECT_EQ(got.lines[0].second, "Record id:  17   Position: 00001234");
  EXPECT_EQ(got.lines[1].second, "Record id:   7   Position: 00ABCDEF   Time:    12.500");
  EXPECT_EQ(got.lines[2].second, "Record id:  17   Position:      4660");
  EXPECT_EQ(got.lines[3].second, "Record id:   7   Position:  11259375   Time:    12.500");
  for (const auto& l : got.lines) EXPECT_EQ(l.first, 2);
}

TEST(SendLine, LineIsCutAt255Characters) {
  auto app = apptest::MakeApp();
  Collected got;
  app->SetMessageCallback(&Collected::Callback, &got);
  std::string longName(400, 'n');
  app->SendLine(1, kMsgInputName, BuiltinTemplate(kMsgInputName), longName.c_str());
  ASSERT_EQ(got.lines.size(), 1u);
  EXPECT_EQ(got.lines[0].second.size(), 255u);
  EXPECT_EQ(got.lines[0].second.substr(0, 26), "logsplit:  Input file: nnn");
}

TEST(SendLine, NoCallbackSendsNothing) {
  auto app = apptest::MakeApp();
  app->SetMessageCallback(nullptr, nullptr);
  std::string out = apptest::CaptureStdout([&] {
    app->SendLine(1, kMsgBanner, BuiltinTemplate(kMsgBanner), "x");
    app->ReportError(17);
  });
  EXPECT_EQ(out, "");
  EXPECT_STREQ(app->messageLine, "logsplit:  error  : Unable to locate/open source Q00/K00 file");
}

TEST(ReportError, LevelTwoWithTheStatusText) {
  auto app = apptest::MakeApp();
  Collected got;
  app->SetMessageCallback(&Collected::Callback, &got);
  app->ReportError(28);
  app->ReportError(40);
  {
    NoResources off;
    app->ReportError(18);
  }
  ASSERT_EQ(got.lines.size(), 3u);
  EXPECT_EQ(got.lines[0], (std::pair<int, std::string>{2, "logsplit:  error  : Conversion terminated by calling application"}));
  EXPECT_EQ(got.lines[1].second, "logsplit:  error  : Unknown error [40]");
  EXPECT_EQ(got.lines[2].second, "logsplit:  error  : Not a valid Q00 file (bad header)");
}

TEST(DefaultCallbacks, MessageAddsANewlineProgressReturnsPercent) {
  std::string out = apptest::CaptureStdout([] {
    DefaultMessageCallback(1, "logsplit:  Version 5.17", nullptr);
    DefaultMessageCallback(3, " ", reinterpret_cast<void*>(uintptr_t{7}));
  });
  EXPECT_EQ(out, "logsplit:  Version 5.17\n \n");
  uint8_t cancel = 0;
  EXPECT_EQ(DefaultProgressCallback(&cancel, 57, 1, 2), 57);
  EXPECT_EQ(cancel, 0);
}

}  // namespace
