#include "support/conversion_runner.h"

#include <cstring>
#include <filesystem>

#include "dat/conv_state.h"
#include "support/record_builder.h"

namespace tb {

namespace {

void Collect(int32_t level, const char* text, void* user) {
  static_cast<Conversion*>(user)->lines.emplace_back(level, text);
}

const char* ExtensionOf(int16_t format) {
  switch (format) {
    case kFormatK00: return ".k00";
    case kFormatK01: return ".K01";
    case kFormatK02: return ".K02";
    default: return ".q00";
  }
}

}  // namespace

Status Conversion::Run() {
  const std::string dir = MakeTempDir();
  const std::string in = dir + "/gs00233a" + ExtensionOf(format);
  WriteFile(in, input);
  Application app;
  ConvState cs;
  std::snprintf(app.inputNames[0], kInputNameSize, "%s", in.c_str());
  app.inputGiven = 1;
  app.inputFormat = format;
  // Include flags as name resolution leaves them for each kind of file.
  app.includeHeader = format == kFormatK01 ? 0 : 1;
  app.includeEphemeris = app.includeIonUtc = format == kFormatQ00 ? 1 : 0;
  std::snprintf(app.outputBase, kNameSize, "%s/gs00233a", dir.c_str());
  app.extensionPos = app.outputBase + std::strlen(app.outputBase);
  std::snprintf(app.datExtension, kNameSize, ".vx!");
  for (char c : outputs) {
    int16_t* flag = c == 'd'   ? &app.produceDat
                    : c == 'e' ? &app.produceEph
                    : c == 'i' ? &app.produceIon
                    : c == 'm' ? &app.produceMes
                    : c == 'a' ? &app.produceApp
                    : c == 's' ? &app.produceSummary
                               : nullptr;
    if (flag != nullptr) *flag = 1;
  }
  app.verbose = verbose;
  app.fixup = fixup;
  app.ignoreChecksum = ignoreChecksum;
  app.type27Mode = type27Mode;
  app.l2Mode = l2Mode;
  app.gpsWeek = gpsWeek;
  app.SetMessageCallback(Collect, this);
  if (progress != nullptr) app.SetProgressCallback(progress, 0, 0);
  status = around ? around(app, cs) : app.RunConversion(cs);
  records = app.recordCount;
  checksumErrors = app.checksumErrors;
  lostBytes = app.lostBytes;
  files.clear();
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path() == in) continue;
    files[entry.path().extension().string()] = ReadFile(entry.path().string());
  }
  RemoveTree(dir);
  return status;
}

const std::vector<uint8_t>& Conversion::Dat() const {
  static const std::vector<uint8_t> none;
  for (const char* ext : {".dat", ".vxd", ".vx!"}) {
    auto it = files.find(ext);
    if (it != files.end()) return it->second;
  }
  return none;
}

}  // namespace tb
