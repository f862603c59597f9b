// One atomic scattering-factor record: X-ray form-factor coefficients, coherent neutron
// scattering length, atomic number and weight of an element or ion. Atoms carry the record they
// were matched to, so it sits with the crystal; evaluating it belongs to the calculation.
#pragma once

#include <array>
#include <cstdint>
#include <string>

struct CVHASF {
  static constexpr size_t kMaxSymbolLength = 9;

  std::string symbol;         // element or ion, blanks removed, e.g. "Fe", "Li+1", "OH"
  int32_t z = 0;              // atomic number, used for sorting
  double w = 0.0;             // atomic weight, used for the density
  std::array<double, 9> f{};  // a1, b1, a2, b2, a3, b3, a4, b4, c
  double b = 0.0;             // coherent neutron scattering length, fm; 0 = no data
  std::string notes;

  friend bool operator==(const CVHASF&, const CVHASF&) = default;
};
