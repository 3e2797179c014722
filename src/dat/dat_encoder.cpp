// EncodeDatRecord: writes the record of one DAT type from the images.
#include "dat/dat_encoder.h"

#include "dat/conv_state.h"
#include "dat/encoder_internal.h"

Status EncodeDatRecord(ConvState& cs, uint8_t type) {
  if (cs.writer.stream == nullptr) return status::kOk;
  switch (type) {
    case 7: return enc::WriteType7Epoch(cs);
    case 10: case 11: return enc::WritePosition(cs, type);
    case 17: case 117: return enc::WriteMeasurementEpoch(cs);
    default: return enc::WriteImageBody(cs, type);
  }
}
