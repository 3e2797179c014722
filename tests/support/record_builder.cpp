#include "support/record_builder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace tb {

Fields& Fields::f64(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  return be(bits, 8);
}

std::vector<uint8_t> RawImage::bytes() const {
  Fields f;
  f.u8(0).u8(0).text("VNX RAW DATA IMAGE").u8(0).u8(0);  // 22 bytes
  // Header tail: three little-endian words and 11 further bytes.
  f.u8(receiverCode & 0xFF).u8(receiverCode >> 8);
  f.u8(navVersion & 0xFF).u8(navVersion >> 8);
  f.u8(sigVersion & 0xFF).u8(sigVersion >> 8);
  f.zeros(11);
  for (int prn = 0; prn < 32; ++prn) {
    for (int v = 0; v < 40; ++v) f.f64(eph[prn][v]);
    for (int b = 0; b < 13; ++b) f.u8(ephTail[prn][b]);
  }
  for (int v = 0; v < 14; ++v) f.f64(ion[v]);
  for (int b = 0; b < 5; ++b) f.u8(ionTail[b]);
  std::vector<uint8_t> out = f.data();
  for (const auto& r : records) out.insert(out.end(), r.begin(), r.end());
  out.insert(out.end(), trailing.begin(), trailing.end());
  return out;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream o(path, std::ios::binary | std::ios::trunc);
  o.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream i(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(i), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

std::string MakeTempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "logsplit-test-XXXXXX").string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) return std::string();
  return std::string(buf.data());
}

void RemoveTree(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
}

}  // namespace tb
