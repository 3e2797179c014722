// Fuzz target: a whole conversion of arbitrary bytes with every output
// requested. The first byte chooses the input format (Q00, K00, K01, K02)
// and a few options; the rest is the input file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/application.h"
#include "dat/conv_state.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const std::string dir = fuzz::WorkDir();
  const uint8_t control = data[0];
  const std::string in = dir + "/input";
  fuzz::WriteWhole(in, data + 1, size - 1);

  Application* app = new Application();
  ConvState* cs = new ConvState();
  app->SetMessageCallback(fuzz::DropLine, nullptr);
  std::snprintf(app->inputNames[0], kInputNameSize, "%s", in.c_str());
  app->inputGiven = 1;
  app->inputFormat = static_cast<int16_t>(1 + (control & 3));
  if (app->inputFormat != kFormatQ00) app->includeEphemeris = app->includeIonUtc = 0;
  std::snprintf(app->outputBase, kNameSize, "%s/out", dir.c_str());
  app->extensionPos = app->outputBase + std::strlen(app->outputBase);
  std::snprintf(app->datExtension, kNameSize, ".vx!");
  app->produceDat = app->produceEph = app->produceIon = app->produceMes = 1;
  app->produceSummary = app->produceApp = 1;
  app->fixup = (control >> 2) & 1;
  app->ignoreChecksum = (control >> 3) & 1;
  app->type27Mode = static_cast<int16_t>((control >> 4) % 3);
  app->l2Mode = static_cast<int16_t>((control >> 6) & 3);
  app->verbose = 3;
  app->RunConversion(*cs);
  delete cs;
  delete app;
  return 0;
}
