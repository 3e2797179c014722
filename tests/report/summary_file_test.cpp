#include "report/summary_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dat/conv_state.h"
#include "report/report_capture.h"

namespace {

using SB = SessionBlock;

constexpr double kSaturday = 518400000.0;  // ms of the week at Saturday 00:00

std::string Summary(ConvState& cs, const char* station = "MAST", const char* tail = "2854") {
  return Capture([&](FILE* f) { EXPECT_EQ(WriteSummaryFile(cs, f, station, tail), 0); });
}

void SetTracking(ConvState& cs, int sv, int32_t contL1, int32_t totalL1, int32_t contL2,
                 int32_t totalL2) {
  cs.tracking.seen = 1;
  int32_t* w = cs.tracking.current[sv];
  w[0] = contL1, w[1] = totalL1, w[2] = contL2, w[3] = totalL2, w[4] = 1;
}

TEST(SummaryFile, WholeFile) {
  ConvState cs;
  cs.rx.gpsWeek = 1500;
  // Saturday 23:59 of week 1500 to Sunday 00:10: the last epoch is in 1501.
  cs.epoch.seen = 1;
  cs.epoch.first = kSaturday + 86340000.0;
  cs.epoch.last = 600000.0;
  cs.session.Set<uint32_t>(SB::kReceiverSerial, 3000000000u);
  cs.rx.antennaGiven = 1;
  std::strcpy(cs.rx.antennaString, "     12345");
  cs.session.Set<int16_t>(SB::kNavVersion, 250);
  cs.session.Set<int16_t>(SB::kSigVersion, 1234);
  cs.downloadVersion[0] = 3, cs.downloadVersion[1] = 11, cs.downloadVersion[2] = 1;
  SetTracking(cs, 3, 50, 100, 40, 80);
  SetTracking(cs, 5, 0, 0, 10, 20);  // no L1: no row
  SetTracking(cs, 32, 1, 2, 0, 0);

  const std::string expected =
      "Station         : MAST\n"
      "Session         : 2854\n"
      "First meas      : 08.10.11 23:59:00   1500 604740\n"
      "Last  meas      : 08.10.12  0:10:00   1501    600\n"
      "\n"
      "Rx  Serial#     : 3000000000\n"
      "Ant Serial#     :      12345\n"
      "NP version      : 2.50\n"
      "SP Software     : 12.34\n"
      "Download version: 3.11.01\n"
      "\n"
      "Tracking        : Total L1  Cont  L1  Total L2  Cont  L2\n"
      "SV  3           :      100        50        80        40\n"
      "SV 32           :        2         1         0         0\n";
  EXPECT_EQ(Summary(cs), expected);
}

struct EpochCase {
  const char* what;
  int week;
  double first, last;
  const char* firstLine;
  const char* lastLine;
};

const EpochCase kEpochCases[] = {
    {"no epoch recorded: start of the report week", 1500, 0.0, 0.0,
     "First meas      : 08.10.05  0:00:00   1500      0\n",
     "Last  meas      : 08.10.05  0:00:00   1500      0\n"},
    {"6 January 2009", 1513, 2 * 86400000.0, 2 * 86400000.0 + 3723000.0,
     "First meas      : 09.01.06  0:00:00   1513 172800\n",
     "Last  meas      : 09.01.06  1:02:03   1513 176523\n"},
    {"seconds of 59.995 print as 60, minute unchanged", 1500, kSaturday + 59995.0,
     kSaturday + 119984.0,
     "First meas      : 08.10.11  0:00:60   1500 518459\n",
     "Last  meas      : 08.10.11  0:01:59   1500 518519\n"},
    {"a step back of exactly half a week is no rollover", 1500, 302400000.0, 0.0,
     "First meas      : 08.10.08 12:00:00   1500 302400\n",
     "Last  meas      : 08.10.05  0:00:00   1500      0\n"},
    {"week that cannot be converted prints a zero date", 65535, 1000.0, 0.0,
     "First meas      : 00.00.00  0:00:00   65535      1\n",
     "Last  meas      : 00.00.00  0:00:00   65535      0\n"},
    {"time far out of range", 1500, 1e300, -1e300,
     "First meas      : 00.00.00  0:00:00   1500 9223372036854775807\n",
     "Last  meas      : 00.00.00  0:00:00   1501 -9223372036854775808\n"},
};

TEST(SummaryFile, EpochLines) {
  for (const EpochCase& c : kEpochCases) {
    ConvState cs;
    cs.rx.gpsWeek = static_cast<uint16_t>(c.week);
    cs.epoch.first = c.first;
    cs.epoch.last = c.last;
    const std::string text = Summary(cs);
    EXPECT_NE(text.find(c.firstLine), std::string::npos) << c.what << "\n" << text;
    EXPECT_NE(text.find(c.lastLine), std::string::npos) << c.what << "\n" << text;
  }
}

TEST(SummaryFile, WeekFromTheDataWins) {
  ConvState cs;
  cs.rx.gpsWeek = 1400;
  cs.epoch.dataWeek = 1500;
  cs.epoch.dataWeekSet = 1;
  EXPECT_NE(Summary(cs).find("08.10.05  0:00:00   1500"), std::string::npos);
}

TEST(SummaryFile, SerialsAndVersions) {
  ConvState cs;
  cs.rx.serialGiven = 1;
  std::strcpy(cs.rx.serialString, "4294979641");
  cs.session.Set<uint32_t>(SB::kAntennaSerial, 0x80000000u);
  cs.rx.antennaGiven = 1;  // the modular antenna wins over a given string
  cs.session.Set<int16_t>(SB::kNavVersion, 5);
  const std::string text = Summary(cs);
  EXPECT_NE(text.find("Rx  Serial#     : 4294979641\n"), std::string::npos);
  EXPECT_NE(text.find("Ant Serial#     : Modular antenna\n"), std::string::npos);
  EXPECT_NE(text.find("NP version      : 0.05\n"), std::string::npos);

  ConvState plain;
  plain.session.Set<uint32_t>(SB::kAntennaSerial, 0x7FFFFFFFu);
  EXPECT_NE(Summary(plain).find("Ant Serial#     : 2147483647\n"), std::string::npos);
}

TEST(SummaryFile, TrackingFiguresIncludeTheLastSession) {
  ConvState cs;
  cs.tracking.seen = 1;
  int32_t* acc = cs.tracking.accumulated[7];
  acc[0] = 30, acc[1] = 60, acc[4] = 1;
  SetTracking(cs, 7, 20, 40, 0, 0);
  EXPECT_NE(Summary(cs).find("SV  7           :      100        30         0         0\n"),
            std::string::npos);
}

TEST(SummaryFile, NoStream) {
  ConvState cs;
  EXPECT_EQ(WriteSummaryFile(cs, nullptr, "A", "B"), 21);
}

}  // namespace
