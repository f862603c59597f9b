// One atomic scattering-factor record: X-ray form-factor coefficients, coherent neutron
// scattering length, atomic number and weight of an element or ion.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

struct CVHASF {
  static constexpr size_t kMaxSymbolLength = 9;

  std::string symbol;        // element or ion, blanks removed, e.g. "Fe", "Li+1", "OH"
  int32_t z = 0;             // atomic number, used for sorting
  double w = 0.0;            // atomic weight, used for the density
  std::array<double, 9> f{};  // a1, b1, a2, b2, a3, b3, a4, b4, c
  double b = 0.0;            // coherent neutron scattering length, fm; 0 = no data
  std::string notes;

  friend bool operator==(const CVHASF&, const CVHASF&) = default;
};

// Which scattering a calculation uses: X-ray form factors, neutron lengths or electron factors.
enum class CScatteringKind { kXray, kNeutron, kElectron };

// The scattering factor of one atom for a reflexion of spacing d (Angstrom), times its
// occupancy; 0 for an occupancy of 0 or less. Electrons use the Mott-Bethe form with the
// program's scale constant 850.
double ScatteringFactor(const CVHASF& record, double occupancy, double d, CScatteringKind kind);

// The X-ray form factor f(s^2) with s^2 = (sin theta / lambda)^2 = 1 / (4 d^2).
double XrayFormFactor(const CVHASF& record, double s2);

// A record symbol from typed text: at most nine characters are examined and blanks dropped.
std::string ScatteringSymbolFromText(std::string_view text);
