// logsplit library interface.
//
// Converts the raw log files of the receivers (raw images Q00, K00, K01 and
// K02 files) into a DAT file and its companion files (EPH, ION, MES, summary
// TXT, APP/CFG), exactly as the logsplit program does: the same options, the
// same output bytes, the same console lines and the same status codes.
//
// A Converter carries one conversion from its options to its status:
//
//   logsplit::Converter conv;
//   conv.SetProgressHandler([](int percent, bool& cancel) { ... });
//   logsplit::Status st = conv.ParseArguments({"-dv", "gs00233a"});
//   if (st == logsplit::status::kOk) st = conv.ApplyCustomArguments();  // optional
//   if (st == logsplit::status::kOk) st = conv.ResolveNames();
//   if (st == logsplit::status::kOk) st = conv.Run();
//   // st, conv.LastStatus() and conv.LastStatusText() tell how it ended.
//
// Link with the CMake target logsplit::logsplit (find_package(logsplit)).
//
// Threads: a conversion runs on the thread that calls Run(); the handlers are
// called on that thread, synchronously. RequestCancel() may be called from
// any thread. The converter keeps some per-record scratch state at process
// level: run one conversion at a time in a process.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace logsplit {

// Status of a step and of the run: a signed 16-bit code, 0 for success. The
// program's exit code is the status of its run.
using Status = std::int16_t;

namespace status {
inline constexpr Status kOk = 0;                      // "None"
inline constexpr Status kInsufficientMemory = 1;      // "Insufficient memory"
inline constexpr Status kNotOpened = 2;               // conversion library not opened properly
inline constexpr Status kDatOpenFailed = 3;           // "Unable to open DAT file"
inline constexpr Status kDatNotOpen = 4;              // "Unable to write to DAT file, file is not open"
inline constexpr Status kEphOpenFailed = 5;           // "Unable to open EPH file"
inline constexpr Status kEphNotOpen = 6;              // "Unable to write to EPH file, file is not open"
inline constexpr Status kIonOpenFailed = 7;           // "Unable to open ION file"
inline constexpr Status kIonNotOpen = 8;              // "Unable to write to ION file, file is not open"
inline constexpr Status kMesOpenFailed = 9;           // "Unable to open MES file"
inline constexpr Status kMesNotOpen = 10;             // "Unable to write to MES file, file is not open"
inline constexpr Status kStxNotFound = 11;            // "Record error - STX not found"
inline constexpr Status kEtxNotFound = 12;            // "Record error - ETX not found"
inline constexpr Status kBadChecksum = 13;            // "Record error - bad checksum"
inline constexpr Status kUnexpectedLogst = 14;        // unexpected LOGST record (18)
inline constexpr Status kDiskFull = 15;               // "Disk full"
inline constexpr Status kHeaderRecordsNotFound = 16;  // binary message records for update not found
inline constexpr Status kSourceNotFound = 17;         // "Unable to locate/open source Q00/K00 file"
inline constexpr Status kBadHeader = 18;              // "Not a valid Q00/K00 file (bad header)"
inline constexpr Status kOutOfSequence = 19;          // "Measurement records out of sequence"
inline constexpr Status kSummaryOpenFailed = 20;      // "Unable to open summary TXT file"
inline constexpr Status kSummaryNotOpen = 21;         // summary TXT file is not open
inline constexpr Status kResyncFailed = 23;           // "Unable to resync to a record"
inline constexpr Status kAppOpenFailed = 24;          // "Unable to open application CFG file"
inline constexpr Status kAppNotOpen = 25;             // application CFG file is not open
inline constexpr Status kAppInvalid = 26;             // CFG file built from record 31 is not valid
inline constexpr Status kAppNoInformation = 27;       // CFG file could not be built, no information
inline constexpr Status kCancelled = 28;              // "Conversion terminated by calling application"
inline constexpr Status kErrorsIgnored = 29;          // errors encountered, but ignored or skipped
inline constexpr Status kExpansionFailed = 30;        // error while expanding measurement records
inline constexpr Status kK02Unsupported = 31;         // K02 files not supported by the K01 library
}  // namespace status

