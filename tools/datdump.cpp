// datdump: lists the records of a DAT file, one line per record: file
// offset, record type, the envelope's third byte (subtype, entries to
// follow, or the high length byte), record length and, for the header,
// ion/UTC, ephemeris, measurement, position and event records, their
// fields in physical units. With --json every record is one JSON object
// on its own line.
//
// The file is walked by the record envelope alone. A record whose
// envelope is invalid (marker, type, length) or that runs past the end of
// the file ends the listing; a record whose body does not match its
// layout, and a file that does not open with the five header records and
// the ion/UTC record, are reported and the walk goes on. Every problem is
// reported on standard error with its file offset.
//
// Exit codes: 0 clean, 1 damaged file, 2 usage error or unreadable file.
#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/byte_order.h"

namespace {

constexpr int kExitClean = 0;
constexpr int kExitDamaged = 1;
constexpr int kExitUsage = 2;

constexpr uint8_t kMarker = 0x74;

// ---- values and their two renderings ---------------------------------------

struct Value {
  enum class Kind { kInt, kHex, kNum, kFloat, kText, kBytes, kBool, kArray, kObject };
  Kind kind = Kind::kInt;
  int64_t i = 0;   // kInt, kHex, kBool
  int hexDigits = 2;  // kHex: digits shown in the text form
  double d = 0.0;  // kNum, kFloat (kFloat holds a binary32 value)
  std::string s;   // kText, kBytes: the bytes as they stand
  std::vector<Value> elems;      // kArray; kObject: the member values
  std::vector<std::string> keys;  // kObject: the member names

  static Value Int(int64_t v) { Value x; x.kind = Kind::kInt; x.i = v; return x; }
  static Value Num(double v) { Value x; x.kind = Kind::kNum; x.d = v; return x; }
  static Value Float(float v) { Value x; x.kind = Kind::kFloat; x.d = v; return x; }
  static Value Hex(uint32_t v, int digits) {
    Value x;
    x.kind = Kind::kHex;
    x.i = v;
    x.hexDigits = digits;
    return x;
  }
  static Value Bool(bool v) { Value x; x.kind = Kind::kBool; x.i = v ? 1 : 0; return x; }
  static Value Array() { Value x; x.kind = Kind::kArray; return x; }
  static Value Object() { Value x; x.kind = Kind::kObject; return x; }
};

// Builder of one object's members in order.
class Obj {
 public:
  Obj& Int(const char* k, int64_t v) { return Put(k, Value::Int(v)); }
  Obj& Hex(const char* k, uint32_t v, int digits = 2) { return Put(k, Value::Hex(v, digits)); }
  Obj& Num(const char* k, double v) { return Put(k, Value::Num(v)); }
  Obj& Float(const char* k, float v) { return Put(k, Value::Float(v)); }
  Obj& Bool(const char* k, bool v) { return Put(k, Value::Bool(v)); }
  // Text up to its first zero byte within n bytes.
  Obj& Text(const char* k, const uint8_t* p, size_t n) {
    Value x;
    x.kind = Value::Kind::kText;
    const size_t len = p != nullptr ? strnlen(reinterpret_cast<const char*>(p), n) : 0;
    if (len > 0) x.s.assign(reinterpret_cast<const char*>(p), len);
    return Put(k, std::move(x));
  }
  Obj& Bytes(const char* k, const uint8_t* p, size_t n) {
    Value x;
    x.kind = Value::Kind::kBytes;
    if (p != nullptr && n > 0) x.s.assign(reinterpret_cast<const char*>(p), n);
    return Put(k, std::move(x));
  }
  Obj& Put(const std::string& k, Value v) {
    v_.keys.push_back(k);
    v_.elems.push_back(std::move(v));
    return *this;
  }
  const Value& value() const { return v_; }
  Value Take() { return std::move(v_); }

