// The usage text, byte for byte, and the program's behaviour at its entry.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "app_test_util.h"

namespace {

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
std::string ExtendedUsage() {
  return std::string(kHead) + kExtendedLine5 + kOptions + kExtendedOptions + kExamples;
}

TEST(Usage, ShortAndExtendedBytes) {
  testing::internal::CaptureStdout();
  Application::PrintUsage(false);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), ShortUsage());
  testing::internal::CaptureStdout();
  Application::PrintUsage(true);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), ExtendedUsage());
}

// The program itself: nothing after -!!! runs, not even a name that cannot
// be found; a missing input ends the run with 17 and no output.
TEST(Program, UsageAndMissingInput) {
  const char* bin = std::getenv("LOGSPLIT_BIN");
  if (bin == nullptr || ::access(bin, X_OK) != 0) GTEST_SKIP() << "logsplit program not built";
  apptest::TempDir dir;
  const struct { std::string args; int exitCode; std::string out; } cases[] = {
      {"", 0, ShortUsage()},
      {"-d -!!! " + dir / "missing", 0, ExtendedUsage()},
      {"-dv2 " + dir / "gs00233a", 17, ""},
      {"-dv2", 17, ""},
  };
  for (const auto& c : cases) {
    FILE* p = ::popen(("\"" + std::string(bin) + "\" " + c.args + " 2>/dev/null").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    for (int ch; (ch = std::fgetc(p)) != EOF;) out += static_cast<char>(ch);
    int st = ::pclose(p);
    EXPECT_EQ(WIFEXITED(st) ? WEXITSTATUS(st) : -1, c.exitCode) << c.args;
    EXPECT_EQ(out, c.out) << c.args;
  }
}

}  // namespace
