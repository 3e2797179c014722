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

namespace {

// Copies a decoded structure into the image of its type and writes it.
template <typename T>
Status CopyAndEncode(ConvState& cs, T& image, const void* decoded, uint8_t type) {
  std::memcpy(&image, decoded, sizeof image);
  return EncodeDatRecord(cs, type);
}

}  // namespace

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
      case 26: st = CopyAndEncode(cs, e.aux26, decoded, type); break;
      case 27: st = CopyAndEncode(cs, e.meas27, decoded, type); break;
      case 28: st = CopyAndEncode(cs, e.rec28, decoded, type); break;
      case 29: st = CopyAndEncode(cs, e.pos29, decoded, type); break;
      case 32: st = CopyAndEncode(cs, e.rec32, decoded, type); break;
      case 40: st = CopyAndEncode(cs, e.coded40, decoded, type); break;
      case 98: st = CopyAndEncode(cs, e.data98, decoded, type); break;
      case 99: st = CopyAndEncode(cs, e.data99, decoded, type); break;
      default:
        break;  // other types write nothing
    }
  }
  return dat::EndEntry(cs, st);
}