class Converter {
 public:
  // Receives every console line of the conversion, without line end.
  // Levels: 1 the normal verbose lines (banner, file names, final counters),
  // 2 record lines, problem records and the error line, 3 byte dumps and
  // resynchronisation details. Which lines are sent depends on the verbose
  // option (-v, -v2, -v3).
  using MessageHandler = std::function<void(int level, std::string_view line)>;
  // Called at the start and at the end of each input and before each
  // record, with the position in the current input in percent (0 to 100).
  // Setting `cancel` to true stops the conversion before the next record;
  // the outputs written so far are finalised and the run ends with
  // status::kCancelled.
  using ProgressHandler = std::function<void(int percent, bool& cancel)>;

  // A converter whose console lines go to standard output, each followed by
  // a line feed, as the program prints them.
  Converter();
  ~Converter();
  Converter(Converter&& other) noexcept;
  Converter& operator=(Converter&& other) noexcept;
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // False when the converter's memory could not be had (or it was moved
  // from): every step then returns status::kInsufficientMemory.
  bool IsReady() const;

  // --- handlers (set before Run) ------------------------------------------
  // A non-empty handler receives the console lines in place of standard
  // output. An empty handler means no console at all: ResolveNames then
  // turns the verbose level to 0, as for a caller without a message
  // callback. Handlers must not throw; one that does cancels the run.
  void SetMessageHandler(MessageHandler handler);
  // Back to printing the lines on standard output.
  void UseConsoleMessages();
  // An empty handler removes the progress handler; RequestCancel still works.
  void SetProgressHandler(ProgressHandler handler);

  // Asks the running (or the next) conversion to stop before its next
  // record, as a progress handler setting its cancel flag does. May be
  // called from any thread and from inside a handler.
  void RequestCancel();

  // --- the steps, in the program's order ----------------------------------
  // Parses command-line arguments as the program does (options such as -d,
  // -e, -v2, -s[file], -x, -t, input names, @list files and the output
  // name). argv[0] is not read. "-!!!" prints the extended usage on
  // standard output and makes every later step do nothing and return 0
  // (see UsagePrinted). Returns 0, or the status of a name that cannot be
  // resolved (status::kSourceNotFound), or the status of a name too long to
  // be opened. Call it once per converter.
  Status ParseArguments(int argc, const char* const* argv);
  // The same with the arguments alone, without a program name.
  Status ParseArguments(const std::vector<std::string>& args);
  // Optional second pass over the stored custom-argument string (the file
  // CustomArgumentsPath()): options with a value replace those parsed
  // before, letter flags can only add, a name becomes the output name when
  // an input but no output was given. A missing or empty file is no error.
  Status ApplyCustomArguments();
  // Points the custom arguments at another settings folder in place of the
  // machine-wide one (/etc/logsplit/registry); an empty root restores it.
  void SetCustomArgumentsRoot(const std::string& root);
  // The file read by ApplyCustomArguments.
  std::string CustomArgumentsPath() const;
  // Derives the output names from the inputs and the output argument.
  // Returns status::kSourceNotFound when no input was given.
  Status ResolveNames();
  // Runs the conversion (resolving the names first if ResolveNames was not
  // called) and returns its status: 0, status::kErrorsIgnored when errors
  // were ignored or repaired, status::kCancelled when cancelled, or the
  // error that ended the run. A converter runs once: a second Run returns
  // status::kNotOpened and does nothing.
  Status Run();
  // The program's whole sequence: the short usage on standard output when
  // argc < 2 (status 0), otherwise ParseArguments, ApplyCustomArguments,
  // ResolveNames and Run, stopping at the first non-zero status.
  Status Execute(int argc, const char* const* argv);

  // --- results -------------------------------------------------------------
  // Status of the last step called (0 before any step).
  Status LastStatus() const;
  std::string LastStatusText() const;
  // Text of any status code ("Unknown error [n]" outside the table).
  static std::string StatusText(Status code);
  // True once "-!!!" printed the extended usage.
  bool UsagePrinted() const;
  // Resolved input names, in conversion order (after ParseArguments).
  std::vector<std::string> InputNames() const;
  // Output name without extension (after ResolveNames): every output file
  // is this name with its own extension.
  std::string OutputBaseName() const;
  // Counters of the run: records converted, records with a checksum error
  // that were dropped or skipped, bytes skipped while resynchronising.
  std::uint32_t RecordCount() const;
  std::uint32_t ChecksumErrorCount() const;
  std::uint32_t LostByteCount() const;

  // The program's usage text, printed on standard output.
  static void PrintUsage(bool extended);
  // The program's version text ("Version n.nn").
  static const char* VersionText();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace logsplit
