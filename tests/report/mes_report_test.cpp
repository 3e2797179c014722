#include "report/mes_report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "report/report_capture.h"

namespace {

using SB = SessionBlock;

std::string Mes(ConvState& cs, const char* station = "ab", const char* tail = "2854") {
  return Capture([&](FILE* f) { EXPECT_EQ(WriteMesReport(cs, f, station, tail), 0); });
}

std::string Spaces(int n) { return std::string(static_cast<size_t>(n), ' '); }

// A complete session: week 1500, first epoch Saturday 13:05.
ConvState Session() {
  ConvState cs;
  SessionBlock& b = cs.session;
  cs.rx.gpsWeek = 1500;
  cs.epoch.first = 518400000.0 + 13 * 3600000.0 + 5 * 60000.0;
  b.Set<uint8_t>(SB::kRefKind, 254);
  b.Set<double>(SB::kRefLatitude, 0.25);
  b.Set<double>(SB::kRefLongitude, -0.5);
  b.Set<double>(SB::kRefHeight, 123.4);
  b.Set<double>(SB::kAntennaHeight, 1.5);
  b.Set<uint8_t>(SB::kAntennaHeightUnit, 2);
  b.Set<uint8_t>(SB::kStationNamePresent, 1);
  b.Set<uint8_t>(SB::kStationNameLength, 3);
  std::memcpy(b.bytes + SB::kStationName, "MASTXYZ", 7);
  cs.rx.typeCode = 29;
  cs.rx.serialGiven = 1;
  std::strcpy(cs.rx.serialString, "4294979641");
  b.Set<uint32_t>(SB::kAntennaSerial, 12345);
  b.Set<uint8_t>(SB::kAntennaSerialInField, 1);
  cs.rx.navVersion = 250;
  cs.rx.firmwareVersion = 101;
  cs.rx.sigVersion = 5;
  cs.downloadVersion[0] = 3, cs.downloadVersion[1] = 11, cs.downloadVersion[2] = 1;
  b.Set<uint8_t>(SB::kScheduleSpecified, 1);
  b.Set<uint16_t>(SB::kScheduleStart, 60);
  b.Set<uint16_t>(SB::kScheduleStop, 1380);
  b.Set<uint16_t>(SB::kLoggingStart, 75);
  b.Set<uint16_t>(SB::kLoggingStop, 1439);
  b.Set<uint8_t>(SB::kL2Flag, 1);
  SetTracking(cs, 3, 50, 100, 40, 80);
  SetTracking(cs, 17, 7, 9, 0, 0);
  b.Set<int8_t>(SB::kElevationMask, 10);
  b.Set<int8_t>(SB::kMinSvs, 4);
  b.Set<uint16_t>(SB::kSyncRate, 150);
  b.Set<uint8_t>(SB::kLoggingSpecified, 1);
  b.Set<uint8_t>(SB::kLogPositionOnly, 1);
  // 3D best and PDOP, 2D best and PDOP, 3D mean, 2D mean (semicircles, m).
  const double p[] = {0.25, -0.5, 100.3, 2.5, 0.1, 0.2, 99.9, 0.25, -0.5, 100.7, 0.3, 0.4};
  for (int i = 0; i < 12; ++i) b.SetP(i, p[i]);
  b.Set<int32_t>(SB::kW5, 42);
  b.Set<int32_t>(SB::kW6, 56);
  return cs;
}

TEST(MesReport, WholeReport) {
  ConvState cs = Session();
  const std::string lat = "45:00'00.00000\" N", lon = " 90:00'00.00000\" W";
  EXPECT_EQ(Mes(cs),
            "Station ID: ab    Session #: 285-4     Oct 11, 2008 13:05\n"
            "Reference Position - RTCM REFERENCE:\n"
            "Lat.  = 45:00'00.000\" N  Long. =  90:00'00.000\" W  Height = 123.4  [meters]\n"
            "Antenna height   =  1.5000  [meters]  (entered in the field in meters)\n"
            "Long station name:  MAST\n"
            "\n"
            "Receiver serial # = 4294979641\n"
            "Antenna serial  # = 12345  (entered in the field)\n"
            "NP Software = 2.50     SP Software = 0.05     Download Software = 3.11.01\n"
            "\nSurvey schedule:  Start time = 01:00  Stop time = 23:00\n"
            "Data-logging start time = 01:15\n"
            "Data-logging stop  time = 23:59\n"
            "\n"
            "Tracking   SV  3  SV 17\n"
            "total L1     100      9\n"
            "cont  L1      50      7\n"
            "total L2      80      0\n"
            "cont  L2      40      0\n"
            "\n"
            "SV Selection mode = AUTOMATIC\n"
            "Elevation mask    = 10     [degrees]   Minimum # of SVs  =  4\n"
            "Survey sync rate  = 15.0   [sec]\n"
            "LOGGED POSITION DATA ONLY\n"
            "\n"
            "3D Position      Best PDOP Position [ 2.5]     Mean Position [42]\n"
            "Latitude:" + Spaces(9) + lat + Spaces(13) + lat + "\n"
            "Longitude:" + Spaces(7) + lon + Spaces(12) + lon + "\n"
            "Height [m]:" + Spaces(16) + "100.3" + Spaces(25) + "100.7\n"
            "\n"  // PDOP 99.9 still gives a block; 18, 36, 54 and 72 degrees; no height
            "2D Position      Best PDOP Position [99.9]     Mean Position [56]\n"
            "Latitude:" + Spaces(9) + "18:00'00.00000\" N" + Spaces(13) + "54:00'00.00000\" N\n"
            "Longitude:" + Spaces(7) + " 36:00'00.00000\" E" + Spaces(12) + " 72:00'00.00000\" E\n"
            "\n");
  EXPECT_EQ(WriteMesReport(cs, nullptr, "A", "B"), 10);
}

TEST(MesReport, AbortedSessions) {
  ConvState cs = Session();
  cs.session.Set<uint16_t>(SB::kLoggingStop, 9999);
  const std::string text = Mes(cs);
  EXPECT_EQ(Count(text, "Session aborted due to receiver power failure\n"), 2);
  EXPECT_EQ(Count(text, "Tracking") + Count(text, "Position"), 1);  // only "Reference Position"
  EXPECT_TRUE(Has(text, "LOGGED POSITION DATA ONLY\n\nSession aborted due to receiver power failure\n\n"));
  cs.session.Set<uint16_t>(SB::kLoggingStart, 9999);
  EXPECT_TRUE(Has(Mes(cs), "Session manually aborted before data-logging could start\n"));
}

TEST(MesReport, FirstLine) {
  const struct { int week; double first; const char* station; const char* tail; const char* line; } cases[] = {
      {52, 0.0, "ab", "2854", "Station ID: ab    Session #: 285-4     Jan  4, 1981 00:00\n"},  // MJD 44608
      // 1 Jan 2080 = MJD 80764 = origin + 5217 weeks + 1 day.
      {5217, 86400000.0, "ab", "2854", "Station ID: ab    Session #: 285-4     Jan  1, 2080 00:00\n"},
      {65535, 0.0, "ab", "2854", "Station ID: ab    Session #: 285-4     ???  0, 0000 00:00\n"},
      {1500, 0.0, "AB", "1", "Station ID: AB    Session #: 1  -      Oct  5, 2008 00:00\n"},
      {1500, 0.0, nullptr, "ABCDEFG", "Station ID:       Session #: ABC-D     Oct  5, 2008 00:00\n"},
  };
  for (const auto& c : cases) {
    ConvState cs = Session();
    cs.rx.gpsWeek = static_cast<uint16_t>(c.week);
    cs.epoch.first = c.first;
    EXPECT_EQ(Mes(cs, c.station, c.tail).rfind(c.line, 0), 0u) << c.line;
  }
}

TEST(MesReport, OpeningAndIdentityVariants) {
  ConvState cs = Session();
  SessionBlock& b = cs.session;
  b.Set<uint8_t>(SB::kTestMode, 1);
  b.Set<uint8_t>(SB::kRefKind, 0);
  b.Set<uint8_t>(SB::kAntennaHeightUnit, 7);  // unknown: the line stays open
  b.Set<uint8_t>(SB::kStationNamePresent, 0);
  b.Set<uint32_t>(SB::kAntennaSerial, 0x80000005u);  // bit 31: an internal antenna
  b.Set<uint8_t>(SB::kSvSelection, 1);
  b.Set<int32_t>(SB::kReceiverSerial, -5);
  cs.rx.serialGiven = 0;
  cs.rx.navVersion = 0;  // not handed over: the firmware version stands in
  std::string text = Mes(cs);
  EXPECT_EQ(text.rfind("SURVEY WAS CONDUCTED WITH THE RECEIVER IN TEST MODE\n\nStation ID", 0), 0u);
  EXPECT_TRUE(Has(text, "Reference Position - NOT SPECIFIED:\n"));
  EXPECT_TRUE(Has(text, "[meters]  \nReceiver serial # = -5\nInternal antenna\nNP Software = 1.01 "));
  EXPECT_TRUE(Has(text, "SV Selection mode = MANUAL SELECTION\n") && !Has(text, "entered in the"));

  b.Set<uint8_t>(SB::kRefKind, 3);
  b.Set<uint32_t>(SB::kAntennaSerial, 77);
  b.Set<uint8_t>(SB::kAntennaSerialInField, 0);
  cs.rx.antennaGiven = 1;
  std::strcpy(cs.rx.antennaString, "    AB1234");
  b.Set<uint8_t>(SB::kStationNamePresent, 1);
  cs.rx.typeCode = 1;  // older receivers print no long station name
  b.Set<uint8_t>(SB::kScheduleSpecified, 0);
  text = Mes(cs);
  EXPECT_TRUE(Has(text, "Reference Position - USER SPECIFIED:\n") && !Has(text, "Long station name"));
  EXPECT_TRUE(Has(text, "Antenna serial  # =     AB1234  (entered in the office)\n"));
  EXPECT_TRUE(Has(text, "Survey schedule:  UNSPECIFIED\n"));
}

TEST(MesReport, TrackingGroupsOfTen) {
  ConvState cs = Session();
  cs.session.Set<uint8_t>(SB::kL2Flag, 0);
  for (int sv = 1; sv <= 23; ++sv) SetTracking(cs, sv, sv, 1000 + sv, 0, 0);
  const std::string text = Mes(cs);
  EXPECT_EQ(Count(text, "\nTracking ") * 10 + Count(text, "total L2"), 30);
  EXPECT_TRUE(Has(text, "\nTracking   SV  1  SV  2  SV  3  SV  4  SV  5  SV  6  SV  7  SV  8  SV  9  SV 10\n"));
  EXPECT_TRUE(Has(text, "\nTracking   SV 21  SV 22  SV 23\ntotal L1    1021   1022   1023\n"
                       "cont  L1      21     22     23\n"));
}

// Above PDOP 100.0, or with all four positions zero, a block is "not
// available"; positions far out of range still give bounded lines.
TEST(MesReport, UnavailableAndWildPositions) {
  ConvState cs = Session();
  cs.session.SetP(3, 100.0);
  EXPECT_TRUE(Has(Mes(cs), "\n3D Position      Position not available\n\n2D Position      Best"));
  cs = Session();
  for (int i : {4, 5, 10, 11}) cs.session.SetP(i, 0.0);
  EXPECT_TRUE(Has(Mes(cs), "\n2D Position      Position not available\n\n"));
  cs = Session();
  cs.session.SetP(0, 1e300);
  cs.session.SetP(2, -1e300);
  cs.session.SetP(8, std::numeric_limits<double>::quiet_NaN());
  const std::string text = Mes(cs);
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    EXPECT_LE(end - start, 256u);
}

}  // namespace
