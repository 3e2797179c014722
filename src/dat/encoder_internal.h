// Internal interfaces between the modules of the DAT encoder.
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/status.h"

struct ConvState;

namespace enc {

constexpr double kHalfWeekMs = 302400000.0;
constexpr double kBackwardToleranceMs = 15000.0;

// ---- output helpers (dat_output.cpp) ----
// Writes one complete DAT record through the counted write path.
void WriteRecord(ConvState& cs, const uint8_t* rec, size_t len);
// Fills the 4 header bytes; wide puts the high length byte into byte 2.
void PutHeader(uint8_t* h, size_t len, uint8_t byte2, uint8_t type, bool wide);
// Adds SV numbers 1..32 to the SV list of the record (others count nothing).
void AddToSvList(ConvState& cs, uint8_t sv);
// True when the exclusion mask suppresses records of this type.
bool Excluded(const ConvState& cs, uint8_t type);

// Bounded little-endian writer for a DAT record being built.
struct Out {
  uint8_t* buf;
  size_t cap;
  size_t pos = 0;
  bool overrun = false;
  Out(uint8_t* b, size_t c) : buf(b), cap(c) {}
  void Bytes(const void* p, size_t n);
  void U8(uint8_t v) { Bytes(&v, 1); }
  void U16(uint16_t v);
  void U32(uint32_t v);
  void F64(double v);
};

// ---- epoch rules (epoch_rules.cpp) ----
void UpdateEpochPair(ConvState& cs, double time, double clock);
// Sequence check against the last epoch time; sets the first epoch.
// tolerance is the backward step that passes without status.
Status SequenceCheck(ConvState& cs, double time, double tolerance);
// Writes the type-17 epoch of the measurement image with the epoch rules.
Status WriteMeasurementEpoch(ConvState& cs);
// Writes the type-10/11 record of the position image.
Status WritePosition(ConvState& cs, uint8_t type);

// ---- events (event_queue.cpp) ----
// Takes one converted DAT type-19 record: written, queued or dropped.
void HandleEventRecord(ConvState& cs, uint8_t* rec, size_t len);
// Builds the queued events against the epoch pair; empties the queue.
void WriteDueEvents(ConvState& cs);
// Writes and frees the records deferred behind a measurement record.
void WriteDeferred(ConvState& cs);
// The corrected time of a kind-0 event.
double EventTime(const ConvState& cs, uint32_t b, uint16_t c, uint16_t mode);
void ClearEvents(ConvState& cs);

// ---- bodies of the decoded types (dat_bodies.cpp) ----
Status WriteImageBody(ConvState& cs, uint8_t type);
// Length of a type-25 subtype-1 body by kind (the two leading bytes included).
size_t Table25Bytes(uint8_t kind);

// ---- raw path (raw_*.cpp) ----
Status RawEphemeris3(ConvState& cs, const uint8_t* rec, size_t len);
Status RawEphemeris21(ConvState& cs, const uint8_t* rec, size_t len);
Status RawMeasurement7(ConvState& cs, const uint8_t* rec, size_t len);
Status WriteType7Epoch(ConvState& cs);
Status RawMeasurementBlock(ConvState& cs, uint8_t* rec, size_t len);
Status RawPosition(ConvState& cs, const uint8_t* rec, size_t len);
Status RawDirect12(ConvState& cs, const uint8_t* rec, size_t len);
Status RawDirect101(ConvState& cs, const uint8_t* rec, size_t len);
Status RawIonUtc(ConvState& cs, const uint8_t* rec, size_t len);
Status RawEvent(ConvState& cs, const uint8_t* rec, size_t len);
Status RawType20(ConvState& cs, const uint8_t* rec, size_t len);
Status RawType25(ConvState& cs, const uint8_t* rec, size_t len);
Status RawType31(ConvState& cs, const uint8_t* rec, size_t len);
Status RawMultiBlock102(ConvState& cs, uint8_t* rec, size_t len);

}  // namespace enc
