// The record decoder's entries into the multi-signal, position and
// auxiliary transcoders and the type-27 expansion: each picks the
// transcoder by record type and hands it the decoder's history.
#include "k01lib/decode_record.h"
#include "k01lib/signal_state.h"
#include "k01lib/transcoders.h"

namespace k01 {

uint8_t transcodeMultiSignal(K01Decoder& d, uint8_t recordType, const k01_record_t& in,
                             k01_record_t& out, bool verify) {
  k01_ms_history_t& h = signalState(d).multiSignal;
  switch (recordType) {
    case 36: return transcodeMultiSignal36(in, out, h, verify);
    case 37: return transcodeMultiSignal37(in, out, h, verify);
    case 38: return transcodeKeyEpoch38(in, out, h);
    case 39: return transcodePhaseDelta39(in, out, h);
    default: out.length = 0; return kAuxBadType;
  }
}

uint8_t transcodeCodedValues(K01Decoder& d, uint8_t recordType, const k01_record_t& in,
                             k01_record_t& out, bool) {
  if (recordType != 41) {
    out.length = 0;
    return kAuxBadType;
  }
  return transcodeCodedValues41(in, out, signalState(d).aux.coded);
}

uint8_t transcodePosition(K01Decoder& d, uint8_t recordType, const k01_record_t& in,
                          k01_record_t& out, bool verify) {
  k01_pos_history_t& h = signalState(d).aux.position;
  switch (recordType) {
    case 54: return transcodePosition54(in, out, h, verify);
    case 55: return transcodePosition55(in, out, h, verify);
    default: out.length = 0; return kAuxBadType;
  }
}

uint8_t transcodePrecisePosition(K01Decoder& d, uint8_t recordType, const k01_record_t& in,
                                 k01_record_t& out, bool) {
  k01_prec_history_t& h = signalState(d).aux.precise;
  switch (recordType) {
    case 56: return transcodePrecisePosition56(in, out, h);
    case 57: return transcodePrecisePosition57(in, out, h);
    default: out.length = 0; return kAuxBadType;
  }
}

uint8_t transcodePages(K01Decoder& d, uint8_t recordType, const k01_record_t& in,
                       k01_record_t& out, bool) {
  k01_page_store_t& store = signalState(d).aux.pages;
  switch (recordType) {
    case 84: return transcodePages84(in, out, store);
    case 85: return transcodePages85(in, out, store);
    default: out.length = 0; return kAuxBadType;
  }
}

uint16_t decodeMeasurements27(K01Decoder& d, const k01_record_t& work, k01_meas27_t& slot,
                              uint8_t header[4], uint8_t* status) {
  k01_expand_t& ex = signalState(d).expand;
  const uint16_t length = expandMeasurements(work, header, slot, ex, ex.dopplerControl);
  if (status != nullptr) *status = length == 0 ? kDecodeLayout : kDecodeOk;
  if (length == 0) {
    header[0] = 't';
    header[1] = 0;
    header[2] = 0;
    header[3] = 27;
  }
  return length;
}

}  // namespace k01
