// The K01 record step: reads one record of a K00/K01/K02 input, decodes it
// and hands it to the DAT encoder, either as the decoded structure of its
// DAT type or, when the library produced nothing routable, as the raw
// record itself. Expanded measurements (27) and precise positions (29) are
// written, converted to 17 and 11, or both, by the type-27 mode.
#include <cstdio>

#include "dat/conv_state.h"
#include "dat/dat_encoder.h"
#include "k01lib/container_reader.h"
#include "k01lib/decode_record.h"
#include "k01lib/expand_state.h"
#include "k01lib/k01_decoder.h"
#include "run/output_set.h"
#include "run/raw_reader.h"

namespace {

// DAT types written from their decoded structure.
bool IsRouted(uint16_t datType) {
  switch (datType) {
    case 5: case 11: case 17: case 25: case 26: case 27: case 28: case 29: case 32: case 40:
    case 98: case 99:
      return true;
    default:
      return false;
  }
}

}  // namespace

Status ConvState::ConvertK01Record(OutputSet* set, FILE* in, int16_t format) {
  if (set == nullptr) return status::kNotOpened;
  HandOverFirstRecord(set, *this);
  if (set->dat == nullptr) return status::kDatNotOpen;
  K01Decoder* d = set->decoder;

  uint8_t readStatus = 0;
  const int32_t type = format == 2 ? k01::readK00Record(d, in, &readStatus)
                                   : k01::readK01Record(d, in, &readStatus);
  if (type < 0 || readStatus != 0) {
    const bool quiet = readStatus == k01::kReadOk || readStatus == k01::kReadEndOfFile ||
                       readStatus == k01::kReadFlush;
    return quiet ? status::kOk : status::kExpansion;
  }
  ++libraryRecordCount;

  uint16_t datType = 0;
  uint8_t decodeStatus = 0;
  const uint16_t count = k01::decodeRecord(d, static_cast<int16_t>(type), &datType, &decodeStatus);
  k01::k01_decode_state_t& state = d->decode;
  uint8_t* header = state.datHeader;
  k01::k01_slots_t& slots = state.slots;
  Status st = status::kOk;

  if (count >= 1 && IsRouted(datType)) {
    if (datType == 27) {
      if (type27Mode != 1) {
        type27Written = 1;
        currentDatType = 27;
        st = WriteDecodedRecord(*this, set->dat, 27, header, &slots.meas27);
      }
      if (type27Mode == 1 || type27Mode == 2) {
        k01::convertMeasurements27To17(header, &slots.meas27, &slots.meas17, l2Mode);
        currentDatType = 17;
        st = WriteDecodedRecord(*this, set->dat, 17, header, &slots.meas17);
      }
    } else if (datType == 29) {
      if (type27Mode != 1) {
        currentDatType = 29;
        st = WriteDecodedRecord(*this, set->dat, 29, header, &slots.pos29);
      }
      if (type27Mode == 1 || type27Mode == 2) {
        k01::convertPosition29To11(header, &slots.pos29, &slots.pos11);
        currentDatType = 11;
        st = WriteDecodedRecord(*this, set->dat, 11, header, &slots.pos11);
      }
    } else {
      currentDatType = static_cast<uint8_t>(datType);
      st = WriteDecodedRecord(*this, set->dat, static_cast<uint8_t>(datType), header,
                              k01::slotOf(state, datType));
    }
  } else {
    const k01::k01_record_t& rec = d->inputRecord;
    currentDatType = rec.bytes[2];
    st = WriteRawRecord(*this, set->dat, rec.bytes, rec.length);
  }
  return writer.writeError != 0 ? status::kDiskFull : st;
}
