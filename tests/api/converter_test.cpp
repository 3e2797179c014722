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
#include "support/session_image_builder.h"
#include "tools/tool_runner.h"

namespace {

namespace st = logsplit::status;
namespace fs = std::filesystem;
using logsplit::Converter;
using Bytes = std::vector<uint8_t>;
using Line = std::pair<int, std::string>;

struct TempDir {
  std::string path = tb::MakeTempDir();
  ~TempDir() { tb::RemoveTree(path); }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// Every file of a folder, by name.
std::map<std::string, Bytes> FilesIn(const std::string& dir) {
  std::map<std::string, Bytes> files;
  for (const auto& e : fs::directory_iterator(dir))
    files[e.path().filename().string()] = tb::ReadFile(e.path().string());
  return files;
}

// Writes the session as dir/gs00233a.q00; returns the name to convert.
// `damaged`: a data byte of one record changed (its checksum no longer
// matches) and stray bytes after the last record.
std::string WriteInput(const std::string& dir, bool damaged = false) {
  tb::RawImage image = tb::SessionImage({});
  if (damaged) {
    image.records[image.records.size() / 2][4] ^= 0x5A;
    image.trailing = {0x02, 0x09, 0x11, 0x00, 0x47};
  }
  fs::create_directories(dir);
  tb::WriteFile(dir + "/gs00233a.q00", image.bytes());
  return dir + "/gs00233a";
}

// Runs the program's sequence through the interface; the console lines and
// progress points go to recording handlers, which may also stop the run.
struct ApiRun {
  Converter conv;
  std::vector<Line> lines;
  std::vector<int> percents;
  size_t cancelAt = 0, throwAt = 0;  // progress call that sets the flag / throws
  bool cancelOnRecordLine = false;   // the message handler requests the stop

