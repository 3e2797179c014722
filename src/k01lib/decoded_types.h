// Decoded record structures of the K01 library, one per DAT type that the
// record step hands to the DAT encoder (WriteDecodedRecord). Each structure
// is packed and lists its fields in the order and widths of the DAT body
// that is built from it; integers are host (little-endian) order, doubles
// and floats IEEE binary64 / binary32. A structure is a fixed-size slot:
// counts say how many of its array entries are in use, and the encoder
// never reads past an array's declared size whatever a count says.
#pragma once
#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)

// ---- DAT type 5: session records (the encoder writes nothing from it) ----
struct k01_rec5_t {
  uint8_t data[106];
};

// ---- DAT type 11: position ----------------------------------------------
// lists holds list 1 (count bytes) immediately followed by list 2 (count
// bytes); at most 32 entries each.
struct k01_pos11_t {
  double latitude;   // semicircles
  double longitude;  // semicircles
  double height;
  double value4;     // clock term of the fix
  double value5;
  double value6;     // 0.125 units
  double value7;
  double value8;
  double value9;
  uint32_t time;     // ms of the week
  uint8_t byte41;
  uint8_t count;     // n
  uint8_t lists[64];
};

// ---- DAT type 17: measurements ------------------------------------------
struct k01_meas17_sv_t {
  uint8_t svNumber;
  uint8_t flags;     // bit 0: second-frequency values present
  uint8_t status;
  uint8_t byte3;
  uint16_t word1;
  uint16_t word2;
  double snr1;
  double range1;
  double phase1;
  double doppler1;
  double value5;
  double snr2;
  double phase2;
  double value2;     // third second-frequency value
  double spare;      // not written
};

struct k01_meas17_t {
  static constexpr int kSvSlots = 24;
  double time;       // ms of the week
  double clockTerm;
  uint8_t svCount;
  k01_meas17_sv_t sv[kSvSlots];
};

// ---- DAT type 25: data pages ---------------------------------------------
struct k01_page25_page_t {   // header subtype 0
  uint32_t time;
  uint16_t week;
  uint8_t byte10;
  uint8_t page[28];
};
struct k01_page25_kind6_t {
  uint32_t values[14];
  uint8_t last;
};
struct k01_page25_table_t {  // header subtype 1
  uint8_t byte0;
  uint8_t kind;              // 1: 100 words, 2: 101 words, 3 to 5: 201 bytes, 6: kind6
  union {
    uint16_t words[101];
    uint8_t bytes[202];
    k01_page25_kind6_t kind6;
  } data;
};
struct k01_page25_t {
  union {
    k01_page25_page_t page;
    k01_page25_table_t table;
  };
};

// ---- DAT type 26: auxiliary records --------------------------------------
// Laid out as the slot: what the body carries depends on the header subtype
// (2 to 5: count in byte13 then data; 6: count in byte12; 7: count in data[0]).
struct k01_aux26_t {
  uint32_t value0;
  uint16_t value4;
  uint8_t byte6;
  uint8_t byte7;
  uint32_t value8;
  uint8_t byte12;
  uint8_t data[38];  // slot bytes 13 to 50
};

// ---- DAT type 27: expanded multi-signal measurements ---------------------
struct k01_signal27_t {
  uint8_t size;        // 27, or 28 when flagsG bit 0x80
  uint8_t band;
  uint8_t signalType;
  uint16_t snr;        // tenths
  double range;
  double phase;
  float doppler;
  uint8_t status;
  uint8_t flagsG;      // 0x80: flagsH present
  uint8_t flagsH;
};

struct k01_sv27_t {
  static constexpr int kSignalSlots = 6;
  uint8_t size;        // 10
  uint8_t svNumber;
  uint8_t system;
  uint8_t channel;
  uint8_t signalCount;
  uint16_t wordA;
  uint16_t wordB;
  uint8_t byteQ;
  k01_signal27_t signal[kSignalSlots];
};

