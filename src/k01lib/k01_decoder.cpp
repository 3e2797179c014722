#include "k01lib/k01_decoder.h"

#include <cstring>
#include <new>

#include "k01lib/block_prefetch.h"

namespace k01 {

void LibraryStartup() { buildHuffmanTree(); }
void LibraryCleanup() { freeHuffmanTree(); }

K01Decoder* CreateDecoder() {
  K01Decoder* d = new (std::nothrow) K01Decoder();
  if (d != nullptr) ResetDecoderBuffers(d);
  return d;
}

void DestroyDecoder(K01Decoder* d) {
  if (d == nullptr) return;
  destroyPrefetch(d->prefetch);
  delete d;
}

void resetReader(K01Decoder* d) {
  if (d == nullptr) return;
  std::memset(&d->inputRecord, 0, sizeof d->inputRecord);
  std::memset(&d->stream, 0, sizeof d->stream);
  std::memset(&d->streamSaved, 0, sizeof d->streamSaved);
  std::memset(d->blockInput, 0, sizeof d->blockInput);
  std::memset(d->blockOutput, 0, sizeof d->blockOutput);
  d->stream.cursor = nullptr;
  d->streamSaved.cursor = nullptr;
  d->blockOutputLength = 0;
  d->blockReadOffset = 0;
  d->blockType = 0;
  d->shape = kShapeStream;
  d->checksumMode = 0;
  d->firstCall = 1;
  d->versionAccepted = 1;
  d->blockSkipped = 0;
  d->searchFile = nullptr;
  d->noBlockFrom = -1;
  d->noDecodableBlockFrom = -1;
  d->cursor = k01_cursor_t{};
}

bool ResetDecoderBuffers(K01Decoder* d) {
  if (d == nullptr) return false;
  resetReader(d);
  resetDecodeState(d->decode);
  resetSignalState(d->signals);
  return true;
}

}  // namespace k01
