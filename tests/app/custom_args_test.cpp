// The stored custom argument string: location, splitting and precedence
// over the command line.
#include <gtest/gtest.h>

#include "app/custom_args.h"
#include "app_test_util.h"

namespace {

using namespace apptest;

// A settings root in a temporary folder holding the given value bytes.
struct Store {
  TempDir dir;
  explicit Store(const std::string& value) {
    WriteText(dir / "Software/Veltor/RawLogSplit/UnpackCustomArgs", value);
  }
};

TEST(CustomArgs, Splitting) {
  const struct { std::string text; std::vector<std::string> tokens; } cases[] = {
      {"-v2  -d", {"-v2", "-d"}},
      {"  \t-d\r\n-e \n", {"-d", "-e"}},
      {"-sname,x;y:z", {"-sname,x;y:z"}},
      {"", {}},
      {" \t\r\n", {}},
      {"-d\v-e", {"-d\v-e"}},  // only space, tab, CR and LF separate
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

// Command line first, then the stored string, as the entry point runs them.
TEST(CustomArgs, Precedence) {
  const struct { std::vector<std::string> commandLine; std::string stored; const char* changes; } cases[] = {
      {{}, "-v2  -d", "v=2 dat=1"},
      {{"-u1"}, "-u0", ""},
      {{"-e", "-v3"}, "-d", "eph=1 dat=1 v=3"},
      {{"-g", "-l2e", "-n!"}, "-d", "t27=0 l2=0 n=2 dat=1"},  // the modes are not reset
      {{"-k5", "-sone", "-W10", "-R1,2", "-o+", "-l2c"}, "-k7 -s -W20 -R3 -g -l2e+",
       "k=7 sum=1 W=20 nav=3 t27=0 l2=2"},
      {{"-xe"}, "-xi", "xe=0 xi=0"},
      {{}, std::string("-d\0-e", 5), "dat=1"},  // a stored zero ends the text
  };
  for (const auto& c : cases) {
    Store store(c.stored);
    auto app = std::make_unique<Application>();
    app->customArgsRoot = store.dir.path.c_str();
    ASSERT_EQ(Parse(*app, c.commandLine), status::kOk) << c.stored;
    ASSERT_EQ(app->ApplyRegistryArguments(), status::kOk) << c.stored;
    EXPECT_EQ(Fields(*app), DefaultsWith(c.changes)) << c.stored;
  }
}

TEST(CustomArgs, StoredPositionalNames) {
  TempDir files;
  for (const char* f : {"a.K01", "b.K01"}) WriteInput(files / f);
  const struct {
    std::vector<std::string> commandLine;
    std::string stored;
    Status status;
    std::string input, output;  // "" when not given
  } cases[] = {
      {{"%/a"}, "-d %/out", 0, "%/a.K01", "%/out"},  // the stored name is the output
      {{"%/a", "given"}, "-d %/out", 0, "%/a.K01", "given"},
      {{"-d"}, "%/b", 0, "%/b.K01", ""},  // the stored name is the input list
      {{}, "%/missing", status::kInputOpen, "", ""},
  };
  for (const auto& c : cases) {
    Store store(files.X(c.stored));
    auto app = std::make_unique<Application>();
    app->customArgsRoot = store.dir.path.c_str();
    ASSERT_EQ(Parse(*app, files.X(c.commandLine)), status::kOk);
    EXPECT_EQ(app->ApplyRegistryArguments(), c.status) << c.stored;
    EXPECT_EQ(std::string(app->inputNames[0]), files.X(c.input)) << c.stored;
    EXPECT_EQ(app->outputGiven ? std::string(app->outputBase) : "", files.X(c.output)) << c.stored;
  }
}

TEST(CustomArgs, StoredExtendedUsageEndsThePass) {
  Store store("-d -!!! -e");
  auto app = std::make_unique<Application>();
  app->customArgsRoot = store.dir.path.c_str();
  testing::internal::CaptureStdout();
  EXPECT_EQ(app->ApplyRegistryArguments(), status::kOk);
  EXPECT_EQ(testing::internal::GetCapturedStdout().substr(0, 12), "\nlogsplit - ");
  EXPECT_TRUE(app->usagePrinted);
  EXPECT_EQ(Fields(*app), DefaultsWith("dat=1"));
}

}  // namespace
