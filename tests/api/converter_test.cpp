// The library interface: conversions run through logsplit::Converter give
// the program's statuses, console lines and output bytes; the handlers see
// every line and every progress point; a cancelled run ends with the cancel
// status and finished outputs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "logsplit/logsplit.h"
#include "support/record_builder.h"
#include "support/session_image_builder.h"
#include "tools/tool_runner.h"

namespace {

namespace st = logsplit::status;
using logsplit::Converter;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::pair<int, std::string>>;

struct TempDir {
  std::string path = tb::MakeTempDir();
  ~TempDir() { tb::RemoveTree(path); }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// Every file of a folder, by name.
std::map<std::string, Bytes> FilesIn(const std::string& dir) {
  std::map<std::string, Bytes> files;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    files[e.path().filename().string()] = tb::ReadFile(e.path().string());
  return files;
}

Bytes SessionImage() { return tb::SessionImage(tb::SessionParams{}).bytes(); }

// The session with one damaged record (a data byte changed, so its checksum
// no longer matches) and stray bytes after the last record.
Bytes DamagedImage() {
  tb::RawImage image = tb::SessionImage(tb::SessionParams{});
  image.records[image.records.size() / 2][4] ^= 0x5A;
  image.trailing = {0x02, 0x09, 0x11, 0x00, 0x47};
  return image.bytes();
}

void WriteInput(const std::string& dir, const Bytes& bytes) {
  std::filesystem::create_directories(dir);
  tb::WriteFile(dir + "/gs00233a.q00", bytes);
}

// Runs the program's sequence through the interface; the console lines go
// to a recording handler.
struct ApiRun {
  Converter conv;
  Lines lines;
  std::vector<int> percents;
  logsplit::Status status = -1;

