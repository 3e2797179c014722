// WriteDecodedRecord: copies a structure decoded by the K01 library into the
// image of its DAT type and writes the record from the image.
#include <algorithm>
#include <cstring>

#include "dat/conv_state.h"
#include "dat/dat_encoder.h"
#include "dat/dat_writer.h"
#include "dat/encoder_internal.h"

namespace enc {
namespace {

Status CopyPosition(ConvState& cs, const k01_pos11_t& d, uint8_t type) {
  PositionImage& p = cs.enc.position;
  const size_t n = std::min<size_t>(d.count, sizeof d.lists / 2);
  std::memcpy(p.values, &d, offsetof(k01_pos11_t, lists));
  p.count = static_cast<uint8_t>(n);
  std::memcpy(p.lists, d.lists, 2 * n);
  p.corrections[0] = 0.0;
  p.corrections[1] = 0.0;
  cs.enc.header[1] = static_cast<uint8_t>(82 + 2 * n);
  cs.enc.header[3] = type;
  return EncodeDatRecord(cs, type);
}

Status CopyMeasurements(ConvState& cs, const k01_meas17_t& d) {
  Status st = status::kOk;
  // A raw epoch still waiting for blocks is complete now.
  if (cs.enc.measOpen) {
    cs.enc.measOpen = 0;
    st = EncodeDatRecord(cs, 17);
  }
  MeasurementImage& m = cs.enc.meas;
  const int n = std::min<int>(d.svCount, k01_meas17_t::kSvSlots);
  m.time = d.time;
  m.clockTerm = d.clockTerm;
  m.svCount = static_cast<uint8_t>(n);
  std::memcpy(m.sv, d.sv, sizeof(k01_meas17_sv_t) * static_cast<size_t>(n));
  const Status written = EncodeDatRecord(cs, 17);
  return st != status::kOk ? st : written;
}

Status CopyPages(ConvState& cs, const k01_page25_t& d) {
  const uint8_t subtype = cs.enc.header[2];
  if (subtype == 0) {
    cs.enc.page25.page = d.page;
    cs.enc.header[1] = 39;
  } else if (subtype == 1) {
    cs.enc.page25.table = d.table;
    cs.enc.header[1] = static_cast<uint8_t>(4 + Table25Bytes(d.table.kind));
  } else {
    cs.enc.header[1] = 0;  // no layout: nothing is written
  }
  return EncodeDatRecord(cs, 25);
}

}  // namespace
}  // namespace enc

Status WriteDecodedRecord(ConvState& cs, FILE* stream, uint8_t type, const uint8_t header[4],
                          const void* decoded) {
  if (!dat::BeginEntry(cs, stream)) return status::kOk;
  Status st = status::kOk;
  if (header != nullptr && decoded != nullptr && type != 5) {
    EncoderState& e = cs.enc;
    std::memcpy(e.header, header, 4);
    e.header[3] = type;
    switch (type) {
      case 11:
        st = enc::CopyPosition(cs, *static_cast<const k01_pos11_t*>(decoded), type);
        break;
      case 17:
        st = enc::CopyMeasurements(cs, *static_cast<const k01_meas17_t*>(decoded));
        break;
      case 25:
        st = enc::CopyPages(cs, *static_cast<const k01_page25_t*>(decoded));
        break;
      case 26:
        std::memcpy(&e.aux26, decoded, sizeof e.aux26);
        st = EncodeDatRecord(cs, type);
        break;
      case 27:
        std::memcpy(&e.meas27, decoded, sizeof e.meas27);
        st = EncodeDatRecord(cs, type);
        break;
      case 28:
        std::memcpy(&e.rec28, decoded, sizeof e.rec28);
        st = EncodeDatRecord(cs, type);
        break;
      case 29:
        std::memcpy(&e.pos29, decoded, sizeof e.pos29);
        st = EncodeDatRecord(cs, type);
        break;
      case 32:
        std::memcpy(&e.rec32, decoded, sizeof e.rec32);
        st = EncodeDatRecord(cs, type);
        break;
      case 40:
        std::memcpy(&e.coded40, decoded, sizeof e.coded40);
        st = EncodeDatRecord(cs, type);
        break;
      case 98:
        std::memcpy(&e.data98, decoded, sizeof e.data98);
        st = EncodeDatRecord(cs, type);
        break;
      case 99:
        std::memcpy(&e.data99, decoded, sizeof e.data99);
        st = EncodeDatRecord(cs, type);
        break;
      default:
        break;  // other types write nothing
    }
  }
  return dat::EndEntry(cs, st);
}
