#include "crystal/thermal.h"

#include <gtest/gtest.h>

#include <cmath>

#include "crystal/crystal.h"
#include "errors/exceptions.h"

namespace {

const double kPi = std::acos(-1.0);

TEST(DisplacementParameters, IsotropicFactorFollowsTheDebyeWallerForm) {
  const CTSThermalEllipsoid ellipsoid(0.02);
  const double d = 1.25;
  EXPECT_DOUBLE_EQ(ellipsoid.Factor(1, 2, 3, d), std::exp(-8.0 * kPi * kPi * 0.02 / (4.0 * d * d)));
  EXPECT_DOUBLE_EQ(CTSThermalEllipsoid(0.0).Factor(1, 0, 0, 2.0), 1.0);
}

// An anisotropic tensor that is isotropic in a cubic cell must give the isotropic factor for
// every reflexion: beta = 2 pi^2 a*^2 U makes h^T beta h = 8 pi^2 U s^2.
TEST(DisplacementParameters, IsotropicTensorMatchesIsotropicFactor) {
  CTSCrystal crystal;
  crystal.a = crystal.b = crystal.c = 4.2;
  crystal.UpdateCell();
  const double u = 0.015;
  const CTSAnisoThermalEllipsoid aniso({u, u, u, 0, 0, 0}, crystal.aStar, crystal.bStar, crystal.cStar);
  const CTSThermalEllipsoid iso(u);
  for (int h = -3; h <= 3; ++h) {
    for (int l = 0; l <= 4; ++l) {
      if (h == 0 && l == 0) continue;
      const double d = crystal.DSpacing(h, 1, l);
      EXPECT_NEAR(aniso.Factor(h, 1, l, d), iso.Factor(h, 1, l, d), 1e-14);
    }
  }
  EXPECT_DOUBLE_EQ(aniso.U(), u);
}

TEST(DisplacementParameters, BetaAndUijConvertBothWays) {
  const CTSAnisoThermalEllipsoid::Uij u{0.011, 0.022, 0.033, 0.004, -0.005, 0.006};
  const CTSAnisoThermalEllipsoid fromU(u, 0.2, 0.125, 0.1);
  const auto back = fromU.ToUij(0.2, 0.125, 0.1);
  EXPECT_NEAR(back.u11, u.u11, 1e-15);
  EXPECT_NEAR(back.u23, u.u23, 1e-15);
  const auto& beta = fromU.Beta();
  const auto fromBeta = CTSAnisoThermalEllipsoid::FromBeta({beta[0], beta[4], beta[8], beta[1], beta[2], beta[5]},
                                                           0.2, 0.125, 0.1);
  EXPECT_EQ(fromBeta.Beta(), beta);
  EXPECT_NEAR(fromBeta.U(), (0.011 + 0.022 + 0.033) / 3.0, 1e-15);
  EXPECT_NEAR(fromU.Beta()[1], fromU.Beta()[3], 0.0);  // symmetric
}

TEST(DisplacementParameters, CloneKeepsTheDynamicType) {
  const CTSAnisoThermalEllipsoid aniso({0.01, 0.02, 0.03, 0, 0, 0}, 0.2, 0.2, 0.2);
  const std::unique_ptr<CTSThermalEllipsoid> clone = aniso.Clone();
  ASSERT_TRUE(clone->IsAnisotropic());
  EXPECT_EQ(clone->Factor(1, 2, 3, 1.0), aniso.Factor(1, 2, 3, 1.0));
  EXPECT_FALSE(CTSThermalEllipsoid(0.01).Clone()->IsAnisotropic());
}

TEST(DisplacementParameters, BAndUAreRelatedBy8PiSquared) {
  EXPECT_NEAR(BFromU(0.01), 0.7895683520871486, 1e-15);
  EXPECT_NEAR(UFromB(BFromU(0.0123)), 0.0123, 1e-17);
}

TEST(DisplacementParameters, ValidityRules) {
  EXPECT_TRUE(IsValidIsotropicU(0.0));
  EXPECT_TRUE(IsValidIsotropicU(100.0));
  EXPECT_FALSE(IsValidIsotropicU(-0.001));
  EXPECT_FALSE(IsValidIsotropicU(100.5));
  EXPECT_TRUE(IsPositiveDefinite({0.01, 0.01, 0.01, 0.005, 0, 0}));
  // U12^2 > U11 U22: the ellipsoid is not an ellipsoid.
  EXPECT_FALSE(IsPositiveDefinite({0.01, 0.01, 0.01, 0.011, 0, 0}));
  EXPECT_FALSE(IsPositiveDefinite({-0.01, -0.01, 0.01, 0, 0, 0}));  // positive determinant
  EXPECT_THROW(ValidateIsotropicU(-1.0, "O1"), CVHXBadADPUIso);
  try {
    ValidateAnisotropicU({0.01, 0.01, 0.01, 0.011, 0, 0}, "Fe2");
    FAIL();
  } catch (const CVHXBadADPAnisotropic& e) {
    EXPECT_EQ(e.Message(), "Invalid displacement parameters for site Fe2");
    EXPECT_EQ(e.ResourceId(), 23030u);
  }
}

}  // namespace