  explicit ApiRun(const std::function<void(ApiRun&)>& setup = {}) {
    conv.SetMessageHandler([this](int level, std::string_view line) { lines.emplace_back(level, line); });
    conv.SetProgressHandler([this](int percent, bool&) { percents.push_back(percent); });
    if (setup) setup(*this);
  }
  logsplit::Status Execute(std::vector<std::string> args) {
    args.insert(args.begin(), "logsplit");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    status = conv.Execute(static_cast<int>(argv.size()), argv.data());
    return status;
  }
  // The lines as the program prints them.
  std::string Console() const {
    std::string out;
    for (const auto& l : lines) out += l.second + "\n";
    return out;
  }
};

// The logsplit program of this build (LOGSPLIT_BIN, set by CTest).
std::string ProgramPath() {
  const char* bin = std::getenv("LOGSPLIT_BIN");
  return bin != nullptr ? bin : "";
}
bool ProgramBuilt() { return !ProgramPath().empty() && ::access(ProgramPath().c_str(), X_OK) == 0; }

// Runs the program; its standard output and exit status.
tt::ToolRun RunProgram(const std::vector<std::string>& args) {
  std::string cmd = tt::Quote(ProgramPath());
  for (const std::string& a : args) cmd += " " + tt::Quote(a);
  tt::ToolRun run;
  FILE* p = ::popen((cmd + " 2>/dev/null").c_str(), "r");
  if (p == nullptr) return run;
  for (int ch; (ch = std::fgetc(p)) != EOF;) run.out += static_cast<char>(ch);
  const int st = ::pclose(p);
  if (st != -1 && WIFEXITED(st)) run.exitStatus = WEXITSTATUS(st);
  return run;
}

// Walks the DAT records: marker 0x74, length in byte 1 (with byte 2 as its
// high part for the long types). True when the file is whole records only.
bool WholeDatRecords(const Bytes& dat, size_t* count) {
  size_t p = 0;
  *count = 0;
  while (p < dat.size()) {
    if (p + 4 > dat.size() || dat[p] != 0x74) return false;
    const uint8_t type = dat[p + 3];
    const bool longType = type == 12 || type == 17 || type == 27 || type == 29 || type == 98 ||
                          type == 99 || type == 102;
    const size_t length = dat[p + 1] | (longType ? dat[p + 2] << 8 : 0);
    if (length < 4 || p + length > dat.size()) return false;
    p += length;
    ++*count;
  }
  return true;
}

TEST(ApiStatus, CodesAndTexts) {
  const struct { logsplit::Status code; const char* text; } cases[] = {
      {st::kOk, "None"},
      {st::kInsufficientMemory, "Insufficient memory"},
      {st::kNotOpened, "DAT file conversion library not opened properly"},
      {st::kDatOpenFailed, "Unable to open DAT file"},
      {st::kDatNotOpen, "Unable to write to DAT file, file is not open"},
      {st::kEphOpenFailed, "Unable to open EPH file"},
      {st::kEphNotOpen, "Unable to write to EPH file, file is not open"},
      {st::kIonOpenFailed, "Unable to open ION file"},
      {st::kIonNotOpen, "Unable to write to ION file, file is not open"},
      {st::kMesOpenFailed, "Unable to open MES file"},
      {st::kMesNotOpen, "Unable to write to MES file, file is not open"},
      {st::kStxNotFound, "Record error - STX not found"},
      {st::kEtxNotFound, "Record error - ETX not found"},
      {st::kBadChecksum, "Record error - bad checksum"},
      {st::kUnexpectedLogst, "Record error - unexpected LOGST record (18)"},
      {st::kDiskFull, "Disk full"},
      {st::kHeaderRecordsNotFound, "Unable to locate binary message records for update"},
      {st::kSourceNotFound, "Unable to locate/open source Q00/K00 file"},
      {st::kBadHeader, "Not a valid Q00/K00 file (bad header)"},
      {st::kOutOfSequence, "Measurement records out of sequence"},
      {st::kSummaryOpenFailed, "Unable to open summary TXT file"},
      {st::kSummaryNotOpen, "Unable to write to summary TXT file, file is not open"},
      {st::kResyncFailed, "Unable to resync to a record"},
      {st::kAppOpenFailed, "Unable to open application CFG file"},
      {st::kAppNotOpen, "Unable to write to application CFG file, file is not open"},
      {st::kAppInvalid, "Application CFG file built from record 31 is not valid"},
      {st::kAppNoInformation, "Application CFG file could not be built, no information"},
      {st::kCancelled, "Conversion terminated by calling application"},
      {st::kErrorsIgnored, "One or more errors encountered, but either ignored or skipped"},
      {st::kExpansionFailed, "Error encountered while expanding measurement records"},
      {st::kK02Unsupported, "K02 files not supported in this version of the K01 library"},
      {22, "Unknown error [22]"},
      {40, "Unknown error [40]"},
      {-1, "Unknown error [-1]"},
  };
  for (const auto& c : cases) EXPECT_EQ(Converter::StatusText(c.code), c.text) << c.code;
}

// Options that end the program early give the same status through the
// interface, and the same standard output (usage text or nothing).
TEST(ApiOptions, BadOptionsGiveTheProgramsStatus) {
  TempDir dir;
  WriteInput(dir.path, SessionImage());
  const std::string in = dir / "gs00233a";
  const std::string longName(300, 'n');
  const struct { std::vector<std::string> args; logsplit::Status expected; } cases[] = {
      {{"-dv2", dir / "missing"}, st::kSourceNotFound},
      {{"-dv2"}, st::kSourceNotFound},
      {{"-d", in + "+" + (dir / "missing")}, st::kSourceNotFound},
      {{"-d", "@" + (dir / "no-list"), "-v"}, st::kSourceNotFound},
      {{"-d", "-s" + longName, in}, st::kSummaryOpenFailed},
      {{"-d", in, dir / longName}, st::kDatOpenFailed},
      {{"-d", "-!!!", dir / "missing"}, st::kOk},
  };
  for (const auto& c : cases) {
    std::string joined;
    for (const std::string& a : c.args) joined += a + " ";
    SCOPED_TRACE(joined);
    Converter conv;
    testing::internal::CaptureStdout();
    std::vector<const char*> argv = {"logsplit"};
    for (const std::string& a : c.args) argv.push_back(a.c_str());
    const logsplit::Status status = conv.Execute(static_cast<int>(argv.size()), argv.data());
    std::fflush(stdout);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, c.expected);
    EXPECT_EQ(conv.LastStatus(), c.expected);
    EXPECT_EQ(conv.UsagePrinted(), std::find(c.args.begin(), c.args.end(), "-!!!") != c.args.end());
    if (c.expected != st::kOk) {
      EXPECT_EQ(out, "");
    }
    if (ProgramBuilt()) {
      const tt::ToolRun run = RunProgram(c.args);
      EXPECT_EQ(run.exitStatus, c.expected);
      EXPECT_EQ(run.out, out);
    }
  }
  EXPECT_TRUE(tb::FileExists(dir / "gs00233a.q00"));
  EXPECT_EQ(FilesIn(dir.path).size(), 1u) << "no run may leave an output";
}

// Every console line reaches the handler with its level; the progress points
// run from 0 to 100 over the input; the lines equal the default console's.
TEST(ApiCallbacks, MessagesAndProgress) {
  TempDir dir;
  WriteInput(dir / "h", SessionImage());
  WriteInput(dir / "c", SessionImage());
  ApiRun api;
  ASSERT_EQ(api.Execute({"-dv2", dir / "h/gs00233a"}), st::kOk);
  const uint32_t records = api.conv.RecordCount();
  ASSERT_GT(records, 5u);

  ASSERT_GE(api.lines.size(), 3u);
  EXPECT_EQ(api.lines.front(), (std::pair<int, std::string>(1, "logsplit:  Version 5.17")));
  EXPECT_EQ(api.lines.back(), (std::pair<int, std::string>(1, "logsplit:  status : 0")));
  const std::pair<int, std::string> inputLine(1, "logsplit:  Input file: " + (dir / "h/gs00233a.q00"));
  EXPECT_NE(std::find(api.lines.begin(), api.lines.end(), inputLine), api.lines.end());
  size_t recordLines = 0;
  for (const auto& [level, text] : api.lines) {
    if (text.rfind("Record id:", 0) == 0) {
      EXPECT_EQ(level, 2) << text;
      ++recordLines;
    }
  }
  EXPECT_EQ(recordLines, records);

  ASSERT_GE(api.percents.size(), records + 2);
  EXPECT_EQ(api.percents.front(), 0);
  EXPECT_EQ(api.percents.back(), 100);
  for (size_t i = 1; i < api.percents.size(); ++i) {
    EXPECT_GE(api.percents[i], api.percents[i - 1]);
    EXPECT_LE(api.percents[i], 100);
  }

  // The same run on the default console prints exactly these lines.
  Converter console;
  testing::internal::CaptureStdout();
  EXPECT_EQ(console.ParseArguments({"-dv2", dir / "c/gs00233a"}), st::kOk);
  EXPECT_EQ(console.Run(), st::kOk);
  std::fflush(stdout);
  std::string printed = testing::internal::GetCapturedStdout();
  for (size_t p; (p = printed.find("/c/")) != std::string::npos;) printed.replace(p, 3, "/h/");
  EXPECT_EQ(printed, api.Console());
}

// Without a message handler nothing is printed, whatever the verbose level,
// and the conversion is the same.
TEST(ApiCallbacks, NoMessageHandlerMeansNoConsole) {
  TempDir dir;
  WriteInput(dir / "a", SessionImage());
  WriteInput(dir / "b", SessionImage());
  Converter quiet;
  quiet.SetMessageHandler(nullptr);
  testing::internal::CaptureStdout();
  EXPECT_EQ(quiet.ParseArguments({"-dv3", dir / "a/gs00233a"}), st::kOk);
  EXPECT_EQ(quiet.Run(), st::kOk);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  ApiRun loud;
  EXPECT_EQ(loud.Execute({"-dv3", dir / "b/gs00233a"}), st::kOk);
  EXPECT_FALSE(loud.lines.empty());
  EXPECT_EQ(tb::ReadFile(dir / "a/gs00233a.dat"), tb::ReadFile(dir / "b/gs00233a.dat"));
}

// Each way of stopping ends the run with the cancel status and a DAT file
// that was finished: renamed from its temporary name, its five opening
// header records rewritten (the placeholder bit 7 of their subtype byte
// cleared), whole records only.
TEST(ApiCancel, EndsWithCancelStatusAndFinishedOutputs) {
  TempDir full;
  WriteInput(full.path, SessionImage());
  ApiRun complete;
  ASSERT_EQ(complete.Execute({"-dv2", full / "gs00233a"}), st::kOk);
  const Bytes fullDat = tb::ReadFile(full / "gs00233a.dat");
  ASSERT_GT(fullDat.size(), 485u);

  const struct {
    const char* name;
    std::function<void(ApiRun&)> setup;
    bool datWritten;
  } cases[] = {
      {"progress handler sets the flag",
       [](ApiRun& r) {
         r.conv.SetProgressHandler([&r](int percent, bool& cancel) {
           r.percents.push_back(percent);
           if (r.percents.size() == 5) cancel = true;
         });
       },
       true},
      {"message handler requests it",
       [](ApiRun& r) {
         r.conv.SetMessageHandler([&r](int level, std::string_view line) {
           r.lines.emplace_back(level, line);
           if (line.rfind("Record id:", 0) == 0) r.conv.RequestCancel();
         });
       },
       true},
      {"progress handler throws",
       [](ApiRun& r) {
         r.conv.SetProgressHandler([&r](int percent, bool&) {
           r.percents.push_back(percent);
           if (r.percents.size() == 3) throw std::runtime_error("display gone");
         });
       },
       true},
      {"requested before the run", [](ApiRun& r) { r.conv.RequestCancel(); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteInput(dir.path, SessionImage());
    ApiRun api(c.setup);
    EXPECT_EQ(api.Execute({"-dv2", dir / "gs00233a"}), st::kCancelled);
    EXPECT_EQ(api.conv.LastStatusText(), "Conversion terminated by calling application");
    ASSERT_FALSE(api.lines.empty());
    EXPECT_EQ(api.lines.back(),
              (std::pair<int, std::string>(2, "logsplit:  error  : Conversion terminated by calling application")));
    EXPECT_FALSE(tb::FileExists(dir / "gs00233a.vx!"));
    EXPECT_LT(api.conv.RecordCount(), complete.conv.RecordCount());
    if (!c.datWritten) {
      // Nothing was converted: the empty DAT file is removed.
      EXPECT_EQ(api.conv.RecordCount(), 0u);
      EXPECT_FALSE(tb::FileExists(dir / "gs00233a.dat"));
      continue;
    }
    const Bytes dat = tb::ReadFile(dir / "gs00233a.dat");
    ASSERT_GT(dat.size(), 485u);
    EXPECT_LT(dat.size(), fullDat.size());
    const struct { size_t offset; uint8_t length, subtype; } headers[] = {
        {0, 24, 6}, {24, 98, 0}, {122, 65, 1}, {187, 64, 2}, {251, 110, 3}};
    for (const auto& h : headers) {
      EXPECT_EQ(dat[h.offset], 0x74) << h.offset;
      EXPECT_EQ(dat[h.offset + 1], h.length) << h.offset;
      EXPECT_EQ(dat[h.offset + 2], h.subtype) << h.offset;
      EXPECT_EQ(dat[h.offset + 3], 5) << h.offset;
    }
    size_t count = 0;
    EXPECT_TRUE(WholeDatRecords(dat, &count));
    EXPECT_GE(count, 7u);  // five header records, the ion/UTC record, one record or more
  }
}

// The interface converts to the very bytes and lines of the program.
TEST(ApiProgram, SameOutputsLinesAndStatusAsTheProgram) {
  if (!ProgramBuilt()) GTEST_SKIP() << "logsplit program not built";
  const struct { const char* name; Bytes image; std::vector<std::string> options; } cases[] = {
      {"session, all outputs", SessionImage(), {"-deimav2", "-s"}},
      {"damaged, fixup and checksum errors ignored", DamagedImage(), {"-dfcv3"}},
      {"damaged, no fixup", DamagedImage(), {"-dev2", "-u1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteInput(dir / "p", c.image);
    WriteInput(dir / "a", c.image);
    std::vector<std::string> args = c.options;
    args.push_back(dir / "p/gs00233a");
    const tt::ToolRun program = RunProgram(args);
    args.back() = dir / "a/gs00233a";
    ApiRun api;
    api.Execute(args);

    EXPECT_EQ(api.status, program.exitStatus);
    std::string printed = program.out;
    for (size_t p; (p = printed.find("/p/")) != std::string::npos;) printed.replace(p, 3, "/a/");
    EXPECT_EQ(api.Console(), printed);
    const auto programFiles = FilesIn(dir / "p");
    const auto apiFiles = FilesIn(dir / "a");
    EXPECT_GE(programFiles.size(), 2u);
    ASSERT_EQ(apiFiles.size(), programFiles.size());
    for (const auto& [name, bytes] : programFiles) {
      ASSERT_EQ(apiFiles.count(name), 1u) << name;
      EXPECT_EQ(apiFiles.at(name), bytes) << name;
    }
  }
}

// The stored custom arguments come from the chosen root, only when asked.
TEST(ApiCustomArguments, StoredArgumentsFromAnotherRoot) {
  const struct {
    const char* stored;  // nullptr: no stored value; '%' stands for the test folder
    bool apply;
    std::vector<std::string> outputs;  // relative to the test folder
    std::string base;
    bool recordLines;
  } cases[] = {
      {"-v2  -d\n", true, {"in/gs00233a.dat", "in/gs00233a.eph"}, "in/gs00233a", true},
      {"-v2  -d\n", false, {"in/gs00233a.eph"}, "in/gs00233a", false},
      {" %/named ", true, {"named.eph"}, "named", false},
      {nullptr, true, {"in/gs00233a.eph"}, "in/gs00233a", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored != nullptr ? c.stored : "(none)");
    TempDir dir;
    WriteInput(dir / "in", SessionImage());
    const std::string root = dir / "settings";
    const std::string valuePath = root + "/Software/Veltor/RawLogSplit/UnpackCustomArgs";
    if (c.stored != nullptr) {
      std::string text = c.stored;
      if (size_t p = text.find('%'); p != std::string::npos) text.replace(p, 1, dir.path);
      std::filesystem::create_directories(std::filesystem::path(valuePath).parent_path());
      tb::WriteFile(valuePath, Bytes(text.begin(), text.end()));
    }
    ApiRun api;
    api.conv.SetCustomArgumentsRoot(root);
    EXPECT_EQ(api.conv.CustomArgumentsPath(), valuePath);
    EXPECT_EQ(api.conv.ParseArguments({"-ev", dir / "in/gs00233a"}), st::kOk);
    if (c.apply) {
      EXPECT_EQ(api.conv.ApplyCustomArguments(), st::kOk);
    }
    EXPECT_EQ(api.conv.ResolveNames(), st::kOk);
    EXPECT_EQ(api.conv.OutputBaseName(), dir / c.base);
    EXPECT_EQ(api.conv.Run(), st::kOk);

    std::vector<std::string> outputs;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path)) {
      const std::string rel = std::filesystem::relative(e.path(), dir.path).string();
      if (e.is_regular_file() && rel != "in/gs00233a.q00" && rel.rfind("settings/", 0) != 0)
        outputs.push_back(rel);
    }
    std::sort(outputs.begin(), outputs.end());
    EXPECT_EQ(outputs, c.outputs);
    bool sawRecordLine = false;
    for (const auto& l : api.lines) sawRecordLine |= l.second.rfind("Record id:", 0) == 0;
    EXPECT_EQ(sawRecordLine, c.recordLines);
  }
  Converter conv;
  conv.SetCustomArgumentsRoot("");
  EXPECT_EQ(conv.CustomArgumentsPath(), "/etc/logsplit/registry/Software/Veltor/RawLogSplit/UnpackCustomArgs");
}

// Step rules: names found by probing, Run resolving the names itself, one run
// per converter, the extended usage stopping every later step, a moved-from
// converter reporting no memory.
TEST(ApiSteps, OrderAndOneRunPerConverter) {
  TempDir dir;
  WriteInput(dir.path, SessionImage());
  Converter conv;
  conv.SetMessageHandler(nullptr);
  EXPECT_EQ(conv.LastStatus(), st::kOk);
  EXPECT_EQ(conv.ParseArguments({"-d", dir / "gs00233a"}), st::kOk);
  EXPECT_EQ(conv.InputNames(), std::vector<std::string>{dir / "gs00233a.q00"});
  EXPECT_EQ(conv.Run(), st::kOk);
  EXPECT_EQ(conv.OutputBaseName(), dir / "gs00233a");
  const Bytes dat = tb::ReadFile(dir / "gs00233a.dat");
  EXPECT_GT(dat.size(), 485u);
  EXPECT_EQ(conv.Run(), st::kNotOpened);
  EXPECT_EQ(conv.LastStatus(), st::kNotOpened);
  EXPECT_EQ(tb::ReadFile(dir / "gs00233a.dat"), dat);

  Converter usage;
  testing::internal::CaptureStdout();
  EXPECT_EQ(usage.ParseArguments({"-d", "-!!!", dir / "gs00233a", dir / "other"}), st::kOk);
  EXPECT_EQ(usage.ResolveNames(), st::kOk);
  EXPECT_EQ(usage.Run(), st::kOk);
  std::fflush(stdout);
  EXPECT_NE(testing::internal::GetCapturedStdout().find(" -W         set GPS week"), std::string::npos);
  EXPECT_TRUE(usage.UsagePrinted());
  EXPECT_FALSE(tb::FileExists(dir / "other.dat"));

  Converter moved = std::move(conv);
  EXPECT_TRUE(moved.IsReady());
  EXPECT_FALSE(conv.IsReady());  // NOLINT(bugprone-use-after-move): the moved-from state is defined
  EXPECT_EQ(conv.ParseArguments({"-d", dir / "gs00233a"}), st::kInsufficientMemory);
  EXPECT_EQ(conv.Run(), st::kInsufficientMemory);
  EXPECT_EQ(moved.LastStatus(), st::kNotOpened);
}

}  // namespace
