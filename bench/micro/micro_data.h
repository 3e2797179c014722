// Inputs of the micro-benchmarks: the raw records of the benchmark data
// sets (bench/data, written by make_bench_data) and their compressed forms.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "k01lib/k01_writer.h"

namespace micro {

using Records = std::vector<k01::RawRecord>;

// The raw records of a data file (a raw image or a K00 file) in
// bench/data; empty when the file is missing.
const Records& RawRecords(const std::string& name);
// The records after the K01 writer's compression step, and those of them
// whose type is in `types`.
Records Compressed(const Records& raw, const k01::k01_write_options_t& options);
Records OfTypes(const Records& records, std::initializer_list<uint8_t> types);
// The units the throughput figures count: satellite blocks of the raw
// type-17/117 records, and signals of the raw type-27 records (as the
// decoder reads them).
size_t SatelliteEpochs17(const Records& raw);
size_t SignalEpochs27(const Records& raw);
// The message for a benchmark whose data is missing.
std::string MissingDataMessage(const std::string& name);

}  // namespace micro
