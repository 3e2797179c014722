// Input name resolution and the output base name.
#include "app/input_resolution.h"

#include <sys/stat.h>

#include <cstring>

namespace {

// Extensions tried, in this order, for a name without one.
constexpr const char* kProbeExtensions[] = {".q00", ".Q00", ".k00", ".K00",
                                            ".k01", ".K01", ".k02", ".K02"};
constexpr size_t kProbeExtensionLength = 4;

constexpr char kRawImageText[] = "VNX RAW DATA IMAGE";  // with its NUL: 19 bytes
constexpr uint8_t kK00Start[9] = {0x02, 0x0F, 0x1E, 0x00, 'V', 'E', 'L', 'T', 0x00};
constexpr uint8_t kK02Mark[6] = {0x74, 0xBA, 0x79, 0x4B, 0xCF, 0x6B};

// Separators of the positional input list and of list file lines.
constexpr const char* kListSeparators = "+,;\r\n";
constexpr const char* kListFileSeparators = " +,;:\r\n";

// The directory separator written between an output directory and a name.
constexpr char kDirSeparator = '/';

// A name that exists and is not a directory.
bool IsExistingFile(const char* name) {
  struct stat st;
  return ::stat(name, &st) == 0 && !S_ISDIR(st.st_mode);
}

bool IsDirectory(const char* name) {
  struct stat st;
  return ::stat(name, &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsSeparator(char c, const char* separators) {
  return c != '\0' && std::strchr(separators, c) != nullptr;
}

// Stores a name in slot `slot` when it fits; false when it is too long.
bool StoreName(Application& app, int slot, const char* name, size_t length) {
  if (length >= static_cast<size_t>(kInputNameSize)) return false;
  std::memcpy(app.inputNames[slot], name, length);
  app.inputNames[slot][length] = '\0';
  return true;
}

// After a failed name the table ends at the names resolved so far, so
// that the name that failed is never taken as an input. A list that
// succeeds overwrites only as many slots as it resolved and leaves the
// slots beyond them as an earlier list left them.
void EndTable(Application& app, int count, Status st) {
  if (st != status::kOk && count < kMaxInputs) app.inputNames[count][0] = '\0';
}

}  // namespace

const char* BaseNamePart(const char* name) {
  const char* slash = std::strrchr(name, '/');
  if (slash != nullptr) return slash + 1;
  const char* backslash = std::strrchr(name, '\\');
  if (backslash != nullptr) return backslash + 1;
  return name;
}

char* BaseNamePart(char* name) {
  return const_cast<char*>(BaseNamePart(static_cast<const char*>(name)));
}

Status CheckImageHeader(FILE* f, uint8_t tail[17], int* kind) {
  if (kind != nullptr) *kind = kHeaderNone;
  if (f == nullptr) return status::kInputOpen;

  uint8_t head[22] = {};
  size_t got = std::fread(head, 1, sizeof head, f);
  if (got >= 2 + sizeof kRawImageText && std::memcmp(head + 2, kRawImageText, sizeof kRawImageText) == 0) {
    uint8_t scratch[kImageHeaderTailSize];
    uint8_t* dest = tail != nullptr ? tail : scratch;
    std::memset(dest, 0, kImageHeaderTailSize);
    if (std::fread(dest, 1, kImageHeaderTailSize, f) < kImageHeaderTailSize) std::clearerr(f);
    if (kind != nullptr) *kind = kHeaderRawImage;
    return status::kOk;
  }

  std::clearerr(f);
  if (std::fseek(f, 0, SEEK_SET) != 0) return status::kBadHeader;
  uint8_t start[15] = {};
  got = std::fread(start, 1, sizeof start, f);
  if (got == sizeof start && std::memcmp(start, kK00Start, sizeof kK00Start) == 0 && start[14] == 0x03) {
    if (kind != nullptr) *kind = kHeaderK00;
    return status::kOk;
  }
  if (got >= 4 + sizeof kK02Mark && std::memcmp(start + 4, kK02Mark, sizeof kK02Mark) == 0) {
    if (kind != nullptr) *kind = kHeaderK02;
    return status::kOk;
  }
  return status::kBadHeader;
}

Status Application::ProbeInputFile(int slot, int16_t* format) {
  if (format != nullptr) *format = kFormatNone;
  if (slot < 0 || slot >= kMaxInputs) return status::kInputOpen;
  char* entry = inputNames[slot];
  size_t length = strnlen(entry, kInputNameSize);
  if (length == 0 || length >= static_cast<size_t>(kInputNameSize)) return status::kInputOpen;

  char work[kNameSize];
  std::memcpy(work, entry, length + 1);

  // A name without an extension: try the known ones. A candidate that would
  // not fit in a table entry is not tried.
  if (std::strchr(BaseNamePart(work), '.') == nullptr &&
      length + kProbeExtensionLength < static_cast<size_t>(kInputNameSize)) {
    for (const char* ext : kProbeExtensions) {
      std::memcpy(work + length, ext, kProbeExtensionLength + 1);
      if (IsExistingFile(work)) break;
      work[length] = '\0';
    }
  }
  if (!IsExistingFile(work)) return status::kInputOpen;

  FILE* f = std::fopen(work, "rb");
  if (f == nullptr) return status::kInputOpen;
  uint8_t tail[kImageHeaderTailSize];
  int kind = kHeaderNone;
  (void)CheckImageHeader(f, tail, &kind);
  std::fclose(f);

  int16_t found = kFormatK01;
  switch (kind) {
    case kHeaderRawImage:
      found = kFormatQ00;
      includeHeader = 1;
      includeEphemeris = 1;
      includeIonUtc = 1;
      break;
    case kHeaderK00:
    case kHeaderK02:
      found = kind == kHeaderK00 ? kFormatK00 : kFormatK02;
      includeHeader = 1;
      includeEphemeris = 0;
      includeIonUtc = 0;
      break;
    default:
      found = kFormatK01;
      includeHeader = 0;
      includeEphemeris = 0;
      includeIonUtc = 0;
      break;
  }
  if (format != nullptr) *format = found;
  std::memcpy(entry, work, std::strlen(work) + 1);  // fits: checked above
  return status::kOk;
}

Status TakeInputList(Application& app, const char* list) {
  app.inputGiven = 1;
  Status st = status::kOk;
  int count = 0;
  const char* p = list;
  for (;;) {
    while (IsSeparator(*p, kListSeparators)) ++p;
    if (*p == '\0') break;
    const char* end = p;
    while (*end != '\0' && !IsSeparator(*end, kListSeparators)) ++end;
    // More names than the table holds, or a name longer than an entry,
    // cannot be located.
    if (count >= kMaxInputs || !StoreName(app, count, p, static_cast<size_t>(end - p))) {
      st = status::kInputOpen;
      break;
    }
    int16_t format = kFormatNone;
    st = app.ProbeInputFile(count, &format);
    if (st != status::kOk) break;
    ++count;
    if (app.inputFormat == kFormatNone) app.inputFormat = format;
    p = end;
  }
  EndTable(app, count, st);
  return st;
}

Status TakeListFile(Application& app, const char* path) {
  app.listStream = std::fopen(path, "r");
  if (app.listStream == nullptr) return status::kOk;

  // The record buffer doubles as the line buffer: at most 1,023 characters
  // of a line are kept, the rest of a longer line is read and dropped.
  char* line = reinterpret_cast<char*>(app.recordBuffer);
  constexpr size_t kKeep = kListLineSize - 1;
  Status st = status::kOk;
  int count = 0;
  for (;;) {
    size_t n = 0;
    bool cut = false;
    bool any = false;
    int c;
    while ((c = std::getc(app.listStream)) != EOF) {
      any = true;
      if (c == '\n') break;
      if (n < kKeep) {
        line[n++] = static_cast<char>(c);
      } else {
        cut = true;
      }
    }
    if (!any) break;
    line[n] = '\0';

    const char* p = line;
    while (IsSeparator(*p, kListFileSeparators)) ++p;
    if (*p == '\0') continue;  // no name on this line
    const char* end = p;
    while (*end != '\0' && !IsSeparator(*end, kListFileSeparators)) ++end;

    if (count >= kMaxInputs) {  // a name beyond the table's 512 entries
      st = status::kInputOpen;
      break;
    }
    // A name that runs into the cut of an over-long line is incomplete.
    bool incomplete = cut && *end == '\0';
    if (incomplete || !StoreName(app, count, p, static_cast<size_t>(end - p))) {
      st = status::kInputOpen;
      continue;
    }
    int16_t format = kFormatNone;
    st = app.ProbeInputFile(count, &format);
    if (st == status::kOk) {
      ++count;
      app.inputGiven = 1;
      if (app.inputFormat == kFormatNone) app.inputFormat = format;
    }
  }
  std::fclose(app.listStream);
  app.listStream = nullptr;
  EndTable(app, count, st);
  return st;
}

Status Application::ResolveOutputName() {
  if (includeHeader == 0) {
    includeEphemeris = 0;
    includeIonUtc = 0;
  }
  if (!inputGiven || inputNames[0][0] == '\0') return status::kInputOpen;

  if (!outputGiven) {
    size_t n = strnlen(inputNames[0], kInputNameSize - 1);
    std::memcpy(outputBase, inputNames[0], n);
    outputBase[n] = '\0';
  }
  outputBase[kNameSize - 1] = '\0';
  size_t length = std::strlen(outputBase);
  if (length > 1 && (outputBase[length - 1] == '\\' || outputBase[length - 1] == '/')) {
    outputBase[--length] = '\0';
  }
  if (length == 0) return status::kDatOpen;

  if (IsDirectory(outputBase)) {
    const char* inputBase = BaseNamePart(inputNames[0]);
    size_t inputLength = std::strlen(inputBase);
    if (length + 1 + inputLength >= static_cast<size_t>(kNameSize)) return status::kDatOpen;
    outputBase[length] = kDirSeparator;
    std::memcpy(outputBase + length + 1, inputBase, inputLength + 1);
    char* dot = std::strrchr(BaseNamePart(outputBase), '.');
    if (dot != nullptr) *dot = '\0';
  }

  char* dot = std::strrchr(BaseNamePart(outputBase), '.');
  if (dot == nullptr) {
    extensionPos = outputBase + std::strlen(outputBase);
    std::strcpy(datExtension, ".vx!");
  } else {
    extensionPos = dot;
    std::strcpy(datExtension, outputGiven ? dot : ".vx!");  // both fit: same buffer size
  }

  // Every output name is the base with an extension written at the
  // extension position: ".eph" and the like, or the DAT extension. All of
  // them must fit in the name buffer.
  size_t extensionRoom = std::strlen(datExtension);
  if (extensionRoom < kProbeExtensionLength) extensionRoom = kProbeExtensionLength;
  if (static_cast<size_t>(extensionPos - outputBase) + extensionRoom >= static_cast<size_t>(kNameSize)) {
    return status::kDatOpen;
  }

  if (messageCallback == nullptr) verbose = 0;
  return status::kOk;
}
