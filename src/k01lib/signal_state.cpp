// The per-decoder state of the multi-signal, expansion, position and
// auxiliary transcoders, held as a member of the decoder.
#include "k01lib/signal_state.h"

#include "k01lib/k01_decoder.h"

namespace k01 {

void resetSignalState(k01_signal_state_t& s) {
  resetMultiSignalHistory(s.multiSignal);
  initExpand(s.expand);
  resetAuxState(s.aux);
}

k01_signal_state_t& signalState(K01Decoder& d) { return d.signals; }

void resetSignalState(K01Decoder& d) { resetSignalState(d.signals); }

}  // namespace k01
