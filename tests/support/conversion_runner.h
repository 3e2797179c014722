// Runs a whole conversion in-process on one input file, with the options
// set as the command line and name resolution would set them, and collects
// the status, counters, console lines and every output file.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/application.h"

namespace tb {

struct Conversion {
  // The input file and the options.
  std::vector<uint8_t> input;
  int16_t format = kFormatQ00;
  std::string outputs = "d";  // letters d, e, i, m, a, s as on the command line
  int16_t verbose = 0;
  bool fixup = false;
  bool ignoreChecksum = false;
  int16_t type27Mode = 1;
  int16_t l2Mode = 3;
  int16_t gpsWeek = 0;
  ProgressCallback progress = nullptr;
  // When set, called in place of RunConversion: it may adjust the
  // application first or wrap the call (a file-size limit, say).
  std::function<Status(Application&, ConvState&)> around;

  // What the run gave.
  Status status = 0;
  uint32_t records = 0;
  uint32_t checksumErrors = 0;
  uint32_t lostBytes = 0;
  std::vector<std::pair<int, std::string>> lines;
  std::map<std::string, std::vector<uint8_t>> files;  // by extension, ".dat", ".eph" ...

  // Converts the input as "gs00233a" in a fresh folder, which is removed
  // afterwards. Returns the status.
  Status Run();
  // The DAT file under whichever final extension it got (empty if none).
  const std::vector<uint8_t>& Dat() const;
};

}  // namespace tb
