// Atomic displacement parameters of a site: isotropic (one U) or anisotropic (a symmetric
// tensor beta applied to the Miller indices).
#pragma once

#include <array>
#include <memory>
#include <span>
#include <string>

#include "crystal/vector.h"

class CTSThermalEllipsoid {
 public:
  explicit CTSThermalEllipsoid(double u = 0.0) : m_u(u) {}
  virtual ~CTSThermalEllipsoid() = default;

  virtual std::unique_ptr<CTSThermalEllipsoid> Clone() const;

  // The factor that multiplies the site's scattering for reflexion (h k l) of spacing d:
  // exp(-8 pi^2 U s^2) with s^2 = 1 / (4 d^2).
  virtual double Factor(int h, int k, int l, double d) const;

  // Uiso for an isotropic record, Ueq for an anisotropic one (Angstrom^2).
  double U() const { return m_u; }
  virtual bool IsAnisotropic() const { return false; }

 protected:
  CTSThermalEllipsoid(const CTSThermalEllipsoid&) = default;
  CTSThermalEllipsoid& operator=(const CTSThermalEllipsoid&) = default;

 private:
  double m_u;
};

class CTSAnisoThermalEllipsoid final : public CTSThermalEllipsoid {
 public:
  // U11, U22, U33, U12, U13, U23 in Angstrom^2, in the order the readers meet them.
  struct Uij {
    double u11, u22, u33, u12, u13, u23;
  };

  // From the six Uij and the reciprocal cell edges a*, b*, c*.
  CTSAnisoThermalEllipsoid(const Uij& u, double aStar, double bStar, double cStar);
  // From the dimensionless beta_ij (11, 22, 33, 12, 13, 23) as given.
  static CTSAnisoThermalEllipsoid FromBeta(const Uij& beta, double aStar, double bStar,
                                           double cStar);

  // From a tensor and its Ueq exactly as another record holds them, for a record restored
  // from a copy of itself.
  static CTSAnisoThermalEllipsoid FromTensor(double ueq, const std::array<double, 9>& beta) {
    return CTSAnisoThermalEllipsoid(ueq, beta);
  }

  std::unique_ptr<CTSThermalEllipsoid> Clone() const override;
  // exp(-(h^2 b11 + k^2 b22 + l^2 b33 + 2hk b12 + 2hl b13 + 2kl b23)); d is not used.
  double Factor(int h, int k, int l, double d) const override;
  bool IsAnisotropic() const override { return true; }

  // Row-major symmetric 3 x 3 tensor.
  const std::array<double, 9>& Beta() const { return m_beta; }
  // The Uij that give this tensor for the reciprocal edges a*, b*, c*.
  Uij ToUij(double aStar, double bStar, double cStar) const;
  // The mean of R beta R^T over `rotations`: for the rotations of a site's symmetry, the tensor
  // nearest to this one that has that symmetry (an atom on a mirror cannot vibrate across it
  // lopsidedly). Ueq follows the new tensor.
  CTSAnisoThermalEllipsoid SymmetricMean(std::span<const VHTypes::CRotation> rotations,
                                         double aStar, double bStar, double cStar) const;

 private:
  CTSAnisoThermalEllipsoid(double ueq, const std::array<double, 9>& beta)
      : CTSThermalEllipsoid(ueq), m_beta(beta) {}

  std::array<double, 9> m_beta{};
};

// B = 8 pi^2 U.
double BFromU(double u);
double UFromB(double b);

// The labels of the displacement parameters, for editors and listings.
inline constexpr const char* kDisplacementLabels[] = {
    "B11", "B12", "B13", "B22", "B23", "B33", "U11", "U12", "U13", "U22", "U23", "U33", "Uiso"};

// Validity rules of the crystal editor and the readers: Uiso within [0, 100] Angstrom^2, an
// anisotropic set positive definite (determinant and the three diagonal terms positive).
bool IsValidIsotropicU(double u);
bool IsPositiveDefinite(const CTSAnisoThermalEllipsoid::Uij& u);
// The same rules raising CVHXBadADPUIso / CVHXBadADPAnisotropic, naming the site.
void ValidateIsotropicU(double u, const std::string& siteLabel);
void ValidateAnisotropicU(const CTSAnisoThermalEllipsoid::Uij& u, const std::string& siteLabel);
