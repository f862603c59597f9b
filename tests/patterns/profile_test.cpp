#include "patterns/profile.h"

#include <gtest/gtest.h>

#include <cmath>

#include "crystal/crystal.h"
#include "diffraction/reflexion.h"
#include "patterns/plot_spec.h"

namespace {

using namespace VHTypes;
using namespace VHProfile;

const double kPi = std::acos(-1.0);
const double kGaussianHeight = std::sqrt(kLn2 / kPi);  // of unit area and unit half width

std::shared_ptr<CTSReflexion> Reflexion(double position, double intensity, double halfWidth, double d = 2.0) {
  auto reflexion = std::make_shared<CTSReflexion>();
  reflexion->position = position;
  reflexion->intensity = intensity;
  reflexion->halfWidth = halfWidth;
  reflexion->d = d;
  return reflexion;
}

// A 2 theta grid from 0 to 10 degrees in 1000 steps of 0.01.
CPlotSpec Grid(TSProfileType type) {
  CPlotSpec plot = CPlotSpec::BuiltIn();
  plot.SetXRange(0.0, 10.0);
  plot.SetProfilePoints(1000);
  plot.SetProfileType(type);
  return plot;
}

TEST(PeakShapes, HeightsAndHalfMaxima) {
  const double w = 0.3;
  EXPECT_DOUBLE_EQ(Gaussian(5.0, 5.0, w), kGaussianHeight / w);
  EXPECT_NEAR(Gaussian(5.0 + w, 5.0, w), kGaussianHeight / w / 2, 1e-7);
  EXPECT_NEAR(Gaussian(5.0 - w, 5.0, w), kGaussianHeight / w / 2, 1e-7);
  EXPECT_DOUBLE_EQ(Lorentzian(5.0, 5.0, w), 1.0 / (kPi * w));
  EXPECT_DOUBLE_EQ(Lorentzian(5.0 + w, 5.0, w), 1.0 / (kPi * w) / 2);
  EXPECT_EQ(Delta(5.0, 5.0, 0.25), 1.0);
  EXPECT_EQ(Delta(5.125, 5.0, 0.25), 0.5);
  EXPECT_EQ(Delta(4.875, 5.0, 0.25), 0.5);
  EXPECT_EQ(Delta(5.25, 5.0, 0.25), 0.0);
  // Far out the Gaussian is cut off where ln 2 u^2 reaches 30, never a denormal tail.
  EXPECT_GT(Gaussian(6.5 * w, 0.0, w), 0.0);
  EXPECT_EQ(Gaussian(6.6 * w, 0.0, w), 0.0);
  EXPECT_EQ(PseudoVoigt(5.1, 5.0, w, 0.0), Gaussian(5.1, 5.0, w));
  EXPECT_EQ(PseudoVoigt(5.1, 5.0, w, 1.0), Lorentzian(5.1, 5.0, w));
}

TEST(PeakShapes, CutOffFactors) {
  EXPECT_EQ(CutOffFactor(kProfileDelta, 0.2), 1.0);
  EXPECT_EQ(CutOffFactor(kProfileLorentzian, 0.2), 20.0);
  EXPECT_EQ(CutOffFactor(kProfileGaussian, 0.2), 5.0);
  EXPECT_DOUBLE_EQ(CutOffFactor(kProfilePseudoVoigt, 0.2), 0.8 * 5 + 0.2 * 20);
  EXPECT_EQ(CutOffFactor(static_cast<TSProfileType>(9), 0.2), 0.0);
}

TEST(PeakWidths, InstrumentWidthByRadiationAndAxis) {
  CPlotSpec plot = CPlotSpec::BuiltIn();
  EXPECT_EQ(InstrumentWidth(plot, 30.0), 0.1);
  plot.SetAxisType(kAxisDSpacing);
  EXPECT_EQ(InstrumentWidth(plot, 2.0), plot.ConvertWidth(0.1, kAxisTwoTheta, kAxisDSpacing));

  plot.SetSimulationType(kSimulationTimeOfFlight);
  plot.SetAxisType(kAxisTimeOfFlight);
  EXPECT_DOUBLE_EQ(InstrumentWidth(plot, 200.0), 0.001 * 200.0);
  plot.SetAxisType(kAxisTwoTheta);
  EXPECT_DOUBLE_EQ(InstrumentWidth(plot, 90.0), 2 * 0.001 * std::tan(kPi / 4) * 180 / kPi);

  plot.SetSimulationType(kSimulationEnergyDispersive);
  plot.SetAxisType(kAxisEnergy);
  EXPECT_EQ(InstrumentWidth(plot, 50.0), 0.1);
  plot.SetSimulationType(kSimulationElectrons);
  plot.SetAxisType(kAxisInverseD);
  EXPECT_EQ(InstrumentWidth(plot, 0.5), 0.02);
  plot.SetAxisType(kAxisQ);
  EXPECT_EQ(InstrumentWidth(plot, 3.0), plot.ConvertWidth(0.02, kAxisInverseD, kAxisQ));
}

TEST(PeakWidths, SizeAndStrainTerms) {
  CPlotSpec plot = CPlotSpec::BuiltIn();
  // At the size limit 2 theta gets no size broadening; the other axes keep the formula.
  EXPECT_EQ(SizeWidth(plot, 10000.0, 40.0), 0.0);
  EXPECT_EQ(SizeWidth(plot, 50000.0, 40.0), 0.0);  // clamped to the limit
  EXPECT_DOUBLE_EQ(SizeWidth(plot, 1000.0, 40.0), 0.888 * 1.5405 * 180 / kPi / (1000.0 * std::cos(kPi / 9)));
  EXPECT_EQ(StrainWidth(plot, 0.0, 40.0), 0.0);
  EXPECT_DOUBLE_EQ(StrainWidth(plot, 0.001, 40.0), 4 * 2 * std::sqrt(kLn2) * 0.001 * std::tan(kPi / 9) * 180 / kPi);

  plot.SetAxisType(kAxisDSpacing);
  EXPECT_DOUBLE_EQ(SizeWidth(plot, 10000.0, 2.0), 0.888 * 4.0 / 10000.0);
  EXPECT_DOUBLE_EQ(StrainWidth(plot, 0.01, 2.0), 0.02);
  plot.SetAxisType(kAxisQ);
  EXPECT_DOUBLE_EQ(SizeWidth(plot, 500.0, 3.0), 0.888 * 2 * kPi / 500.0);
  EXPECT_DOUBLE_EQ(StrainWidth(plot, 2.0, 3.0), 2 * std::sqrt(kLn2) * 3.0);  // strain clamped to 1
  plot.SetAxisType(static_cast<TSAxisType>(7));
  EXPECT_EQ(SizeWidth(plot, 500.0, 3.0), 0.0);
  EXPECT_EQ(StrainWidth(plot, 0.5, 3.0), 0.0);
}

TEST(PeakWidths, TotalWidthByProfileType) {
  EXPECT_EQ(TotalWidth(kProfileDelta, 0.2, 3, 4, 12), 0.0);
  EXPECT_EQ(TotalWidth(kProfileLorentzian, 0.2, 3, 4, 12), 19.0);
  EXPECT_EQ(TotalWidth(kProfileGaussian, 0.2, 3, 4, 12), 13.0);
  EXPECT_DOUBLE_EQ(TotalWidth(kProfilePseudoVoigt, 0.25, 3, 4, 12), 0.75 * 13 + 0.25 * 19);

  CTSCrystal crystal;
  crystal.reflexions = {Reflexion(30.0, 1.0, 0.0)};
  ComputeWidths(crystal, CPlotSpec::BuiltIn());
  EXPECT_DOUBLE_EQ(crystal.reflexions[0]->halfWidth, 0.05);
}

TEST(ProfileGrid, RunningSumFromXMinward) {
  const CProfile grid = LayGrid(Grid(kProfileGaussian));
  ASSERT_EQ(grid.size(), 1000u);
  EXPECT_EQ(grid.front().x, 0.0);
  EXPECT_EQ(grid[1].x, 0.01);
  EXPECT_NEAR(grid.back().x, 9.99, 1e-9);
  for (const CProfilePoint& point : grid) EXPECT_EQ(point.y, 0.0);
}

TEST(ProfileSampling, NoReflexionsNoGridAndUnknownShapeAllZero) {
  EXPECT_TRUE(SampleProfile({}, Grid(kProfileGaussian)).empty());
  const CProfile zero = SampleProfile({Reflexion(5.0, 1.0, 0.1)}, Grid(static_cast<TSProfileType>(0)));
  ASSERT_EQ(zero.size(), 1000u);
  for (const CProfilePoint& point : zero) EXPECT_EQ(point.y, 0.0);
}

TEST(ProfileSampling, DeltaIsANineStepTriangle) {
  const CProfile profile = SampleProfile({Reflexion(5.0, 3.0, 0.0)}, Grid(kProfileDelta));
  EXPECT_NEAR(profile[500].y, 3.0, 1e-9);
  for (int k = 1; k < 9; ++k) {
    EXPECT_NEAR(profile[500 + k].y, 3.0 * (1 - k / 9.0), 1e-9) << k;
    EXPECT_NEAR(profile[500 - k].y, 3.0 * (1 - k / 9.0), 1e-9) << k;
  }
  EXPECT_NEAR(profile[509].y, 0.0, 1e-9);
  EXPECT_NEAR(profile[491].y, 0.0, 1e-9);
  EXPECT_EQ(profile[511].y, 0.0);
}

TEST(ProfileSampling, GaussianAndLorentzianHeightsAndHalfMaxima) {
  const double w = 0.1;  // ten grid steps
  const CProfile gaussian = SampleProfile({Reflexion(5.0, 2.0, w)}, Grid(kProfileGaussian));
  EXPECT_NEAR(gaussian[500].y, 2.0 * kGaussianHeight / w, 1e-8);
  EXPECT_NEAR(gaussian[510].y, gaussian[500].y / 2, 1e-8);
  EXPECT_NEAR(gaussian[490].y, gaussian[500].y / 2, 1e-8);
  // The reach is five half widths: 50 steps each side.
  EXPECT_GT(gaussian[451].y, 0.0);
  EXPECT_EQ(gaussian[449].y, 0.0);

  const CProfile lorentzian = SampleProfile({Reflexion(5.0, 2.0, w)}, Grid(kProfileLorentzian));
  EXPECT_NEAR(lorentzian[500].y, 2.0 / (kPi * w), 1e-8);
  EXPECT_NEAR(lorentzian[510].y, lorentzian[500].y / 2, 1e-8);
  EXPECT_GT(lorentzian[301].y, 0.0);  // twenty half widths
  EXPECT_EQ(lorentzian[299].y, 0.0);
}

TEST(ProfileSampling, PseudoVoigtAtItsEndsEqualsTheOtherShapes) {
  const std::vector<std::shared_ptr<CTSReflexion>> reflexions = {Reflexion(5.0, 2.0, 0.1), Reflexion(5.3, 1.0, 0.05)};
  CPlotSpec voigt = Grid(kProfilePseudoVoigt);
  voigt.SetEta(0.0);
  EXPECT_EQ(SampleProfile(reflexions, voigt), SampleProfile(reflexions, Grid(kProfileGaussian)));
  voigt.SetEta(1.0);
  EXPECT_EQ(SampleProfile(reflexions, voigt), SampleProfile(reflexions, Grid(kProfileLorentzian)));
}

TEST(ProfileSampling, PeaksClippedAtTheGridEdges) {
  // Reaching below x minimum: summed from point 0.
  const CProfile low = SampleProfile({Reflexion(0.02, 1.0, 0.1)}, Grid(kProfileGaussian));
  EXPECT_NEAR(low[0].y, Gaussian(0.0, 0.02, 0.1), 1e-12);
  // Reaching beyond the grid: summed up to, not including, the last point.
  const CProfile high = SampleProfile({Reflexion(9.98, 1.0, 0.1)}, Grid(kProfileGaussian));
  EXPECT_GT(high[998].y, 0.0);
  EXPECT_EQ(high[999].y, 0.0);
  // Far outside: nothing at all, and nothing goes wrong.
  const CProfile outside = SampleProfile({Reflexion(-50.0, 1.0, 0.1), Reflexion(1e300, 1.0, 0.1),
                                          Reflexion(5.0, 1.0, HUGE_VAL)},
                                         Grid(kProfileGaussian));
  for (const CProfilePoint& point : outside) EXPECT_EQ(point.y, 0.0);
}

TEST(ProfileSampling, KAlpha2DoubletOnlyWhereTheSecondLineDiffracts) {
  CPlotSpec plot = CPlotSpec::BuiltIn();
  plot.SetMonochromatic(false);
  plot.SetProfileType(kProfileGaussian);
  const double w = 0.05;
  // d = 1.5405 Angstrom: K-alpha-1 at 2 theta = 60 degrees, K-alpha-2 a little above.
  const double d = 1.5405;
  const double x1 = 60.0;
  const double x2 = 2.0 * std::asin(1.54434 / (2 * d)) * 180 / kPi;
  const CProfile doublet = SampleProfile({Reflexion(x1, 3.0, w, d)}, plot);
  const double step = 180.0 / 72000;
  const auto at = [&](const CProfile& profile, double x) { return profile[static_cast<size_t>(std::lround(x / step))]; };
  const CProfilePoint p1 = at(doublet, x1), p2 = at(doublet, x2);
  EXPECT_NEAR(p1.y, 3.0 * (2.0 / 3 * Gaussian(p1.x, x1, w) + 1.0 / 3 * Gaussian(p1.x, x2, w)), 1e-9);
  EXPECT_NEAR(p2.y, 3.0 * (2.0 / 3 * Gaussian(p2.x, x1, w) + 1.0 / 3 * Gaussian(p2.x, x2, w)), 1e-9);
  EXPECT_GT(p2.y, 0.3 * p1.y);

  // d below lambda2 / 2: no second line, and the first keeps the plain intensity.
  const double dShort = 0.7715;
  const CProfile single = SampleProfile({Reflexion(170.0, 3.0, w, dShort)}, plot);
  const CProfilePoint peak = at(single, 170.0);
  EXPECT_NEAR(peak.y, 3.0 * Gaussian(peak.x, 170.0, w), 1e-9);

  // Monochromatic: the plain peak at d = 1.5405 too.
  plot.SetMonochromatic(true);
  const CProfilePoint plain = at(SampleProfile({Reflexion(x1, 3.0, w, d)}, plot), x1);
  EXPECT_NEAR(plain.y, 3.0 * Gaussian(plain.x, x1, w), 1e-9);
}

}  // namespace
