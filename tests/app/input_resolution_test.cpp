// Name resolution against real files: signatures, extension probing, the
// positional list, list files, and the output base name.
#include <gtest/gtest.h>

#include "app/input_resolution.h"
#include "app_test_util.h"

namespace {

using namespace apptest;

TEST(CheckImageHeader, Kinds) {
  const std::string raw = RawImageStart(), k00 = K00Start();
  const struct { std::string bytes; Status status; int kind; long endPosition; } cases[] = {
      {raw, status::kOk, kHeaderRawImage, 39},
      {raw.substr(0, 25), status::kOk, kHeaderRawImage, 25},
      {raw.substr(0, 20) + " " + raw.substr(21), status::kBadHeader, kHeaderNone, 15},  // no NUL at 20
      {k00, status::kOk, kHeaderK00, 15},
      {k00.substr(0, 14) + '\0', status::kBadHeader, kHeaderNone, 15},  // no ETX
      {K02Start(), status::kOk, kHeaderK02, 12},
      {K01Start(), status::kBadHeader, kHeaderNone, 7},
      {"", status::kBadHeader, kHeaderNone, 0},
  };
  TempDir dir;
  for (const auto& c : cases) {
    WriteText(dir / "f.bin", c.bytes);
    FILE* f = std::fopen((dir / "f.bin").c_str(), "rb");
    uint8_t tail[17] = {};
    int kind = -1;
    EXPECT_EQ(CheckImageHeader(f, tail, &kind), c.status) << c.bytes.size();
    EXPECT_EQ(std::tuple(kind, std::ftell(f)), std::tuple(c.kind, c.endPosition)) << c.bytes.size();
    // The header tail of a raw image: bytes 1, 3 and 17, or zeros where the file ended.
    EXPECT_EQ(tail[0] + tail[2] + tail[16], c.kind != kHeaderRawImage ? 0 : c.bytes.size() >= 39 ? 21 : 4);
    std::fclose(f);
  }
  int kind = -1;
  EXPECT_EQ(CheckImageHeader(nullptr, nullptr, &kind), status::kInputOpen);
  EXPECT_EQ(kind, kHeaderNone);
}

// Each extension in probing order wins over all the later ones.
TEST(ProbeInputFile, ExtensionOrder) {
  const char* exts[] = {".q00", ".Q00", ".k00", ".K00", ".k01", ".K01", ".k02", ".K02"};
  const char* fields[] = {"fmt=1", "fmt=2 xe=0 xi=0", "fmt=3 xh=0 xe=0 xi=0", "fmt=4 xe=0 xi=0"};
  for (int first = 0; first < 8; ++first) {
    TempDir dir;
    for (int i = first; i < 8; ++i) WriteInput(dir / "gs00233a" + exts[i]);
    auto app = std::make_unique<Application>();
    ASSERT_EQ(Parse(*app, {dir / "gs00233a"}), status::kOk) << exts[first];
    EXPECT_EQ(Names(*app), std::vector<std::string>{dir / "gs00233a" + exts[first]});
    EXPECT_EQ(Fields(*app), DefaultsWith(fields[first / 2])) << exts[first];
  }
}

// Arguments, the text of %/l.lst (written when not empty), status, input names, option
// fields that differ from the defaults and output name (nullptr: none); '%' is the folder.
struct ParseCase { std::vector<std::string> args; std::string list; Status status;
                   std::vector<std::string> names; const char* changes; const char* output; };

void RunParseCases(const TempDir& dir, const std::vector<ParseCase>& cases) {
  for (const ParseCase& c : cases) {
    std::string label = dir.X(c.args.empty() ? "" : c.args[0]).substr(0, 200) + " | " + c.list.substr(0, 60);
    if (!c.list.empty()) WriteText(dir / "l.lst", dir.X(c.list));
    const std::vector<std::string> names = dir.X(c.names);
    auto app = std::make_unique<Application>();
    EXPECT_EQ(Parse(*app, dir.X(c.args)), c.status) << label;
    EXPECT_EQ(Names(*app), names) << label;
    EXPECT_EQ(Fields(*app), DefaultsWith(c.changes)) << label;
    EXPECT_EQ(app->inputGiven != 0, !names.empty() || c.list.empty()) << label;
    EXPECT_EQ(app->outputGiven ? std::string(app->outputBase) : "-", c.output ? dir.X(c.output) : "-") << label;
    EXPECT_EQ(app->listStream, nullptr) << label;
  }
}

TEST(InputList, NamesFlagsOutputAndLimits) {
  TempDir dir;
  for (const char* f : {"a.q00", "b.K01", "c.k00", "a b.K01", "c:d.K01", "plain", "d.x/e.k01", "sub/x.q00", "e.K01"})
    WriteInput(dir / f);
  const char* k01 = "fmt=3 xh=0 xe=0 xi=0";
  std::string many = "%/b", full;
  for (int i = 1; i < kMaxInputs; ++i) many += "+%/b";
  for (int i = 0; i < kMaxInputs; ++i) full += "%/e\n";
  // 127 characters in all fit an entry; 128 do not, nor a name whose probed
  // extension would not fit.
  const size_t room = 127 - dir.path.size() - 5;
  const std::string fits = "%/" + std::string(room, 'f') + ".K01", tooLong = "%/" + std::string(room + 1, 'g');
  WriteInput(dir.X(fits));
  WriteInput(dir.X(tooLong + ".K01"));
  std::string tail(2000, 'x');
  tail[1500] = '+';
  RunParseCases(dir, {
      {{"%/plain"}, "", 0, {"%/plain"}, k01, nullptr},
      {{"%/b.x"}, "", 17, {}, "", nullptr},  // a given extension is not probed
      {{"%/d.x/e"}, "", 0, {"%/d.x/e.k01"}, k01, nullptr},
      {{"%/sub"}, "", 17, {}, "", nullptr},
      // a+b+c stops at the missing b: c is never probed and the parse ends.
      {{"-d", "%/a+%/zz+%/b", "out", "-e"}, "", 17, {"%/a.q00"}, "dat=1 fmt=1", nullptr},
      // Format of the first name, include flags of the last.
      {{"%/c+,%/a;\r\n%/b+"}, "", 0, {"%/c.k00", "%/a.q00", "%/b.K01"}, "fmt=2 xh=0 xe=0 xi=0", nullptr},
      {{"%/a b+%/c:d"}, "", 0, {"%/a b.K01", "%/c:d.K01"}, k01, nullptr},
      {{"-t.K01", "%/a"}, "", 0, {"%/a.q00"}, "fmt=3", nullptr},
      {{"%/a", "-t.K01", "-xi"}, "", 0, {"%/a.q00"}, k01, nullptr},
      {{many}, "", 0, std::vector<std::string>(kMaxInputs, "%/b.K01"), k01, nullptr},
      {{many + "+%/b"}, "", 17, std::vector<std::string>(kMaxInputs, "%/b.K01"), k01, nullptr},
      {{fits}, "", 0, {fits}, k01, nullptr},
      {{tooLong + ".K01"}, "", 17, {}, "", nullptr},
      {{tooLong}, "", 17, {}, "", nullptr},
      // List files.
      {{"@%/l.lst"}, "  +%/b more text\r\n;,%/a:x\r\n", 0, {"%/b.K01", "%/a.q00"}, "fmt=3", nullptr},
      {{"@%/l.lst"}, "%/a\n\n%/zz\n%/b", 0, {"%/a.q00", "%/b.K01"}, "fmt=1 xh=0 xe=0 xi=0", nullptr},
      {{"@%/l.lst"}, "%/a\n%/zz\n\n", 17, {"%/a.q00"}, "fmt=1", nullptr},
      {{"@%/l.lst"}, "\n  \n\r\n", 0, {}, "", nullptr},
      {{"@%/none.lst", "%/b", "first", "second"}, "", 0, {"%/b.K01"}, k01, "first"},  // no list file: no names
      // A later list overwrites only its own slots; the output name may follow it.
      {{"-d", "%/a+%/b", "@%/l.lst", "comb2330"}, "%/c\n", 0, {"%/c.k00", "%/b.K01"}, "dat=1 fmt=1 xe=0 xi=0",
       "comb2330"},
      // A line of 2,000 more characters is one line: the text beyond the kept
      // part is not read as further names.
      {{"@%/l.lst"}, "%/e " + tail + "%/b\n%/b\n", 0, {"%/e.K01", "%/b.K01"}, k01, nullptr},
      // A token running into the cut is incomplete and not taken; one that ends
      // with the 1,023rd character is whole.
      {{"@%/l.lst"}, std::string(1020, ' ') + "abcdefgh\n", 17, {}, "", nullptr},
      {{"@%/l.lst"}, std::string(1023 - dir.X("%/b").size(), ' ') + "%/b\n%/e\n", 0, {"%/b.K01", "%/e.K01"}, k01,
       nullptr},
      {{"@%/l.lst"}, full + "\n\n", 0, std::vector<std::string>(kMaxInputs, "%/e.K01"), k01, nullptr},
      {{"@%/l.lst"}, full + "%/e\n", 17, std::vector<std::string>(kMaxInputs, "%/e.K01"), k01, nullptr},
  });
}

// The output base name with '|' at the extension position, the DAT extension
// and the option fields then set.
TEST(ResolveOutputName, NamesExtensionsFlagsAndFailures) {
  TempDir dir;
  for (const char* f : {"gs00233a.q00", "x.y.K01"}) WriteInput(dir / f);
  std::filesystem::create_directories(dir / "new");
  std::filesystem::create_directories(dir / "new.d");
  const std::string out251 = "%/" + std::string(250 - dir.path.size(), 'o');  // 251 characters in all
  std::string deep = "%/" + std::string(100, 'd') + "/";  // a folder whose joined name would not fit
  deep += std::string(252 - dir.X(deep).size(), 'e');
  std::filesystem::create_directories(dir.X(deep));
  const char* q00 = "fmt=1";
  const struct { std::vector<std::string> args; Status status; std::string base, datExtension, changes; } cases[] = {
      {{"%/gs00233a"}, 0, "%/gs00233a|.q00", ".vx!", q00},
      {{"%/gs00233a", "%/gnew233a"}, 0, "%/gnew233a|", ".vx!", q00},
      {{"%/gs00233a", "%/out.dat"}, 0, "%/out|.dat", ".dat", q00},
      {{"%/gs00233a", "%/new.d/out"}, 0, "%/new.d/out|", ".vx!", q00},
      {{"%/gs00233a", "%/new/"}, 0, "%/new/gs00233a|", ".vx!", q00},
      {{"%/gs00233a", "%/new.d"}, 0, "%/new.d/gs00233a|", ".vx!", q00},
      {{"%/x.y.K01", "%/new"}, 0, "%/new/x|.y", ".y", "fmt=3 xh=0 xe=0 xi=0"},
      {{"%/gs00233a", out251}, 0, out251 + "|", ".vx!", q00},
      // Without the header nothing initial is included; -x after the name wins.
      {{"-v", "%/gs00233a", "-xh"}, 0, "%/gs00233a|.q00", ".vx!", "fmt=1 v=1 xh=0 xe=0 xi=0"},
      {{"%/gs00233a", out251 + "p"}, status::kDatOpen, "", "", q00},  // no room left for the extensions
      {{"%/gs00233a", deep}, status::kDatOpen, "", "", q00},
      {{"-d"}, status::kInputOpen, "", "", "dat=1"},
      {{"+"}, status::kInputOpen, "", "", ""},  // separators only name no input
  };
  for (const auto& c : cases) {
    auto app = std::make_unique<Application>();
    ASSERT_EQ(Parse(*app, dir.X(c.args)), status::kOk);
    ASSERT_EQ(app->ResolveOutputName(), c.status) << dir.X(c.args.back());
    EXPECT_EQ(Fields(*app), DefaultsWith(c.changes)) << dir.X(c.args.back());
    if (c.status != status::kOk) continue;
    ASSERT_NE(app->extensionPos, nullptr);
    EXPECT_EQ(std::string(app->outputBase, app->extensionPos) + "|" + app->extensionPos, dir.X(c.base));
    EXPECT_EQ(std::string(app->datExtension), c.datExtension) << c.base;
  }
  auto quiet = std::make_unique<Application>();  // no message callback: verbose is cleared
  quiet->SetMessageCallback(nullptr, nullptr);
  ASSERT_EQ(Parse(*quiet, {"-v3", dir / "gs00233a"}), status::kOk);
  ASSERT_EQ(quiet->ResolveOutputName(), status::kOk);
  EXPECT_EQ(Fields(*quiet), DefaultsWith("fmt=1"));
}

}  // namespace
