// Helpers shared by the front-end tests: temporary folders with real input
// files, argument parsing and a one-line view of every option field.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "app/application.h"
#include "common/raw_record.h"

namespace apptest {

// A folder under the system temporary folder, removed with its contents.
struct TempDir {
  std::string path = (std::filesystem::temp_directory_path() / "logsplit-app-XXXXXX").string();
  TempDir() { ::mkdtemp(path.data()); }
  ~TempDir() { std::error_code ec; std::filesystem::remove_all(path, ec); }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
  std::string X(std::string s) const {  // every '%' replaced by the folder
    for (size_t p = 0; (p = s.find('%', p)) != std::string::npos; p += path.size()) s.replace(p, 1, path);
    return s;
  }
  std::vector<std::string> X(std::vector<std::string> v) const {
    for (std::string& s : v) s = X(s);
    return v;
  }
};

inline void WriteText(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// Raw image: two bytes, the image text with its NUL at offsets 2 to 20, one
// more byte, the 17-byte header tail (1, 2, 3, ...) and 8 more bytes.
inline std::string RawImageStart() {
  std::string b(22, '\xAA');
  std::memcpy(b.data() + 2, "VNX RAW DATA IMAGE", 19);
  for (int i = 1; i <= 17; ++i) b += static_cast<char>(i);
  return b + std::string(8, 'U');
}
// K00: the maker record (type 30, 15 bytes, "VELT") and one more byte.
inline std::string K00Start() {
  std::vector<uint8_t> r = rawrec::BuildRecord(30, {0x00, 'V', 'E', 'L', 'T', 0x00, 1, 2, 3});
  return std::string(r.begin(), r.end()) + '\x02';
}
// K02: four bytes, then the header block mark. Anything else is a K01 file.
inline std::string K02Start() { return std::string("\1\2\3\4\x74\xBA\x79\x4B\xCF\x6B\0\0", 12); }
inline std::string K01Start() { return "\x10\x20\x30\x40\x50\x60\x70"; }

// Writes an input file whose first bytes match its extension's kind.
inline void WriteInput(const std::string& path) {
  const char k = static_cast<char>(std::tolower(path[path.size() - 3])), n = path.back();
  WriteText(path, k == 'q' ? RawImageStart() : k != 'k' ? K01Start() : n == '0' ? K00Start()
                  : n == '2' ? K02Start() : K01Start());
}

// ParseArguments over {"logsplit", args...}.
inline Status Parse(Application& app, const std::vector<std::string>& args, bool reset = true) {
  std::vector<const char*> argv{"logsplit"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  return app.ParseArguments(static_cast<int>(argv.size()), argv.data(), reset);
}

inline std::vector<std::string> Names(const Application& app) {
  std::vector<std::string> v;
  for (int i = 0; i < kMaxInputs && app.inputNames[i][0] != '\0'; ++i) v.emplace_back(app.inputNames[i]);
  return v;
}

// Every option field as "name=value ..."; DefaultsWith("k=12 dat=1") is the
// view of the defaults with those values, so cases catch fields they must not touch.
inline std::string Fields(const Application& a) {
  std::ostringstream os;
  os << "dat=" << a.produceDat << " eph=" << a.produceEph << " ion=" << a.produceIon << " mes=" << a.produceMes
     << " sum=" << a.produceSummary << " app=" << a.produceApp << " v=" << a.verbose << " f=" << a.fixup
     << " c=" << a.ignoreChecksum << " k=" << a.recordFilter << " n=" << a.fixSerialMode << " t27=" << a.type27Mode
     << " l2=" << a.l2Mode << " fmt=" << a.inputFormat << " xh=" << a.includeHeader << " xe=" << a.includeEphemeris
     << " xi=" << a.includeIonUtc << " W=" << a.gpsWeek << " nav=" << a.navVersion << " sig=" << a.sigVersion
     << " u=" << a.updateNameMode << " sgiven=" << a.summaryNameGiven << " sname=" << a.summaryName;
  return os.str();
}
inline std::string DefaultsWith(const std::string& changes) {
  std::string view = " " + Fields(*std::make_unique<Application>());
  std::istringstream in(changes);
  for (std::string kv; in >> kv;) {
    const size_t at = view.find(" " + kv.substr(0, kv.find('=') + 1)), end = view.find(' ', at + 1);
    EXPECT_NE(at, std::string::npos) << kv;
    if (at != std::string::npos) view.replace(at + 1, std::min(end, view.size()) - at - 1, kv);
  }
  return view.substr(1);
}

}  // namespace apptest
