#include "crystal/thermal.h"

#include <cmath>

#include "crystal/vector.h"
#include "errors/exceptions.h"

using VHTypes::kPi;

namespace {

const double kTwoPiSquared = 2.0 * kPi * kPi;

}  // namespace

double BFromU(double u) { return 8.0 * kPi * kPi * u; }
double UFromB(double b) { return b / (8.0 * kPi * kPi); }

std::unique_ptr<CTSThermalEllipsoid> CTSThermalEllipsoid::Clone() const {
  return std::unique_ptr<CTSThermalEllipsoid>(new CTSThermalEllipsoid(*this));
}

double CTSThermalEllipsoid::Factor(int, int, int, double d) const {
  const double s2 = 1.0 / (4.0 * d * d);
  return std::exp(-8.0 * kPi * kPi * m_u * s2);
}

CTSAnisoThermalEllipsoid::CTSAnisoThermalEllipsoid(const Uij& u, double aStar, double bStar,
                                                   double cStar)
    : CTSThermalEllipsoid((u.u11 + u.u22 + u.u33) / 3.0) {
  const double b11 = kTwoPiSquared * aStar * aStar * u.u11;
  const double b22 = kTwoPiSquared * bStar * bStar * u.u22;
  const double b33 = kTwoPiSquared * cStar * cStar * u.u33;
  const double b12 = kTwoPiSquared * aStar * bStar * u.u12;
  const double b13 = kTwoPiSquared * aStar * cStar * u.u13;
  const double b23 = kTwoPiSquared * bStar * cStar * u.u23;
  m_beta = {b11, b12, b13, b12, b22, b23, b13, b23, b33};
}

CTSAnisoThermalEllipsoid CTSAnisoThermalEllipsoid::FromBeta(const Uij& beta, double aStar,
                                                            double bStar, double cStar) {
  const std::array<double, 9> tensor = {beta.u11, beta.u12, beta.u13, beta.u12, beta.u22,
                                        beta.u23, beta.u13, beta.u23, beta.u33};
  CTSAnisoThermalEllipsoid ellipsoid(0.0, tensor);
  const Uij u = ellipsoid.ToUij(aStar, bStar, cStar);
  return CTSAnisoThermalEllipsoid((u.u11 + u.u22 + u.u33) / 3.0, tensor);
}

std::unique_ptr<CTSThermalEllipsoid> CTSAnisoThermalEllipsoid::Clone() const {
  return std::make_unique<CTSAnisoThermalEllipsoid>(*this);
}

double CTSAnisoThermalEllipsoid::Factor(int h, int k, int l, double) const {
  const double hh = h, kk = k, ll = l;
  return std::exp(-(hh * hh * m_beta[0] + kk * kk * m_beta[4] + ll * ll * m_beta[8] +
                    2.0 * hh * kk * m_beta[1] + 2.0 * hh * ll * m_beta[2] +
                    2.0 * kk * ll * m_beta[5]));
}

CTSAnisoThermalEllipsoid::Uij CTSAnisoThermalEllipsoid::ToUij(double aStar, double bStar,
                                                              double cStar) const {
  auto u = [](double beta, double s1, double s2) {
    const double scale = kTwoPiSquared * s1 * s2;
    return scale != 0.0 ? beta / scale : 0.0;
  };
  return {u(m_beta[0], aStar, aStar), u(m_beta[4], bStar, bStar), u(m_beta[8], cStar, cStar),
          u(m_beta[1], aStar, bStar), u(m_beta[2], aStar, cStar), u(m_beta[5], bStar, cStar)};
}

CTSAnisoThermalEllipsoid CTSAnisoThermalEllipsoid::SymmetricMean(
    std::span<const VHTypes::CRotation> rotations, double aStar, double bStar, double cStar) const {
  std::array<double, 9> mean{};
  for (const VHTypes::CRotation& r : rotations)
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k)
          for (int l = 0; l < 3; ++l)
            mean[3 * i + j] += r[3 * i + k] * m_beta[3 * k + l] * r[3 * j + l];
  for (double& value : mean) value /= static_cast<double>(rotations.size());
  const Uij u = CTSAnisoThermalEllipsoid(0.0, mean).ToUij(aStar, bStar, cStar);
  return CTSAnisoThermalEllipsoid((u.u11 + u.u22 + u.u33) / 3.0, mean);
}

bool IsValidIsotropicU(double u) { return u >= 0.0 && u <= 100.0; }

bool IsPositiveDefinite(const CTSAnisoThermalEllipsoid::Uij& u) {
  const double determinant = u.u11 * (u.u22 * u.u33 - u.u23 * u.u23) -
                             u.u12 * (u.u12 * u.u33 - u.u23 * u.u13) +
                             u.u13 * (u.u12 * u.u23 - u.u22 * u.u13);
  return determinant > 0.0 && u.u11 > 0.0 && u.u22 > 0.0 && u.u33 > 0.0;
}

void ValidateIsotropicU(double u, const std::string& siteLabel) {
  if (!IsValidIsotropicU(u)) throw CVHXBadADPUIso(kSeverityMessage, 0, 0, siteLabel);
}

void ValidateAnisotropicU(const CTSAnisoThermalEllipsoid::Uij& u, const std::string& siteLabel) {
  if (!IsPositiveDefinite(u)) throw CVHXBadADPAnisotropic(kSeverityMessage, 0, 0, siteLabel);
}
