// Receiver and session information records of the raw path: text records
// (16), receiver information (30, subtypes other than 0), session header
// records (4, 22), per-SV session values (13, 23), session positions (5,
// 24) and the tracking table (14).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include "common/status.h"
struct ConvState;
// rec is the raw record as received (STX .. ETX, len bytes). Writes the
// DAT record for the types that are written (16, 30) to stream through the
// counted write path, and fills the conversion state.
Status HandleSessionRecord(ConvState& cs, FILE* stream, const uint8_t* rec, size_t len);
