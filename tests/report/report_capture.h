// Runs a report writer on a scratch stream and returns what it wrote.
#pragma once
#include <cstdio>
#include <string>

template <typename Writer>
std::string Capture(Writer write) {
  FILE* f = std::tmpfile();
  write(f);
  std::fflush(f);
  std::string text(static_cast<size_t>(std::ftell(f)), '\0');
  std::rewind(f);
  const size_t got = std::fread(text.data(), 1, text.size(), f);
  text.resize(got);
  std::fclose(f);
  return text;
}

inline int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
  return n;
}
