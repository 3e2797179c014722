// Storage of the per-decoder state of the multi-signal, expansion, position
// and auxiliary transcoders.
//
// The block is kept beside the decoder, keyed by the decoder's address,
// until the decoder object holds it as a member: a decoder gets its block on
// first use, resetSignalState(d) returns it to its initial state and
// releaseSignalState(d) frees it.
#include "k01lib/signal_state.h"

#include <map>
#include <memory>

namespace k01 {

namespace {

std::map<const K01Decoder*, std::unique_ptr<k01_signal_state_t>>& blocks() {
  static std::map<const K01Decoder*, std::unique_ptr<k01_signal_state_t>> table;
  return table;
}

}  // namespace

void resetSignalState(k01_signal_state_t& s) {
  resetMultiSignalHistory(s.multiSignal);
  initExpand(s.expand);
  resetAuxState(s.aux);
}

k01_signal_state_t& signalState(K01Decoder& d) {
  auto& slot = blocks()[&d];
  if (!slot) {
    slot = std::make_unique<k01_signal_state_t>();
    resetSignalState(*slot);
  }
  return *slot;
}

void resetSignalState(K01Decoder& d) { resetSignalState(signalState(d)); }

void releaseSignalState(const K01Decoder* d) { blocks().erase(d); }

}  // namespace k01
