// Option classification, letter groups and the defaults the command-line
// pass resets; the stored custom argument string: location, splitting and
// precedence over the command line.
#include <gtest/gtest.h>

#include "app/custom_args.h"
#include "app_test_util.h"

namespace {

using namespace apptest;

// Arguments and the fields that then differ from the defaults.
const struct { std::vector<std::string> args; std::string changes; } kOptionCases[] = {
    {{"-demv2"}, "dat=1 eph=1 mes=1 v=2"}, {{"-zq"}, ""}, {{"-adeimfc"}, "app=1 dat=1 eph=1 ion=1 mes=1 f=1 c=1"},
    {{"-v4"}, "v=4"}, {{"-v5"}, "v=1"}, {{"-vdv3"}, "v=1 dat=1"}, {{"-dxe"}, "dat=1 eph=1"}, {{"-s"}, "sum=1"},
    {{"-sd"}, "sum=1 sgiven=1 sname=d"}, {{"-sx.txt", "-s"}, "sum=1"}, {{"-k"}, "k=4294967295"},
    {{"-s" + std::string(255, 'n')}, "sum=1 sgiven=1 sname=" + std::string(255, 'n')},
    {{"-k0"}, "k=4294967295"}, {{"-k12"}, "k=12"}, {{"-k48x"}, "k=48"}, {{"-l2e"}, "l2=0"}, {{"-l2c"}, "l2=1"},
    {{"-l2e+"}, "l2=2"}, {{"-l2e", "-l2c+"}, "l2=3"}, {{"-l2e", "-l2x"}, "l2=0"}, {{"-l2e", "-lc"}, "l2=0"},
    {{"-n"}, "n=1"}, {{"-n!"}, "n=2"}, {{"-gd"}, "t27=0"}, {{"-o+"}, "t27=2"}, {{"-g", "-ox+"}, "t27=1"},
    {{"-R1.2"}, "nav=1 sig=2"}, {{"-R7:8;9"}, "nav=7 sig=8"}, {{"-R5"}, "nav=5"}, {{"-R310,205", "-R"}, ""},
    {{"-Rab,12"}, "sig=12"}, {{"-u1"}, "u=1"}, {{"-u1", "-ux"}, ""}, {{"-W1500"}, "W=1500"},
    {{"-W1500", "-Wabc"}, ""}, {{"-x*e"}, "xh=0 xe=0 xi=0"}, {{"-xei"}, "xe=0 xi=0"}, {{"-xh"}, "xh=0"},
    {{"-xd"}, ""}, {{"-t.K01"}, "fmt=3 xh=0 xe=0"}, {{"-t.k00"}, "fmt=2 xh=0 xe=0"}, {{"-t.Q00"}, "fmt=1"},
    {{"-t.K02"}, "fmt=4 xh=0 xe=0"}, {{"-t.Q00", "-tk01"}, ""}, {{"-t.K01", "-t.kO1"}, "xh=0 xe=0"},
};

TEST(Options, SetExactlyTheExpectedFields) {
  for (const auto& c : kOptionCases) {
    auto app = std::make_unique<Application>();
    ASSERT_EQ(Parse(*app, c.args), status::kOk) << c.args[0];
    EXPECT_EQ(Fields(*app), DefaultsWith(c.changes)) << c.args.back();
    EXPECT_FALSE(app->inputGiven || app->outputGiven || app->usagePrinted) << c.args[0];
  }
  auto app = std::make_unique<Application>();  // argument 0 is never read
  const char* argv[] = {"-demv2", "-e"};
  ASSERT_EQ(app->ParseArguments(2, argv, true), status::kOk);
  EXPECT_EQ(Fields(*app), DefaultsWith("eph=1"));
}

// The stored-argument pass (no reset) keeps them: see CustomArgs.Precedence.
TEST(Options, ResetRestoresTheThreeModesOnly) {
  auto app = std::make_unique<Application>();
  ASSERT_EQ(Parse(*app, {"-g", "-l2e", "-n!", "-d"}), status::kOk);
  ASSERT_EQ(Parse(*app, {}, true), status::kOk);
  EXPECT_EQ(Fields(*app), DefaultsWith("dat=1"));
}

// Only the exact extended usage form prints; it and a summary name over 255
// characters end the parse (nothing after them is read).
TEST(Options, ArgumentsThatEndTheParse) {
  const struct { std::vector<std::string> args; Status st; const char* changes; } cases[] = {
      {{"-e", "-!!", "-d", "nosuchfile"}, status::kInputOpen, "eph=1 dat=1"},
      {{"-e", "-!!!!", "-d", "nosuchfile"}, status::kInputOpen, "eph=1 dat=1"},
      {{"-e", "-!!!v", "-d", "nosuchfile"}, status::kInputOpen, "eph=1 dat=1 v=1"},
      {{"-e", "-!!!", "-d", "nosuchfile"}, status::kOk, "eph=1"},
      {{"-s" + std::string(256, 'n'), "-d"}, status::kSummaryOpen, ""},
  };
  for (const auto& c : cases) {
    const bool usage = c.args[1] == "-!!!";
    auto app = std::make_unique<Application>();
    testing::internal::CaptureStdout();
    EXPECT_EQ(Parse(*app, c.args), c.st) << c.args[1];
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("[-k[filter]] [-g] [-o[+]] [-RNav,Sig] [-Wweek]\n") != std::string::npos, usage);
    EXPECT_EQ(app->usagePrinted, usage) << c.args[1];
    EXPECT_EQ(Fields(*app), DefaultsWith(c.changes)) << c.args[1];
  }
}

