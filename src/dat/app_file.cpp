// Placeholder until the application file is built.
#include "dat/app_file.h"
#include <cstdlib>
#include "dat/conv_state.h"
void AppendAppBlock(ConvState&, const uint8_t*, size_t) {}
Status WriteAppFile(ConvState&, const uint8_t*, uint16_t, FILE*) { return status::kOk; }
void FreeAppInfo(AppInfo* info) {
  if (info == nullptr) return;
  std::free(info->buffer);
  info->buffer = nullptr;
}
