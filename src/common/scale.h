// x * 2^e for the field scalings. Multiplying by an exact power of two
// rounds once, exactly as std::ldexp does, so the results are the same bit
// for bit; it only avoids a library call on the record paths. Exponents
// outside the normal range of a double go to std::ldexp.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>

namespace sc {

inline double Ldexp(double x, int e) {
  if (e < -1022 || e > 1023) return std::ldexp(x, e);
  const uint64_t bits = static_cast<uint64_t>(e + 1023) << 52;
  double factor;
  std::memcpy(&factor, &bits, sizeof factor);
  return x * factor;
}

}  // namespace sc
