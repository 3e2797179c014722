#include "report/mes_report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "dat/conv_state.h"
#include "report/report_capture.h"

namespace {

using SB = SessionBlock;

constexpr double kSaturday = 518400000.0;

std::string Mes(ConvState& cs, const char* station = "ab", const char* tail = "2854") {
  return Capture([&](FILE* f) { EXPECT_EQ(WriteMesReport(cs, f, station, tail), 0); });
}

std::string Spaces(int n) { return std::string(static_cast<size_t>(n), ' '); }

void SetTracking(ConvState& cs, int sv, int32_t contL1, int32_t totalL1, int32_t contL2,
                 int32_t totalL2) {
  cs.tracking.seen = 1;
  int32_t* w = cs.tracking.current[sv];
  w[0] = contL1, w[1] = totalL1, w[2] = contL2, w[3] = totalL2, w[4] = 1;
}

// A complete session: week 1500, first epoch Saturday 13:05.
ConvState Session() {
  ConvState cs;
  SessionBlock& b = cs.session;
  cs.rx.gpsWeek = 1500;
  cs.epoch.first = kSaturday + 13 * 3600000.0 + 5 * 60000.0;
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
  b.SetP(0, 0.25);
  b.SetP(1, -0.5);
  b.SetP(2, 100.3);
  b.SetP(3, 2.5);
  b.SetP(7, 0.25);
  b.SetP(8, -0.5);
  b.SetP(9, 100.7);
  b.Set<int32_t>(SB::kW5, 42);
  return cs;
}

TEST(MesReport, WholeReport) {
  ConvState cs = Session();
  const std::string lat = "45:00'00.00000\" N";   // 17 characters
  const std::string lon = " 90:00'00.00000\" W";  // 18 characters
  const std::string expected =
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
      "3D Position  " + Spaces(4) + "Best PDOP Position [" + " 2.5]" + Spaces(5) +
      "Mean Position [42]\n"
      "Latitude:" + Spaces(9) + lat + Spaces(13) + lat + "\n"
      "Longitude:" + Spaces(7) + lon + Spaces(12) + lon + "\n"
      "Height [m]:" + Spaces(6) + Spaces(10) + "100.3" + Spaces(15) + Spaces(10) + "100.7\n"
      "\n"
      "2D Position  " + Spaces(4) + "Position not available\n"
      "\n";
  EXPECT_EQ(Mes(cs), expected);
}

TEST(MesReport, PowerFailureSession) {
  ConvState cs = Session();
  cs.session.Set<uint16_t>(SB::kLoggingStop, 9999);
  const std::string text = Mes(cs);
  EXPECT_EQ(Count(text, "Session aborted due to receiver power failure\n"), 2);
  EXPECT_EQ(Count(text, "Tracking"), 0);
  EXPECT_EQ(Count(text, "Position"), 1);  // only "Reference Position"
  EXPECT_NE(text.find("LOGGED POSITION DATA ONLY\n\nSession aborted due to receiver power "
                      "failure\n\n"),
            std::string::npos);

  cs.session.Set<uint16_t>(SB::kLoggingStart, 9999);
  EXPECT_NE(Mes(cs).find("Session manually aborted before data-logging could start\n"),
            std::string::npos);
}

TEST(MesReport, DateLine) {
  struct Case {
    const char* what;
    int week;
    double first;
    const char* line;
  } cases[] = {
      {"2009", 1513, 0.0, "Jan  4, 2009 00:00\n"},  // week 1513 starts 4 Jan 2009
      {"1999", 1000, 0.0, "Mar  7, 1999 00:00\n"},  // week 1000 starts 7 Mar 1999
      {"1981", 52, 0.0, "Jan  4, 1981 00:00\n"},    // 44244 + 364 = 44608
      // 2080: 1 Jan 2080 = MJD 51544 + 80 x 365 + 20 = 80764 = origin + 5217 weeks + 1 day.
      {"2080", 5217, 86400000.0, "Jan  1, 2080 00:00\n"},
      {"cannot be converted", 65535, 0.0, "???  0, 0000 00:00\n"},
  };
  for (const Case& c : cases) {
    ConvState cs = Session();
    cs.rx.gpsWeek = static_cast<uint16_t>(c.week);
    cs.epoch.first = c.first;
    EXPECT_NE(Mes(cs).find(std::string("Session #: 285-4     ") + c.line), std::string::npos)
        << c.what;
  }
}

TEST(MesReport, StationFieldsPadded) {
  ConvState cs = Session();
  const std::string text = Mes(cs, "AB", "1");
  EXPECT_EQ(text.rfind("Station ID: AB    Session #: 1  -      ", 0), 0u) << text;
  EXPECT_EQ(Mes(cs, nullptr, "ABCDEFG").rfind("Station ID:       Session #: ABC-D     ", 0), 0u);
}

TEST(MesReport, OpeningAndIdentityVariants) {
  ConvState cs = Session();
  cs.session.Set<uint8_t>(SB::kTestMode, 1);
  cs.session.Set<uint8_t>(SB::kRefKind, 0);
  cs.session.Set<uint8_t>(SB::kAntennaHeightUnit, 7);
  cs.session.Set<uint8_t>(SB::kStationNamePresent, 0);
  cs.session.Set<uint32_t>(SB::kAntennaSerial, 0x80000005u);
  cs.session.Set<uint8_t>(SB::kSvSelection, 1);
  cs.rx.serialGiven = 0;
  cs.session.Set<int32_t>(SB::kReceiverSerial, -5);
  cs.rx.navVersion = 0;  // not handed over: the firmware version stands in
  const std::string text = Mes(cs);
  EXPECT_EQ(text.rfind("SURVEY WAS CONDUCTED WITH THE RECEIVER IN TEST MODE\n\nStation ID", 0), 0u);
  EXPECT_NE(text.find("Reference Position - NOT SPECIFIED:\n"), std::string::npos);
  // An unknown unit leaves the line open.
  EXPECT_NE(text.find("[meters]  \nReceiver serial # = -5\nInternal antenna\nNP Software = 1.01 "),
            std::string::npos);
  EXPECT_EQ(Count(text, "entered in the"), 0);
  EXPECT_NE(text.find("SV Selection mode = MANUAL SELECTION\n"), std::string::npos);

  cs.session.Set<uint8_t>(SB::kRefKind, 3);
  cs.session.Set<uint32_t>(SB::kAntennaSerial, 77);
  cs.session.Set<uint8_t>(SB::kAntennaSerialInField, 0);
  cs.rx.antennaGiven = 1;
  std::strcpy(cs.rx.antennaString, "    AB1234");
  cs.session.Set<uint8_t>(SB::kStationNamePresent, 1);
  cs.rx.typeCode = 1;  // older receivers print no long station name
  cs.session.Set<uint8_t>(SB::kScheduleSpecified, 0);
  const std::string other = Mes(cs);
  EXPECT_NE(other.find("Reference Position - USER SPECIFIED:\n"), std::string::npos);
  EXPECT_NE(other.find("Antenna serial  # =     AB1234  (entered in the office)\n"),
            std::string::npos);
  EXPECT_EQ(Count(other, "Long station name"), 0);
  EXPECT_NE(other.find("Survey schedule:  UNSPECIFIED\n"), std::string::npos);
}

TEST(MesReport, TrackingGroupsOfTen) {
  ConvState cs = Session();
  cs.session.Set<uint8_t>(SB::kL2Flag, 0);
  for (int sv = 1; sv <= 23; ++sv) SetTracking(cs, sv, sv, 1000 + sv, 0, 0);
  const std::string text = Mes(cs);
  EXPECT_EQ(Count(text, "\nTracking "), 3);
  EXPECT_EQ(Count(text, "total L2"), 0);
  std::string first = "\nTracking ";
  for (int sv = 1; sv <= 10; ++sv) first += "  SV " + std::string(sv < 10 ? " " : "") + std::to_string(sv);
  EXPECT_NE(text.find(first + "\n"), std::string::npos);
  EXPECT_NE(text.find("\nTracking   SV 21  SV 22  SV 23\n"
                      "total L1    1021   1022   1023\n"
                      "cont  L1      21     22     23\n"),
            std::string::npos);
}

TEST(MesReport, PdopLimit) {
  struct Case {
    double pdop;
    bool available;
  } cases[] = {{99.9, true}, {100.0, false}, {0.0, true}};
  for (const Case& c : cases) {
    ConvState cs = Session();
    cs.session.SetP(3, c.pdop);
    const std::string text = Mes(cs);
    EXPECT_EQ(text.find("3D Position      Position not available") == std::string::npos, c.available)
        << c.pdop;
  }
  ConvState cs = Session();
  cs.session.SetP(3, 99.9);
  EXPECT_NE(Mes(cs).find("Best PDOP Position [99.9]     Mean Position [42]\n"), std::string::npos);
}

TEST(MesReport, WildPositionsStayWithinTheLine) {
  ConvState cs = Session();
  cs.session.SetP(0, 1e300);
  cs.session.SetP(2, -1e300);
  cs.session.SetP(8, std::numeric_limits<double>::quiet_NaN());
  const std::string text = Mes(cs);
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    EXPECT_LE(end - start, 256u);
}

TEST(MesReport, NoStream) {
  ConvState cs;
  EXPECT_EQ(WriteMesReport(cs, nullptr, "A", "B"), 10);
}

}  // namespace
