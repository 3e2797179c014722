// Input name resolution: extension probing, file signatures, the input
// lists (`src+s2+s3` and `@file`) and the output base name.
#pragma once
#include <cstdint>
#include <cstdio>

#include "app/application.h"
#include "common/status.h"

// Kinds of file start recognised by CheckImageHeader.
enum : int { kHeaderNone = 0, kHeaderRawImage = 1, kHeaderK00 = 2, kHeaderK02 = 3 };

constexpr int kImageHeaderTailSize = 17;

// Reads the start of `f` and classifies it. Returns 0 when a raw image, a
// K00 signature or a K02 signature was found (kind 1, 2, 3), 18 when none
// was (kind 0), 17 when there is no stream. After a raw image the stream
// stands after its 39 signature bytes and `tail` holds the 17 bytes of the
// image header tail (zero-filled where the file ends early); otherwise the
// stream stands where the last read ended. `tail` may be null.
Status CheckImageHeader(FILE* f, uint8_t tail[17], int* kind);

// The file name part of `name`: what follows the last '/', or when there is
// none the last '\'; the whole name when it has neither.
const char* BaseNamePart(const char* name);
char* BaseNamePart(char* name);

// The first positional argument: names joined by any of "+,;" CR LF. Each
// name is probed in turn from slot 0; the first that cannot be resolved
// stops the list with 17. Sets the input given flag.
Status TakeInputList(Application& app, const char* list);

// An `@` list file: the first token of each line (split at space, "+,;:",
// CR and LF) is probed in turn from slot 0; a name that cannot be resolved
// is skipped and its slot reused. Returns the status of the last name
// tried; 0 when the file cannot be opened or holds no name.
Status TakeListFile(Application& app, const char* path);
