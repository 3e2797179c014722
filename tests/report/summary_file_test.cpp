#include "report/summary_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "report/report_capture.h"

namespace {

using SB = SessionBlock;

constexpr double kSaturday = 518400000.0;  // ms of the week at Saturday 00:00

std::string Summary(ConvState& cs) {
  return Capture([&](FILE* f) { EXPECT_EQ(WriteSummaryFile(cs, f, "MAST", "2854"), 0); });
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
  int32_t* earlier = cs.tracking.accumulated[32];  // totals add up, the larger continuous count wins
  earlier[0] = 3, earlier[1] = 4, earlier[4] = 1;
  EXPECT_EQ(Summary(cs),
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
            "SV 32           :        6         3         0         0\n");
}

TEST(SummaryFile, EpochLines) {
  // Report week, week from the data (0: none), first and last epoch, then both epoch texts.
  const struct { int week, dataWeek; double first, last; std::string lines; } cases[] = {
      {1500, 0, 0.0, 0.0,  // no epoch recorded: the start of the report week
       "08.10.05  0:00:00   1500      0|08.10.05  0:00:00   1500      0"},
      {1400, 1500, 0.0, 0.0,  // the week from the data wins
       "08.10.05  0:00:00   1500      0|08.10.05  0:00:00   1500      0"},
      {1500, 0, kSaturday + 59995.0, kSaturday + 119984.0,  // 59.995 s print as 60, minute unchanged
       "08.10.11  0:00:60   1500 518459|08.10.11  0:01:59   1500 518519"},
      {1500, 0, 302400000.0, 0.0,  // a step back of exactly half a week is no rollover
       "08.10.08 12:00:00   1500 302400|08.10.05  0:00:00   1500      0"},
      {65535, 0, 1000.0, 0.0,  // a week that cannot be converted prints a zero date
       "00.00.00  0:00:00   65535      1|00.00.00  0:00:00   65535      0"},
      {1500, 0, 1e300, -1e300,
       "00.00.00  0:00:00   1500 9223372036854775807|00.00.00  0:00:00   1501 -9223372036854775808"},
  };
  for (const auto& c : cases) {
    ConvState cs;
    cs.rx.gpsWeek = static_cast<uint16_t>(c.week);
    cs.epoch.dataWeek = static_cast<uint16_t>(c.dataWeek);
    cs.epoch.dataWeekSet = c.dataWeek != 0;
    cs.epoch.first = c.first;
    cs.epoch.last = c.last;
    const std::string lines = "First meas      : " + c.lines.substr(0, c.lines.find('|')) +
                              "\nLast  meas      : " + c.lines.substr(c.lines.find('|') + 1) + "\n";
    EXPECT_TRUE(Has(Summary(cs), lines)) << lines;
  }
}

TEST(SummaryFile, SerialsAndVersions) {
  ConvState cs;
  cs.rx.serialGiven = 1;
  std::strcpy(cs.rx.serialString, "4294979641");
  cs.session.Set<uint32_t>(SB::kAntennaSerial, 0x80000000u);
  cs.rx.antennaGiven = 1;  // the modular antenna wins over a given string
  cs.session.Set<int16_t>(SB::kNavVersion, 5);
  EXPECT_TRUE(Has(Summary(cs), "Rx  Serial#     : 4294979641\nAnt Serial#     : Modular antenna\n"
                               "NP version      : 0.05\n"));
  ConvState plain;
  plain.session.Set<uint32_t>(SB::kAntennaSerial, 0x7FFFFFFFu);
  EXPECT_TRUE(Has(Summary(plain), "Ant Serial#     : 2147483647\n"));
  EXPECT_EQ(WriteSummaryFile(plain, nullptr, "A", "B"), 21);
}

}  // namespace
