// Option classification, letter groups and the defaults the command-line
// pass resets.
#include <gtest/gtest.h>

#include "app_test_util.h"

namespace {

using namespace apptest;

// Arguments and the fields that then differ from the defaults.
const struct { std::vector<std::string> args; std::string changes; } kOptionCases[] = {
    {{"-demv2"}, "dat=1 eph=1 mes=1 v=2"},
    {{"-zq"}, ""},
    {{"-adeimfc"}, "app=1 dat=1 eph=1 ion=1 mes=1 f=1 c=1"},
    {{"-v4"}, "v=4"},
    {{"-v5"}, "v=1"},
    {{"-vdv3"}, "v=1 dat=1"},
    {{"-dxe"}, "dat=1 eph=1"},
    {{"-sd"}, "sum=1 sgiven=1 sname=d"},
    {{"-s"}, "sum=1"},
    {{"-s" + std::string(255, 'n')}, "sum=1 sgiven=1 sname=" + std::string(255, 'n')},
    {{"-sx.txt", "-s"}, "sum=1"},
    {{"-k"}, "k=4294967295"},
    {{"-k0"}, "k=4294967295"},
    {{"-k12"}, "k=12"},
    {{"-k48x"}, "k=48"},
    {{"-l2e"}, "l2=0"},
    {{"-l2c"}, "l2=1"},
    {{"-l2e+"}, "l2=2"},
    {{"-l2e", "-l2c+"}, "l2=3"},
    {{"-l2e", "-l2"}, "l2=0"},
    {{"-l2e", "-l2x"}, "l2=0"},
    {{"-l2e", "-lc"}, "l2=0"},
    {{"-n"}, "n=1"},
    {{"-n!"}, "n=2"},
    {{"-gd"}, "t27=0"},
    {{"-o+"}, "t27=2"},
    {{"-g", "-ox+"}, "t27=1"},
    {{"-R310,205"}, "nav=310 sig=205"},
    {{"-R1.2"}, "nav=1 sig=2"},
    {{"-R7:8;9"}, "nav=7 sig=8"},
    {{"-R5"}, "nav=5"},
    {{"-R310,205", "-R"}, ""},
    {{"-Rab,12"}, "sig=12"},
    {{"-u1"}, "u=1"},
    {{"-u1", "-ux"}, ""},
    {{"-W1500"}, "W=1500"},
    {{"-W1500", "-Wabc"}, ""},
    {{"-x*e"}, "xh=0 xe=0 xi=0"},
    {{"-xei"}, "xe=0 xi=0"},
    {{"-xh"}, "xh=0"},
    {{"-xd"}, ""},
    {{"-t.K01"}, "fmt=3 xh=0 xe=0"},
    {{"-t.k00"}, "fmt=2 xh=0 xe=0"},
    {{"-t.K02"}, "fmt=4 xh=0 xe=0"},
    {{"-t.Q00"}, "fmt=1"},
    {{"-t.Q00", "-tk01"}, ""},
    {{"-t.K01", "-t.kO1"}, "xh=0 xe=0"},
};

TEST(Options, SetExactlyTheExpectedFields) {
  for (const auto& c : kOptionCases) {
    auto app = std::make_unique<Application>();
    ASSERT_EQ(Parse(*app, c.args), status::kOk) << c.args[0];
    EXPECT_EQ(Fields(*app), DefaultsWith(c.changes)) << c.args.back();
    EXPECT_FALSE(app->inputGiven || app->outputGiven || app->usagePrinted) << c.args[0];
  }
}

TEST(Options, ResetRestoresTheThreeModesOnly) {
  auto app = std::make_unique<Application>();
  ASSERT_EQ(Parse(*app, {"-g", "-l2e", "-n!", "-d"}), status::kOk);
  ASSERT_EQ(Parse(*app, {}, false), status::kOk);
  EXPECT_EQ(Fields(*app), DefaultsWith("t27=0 l2=0 n=2 dat=1"));
  ASSERT_EQ(Parse(*app, {}, true), status::kOk);
  EXPECT_EQ(Fields(*app), DefaultsWith("dat=1"));
}

TEST(Options, ArgumentZeroIsNeverRead) {
  auto app = std::make_unique<Application>();
  const char* argv[] = {"-demv2", "-e"};
  ASSERT_EQ(app->ParseArguments(2, argv, true), status::kOk);
  EXPECT_EQ(Fields(*app), DefaultsWith("eph=1"));
}

TEST(Options, SummaryNameOver255IsRefusedAndEndsTheParse) {
  auto app = std::make_unique<Application>();
  EXPECT_EQ(Parse(*app, {"-s" + std::string(256, 'n'), "-d"}), status::kSummaryOpen);
  EXPECT_EQ(Fields(*app), DefaultsWith(""));
}

TEST(Options, OnlyTheExactExtendedUsageFormPrintsAndEndsTheParse) {
  const std::pair<std::string, const char*> cases[] = {
      {"-!!", "eph=1 dat=1"}, {"-!!!!", "eph=1 dat=1"}, {"-!!!v", "eph=1 dat=1 v=1"}, {"-!!!", "eph=1"}};
  for (const auto& [arg, changes] : cases) {
    const bool exact = arg == "-!!!";
    auto app = std::make_unique<Application>();
    testing::internal::CaptureStdout();
    EXPECT_EQ(Parse(*app, {"-e", arg, "-d", "nosuchfile"}), exact ? status::kOk : status::kInputOpen);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("[-k[filter]] [-g] [-o[+]] [-RNav,Sig] [-Wweek]\n") != std::string::npos, exact);
    EXPECT_EQ(app->usagePrinted, exact) << arg;
    EXPECT_EQ(Fields(*app), DefaultsWith(changes)) << arg;
  }
}

}  // namespace
