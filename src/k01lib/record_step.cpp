// The K01 record step: reads one record of a K00/K01/K02 input, decodes it
// and writes it to the DAT file. Until the container reader and the record
// decoder are connected, the step consumes the input without converting.
#include <cstdio>

#include "dat/conv_state.h"
#include "run/output_set.h"
#include "run/raw_reader.h"

Status ConvState::ConvertK01Record(OutputSet* set, FILE* in, int16_t) {
  if (set == nullptr) return status::kNotOpened;
  HandOverFirstRecord(set, *this);
  if (set->dat == nullptr) return status::kDatNotOpen;
  std::fseek(in, 0, SEEK_END);
  std::fgetc(in);
  return status::kOk;
}
