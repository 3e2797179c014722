// APP/CFG application file: assembled from raw type-31 records, written as
// packets at close.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include "common/status.h"
struct ConvState;
struct AppInfo;
// Appends the payload of one verified raw type-31 record (rec[0..len)) to
// the assembly in cs.app.
void AppendAppBlock(ConvState& cs, const uint8_t* rec, size_t len);
// Writes the assembled file; returns a status (the caller ignores it).
Status WriteAppFile(ConvState& cs, const uint8_t* buffer, uint16_t size, FILE* app);
// Frees the assembly buffer.
void FreeAppInfo(AppInfo* info);
