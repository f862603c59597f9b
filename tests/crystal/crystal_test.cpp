#include "crystal/crystal.h"

#include <gtest/gtest.h>

#include <cmath>

#include "crystal/occupancy.h"
#include "errors/exceptions.h"
#include "resources/elements.h"

namespace {

CTSAtom MakeAtom(const char* symbol, double occupancy = 1.0) {
  CTSAtom atom;
  atom.symbol = symbol;
  atom.scattering.symbol = symbol;
  atom.scattering.w = FindElement(symbol)->weight;
  atom.occupancy = occupancy;
  return atom;
}

CTSSite MakeSite(const char* label, const char* element, double x, double y, double z) {
  CTSSite site;
  site.label = label;
  site.atoms.push_back(MakeAtom(element));
  site.x = x, site.y = y, site.z = z;
  return site;
}

TEST(CrystalModel, DefaultsAreAnOrthogonalP1CellWithoutSites) {
  const CTSCrystal crystal;
  EXPECT_EQ(crystal.a, 8.0);
  EXPECT_EQ(crystal.b, 9.0);
  EXPECT_EQ(crystal.c, 10.0);
  EXPECT_EQ(crystal.alpha, 90.0);
  EXPECT_EQ(crystal.gamma, 90.0);
  EXPECT_EQ(crystal.spaceGroupSymbol, "P 1");
  EXPECT_TRUE(crystal.sites.empty());
  EXPECT_NEAR(crystal.volume, 720.0, 1e-9);
  EXPECT_EQ(crystal.particleSize, 10000.0);
  EXPECT_EQ(crystal.preferredOrientationAlignment, 0.9);
  EXPECT_TRUE(crystal.useDisplacementParameters);
}

TEST(CrystalModel, CubicCellGivesReciprocalEdgeVolumeAndDSpacing) {
  CTSCrystal crystal;
  crystal.a = crystal.b = crystal.c = 5.0;
  crystal.UpdateCell();
  EXPECT_NEAR(crystal.aStar, 0.2, 1e-15);
  EXPECT_NEAR(crystal.volume, 125.0, 1e-12);
  EXPECT_NEAR(crystal.DSpacing(1, 1, 0), 3.5355, 5e-5);
  EXPECT_NEAR(crystal.DSpacing(0, 0, 1), 5.0, 1e-12);
}

// The reciprocal metric must be the inverse of the direct one and V^2 its determinant, for
// any cell; a triclinic cell exercises every term of the formulas.
TEST(CrystalModel, TriclinicMetricsAreMutuallyInverse) {
  CTSCrystal crystal;
  crystal.a = 5.1, crystal.b = 7.3, crystal.c = 9.2;
  crystal.alpha = 81.0, crystal.beta = 103.5, crystal.gamma = 112.25;
  crystal.UpdateCell();
  const auto& g = crystal.directMetric;
  const auto& gs = crystal.reciprocalMetric;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      double product = 0.0;
      for (int k = 0; k < 3; ++k) product += g[i * 3 + k] * gs[k * 3 + j];
      EXPECT_NEAR(product, i == j ? 1.0 : 0.0, 1e-12) << i << "," << j;
    }
  }
  const double determinant = g[0] * (g[4] * g[8] - g[5] * g[7]) - g[1] * (g[3] * g[8] - g[5] * g[6]) +
                             g[2] * (g[3] * g[7] - g[4] * g[6]);
  EXPECT_NEAR(crystal.volume * crystal.volume, determinant, 1e-8 * determinant);
}

TEST(CrystalModel, DegenerateCellClampsCosinesInsteadOfFailing) {
  CTSCrystal crystal;
  crystal.alpha = crystal.beta = crystal.gamma = 120.0;  // the three edges lie in one plane
  crystal.UpdateCell();
  EXPECT_FALSE(std::isnan(crystal.alphaStar));
  EXPECT_NEAR(crystal.alphaStar, 0.0, 1e-5);
  EXPECT_LT(crystal.volume, 1e-3);
}

// Halite: a = 5.640 A, four NaCl per cell; the published density is 2.165 g/cm^3.
TEST(CrystalModel, DensityOfHalite) {
  CTSCrystal crystal;
  crystal.a = crystal.b = crystal.c = 5.640;
  crystal.spaceGroupSymbol = "F m -3 m";
  crystal.sites = {MakeSite("Na", "Na", 0, 0, 0), MakeSite("Cl", "Cl", 0.5, 0.5, 0.5)};
  crystal.GeneratePositions();
  crystal.UpdateCell();
  EXPECT_EQ(crystal.sites[0].Multiplicity(), 4u);
  EXPECT_NEAR(crystal.density, 2165.0, 2.0);
}

