// The built-in atomic scattering-factor table: International Tables nine-parameter X-ray
// form-factor fits, coherent neutron scattering lengths, atomic numbers and weights.
#pragma once

#include <span>

struct CBuiltInScatteringFactor {
  const char* symbol;
  int z;
  float w;
  float f[9];  // a1, b1, a2, b2, a3, b3, a4, b4, c
  float b;     // fm
  const char* notes;
};

// 102 records: D, H, H-1, He, Li, Li+1, Be, B, C, N, O, F, OH, Ne, then Na to Cf by Z.
std::span<const CBuiltInScatteringFactor> BuiltInScatteringFactorRecords();