 private:
  Value v_ = Value::Object();
};

void AppendNumber(std::string& out, double v, bool single, bool json) {
  if (std::isnan(v)) {
    out += json ? "null" : "nan";
    return;
  }
  if (std::isinf(v)) {
    out += json ? "null" : (v < 0 ? "-inf" : "inf");
    return;
  }
  char buf[64];
  const auto r = single ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(v))
                        : std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

// A quoted string with JSON escapes; bytes outside printable ASCII are
// written as \u00XX (each byte taken as one character), so the output is
// plain ASCII and valid JSON whatever the file holds.
void AppendQuoted(std::string& out, const std::string& s) {
  out += '"';
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

void AppendHexBytes(std::string& out, const std::string& s) {
  static const char kDigits[] = "0123456789abcdef";
  for (unsigned char c : s) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
}

void Render(std::string& out, const Value& v, bool json) {
  switch (v.kind) {
    case Value::Kind::kInt:
      out += std::to_string(v.i);
      break;
    case Value::Kind::kHex:
      if (json) {
        out += std::to_string(v.i);
      } else {
        char buf[24];
        std::snprintf(buf, sizeof buf, "0x%0*llx", v.hexDigits, static_cast<unsigned long long>(v.i));
        out += buf;
      }
      break;
    case Value::Kind::kNum:
    case Value::Kind::kFloat:
      AppendNumber(out, v.d, v.kind == Value::Kind::kFloat, json);
      break;
    case Value::Kind::kText:
      AppendQuoted(out, v.s);
      break;
    case Value::Kind::kBytes:
      if (json || v.s.empty()) out += '"';
      AppendHexBytes(out, v.s);
      if (json || v.s.empty()) out += '"';
      break;
    case Value::Kind::kBool:
      out += v.i != 0 ? "true" : "false";
      break;
    case Value::Kind::kArray:
      out += '[';
      for (size_t k = 0; k < v.elems.size(); ++k) {
        if (k > 0) out += json ? "," : " ";
        Render(out, v.elems[k], json);
      }
      out += ']';
      break;
    case Value::Kind::kObject:
      out += '{';
      for (size_t k = 0; k < v.keys.size() && k < v.elems.size(); ++k) {
        if (k > 0) out += json ? "," : " ";
        if (json) {
          AppendQuoted(out, v.keys[k]);
          out += ':';
        } else {
          out += v.keys[k];
          out += '=';
        }
        Render(out, v.elems[k], json);
      }
      out += '}';
      break;
  }
}

// One record line: the object's members without the outer braces in text
// form, the whole object in JSON.
std::string RecordLine(const Value& record, bool json) {
  std::string line;
  Render(line, record, json);
  if (!json && line.size() >= 2) line = line.substr(1, line.size() - 2);
  line += '\n';
  return line;
}

// ---- bounded little-endian body reader ---------------------------------------

// Reads the fields of one record body; a read past the body's end yields
// zero and marks the reader, so a short body never reads beyond its record.
class Reader {
 public:
  Reader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  const uint8_t* Take(size_t n) {
    if (overrun_ || n > n_ - pos_) {
      overrun_ = true;
      return nullptr;
    }
    const uint8_t* at = p_ + pos_;
    pos_ += n;
    return at;
  }
  uint8_t U8() {
    const uint8_t* a = Take(1);
    return a != nullptr ? a[0] : 0;
  }
  uint16_t U16() {
    const uint8_t* a = Take(2);
    return a != nullptr ? bo::GetLe16(a) : 0;
  }
  int16_t I16() { return static_cast<int16_t>(U16()); }
  uint32_t U32() {
    const uint8_t* a = Take(4);
    return a != nullptr ? bo::GetLe32(a) : 0;
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  double F64() {
    const uint8_t* a = Take(8);
    return a != nullptr ? bo::GetLeDouble(a) : 0.0;
  }
  float F32() {
    const uint32_t bits = U32();
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
  }
  bool overrun() const { return overrun_; }
  size_t left() const { return n_ - pos_; }
  size_t size() const { return n_; }

 private:
  const uint8_t* p_;
  size_t n_;
  size_t pos_ = 0;
  bool overrun_ = false;
};

// Milliseconds of the week as seconds of the week.
double Seconds(double ms) { return ms / 1000.0; }

Value NumArray(Reader& r, int n) {
  Value a = Value::Array();
  for (int k = 0; k < n; ++k) a.elems.push_back(Value::Num(r.F64()));
  return a;
}

Value FloatArray(Reader& r, int n) {
  Value a = Value::Array();
  for (int k = 0; k < n; ++k) a.elems.push_back(Value::Float(r.F32()));
  return a;
}

// ---- the envelope ----------------------------------------------------------------

// What the third header byte holds for a record type.
enum class Byte2 { kZero, kSubtype, kFollow, kLengthHigh };

// The record types that a DAT file carries, with the role of byte 2.
bool KnownType(uint8_t type, Byte2* role) {
  switch (type) {
    case 12: case 17: case 27: case 29: case 98: case 99: case 102:
      *role = Byte2::kLengthHigh;
      return true;
    case 5: case 16: case 19: case 20: case 25: case 26: case 30:
      *role = Byte2::kSubtype;
      return true;
    case 7:
      *role = Byte2::kFollow;
      return true;
    case 3: case 10: case 11: case 15: case 21: case 28: case 31: case 32: case 40: case 101:
      *role = Byte2::kZero;
      return true;
    default:
      return false;
  }
}

// ---- body decoders ---------------------------------------------------------------

// Each decoder reads the body and adds its fields; a non-empty problem
// says why the body does not fit its layout (the reader's bounds checks
// cover the rest).
using Problem = std::string;

std::string Printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list again;
  va_copy(again, ap);
  const int n = std::vsnprintf(nullptr, 0, fmt, ap);
  va_end(ap);
  std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(out.data(), out.size() + 1, fmt, again);
  va_end(again);
  return out;
}

struct HeaderLayout {
  uint8_t subtype;
  size_t length;
};
constexpr HeaderLayout kHeaderLayouts[5] = {{6, 24}, {0, 98}, {1, 65}, {2, 64}, {3, 110}};

void HeaderSubtype0(Reader& r, Obj& o) {
  o.Int("byte0", r.U8()).Int("byte1", r.U8());
  o.Text("station", r.Take(5), 5);
  o.Int("ref_kind", r.U8());
  o.Num("lat_deg", r.F64()).Num("lon_deg", r.F64()).Num("height_m", r.F64());
  o.Num("antenna_height_m", r.F64());
  o.Int("antenna_unit", r.U8()).Int("name_present", r.U8()).Int("name_length", r.U8());
  o.Text("name", r.Take(51), 51);
}

void HeaderSubtype1(Reader& r, Obj& o) {
  o.Int("word0", r.U16());
  o.Text("name_tail", r.Take(5), 5);
  o.Int("schedule_specified", r.U8());
  o.Int("schedule_start_min", r.U16()).Int("schedule_stop_min", r.U16());
  o.Int("logging_start_min", r.U16()).Int("logging_stop_min", r.U16());
  o.Int("week", r.U16());
  o.Int("year", 1900 + r.U16()).Int("month", r.U16()).Int("day", r.U16());
  o.Num("sync_rate_s", r.U16() / 10.0);
  o.Int("elevation_mask_deg", static_cast<int8_t>(r.U8()));
  o.Int("min_svs", static_cast<int8_t>(r.U8()));
  o.Int("antenna_in_field", r.U8());
  o.Int("logging_specified", r.U8()).Int("position_only", r.U8()).Int("every_cycle", r.U8());
  o.Int("sv_selection", r.U8()).Int("a4", r.U8()).Int("name_present", r.U8()).Int("a5", r.U8());
  o.Text("t1", r.Take(4), 4);
  o.Num("d1", r.F64());
  o.Hex("w1", r.U32(), 8).Hex("w2", r.U32(), 8).Hex("w3", r.U32(), 8);
  o.Int("a10", r.U8());
}

void HeaderSubtype2(Reader& r, Obj& o) {
  o.Int("word0", r.U16());
  o.Int("nav_version", r.U16()).Int("sig_version", r.U16());
  Value dl = Value::Array();
  for (int k = 0; k < 3; ++k) dl.elems.push_back(Value::Int(r.U16()));
  o.Put("download_version", std::move(dl));
  o.Text("antenna_serial", r.Take(12), 12);
  o.Text("receiver_serial", r.Take(12), 12);
  o.Int("type_code", r.U8());
  o.Int("a1", r.U8()).Int("l2_flag", r.U8()).Int("test_mode", r.U8());
  o.Int("name_present", r.U8()).Int("a7", r.U8()).Int("a8", r.U8()).Int("a9", r.U8());
  o.Num("d2", r.F64());
  o.Hex("w4", r.U32(), 8);
  o.Hex("h1", r.U16(), 4);
  o.Int("a6", r.U8()).Int("a11", r.U8());
}

void HeaderSubtype3(Reader& r, Obj& o) {
  o.Int("word0", r.U16());
  o.Num("best_lat_deg", r.F64()).Num("best_lon_deg", r.F64()).Num("best_height_m", r.F64());
  o.Num("best_pdop", r.F64());
  o.Num("best2_lat_deg", r.F64()).Num("best2_lon_deg", r.F64()).Num("best2_pdop", r.F64());
  o.Num("mean_lat_deg", r.F64()).Num("mean_lon_deg", r.F64()).Num("mean_height_m", r.F64());
  o.Num("mean2_lat_deg", r.F64()).Num("mean2_lon_deg", r.F64());
  o.Int("mean_count", r.I32()).Int("mean2_count", r.I32());
}

void HeaderSubtype6(Reader& r, Obj& o) {
  o.Int("word0", r.U16());
  o.Int("count", r.U16());
  Value w = Value::Array();
  for (int k = 0; k < 4; ++k) w.elems.push_back(Value::Int(r.U32()));
  o.Put("words", std::move(w));
}

// Type 5: the header records; bit 7 of the subtype marks a placeholder that
// was never given its final contents.
Problem DecodeHeader(Reader& r, uint8_t byte2, size_t length, Obj& o) {
  const uint8_t subtype = byte2 & 0x7F;
  const HeaderLayout* layout = nullptr;
  for (const HeaderLayout& h : kHeaderLayouts)
    if (h.subtype == subtype) layout = &h;
  if (layout == nullptr) return Printf("no layout for header record subtype %u", subtype);
  if (length != layout->length)
    return Printf("a header record of subtype %u is %zu bytes long, not %zu", subtype,
                  layout->length, length);
  if (byte2 & 0x80) {
    o.Bool("placeholder", true);
    r.Take(r.left());
    return {};
  }
  switch (subtype) {
    case 0: HeaderSubtype0(r, o); break;
    case 1: HeaderSubtype1(r, o); break;
    case 2: HeaderSubtype2(r, o); break;
    case 3: HeaderSubtype3(r, o); break;
    default: HeaderSubtype6(r, o); break;
  }
  return {};
}

// Type 15: 14 values and 8 bytes.
Problem DecodeIonUtc(Reader& r, Obj& o) {
  o.Put("values", NumArray(r, 11));
  o.Num("value12", r.F64()).Num("value13", r.F64()).Num("value14", r.F64());
  o.Bytes("tail", r.Take(8), 8);
  return {};
}

// Type 3: SV number, a zero byte, 25 values.
Problem DecodeEphemeris3(Reader& r, Obj& o) {
  o.Int("sv", r.U8()).Int("spare", r.U8());
  o.Put("values", NumArray(r, 25));
  return {};
}

// Type 21: SV number, a zero byte, two signed 16-bit words, two bytes,
// three signed 32-bit words, 19 values, a flag word and 10 bytes.
Problem DecodeEphemeris21(Reader& r, Obj& o) {
  o.Int("sv", r.U8()).Int("spare", r.U8());
  Value words = Value::Array();
  for (int k = 0; k < 2; ++k) words.elems.push_back(Value::Int(r.I16()));
  o.Put("words", std::move(words));
  Value bytes = Value::Array();
  for (int k = 0; k < 2; ++k) bytes.elems.push_back(Value::Int(r.U8()));
  o.Put("bytes", std::move(bytes));
  Value longs = Value::Array();
  for (int k = 0; k < 3; ++k) longs.elems.push_back(Value::Int(r.I32()));
  o.Put("longs", std::move(longs));
  o.Put("values", NumArray(r, 19));
  o.Hex("flag_word", r.U32(), 8);
  o.Bytes("tail", r.Take(10), 10);
  return {};
}

// Type 7: one SV entry of a measurement epoch (82, 106 or 122 bytes).
Problem DecodeMeasurement7(Reader& r, size_t length, Obj& o) {
  if (length != 82 && length != 106 && length != 122)
    return Printf("a measurement entry is 82, 106 or 122 bytes long, not %zu", length);
  o.Int("word1", r.U16()).Int("word2", r.U16());
  o.Int("word3", r.U16()).Int("word4", r.U16());
  o.Num("clock_m", r.F64());
  o.Num("value2", r.F64()).Num("value3", r.F64()).Num("value4", r.F64()).Num("value5", r.F64());
  o.Num("tow_s", Seconds(r.F64()));
  o.Num("value7", r.F64()).Num("value8", r.F64());
  o.Bytes("bytes", r.Take(4), 4);
  o.Hex("flags", r.U8());
  o.Int("sv", r.U8());
  if (length >= 106) o.Num("value9", r.F64()).Num("value10", r.F64()).Num("value11", r.F64());
  if (length >= 122) o.Num("value12", r.F64()).Num("value13", r.F64());
  return {};
}

// Type 17: epoch time, clock term, SV count, SV blocks of 48 bytes, 72 with
// the second frequency.
Problem DecodeMeasurement17(Reader& r, Obj& o) {
  o.Num("tow_s", Seconds(r.F64()));
  o.Num("clock_ms", r.F64());
  const int n = r.U8();
  o.Int("sv_count", n);
  Value svs = Value::Array();
  for (int k = 0; k < n && !r.overrun(); ++k) {
    Obj s;
    s.Int("sv", r.U8());
    const uint8_t flags = r.U8();
    s.Hex("flags", flags);
    s.Int("status", r.U8()).Int("byte3", r.U8());
    s.Int("word1", r.U16()).Int("word2", r.U16());
    s.Num("snr1", r.F64()).Num("range1_m", r.F64()).Num("phase1_cyc", r.F64());
    s.Num("doppler1_hz", r.F64()).Num("value5", r.F64());
    if (flags & 1) s.Num("snr2", r.F64()).Num("phase2_cyc", r.F64()).Num("range_diff2_m", r.F64());
    svs.elems.push_back(s.Take());
  }
  o.Put("svs", std::move(svs));
  return {};
}

// The extension block of types 27 and 29: size, code, count and up to 8
// code/value entries.
Problem DecodeExtension(Reader& r, Obj& o) {
  o.Int("ext_size", r.U8()).Int("ext_code", r.U8());
  const int k = r.U8();
  o.Int("ext_count", k);
  if (k > 8) return Printf("extension count %d is above 8", k);
  Value ext = Value::Array();
  for (int e = 0; e < k; ++e) {
    Obj x;
    x.Int("code", r.U8()).Num("value", r.F64());
    ext.elems.push_back(x.Take());
  }
  o.Put("ext", std::move(ext));
  return {};
}

// Type 27: the multi-signal measurement epoch.
Problem DecodeMeasurement27(Reader& r, Obj& o) {
  o.Int("fixed_size", r.U8());
  o.Int("week", r.U16());
  o.Num("tow_s", Seconds(r.F64()));
  o.Float("clock_ms", r.F32());
  const int m = r.U8();
  const uint8_t flags = r.U8();
  o.Int("sv_count", m).Hex("flags", flags);
  if (flags & 0x02) o.Float("clock2", r.F32());
  if (flags & 0x10) o.Int("byte_f4", r.U8());
  if (flags & 0x20) {
    if (Problem p = DecodeExtension(r, o); !p.empty()) return p;
  }
  Value svs = Value::Array();
  for (int k = 0; k < m && !r.overrun(); ++k) {
    Obj s;
    s.Int("size", r.U8()).Int("sv", r.U8()).Int("system", r.U8());
    s.Int("channel", static_cast<int8_t>(r.U8()));
    const int signals = r.U8();
    s.Int("signal_count", signals);
    s.Int("word_a", r.U16()).Int("word_b", r.U16()).Hex("byte_q", r.U8());
    Value sigs = Value::Array();
    for (int g = 0; g < signals && !r.overrun(); ++g) {
      Obj x;
      x.Int("size", r.U8()).Int("band", r.U8()).Int("signal_type", r.U8());
      x.Num("snr", r.U16() / 10.0);
      x.Num("range_m", r.F64()).Num("phase_cyc", r.F64()).Float("doppler_hz", r.F32());
      x.Int("status", r.U8());
      const uint8_t g8 = r.U8();
      x.Hex("flags_g", g8);
      if (g8 & 0x80) x.Hex("flags_h", r.U8());
      sigs.elems.push_back(x.Take());
    }
    s.Put("signals", std::move(sigs));
    svs.elems.push_back(s.Take());
  }
  o.Put("svs", std::move(svs));
  return {};
}

// Types 10 and 11: position, nine values, time, a status byte, a count
// byte and two lists of n bytes (n = 4 for type 10, the count for 11).
Problem DecodePosition(Reader& r, uint8_t type, size_t length, Obj& o) {
  if (length < 82 || (length - 82) % 2 != 0)
    return Printf("a position record is 82 + 2n bytes long, not %zu", length);
  const size_t n = (length - 82) / 2;
  if (type == 10 && n != 4) return Printf("a type-10 position is 90 bytes long, not %zu", length);
  o.Num("lat_deg", r.F64() * 180.0).Num("lon_deg", r.F64() * 180.0).Num("height_m", r.F64());
  o.Num("clock", r.F64());
  o.Num("value5", r.F64()).Num("value6", r.F64()).Num("value7", r.F64());
  o.Num("value8", r.F64()).Num("value9", r.F64());
  o.Num("tow_s", Seconds(r.U32()));
  o.Hex("status", r.U8());
  const uint8_t count = r.U8();
  o.Int(type == 11 ? "count" : "byte42", count);
  const uint8_t* lists = r.Take(2 * n);
  Value l1 = Value::Array(), l2 = Value::Array();
  for (size_t k = 0; lists != nullptr && k < n; ++k) {
    l1.elems.push_back(Value::Int(lists[k]));
    l2.elems.push_back(Value::Int(lists[n + k]));
  }
  o.Put("list1", std::move(l1)).Put("list2", std::move(l2));
  if (type == 11 && count != n)
    return Printf("count %u does not match the %zu list entries of its length", count, n);
  return {};
}

// Type 29: precise position, by sections.
Problem DecodePrecisePosition(Reader& r, Obj& o) {
  o.Int("first_size", r.U8()).Int("word5", r.U16());
  o.Num("tow_s", Seconds(r.U32()));
  o.Int("byte11", r.U8());
  const int svCount = r.U8();
  o.Int("sv_count", svCount).Int("second_count", r.U8()).Int("byte14", r.U8());
  const uint8_t sections = r.U8();
  o.Hex("section_flags", sections).Int("byte16", r.U8());
  const uint8_t mode = r.U8();
  o.Int("mode", mode).Int("byte18", r.U8()).Int("second_size", r.U8());
  o.Num("lat_deg", r.F64()).Num("lon_deg", r.F64()).Num("height_m", r.F64());
  o.Num("value40", r.F64()).Num("value48", r.F64()).Num("value56", r.F64());
  o.Put("values", FloatArray(r, 11));
  if (mode > 2 && mode < 7) {
    o.Int("third_size", r.U8()).Int("third_byte", r.U8()).Float("third_value", r.F32());
    const uint8_t q = r.U8();
    o.Hex("third_flags", q);
    if (q & 0x1) o.Int("third_word", r.U16());
    if (q & 0x2) {
      Value t = Value::Array();
      for (int k = 0; k < 3; ++k) t.elems.push_back(Value::Int(r.U32()));
      o.Put("third_triple", std::move(t));
    }
    if (q & 0x4) o.Int("third_last", r.U32());
  }
  if (sections & 0x02) {
    o.Int("fourth_size", r.U8());
    o.Put("fourth_values", FloatArray(r, 2));
    const uint8_t f = r.U8();
    o.Hex("fourth_flags", f);
    if (f & 0x1) o.Int("fourth_extra", r.U32());
  }
  if (sections & 0x10) {
    if (Problem p = DecodeExtension(r, o); !p.empty()) return p;
  }
  o.Int("sv_section_size", r.U8());
  Value svs = Value::Array();
  for (int k = 0; k < svCount && !r.overrun(); ++k) {
    Obj s;
    s.Int("sv", r.U8()).Int("system", r.U8()).Hex("flags", r.U8());
    svs.elems.push_back(s.Take());
  }
  o.Put("svs", std::move(svs));
  return {};
}

// Type 19: events, by subtype.
Problem DecodeEvent(Reader& r, uint8_t subtype, Obj& o) {
  switch (subtype) {
    case 0:
    case 2:
    case 4:
      o.Int("a", r.U16()).Num("time_s", Seconds(r.F64()));
      return {};
    case 1:
      o.Num("base_s", Seconds(r.F64())).Int("offset_ms", r.U16());
      return {};
    case 5:
      o.Int("week", r.I16()).Num("tow_s", Seconds(r.F64()));
      return {};
    case 7:
      o.Int("byte", r.U8()).Int("word", r.U16()).Num("value", r.F64());
      return {};
    case 3:
    case 8: {
      if (subtype == 8) o.Int("byte", r.U8());
      o.Int(subtype == 3 ? "a" : "word", r.U16());
      const size_t n = r.left();
      const uint8_t* text = r.Take(n);
      if (text == nullptr) return {};  // the body ran short: reported by the caller
      if (n == 0 || text[n - 1] != 0) return "the event text has no terminating zero";
      o.Text("text", text, n);
      return {};
    }
    default:
      return Printf("no layout for event subtype %u", subtype);
  }
}

// ---- the walk ----------------------------------------------------------------

struct Options {
  bool json = false;
  const char* path = nullptr;
};

class Dumper {
 public:
  Dumper(const Options& opt, const std::vector<uint8_t>& file) : opt_(opt), f_(file) {}

  // Lists the file; returns the exit code.
  int Run() {
    if (f_.empty()) {
      Report(0, "the file is empty: a DAT file opens with its header records");
      return kExitDamaged;
    }
    size_t offset = 0;
    size_t index = 0;
    while (offset < f_.size()) {
      size_t length = 0;
      if (!Envelope(offset, &length)) return kExitDamaged;
      Record(offset, length, index++);
      offset += length;
    }
    if (index < 6 && !openingReported_)
      Report(f_.size(), Printf("the file ends after %zu records, inside the opening records", index));
    return damaged_ ? kExitDamaged : kExitClean;
  }

  bool OutputFailed() const { return outputFailed_; }

 private:
  void Report(size_t offset, const std::string& what) {
    std::fprintf(stderr, "datdump: %s: offset %zu: %s\n", opt_.path, offset, what.c_str());
    damaged_ = true;
  }

  // Checks the envelope at offset; false (after the report) when the walk
  // cannot go on.
  bool Envelope(size_t offset, size_t* length) {
    const size_t left = f_.size() - offset;
    const uint8_t* h = f_.data() + offset;
    // A walk that breaks after the first record may have been sent astray by
    // the length of the record before.
    const auto where = [&] {
      return offset > 0 ? Printf(" (the record before, at offset %zu, may have a wrong length)", previous_)
                        : std::string();
    };
    if (left < 4) {
      Report(offset, Printf("truncated record header: %zu of its 4 bytes before the end of the file%s",
                            left, where().c_str()));
      return false;
    }
    if (h[0] != kMarker) {
      Report(offset, Printf("record marker is 0x%02x, not 0x74; %zu bytes not listed%s", h[0], left,
                            where().c_str()));
      return false;
    }
    Byte2 role;
    if (!KnownType(h[3], &role)) {
      Report(offset, Printf("unknown record type %u; %zu bytes not listed%s", h[3], left, where().c_str()));
      return false;
    }
    size_t len = h[1];
    if (role == Byte2::kLengthHigh) len += 256u * h[2];
    if (len < 4) {
      Report(offset, Printf("record length %zu is shorter than its 4-byte header; %zu bytes not listed",
                            len, left));
      return false;
    }
    if (len > left) {
      Report(offset, Printf("type-%u record of %zu bytes runs past the end of the file (%zu bytes left)",
                            h[3], len, left));
      return false;
    }
    previous_ = offset;
    *length = len;
    return true;
  }

  void Record(size_t offset, size_t length, size_t index) {
    const uint8_t* rec = f_.data() + offset;
    const uint8_t type = rec[3];
    const uint8_t byte2 = rec[2];
    Byte2 role = Byte2::kZero;
    KnownType(type, &role);

    Obj o;
    o.Int("offset", static_cast<int64_t>(offset));
    o.Int("type", type);
    switch (role) {
      case Byte2::kSubtype: o.Int("subtype", byte2 & (type == 5 ? 0x7F : 0xFF)); break;
      case Byte2::kFollow: o.Int("follow", byte2); break;
      case Byte2::kLengthHigh: o.Int("lenhi", byte2); break;
      case Byte2::kZero: o.Int("byte2", byte2); break;
    }
    o.Int("len", static_cast<int64_t>(length));

    Problem problem;
    if (role == Byte2::kZero && byte2 != 0)
      problem = Printf("byte 2 of a type-%u record is %u, not 0", type, byte2);
    Obj fields;
    Reader r(rec + 4, length - 4);
    Problem layout = Decode(r, type, byte2, length, fields);
    if (layout.empty() && r.overrun())
      layout = Printf("the body of %zu bytes is too short for its fields", r.size());
    if (layout.empty() && r.left() > 0)
      layout = Printf("%zu bytes after the last field of its layout", r.left());
    // A body that ran short has no trustworthy fields; the others are listed.
    if (!r.overrun()) {
      Value decoded = fields.Take();
      for (size_t k = 0; k < decoded.keys.size(); ++k) o.Put(decoded.keys[k], std::move(decoded.elems[k]));
    }
    if (!layout.empty()) problem = problem.empty() ? layout : problem + "; " + layout;

    if (!problem.empty()) {
      Report(offset, Printf("type-%u record: %s", type, problem.c_str()));
      Value p;
      p.kind = Value::Kind::kText;
      p.s = problem;
      o.Put("problem", std::move(p));
    }
    CheckOpening(offset, index, type, byte2, length);
    const std::string line = RecordLine(o.value(), opt_.json);
    if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size()) outputFailed_ = true;
  }

  static Problem Decode(Reader& r, uint8_t type, uint8_t byte2, size_t length, Obj& o) {
    switch (type) {
      case 5: return DecodeHeader(r, byte2, length, o);
      case 3:
        if (length != 206) return Printf("an ephemeris record is 206 bytes long, not %zu", length);
        return DecodeEphemeris3(r, o);
      case 21:
        if (length != 190) return Printf("an ephemeris record is 190 bytes long, not %zu", length);
        return DecodeEphemeris21(r, o);
      case 15:
        if (length != 124) return Printf("an ion/UTC record is 124 bytes long, not %zu", length);
        return DecodeIonUtc(r, o);
      case 7: return DecodeMeasurement7(r, length, o);
      case 17: return DecodeMeasurement17(r, o);
      case 27: return DecodeMeasurement27(r, o);
      case 10:
      case 11: return DecodePosition(r, type, length, o);
      case 29: return DecodePrecisePosition(r, o);
      case 19: return DecodeEvent(r, byte2, o);
      default:
        r.Take(r.left());  // listed by type and length only
        return {};
    }
  }

  // The first six records of a DAT file are the five header records and the
  // ion/UTC record, in this order.
  void CheckOpening(size_t offset, size_t index, uint8_t type, uint8_t byte2, size_t length) {
    if (index >= 6 || openingReported_) return;
    bool ok;
    std::string want;
    if (index < 5) {
      const HeaderLayout& h = kHeaderLayouts[index];
      ok = type == 5 && (byte2 & 0x7F) == h.subtype && length == h.length;
      want = Printf("header record of subtype %u and length %zu", h.subtype, h.length);
    } else {
      ok = type == 15 && length == 124;
      want = "ion/UTC record of length 124";
    }
    if (ok) return;
    openingReported_ = true;
    Report(offset, Printf("record %zu should be the %s, found type %u of length %zu", index + 1,
                          want.c_str(), type, length));
  }

  const Options& opt_;
  const std::vector<uint8_t>& f_;
  size_t previous_ = 0;
  bool damaged_ = false;
  bool openingReported_ = false;
  bool outputFailed_ = false;
};

void PrintUsage(FILE* to) {
  std::fputs(
      "Usage: datdump [--json] FILE\n"
      "\n"
      "Lists the records of a DAT file, one line per record: file offset, record\n"
      "type, the third header byte (subtype, follow, lenhi or byte2), length, and\n"
      "the fields of the header (5), ion/UTC (15), ephemeris (3, 21), measurement\n"
      "(7, 17, 27), position (10, 11, 29) and event (19) records. Times are in\n"
      "seconds of the week, angles in degrees, ranges in metres, phases in cycles.\n"
      "FILE - reads standard input.\n"
      "\n"
      "Options:\n"
      "  --json      one JSON object per record and line\n"
      "  -h, --help  this text\n"
      "\n"
      "A damaged record or file is reported on standard error with its offset.\n"
      "Exit codes: 0 clean, 1 damaged file, 2 usage error or unreadable file.\n",
      to);
}

bool ReadAll(FILE* f, std::vector<uint8_t>& out) {
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  return std::ferror(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  bool endOfOptions = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (!endOfOptions && (a == "-h" || a == "--help")) {
      PrintUsage(stdout);
      return kExitClean;
    }
    if (!endOfOptions && a == "--json") {
      opt.json = true;
    } else if (!endOfOptions && a == "--") {
      endOfOptions = true;
    } else if (!endOfOptions && a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "datdump: unknown option %s\n", argv[i]);
      PrintUsage(stderr);
      return kExitUsage;
    } else if (opt.path != nullptr) {
      std::fprintf(stderr, "datdump: one file at a time\n");
      PrintUsage(stderr);
      return kExitUsage;
    } else {
      opt.path = argv[i];
    }
  }
  if (opt.path == nullptr) {
    PrintUsage(stderr);
    return kExitUsage;
  }

  std::vector<uint8_t> bytes;
  const bool useStdin = std::strcmp(opt.path, "-") == 0;
  FILE* f = useStdin ? stdin : std::fopen(opt.path, "rb");
  if (f == nullptr) {
    std::fprintf(stderr, "datdump: cannot open %s: %s\n", opt.path, std::strerror(errno));
    return kExitUsage;
  }
  const bool read = ReadAll(f, bytes);
  const int readErrno = errno;
  if (!useStdin) std::fclose(f);
  if (!read) {
    std::fprintf(stderr, "datdump: cannot read %s: %s\n", opt.path, std::strerror(readErrno));
    return kExitUsage;
  }

  Dumper dumper(opt, bytes);
  const int code = dumper.Run();
  if (dumper.OutputFailed() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "datdump: cannot write the listing\n");
    return kExitUsage;
  }
  return code;
}
