#include "diffraction/asf.h"

#include <cctype>
#include <cmath>

namespace {

// Scale of the electron scattering factor (Mott-Bethe formula in the program's units).
constexpr double kElectronScale = 850.0;

}  // namespace

double XrayFormFactor(const CVHASF& record, double s2) {
  const auto& f = record.f;
  return f[0] * std::exp(-f[1] * s2) + f[2] * std::exp(-f[3] * s2) + f[4] * std::exp(-f[5] * s2) +
         f[6] * std::exp(-f[7] * s2) + f[8];
}

double ScatteringFactorOf(const CVHASF& record, double xray, double s2, CScatteringKind kind) {
  switch (kind) {
    case CScatteringKind::kNeutron:
      return record.b;
    case CScatteringKind::kElectron:
      return kElectronScale * (record.z - xray) / s2;
    case CScatteringKind::kXray:
      break;
  }
  return xray;
}

double ScatteringFactor(const CVHASF& record, double occupancy, double d, CScatteringKind kind) {
  if (occupancy <= 0.0) return 0.0;
  const double s2 = 1.0 / (4.0 * d * d);
  const double xray = kind == CScatteringKind::kNeutron ? 0.0 : XrayFormFactor(record, s2);
  return ScatteringFactorOf(record, xray, s2, kind) * occupancy;
}

std::string ScatteringSymbolFromText(std::string_view text) {
  std::string symbol;
  for (size_t i = 0; i < text.size() && i < CVHASF::kMaxSymbolLength; ++i)
    if (!std::isspace(static_cast<unsigned char>(text[i]))) symbol += text[i];
  return symbol;
}