TEST(CrystalModel, DensityIgnoresNearlyEmptySpecies) {
  CTSCrystal crystal;
  crystal.sites = {MakeSite("A", "Fe", 0.1, 0.2, 0.3)};
  crystal.sites[0].atoms.push_back(MakeAtom("U", 0.0005));
  crystal.GeneratePositions();
  crystal.UpdateCell();
  EXPECT_NEAR(crystal.density, 55.845 * 1660.56005859375 / 720.0, 1e-9);
}

TEST(CrystalModel, CopiesAreDeepButShareReflexions) {
  CTSCrystal crystal;
  crystal.sites = {MakeSite("Fe1", "Fe", 0.1, 0.2, 0.3)};
  crystal.sites[0].displacement = std::make_unique<CTSThermalEllipsoid>(0.01);
  crystal.reflexions.push_back(nullptr);

  CTSCrystal copy = crystal;
  ASSERT_NE(copy.sites[0].displacement, nullptr);
  EXPECT_NE(copy.sites[0].displacement.get(), crystal.sites[0].displacement.get());
  EXPECT_EQ(copy.sites[0].displacement->U(), 0.01);
  copy.sites[0].label = "changed";
  EXPECT_EQ(crystal.sites[0].label, "Fe1");
  EXPECT_EQ(copy.reflexions.size(), 1u);

  CTSSite assigned;
  assigned = crystal.sites[0];
  EXPECT_NE(assigned.displacement.get(), crystal.sites[0].displacement.get());
}

TEST(CrystalModel, PreferredOrientationNames) {
  EXPECT_STREQ(PreferredOrientationTypeName(CTSCrystal::kPlates), "Plates");
  EXPECT_STREQ(PreferredOrientationTypeName(CTSCrystal::kNeedles), "Needles");
  EXPECT_STREQ(VectorTypeName(CTSCrystal::kPlaneNormal), "Plane Normal: N(hkl)");
  EXPECT_STREQ(VectorTypeName(CTSCrystal::kLatticeVector), "Lattice Vector: [UVW]");
}

TEST(SiteOccupancy, ParsesSpeciesWithDecimalsAndFractions) {
  EXPECT_EQ(ParseSiteOccupancy("Fe0.5Mg0.5", "O"),
            (std::vector<CSpeciesOccupancy>{{"Fe", 0.5}, {"Mg", 0.5}}));
  EXPECT_EQ(ParseSiteOccupancy("Fe", "O"), (std::vector<CSpeciesOccupancy>{{"Fe", 1.0}}));
  EXPECT_EQ(ParseSiteOccupancy("Fe0.4", "O"), (std::vector<CSpeciesOccupancy>{{"Fe", 0.4}}));
  const auto thirds = ParseSiteOccupancy("Si2/3Al1/3", "O");
  ASSERT_EQ(thirds.size(), 2u);
  EXPECT_DOUBLE_EQ(thirds[0].occupancy, 2.0 / 3.0);
  EXPECT_DOUBLE_EQ(thirds[1].occupancy, 1.0 / 3.0);
  EXPECT_EQ(ParseSiteOccupancy("Fe 0.5 Mg 0.5", "O").size(), 2u);
}

TEST(SiteOccupancy, EmptyTextTakesTheSiteElement) {
  EXPECT_EQ(ParseSiteOccupancy("", "Ca"), (std::vector<CSpeciesOccupancy>{{"Ca", 1.0}}));
  EXPECT_THROW(ParseSiteOccupancy("", "Qq"), CVHXInvalidSiteOcc);
}

TEST(SiteOccupancy, NegligibleTotalBecomesFullOccupancy) {
  EXPECT_EQ(ParseSiteOccupancy("Fe0", "O"), (std::vector<CSpeciesOccupancy>{{"Fe", 1.0}}));
}

TEST(SiteOccupancy, RefusesOverfullSitesAndStrayText) {
  EXPECT_THROW(ParseSiteOccupancy("Fe0.6Mg0.6", "O"), CVHXSiteOccSumNotOne);
  EXPECT_THROW(ParseSiteOccupancy("Xq", "O"), CVHXInvalidSiteOcc);
  EXPECT_THROW(ParseSiteOccupancy("0.5", "O"), CVHXInvalidSiteOcc);
  try {
    ParseSiteOccupancy("Fe0.6Mg0.6", "O");
  } catch (const CVHException& e) {
    EXPECT_EQ(e.ResourceId(), 23036u);
    EXPECT_EQ(e.Explanation(), "The sum of the site occupancy ratios must be 1.0. Please correct your entry.");
  }
}

}  // namespace
