// Status texts, console templates with their built-in fallbacks, the
// building of console lines, and the usage text byte for byte.
#include <gtest/gtest.h>

#include "app/messages.h"
#include "app_test_util.h"
#include "logsplit/logsplit.h"

namespace {

// Status code or template number (100 and up), the text with the string table
// and the built-in text where it differs. (The table's texts of the codes 0 to
// 31 are all listed in ApiStatus.CodesAndTexts.)
const struct { int number; const char* resource; const char* builtin; } kTextCases[] = {
    {0, "None", nullptr}, {19, "Measurement records out of sequence", nullptr}, {22, "Unknown error [22]", nullptr},
    {2, "DAT file conversion library not opened properly", "Download functions not opened properly"},
    {17, "Unable to locate/open source Q00/K00 file", "Unable to locate/open source Q00 file"},
    {18, "Not a valid Q00/K00 file (bad header)", "Not a valid Q00 file (bad header)"},
    {24, "Unable to open application CFG file", "Unable to open Application CFG file"},
    {26, "Application CFG file built from record 31 is not valid", "AppFile built from record 31 is not valid"},
    {31, "K02 files not supported in this version of the K01 library", nullptr},
    {32, "Unknown error [32]", nullptr}, {-32768, "Unknown error [-32768]", nullptr},
    {117, "Lost Bytes      : %lu", nullptr},
    {120, "logsplit:  checksum err count: %lu", "logsplit:  checksum err count: %ld"},
};

TEST(Texts, ResourceFirstBuiltinWhenMissingCutToTheBuffer) {
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
  std::memset(buf, 'X', sizeof buf);  // a short buffer: the text is cut and terminated
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

// (That the default callback prints each line with a line feed is shown by
// ApiProgram, which compares the program's output with the lines.)
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
  // Without a callback nothing is sent, and the line is still built.
  app->SetMessageCallback(nullptr, nullptr);
  testing::internal::CaptureStdout();
  app->ReportError(17);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_STREQ(app->messageLine, "logsplit:  error  : Unable to locate/open source Q00/K00 file");
}

const char kHead[] =
    "\n"
    "logsplit - Utility to unpack Veltor Q00\\K00\\K01\\K02 files, Version 5.17 ( k01lib 8.24 )\n"
    "\n"
    "usage: logsplit [-deimacfv] [-sfile] [-x[ehi*]] [-tfmt] [-n[!]] [-u0|1] src[+s2+s3+..+sn] [@file] [out]\n";

const char kExtendedLine5[] = "                [-k[filter]] [-g] [-o[+]] [-RNav,Sig] [-Wweek]\n";

const char kOptions[] =
    " @file      file with list of files to be concatenated (one per line)\n"
    " -c         ignore checksum errors\n"
    " -a         produce APP file (when possible)\n"
    " -d         produce DAT file\n"
    " -e         produce EPH file\n"
    " -i         produce ION file\n"
    " -m         produce MES file\n"
    " -n[!]      fix Stelo serial number, [!-unconditional]\n"
    " -s[file]   produce Summary file\n"
    " -f         attempt fixup if possible\n"
    " -u[0|1]    update file name [0-dft, 1-station]\n"
    " -v         verbose\n"
    " -x[ehi*]   exclude initial: e-eph, h-header, i-ionutc, *-all\n"
    " -tfmt      format type of file (fmt=q00,k00,k01,k02)\n";

const char kExtendedOptions[] =
    " -k[FILTER] remove new record types flags\n"
    " -l2c[+]    use l2c if both l2c and l2e exist (+ = preferred)\n"
    " -l2e[+]    use l2e if both l2c and l2e exist (+ = preferred)\n"
    " -g         use type 27 (if it exists)\n"
    " -o[+]      convert type 27 to 17, no type 28 (+ use 17,27,28)\n"
    " -R         override NAV and SIG versions\n"
    " -W         set GPS week to specified value\n";

const char kExamples[] =
    "\n"
    "examples: logsplit -d gs00233a\n"
    "          logsplit -dev gs00233a gnew233a\n"
    "          logsplit -deimv gs00233a c:\\new\\gs00233a\n"
    "          logsplit -de c:\\old\\gs00233a c:\\new\\gs00233a\n"
    "          logsplit -demv gs00233a+gs00233b+gs00233c comb2330\n"
    "          logsplit -demv @q00.lst comb2330\n"
    "\n";

std::string ShortUsage() { return std::string(kHead) + "\n" + kOptions + kExamples; }
std::string ExtendedUsage() { return std::string(kHead) + kExtendedLine5 + kOptions + kExtendedOptions + kExamples; }

// Without arguments the entry point prints the short form and ends with 0
// (the program runs the same sequence: ApiProgram compares the two).
TEST(Usage, ShortAndExtendedBytes) {
  for (bool extended : {false, true}) {
    testing::internal::CaptureStdout();
    Application::PrintUsage(extended);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), extended ? ExtendedUsage() : ShortUsage());
  }
  logsplit::Converter conv;
  const char* argv[] = {"logsplit"};
  testing::internal::CaptureStdout();
  EXPECT_EQ(conv.Execute(1, argv), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), ShortUsage());
}

}  // namespace
