// Command-line option parsing.
//
// Each argument is one option; the character after the '-' decides how the
// rest is read. Arguments that are not options are input and output names.
#include <cstdlib>
#include <cstring>

#include "app/application.h"
#include "app/input_resolution.h"

namespace {

bool Contains(const char* arg, char c) { return std::strchr(arg, c) != nullptr; }

// A decimal number as read by the option parser: leading blanks and a sign
// are accepted, parsing stops at the first non-digit, no digits read as 0.
// Values beyond 64 bits are clamped rather than left undefined.
long long ReadDecimal(const char* text) { return std::strtoll(text, nullptr, 10); }

// -l2e, -l2c, -l2e+, -l2c+; anything else leaves the mode unchanged.
void ParseL2Option(Application& app, const char* arg) {
  if (arg[2] != '2') return;
  char which = arg[3];
  if (which != 'e' && which != 'c') return;
  bool preferred = arg[4] == '+';
  if (which == 'e') {
    app.l2Mode = preferred ? 2 : 0;
  } else {
    app.l2Mode = preferred ? 3 : 1;
  }
}

// -RNav,Sig: tokens split at any of ",.;:" CR LF; a missing one counts as 0.
void ParseVersionOverride(Application& app, const char* rest) {
  constexpr const char* kSeparators = ",.;:\r\n";
  long long values[2] = {0, 0};
  const char* p = rest;
  for (int i = 0; i < 2; ++i) {
    while (*p != '\0' && std::strchr(kSeparators, *p) != nullptr) ++p;
    if (*p == '\0') break;
    values[i] = ReadDecimal(p);
    while (*p != '\0' && std::strchr(kSeparators, *p) == nullptr) ++p;
  }
  app.navVersion = static_cast<int16_t>(values[0]);
  app.sigVersion = static_cast<int16_t>(values[1]);
}

void ParseExclude(Application& app, const char* arg) {
  if (Contains(arg, '*')) {
    app.includeHeader = 0;
    app.includeEphemeris = 0;
    app.includeIonUtc = 0;
    return;
  }
  if (Contains(arg, 'e')) app.includeEphemeris = 0;
  if (Contains(arg, 'h')) app.includeHeader = 0;
  if (Contains(arg, 'i')) app.includeIonUtc = 0;
}

void ParseFormat(Application& app, const char* rest) {
  int16_t format = kFormatNone;
  if (std::strcmp(rest, ".Q00") == 0 || std::strcmp(rest, ".q00") == 0) {
    format = kFormatQ00;
  } else if (std::strcmp(rest, ".K00") == 0 || std::strcmp(rest, ".k00") == 0) {
    format = kFormatK00;
  } else if (std::strcmp(rest, ".K01") == 0 || std::strcmp(rest, ".k01") == 0) {
    format = kFormatK01;
  } else if (std::strcmp(rest, ".K02") == 0 || std::strcmp(rest, ".k02") == 0) {
    format = kFormatK02;
  }
  app.inputFormat = format;
  if (format == kFormatK00 || format == kFormatK01 || format == kFormatK02) {
    app.includeEphemeris = 0;
    app.includeHeader = 0;
  }
}

// Letters set their field to 1 and never clear one; 'v' may carry a level.
void ParseLetterGroup(Application& app, const char* arg) {
  if (Contains(arg, 'a')) app.produceApp = 1;
  if (Contains(arg, 'd')) app.produceDat = 1;
  if (Contains(arg, 'e')) app.produceEph = 1;
  if (Contains(arg, 'i')) app.produceIon = 1;
  if (Contains(arg, 'm')) app.produceMes = 1;
  if (Contains(arg, 'f')) app.fixup = 1;
  if (Contains(arg, 'c')) app.ignoreChecksum = 1;
  const char* v = std::strchr(arg, 'v');
  if (v != nullptr) {
    app.verbose = 1;
    if (v[1] == '2' || v[1] == '3' || v[1] == '4') app.verbose = static_cast<int16_t>(v[1] - '0');
  }
}

}  // namespace

Status Application::ParseArguments(int argc, const char* const* argv, bool resetDefaults) {
  if (resetDefaults) {
    fixSerialMode = 0;
    type27Mode = 1;
    l2Mode = 3;
  }
  Status st = status::kOk;
  for (int i = 1; i < argc && st == status::kOk; ++i) {
    const char* arg = argv[i];
    if (arg == nullptr) continue;

    if (std::strcmp(arg, "-!!!") == 0) {
      PrintUsage(true);
      usagePrinted = true;
      return status::kOk;
    }

    if (arg[0] == '-') {
      const char* rest = arg[1] != '\0' ? arg + 2 : arg + 1;
      switch (arg[1]) {
        case 's': {
          size_t n = std::strlen(rest);
          // A summary name that does not fit cannot be opened.
          if (n >= static_cast<size_t>(kNameSize)) return status::kSummaryOpen;
          produceSummary = 1;
          std::memcpy(summaryName, rest, n + 1);
          summaryNameGiven = n > 0 ? 1 : 0;
          break;
        }
        case 'k': {
          uint32_t filter = static_cast<uint32_t>(ReadDecimal(rest));
          recordFilter = filter == 0 ? 0xFFFFFFFFu : filter;
          break;
        }
        case 'l':
          ParseL2Option(*this, arg);
          break;
        case 'n':
          fixSerialMode = arg[2] == '!' ? 2 : 1;
          break;
        case 'g':
          type27Mode = 0;
          break;
        case 'o':
          type27Mode = arg[2] == '+' ? 2 : 1;
          break;
        case 'R':
          ParseVersionOverride(*this, rest);
          break;
        case 'u':
          updateNameMode = arg[2] == '1' ? 1 : 0;
          break;
        case 'W':
          gpsWeek = static_cast<int16_t>(ReadDecimal(rest));
          break;
        case 'x':
          ParseExclude(*this, arg);
          break;
        case 't':
          ParseFormat(*this, rest);
          break;
        default:
          ParseLetterGroup(*this, arg);
          break;
      }
      continue;
    }

    if (arg[0] == '@') {
      st = TakeListFile(*this, arg + 1);
      continue;
    }

    if (!inputGiven) {
      st = TakeInputList(*this, arg);
    } else if (!outputGiven) {
      size_t n = std::strlen(arg);
      // An output name that does not fit cannot be opened.
      if (n >= static_cast<size_t>(kNameSize)) return status::kDatOpen;
      std::memcpy(outputBase, arg, n + 1);
      outputGiven = 1;
    }
  }
  return st;
}
