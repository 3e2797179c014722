#include "report/mes_report.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "dat/conv_state.h"
#include "report/angle_format.h"
#include "report/gps_time.h"
#include "report/report_util.h"

namespace {

using SB = SessionBlock;

constexpr uint16_t kNoTime = 9999;
constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A report line laid out by column: blanks, then fields placed at their
// columns. Printed up to the end of the field placed last.
class Line {
 public:
  static constexpr size_t kSize = 256;

  explicit Line(size_t blanks) { std::memset(buf_, ' ', blanks < kSize ? blanks : kSize); }

  void Put(size_t column, const char* text) {
    size_t n = std::strlen(text);
    if (column >= kSize) return;
    if (n > kSize - column) n = kSize - column;
    std::memcpy(buf_ + column, text, n);
    end_ = column + n;
  }

  __attribute__((format(printf, 3, 4))) void Putf(size_t column, const char* format, ...) {
    char text[kSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    Put(column, text);
  }

  void PutAngle(size_t column, int kind, double value) {
    char text[kSize];
    FormatAngle(text, sizeof text, kind, value, 5, 3);
    Put(column, text);
  }

  void Print(FILE* out) const { std::fwrite(buf_, 1, end_, out); }

 private:
  char buf_[kSize] = {};
  size_t end_ = 0;
};

// The first 4 characters of a text, padded with spaces.
void Four(const char* text, char out[4]) {
  std::memset(out, ' ', 4);
  if (text == nullptr) return;
  for (int i = 0; i < 4 && text[i] != '\0'; ++i) out[i] = text[i];
}

void PrintDate(FILE* out, const ConvState& cs) {
  int16_t year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double seconds = 0.0;
  if (GpsToCalendar(cs.epoch.first / 1000.0, ReportWeek(cs), &year, &month, &day, &hour, &minute,
                    &seconds) != 0) {
    // No date for a time that cannot be converted.
    std::fprintf(out, "%s%3d, %04d %02d:%02d\n", "???", 0, 0, 0, 0);
    return;
  }
  int yy = year;
  if (yy >= 100) yy -= 100;
  const char* name = kMonths[month - 1];
  if (yy < 81)
    std::fprintf(out, "%s%3d, 20%02d %02d:%02d\n", name, day, yy, hour, minute);
  else
    std::fprintf(out, "%s%3d, 19%02d %02d:%02d\n", name, day, yy, hour, minute);
}

void PrintTrackingRow(FILE* out, const char* label, const int* svs, int count, const ConvState& cs,
                      uint32_t report::TrackingFigures::*field) {
  std::fprintf(out, "%s", label);
  for (int i = 0; i < count; ++i) {
    const report::TrackingFigures t = report::Tracking(cs, svs[i]);
    std::fprintf(out, " %6ld", static_cast<long>(static_cast<int32_t>(t.*field)));
  }
  std::fprintf(out, "\n");
}

void PrintTrackingTable(FILE* out, const ConvState& cs) {
  int svs[32];
  int count = 0;
  for (int sv = 1; sv <= 32; ++sv)
    if (report::Tracking(cs, sv).totalL1 != 0) svs[count++] = sv;
  const bool l2 = cs.session.Get<uint8_t>(SB::kL2Flag) != 0;
  for (int start = 0; start < count; start += 10) {
    const int n = count - start < 10 ? count - start : 10;
    const int* group = svs + start;
    std::fprintf(out, "\n");
    std::fprintf(out, "Tracking ");
    for (int i = 0; i < n; ++i) std::fprintf(out, "  SV %2d", group[i]);
    std::fprintf(out, "\n");
    PrintTrackingRow(out, "total L1 ", group, n, cs, &report::TrackingFigures::totalL1);
    PrintTrackingRow(out, "cont  L1 ", group, n, cs, &report::TrackingFigures::contL1);
    if (l2) {
      PrintTrackingRow(out, "total L2 ", group, n, cs, &report::TrackingFigures::totalL2);
      PrintTrackingRow(out, "cont  L2 ", group, n, cs, &report::TrackingFigures::contL2);
    }
  }
}

// The best-PDOP and mean positions of position block k (0 3D, 1 2D).
void PrintPositionBlock(FILE* out, const SessionBlock& b, int k) {
  const bool threeD = k == 0;
  const double bestLat = b.P(threeD ? 0 : 4);
  const double bestLon = b.P(threeD ? 1 : 5);
  const double pdop = b.P(threeD ? 3 : 6);
  const double meanLat = b.P(threeD ? 7 : 10);
  const double meanLon = b.P(threeD ? 8 : 11);
  const int32_t count = b.Get<int32_t>(threeD ? SB::kW5 : SB::kW6);

  std::fprintf(out, "\n");
  Line title(Line::kSize);
  title.Put(0, threeD ? "3D Position  " : "2D Position  ");
  if ((bestLat == 0.0 && bestLon == 0.0 && meanLat == 0.0 && meanLon == 0.0) || pdop > 99.9) {
    title.Put(17, "Position not available");
    title.Print(out);
    std::fprintf(out, "\n");
    return;
  }
  title.Put(17, "Best PDOP Position [");
  title.Putf(37, "%4.1f]", pdop);
  title.Putf(47, "Mean Position [%ld]", static_cast<long>(count));
  title.Print(out);
  std::fprintf(out, "\n");

  Line lat(100);
  lat.Put(0, "Latitude:");
  lat.PutAngle(18, kAngleLatitude, bestLat);
  lat.PutAngle(48, kAngleLatitude, meanLat);
  lat.Print(out);
  std::fprintf(out, "\n");

  // Longitude texts are one character longer: they start one column
  // earlier so that both end where the latitude texts end.
  Line lon(100);
  lon.Put(0, "Longitude:");
  lon.PutAngle(17, kAngleLongitude, bestLon);
  lon.PutAngle(47, kAngleLongitude, meanLon);
  lon.Print(out);
  std::fprintf(out, "\n");

  if (threeD) {
    Line height(100);
    height.Put(0, "Height [m]:");
    height.Putf(17, "%15.1f", b.P(2));
    height.Putf(47, "%15.1f", b.P(9));
    height.Print(out);
    std::fprintf(out, "\n");
  }
}

}  // namespace

Status WriteMesReport(ConvState& cs, FILE* out, const char* stationText, const char* nameTail) {
  if (out == nullptr) return status::kMesNotOpen;
  const SessionBlock& b = cs.session;
  const ReceiverIdentity& rx = cs.rx;

  if (b.Get<uint8_t>(SB::kTestMode))
    std::fprintf(out, "SURVEY WAS CONDUCTED WITH THE RECEIVER IN TEST MODE\n\n");

  char st[4], tail[4];
  Four(stationText, st);
  Four(nameTail, tail);
  std::fprintf(out, "Station ID: %c%c%c%c  Session #: %c%c%c-%c     ", st[0], st[1], st[2], st[3],
               tail[0], tail[1], tail[2], tail[3]);
  PrintDate(out, cs);

  std::fprintf(out, "Reference Position - ");
  const uint8_t refKind = b.Get<uint8_t>(SB::kRefKind);
  std::fprintf(out, "%s", refKind == 254 ? "RTCM REFERENCE:"
                          : refKind != 0 ? "USER SPECIFIED:"
                                         : "NOT SPECIFIED:");
  std::fprintf(out, "\n");

  char angle[Line::kSize];
  FormatAngle(angle, sizeof angle, kAngleLatitude, b.Get<double>(SB::kRefLatitude), 3, 3);
  std::fprintf(out, "Lat.  = %s", angle);
  FormatAngle(angle, sizeof angle, kAngleLongitude, b.Get<double>(SB::kRefLongitude), 3, 3);
  std::fprintf(out, "  Long. = %s", angle);
  std::fprintf(out, "  Height = %.1f  [meters]\n", b.Get<double>(SB::kRefHeight));

  std::fprintf(out, "Antenna height   = %7.4f  [meters]  ", b.Get<double>(SB::kAntennaHeight));
  switch (b.Get<uint8_t>(SB::kAntennaHeightUnit)) {
    case 0: std::fprintf(out, "(entered in the field in inches)\n"); break;
    case 1: std::fprintf(out, "(entered in the field in feet)\n"); break;
    case 2: std::fprintf(out, "(entered in the field in meters)\n"); break;
    case 3: std::fprintf(out, "(entered in the field in centimeters)\n"); break;
    default: break;  // the line stays open
  }

  if (b.Get<uint8_t>(SB::kStationNamePresent) && rx.typeCode >= 2) {
    int n = b.Get<uint8_t>(SB::kStationNameLength) + 1;
    const char* name = reinterpret_cast<const char*>(b.bytes + SB::kStationName);
    if (n > 50) n = 50;
    std::fprintf(out, "Long station name:  %.*s\n", report::FieldLength(name, static_cast<size_t>(n)),
                 name);
  }
  std::fprintf(out, "\n");

  if (rx.serialGiven)
    std::fprintf(out, "Receiver serial # = %.*s\n",
                 report::FieldLength(rx.serialString, sizeof rx.serialString), rx.serialString);
  else
    std::fprintf(out, "Receiver serial # = %ld\n",
                 static_cast<long>(b.Get<int32_t>(SB::kReceiverSerial)));

  const uint32_t antenna = b.Get<uint32_t>(SB::kAntennaSerial);
  if (antenna & 0x80000000u) {
    std::fprintf(out, "Internal antenna\n");
  } else {
    if (rx.antennaGiven)
      std::fprintf(out, "Antenna serial  # = %.*s",
                   report::FieldLength(rx.antennaString, sizeof rx.antennaString), rx.antennaString);
    else
      std::fprintf(out, "Antenna serial  # = %ld", static_cast<long>(antenna));
    std::fprintf(out, b.Get<uint8_t>(SB::kAntennaSerialInField) ? "  (entered in the field)\n"
                                                                  : "  (entered in the office)\n");
  }

  const int nav = static_cast<int16_t>(rx.navVersion != 0 ? rx.navVersion : rx.firmwareVersion);
  const int sig = static_cast<int16_t>(rx.sigVersion);
  std::fprintf(out, "NP Software = %d.%02d     ", nav / 100, nav % 100);
  std::fprintf(out, "SP Software = %d.%02d     ", sig / 100, sig % 100);
  std::fprintf(out, "Download Software = %d.%02d.%02d\n", cs.downloadVersion[0],
               cs.downloadVersion[1], cs.downloadVersion[2]);

  std::fprintf(out, "\nSurvey schedule:  ");
  if (b.Get<uint8_t>(SB::kScheduleSpecified)) {
    const int start = b.Get<uint16_t>(SB::kScheduleStart);
    const int stop = b.Get<uint16_t>(SB::kScheduleStop);
    std::fprintf(out, "Start time = %02d:%02d", start / 60, start % 60);
    std::fprintf(out, "  Stop time = %02d:%02d\n", stop / 60, stop % 60);
  } else {
    std::fprintf(out, "UNSPECIFIED\n");
  }

  const int logStart = b.Get<uint16_t>(SB::kLoggingStart);
  const int logStop = b.Get<uint16_t>(SB::kLoggingStop);
  if (logStart != kNoTime)
    std::fprintf(out, "Data-logging start time = %02d:%02d\n", logStart / 60, logStart % 60);
  else
    std::fprintf(out, "Session manually aborted before data-logging could start\n");
  if (logStop != kNoTime) {
    std::fprintf(out, "Data-logging stop  time = %02d:%02d\n", logStop / 60, logStop % 60);
    if (cs.tracking.seen) PrintTrackingTable(out, cs);
  } else {
    std::fprintf(out, "Session aborted due to receiver power failure\n");
  }

  std::fprintf(out, "\n");
  std::fprintf(out, "SV Selection mode = ");
  std::fprintf(out, "%s", b.Get<uint8_t>(SB::kSvSelection) ? "MANUAL SELECTION" : "AUTOMATIC");
  std::fprintf(out, "\n");
  std::fprintf(out, "Elevation mask    = %2d     [degrees]", b.Get<int8_t>(SB::kElevationMask));
  std::fprintf(out, "   Minimum # of SVs  = %2d\n", b.Get<int8_t>(SB::kMinSvs));
  std::fprintf(out, "Survey sync rate  = %-5.1f  [sec]\n", b.Get<uint16_t>(SB::kSyncRate) * 0.1);
  if (b.Get<uint8_t>(SB::kLoggingSpecified)) {
    if (b.Get<uint8_t>(SB::kLogPositionOnly)) std::fprintf(out, "LOGGED POSITION DATA ONLY\n");
    if (b.Get<uint8_t>(SB::kLogPositionEveryCycle))
      std::fprintf(out, "LOGGED POSITION DATA EVERY CYCLE\n");
  }

  if (logStop != kNoTime) {
    PrintPositionBlock(out, b, 0);
    PrintPositionBlock(out, b, 1);
  } else {
    std::fprintf(out, "\nSession aborted due to receiver power failure\n");
  }
  std::fprintf(out, "\n");
  return status::kOk;
}
