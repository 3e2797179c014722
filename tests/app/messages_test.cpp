// Status texts, console templates with their built-in fallbacks, and the
// building of console lines.
#include <gtest/gtest.h>

#include "app/messages.h"
#include "app_test_util.h"

namespace {

// Status code or template number (100 and up), the text with the string table
// and the built-in text where it differs.
const struct { int number; const char* resource; const char* builtin; } kTextCases[] = {
    {0, "None", nullptr},
    {2, "DAT file conversion library not opened properly", "Download functions not opened properly"},
    {13, "Record error - bad checksum", nullptr},
    {17, "Unable to locate/open source Q00/K00 file", "Unable to locate/open source Q00 file"},
    {18, "Not a valid Q00/K00 file (bad header)", "Not a valid Q00 file (bad header)"},
    {19, "Measurement records out of sequence", nullptr},
    {20, "Unable to open summary TXT file", nullptr},
    {21, "Unable to write to summary TXT file, file is not open", nullptr},
    {22, "Unknown error [22]", nullptr},
    {24, "Unable to open application CFG file", "Unable to open Application CFG file"},
    {26, "Application CFG file built from record 31 is not valid",
     "AppFile built from record 31 is not valid"},
    {28, "Conversion terminated by calling application", nullptr},
    {31, "K02 files not supported in this version of the K01 library", nullptr},
    {32, "Unknown error [32]", nullptr},
    {40, "Unknown error [40]", nullptr},
    {-1, "Unknown error [-1]", nullptr},
    {-32768, "Unknown error [-32768]", nullptr},
    {117, "Lost Bytes      : %lu", nullptr},
    {120, "logsplit:  checksum err count: %lu", "logsplit:  checksum err count: %ld"},
};

TEST(Texts, ResourceFirstBuiltinWhenMissing) {
  char buf[256];
  for (const auto& c : kTextCases) {
    for (bool resources : {true, false}) {
      SetResourcesAvailable(resources);
      EXPECT_STREQ(c.number >= 100 ? LoadTemplate(c.number, buf, sizeof buf, BuiltinTemplate(c.number))
                                   : StatusText(static_cast<Status>(c.number), buf, sizeof buf),
                   resources || c.builtin == nullptr ? c.resource : c.builtin);
    }
  }
  SetResourcesAvailable(true);
  EXPECT_STREQ(LoadTemplate(99, buf, sizeof buf, "fallback"), "fallback");
  EXPECT_STREQ(LoadTemplate(32, buf, sizeof buf, "no resource"), "no resource");
  EXPECT_STREQ(LoadTemplate(99, buf, sizeof buf, nullptr), "");
}

TEST(Texts, ShortBufferIsCutAndTerminated) {
  char buf[12];
  std::memset(buf, 'X', sizeof buf);
  EXPECT_STREQ(LoadTemplate(99, buf, 8, "0123456789"), "0123456");
  EXPECT_EQ(buf[8], 'X');
  EXPECT_STREQ(StatusText(17, buf, 10), "Unable to");
  EXPECT_EQ(buf[10], 'X');
  EXPECT_STREQ(StatusText(40, buf, 8), "Unknown");
  SetResourcesAvailable(false);
  EXPECT_STREQ(StatusText(31, buf, 4), "K02");
  SetResourcesAvailable(true);
}

// Collects the lines handed to the message callback.
struct Collected {
  std::vector<std::pair<int, std::string>> lines;
  static void Callback(int32_t level, const char* text, void* self) {
    static_cast<Collected*>(self)->lines.emplace_back(level, text);
  }
};

TEST(SendLine, RecordLinesErrorLinesAndTheCut) {
  auto app = std::make_unique<Application>();
  Collected got;
  app->SetMessageCallback(&Collected::Callback, &got);
  const std::string longName(400, 'n');
  for (bool resources : {true, false}) {
    SetResourcesAvailable(resources);
    app->SendLine(2, kMsgRecord, BuiltinTemplate(kMsgRecord), 17, 0x1234u);
    app->SendLine(2, kMsgRecordTime, BuiltinTemplate(kMsgRecordTime), 7, 0xABCDEFu, 12.5);
    app->ReportError(18);
  }
  SetResourcesAvailable(true);
  app->ReportError(40);
  app->SendLine(1, kMsgInputName, BuiltinTemplate(kMsgInputName), longName.c_str());
  const std::vector<std::pair<int, std::string>> want = {
      {2, "Record id:  17   Position: 00001234"},
      {2, "Record id:   7   Position: 00ABCDEF   Time:    12.500"},
      {2, "logsplit:  error  : Not a valid Q00/K00 file (bad header)"},
      {2, "Record id:  17   Position:      4660"},
      {2, "Record id:   7   Position:  11259375   Time:    12.500"},
      {2, "logsplit:  error  : Not a valid Q00 file (bad header)"},
      {2, "logsplit:  error  : Unknown error [40]"},
      {1, ("logsplit:  Input file: " + longName).substr(0, 255)},
  };
  EXPECT_EQ(got.lines, want);
}

TEST(SendLine, NoCallbackSendsNothing) {
  auto app = std::make_unique<Application>();
  app->SetMessageCallback(nullptr, nullptr);
  testing::internal::CaptureStdout();
  app->SendLine(1, kMsgBanner, BuiltinTemplate(kMsgBanner), "x");
  app->ReportError(17);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_STREQ(app->messageLine, "logsplit:  error  : Unable to locate/open source Q00/K00 file");
}

TEST(DefaultCallbacks, MessageAddsANewlineProgressReturnsPercent) {
  testing::internal::CaptureStdout();
  DefaultMessageCallback(1, "logsplit:  Version 5.17", nullptr);
  DefaultMessageCallback(3, " ", reinterpret_cast<void*>(uintptr_t{7}));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "logsplit:  Version 5.17\n \n");
  uint8_t cancel = 0;
  EXPECT_EQ(DefaultProgressCallback(&cancel, 57, 1, 2), 57);
  EXPECT_EQ(cancel, 0);
}

}  // namespace
