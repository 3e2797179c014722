// Second option pass over the stored custom argument string.
#include "app/custom_args.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "app/application.h"

namespace {

constexpr size_t kSpareZeroBytes = 4;
// Stored values are small; a larger file is not a custom argument string.
constexpr long long kMaxValueSize = 1 << 20;

bool IsCustomSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string CustomArgsPath(const char* root) {
  std::string path = root != nullptr ? root : kCustomArgsRoot;
  path += '/';
  path += kCustomArgsKeyPath;
  path += '/';
  path += kCustomArgsValueName;
  return path;
}

std::vector<std::string> SplitCustomArgs(const char* text) {
  std::vector<std::string> tokens;
  const char* p = text;
  for (;;) {
    while (IsCustomSeparator(*p)) ++p;
    if (*p == '\0') break;
    const char* end = p;
    while (*end != '\0' && !IsCustomSeparator(*end)) ++end;
    tokens.emplace_back(p, static_cast<size_t>(end - p));
    p = end;
  }
  return tokens;
}

Status Application::ApplyRegistryArguments() {
  std::string path = CustomArgsPath(customArgsRoot);
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return status::kOk;
  if (st.st_size <= 0 || st.st_size > kMaxValueSize) return status::kOk;
  size_t size = static_cast<size_t>(st.st_size);

  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return status::kOk;
  // The value is read into size + 4 zeroed bytes: the spare zeros end the
  // text whatever the stored bytes are.
  char* text = new (std::nothrow) char[size + kSpareZeroBytes]();
  if (text == nullptr) {
    std::fclose(f);
    return status::kNoMemory;
  }
  size_t got = std::fread(text, 1, size, f);
  std::fclose(f);
  if (got == 0) {
    delete[] text;
    return status::kOk;
  }

  std::vector<std::string> tokens = SplitCustomArgs(text);
  delete[] text;
  if (tokens.empty()) return status::kOk;

  std::vector<const char*> args;
  args.reserve(tokens.size() + 1);
  args.push_back("");
  for (const std::string& t : tokens) args.push_back(t.c_str());
  return ParseArguments(static_cast<int>(args.size()), args.data(), false);
}
