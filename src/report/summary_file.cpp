#include "report/summary_file.h"

#include <cstdint>
#include <cstdio>

#include "dat/conv_state.h"
#include "report/gps_time.h"
#include "report/report_util.h"

namespace {

using SB = SessionBlock;

constexpr double kHalfWeekMs = 302400000.0;

// One epoch line: date and time, the week and the time of week in seconds.
// A time that cannot be converted prints a zero date.
void EpochLine(FILE* out, const char* label, double timeMs, int week) {
  const report::Calendar c = report::ToCalendar(timeMs / 1000.0, week);
  int year = c.year;
  while (year >= 100) year -= 100;
  // 0.01 is added before the truncation and nothing is carried into the
  // minute.
  const int seconds = static_cast<int>(c.seconds + 0.01);
  std::fprintf(out, "%s: %02d.%02d.%02d %2d:%02d:%02d   %3d %6ld\n", label, year, c.month, c.day,
               c.hour, c.minute, seconds, week, report::TruncToLong(timeMs / 1000.0));
}

}  // namespace

Status WriteSummaryFile(ConvState& cs, FILE* out, const char* stationText, const char* nameTail) {
  if (out == nullptr) return status::kSummaryNotOpen;
  const SessionBlock& b = cs.session;

  std::fprintf(out, "Station         : %s\n", stationText != nullptr ? stationText : "");
  std::fprintf(out, "Session         : %s\n", nameTail != nullptr ? nameTail : "");

  const int week = ReportWeek(cs);
  const int lastWeek = cs.epoch.first - cs.epoch.last > kHalfWeekMs ? week + 1 : week;
  EpochLine(out, "First meas      ", cs.epoch.first, week);
  EpochLine(out, "Last  meas      ", cs.epoch.last, lastWeek);
  std::fprintf(out, "\n");

  const ReceiverIdentity& rx = cs.rx;
  if (rx.serialGiven)
    std::fprintf(out, "Rx  Serial#     : %.*s\n",
                 report::FieldLength(rx.serialString, sizeof rx.serialString), rx.serialString);
  else
    std::fprintf(out, "Rx  Serial#     : %lu\n",
                 static_cast<unsigned long>(b.Get<uint32_t>(SB::kReceiverSerial)));

  const uint32_t antenna = b.Get<uint32_t>(SB::kAntennaSerial);
  if (antenna & 0x80000000u)
    std::fprintf(out, "Ant Serial#     : Modular antenna\n");
  else if (rx.antennaGiven)
    std::fprintf(out, "Ant Serial#     : %.*s\n",
                 report::FieldLength(rx.antennaString, sizeof rx.antennaString), rx.antennaString);
  else
    std::fprintf(out, "Ant Serial#     : %lu\n", static_cast<unsigned long>(antenna));

  const int nav = b.Get<int16_t>(SB::kNavVersion);
  const int sig = b.Get<int16_t>(SB::kSigVersion);
  std::fprintf(out, "NP version      : %d.%02d\n", nav / 100, nav % 100);
  std::fprintf(out, "SP Software     : %d.%02d\n", sig / 100, sig % 100);
  std::fprintf(out, "Download version: %d.%02d.%02d\n", cs.downloadVersion[0],
               cs.downloadVersion[1], cs.downloadVersion[2]);

  std::fprintf(out, "\n");
  std::fprintf(out, "Tracking        : Total L1  Cont  L1  Total L2  Cont  L2\n");
  for (int sv = 1; sv <= 32; ++sv) {
    const report::TrackingFigures t = report::Tracking(cs, sv);
    if (t.totalL1 == 0) continue;
    std::fprintf(out, "SV %2d           : ", sv);
    std::fprintf(out, "%8lu  %8lu  ", static_cast<unsigned long>(t.totalL1),
                 static_cast<unsigned long>(t.contL1));
    std::fprintf(out, "%8lu  %8lu\n", static_cast<unsigned long>(t.totalL2),
                 static_cast<unsigned long>(t.contL2));
  }
  return status::kOk;
}
