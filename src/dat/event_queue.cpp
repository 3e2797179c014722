// Events (DAT type 19): week records, records written at once, the queue of
// time-tagged events built against the epoch pair, and the records deferred
// behind the measurement record of an epoch.
#include <cmath>
#include <cstring>

#include "common/byte_order.h"
#include "dat/conv_state.h"
#include "dat/dat_writer.h"
#include "dat/encoder_internal.h"

namespace enc {

namespace {

constexpr double kSubMillisecondUnit = 6.109481915933529e-8;

void Queue(ConvState& cs, const EventItem& item) {
  // A full queue behaves like a failed allocation: the event is lost.
  if (cs.enc.events.size() >= kMaxQueuedEvents) return;
  cs.enc.events.push_back(item);
}

}  // namespace

void ClearEvents(ConvState& cs) {
  cs.enc.events.clear();
  cs.enc.deferred.clear();
}

void HandleEventRecord(ConvState& cs, uint8_t* rec, size_t len) {
  if (len < 4) return;
  const uint8_t subtype = rec[2];
  const uint8_t* body = rec + 4;
  const size_t bodyLen = len - 4;
  EventItem item;
  switch (subtype) {
    case 5: {  // week record
      if (bodyLen < 10) return;
      const int16_t week = static_cast<int16_t>(bo::GetLe16(body));
      const double rounded = std::floor(bo::GetLeDouble(body + 2) / 1000.0) * 1000.0;
      if (week <= cs.enc.weekMax) return;
      cs.enc.weekMax = week;
      bo::PutLeDouble(rec + 6, rounded);
      WriteRecord(cs, rec, len);
      return;
    }
    case 6:
      rec[2] = 0;
      WriteRecord(cs, rec, len);
      return;
    case 7:
    case 8:
      WriteRecord(cs, rec, len);
      return;
    case 0:
      if (bodyLen < 8) return;
      item.a = bo::GetLe16(body);
      item.b = bo::GetLe32(body + 2);
      item.c = bo::GetLe16(body + 6);
      break;
    case 2:
    case 4:
      if (bodyLen < 6) return;
      item.a = bo::GetLe16(body);
      item.b = bo::GetLe32(body + 2);
      break;
    case 3: {
      if (bodyLen < 2) return;
      item.a = bo::GetLe16(body);
      // The text runs to its terminating zero or the end of the record.
      size_t n = 0;
      while (2 + n < bodyLen && body[2 + n] != 0 && n < kEventTextMax) ++n;
      std::memcpy(item.text, body + 2, n);
      item.textLength = static_cast<uint16_t>(n);
      break;
    }
    case 1: {
      if (bodyLen < 6) return;
      for (EventItem& queued : cs.enc.events) queued.mode = 0xFFFF;
      item.kind = 1;
      item.b = bo::GetLe32(body);
      item.d = bo::GetLe16(body + 4);
      item.mode = cs.enc.currentMode;
      Queue(cs, item);
      cs.enc.referenceOffset = item.d;
      cs.enc.referenceBase = item.b;
      cs.enc.currentMode = 1;
      return;
    }
    default:
      return;
  }
  item.kind = subtype;
  item.mode = cs.enc.currentMode;
  Queue(cs, item);
}

double EventTime(const ConvState& cs, uint32_t b, uint16_t c, uint16_t mode) {
  const EpochPair& p = cs.enc.pair;
  const double r = cs.enc.referenceOffset;
  const double t0 = p.prevTime;
  const double c0 = p.prevClock;
  double t1 = p.curTime;
  double c1 = p.curClock;
  double e = b;
  if (mode != 0) {
    t1 = t1 - r;
    if (mode == 1) e = e - r;
  }
  if (c1 - c0 > 0.5)
    c1 = c1 - 1.0;
  else if (c1 - c0 < -0.5)
    c1 = c1 + 1.0;
  e = e - c * kSubMillisecondUnit * 1000.0;
  // Two epochs at the same (corrected) time give no slope: the clock term
  // of the earlier one applies.
  const double span = t1 - t0;
  const double clock = span != 0.0 ? c0 + (c1 - c0) * (e - t0) / span : c0;
  return e - clock;
}

void WriteDueEvents(ConvState& cs) {
  if (cs.enc.pair.fill >= 2) {
    for (const EventItem& ev : cs.enc.events) {
      uint8_t rec[4 + 2 + 256 + 1] = {};
      size_t len = kDeferredRecord;
      double when = 0.0;
      uint8_t* body = rec + 4;
      switch (ev.kind) {
        case 0:
          when = EventTime(cs, ev.b, ev.c, ev.mode);
          bo::PutLe16(body, ev.a);
          bo::PutLeDouble(body + 2, when);
          break;
        case 1:
          when = ev.b;
          bo::PutLeDouble(body, when);
          bo::PutLe16(body + 8, ev.d);
          break;
        case 3:
          bo::PutLe16(body, ev.a);
          std::memcpy(body + 2, ev.text, ev.textLength);
          len = ev.textLength + 7u;
          break;
        default:  // kinds 2 and 4
          when = ev.b;
          bo::PutLe16(body, ev.a);
          bo::PutLeDouble(body + 2, when);
          break;
      }
      PutHeader(rec, len, static_cast<uint8_t>(ev.kind), 19, false);
      if (ev.kind == 3 || cs.enc.pair.curTime >= when) {
        WriteRecord(cs, rec, len);
      } else if (cs.enc.deferred.size() < kMaxDeferred) {
        std::array<uint8_t, kDeferredRecord> d;
        std::memcpy(d.data(), rec, kDeferredRecord);
        cs.enc.deferred.push_back(d);
      }
    }
  }
  cs.enc.events.clear();
  cs.enc.currentMode = 0;
}

void WriteDeferred(ConvState& cs) {
  for (const auto& d : cs.enc.deferred) WriteRecord(cs, d.data(), d.size());
  cs.enc.deferred.clear();
}

}  // namespace enc
