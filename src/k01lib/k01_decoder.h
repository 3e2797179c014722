// The decoding library's single long-lived object: reader buffers and
// state, input and work record buffers, one decoded-structure slot per DAT
// type, transcoder histories and the expansion settings.
#pragma once
#include <cstdint>

struct K01Decoder {
  uint8_t placeholder = 0;
};

namespace k01 {
constexpr int kVersionMajor = 8;
constexpr int kVersionMinor = 24;

// Library start-up and end-of-run cleanup.
void LibraryStartup();
void LibraryCleanup();
// Creates a decoder with its work buffers; nullptr when memory runs out.
K01Decoder* CreateDecoder();
void DestroyDecoder(K01Decoder* d);
// Frees and re-creates the work buffers; false when an allocation failed.
bool ResetDecoderBuffers(K01Decoder* d);
}  // namespace k01
