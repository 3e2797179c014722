// Small helpers shared by the fuzz targets.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// A private working folder for this fuzzing process.
inline std::string WorkDir() {
  char tmpl[] = "/tmp/logsplit-fuzz-XXXXXX";
  const char* d = mkdtemp(tmpl);
  return d != nullptr ? std::string(d) : std::string("/tmp");
}

inline void WriteWhole(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

inline void DropLine(int32_t, const char*, void*) {}

}  // namespace fuzz