// A settings root in a temporary folder holding the given value bytes.
struct Store {
  TempDir dir;
  explicit Store(const std::string& value) {
    WriteText(dir / "Software/Veltor/RawLogSplit/UnpackCustomArgs", value);
  }
};

TEST(CustomArgs, Splitting) {
  const struct { std::string text; std::vector<std::string> tokens; } cases[] = {
      {"-v2  -d", {"-v2", "-d"}}, {"  \t-d\r\n-e \n", {"-d", "-e"}}, {"-sname,x;y:z", {"-sname,x;y:z"}},
      {"", {}}, {" \t\r\n", {}}, {"-d\v-e", {"-d\v-e"}},  // only space, tab, CR and LF separate
  };
  for (const auto& c : cases) EXPECT_EQ(SplitCustomArgs(c.text.c_str()), c.tokens) << c.text;
}

TEST(CustomArgs, MissingEmptyOrFolderValueIsNoString) {
  TempDir none, folder;
  Store empty("");
  std::filesystem::create_directories(folder / "Software/Veltor/RawLogSplit/UnpackCustomArgs");
  for (const std::string& root : {none.path, empty.dir.path, folder.path}) {
    auto app = std::make_unique<Application>();
    app->customArgsRoot = root.c_str();
    EXPECT_EQ(app->ApplyRegistryArguments(), status::kOk) << root;
    EXPECT_EQ(Fields(*app), DefaultsWith("")) << root;
  }
}

// Command line first, then the stored string, as the entry point runs them;
// '%' is a folder holding a.K01 and b.K01. (A stored string applied to a whole
// run: ApiCustomArguments.)
TEST(CustomArgs, Precedence) {
  TempDir files;
  for (const char* f : {"a.K01", "b.K01"}) WriteInput(files / f);
  const struct {
    std::vector<std::string> commandLine;
    std::string stored;
    const char* changes;
    Status status = status::kOk;
    std::string input = "", output = "";  // "" when not given
  } cases[] = {
      {{"-u1"}, "-u0", ""},
      {{"-e", "-v3"}, "-d", "eph=1 dat=1 v=3"},
      {{"-g", "-l2e", "-n!"}, "-d", "t27=0 l2=0 n=2 dat=1"},  // the modes are not reset
      {{"-k5", "-sone", "-W10", "-R1,2", "-o+", "-l2c"}, "-k7 -s -W20 -R3 -g -l2e+",
       "k=7 sum=1 W=20 nav=3 t27=0 l2=2"},
      {{"-xe"}, "-xi", "xe=0 xi=0"},
      {{}, std::string("-d\0-e", 5), "dat=1"},  // a stored zero ends the text
      {{}, "-d -!!! -e", "dat=1"},              // the extended usage ends the pass
      // A stored name is the output after a command-line input, else the input list.
      {{"%/a"}, "-d %/out", "dat=1 fmt=3 xh=0 xe=0 xi=0", 0, "%/a.K01", "%/out"},
      {{"%/a", "given"}, "-d %/out", "dat=1 fmt=3 xh=0 xe=0 xi=0", 0, "%/a.K01", "given"},
      {{"-d"}, "%/b", "dat=1 fmt=3 xh=0 xe=0 xi=0", 0, "%/b.K01"},
      {{}, "%/missing", "", status::kInputOpen},
  };
  for (const auto& c : cases) {
    Store store(files.X(c.stored));
    auto app = std::make_unique<Application>();
    app->customArgsRoot = store.dir.path.c_str();
    ASSERT_EQ(Parse(*app, files.X(c.commandLine)), status::kOk) << c.stored;
    testing::internal::CaptureStdout();
    EXPECT_EQ(app->ApplyRegistryArguments(), c.status) << c.stored;
    const bool usage = c.stored.find("-!!!") != std::string::npos;
    EXPECT_EQ(testing::internal::GetCapturedStdout().substr(0, 12), usage ? "\nlogsplit - " : "");
    EXPECT_EQ(app->usagePrinted, usage);
    EXPECT_EQ(Fields(*app), DefaultsWith(c.changes)) << c.stored;
    EXPECT_EQ(std::string(app->inputNames[0]), files.X(c.input)) << c.stored;
    EXPECT_EQ(app->outputGiven ? std::string(app->outputBase) : "", files.X(c.output)) << c.stored;
  }
}

}  // namespace
