// Measurement epoch rules: the epoch pair, the duplicate-epoch and sequence
// checks, and the writers of the records that carry an epoch (types 17, 10
// and 11).
#include <algorithm>
#include <cstring>

#include "dat/conv_state.h"
#include "dat/encoder_internal.h"
#include "dat/session_block.h"

namespace enc {

void UpdateEpochPair(ConvState& cs, double time, double clock) {
  EpochPair& p = cs.enc.pair;
  if (p.fill == 0) {
    p.prevTime = p.curTime = time;
    p.prevClock = p.curClock = clock;
    p.fill = 1;
    return;
  }
  p.prevTime = p.curTime;
  p.prevClock = p.curClock;
  p.curTime = time;
  p.curClock = clock;
  p.fill = 2;
}

Status SequenceCheck(ConvState& cs, double time, double tolerance) {
  if (!cs.epoch.seen) {
    cs.epoch.seen = 1;
    cs.epoch.first = time;
    return status::kOk;
  }
  const double last = cs.epoch.last;
  if (last > time) {
    const double back = last - time;
    if (back > tolerance && back < kHalfWeekMs) return status::kOutOfSequence;
  } else if (last < time && time - last > kHalfWeekMs) {
    return status::kOutOfSequence;
  }
  return status::kOk;
}

Status WriteMeasurementEpoch(ConvState& cs) {
  MeasurementImage& m = cs.enc.meas;
  const double t = m.time;
  // A repeated epoch is dropped whole, events included.
  if (cs.epoch.seen && cs.epoch.last == t) return status::kOk;

  UpdateEpochPair(cs, t, m.clockTerm);
  WriteDueEvents(cs);

  const int n = std::min<int>(m.svCount, kMeasSlots);
  m.svCount = static_cast<uint8_t>(n);
  size_t len = 21;
  for (int i = 0; i < n; ++i) len += (m.sv[i].flags & 1) ? 72 : 48;

  Out o(cs.enc.scratch, sizeof cs.enc.scratch);
  uint8_t h[4];
  PutHeader(h, len, 0, 17, true);
  std::memcpy(cs.enc.header, h, 4);
  o.Bytes(h, 4);
  o.F64(t);
  o.F64(m.clockTerm);
  o.U8(m.svCount);
  for (int i = 0; i < n; ++i) {
    const k01_meas17_sv_t& s = m.sv[i];
    o.U8(s.svNumber);
    o.U8(s.flags);
    o.U8(s.status);
    o.U8(s.byte3);
    o.U16(s.word1);
    o.U16(s.word2);
    o.F64(s.snr1);
    o.F64(s.range1);
    o.F64(s.phase1);
    o.F64(s.doppler1);
    o.F64(s.value5);
    if (s.flags & 1) {
      o.F64(s.snr2);
      o.F64(s.phase2);
      o.F64(s.value2);
    }
    AddToSvList(cs, s.svNumber);
  }
  WriteRecord(cs, o.buf, o.pos);

  const Status st = SequenceCheck(cs, t, kBackwardToleranceMs);
  cs.epoch.last = t;
  WriteDeferred(cs);
  return st;
}

// The position-only flag of the current session (its header values are
// pending until folded), or of the folded block.
static bool PositionOnlySession(const ConvState& cs) {
  return cs.pending.bytes[SessionBlock::kLogPositionOnly] != 0 ||
         cs.session.bytes[SessionBlock::kLogPositionOnly] != 0;
}

Status WritePosition(ConvState& cs, uint8_t type) {
  PositionImage& p = cs.enc.position;
  const bool epochRole = PositionOnlySession(cs) && !cs.epoch.seen;
  if (epochRole) {
    UpdateEpochPair(cs, static_cast<double>(static_cast<int32_t>(p.time)), p.values[3]);
    WriteDueEvents(cs);
  }
  const size_t fixed = offsetof(PositionImage, lists);
  const size_t len = std::min<size_t>(std::max<size_t>(cs.enc.header[1], 4) - 4,
                                      fixed + kPosListBytes);
  Out o(cs.enc.scratch, sizeof cs.enc.scratch);
  uint8_t h[4] = {cs.enc.header[0], cs.enc.header[1], cs.enc.header[2], type};
  o.Bytes(h, 4);
  o.Bytes(&p, len);
  WriteRecord(cs, o.buf, o.pos);
  if (epochRole) WriteDeferred(cs);
  return status::kOk;
}

}  // namespace enc
