// The stored custom argument string: location, splitting and precedence
// over the command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/custom_args.h"
#include "app_test_util.h"

namespace {

using apptest::MakeApp;
using apptest::Parse;
using apptest::TempDir;

// A settings root in a temporary folder holding the given value bytes.
struct Store {
  TempDir dir;
  void Put(const std::string& value) {
    apptest::WriteText(dir / "Software/Veltor/RawLogSplit/UnpackCustomArgs", value);
  }
};

TEST(CustomArgs, Splitting) {
  struct Case {
    std::string text;
    std::vector<std::string> tokens;
  };
  const Case cases[] = {
      {"-v2  -d", {"-v2", "-d"}},
      {"  \t-d\r\n-e \n", {"-d", "-e"}},
      {"-sname,x;y:z", {"-sname,x;y:z"}},
      {"", {}},
      {" \t\r\n", {}},
      {"-d\v-e", {"-d\v-e"}},  // only space, tab, CR and LF separate
  };
  for (const Case& c : cases) EXPECT_EQ(SplitCustomArgs(c.text.c_str()), c.tokens) << c.text;
}

TEST(CustomArgs, TwoSpacesGiveExactlyTwoArguments) {
  Store store;
  store.Put("-v2  -d");
  auto app = MakeApp();
  app->customArgsRoot = store.dir.path().c_str();
  ASSERT_EQ(app->ApplyRegistryArguments(), status::kOk);
  EXPECT_EQ(app->verbose, 2);
  EXPECT_EQ(app->produceDat, 1);
  EXPECT_EQ(app->produceEph, 0);
}

TEST(CustomArgs, MissingOrEmptyValueIsNoString) {
  TempDir none;
  auto app = MakeApp();
  app->customArgsRoot = none.path().c_str();
  EXPECT_EQ(app->ApplyRegistryArguments(), status::kOk);

  Store empty;
  empty.Put("");
  app->customArgsRoot = empty.dir.path().c_str();
  EXPECT_EQ(app->ApplyRegistryArguments(), status::kOk);

  // A key folder where the value should be.
  TempDir folder;
  std::filesystem::create_directories(folder / "Software/Veltor/RawLogSplit/UnpackCustomArgs");
  app->customArgsRoot = folder.path().c_str();
  EXPECT_EQ(app->ApplyRegistryArguments(), status::kOk);
  EXPECT_EQ(app->produceDat, 0);
}

TEST(CustomArgs, StoredZerosEndTheText) {
  Store store;
  store.Put(std::string("-d\0-e", 5));
  auto app = MakeApp();
  app->customArgsRoot = store.dir.path().c_str();
  ASSERT_EQ(app->ApplyRegistryArguments(), status::kOk);
  EXPECT_EQ(app->produceDat, 1);
  EXPECT_EQ(app->produceEph, 0);
}

TEST(CustomArgs, ModesAreNotReset) {
  Store store;
  store.Put("-d");
  auto app = MakeApp();
  app->customArgsRoot = store.dir.path().c_str();
  ASSERT_EQ(Parse(*app, {"-g", "-l2e", "-n!"}), status::kOk);
  ASSERT_EQ(app->ApplyRegistryArguments(), status::kOk);
  EXPECT_EQ(app->type27Mode, 0);
  EXPECT_EQ(app->l2Mode, 0);
  EXPECT_EQ(app->fixSerialMode, 2);
}

// Command line first, then the stored string, as the entry point runs them.
struct PrecedenceCase {
  const char* label;
  std::vector<std::string> commandLine;
  std::string stored;
  std::function<void(const Application&)> check;
};

TEST(CustomArgs, Precedence) {
  const PrecedenceCase cases[] = {
      {"u0 turns off u1", {"-u1"}, "-u0", [](const Application& a) { EXPECT_EQ(a.updateNameMode, 0); }},
      {"d cannot turn anything off", {"-e", "-v3"}, "-d",
       [](const Application& a) {
         EXPECT_EQ(a.produceEph, 1);
         EXPECT_EQ(a.produceDat, 1);
         EXPECT_EQ(a.verbose, 3);
       }},
      {"values replace", {"-k5", "-sone", "-W10", "-R1,2", "-o+", "-l2c"},
       "-k7 -s -W20 -R3 -g -l2e+",
       [](const Application& a) {
         EXPECT_EQ(a.recordFilter, 7u);
         EXPECT_EQ(a.summaryNameGiven, 0);
         EXPECT_STREQ(a.summaryName, "");
         EXPECT_EQ(a.gpsWeek, 20);
         EXPECT_EQ(a.navVersion, 3);
         EXPECT_EQ(a.sigVersion, 0);
         EXPECT_EQ(a.type27Mode, 0);
         EXPECT_EQ(a.l2Mode, 2);
       }},
      {"x only adds", {"-xe"}, "-xi",
       [](const Application& a) {
         EXPECT_EQ(a.includeEphemeris, 0);
         EXPECT_EQ(a.includeIonUtc, 0);
         EXPECT_EQ(a.includeHeader, 1);
       }},
  };
  for (const PrecedenceCase& c : cases) {
    Store store;
    store.Put(c.stored);
    auto app = MakeApp();
    app->customArgsRoot = store.dir.path().c_str();
    ASSERT_EQ(Parse(*app, c.commandLine), status::kOk) << c.label;
    ASSERT_EQ(app->ApplyRegistryArguments(), status::kOk) << c.label;
    SCOPED_TRACE(c.label);
    c.check(*app);
  }
}

TEST(CustomArgs, StoredPositionalNames) {
  TempDir files;
  apptest::WriteBytes(files / "a.K01", apptest::K01Start());
  apptest::WriteBytes(files / "b.K01", apptest::K01Start());

  // Input on the command line, no output: the stored name is the output.
  Store s1;
  s1.Put("-d " + files / "out");
  auto app = MakeApp();
  app->customArgsRoot = s1.dir.path().c_str();
  ASSERT_EQ(Parse(*app, {files / "a"}), status::kOk);
  ASSERT_EQ(app->ApplyRegistryArguments(), status::kOk);
  EXPECT_STREQ(app->inputNames[0], (files / "a.K01").c_str());
  EXPECT_STREQ(app->outputBase, (files / "out").c_str());

  // Input and output on the command line: the stored name is ignored.
  auto app2 = MakeApp();
  app2->customArgsRoot = s1.dir.path().c_str();
  ASSERT_EQ(Parse(*app2, {files / "a", "given"}), status::kOk);
  ASSERT_EQ(app2->ApplyRegistryArguments(), status::kOk);
  EXPECT_STREQ(app2->outputBase, "given");

  // No input on the command line: the stored name is the input list.
  Store s2;
  s2.Put(files / "b");
  auto app3 = MakeApp();
  app3->customArgsRoot = s2.dir.path().c_str();
  ASSERT_EQ(Parse(*app3, {"-d"}), status::kOk);
  ASSERT_EQ(app3->ApplyRegistryArguments(), status::kOk);
  EXPECT_STREQ(app3->inputNames[0], (files / "b.K01").c_str());
  EXPECT_FALSE(app3->outputGiven);

  // A stored name that cannot be found ends the pass with 17.
  Store s3;
  s3.Put(files / "missing");
  auto app4 = MakeApp();
  app4->customArgsRoot = s3.dir.path().c_str();
  EXPECT_EQ(app4->ApplyRegistryArguments(), status::kInputOpen);
}

TEST(CustomArgs, StoredExtendedUsage) {
  Store store;
  store.Put("-d -!!! -e");
  auto app = MakeApp();
  app->customArgsRoot = store.dir.path().c_str();
  Status st = status::kInputOpen;
  std::string out = apptest::CaptureStdout([&] { st = app->ApplyRegistryArguments(); });
  EXPECT_EQ(st, status::kOk);
  EXPECT_TRUE(app->usagePrinted);
  EXPECT_EQ(app->produceDat, 1);
  EXPECT_EQ(app->produceEph, 0);
  EXPECT_EQ(out.substr(0, 12), "\nlogsplit - ");
}

}  // namespace
