#include "cli/calculation_options.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

CCalculationSettings Settings(std::vector<std::string> arguments) {
  return CalculationSettingsFrom(CArguments(arguments, CalculationOptionSpecs()));
}

TEST(CalculationOptions, DefaultsAreTheBuiltInPlotSpecification) {
  const CCalculationSettings settings = Settings({});
  EXPECT_EQ(settings.plotSpec, CPlotSpec::BuiltIn());
  EXPECT_TRUE(settings.sample.useDisplacementParameters);
  EXPECT_FALSE(settings.sample.usePreferredOrientation);
}

TEST(CalculationOptions, RadiationWavelengthAndAxis) {
  const CPlotSpec neutrons = Settings({"--radiation", "neutron", "--wavelength", "1.2", "--dmin", "1.0"}).plotSpec;
  EXPECT_EQ(neutrons.SimulationType(), VHTypes::kSimulationNeutrons);
  EXPECT_EQ(neutrons.Lambda(), 1.2);
  EXPECT_EQ(neutrons.DMin(), 1.0);
  EXPECT_EQ(neutrons.AxisType(), VHTypes::kAxisTwoTheta);

  const CPlotSpec tof = Settings({"--radiation", "tof", "--tof-theta", "0.5", "--tof-distance", "10"}).plotSpec;
  EXPECT_EQ(tof.AxisType(), VHTypes::kAxisTimeOfFlight);
  EXPECT_EQ(tof.XMax(), 500.0);
  EXPECT_NEAR(tof.TOFFactor(), 2 * 10 * 0.2527776062488556 * std::sin(0.5), 1e-15);
  EXPECT_EQ(Settings({"--radiation", "edx"}).plotSpec.AxisType(), VHTypes::kAxisEnergy);
  EXPECT_EQ(Settings({"--radiation", "edx", "--axis", "d"}).plotSpec.AxisType(), VHTypes::kAxisDSpacing);

  const CPlotSpec electrons = Settings({"--radiation", "electron", "--voltage", "100"}).plotSpec;
  EXPECT_NEAR(electrons.LambdaTEM(), 0.0370, 5e-5);
  EXPECT_EQ(electrons.AxisType(), VHTypes::kAxisInverseD);
  EXPECT_EQ(electrons.Lambda(), CPlotSpec::BuiltIn().Lambda());
  EXPECT_EQ(Settings({"--radiation", "electron", "--wavelength", "0.025"}).plotSpec.LambdaTEM(), 0.025);
}

TEST(CalculationOptions, ReflexionCapAndSample) {
  EXPECT_FALSE(Settings({"--max-reflexions", "0"}).plotSpec.RestrictMaxNumRefs());
  EXPECT_EQ(Settings({"--max-reflexions", "500"}).plotSpec.MaxNumRefs(), 500);
  const CSampleSettings sample =
      Settings({"--no-adp", "--po", "needles", "--po-vector", "1,1,0", "--po-type", "lattice", "--po-alignment", "0.5"})
          .sample;
  EXPECT_FALSE(sample.useDisplacementParameters);
  EXPECT_TRUE(sample.usePreferredOrientation);
  EXPECT_EQ(sample.geometry, CTSCrystal::kNeedles);
  EXPECT_EQ(sample.vectorType, CTSCrystal::kLatticeVector);
  EXPECT_EQ(sample.vector, (VHTypes::CVector{1, 1, 0}));
  CTSCrystal crystal;
  sample.ApplyTo(crystal);
  EXPECT_EQ(crystal.preferredOrientationAlignment, 0.5);
  EXPECT_FALSE(crystal.useDisplacementParameters);
}

TEST(CalculationOptions, BadValuesAreUsageErrors) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"--radiation", "gamma"}, {"--wavelength", "-1"}, {"--wavelength", "1.5x"}, {"--axis", "q"},
           {"--voltage", "100"}, {"--radiation", "electron", "--voltage", "0"}, {"--max-reflexions", "-3"},
           {"--po-alignment", "0.5"}, {"--po", "plates", "--po-alignment", "2"}, {"--po", "plates", "--po-vector", "1,0"},
           {"--edx-theta", "0"}, {"--tof-distance", "-5"}, {"--dmin"}}) {
    EXPECT_THROW(Settings(arguments), CUsageError) << arguments.front();
  }
}

// Options that contradict the radiation are refused, naming both, rather than giving a pattern
// on an axis that means nothing for it.
TEST(CalculationOptions, OptionsThatDoNotFitTheRadiationAreUsageErrors) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"--axis", "tof"}, "--axis tof does not fit --radiation xray"},
      {{"--radiation", "neutron", "--axis", "energy"},
       "--axis energy does not fit --radiation neutron"},
      {{"--radiation", "edx", "--axis", "2theta"}, "--axis 2theta does not fit --radiation edx"},
      {{"--radiation", "tof", "--axis", "energy"}, "--axis energy does not fit --radiation tof"},
      {{"--radiation", "edx", "--wavelength", "1.5"},
       "--wavelength does not apply to energy-dispersive X-rays"},
      {{"--radiation", "tof", "--wavelength", "1"},
       "--wavelength does not apply to time-of-flight neutrons"},
      {{"--po", "plates", "--po-vector", "0,0,0"}, "--po-vector 0,0,0 has no direction"},
      {{"--radiation", "neutron", "--anode", "Cu"}, "--anode is for X-rays"},
      {{"--anode", "Cu", "--wavelength", "1.5"}, "give --anode or --wavelength, not both"}};
  for (const auto& [arguments, message] : cases) {
    try {
      Settings(arguments);
      ADD_FAILURE() << message;
    } catch (const CUsageError& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(Settings({"--radiation", "tof", "--axis", "d"}).plotSpec.AxisType(),
            VHTypes::kAxisDSpacing);
}

TEST(CalculationOptions, AnodesAndValuesInAnyCase) {
  const CPlotSpec molybdenum = Settings({"--anode", "mo"}).plotSpec;
  EXPECT_EQ(molybdenum.Lambda(), 0.709300);
  EXPECT_EQ(molybdenum.Lambda2(), 0.713590);
  EXPECT_EQ(molybdenum.LambdaRatio(), 2.0);
  EXPECT_EQ(Settings({"--anode", "CO"}).plotSpec.Lambda(), 1.788965);
  EXPECT_EQ(Settings({"--radiation", "Neutron"}).plotSpec.SimulationType(),
            VHTypes::kSimulationNeutrons);
  EXPECT_EQ(Settings({"--radiation", "TOF", "--axis", "D"}).plotSpec.AxisType(),
            VHTypes::kAxisDSpacing);
  EXPECT_THROW(Settings({"--anode", "W"}), CUsageError);
}

}  // namespace
