// Option classification, letter groups and the defaults the command-line
// pass resets.
#include <gtest/gtest.h>

#include <functional>

#include "app_test_util.h"

namespace {

using apptest::MakeApp;
using apptest::Parse;

// Every option field, so that a case also catches fields it must not touch.
struct Fields {
  int dat, eph, ion, mes, sum, appFile, verbose, fixup, ignoreChecksum;
  uint32_t filter;
  int fixSerial, type27, l2, format, incHeader, incEph, incIon, week, nav, sig, update, sumGiven;
  std::string sumName;
  bool operator==(const Fields&) const = default;
};

Fields Snapshot(const Application& a) {
  return {a.produceDat,   a.produceEph,      a.produceIon,     a.produceMes,
          a.produceSummary, a.produceApp,    a.verbose,        a.fixup,
          a.ignoreChecksum, a.recordFilter,  a.fixSerialMode,  a.type27Mode,
          a.l2Mode,       a.inputFormat,     a.includeHeader,  a.includeEphemeris,
          a.includeIonUtc, a.gpsWeek,        a.navVersion,     a.sigVersion,
          a.updateNameMode, a.summaryNameGiven, a.summaryName};
}

std::ostream& operator<<(std::ostream& os, const Fields& f) {
  return os << "dat" << f.dat << " eph" << f.eph << " ion" << f.ion << " mes" << f.mes << " sum"
            << f.sum << " app" << f.appFile << " v" << f.verbose << " f" << f.fixup << " c"
            << f.ignoreChecksum << " k" << f.filter << " n" << f.fixSerial << " t27 " << f.type27
            << " l2 " << f.l2 << " fmt" << f.format << " inc" << f.incHeader << f.incEph
            << f.incIon << " W" << f.week << " R" << f.nav << "," << f.sig << " u" << f.update
            << " sname[" << f.sumGiven << "," << f.sumName << "]";
}

// Defaults of the application object.
Fields Defaults() {
  Fields f{};
  f.type27 = 1;
  f.l2 = 3;
  f.incHeader = f.incEph = f.incIon = 1;
  return f;
}

struct OptionCase {
  const char* label;
  std::vector<std::string> args;
  std::function<void(Fields&)> expect;  // changes from the defaults
};

const OptionCase kOptionCases[] = {
    // Letter groups.
    {"demv2", {"-demv2"}, [](Fields& f) { f.dat = f.eph = f.mes = 1; f.verbose = 2; }},
    {"unknown letters", {"-zq"}, [](Fields&) {}},
    {"dash alone", {"-"}, [](Fields&) {}},
    {"all letters", {"-adeimfc"},
     [](Fields& f) { f.appFile = f.dat = f.eph = f.ion = f.mes = f.fixup = f.ignoreChecksum = 1; }},
    {"v alone", {"-v"}, [](Fields& f) { f.verbose = 1; }},
    {"v3", {"-v3"}, [](Fields& f) { f.verbose = 3; }},
    {"v4", {"-v4"}, [](Fields& f) { f.verbose = 4; }},
    {"v5 is level 1", {"-v5"}, [](Fields& f) { f.verbose = 1; }},
    {"digit after the first v only", {"-vdv3"}, [](Fields& f) { f.verbose = 1; f.dat = 1; }},
    {"letters anywhere", {"-dxe"}, [](Fields& f) { f.dat = f.eph = 1; }},
    {"letters add up over arguments", {"-d", "-e", "-cv2f"},
     [](Fields& f) { f.dat = f.eph = f.ignoreChecksum = f.fixup = 1; f.verbose = 2; }},
    // -s
    {"summary name", {"-sd"}, [](Fields& f) { f.sum = 1; f.sumName = "d"; f.sumGiven = 1; }},
    {"summary no name", {"-s"}, [](Fields& f) { f.sum = 1; }},
    {"summary name then none", {"-sx.txt", "-s"}, [](Fields& f) { f.sum = 1; }},
    // -k
    {"k alone", {"-k"}, [](Fields& f) { f.filter = 0xFFFFFFFFu; }},
    {"k0", {"-k0"}, [](Fields& f) { f.filter = 0xFFFFFFFFu; }},
    {"k12", {"-k12"}, [](Fields& f) { f.filter = 12; }},
    {"k letters", {"-kabc"}, [](Fields& f) { f.filter = 0xFFFFFFFFu; }},
    {"k digits then text", {"-k48x"}, [](Fields& f) { f.filter = 48; }},
    // -l2
    {"l2e", {"-l2e"}, [](Fields& f) { f.l2 = 0; }},
    {"l2c", {"-l2c"}, [](Fields& f) { f.l2 = 1; }},
    {"l2e+", {"-l2e+"}, [](Fields& f) { f.l2 = 2; }},
    {"l2c+", {"-l2e", "-l2c+"}, [](Fields& f) { f.l2 = 3; }},
    {"l2ex is l2e", {"-l2ex"}, [](Fields& f) { f.l2 = 0; }},
    {"l2 alone", {"-l2e", "-l2"}, [](Fields& f) { f.l2 = 0; }},
    {"l2x", {"-l2e", "-l2x"}, [](Fields& f) { f.l2 = 0; }},
    {"lc", {"-l2e", "-lc"}, [](Fields& f) { f.l2 = 0; }},
    {"l3c", {"-l2e", "-l3c+"}, [](Fields& f) { f.l2 = 0; }},
    // -n, -g, -o
    {"n", {"-n"}, [](Fields& f) { f.fixSerial = 1; }},
    {"n!", {"-n!"}, [](Fields& f) { f.fixSerial = 2; }},
    {"nx", {"-nx!"}, [](Fields& f) { f.fixSerial = 1; }},
    {"g", {"-g"}, [](Fields& f) { f.type27 = 0; }},
    {"g with letters is not a group", {"-gd"}, [](Fields& f) { f.type27 = 0; }},
    {"o+", {"-o+"}, [](Fields& f) { f.type27 = 2; }},
    {"o after g", {"-g", "-o"}, [](Fields& f) { f.type27 = 1; }},
    {"ox", {"-g", "-ox+"}, [](Fields& f) { f.type27 = 1; }},
    // -R
    {"R both", {"-R310,205"}, [](Fields& f) { f.nav = 310; f.sig = 205; }},
    {"R dot", {"-R1.2"}, [](Fields& f) { f.nav = 1; f.sig = 2; }},
    {"R colon and semicolon", {"-R7:8;9"}, [](Fields& f) { f.nav = 7; f.sig = 8; }},
    {"R one", {"-R5"}, [](Fields& f) { f.nav = 5; }},
    {"R none", {"-R310,205", "-R"}, [](Fields&) {}},
    {"R text", {"-Rab,12"}, [](Fields& f) { f.sig = 12; }},
    // -u, -W
    {"u1", {"-u1"}, [](Fields& f) { f.update = 1; }},
    {"u0 after u1", {"-u1", "-u0"}, [](Fields&) {}},
    {"ux", {"-u1", "-ux"}, [](Fields&) {}},
    {"W", {"-W1500"}, [](Fields& f) { f.week = 1500; }},
    {"W text", {"-W1500", "-Wabc"}, [](Fields&) {}},
    // -x
    {"x*e", {"-x*e"}, [](Fields& f) { f.incHeader = f.incEph = f.incIon = 0; }},
    {"xei", {"-xei"}, [](Fields& f) { f.incEph = f.incIon = 0; }},
    {"xh", {"-xh"}, [](Fields& f) { f.incHeader = 0; }},
    {"xd clears nothing", {"-xd"}, [](Fields&) {}},
    // -t
    {"t.K01", {"-t.K01"}, [](Fields& f) { f.format = 3; f.incHeader = f.incEph = 0; }},
    {"t.k00", {"-t.k00"}, [](Fields& f) { f.format = 2; f.incHeader = f.incEph = 0; }},
    {"t.K02", {"-t.K02"}, [](Fields& f) { f.format = 4; f.incHeader = f.incEph = 0; }},
    {"t.q00", {"-t.q00"}, [](Fields& f) { f.format = 1; }},
    {"t.Q00", {"-t.Q00"}, [](Fields& f) { f.format = 1; }},
    {"tk01 without dot", {"-t.Q00", "-tk01"}, [](Fields&) {}},
    {"t mixed case", {"-t.K01", "-t.kO1"}, [](Fields& f) { f.incHeader = f.incEph = 0; }},
};

class OptionTable : public ::testing::TestWithParam<OptionCase> {};

TEST_P(OptionTable, SetsExactlyTheExpectedFields) {
  const OptionCase& c = GetParam();
  auto app = MakeApp();
  ASSERT_EQ(Parse(*app, c.args), status::kOk);
  Fields want = Defaults();
  c.expect(want);
  EXPECT_EQ(Snapshot(*app), want) << c.label;
  EXPECT_FALSE(app->inputGiven);
  EXPECT_FALSE(app->outputGiven);
  EXPECT_FALSE(app->usagePrinted);
}

INSTANTIATE_TEST_SUITE_P(Options, OptionTable, ::testing::ValuesIn(kOptionCases));

TEST(Options, ResetRestoresTheThreeModesOnly) {
  auto app = MakeApp();
  app->fixSerialMode = 2;
  app->type27Mode = 0;
  app->l2Mode = 0;
  app->produceDat = 1;
  ASSERT_EQ(Parse(*app, {}, false), status::kOk);
  EXPECT_EQ(app->fixSerialMode, 2);
  EXPECT_EQ(app->type27Mode, 0);
  EXPECT_EQ(app->l2Mode, 0);
  ASSERT_EQ(Parse(*app, {}, true), status::kOk);
  EXPECT_EQ(app->fixSerialMode, 0);
  EXPECT_EQ(app->type27Mode, 1);
  EXPECT_EQ(app->l2Mode, 3);
  EXPECT_EQ(app->produceDat, 1);
}

TEST(Options, ArgumentZeroIsNeverRead) {
  auto app = MakeApp();
  const char* argv[] = {"-demv2", "-e"};
  ASSERT_EQ(app->ParseArguments(2, argv, true), status::kOk);
  EXPECT_EQ(app->produceDat, 0);
  EXPECT_EQ(app->verbose, 0);
  EXPECT_EQ(app->produceEph, 1);
}

TEST(Options, LongSummaryNameIsRefused) {
  auto app = MakeApp();
  std::string name(255, 'n');
  ASSERT_EQ(Parse(*app, {"-s" + name}), status::kOk);
  EXPECT_EQ(std::string(app->summaryName), name);
  auto app2 = MakeApp();
  EXPECT_EQ(Parse(*app2, {"-s" + name + "x", "-d"}), status::kSummaryOpen);
  EXPECT_EQ(app2->summaryName[0], '\0');
  EXPECT_EQ(app2->produceDat, 0);  // the parse ended there
}

TEST(Options, ExtendedUsageEndsTheParse) {
  auto app = MakeApp();
  Status st = status::kInputOpen;
  std::string out = apptest::CaptureStdout([&] { st = Parse(*app, {"-e", "-!!!", "-d", "nosuchfile"}); });
  EXPECT_EQ(st, status::kOk);
  EXPECT_TRUE(app->usagePrinted);
  EXPECT_EQ(app->produceEph, 1);
  EXPECT_EQ(app->produceDat, 0);
  EXPECT_FALSE(app->inputGiven);
  EXPECT_NE(out.find("[-k[filter]] [-g] [-o[+]] [-RNav,Sig] [-Wweek]\n"), std::string::npos);
}

TEST(Options, OnlyTheExactFormPrintsUsage) {
  for (const char* arg : {"-!!", "-!!!!", "-!!!v"}) {
    auto app = MakeApp();
    std::string out = apptest::CaptureStdout([&] { EXPECT_EQ(Parse(*app, {arg}), status::kOk); });
    EXPECT_EQ(out, "") << arg;
    EXPECT_FALSE(app->usagePrinted) << arg;
  }
}

}  // namespace
