// Runs a report writer on a scratch stream and returns what it wrote.
#pragma once
#include <cstdio>
#include <string>

#include "dat/conv_state.h"

template <typename Writer>
std::string Capture(Writer write) {
  FILE* f = std::tmpfile();
  write(f);
  std::string text(static_cast<size_t>(std::ftell(f)), '\0');
  std::rewind(f);
  text.resize(std::fread(text.data(), 1, text.size(), f));
  std::fclose(f);
  return text;
}

inline bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

inline int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
  return n;
}

// Tracking counts of one SV in the current session.
inline void SetTracking(ConvState& cs, int sv, int32_t contL1, int32_t totalL1, int32_t contL2,
                        int32_t totalL2) {
  cs.tracking.seen = 1;
  int32_t* w = cs.tracking.current[sv];
  w[0] = contL1, w[1] = totalL1, w[2] = contL2, w[3] = totalL2, w[4] = 1;
}
