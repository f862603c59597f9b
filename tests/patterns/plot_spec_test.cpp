#include "patterns/plot_spec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "diffraction/calculate.h"
#include "diffraction/reflexion.h"

namespace {

using namespace VHTypes;

const double kPi = std::acos(-1.0);

TEST(PlotSpec, BuiltInDefaults) {
  const CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  EXPECT_EQ(plotSpec.SimulationType(), kSimulationXrays);
  EXPECT_EQ(plotSpec.ProfileType(), kProfileGaussian);
  EXPECT_EQ(plotSpec.AxisType(), kAxisTwoTheta);
  EXPECT_EQ(plotSpec.XMin(), 0.0);
  EXPECT_EQ(plotSpec.XMax(), 180.0);
  EXPECT_EQ(plotSpec.DMin(), 0.7);
  EXPECT_TRUE(plotSpec.RestrictMaxNumRefs());
  EXPECT_EQ(plotSpec.MaxNumRefs(), 10000);
  EXPECT_EQ(plotSpec.ProfilePoints(), 72000u);
  EXPECT_EQ(plotSpec.TTHPeakWidth(), 0.1);
  EXPECT_TRUE(plotSpec.Monochromatic());
  EXPECT_EQ(plotSpec.Lambda(), 1.5405);
  EXPECT_EQ(plotSpec.Lambda2(), 1.54434);
  EXPECT_EQ(plotSpec.LambdaRatio(), 2.0);
  EXPECT_EQ(plotSpec.EDXTheta(), 0.06981);
  EXPECT_EQ(plotSpec.EDXPeakWidth(), 0.1);
  EXPECT_EQ(plotSpec.TOFTheta(), 1.57);
  EXPECT_EQ(plotSpec.TOFDistance(), 100.0);
  EXPECT_EQ(plotSpec.TOFResolution(), 0.001);
  EXPECT_EQ(plotSpec.LambdaTEM(), 0.037014);
  EXPECT_EQ(plotSpec.PeakWidthTEM(), 0.02);
  EXPECT_EQ(plotSpec.Eta(), 0.2);
  EXPECT_EQ(plotSpec.Wavelength(), 1.5405);
  // Time of flight: 2 L m/h sin(theta); energy: hc/2 / sin(theta).
  EXPECT_NEAR(plotSpec.TOFFactor(), 2.0 * 100.0 * 0.2527776062488556 * std::sin(1.57), 1e-12);
  EXPECT_NEAR(plotSpec.EDXFactor(), 6.19921 / std::sin(0.06981), 1e-9);
  EXPECT_STREQ(plotSpec.XAxisTitle(), "2θ");
  EXPECT_STREQ(plotSpec.XAxisUnit(), "°");
  EXPECT_STREQ(plotSpec.YAxisTitle(), "Intensity");
}

TEST(PlotSpec, DerivedFactorsFollowTheirFields) {
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  plotSpec.SetTOFDistance(50.0);
  EXPECT_NEAR(plotSpec.TOFFactor(), 2.0 * 50.0 * 0.2527776062488556 * std::sin(1.57), 1e-12);
  plotSpec.SetTOFTheta(0.0);
  EXPECT_EQ(plotSpec.TOFFactor(), 0.0);  // every reflexion at time 0
  plotSpec.SetEDXTheta(0.1);
  EXPECT_NEAR(plotSpec.EDXFactor(), 6.19921 / std::sin(0.1), 1e-9);
  plotSpec.SetEDXTheta(0.0);
  EXPECT_TRUE(std::isinf(plotSpec.EDXFactor()));
}

TEST(PlotSpec, ChangingTheAxisResetsTheRange) {
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  plotSpec.SetXRange(10.0, 20.0);
  plotSpec.SetAxisType(kAxisTwoTheta);
  EXPECT_EQ(plotSpec.XMax(), 20.0);  // not a change
  plotSpec.SetAxisType(kAxisTimeOfFlight);
  EXPECT_EQ(plotSpec.XMin(), 0.0);
  EXPECT_EQ(plotSpec.XMax(), 500.0);
  EXPECT_STREQ(plotSpec.XAxisUnit(), "ms");
  plotSpec.SetAxisType(kAxisQ);
  EXPECT_NEAR(plotSpec.XMax(), 31.4159, 1e-4);
  EXPECT_EQ(plotSpec.XMax(), 10.0 * kPi);
  EXPECT_STREQ(plotSpec.XAxisTitle(), "2π/d");
  EXPECT_STREQ(plotSpec.XAxisUnit(), "Å⁻¹");
}

TEST(PlotSpec, BraggPositionOfThreeAngstrom) {
  const CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  EXPECT_NEAR(plotSpec.DToX(3.0), 29.755, 0.0005);
  EXPECT_NEAR(2.0 * 3.0 * std::sin(plotSpec.DToX(3.0) / 2.0 * kPi / 180.0), 1.5405, 1e-14);
  // Below half the wavelength the arc sine is clamped: 180 degrees, no failure.
  EXPECT_EQ(plotSpec.DToX(0.5), 180.0);
}

TEST(PlotSpec, EveryAxisConvertsBackToTheSameD) {
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  for (auto axis : {kAxisTwoTheta, kAxisDSpacing, kAxisInverseD, kAxisTimeOfFlight, kAxisEnergy, kAxisQ}) {
    plotSpec.SetAxisType(axis);
    for (double d : {0.8, 1.7, 3.0, 12.5}) EXPECT_NEAR(plotSpec.XToD(plotSpec.DToX(d)), d, 1e-12 * d) << axis;
  }
  plotSpec.SetAxisType(kAxisInverseD);
  EXPECT_EQ(plotSpec.DToX(4.0), 0.25);
  plotSpec.SetAxisType(kAxisQ);
  EXPECT_EQ(plotSpec.DToX(2.0), kPi);
  plotSpec.SetAxisType(kAxisTimeOfFlight);
  EXPECT_EQ(plotSpec.DToX(2.0), 2.0 * plotSpec.TOFFactor());
}

TEST(PlotSpec, ProfilePositionsAndReadoutsUseTheirOwnHcOverTwo) {
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  plotSpec.SetAxisType(kAxisEnergy);
  auto reflexion = std::make_shared<CTSReflexion>();
  reflexion->d = 2.0;
  SetReflexionPositions({reflexion}, plotSpec);
  EXPECT_EQ(reflexion->position, plotSpec.EDXFactor() / 2.0);
  EXPECT_NEAR(plotSpec.DToX(2.0), 6.1992998123168945 / std::sin(0.06981) / 2.0, 1e-9);
  EXPECT_NE(plotSpec.DToX(2.0), reflexion->position);
  EXPECT_NEAR(plotSpec.XToD(10.0), 6.1992998123168945 / (std::sin(0.06981) * 10.0), 1e-12);
}

TEST(PlotSpec, WidthConversions) {
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  // 0.1 degree of 2 theta is about 0.0099 Angstrom of d at 3 Angstrom.
  EXPECT_NEAR(plotSpec.ConvertWidth(0.1, kAxisTwoTheta, kAxisDSpacing), 0.0099, 0.00005);
  // The same unit, or a target outside the six, returns the width untouched.
  const double odd = 0.1234567890123456789;
  for (auto axis : {kAxisTwoTheta, kAxisDSpacing, kAxisInverseD, kAxisTimeOfFlight, kAxisEnergy, kAxisQ})
    EXPECT_EQ(plotSpec.ConvertWidth(odd, axis, axis), odd);
  EXPECT_EQ(plotSpec.ConvertWidth(odd, kAxisDSpacing, static_cast<TSAxisType>(9)), odd);
  // A small width goes through d and comes back; d widths scale by the derivative at 3 A.
  for (auto axis : {kAxisTwoTheta, kAxisInverseD, kAxisTimeOfFlight, kAxisEnergy, kAxisQ}) {
    const double there = plotSpec.ConvertWidth(0.001, kAxisDSpacing, axis);
    EXPECT_NEAR(plotSpec.ConvertWidth(there, axis, kAxisDSpacing), 0.001, 1e-9) << axis;
  }
  EXPECT_NEAR(plotSpec.ConvertWidth(0.001, kAxisDSpacing, kAxisInverseD), 0.001 / 9.0, 1e-9);
  EXPECT_NEAR(plotSpec.ConvertWidth(0.001, kAxisDSpacing, kAxisQ), 2.0 * kPi * 0.001 / 9.0, 1e-9);
  EXPECT_NEAR(plotSpec.ConvertWidth(0.001, kAxisDSpacing, kAxisTimeOfFlight), 0.001 * plotSpec.TOFFactor(), 1e-12);
  // An unknown source counts as a d-spacing width.
  EXPECT_EQ(plotSpec.ConvertWidth(0.002, static_cast<TSAxisType>(0), kAxisDSpacing), 0.002);
}

TEST(PlotSpec, ElectronsUseTheElectronWavelength) {
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  plotSpec.SetSimulationType(kSimulationElectrons);
  EXPECT_EQ(plotSpec.Wavelength(), 0.037014);
  EXPECT_NEAR(plotSpec.DToX(2.0), 2.0 * std::asin(0.037014 / 4.0) * 180.0 / kPi, 1e-12);
  const double dWidth = plotSpec.ConvertWidth(0.1, kAxisTwoTheta, kAxisDSpacing);
  // d = lambda / (2 sin theta): at the small Bragg angles of electrons the same width in 2 theta
  // spans about d delta-theta / tan(theta) of d, some forty times the X-ray width.
  const double linear = 3.0 * (0.1 * kPi / 180.0 / 2.0) / std::tan(std::asin(0.037014 / 6.0));
  EXPECT_NEAR(dWidth, linear, 0.02 * linear);
}

TEST(ElectronWavelength, HundredKilovoltsAndBack) {
  const double lambda = ElectronWavelength(100.0);
  EXPECT_NEAR(lambda, 0.0370, 0.00005);
  EXPECT_NEAR(ElectronVoltage(lambda), 100.0, 1e-6);
  EXPECT_NEAR(ElectronVoltage(ElectronWavelength(300.0)), 300.0, 1e-6);
  EXPECT_NEAR(ElectronWavelength(200.0), 0.02508, 0.00001);  // textbook value
}

TEST(AxisAndRadiationTexts, NamesListsAndRanges) {
  EXPECT_STREQ(AxisChooserName(kAxisTimeOfFlight), "Time-of-flight");
  EXPECT_STREQ(AxisTitle(kAxisTimeOfFlight), "Time-of-Flight");
  EXPECT_STREQ(AxisUnit(kAxisEnergy), "keV");
  EXPECT_STREQ(AxisUnit(kAxisInverseD), "Å⁻¹");
  EXPECT_STREQ(AxisMenuItem(kAxisQ), "Q-space");
  EXPECT_STREQ(AxisMenuItem(kAxisTwoTheta), "2 theta");
  const auto unknown = static_cast<TSAxisType>(7);
  EXPECT_STREQ(AxisTitle(unknown), "");
  EXPECT_STREQ(AxisUnit(unknown), "");
  EXPECT_EQ(DefaultAxisRange(unknown), std::make_pair(0.0, 0.0));
  EXPECT_EQ(DefaultAxisRange(kAxisDSpacing), std::make_pair(0.0, 100.0));
  EXPECT_EQ(DefaultAxisRange(kAxisInverseD), std::make_pair(0.0, 5.0));
  EXPECT_EQ(DefaultAxisRange(kAxisEnergy), std::make_pair(0.0, 180.0));

  std::string chooser;
  for (const CChoice& choice : AxisChoices()) chooser += std::string(choice.name) + "|";
  EXPECT_EQ(chooser, "2θ|d-Spacing|1/d|Time-of-flight|Energy|2π/d|");

  auto values = [](std::span<const CChoice> list) {
    std::vector<uint32_t> v;
    for (const CChoice& choice : list) v.push_back(choice.value);
    return v;
  };
  EXPECT_EQ(values(SimulationChoices(true)), (std::vector<uint32_t>{3, 2, 4, 1}));
  EXPECT_EQ(values(SimulationChoices(false)), (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(values(SimulationMenuItems()), (std::vector<uint32_t>{1, 2, 5, 3, 4}));
  EXPECT_STREQ(SimulationChooserName(kSimulationElectrons), "");
  EXPECT_STREQ(SimulationMenuItem(kSimulationElectrons), "Electrons");
  EXPECT_STREQ(SimulationChooserName(kSimulationEnergyDispersive), "Energy-Dispersive X-rays");
  EXPECT_STREQ(SimulationMenuItem(kSimulationXrays), "X-Rays");
  EXPECT_EQ(values(ProfileChoices()), (std::vector<uint32_t>{1, 3, 2, 4}));
  EXPECT_EQ(values(ProfileMenuItems()), (std::vector<uint32_t>{1, 2, 3, 4}));
  EXPECT_STREQ(ProfileChooserName(kProfilePseudoVoigt), "Pseudo-Voigt");
  EXPECT_STREQ(ProfileChooserName(static_cast<TSProfileType>(0)), "");
}

}  // namespace
