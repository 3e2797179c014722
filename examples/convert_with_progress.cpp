// convert_with_progress: converts a receiver log file into a DAT file (and
// any companion files asked for) with the logsplit library, drawing its own
// progress bar on standard error and printing the conversion's console lines
// its own way on standard output. Ctrl-C stops the conversion cleanly: the
// files written so far are finished and the program ends with the cancel
// status.
//
// usage: convert_with_progress [logsplit options] src [out]
//   e.g. convert_with_progress -em gs00233a
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "logsplit/logsplit.h"

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) { g_interrupted = 1; }

// A text bar on standard error: redrawn in place on a terminal, one line per
// quarter otherwise (a log file would not want a line per record).
class ProgressBar {
 public:
  ProgressBar() : terminal_(::isatty(STDERR_FILENO) != 0) {}

  void Show(int percent) {
    // A bar hidden for a text line is drawn again even at the same percent.
    if (percent == shown_ && (visible_ || !terminal_)) return;
    if (percent < shown_) ++input_;  // the next input starts again at 0
    shown_ = percent;
    if (terminal_) {
      constexpr int kWidth = 40;
      const int filled = percent * kWidth / 100;
      std::fprintf(stderr, "\r  input %d [%s%s] %3d%%", input_, std::string(filled, '#').c_str(),
                   std::string(kWidth - filled, '.').c_str(), percent);
      visible_ = true;
    } else if (percent / 25 != lastQuarter_) {
      lastQuarter_ = percent / 25;
      std::fprintf(stderr, "  input %d: %3d%%\n", input_, percent);
    }
    std::fflush(stderr);
  }

  // Clears the bar so that a text line can be printed in its place.
  void Hide() {
    if (!visible_) return;
    std::fprintf(stderr, "\r%60s\r", "");
    std::fflush(stderr);
    visible_ = false;
  }

 private:
  bool terminal_;
  bool visible_ = false;
  int shown_ = -1;
  int lastQuarter_ = -1;
  int input_ = 1;
};

// The conversion's lines, without the program's "logsplit:  " prefix, as
// notes (level 1), record details (level 2) or dumps (level 3).
void PrintLine(int level, std::string_view line) {
  constexpr std::string_view kPrefix = "logsplit:  ";
  if (line.substr(0, kPrefix.size()) == kPrefix) line.remove_prefix(kPrefix.size());
  const char* tag = level <= 1 ? "note  " : level == 2 ? "record" : "dump  ";
  std::printf("[%s] %.*s\n", tag, static_cast<int>(line.size()), line.data());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: %s [logsplit options] src [out]\n"
                 "Converts src into a DAT file (logsplit -d -v) with a progress bar.\n",
                 argv[0]);
    return 1;
  }

  // The DAT file and the normal console lines, then the caller's options:
  // they may add outputs (-e, -i, -m, -a, -s) or raise the verbose level.
  std::vector<std::string> args = {"-dv"};
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);

  logsplit::Converter converter;
  if (!converter.IsReady()) {
    std::fprintf(stderr, "%s\n", logsplit::Converter::StatusText(logsplit::status::kInsufficientMemory).c_str());
    return logsplit::status::kInsufficientMemory;
  }

  ProgressBar bar;
  converter.SetMessageHandler([&bar](int level, std::string_view line) {
    bar.Hide();
    PrintLine(level, line);
  });
  converter.SetProgressHandler([&bar](int percent, bool& cancel) {
    bar.Show(percent);
    if (g_interrupted) cancel = true;
  });
  std::signal(SIGINT, OnInterrupt);

  logsplit::Status st = converter.ParseArguments(args);
  if (st == logsplit::status::kOk) st = converter.ApplyCustomArguments();
  if (st == logsplit::status::kOk) st = converter.ResolveNames();
  if (st == logsplit::status::kOk && !converter.UsagePrinted()) {
    for (const std::string& name : converter.InputNames()) std::printf("[input ] %s\n", name.c_str());
    std::printf("[output] %s.*\n", converter.OutputBaseName().c_str());
    st = converter.Run();
  }
  bar.Hide();

  std::fprintf(stderr, "%u records converted", converter.RecordCount());
  if (converter.ChecksumErrorCount() > 0)
    std::fprintf(stderr, ", %u checksum errors", converter.ChecksumErrorCount());
  if (converter.LostByteCount() > 0) std::fprintf(stderr, ", %u bytes lost", converter.LostByteCount());
  std::fprintf(stderr, "; status %d: %s\n", st, converter.LastStatusText().c_str());
  return st;
}
