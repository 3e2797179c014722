// Helpers shared by the front-end tests: temporary folders with real files,
// argument vectors and standard-output capture.
#pragma once
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "common/raw_record.h"

namespace apptest {

// A folder under the system temporary folder, removed with its contents.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "logsplit-app-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (::mkdtemp(buf.data()) != nullptr) path_ = buf.data();
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const std::string& path, const std::string& text) {
  WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// Start of a raw image: two bytes, the image text with its NUL at offsets 2
// to 20, one more byte, then the 17-byte header tail (values 1, 2, 3, ...).
inline std::vector<uint8_t> RawImageStart() {
  std::vector<uint8_t> b(22, 0xAA);
  const char text[] = "VNX RAW DATA IMAGE";
  std::memcpy(b.data() + 2, text, sizeof text);
  for (int i = 0; i < 17; ++i) b.push_back(static_cast<uint8_t>(i + 1));
  for (int i = 0; i < 8; ++i) b.push_back(0x55);  // first bytes of the ephemeris blocks
  return b;
}

// Start of a K00 file: the maker record (type 30, 15 bytes, "VELT").
inline std::vector<uint8_t> K00Start() {
  std::vector<uint8_t> b = rawrec::BuildRecord(30, {0x00, 'V', 'E', 'L', 'T', 0x00, 1, 2, 3});
  b.push_back(0x02);
  return b;
}

// Start of a K02 file: four bytes, then the header block mark.
inline std::vector<uint8_t> K02Start() {
  return {0x01, 0x02, 0x03, 0x04, 0x74, 0xBA, 0x79, 0x4B, 0xCF, 0x6B, 0x00, 0x00};
}

// Anything else is taken as a K01 file.
inline std::vector<uint8_t> K01Start() { return {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70}; }

inline std::unique_ptr<Application> MakeApp() { return std::make_unique<Application>(); }

// ParseArguments over {"logsplit", args...}.
inline Status Parse(Application& app, const std::vector<std::string>& args, bool reset = true) {
  std::vector<const char*> argv{"logsplit"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  return app.ParseArguments(static_cast<int>(argv.size()), argv.data(), reset);
}

// Runs fn with standard output sent to a temporary file; returns the bytes.
template <typename Fn>
std::string CaptureStdout(Fn fn) {
  std::fflush(stdout);
  FILE* tmp = std::tmpfile();
  if (tmp == nullptr) return "<no tmpfile>";
  int saved = ::dup(STDOUT_FILENO);
  ::dup2(::fileno(tmp), STDOUT_FILENO);
  fn();
  std::fflush(stdout);
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
  std::string out;
  std::rewind(tmp);
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, tmp)) > 0) out.append(buf, n);
  std::fclose(tmp);
  return out;
}

}  // namespace apptest
