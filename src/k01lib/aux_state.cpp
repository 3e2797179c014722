// Initial state of the position, precise-position, page and coded-value
// histories: everything zero.
#include <cstring>

#include "k01lib/aux_state.h"

namespace k01 {

void resetAuxState(k01_aux_state_t& s) { std::memset(&s, 0, sizeof s); }

}  // namespace k01
