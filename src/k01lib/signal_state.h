// The decoder-held state of the multi-signal, expansion, position and
// auxiliary transcoders, as one block.
#pragma once
#include "k01lib/aux_state.h"
#include "k01lib/expand_state.h"
#include "k01lib/multisignal_state.h"

struct K01Decoder;

namespace k01 {

struct k01_signal_state_t {
  k01_ms_history_t multiSignal;  // types 36 to 39
  k01_expand_t expand;           // type-27 expansion and its Doppler store
  k01_aux_state_t aux;           // types 41, 54 to 57, 84, 85
};

// Zeroes every history and store; dopplerControl becomes 3.
void resetSignalState(k01_signal_state_t& s);

// The block of a decoder.
k01_signal_state_t& signalState(K01Decoder& d);
// Puts the decoder's block into its initial state (before each input file).
void resetSignalState(K01Decoder& d);

}  // namespace k01
