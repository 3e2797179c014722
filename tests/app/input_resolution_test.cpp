// Name resolution against real files: signatures, extension probing, the
// positional list, list files, and the output base name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/input_resolution.h"
#include "app_test_util.h"

namespace {

using apptest::MakeApp;
using apptest::Parse;
using apptest::TempDir;
using apptest::WriteBytes;
using apptest::WriteText;

std::vector<std::string> Names(const Application& app) {
  std::vector<std::string> v;
  for (int i = 0; i < kMaxInputs && app.inputNames[i][0] != '\0'; ++i) v.emplace_back(app.inputNames[i]);
  return v;
}

// ---- CheckImageHeader --------------------------------------------------

struct HeaderCase {
  const char* label;
  std::vector<uint8_t> bytes;
  Status status;
  int kind;
  long endPosition;
};

std::vector<uint8_t> WithoutNulAt20() {
  std::vector<uint8_t> b = apptest::RawImageStart();
  b[20] = ' ';
  return b;
}

std::vector<uint8_t> K00WithoutEtx() {
  std::vector<uint8_t> b = apptest::K00Start();
  b[14] = 0x00;
  return b;
}

std::vector<uint8_t> RawImageCut() {
  std::vector<uint8_t> b = apptest::RawImageStart();
  b.resize(25);
  return b;
}

TEST(CheckImageHeader, Kinds) {
  const HeaderCase cases[] = {
      {"raw image", apptest::RawImageStart(), status::kOk, kHeaderRawImage, 39},
      {"raw image cut short", RawImageCut(), status::kOk, kHeaderRawImage, 25},
      {"no NUL at 20", WithoutNulAt20(), status::kBadHeader, kHeaderNone, 15},
      {"K00", apptest::K00Start(), status::kOk, kHeaderK00, 15},
      {"K00 without ETX", K00WithoutEtx(), status::kBadHeader, kHeaderNone, 15},
      {"K02", apptest::K02Start(), status::kOk, kHeaderK02, 12},
      {"other", apptest::K01Start(), status::kBadHeader, kHeaderNone, 7},
      {"empty", {}, status::kBadHeader, kHeaderNone, 0},
  };
  TempDir dir;
  for (const HeaderCase& c : cases) {
    std::string path = dir / "f.bin";
    WriteBytes(path, c.bytes);
    FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    uint8_t tail[17] = {};
    int kind = -1;
    EXPECT_EQ(CheckImageHeader(f, tail, &kind), c.status) << c.label;
    EXPECT_EQ(kind, c.kind) << c.label;
    EXPECT_EQ(std::ftell(f), c.endPosition) << c.label;
    if (c.kind == kHeaderRawImage) {
      EXPECT_EQ(tail[0], 1) << c.label;
      EXPECT_EQ(tail[2], 3) << c.label;
      EXPECT_EQ(tail[16], c.bytes.size() >= 39 ? 17 : 0) << c.label;
    }
    std::fclose(f);
  }
  int kind = -1;
  EXPECT_EQ(CheckImageHeader(nullptr, nullptr, &kind), status::kInputOpen);
  EXPECT_EQ(kind, kHeaderNone);
}

// ---- ProbeInputFile through the positional list -------------------------

struct ProbeCase {
  const char* label;
  std::vector<std::string> files;  // created in the folder
  std::string name;                // as given, relative to the folder
  Status status;
  std::string resolved;            // relative to the folder
  int format;
  int incHeader, incEph, incIon;
};

TEST(ProbeInputFile, ExtensionOrderAndKinds) {
  const ProbeCase cases[] = {
      {"only K01", {"gs00233a.K01"}, "gs00233a", 0, "gs00233a.K01", 3, 0, 0, 0},
      {"q00 before K01", {"gs00233a.K01", "gs00233a.q00"}, "gs00233a", 0, "gs00233a.q00", 1, 1, 1, 1},
      {"q00 before Q00", {"a.Q00", "a.q00"}, "a", 0, "a.q00", 1, 1, 1, 1},
      {"Q00 before k00", {"a.k00", "a.Q00"}, "a", 0, "a.Q00", 1, 1, 1, 1},
      {"k00 before K00", {"a.K00", "a.k00"}, "a", 0, "a.k00", 2, 1, 0, 0},
      {"K00 before k01", {"a.k01", "a.K00"}, "a", 0, "a.K00", 2, 1, 0, 0},
      {"k01 before K01", {"a.K01", "a.k01"}, "a", 0, "a.k01", 3, 0, 0, 0},
      {"K01 before k02", {"a.k02", "a.K01"}, "a", 0, "a.K01", 3, 0, 0, 0},
      {"k02 before K02", {"a.K02", "a.k02"}, "a", 0, "a.k02", 4, 1, 0, 0},
      {"K02 last", {"a.K02"}, "a", 0, "a.K02", 4, 1, 0, 0},
      {"name without extension exists", {"plain"}, "plain", 0, "plain", 3, 0, 0, 0},
      {"extension given is not probed", {"a.K01"}, "a.x", 17, "", 0, 1, 1, 1},
      {"lower-case other extension missing", {"a.Q00"}, "a.q00", 17, "", 0, 1, 1, 1},
      {"nothing there", {}, "missing", 17, "", 0, 1, 1, 1},
      {"dot in folder only", {"d.x/a.k01"}, "d.x/a", 0, "d.x/a.k01", 3, 0, 0, 0},
      {"folder is not a file", {"sub/x.q00"}, "sub", 17, "", 0, 1, 1, 1},
  };
  for (const ProbeCase& c : cases) {
    TempDir dir;
    for (const std::string& f : c.files) {
      std::string ext = f.substr(f.size() - 4);
      std::vector<uint8_t> bytes = apptest::K01Start();
      if (ext == ".q00" || ext == ".Q00") bytes = apptest::RawImageStart();
      if (ext == ".k00" || ext == ".K00") bytes = apptest::K00Start();
      if (ext == ".k02" || ext == ".K02") bytes = apptest::K02Start();
      WriteBytes(dir / f, bytes);
    }
    auto app = MakeApp();
    std::string given = dir / c.name;
    EXPECT_EQ(Parse(*app, {given}), c.status) << c.label;
    EXPECT_TRUE(app->inputGiven) << c.label;
    if (c.status == status::kOk) {
      ASSERT_EQ(Names(*app), std::vector<std::string>{dir / c.resolved}) << c.label;
    } else {
      EXPECT_TRUE(Names(*app).empty()) << c.label;
    }
    EXPECT_EQ(app->inputFormat, c.format) << c.label;
    EXPECT_EQ(app->includeHeader, c.incHeader) << c.label;
    EXPECT_EQ(app->includeEphemeris, c.incEph) << c.label;
    EXPECT_EQ(app->includeIonUtc, c.incIon) << c.label;
  }
}

TEST(InputList, StopsAtTheFirstMissingName) {
  TempDir dir;
  WriteBytes(dir / "a.q00", apptest::RawImageStart());
  WriteBytes(dir / "c.K01", apptest::K01Start());
  auto app = MakeApp();
  std::string arg = dir / "a" + "+" + dir / "b" + "+" + dir / "c";
  EXPECT_EQ(Parse(*app, {"-d", arg, "out", "-e"}), status::kInputOpen);
  EXPECT_EQ(Names(*app), std::vector<std::string>{dir / "a.q00"});
  // c was never probed: the flags are still those of a.
  EXPECT_EQ(app->includeHeader, 1);
  EXPECT_EQ(app->inputFormat, kFormatQ00);
  EXPECT_FALSE(app->outputGiven);  // the parse ended at the list
  EXPECT_EQ(app->produceEph, 0);
}

TEST(InputList, SeparatorsFormatOfFirstAndFlagsOfLast) {
  TempDir dir;
  WriteBytes(dir / "a.k00", apptest::K00Start());
  WriteBytes(dir / "b.q00", apptest::RawImageStart());
  WriteBytes(dir / "c.K01", apptest::K01Start());
  auto app = MakeApp();
  std::string arg = dir / "a" + "+," + dir / "b" + ";\r\n" + dir / "c" + "+";
  ASSERT_EQ(Parse(*app, {arg}), status::kOk);
  EXPECT_EQ(Names(*app), (std::vector<std::string>{dir / "a.k00", dir / "b.q00", dir / "c.K01"}));
  EXPECT_EQ(app->inputFormat, kFormatK00);
  EXPECT_EQ(app->includeHeader, 0);
}

TEST(InputList, ColonAndSpaceAreNotSeparators) {
  TempDir dir;
  WriteBytes(dir / "a b.K01", apptest::K01Start());
  WriteBytes(dir / "c:d.K01", apptest::K01Start());
  auto app = MakeApp();
  ASSERT_EQ(Parse(*app, {dir / "a b+" + dir / "c:d"}), status::kOk);
  EXPECT_EQ(Names(*app), (std::vector<std::string>{dir / "a b.K01", dir / "c:d.K01"}));
}

TEST(InputList, FormatOptionBeforeWinsAfterOverrides) {
  TempDir dir;
  WriteBytes(dir / "a.q00", apptest::RawImageStart());
  auto before = MakeApp();
  ASSERT_EQ(Parse(*before, {"-t.K01", dir / "a"}), status::kOk);
  EXPECT_EQ(before->inputFormat, kFormatK01);
  EXPECT_EQ(before->includeHeader, 1);  // the probe overwrote the flags
  auto after = MakeApp();
  ASSERT_EQ(Parse(*after, {dir / "a", "-t.K01", "-xi"}), status::kOk);
  EXPECT_EQ(after->inputFormat, kFormatK01);
  EXPECT_EQ(after->includeHeader, 0);
  EXPECT_EQ(after->includeEphemeris, 0);
  EXPECT_EQ(after->includeIonUtc, 0);
}

TEST(InputList, PositionalsAfterTheOutputAreIgnored) {
  TempDir dir;
  WriteBytes(dir / "a.K01", apptest::K01Start());
  auto app = MakeApp();
  ASSERT_EQ(Parse(*app, {dir / "a", "first", "second"}), status::kOk);
  EXPECT_TRUE(app->outputGiven);
  EXPECT_STREQ(app->outputBase, "first");
}

TEST(InputList, OverlongNamesAreNotFound) {
  TempDir dir;
  // 127 characters in all fit an entry; 128 do not.
  std::string prefix = dir.path() + "/";
  std::string fits = prefix + std::string(127 - prefix.size() - 4, 'f') + ".K01";
  std::string tooLong = prefix + std::string(128 - prefix.size() - 4, 'g') + ".K01";
  ASSERT_EQ(fits.size(), 127u);
  WriteBytes(fits, apptest::K01Start());
  WriteBytes(tooLong, apptest::K01Start());
  auto app = MakeApp();
  ASSERT_EQ(Parse(*app, {fits}), status::kOk);
  EXPECT_EQ(Names(*app), std::vector<std::string>{fits});
  auto app2 = MakeApp();
  EXPECT_EQ(Parse(*app2, {tooLong}), status::kInputOpen);
  // A name whose probed extension would not fit is not found either.
  auto app3 = MakeApp();
  EXPECT_EQ(Parse(*app3, {tooLong.substr(0, tooLong.size() - 4)}), status::kInputOpen);
}

TEST(InputList, MoreNamesThanTheTableHolds) {
  TempDir dir;
  WriteBytes(dir / "a.K01", apptest::K01Start());
  std::string one = dir / "a";
  std::string list = one;
  for (int i = 1; i < kMaxInputs; ++i) list += "+" + one;
  auto app = MakeApp();
  ASSERT_EQ(Parse(*app, {list}), status::kOk);
  EXPECT_EQ(Names(*app).size(), static_cast<size_t>(kMaxInputs));
  auto app2 = MakeApp();
  EXPECT_EQ(Parse(*app2, {list + "+" + one}), status::kInputOpen);
}

// ---- list files ------------------------------------------------------------

TEST(ListFile, EmptyLinesTrailingTextAndFailures) {
  TempDir dir;
  WriteBytes(dir / "a.q00", apptest::RawImageStart());
  WriteBytes(dir / "b.K01", apptest::K01Start());
  WriteBytes(dir / "c.k00", apptest::K00Start());
  struct Case {
    const char* label;
    std::string text;
    Status status;
    std::vector<std::string> names;
    int format;
  };
  const Case cases[] = {
      {"empty line between", dir / "a" + "\n\n" + dir / "b" + "\n", 0, {dir / "a.q00", dir / "b.K01"}, 1},
      {"trailing text", dir / "b" + " more text\n" + dir / "a" + ":x\n", 0, {dir / "b.K01", dir / "a.q00"}, 3},
      {"leading separators, CRLF", "  +" + dir / "c" + "\r\n;," + dir / "a" + "\r\n", 0,
       {dir / "c.k00", dir / "a.q00"}, 2},
      {"last line without end", dir / "a" + "\n" + dir / "c", 0, {dir / "a.q00", dir / "c.k00"}, 1},
      {"missing name skipped", dir / "a" + "\n" + dir / "zz" + "\n" + dir / "b" + "\n", 0,
       {dir / "a.q00", dir / "b.K01"}, 1},
      {"last name missing", dir / "a" + "\n" + dir / "zz" + "\n\n", 17, {dir / "a.q00"}, 1},
      {"no names", "\n  \n\r\n", 0, {}, 0},
  };
  for (const Case& c : cases) {
    WriteText(dir / "list.lst", c.text);
    auto app = MakeApp();
    EXPECT_EQ(Parse(*app, {"@" + dir / "list.lst"}), c.status) << c.label;
    EXPECT_EQ(Names(*app), c.names) << c.label;
    EXPECT_EQ(app->inputFormat, c.format) << c.label;
    EXPECT_EQ(app->inputGiven != 0, !c.names.empty()) << c.label;
    EXPECT_EQ(app->listStream, nullptr) << c.label;
  }
}

TEST(ListFile, MissingListIsIgnored) {
  TempDir dir;
  WriteBytes(dir / "a.K01", apptest::K01Start());
  auto app = MakeApp();
  ASSERT_EQ(Parse(*app, {"@" + dir / "none.lst", dir / "a", "out"}), status::kOk);
  EXPECT_EQ(Names(*app), std::vector<std::string>{dir / "a.K01"});
  EXPECT_STREQ(app->outputBase, "out");
}

TEST(ListFile, InputFromListThenPositionalIsTheOutput) {
  TempDir dir;
  WriteBytes(dir / "a.K01", apptest::K01Start());
  WriteText(dir / "l.lst", dir / "a" + "\n");
  auto app = MakeApp();
  ASSERT_EQ(Parse(*app, {"-d", "@" + dir / "l.lst", "comb2330"}), status::kOk);
  EXPECT_EQ(Names(*app), std::vector<std::string>{dir / "a.K01"});
  EXPECT_TRUE(app->outputGiven);
  EXPECT_STREQ(app->outputBase, "comb2330");
}

TEST(ListFile, LaterListOverwritesOnlyItsOwnSlots) {
  TempDir dir;
  WriteBytes(dir / "a.K01", apptest::K01Start());
  WriteBytes(dir / "b.K01", apptest::K01Start());
  WriteBytes(dir / "c.K01", apptest::K01Start());
  WriteText(dir / "one.lst", dir / "c" + "\n");
  auto app = MakeApp();
  ASSERT_EQ(Parse(*app, {dir / "a+" + dir / "b", "@" + dir / "one.lst"}), status::kOk);
  EXPECT_EQ(Names(*app), (std::vector<std::string>{dir / "c.K01", dir / "b.K01"}));
}

TEST(ListFile, OverlongLineIsOneLine) {
  TempDir dir;
  WriteBytes(dir / "a.K01", apptest::K01Start());
  WriteBytes(dir / "b.K01", apptest::K01Start());
  // A name followed by 2,000 characters of text: the whole line is one
  // name; the text beyond the kept part is not read as further lines.
  std::string tail(2000, 'x');
  tail[1500] = '+';
  std::string text = dir / "a" + " " + tail + dir / "b" + "\n" + dir / "b\n";
  WriteText(dir / "l.lst", text);
  auto app = MakeApp();
  ASSERT_EQ(Parse(*app, {"@" + dir / "l.lst"}), status::kOk);
  EXPECT_EQ(Names(*app), (std::vector<std::string>{dir / "a.K01", dir / "b.K01"}));

  // A token running into the cut is incomplete and not taken.
  std::string spaces(1020, ' ');
  WriteText(dir / "m.lst", spaces + "abcdefgh\n");
  auto app2 = MakeApp();
  EXPECT_EQ(Parse(*app2, {"@" + dir / "m.lst"}), status::kInputOpen);
  EXPECT_TRUE(Names(*app2).empty());

  // Exactly 1,023 characters before the line end still fit.
  std::string name = dir / "b";
  WriteText(dir / "n.lst", name + std::string(1023 - name.size(), ' ') + "\n" + dir / "a\n");
  auto app3 = MakeApp();
  ASSERT_EQ(Parse(*app3, {"@" + dir / "n.lst"}), status::kOk);
  EXPECT_EQ(Names(*app3), (std::vector<std::string>{dir / "b.K01", dir / "a.K01"}));
}

TEST(ListFile, MoreThan512Names) {
  TempDir dir;
  WriteBytes(dir / "a.K01", apptest::K01Start());
  std::string text;
  for (int i = 0; i < kMaxInputs; ++i) text += dir / "a\n";
  WriteText(dir / "full.lst", text + "\n\n");
  WriteText(dir / "over.lst", text + dir / "a\n");
  auto app = MakeApp();
  ASSERT_EQ(Parse(*app, {"@" + dir / "full.lst"}), status::kOk);
  EXPECT_EQ(Names(*app).size(), static_cast<size_t>(kMaxInputs));
  auto app2 = MakeApp();
  EXPECT_EQ(Parse(*app2, {"@" + dir / "over.lst"}), status::kInputOpen);
}

// ---- ResolveOutputName -------------------------------------------------

TEST(ResolveOutputName, NamesAndExtensions) {
  TempDir dir;
  WriteBytes(dir / "gs00233a.q00", apptest::RawImageStart());
  WriteBytes(dir / "gs00233a.K01", apptest::K01Start());
  WriteBytes(dir / "x.y.K01", apptest::K01Start());
  std::filesystem::create_directories(dir / "new");
  std::filesystem::create_directories(dir / "new.d");
  struct Case {
    const char* label;
    std::vector<std::string> args;
    std::string base;  // output base name up to the extension position
    std::string full;  // the whole output base buffer
    std::string datExtension;
  };
  const std::string in = dir / "gs00233a";
  const Case cases[] = {
      {"no output", {in}, in, in + ".q00", ".vx!"},
      {"plain output", {in, dir / "gnew233a"}, dir / "gnew233a", dir / "gnew233a", ".vx!"},
      {"output .dat", {in, dir / "out.dat"}, dir / "out", dir / "out.dat", ".dat"},
      {"output .DAT", {in, dir / "out.DAT"}, dir / "out", dir / "out.DAT", ".DAT"},
      {"dot only in folder", {in, dir / "new.d/out"}, dir / "new.d/out", dir / "new.d/out", ".vx!"},
      {"directory", {in, dir / "new"}, dir / "new/gs00233a", dir / "new/gs00233a", ".vx!"},
      {"directory with slash", {in, dir / "new/"}, dir / "new/gs00233a", dir / "new/gs00233a", ".vx!"},
      {"directory with dot", {in, dir / "new.d"}, dir / "new.d/gs00233a", dir / "new.d/gs00233a", ".vx!"},
      {"input with two dots", {dir / "x.y.K01", dir / "new"}, dir / "new/x", dir / "new/x.y", ".y"},
  };
  for (const Case& c : cases) {
    auto app = MakeApp();
    ASSERT_EQ(Parse(*app, c.args), status::kOk) << c.label;
    ASSERT_EQ(app->ResolveOutputName(), status::kOk) << c.label;
    ASSERT_NE(app->extensionPos, nullptr) << c.label;
    EXPECT_EQ(std::string(app->outputBase, app->extensionPos), c.base) << c.label;
    EXPECT_EQ(std::string(app->outputBase), c.full) << c.label;
    EXPECT_EQ(std::string(app->datExtension), c.datExtension) << c.label;
  }
}

TEST(ResolveOutputName, IncludeFlagsAndVerbose) {
  TempDir dir;
  WriteBytes(dir / "a.q00", apptest::RawImageStart());
  auto app = MakeApp();
  ASSERT_EQ(Parse(*app, {"-xh", "-v", dir / "a"}), status::kOk);
  EXPECT_EQ(app->includeHeader, 1);  // the probe came after -x
  ASSERT_EQ(Parse(*app, {"-xh"}, false), status::kOk);
  EXPECT_EQ(app->includeEphemeris, 1);
  ASSERT_EQ(app->ResolveOutputName(), status::kOk);
  EXPECT_EQ(app->includeHeader, 0);
  EXPECT_EQ(app->includeEphemeris, 0);
  EXPECT_EQ(app->includeIonUtc, 0);
  EXPECT_EQ(app->verbose, 1);

  auto quiet = MakeApp();
  quiet->SetMessageCallback(nullptr, nullptr);
  ASSERT_EQ(Parse(*quiet, {"-v3", dir / "a"}), status::kOk);
  ASSERT_EQ(quiet->ResolveOutputName(), status::kOk);
  EXPECT_EQ(quiet->verbose, 0);
  EXPECT_EQ(quiet->includeEphemeris, 1);
}

TEST(ResolveOutputName, Failures) {
  TempDir dir;
  WriteBytes(dir / "a.K01", apptest::K01Start());
  auto none = MakeApp();
  ASSERT_EQ(Parse(*none, {"-d"}), status::kOk);
  EXPECT_EQ(none->ResolveOutputName(), status::kInputOpen);

  // A positional list of separators only names no input.
  auto empty = MakeApp();
  ASSERT_EQ(Parse(*empty, {"+"}), status::kOk);
  EXPECT_TRUE(empty->inputGiven);
  EXPECT_EQ(empty->ResolveOutputName(), status::kInputOpen);

  // Output names that leave no room for the extensions cannot be opened.
  std::string longOut = dir.path() + "/" + std::string(251 - dir.path().size() - 1, 'o');
  ASSERT_EQ(longOut.size(), 251u);
  auto fits = MakeApp();
  ASSERT_EQ(Parse(*fits, {dir / "a", longOut}), status::kOk);
  EXPECT_EQ(fits->ResolveOutputName(), status::kOk);
  auto noRoom = MakeApp();
  ASSERT_EQ(Parse(*noRoom, {dir / "a", longOut + "p"}), status::kOk);
  EXPECT_EQ(noRoom->ResolveOutputName(), status::kDatOpen);
  auto tooLong = MakeApp();
  EXPECT_EQ(Parse(*tooLong, {dir / "a", std::string(256, 'q')}), status::kDatOpen);
  EXPECT_FALSE(tooLong->outputGiven);

  // A folder whose joined name would not fit.
  std::string deep = dir.path() + "/" + std::string(100, 'd') + "/";
  deep += std::string(252 - deep.size(), 'e');
  std::filesystem::create_directories(deep);
  auto joined = MakeApp();
  ASSERT_EQ(Parse(*joined, {dir / "a", deep}), status::kOk);
  EXPECT_EQ(joined->ResolveOutputName(), status::kDatOpen);
}

}  // namespace
