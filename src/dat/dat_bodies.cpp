// Body writers of the DAT types kept in images: 20, 25, 26, 27, 28, 29, 31,
// 32, 40, 98, 99 and 102. Each writes the shared header bytes and the body
// fields in their order; the header length is the length actually written.
#include <algorithm>
#include <bit>
#include <cstring>

#include "dat/conv_state.h"
#include "dat/encoder_internal.h"

// The decoded structures are packed host-order images of the DAT bodies.
static_assert(std::endian::native == std::endian::little,
              "DAT bodies are copied from little-endian packed images");

namespace enc {

namespace {

// Finishes a record whose body is in o after the 4 header bytes.
void Finish(ConvState& cs, Out& o, uint8_t byte2, uint8_t type, bool wide) {
  PutHeader(o.buf, o.pos, byte2, type, wide);
  std::memcpy(cs.enc.header, o.buf, 4);
  WriteRecord(cs, o.buf, o.pos);
}

// Starts a record: 4 header bytes reserved.
Out Begin(ConvState& cs) {
  Out o(cs.enc.scratch, sizeof cs.enc.scratch);
  o.pos = 4;
  return o;
}

Status Body25(ConvState& cs) {
  const uint8_t subtype = cs.enc.header[2];
  if (cs.enc.header[1] == 0) return status::kOk;
  Out o = Begin(cs);
  if (subtype == 0) {
    o.Bytes(&cs.enc.page25.page, sizeof(k01_page25_page_t));
  } else if (subtype == 1) {
    o.Bytes(&cs.enc.page25.table, Table25Bytes(cs.enc.page25.table.kind));
  } else {
    return status::kOk;
  }
  Finish(cs, o, subtype, 25, false);
  return status::kOk;
}

Status Body26(ConvState& cs) {
  const uint8_t subtype = cs.enc.header[2];
  const k01_aux26_t& a = cs.enc.aux26;
  const uint8_t* s = reinterpret_cast<const uint8_t*>(&a);
  size_t n = 0;        // bytes of the structure that the body carries
  size_t countAt = 0;  // offset of the count of the counted byte list
  switch (subtype) {
    case 0: n = 7 + 38; break;
    case 1: n = 8 + 11; break;
    case 2: case 3: case 4: case 5: countAt = 14; break;
    case 6: countAt = 12; break;
    case 7: countAt = 13; break;
    default: n = 0; break;
  }
  size_t count = 0;
  if (countAt != 0) {
    count = std::min<size_t>(s[countAt], sizeof a - countAt - 1);
    n = countAt + 1 + count;
  }
  Out o = Begin(cs);
  o.Bytes(s, n);
  if (countAt != 0) o.buf[4 + countAt] = static_cast<uint8_t>(count);
  Finish(cs, o, subtype, 26, false);
  return status::kOk;
}

void Signal27(Out& o, const k01_signal27_t& g) {
  o.Bytes(&g, (g.flagsG & 0x80) ? 28 : 27);
}

Status Body27(ConvState& cs) {
  const k01_meas27_t& m = cs.enc.meas27;
  Out o = Begin(cs);
  o.Bytes(&m, offsetof(k01_meas27_t, clockValue2));  // up to and including flags
  if (m.flags & 0x02) o.Bytes(&m.clockValue2, 4);
  if (m.flags & 0x10) o.U8(m.byteF4);
  if (m.flags & 0x20) {
    const int k = std::min<int>(m.extCount, k01_meas27_t::kExtSlots);
    o.U8(m.extSize);
    o.U8(m.extCode);
    o.U8(static_cast<uint8_t>(k));
    for (int i = 0; i < k; ++i) {
      o.U8(m.extCodes[i]);
      o.F64(m.extValues[i]);
    }
  }
  const int svs = std::min<int>(m.svCount, k01_meas27_t::kSvSlots);
  // The count in the body is the number of SV blocks that follow it.
  o.buf[4 + offsetof(k01_meas27_t, svCount)] = static_cast<uint8_t>(svs);
  for (int i = 0; i < svs; ++i) {
    const k01_sv27_t& sv = m.sv[i];
    const int sigs = std::min<int>(sv.signalCount, k01_sv27_t::kSignalSlots);
    const size_t start = o.pos;
    o.Bytes(&sv, offsetof(k01_sv27_t, signal));
    o.buf[start + offsetof(k01_sv27_t, signalCount)] = static_cast<uint8_t>(sigs);
    for (int g = 0; g < sigs; ++g) Signal27(o, sv.signal[g]);
  }
  Finish(cs, o, 0, 27, true);
  return status::kOk;
}

Status Body28(ConvState& cs) {
  const k01_rec28_t& r = cs.enc.rec28;
  size_t n = 0;
  switch (r.subtype) {
    case 2: n = sizeof(k01_rec28_2_t); break;
    case 3: n = sizeof(k01_rec28_3_t); break;
    case 4: n = sizeof(k01_rec28_4_t); break;
    default: return status::kOk;  // other subtypes are not written
  }
  Out o = Begin(cs);
  o.U8(r.subtype);
  o.Bytes(&r.body, n);
  Finish(cs, o, 0, 28, false);
  return status::kOk;
}

Status Body29(ConvState& cs) {
  const k01_pos29_t& p = cs.enc.pos29;
  const uint8_t* s = reinterpret_cast<const uint8_t*>(&p);
  Out o = Begin(cs);
  const int svs = std::min<int>(p.svCount, k01_pos29_t::kSvSlots);
  const size_t countAt = o.pos + offsetof(k01_pos29_t, svCount);
  o.Bytes(s, offsetof(k01_pos29_t, thirdSize));  // fixed part: 12 fields, 6 f64, 11 u32
  o.buf[countAt] = static_cast<uint8_t>(svs);
  if (p.modeByte > 2 && p.modeByte < 7) {
    o.U8(p.thirdSize);
    o.U8(p.thirdByte);
    o.Bytes(&p.thirdValue, 4);
    o.U8(p.thirdFlags);
    if (p.thirdFlags & 0x1) o.U16(p.thirdWord);
    if (p.thirdFlags & 0x2) o.Bytes(s + offsetof(k01_pos29_t, thirdTriple), 12);
    if (p.thirdFlags & 0x4) o.U32(p.thirdLast);
  }
  if (p.sectionFlags & 0x02) {
    o.U8(p.fourthSize);
    o.Bytes(s + offsetof(k01_pos29_t, fourthValues), 8);
    o.U8(p.fourthFlags);
    if (p.fourthFlags & 0x1) o.U32(p.fourthExtra);
  }
  if (p.sectionFlags & 0x10) {
    const int k = std::min<int>(p.extCount, 8);
    o.U8(p.extSize);
    o.U8(p.extCode);
    o.U8(static_cast<uint8_t>(k));
    for (int i = 0; i < k; ++i) {
      o.U8(p.extCodes[i]);
      o.F64(p.extValues[i]);
    }
  }
  o.U8(p.svSectionSize);
  o.Bytes(p.svEntries, 3 * static_cast<size_t>(svs));
  Finish(cs, o, 0, 29, true);
  return status::kOk;
}

Status Body32(ConvState& cs) {
  const k01_rec32_t& r = cs.enc.rec32;
  size_t n = 0;
  switch (r.subtype) {
    case 2: n = sizeof(k01_rec32_2_t); break;
    case 3: n = sizeof(k01_rec32_3_t); break;
    case 4: n = sizeof(k01_rec32_4_t); break;
    default: return status::kOk;
  }
  Out o = Begin(cs);
  o.U8(r.subtype);
  o.Bytes(&r.body, n);
  Finish(cs, o, 0, 32, false);
  return status::kOk;
}

Status Body40(ConvState& cs) {
  const k01_coded40_t& c = cs.enc.coded40;
  const int n = std::min<int>(c.count, k01_coded40_t::kEntrySlots);
  Out o = Begin(cs);
  o.Bytes(&c, offsetof(k01_coded40_t, entry));
  o.buf[4 + offsetof(k01_coded40_t, count)] = static_cast<uint8_t>(n);
  o.Bytes(c.entry, sizeof(k01_code40_t) * static_cast<size_t>(n));
  Finish(cs, o, 0, 40, false);
  return status::kOk;
}

// Types 98 and 99: the header length says how much of the image is in use.
Status BodyData(ConvState& cs, uint8_t type, const void* image, size_t imageSize) {
  const size_t fixed = 7;
  size_t len = cs.enc.header[1] + 256u * cs.enc.header[2];
  len = std::clamp(len, 4 + fixed, 4 + imageSize);
  Out o = Begin(cs);
  o.Bytes(image, len - 4);
  Finish(cs, o, 0, type, true);
  return status::kOk;
}

Status BodyCopied(ConvState& cs, uint8_t type, const uint8_t* body, size_t cap) {
  const size_t len = std::clamp<size_t>(cs.enc.header[1], 4, 4 + cap);
  Out o = Begin(cs);
  o.Bytes(body, len - 4);
  Finish(cs, o, cs.enc.header[2], type, false);
  return status::kOk;
}

Status Body102(ConvState& cs) {
  Out o = Begin(cs);
  const int n = std::min<int>(cs.enc.multiCount, kMultiEntries);
  o.F64(cs.enc.multiTime);
  o.F64(cs.enc.multiClock);
  o.U8(static_cast<uint8_t>(n));
  for (int i = 0; i < n; ++i) {
    o.Bytes(cs.enc.multi[i].bytes, 2);
    for (int k = 0; k < 4; ++k) o.F64(cs.enc.multi[i].values[k]);
  }
  Finish(cs, o, 0, 102, true);
  return status::kOk;
}

}  // namespace

size_t Table25Bytes(uint8_t kind) {
  switch (kind) {
    case 1: return 2 + 200;
    case 2: return 2 + 202;
    case 3: case 4: case 5: return 2 + 201;
    case 6: return 2 + 57;
    default: return 2;
  }
}

Status WriteImageBody(ConvState& cs, uint8_t type) {
  if (Excluded(cs, type)) return status::kOk;
  switch (type) {
    case 20: return BodyCopied(cs, 20, cs.enc.body20, sizeof cs.enc.body20);
    case 25: return Body25(cs);
    case 26: return Body26(cs);
    case 27: return Body27(cs);
    case 28: return Body28(cs);
    case 29: return Body29(cs);
    case 31: return BodyCopied(cs, 31, cs.enc.body31, sizeof cs.enc.body31);
    case 32: return Body32(cs);
    case 40: return Body40(cs);
    case 98: return BodyData(cs, 98, &cs.enc.data98, sizeof cs.enc.data98);
    case 99: return BodyData(cs, 99, &cs.enc.data99, sizeof cs.enc.data99);
    case 102: return Body102(cs);
    default: return status::kOk;
  }
}

}  // namespace enc
