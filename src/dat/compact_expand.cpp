// Compact measurement expansion of the raw path: delta-coded epochs (66,
// 74) are rebuilt against the previous epoch and its prediction, key
// frames (67, 75) are verified as type-17 records and load the history.
// The library's type-17 transcoder does the work, with the raw path's own
// history (at most 24 SVs) and the flags mode honoured only in compact
// mode. Types 64 and 65 have no expansion and are refused.
#include "dat/compact_expand.h"

#include "dat/conv_state.h"
#include "k01lib/transcode_meas17.h"

namespace {
constexpr uint8_t kRawPathSatellites = 24;
constexpr uint32_t kRecordCapacity = 4096;
}  // namespace

Status ExpandCompactRecord(ConvState& cs, uint8_t* rec, size_t* len) {
  k01::k01_transcode17_options_t options;
  options.verify = true;
  options.flagsModeEnabled = cs.rx.compactMode != 0;
  options.maxSatellites = kRawPathSatellites;
  const uint32_t inLength = static_cast<uint32_t>(*len);
  uint32_t outLength = 0;
  uint8_t st;
  switch (rec[2]) {
    case 66:
    case 74:
      st = k01::transcodeDelta17(cs.enc.compactHistory, rec, inLength, rec, kRecordCapacity,
                                 outLength, options);
      break;
    case 67:
    case 75:
      st = k01::transcodeKey17(cs.enc.compactHistory, rec, inLength, rec, kRecordCapacity,
                               outLength, options);
      break;
    default:
      return compact::kWrongType;
  }
  // Transcoder statuses 1 to 11 are the letters "e" to "o".
  if (st != 0) return static_cast<Status>(compact::kNoStx - 1 + st);
  *len = outLength;
  return status::kOk;
}

void ResetCompactHistories(ConvState& cs, uint8_t) { k01::resetHistory(cs.enc.compactHistory); }
