// Folding the pending session header values (the current session, built
// from the receiver's header records) into the session header block.
#include <algorithm>
#include <cstdint>

#include "dat/conv_state.h"

namespace {

using SB = SessionBlock;

constexpr uint16_t kNoTime = 9999;

template <typename T>
void Take(SessionBlock& block, const SessionBlock& pending, size_t off) {
  block.Set<T>(off, pending.Get<T>(off));
}

// Takes the positions first..last (inclusive) of the pending values.
void TakePositions(SessionBlock& block, const SessionBlock& pending, int first, int last) {
  for (int i = first; i <= last; ++i) block.SetP(i, pending.P(i));
}

// A best-PDOP position replaces the block's when the block has none yet
// (PDOP 0) or the pending one is better. A pending PDOP of 0 means that the
// session reported no position: it never replaces one that exists.
bool BetterPdop(double blockPdop, double pendingPdop) {
  if (!(pendingPdop > 0.0)) return false;
  return blockPdop == 0.0 || blockPdop > pendingPdop;
}

}  // namespace

void FoldPendingHeader(ConvState& cs) {
  SessionBlock& block = cs.session;
  const SessionBlock& pending = cs.pending;

  // Nothing folded yet: the block becomes the pending session.
  if (block.Get<uint16_t>(SB::kLoggingStart) == 0 && block.Get<uint32_t>(SB::kW3) == 0) {
    block = pending;
    cs.pending.Clear();
    return;
  }

  // Counters: C1 and C3 are sums, C2 and C4 maxima, over all entries the
  // arrays hold.
  for (int i = 0; i < SB::kSvEntries; ++i) {
    for (size_t base : {static_cast<size_t>(SB::kC1), static_cast<size_t>(SB::kC3)}) {
      const uint32_t sum = static_cast<uint32_t>(block.Counter(base, i)) +
                           static_cast<uint32_t>(pending.Counter(base, i));
      block.SetCounter(base, i, static_cast<int32_t>(sum));
    }
    for (size_t base : {static_cast<size_t>(SB::kC2), static_cast<size_t>(SB::kC4)})
      block.SetCounter(base, i, std::max(block.Counter(base, i), pending.Counter(base, i)));
  }

  // Times: the earliest start stays, the latest stop replaces.
  for (size_t off : {static_cast<size_t>(SB::kScheduleStart), static_cast<size_t>(SB::kLoggingStart)})
    if (block.Get<uint16_t>(off) == kNoTime) Take<uint16_t>(block, pending, off);
  for (size_t off : {static_cast<size_t>(SB::kScheduleStop), static_cast<size_t>(SB::kLoggingStop)})
    if (pending.Get<uint16_t>(off) != kNoTime) Take<uint16_t>(block, pending, off);

  Take<uint32_t>(block, pending, SB::kW2);
  Take<double>(block, pending, SB::kRefLatitude);
  Take<double>(block, pending, SB::kRefLongitude);
  Take<double>(block, pending, SB::kRefHeight);
  Take<double>(block, pending, SB::kAntennaHeight);
  Take<uint8_t>(block, pending, SB::kAntennaHeightUnit);
  Take<uint32_t>(block, pending, SB::kAntennaSerial);
  Take<uint32_t>(block, pending, SB::kReceiverSerial);  // low 32 bits
  Take<uint8_t>(block, pending, SB::kStationNamePresent);
  Take<uint8_t>(block, pending, SB::kA10);
  Take<uint8_t>(block, pending, SB::kA11);
  Take<double>(block, pending, SB::kD2);
  Take<uint16_t>(block, pending, SB::kH1);

  // Positions: best PDOP (P0..P3 by P3, P4..P6 by P6), means by the number
  // of positions in them (W5, W6 themselves stay).
  if (BetterPdop(block.P(3), pending.P(3))) TakePositions(block, pending, 0, 3);
  if (BetterPdop(block.P(6), pending.P(6))) TakePositions(block, pending, 4, 6);
  if (pending.Get<int32_t>(SB::kW5) > block.Get<int32_t>(SB::kW5)) TakePositions(block, pending, 7, 9);
  if (pending.Get<int32_t>(SB::kW6) > block.Get<int32_t>(SB::kW6)) TakePositions(block, pending, 10, 11);

  cs.pending.Clear();
}