  ApiRun() {
    conv.SetMessageHandler([this](int level, std::string_view line) {
      lines.emplace_back(level, line);
      if (cancelOnRecordLine && line.rfind("Record id:", 0) == 0) conv.RequestCancel();
    });
    conv.SetProgressHandler([this](int percent, bool& cancel) {
      percents.push_back(percent);
      if (percents.size() == throwAt) throw std::runtime_error("display gone");
      if (percents.size() == cancelAt) cancel = true;
    });
  }
  logsplit::Status Execute(std::vector<std::string> args) {
    std::vector<const char*> argv = {"logsplit"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    return conv.Execute(static_cast<int>(argv.size()), argv.data());
  }
  // The lines as the program prints them.
  std::string Console() const {
    std::string out;
    for (const auto& l : lines) out += l.second + "\n";
    return out;
  }
};

// The logsplit program of this build: LOGSPLIT_BIN (set by CTest), else the
// build folder above this test program's.
fs::path ProgramPath() {
  if (const char* bin = std::getenv("LOGSPLIT_BIN")) return bin;
  std::error_code ec;
  return fs::read_symlink("/proc/self/exe", ec).parent_path().parent_path() / "logsplit";
}
bool ProgramBuilt() { return ::access(ProgramPath().c_str(), X_OK) == 0; }
tt::ToolRun RunProgram(const std::vector<std::string>& args) {
  ::setenv("LOGSPLIT_TOOLS_DIR", ProgramPath().parent_path().c_str(), 1);
  return tt::RunTool(ProgramPath().filename(), args);
}

// Standard output of f().
std::string Printed(const std::function<void()>& f) {
  testing::internal::CaptureStdout();
  f();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

void Replace(std::string& s, const std::string& from, const std::string& to) {
  for (size_t p; (p = s.find(from)) != std::string::npos;) s.replace(p, from.size(), to);
}

// The texts of the codes 0 to 31 (st::kOk to st::kK02Unsupported); 22 is no code.
TEST(ApiStatus, CodesAndTexts) {
  const char* const texts[32] = {
      "None", "Insufficient memory", "DAT file conversion library not opened properly", "Unable to open DAT file",
      "Unable to write to DAT file, file is not open", "Unable to open EPH file",
      "Unable to write to EPH file, file is not open", "Unable to open ION file",
      "Unable to write to ION file, file is not open", "Unable to open MES file",
      "Unable to write to MES file, file is not open", "Record error - STX not found",
      "Record error - ETX not found", "Record error - bad checksum",
      "Record error - unexpected LOGST record (18)", "Disk full",
      "Unable to locate binary message records for update", "Unable to locate/open source Q00/K00 file",
      "Not a valid Q00/K00 file (bad header)", "Measurement records out of sequence",
      "Unable to open summary TXT file", "Unable to write to summary TXT file, file is not open",
      "Unknown error [22]", "Unable to resync to a record",
      "Unable to open application CFG file", "Unable to write to application CFG file, file is not open",
      "Application CFG file built from record 31 is not valid",
      "Application CFG file could not be built, no information", "Conversion terminated by calling application",
      "One or more errors encountered, but either ignored or skipped",
      "Error encountered while expanding measurement records",
      "K02 files not supported in this version of the K01 library"};
  for (int code = 0; code < 32; ++code)
    EXPECT_EQ(Converter::StatusText(static_cast<logsplit::Status>(code)), texts[code]) << code;
}

// The interface gives the program's status, console lines and output
// bytes, whether the options end the run early or a conversion runs.
TEST(ApiProgram, SameStatusLinesAndOutputsAsTheProgram) {
  if (!ProgramBuilt()) GTEST_SKIP() << "no program at " << ProgramPath();
  const std::string longName(300, 'n');
  const struct {
    std::vector<std::string> args;  // '%' stands for the run's folder
    logsplit::Status expected;      // -1: the program's, whatever it is
    bool damaged = false;
  } cases[] = {
      {{"-dv2", "%/missing"}, st::kSourceNotFound},
      {{"-dv2"}, st::kSourceNotFound},
      {{"-d", "-s" + longName, "%/gs00233a"}, st::kSummaryOpenFailed},
      {{"-d", "%/gs00233a", "%/" + longName}, st::kDatOpenFailed},
      {{"-d", "-!!!", "%/missing"}, st::kOk},  // the extended usage, nothing else
      {{"-deimav2", "-s", "%/gs00233a"}, st::kOk},
      {{"-dfcv3", "%/gs00233a"}, -1, true},  // fixup, checksum errors ignored
      {{"-dev2", "-u1", "%/gs00233a"}, -1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args.back().substr(0, 20));
    TempDir dir;
    std::vector<std::string> args[2];  // the program's in p, the interface's in a
    for (int k = 0; k < 2; ++k) {
      const std::string folder = dir / (k == 0 ? "p" : "a");
      WriteInput(folder, c.damaged);
      for (std::string arg : c.args) {
        Replace(arg, "%", folder);
        args[k].push_back(arg);
      }
    }
    const tt::ToolRun program = RunProgram(args[0]);
    ApiRun api;
    logsplit::Status status = -1;
    const std::string usage = Printed([&] { status = api.Execute(args[1]); });
    EXPECT_EQ(status, program.exitStatus);
    if (c.expected >= 0) {
      EXPECT_EQ(status, c.expected);
    }
    EXPECT_EQ(api.conv.LastStatus(), status);
    EXPECT_EQ(api.conv.UsagePrinted(), !usage.empty());
    std::string printed = program.out;
    Replace(printed, "/p/", "/a/");
    EXPECT_EQ(api.Console() + usage, printed);
    EXPECT_TRUE(c.expected <= 0 || printed.empty()) << "a bad option prints nothing";
    const auto files = FilesIn(dir / "a");
    EXPECT_EQ(FilesIn(dir / "p"), files);
    const bool early = c.expected > 0 || std::count(c.args.begin(), c.args.end(), "-!!!") == 1;
    EXPECT_EQ(files.size() == 1, early) << "a run that ends early leaves no output";
  }
}

// Every console line reaches the handler with its level (that they are the
// program's lines is checked above); the progress points run from 0 to 100.
TEST(ApiSteps, HandlersQuietStepsAndOneRunPerConverter) {
  TempDir dir;
  ApiRun api;
  ASSERT_EQ(api.Execute({"-dv2", WriteInput(dir / "h")}), st::kOk);
  const uint32_t records = api.conv.RecordCount();
  ASSERT_GT(records, 5u);
  ASSERT_GE(api.lines.size(), 3u);
  EXPECT_EQ(api.lines.front(), Line(1, "logsplit:  Version 5.17"));
  EXPECT_EQ(api.lines.back(), Line(1, "logsplit:  status : 0"));
  const Line inputLine(1, "logsplit:  Input file: " + (dir / "h/gs00233a.q00"));
  EXPECT_EQ(std::count(api.lines.begin(), api.lines.end(), inputLine), 1);
  size_t recordLines = 0;
  for (const auto& [level, text] : api.lines) {
    if (text.rfind("Record id:", 0) != 0) continue;
    EXPECT_EQ(level, 2) << text;
    ++recordLines;
  }
  EXPECT_EQ(recordLines, records);
  ASSERT_GE(api.percents.size(), records + 2);
  EXPECT_EQ(api.percents.front(), 0);
  EXPECT_EQ(api.percents.back(), 100);
  EXPECT_TRUE(std::is_sorted(api.percents.begin(), api.percents.end()));

  // Without a message handler nothing is printed; the steps one by one (Run
  // resolving the names itself) give the same DAT file; a converter runs once.
  Converter quiet;
  quiet.SetMessageHandler(nullptr);
  const std::string in = WriteInput(dir / "q");
  EXPECT_EQ(quiet.LastStatus(), st::kOk);
  EXPECT_EQ(Printed([&] {
              EXPECT_EQ(quiet.ParseArguments({"-dv3", in}), st::kOk);
              EXPECT_EQ(quiet.InputNames(), std::vector<std::string>{in + ".q00"});
              EXPECT_EQ(quiet.Run(), st::kOk);
            }),
            "");
  EXPECT_EQ(quiet.OutputBaseName(), in);
  const Bytes dat = tb::ReadFile(in + ".dat");
  EXPECT_EQ(dat, tb::ReadFile(dir / "h/gs00233a.dat"));
  EXPECT_EQ(quiet.Run(), st::kNotOpened);
  EXPECT_EQ(quiet.LastStatus(), st::kNotOpened);
  EXPECT_EQ(tb::ReadFile(in + ".dat"), dat);

  // A moved-from converter reports no memory.
  Converter moved = std::move(quiet);
  EXPECT_TRUE(moved.IsReady());
  EXPECT_FALSE(quiet.IsReady());  // NOLINT(bugprone-use-after-move): the moved-from state is defined
  EXPECT_EQ(quiet.ParseArguments({"-d", in}), st::kInsufficientMemory);
  EXPECT_EQ(quiet.Run(), st::kInsufficientMemory);
  EXPECT_EQ(moved.LastStatus(), st::kNotOpened);
}

// Each way of stopping ends the run with the cancel status and a DAT file
// that was finished: renamed from its temporary name, its five opening
// header records rewritten (the placeholder bit 7 of their subtype byte
// cleared), whole records only.
TEST(ApiCancel, EndsWithCancelStatusAndFinishedOutputs) {
  TempDir full;
  ApiRun complete;
  ASSERT_EQ(complete.Execute({"-dv2", WriteInput(full.path)}), st::kOk);
  const size_t fullSize = tb::ReadFile(full / "gs00233a.dat").size();
  const struct {
    const char* name;
    size_t cancelAt, throwAt;
    bool onRecordLine, beforeRun;
  } cases[] = {
      {"progress handler sets the flag", 5, 0, false, false},
      {"message handler requests it", 0, 0, true, false},
      {"progress handler throws", 0, 3, false, false},
      {"requested before the run", 0, 0, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    ApiRun api;
    api.cancelAt = c.cancelAt, api.throwAt = c.throwAt, api.cancelOnRecordLine = c.onRecordLine;
    if (c.beforeRun) api.conv.RequestCancel();
    EXPECT_EQ(api.Execute({"-dv2", WriteInput(dir.path)}), st::kCancelled);
    EXPECT_EQ(api.conv.LastStatusText(), "Conversion terminated by calling application");
    ASSERT_FALSE(api.lines.empty());
    EXPECT_EQ(api.lines.back(), Line(2, "logsplit:  error  : Conversion terminated by calling application"));
    EXPECT_FALSE(tb::FileExists(dir / "gs00233a.vx!"));
    EXPECT_LT(api.conv.RecordCount(), complete.conv.RecordCount());
    if (c.beforeRun) {  // nothing was converted: the empty DAT file is removed
      EXPECT_EQ(api.conv.RecordCount(), 0u);
      EXPECT_FALSE(tb::FileExists(dir / "gs00233a.dat"));
      continue;
    }
    const Bytes dat = tb::ReadFile(dir / "gs00233a.dat");
    ASSERT_GT(dat.size(), 485u);
    EXPECT_LT(dat.size(), fullSize);
    const struct { size_t offset; uint8_t length, subtype; } headers[] = {
        {0, 24, 6}, {24, 98, 0}, {122, 65, 1}, {187, 64, 2}, {251, 110, 3}};
    for (const auto& h : headers)
      EXPECT_EQ(Bytes(dat.begin() + h.offset, dat.begin() + h.offset + 4), Bytes({0x74, h.length, h.subtype, 5}))
          << h.offset;
    // The records (marker 0x74, length in byte 1, byte 2 its high part for
    // the long types) fill the file exactly: five header records, the
    // ion/UTC record and at least one more.
    size_t p = 0, count = 0;
    for (; p + 4 <= dat.size() && dat[p] == 0x74; ++count) {
      bool longType = false;
      for (int t : {12, 17, 27, 29, 98, 99, 102}) longType |= dat[p + 3] == t;
      const size_t length = dat[p + 1] | (longType ? dat[p + 2] << 8 : 0);
      if (length < 4) break;
      p += length;
    }
    EXPECT_EQ(p, dat.size());
    EXPECT_GE(count, 7u);
  }
}

// The stored custom arguments ("-v2 -d": the DAT file and the record lines
// added to "-ev") come from the chosen root, only when asked.
TEST(ApiCustomArguments, StoredArgumentsFromAnotherRoot) {
  for (const bool apply : {true, false}) {
    SCOPED_TRACE(apply);
    TempDir dir;
    const std::string in = WriteInput(dir / "in"), root = dir / "settings";
    const std::string valuePath = root + "/Software/Veltor/RawLogSplit/UnpackCustomArgs";
    fs::create_directories(fs::path(valuePath).parent_path());
    tb::WriteFile(valuePath, {'-', 'v', '2', ' ', ' ', '-', 'd', '\n'});
    ApiRun api;
    api.conv.SetCustomArgumentsRoot(root);
    EXPECT_EQ(api.conv.CustomArgumentsPath(), valuePath);
    EXPECT_EQ(api.conv.ParseArguments({"-ev", in}), st::kOk);
    if (apply) {
      EXPECT_EQ(api.conv.ApplyCustomArguments(), st::kOk);
    }
    EXPECT_EQ(api.conv.ResolveNames(), st::kOk);
    EXPECT_EQ(api.conv.OutputBaseName(), in);
    EXPECT_EQ(api.conv.Run(), st::kOk);
    EXPECT_TRUE(tb::FileExists(in + ".eph"));
    EXPECT_EQ(tb::FileExists(in + ".dat"), apply);
    const auto recordLine = [](const Line& l) { return l.second.rfind("Record id:", 0) == 0; };
    EXPECT_EQ(std::any_of(api.lines.begin(), api.lines.end(), recordLine), apply);
  }
  Converter conv;
  conv.SetCustomArgumentsRoot("");
  EXPECT_EQ(conv.CustomArgumentsPath(), "/etc/logsplit/registry/Software/Veltor/RawLogSplit/UnpackCustomArgs");
}

}  // namespace