struct k01_meas27_t {
  static constexpr int kSvSlots = 32;
  static constexpr int kExtSlots = 8;
  uint8_t fixedSize;
  uint16_t week;
  double time;         // ms of the week
  float clockOffset;
  uint8_t svCount;
  uint8_t flags;       // 0x02 clockValue2, 0x10 byteF4, 0x20 extension
  float clockValue2;
  uint8_t byteF4;
  uint8_t extSize;
  uint8_t extCode;
  uint8_t extCount;
  uint8_t extCodes[kExtSlots];
  double extValues[kExtSlots];
  k01_sv27_t sv[kSvSlots];
};

// ---- DAT type 28 ----------------------------------------------------------
struct k01_rec28_2_t {
  uint8_t byte4;
  uint16_t word5;
  uint32_t value7;
  uint16_t word11;
  uint8_t bytes13[3];
  uint32_t value16;
  uint8_t bytes20[6];
  double values[14];
};
struct k01_rec28_3_t {
  uint8_t byte4;
  uint16_t word5;
  uint32_t value7;
  uint16_t word11;
  uint32_t value13;
  double values[15];
  uint8_t byte137;
  uint16_t word138;
  uint8_t byte140;
  uint16_t wordA;
  uint32_t valueA;
  double setA[4];
  uint16_t wordB;
  uint32_t valueB;
  double setB[4];
};
struct k01_rec28_4_t {
  uint8_t byte4;
  uint8_t byte5;
  uint16_t wordA;
  uint32_t valueA;
  uint16_t wordB;
  uint32_t valueB;
  double values[15];
  uint8_t byteC;
  uint16_t wordC;
  uint32_t valueC;
  double setC[4];
  uint8_t byteD;
  double valueD;
  uint8_t byteE;
};
struct k01_rec28_t {
  uint8_t subtype;  // 2, 3 or 4 are written
  union {
    k01_rec28_2_t s2;
    k01_rec28_3_t s3;
    k01_rec28_4_t s4;
  } body;
};

// ---- DAT type 29: precise position ---------------------------------------
struct k01_pos29_t {
  static constexpr int kSvSlots = 32;
  uint8_t firstSize;      // 15
  uint16_t word5;
  uint32_t time;
  uint8_t byte11;
  uint8_t svCount;        // b: satellite entries
  uint8_t secondCount;
  uint8_t byte14;
  uint8_t sectionFlags;   // P: 0x02 fourth section, 0x10 extension
  uint8_t byte16;
  uint8_t modeByte;       // K: third section when 2 < K < 7
  uint8_t byte18;
  uint8_t secondSize;     // 93
  double latitude;
  double longitude;
  double height;
  double value40;
  double value48;
  double value56;
  float values[11];
  uint8_t thirdSize;      // 7 when present
  uint8_t thirdByte;
  float thirdValue;
  uint8_t thirdFlags;     // Q: 0x1 thirdWord, 0x2 thirdTriple, 0x4 thirdLast
  uint16_t thirdWord;
  uint32_t thirdTriple[3];
  uint32_t thirdLast;
  uint8_t fourthSize;     // 10 when present
  float fourthValues[2];
  uint8_t fourthFlags;    // R: 0x1 fourthExtra
  uint32_t fourthExtra;
  uint8_t extSize;
  uint8_t extCode;
  uint8_t extCount;
  uint8_t extCodes[8];
  double extValues[8];
  uint8_t svSectionSize;  // 3 x svCount + 1
  uint8_t svEntries[3 * kSvSlots];
};

// ---- DAT type 32 ----------------------------------------------------------
struct k01_rec32_2_t {
  uint16_t word;
  uint32_t value;
  uint8_t bytes[60];
};
struct k01_rec32_3_t {
  uint16_t word4;
  uint32_t value6;
  double first[3];
  uint8_t byte34;
  double second[2];
  uint16_t word51;
  uint32_t value53;
  uint16_t words[4];
  double third[2];
  uint32_t value81;
  uint16_t word85;
};
struct k01_rec32_4_t {
  uint8_t bytes[3];
  k01_rec32_3_t rest;
};
struct k01_rec32_t {
  uint8_t subtype;  // 2, 3 or 4 are written
  union {
    k01_rec32_2_t s2;
    k01_rec32_3_t s3;
    k01_rec32_4_t s4;
  } body;
};

