// Stage 2 of DAT type 17: the raw measurement record into the type-17
// structure, with the Doppler derived from the carrier phases of
// consecutive epochs and the previous-epoch store.
#include <cstring>

#include "k01lib/decode_stage2.h"

namespace k01 {

namespace {

constexpr uint32_t kBlockSize = 20;      // satellite block without second frequency
constexpr uint32_t kDualBlockSize = 29;  // with the second-frequency block

bool doublesRange(uint8_t sv) { return sv >= 120 && sv <= 138; }

void decodeBlock(k01_view_t& rec, uint32_t at, k01_meas17_sv_t& e) {
  e.svNumber = readByte(rec, at);
  e.flags = readByte(rec, at + 1);
  e.status = readByte(rec, at + 2) & 0x0F;
  e.byte3 = 3;
  e.word1 = readByte(rec, at + 3);
  e.word2 = static_cast<uint16_t>(2u * readByte(rec, at + 4));
  e.snr1 = readByte(rec, at + 5) * 0.25;
  e.range1 = readScaled(rec, at + 6, 4, -7, false);
  if (doublesRange(e.svNumber)) e.range1 *= 2.0;
  e.phase1 = readScaled(rec, at + 10, 6, -15, true);
  e.doppler1 = readScaled(rec, at + 16, 3, -6, true);
  e.value5 = 0.0;
  if (e.flags & 0x01) {
    e.snr2 = readByte(rec, at + 20) * 0.25;
    e.phase2 = readScaled(rec, at + 21, 6, -15, true);
    e.value2 = readScaled(rec, at + 27, 2, -8, true);
  }
  e.spare = 0.0;
}

// Index of satellite `sv` in the previous epoch: the same index first, then
// from the first entry on; -1 when absent.
int findPrevious(const k01_meas17_t& prev, int i, uint8_t sv) {
  const int n = prev.svCount < k01_meas17_t::kSvSlots ? prev.svCount : k01_meas17_t::kSvSlots;
  if (i < n && prev.sv[i].svNumber == sv) return i;
  for (int j = 0; j < n; ++j)
    if (prev.sv[j].svNumber == sv) return j;
  return -1;
}

}  // namespace

uint16_t decodeMeas17(k01_view_t& rec, k01_meas17_t& slot, k01_meas17_store_t& store,
                      uint8_t header[4], uint8_t& status) {
  std::memset(&slot, 0, sizeof slot);
  setDatHeaderWide(header, 0, 17);
  slot.time = static_cast<double>(readUnsigned(rec, 3, 4));
  slot.clockTerm = readScaled(rec, 7, 3, -19, true);
  if (rec.overrun) {
    status = kDecodeLayout;
    return 0;
  }

  // Satellite blocks up to the checksum; the structure holds 24.
  uint32_t at = 10;
  int count = 0;
  int dual = 0;
  while (at < rec.length && count < k01_meas17_t::kSvSlots) {
    const uint32_t size = (readByte(rec, at + 1) & 0x01) ? kDualBlockSize : kBlockSize;
    if (at + size > rec.length) {
      status = kDecodeLayout;  // the last block runs into the checksum
      return 0;
    }
    decodeBlock(rec, at, slot.sv[count]);
    if (slot.sv[count].flags & 0x01) ++dual;
    ++count;
    at += size;
  }
  slot.svCount = static_cast<uint8_t>(count);

  // Doppler from the carrier phase of this and the previous epoch.
  const k01_meas17_t& prev = store.previous;
  const double dt = slot.time - prev.time;
  double predicted[k01_meas17_t::kSvSlots] = {};
  for (int i = 0; i < count; ++i) {
    k01_meas17_sv_t& e = slot.sv[i];
    const int j = findPrevious(prev, i, e.svNumber);
    // Without a time step the phase gives no rate: treated as not derivable.
    if (j >= 0 && (e.flags & 0x10) && (prev.sv[j].flags & 0x10) && dt != 0.0) {
      if (e.flags & 0x02) {
        e.doppler1 = store.predictedDoppler[j];
        e.status |= 0x80;
      } else {
        e.doppler1 = (e.phase1 - prev.sv[j].phase1) / (dt / 1000.0);
      }
      predicted[i] = 2.0 * e.doppler1 - prev.sv[j].doppler1;
    } else {
      predicted[i] = 0.0;
      e.status |= 0x80;
    }
  }

  store.previous = slot;
  std::memcpy(store.predictedDoppler, predicted, sizeof predicted);
  const uint32_t length = 21 + 48 * static_cast<uint32_t>(count) + 24 * static_cast<uint32_t>(dual);
  setDatHeaderWide(header, length, 17);
  return static_cast<uint16_t>(length);
}

}  // namespace k01
