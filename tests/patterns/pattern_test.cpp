#include "patterns/pattern.h"

#include <gtest/gtest.h>

#include <cstring>

#include "diffraction/reflexion.h"
#include "errors/exceptions.h"
#include "files/crystal_files.h"
#include "patterns/crystal_pattern.h"
#include "patterns/plot_spec.h"
#include "patterns/transfer_image.h"
#include "support/data_files.h"

namespace {

using namespace VHTypes;

std::shared_ptr<CTSCrystalPattern> NewCrystalPattern(const std::string& title = "New Crystal") {
  auto pattern = std::make_shared<CTSCrystalPattern>(CTSPattern::BuiltInDefaults{});
  pattern->SetTitle(title);
  return pattern;
}

// Quartz from the test structures, calculated with the built-in plot specification.
std::shared_ptr<CTSCrystalPattern> CalculatedQuartz(const CPlotSpec& plot) {
  auto pattern = NewCrystalPattern("Quartz");
  *pattern->Crystal() = ReadCrystalFile(TestDataPath("quartz.cif").string()).crystal;
  pattern->Recalculate(plot);
  return pattern;
}

TEST(CrystalPattern, BuiltInDefaults) {
  const CTSCrystalPattern fresh{CTSPattern::BuiltInDefaults{}};
  EXPECT_EQ(fresh.Title(), "New Crystal");
  EXPECT_EQ(fresh.Style().colour, 0x00FFFFFFu);
  EXPECT_EQ(fresh.Style().lineStyle, 1u);
  EXPECT_EQ(fresh.Style().lineWidth, 1.0f);
  EXPECT_EQ(fresh.Style().markerSize, 4.0f);
  EXPECT_EQ(fresh.Labels().alignment, 3u);
  EXPECT_EQ(fresh.Labels().threshold, 10.0);
  EXPECT_TRUE(fresh.Labels().hkl);
  EXPECT_EQ(fresh.Display().displayValue, 0.1f);
  EXPECT_EQ(fresh.MixtureFraction(), 1.0);
  EXPECT_EQ(fresh.YScale(), 1.0);
  EXPECT_EQ(fresh.Overlay().lineStyle, 2u);
  EXPECT_EQ(fresh.Overlay().lineWidth, 0.5f);
  EXPECT_EQ(fresh.GetKind(), CTSPattern::kCrystal);
  EXPECT_TRUE(fresh.ContainsCrystal());
  EXPECT_EQ(fresh.Components(), nullptr);
  EXPECT_FALSE(fresh.MixtureFlag());
  EXPECT_EQ(fresh.NaturalXMin(kAxisTwoTheta), 0.0);
  EXPECT_EQ(fresh.NaturalXMax(kAxisTwoTheta), 180.0);
  EXPECT_EQ(fresh.NaturalXMax(kAxisTimeOfFlight), 500.0);
}

TEST(CrystalPattern, SixteenthAutomaticColourEqualsTheFirst) {
  CPlotSpec plot = CPlotSpec::BuiltIn();
  plot.SetDMin(5.0);  // a cheap calculation
  std::vector<std::shared_ptr<CTSCrystalPattern>> patterns;
  for (int i = 0; i < 16; ++i) {
    patterns.push_back(NewCrystalPattern());
    patterns.back()->Recalculate(plot);
  }
  EXPECT_EQ(patterns[15]->Style().colour, patterns[0]->Style().colour);
  EXPECT_NE(patterns[1]->Style().colour, patterns[0]->Style().colour);
  // A pattern with a colour keeps it and does not move the index on.
  auto coloured = NewCrystalPattern();
  coloured->Style().colour = 0xFF123456;
  coloured->Recalculate(plot);
  EXPECT_EQ(coloured->Style().colour, 0xFF123456u);
  auto next = NewCrystalPattern();
  next->Recalculate(plot);
  EXPECT_EQ(next->Style().colour, patterns[1]->Style().colour);
  EXPECT_EQ(CTSPattern::AutomaticColours().size(), 15u);
}

TEST(CrystalPattern, DisplayNameCarriesTheFractionBelowOne) {
  auto pattern = NewCrystalPattern("Quartz");
  EXPECT_EQ(pattern->DisplayName(), "Quartz");
  pattern->SetMixtureFraction(0.25);
  EXPECT_EQ(pattern->DisplayName(), "0.25  Quartz");
}

TEST(CrystalPattern, ProfileIsCachedUntilCleared) {
  const CPlotSpec plot = CPlotSpec::BuiltIn();
  auto pattern = CalculatedQuartz(plot);
  EXPECT_TRUE(pattern->HasReflexionsOrData());
  EXPECT_TRUE(pattern->ProfilePoints(false).empty());
  const CProfile first = pattern->GetProfile(plot);
  ASSERT_EQ(first.size(), 72000u);
  // A second request computes nothing: a change to the reflexions does not show until the
  // profile is cleared.
  for (const auto& reflexion : pattern->Crystal()->reflexions) reflexion->intensity *= 2;
  EXPECT_EQ(pattern->GetProfile(plot), first);
  pattern->ClearProfile();
  const CProfile second = pattern->GetProfile(plot);
  EXPECT_NEAR(second[10655].y, 2 * first[10655].y, 1e-9 * first[10655].y);  // at 26.64 degrees

  pattern->SetNeedsCalculation(true);
  EXPECT_FALSE(pattern->HasReflexionsOrData());
}

TEST(CrystalPattern, NoReflexionsGiveAnEmptyProfile) {
  CPlotSpec plot = CPlotSpec::BuiltIn();
  auto pattern = NewCrystalPattern();  // no sites: every intensity is zero
  plot.SetDMin(4.0);
  pattern->Recalculate(plot);
  EXPECT_FALSE(pattern->HasReflexionsOrData());
  EXPECT_TRUE(pattern->GetProfile(plot).empty());
}

TEST(CrystalPattern, PlottedValuesAndTheirExtremes) {
  auto pattern = NewCrystalPattern();
  pattern->ProfilePoints(false) = {{1.0, 2.0}, {2.0, 8.0}, {3.0, -1.0}, {4.0, 4.0}};
  pattern->SetXOffset(0.5);
  pattern->SetYOffset(1.0);
  pattern->SetYScale(2.0);
  pattern->SetMixtureFraction(0.5);
  EXPECT_EQ(pattern->PlottedPoint({2.0, 8.0}), (CProfilePoint{2.5, 9.0}));
  EXPECT_EQ(pattern->LargestPlottedIntensity(0.0, 0.0), 9.0);
  EXPECT_EQ(pattern->SmallestPlottedIntensity(0.0, 0.0), 0.0);
  EXPECT_EQ(pattern->LargestPlottedIntensity(3.5, 4.5), 5.0);  // shifted x 3.5 and 4.5, both ends in
  EXPECT_EQ(pattern->SmallestPlottedIntensity(3.5, 4.5), 0.0);
  EXPECT_EQ(pattern->LargestPlottedIntensity(10.0, 20.0), 0.0);
}

TEST(CrystalPattern, LabelsAboveTheThresholdInTheShiftedRange) {
  auto pattern = NewCrystalPattern();
  for (const auto& [position, relative] : {std::pair{10.0, 0.5}, {20.0, 0.05}, {30.0, 1.0}, {40.0, 0.2}}) {
    auto reflexion = std::make_shared<CTSReflexion>();
    reflexion->position = position;
    reflexion->relativeIntensity = relative;
    pattern->Crystal()->reflexions.push_back(reflexion);
  }
  CReflexionList labels = {std::make_shared<CTSReflexion>()};
  pattern->LabelsInRange(0.0, 100.0, labels);
  EXPECT_TRUE(labels.empty());  // labels are off
  pattern->Labels().show = true;
  pattern->SetXOffset(5.0);
  pattern->LabelsInRange(15.0, 35.0, labels);  // reflexions from 10 to 30
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(labels[0]->position, 10.0);
  EXPECT_EQ(labels[1]->position, 30.0);
}

TEST(PatternSorting, NaturalComparison) {
  EXPECT_LT(NaturalCompare("Phase 2", "Phase 10"), 0);
  EXPECT_GT(NaturalCompare("Phase 10", "Phase 2"), 0);
  EXPECT_EQ(NaturalCompare("quartz", "QUARTZ"), 0);
  EXPECT_LT(NaturalCompare("alpha", "Beta"), 0);
  EXPECT_EQ(NaturalCompare("x007", "x7"), 0);
  EXPECT_LT(NaturalCompare("Phase", "Phase 1"), 0);
  EXPECT_LT(NaturalCompare("a9b", "a10a"), 0);
}

TEST(PatternSorting, StableOrdersRecursingIntoComponents) {
  CPatternList list;
  for (const char* title : {"Phase 10", "phase 2", "Phase 1"}) list.push_back(NewCrystalPattern(title));
  SortPatterns(list, TSPatternOrder::kTitle);
  EXPECT_EQ(list[0]->Title(), "Phase 1");
  EXPECT_EQ(list[1]->Title(), "phase 2");
  EXPECT_EQ(list[2]->Title(), "Phase 10");

  list[2]->SetPlotted(true);
  list[0]->SetPlotted(true);
  SortPatterns(list, TSPatternOrder::kVisibility);
  EXPECT_EQ(list[0]->Title(), "Phase 1");  // plotted first, stable among equals
  EXPECT_EQ(list[1]->Title(), "Phase 10");
  EXPECT_EQ(list[2]->Title(), "phase 2");

  list[0]->SetMixtureFraction(0.7);
  list[1]->SetMixtureFraction(0.2);
  SortPatterns(list, TSPatternOrder::kMixtureFraction);
  EXPECT_EQ(list[0]->Title(), "Phase 10");
  EXPECT_EQ(list[1]->Title(), "Phase 1");
}

TEST(TransferImage, CalculatedCrystalPatternRoundTrips) {
  const CPlotSpec plot = CPlotSpec::BuiltIn();
  auto original = CalculatedQuartz(plot);
  original->GetProfile(plot);
  original->SetPath("/data/quartz.cif");
  original->SetXOffset(0.25);
  original->SetMixtureFraction(0.5);
  original->SetSelected(true);
  original->SetNeedsCalculation(true);
  original->Labels().show = true;
  original->Display().plotState[5] = 0x123456789;
  original->Overlay().show = true;
  CTSCrystal& crystal = *original->Crystal();
  crystal.particleSize = 750.0;
  crystal.sites[1].displacement = std::make_unique<CTSAnisoThermalEllipsoid>(
      CTSAnisoThermalEllipsoid::Uij{0.01, 0.02, 0.03, 0.001, 0.002, 0.003}, crystal.aStar, crystal.bStar, crystal.cStar);

  const std::vector<std::byte> image = CTSPattern::TransferImage(*original);
  EXPECT_EQ(image.size(), original->TransferSize());
  const auto copy = std::dynamic_pointer_cast<CTSCrystalPattern>(CTSPattern::NewPatternFromTransferImage(image));
  ASSERT_NE(copy, nullptr);

  EXPECT_EQ(copy->Path(), original->Path());
  EXPECT_EQ(copy->Title(), "Quartz");
  EXPECT_EQ(copy->Style(), original->Style());
  EXPECT_EQ(copy->Labels(), original->Labels());
  EXPECT_EQ(copy->Display(), original->Display());
  EXPECT_EQ(copy->Overlay(), original->Overlay());
  EXPECT_TRUE(copy->Selected());
  EXPECT_TRUE(copy->NeedsCalculation());
  EXPECT_EQ(copy->XOffset(), 0.25);
  EXPECT_EQ(copy->MixtureFraction(), 0.5);
  EXPECT_EQ(copy->ProfilePoints(true), original->ProfilePoints(true));

  const CTSCrystal& read = *copy->Crystal();
  EXPECT_EQ(read.spaceGroupSymbol, crystal.spaceGroupSymbol);
  EXPECT_EQ(read.reciprocalMetric, crystal.reciprocalMetric);
  EXPECT_EQ(read.particleSize, 750.0);
  ASSERT_EQ(read.symmetryOperators.size(), crystal.symmetryOperators.size());
  for (size_t i = 0; i < read.symmetryOperators.size(); ++i) {
    EXPECT_EQ(read.symmetryOperators[i].Rotation(), crystal.symmetryOperators[i].Rotation());
    EXPECT_EQ(read.symmetryOperators[i].Translation(), crystal.symmetryOperators[i].Translation());
    EXPECT_EQ(read.symmetryOperators[i].Text(), crystal.symmetryOperators[i].Text());
  }
  ASSERT_EQ(read.sites.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(read.sites[i].positions, crystal.sites[i].positions);
    EXPECT_EQ(read.sites[i].label, crystal.sites[i].label);
    EXPECT_EQ(read.sites[i].atoms[0].scattering, crystal.sites[i].atoms[0].scattering);
    EXPECT_EQ(read.sites[i].displacement->U(), crystal.sites[i].displacement->U());
  }
  const auto* anisotropic = dynamic_cast<const CTSAnisoThermalEllipsoid*>(read.sites[1].displacement.get());
  ASSERT_NE(anisotropic, nullptr);
  EXPECT_EQ(anisotropic->Beta(),
            dynamic_cast<const CTSAnisoThermalEllipsoid&>(*crystal.sites[1].displacement).Beta());
  EXPECT_FALSE(read.sites[0].displacement->IsAnisotropic());
  ASSERT_EQ(read.reflexions.size(), crystal.reflexions.size());
  for (size_t i = 0; i < read.reflexions.size(); ++i)
    EXPECT_EQ(std::memcmp(read.reflexions[i].get(), crystal.reflexions[i].get(), sizeof(CTSReflexion)), 0) << i;
  // The copy owns its reflexions.
  EXPECT_NE(read.reflexions[0], crystal.reflexions[0]);

  // A cut image is refused rather than read past its end.
  EXPECT_THROW(CTSPattern::NewPatternFromTransferImage(std::span(image).first(image.size() / 2)), CVHXFileEOF);
}

TEST(TransferImage, CloneCopiesBothCachedStages) {
  const CPlotSpec plot = CPlotSpec::BuiltIn();
  auto original = CalculatedQuartz(plot);
  original->GetProfile(plot);
  const auto clone = original->Clone();
  EXPECT_EQ(clone->ProfilePoints(false), original->ProfilePoints(false));
  EXPECT_EQ(clone->Crystal()->reflexions.size(), original->Crystal()->reflexions.size());
  EXPECT_NE(clone->Crystal(), original->Crystal());
  // The clone's reflexions are its own: its next profile may place them differently.
  EXPECT_NE(clone->Crystal()->reflexions[0], original->Crystal()->reflexions[0]);
  EXPECT_EQ(clone->Crystal()->reflexions[0]->d, original->Crystal()->reflexions[0]->d);
}

}  // namespace
