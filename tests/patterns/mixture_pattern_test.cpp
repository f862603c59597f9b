#include "patterns/mixture_pattern.h"

#include <gtest/gtest.h>

#include "errors/exceptions.h"
#include "files/crystal_files.h"
#include "patterns/crystal_pattern.h"
#include "patterns/observed_pattern.h"
#include "patterns/plot_spec.h"
#include "patterns/transfer_image.h"
#include "support/data_files.h"

namespace {

using namespace VHTypes;

std::shared_ptr<CTSCrystalPattern> Crystal(const char* file) {
  auto pattern = std::make_shared<CTSCrystalPattern>(CTSPattern::BuiltInDefaults{});
  *pattern->Crystal() = ReadCrystalFile(TestDataPath(file).string()).crystal;
  pattern->SetTitle(file);
  return pattern;
}

std::shared_ptr<CTSObservedPattern> Observed(double x0, double x1) {
  auto pattern = std::make_shared<CTSObservedPattern>(CTSPattern::BuiltInDefaults{});
  CProfile points;
  for (double x = x0; x <= x1; x += 0.5) points.push_back({x, 10.0 + x});
  pattern->SetData(points);
  return pattern;
}

// A mixture of `n` empty crystal patterns with the given fractions.
std::shared_ptr<CTSMixturePattern> MixtureOf(std::initializer_list<double> fractions) {
  auto mixture = std::make_shared<CTSMixturePattern>(CTSPattern::BuiltInDefaults{});
  for (const double fraction : fractions) {
    auto component = std::make_shared<CTSCrystalPattern>(CTSPattern::BuiltInDefaults{});
    component->SetMixtureFraction(fraction);
    mixture->Components()->push_back(component);
  }
  return mixture;
}

std::vector<double> Fractions(const CTSMixturePattern& mixture) {
  std::vector<double> fractions;
  for (const auto& component : *mixture.Components())
    fractions.push_back(component->MixtureFraction());
  return fractions;
}

void Change(CTSMixturePattern& mixture, size_t index, double fraction) {
  CTSPattern& component = *(*mixture.Components())[index];
  component.SetMixtureFraction(fraction);
  mixture.RebalanceAfterChange(component);
}

void ExpectFractions(const CTSMixturePattern& mixture, std::initializer_list<double> expected) {
  const std::vector<double> fractions = Fractions(mixture);
  ASSERT_EQ(fractions.size(), expected.size());
  size_t i = 0;
  for (const double value : expected) EXPECT_NEAR(fractions[i++], value, 1e-12) << i - 1;
}

TEST(MixtureRebalance, ExcessComesFromTheSmallestFractionsUp) {
  const auto mixture = MixtureOf({0.5, 0.3, 0.2});
  Change(*mixture, 2, 0.6);
  ExpectFractions(*mixture, {0.3, 0.1, 0.6});
  EXPECT_NEAR(mixture->SumOfFractions(), 1.0, 1e-12);
}

TEST(MixtureRebalance, TwoComponentsNeverGoBelowZero) {
  const auto mixture = MixtureOf({0.7, 0.3});
  Change(*mixture, 1, 0.9);
  ExpectFractions(*mixture, {0.1, 0.9});
  Change(*mixture, 1, 1.5);
  ExpectFractions(*mixture, {0.0, 1.5});
}

TEST(MixtureRebalance, ShortfallIsSpreadWhenFillingUp) {
  const auto mixture = MixtureOf({0.5, 0.3, 0.2});
  Change(*mixture, 0, 0.1);
  ExpectFractions(*mixture, {0.1, 0.5, 0.4});
  mixture->SetFillUp(false);
  Change(*mixture, 0, 0.05);
  ExpectFractions(*mixture, {0.05, 0.5, 0.4});
  // A single component has nothing to balance against.
  const auto single = MixtureOf({0.4});
  Change(*single, 0, 0.2);
  ExpectFractions(*single, {0.2});
}

TEST(MixtureComponents, RemovalEqualisesAndObservedComponentsKeepTheirScale) {
  const auto mixture = MixtureOf({0.5, 0.3, 0.2});
  const auto removed = (*mixture->Components())[1];
  EXPECT_TRUE(mixture->RemoveComponent(removed));
  ExpectFractions(*mixture, {0.5, 0.5});
  EXPECT_FALSE(mixture->RemoveComponent(removed));
  ExpectFractions(*mixture, {0.5, 0.5});

  const auto observed = Observed(10.0, 20.0);
  ASSERT_TRUE(observed->AutoYScale());
  mixture->Components()->push_back(observed);
  mixture->EqualiseFractions();
  EXPECT_NEAR(observed->MixtureFraction(), 1.0 / 3.0, 1e-15);
  EXPECT_FALSE(observed->AutoYScale());
  EXPECT_TRUE(observed->Display().displayFlag);
}

TEST(MixtureComponents, CrystalsRangesAndDataAreFoundAtAnyDepth) {
  auto outer = std::make_shared<CTSMixturePattern>(CTSPattern::BuiltInDefaults{});
  EXPECT_FALSE(outer->ContainsCrystal());
  EXPECT_TRUE(outer->HasReflexionsOrData());
  EXPECT_EQ(outer->NaturalXMin(kAxisTwoTheta), 999.9);
  EXPECT_EQ(outer->NaturalXMax(kAxisTwoTheta), 0.0);
  auto inner = std::make_shared<CTSMixturePattern>(CTSPattern::BuiltInDefaults{});
  inner->Components()->push_back(Observed(12.0, 30.0));
  outer->Components()->push_back(inner);
  outer->Components()->push_back(Observed(5.0, 20.0));
  EXPECT_FALSE(outer->ContainsCrystal());
  EXPECT_EQ(outer->NaturalXMin(kAxisTwoTheta), 5.0);
  EXPECT_EQ(outer->NaturalXMax(kAxisTwoTheta), 30.0);
  inner->Components()->push_back(
      std::make_shared<CTSCrystalPattern>(CTSPattern::BuiltInDefaults{}));
  EXPECT_TRUE(outer->ContainsCrystal());
  EXPECT_FALSE(outer->HasReflexionsOrData());  // the crystal is not calculated
}

// The mixture's curve is the weighted sum of its components' curves, each computed alone.
TEST(MixtureProfile, EqualsTheWeightedSumOfTheComponents) {
  CPlotSpec plot = CPlotSpec::BuiltIn();
  plot.SetXRange(10.0, 80.0);
  plot.SetProfilePoints(7000);
  const auto quartz = Crystal("quartz.cif"), silicon = Crystal("silicon.cif");
  const auto scan = Observed(10.0, 80.0);
  auto mixture = NewMixture({quartz, silicon, scan}, {quartz, silicon, scan});
  quartz->SetMixtureFraction(0.6);
  quartz->SetYScale(2.0);
  quartz->SetYOffset(1000.0);  // not applied inside a mixture
  silicon->SetMixtureFraction(0.3);
  scan->SetMixtureFraction(0.1);
  mixture->Recalculate(plot);

  const CProfile& mixed = mixture->GetProfile(plot);
  ASSERT_EQ(mixed.size(), 7000u);
  const CProfile &q = quartz->GetProfile(plot), &s = silicon->GetProfile(plot),
                 &o = scan->GetProfile(plot);
  for (size_t i = 0; i < mixed.size(); ++i) {
    const double expected = 0.6 * 2.0 * q[i].y + 0.3 * s[i].y + 0.1 * o[i].y;
    ASSERT_NEAR(mixed[i].y, expected, 1e-9 * std::max(1.0, std::abs(expected))) << i;
    EXPECT_EQ(mixed[i].x, q[i].x);
  }
}

TEST(MixtureProfile, OffsetsMoveByWholeStepsAndEmptyComponentsAreSkipped) {
  CPlotSpec plot = CPlotSpec::BuiltIn();
  plot.SetXRange(10.0, 20.0);
  plot.SetProfilePoints(100);  // steps of 0.1
  const auto scan = Observed(10.0, 20.0);
  const auto nothing = std::make_shared<CTSCrystalPattern>(CTSPattern::BuiltInDefaults{});
  auto mixture = std::make_shared<CTSMixturePattern>(CTSPattern::BuiltInDefaults{});
  *mixture->Components() = {scan, nothing};
  scan->SetXOffset(0.25);  // 2.5 steps: 2 points to the right
  mixture->Recalculate(plot);
  const CProfile& mixed = mixture->GetProfile(plot);
  const CProfile& alone = scan->GetProfile(plot);
  EXPECT_EQ(mixed[0].y, 0.0);
  EXPECT_EQ(mixed[1].y, 0.0);
  for (size_t i = 2; i < mixed.size(); ++i) EXPECT_EQ(mixed[i].y, alone[i - 2].y) << i;
}

TEST(MixtureCreation, RefusesMixturesOfMixturesAndNestedMixtures) {
  const auto a = Crystal("quartz.cif"), b = Crystal("silicon.cif"), c = Crystal("halite.cif");
  const auto first = NewMixture({a, b}, {a, b});
  ExpectFractions(*first, {0.5, 0.5});
  const CPatternList session = {first, c};
  try {
    NewMixture({first, c}, session);
    FAIL();
  } catch (const CVHXStructuresInvalidMixture& e) {
    EXPECT_EQ(e.ResourceId(), 23634u);
  }
  try {
    NewMixture({a, c}, session);  // a already mixes into the first
    FAIL();
  } catch (const CVHXStructuresNestedMixture& e) {
    EXPECT_EQ(e.ResourceId(), 23636u);
  }
}

TEST(MixtureTransfer, ImageCarriesTheComponentsAndEveryField) {
  CPlotSpec plot = CPlotSpec::BuiltIn();
  plot.SetProfilePoints(2000);
  const auto quartz = Crystal("quartz.cif");
  const auto scan = Observed(10.0, 40.0);
  auto mixture = NewMixture({quartz, scan}, {});
  mixture->SetFillUp(false);
  mixture->SetSpareFlag(true);
  mixture->SetTitle("Quartz in a scan");
  mixture->Recalculate(plot);
  mixture->GetProfile(plot);

  const auto copy = CTSPattern::NewPatternFromTransferImage(CTSPattern::TransferImage(*mixture));
  ASSERT_EQ(copy->GetKind(), CTSPattern::kMixture);
  const auto& read = static_cast<const CTSMixturePattern&>(*copy);
  EXPECT_EQ(read.Title(), "Quartz in a scan");
  EXPECT_FALSE(read.FillUp());
  EXPECT_TRUE(read.SpareFlag());
  EXPECT_TRUE(read.MixtureFlag());
  ASSERT_EQ(read.Components()->size(), 2u);
  EXPECT_EQ((*read.Components())[0]->GetKind(), CTSPattern::kCrystal);
  ASSERT_EQ((*read.Components())[1]->GetKind(), CTSPattern::kObserved);
  EXPECT_EQ(static_cast<const CTSObservedPattern&>(*(*read.Components())[1]).RawPoints(),
            scan->RawPoints());
  EXPECT_EQ(read.ProfilePoints(false), mixture->ProfilePoints(false));
  // A clone mixes components of its own.
  const auto clone = mixture->Clone();
  EXPECT_NE((*clone->Components())[0].get(), quartz.get());
  EXPECT_EQ((*clone->Components())[0]->Title(), quartz->Title());
}

}  // namespace
