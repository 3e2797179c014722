#include "k01lib/k01_decoder.h"

#include <new>

namespace k01 {

void LibraryStartup() {}
void LibraryCleanup() {}

K01Decoder* CreateDecoder() { return new (std::nothrow) K01Decoder(); }
void DestroyDecoder(K01Decoder* d) { delete d; }
bool ResetDecoderBuffers(K01Decoder* d) {
  if (d == nullptr) return false;
  *d = K01Decoder();
  return true;
}

}  // namespace k01