// ---- DAT type 40: coded values -------------------------------------------
struct k01_code40_t {
  uint8_t code;
  double value;
};
struct k01_coded40_t {
  static constexpr int kEntrySlots = 20;
  uint16_t word;
  uint32_t value;
  uint8_t count;
  k01_code40_t entry[kEntrySlots];
};

// ---- DAT types 98 and 99: data blocks ------------------------------------
// The DAT record length in the header says how many data bytes are in use.
struct k01_data98_t {
  uint8_t kind;
  uint16_t word;
  uint32_t value;
  uint8_t data[512];
};
struct k01_data99_t {
  uint8_t kind;     // 1: the record carried compressed data, inflated here
  uint16_t word;
  uint32_t value;
  uint8_t data[4096];
};


// ---- Slots of the types the record step sends to the raw path -------------
// Decoded all the same so that every catalogue type has its slot; nothing
// downstream reads them field by field.

// DAT type 12: the record's payload (bytes 3 to length-4) as it stands.
struct k01_rec12_t {
  uint16_t length;   // payload bytes held
  uint8_t data[830];
};

// DAT type 15: ionosphere/UTC values; the 16- and 32-bit fields as doubles.
struct k01_ion15_t {
  double values[11];  // record offsets 3 to 90
  double value91;     // signed 16-bit
  double value93;     // signed 16-bit
  double value95;     // unsigned 32-bit
  uint8_t bytes99[7];
  uint8_t byte106;
};

// DAT type 16: bytes 4 to length-4 of the record.
struct k01_rec16_t {
  uint8_t data[250];
};

// DAT type 19: events; the payload after the subtype byte.
struct k01_rec19_t {
  uint8_t subtype;
  uint16_t length;   // payload bytes held
  uint8_t data[256];
};

// DAT type 21: fixed-layout record.
struct k01_rec21_t {
  uint8_t byte3;
  uint16_t word4;
  uint16_t word6;
  uint8_t byte8;
  uint8_t byte9;
  uint32_t value10;
  uint32_t value14;
  uint32_t value18;
  double values[19];  // record offsets 22 to 173
  uint32_t value174;
  uint8_t bytes178[9];
  uint8_t byte187;
  uint8_t spare;
};

// DAT type 30: receiver information; bytes 4 to length-4 of the record.
struct k01_rec30_t {
  uint8_t subtype;
  uint16_t length;   // payload bytes held
  uint8_t data[340];
};

// DAT type 31: application file block.
struct k01_rec31_t {
  uint16_t word3;
  uint8_t byte5;
  uint8_t count;     // n
  uint8_t data[256];
};

#pragma pack(pop)

static_assert(sizeof(k01_rec5_t) == 106);
static_assert(sizeof(k01_pos11_t) == 142);
static_assert(sizeof(k01_meas17_sv_t) == 80);
static_assert(sizeof(k01_meas17_t) == 1937);
static_assert(sizeof(k01_page25_t) == 204);
static_assert(sizeof(k01_aux26_t) == 51);
static_assert(sizeof(k01_signal27_t) == 28);
static_assert(sizeof(k01_sv27_t) == 178);
static_assert(sizeof(k01_meas27_t) == 5793);
static_assert(sizeof(k01_rec28_t) == 214);
static_assert(offsetof(k01_pos29_t, thirdSize) == 108);
static_assert(offsetof(k01_pos29_t, fourthSize) == 133);
static_assert(offsetof(k01_pos29_t, extSize) == 147);
static_assert(offsetof(k01_pos29_t, svSectionSize) == 222);
static_assert(sizeof(k01_pos29_t) == 319);
static_assert(sizeof(k01_rec32_t) == 87);
static_assert(sizeof(k01_coded40_t) == 187);
static_assert(sizeof(k01_data98_t) == 519);
static_assert(sizeof(k01_data99_t) == 4103);
static_assert(sizeof(k01_rec12_t) == 832);
static_assert(sizeof(k01_ion15_t) == 120);
static_assert(sizeof(k01_rec16_t) == 250);
static_assert(sizeof(k01_rec19_t) == 259);
static_assert(sizeof(k01_rec21_t) == 186);
static_assert(sizeof(k01_rec30_t) == 343);
static_assert(sizeof(k01_rec31_t) == 260);
