// Replays every saved fuzzing finding (tests/fuzz/regressions/<harness>/*)
// through its harness: each once crashed or upset a sanitizer and must now
// pass. Run under the sanitizer build, this keeps the fixes in place.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "harnesses.h"

namespace {

namespace fs = std::filesystem;
using Harness = int (*)(const uint8_t*, size_t);

TEST(FuzzRegressions, SavedFindingsPass) {
  const std::map<std::string, Harness> harnesses = {
      {"conversion", fuzz::ConversionHarness}, {"raw_record", fuzz::RawRecordHarness},
      {"container", fuzz::ContainerHarness},   {"k01_roundtrip", fuzz::RoundTripHarness},
      {"decode", fuzz::DecodeHarness}};
  const fs::path root = fs::path(LOGSPLIT_FUZZ_REGRESSIONS);
  size_t replayed = 0;
  for (const auto& [name, harness] : harnesses) {
    if (!fs::exists(root / name)) continue;
    for (const auto& entry : fs::directory_iterator(root / name)) {
      std::ifstream in(entry.path(), std::ios::binary);
      const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
      SCOPED_TRACE(entry.path().string());
      EXPECT_EQ(harness(bytes.data(), bytes.size()), 0);
      ++replayed;
    }
  }
  EXPECT_GT(replayed, 0u);
}

}  // namespace
