// A sweep over a corpus of real CIFs, some damaged on purpose (shared data, read in place):
// every file either reads into a crystal that can exist and calculates without a NaN, or is
// refused with its alert. Nothing crashes or hangs (the test's time limit would catch a hang).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>
#include <string>

#include "crystal/crystal.h"
#include "crystal/spacegroups.h"
#include "diffraction/calculate.h"
#include "diffraction/reflexion.h"
#include "errors/exceptions.h"
#include "files/crystal_files.h"
#include "patterns/plot_spec.h"
#include "support/data_files.h"
#include "support/recorders.h"

namespace {

// The files that give no cell, or no site with numeric coordinates; every other file reads.
const std::set<std::string> kRefused = {
    "1001012-no-cell.cif",               // no cell lengths
    "1010800-no-spcgrp-info.cif",        // coordinates '?'
    "2000127-unknown-coordinates.cif",   // coordinates '?'
    "2100852-no-fract-coordinates.cif",  // no fractional coordinates
    "6000001-without-cordinates.cif",    // coordinates '?'
    "6000106-with-cod-text.cif",         // coordinates '?'
    "8000008_invalid_loop_related.cif",  // no y coordinates
};

// The number of general positions: operators times centring translations.
size_t GroupOrder(const CTSCrystal& crystal) {
  const bool rhombohedralAxes = crystal.latticeLetter == 'R' && HasEqualAngles(crystal);
  return crystal.symmetryOperators.size() *
         CentringTranslations(rhombohedralAxes ? 'P' : crystal.latticeLetter).size();
}

void ExpectSoundCrystal(const CTSCrystal& crystal) {
  EXPECT_TRUE(IsPossibleCell(crystal));
  ASSERT_FALSE(crystal.sites.empty());
  const size_t order = GroupOrder(crystal);
  for (const CTSSite& site : crystal.sites) {
    EXPECT_EQ(order % site.Multiplicity(), 0u)
        << site.label << ": " << site.Multiplicity() << " of " << order;
    for (const VHTypes::CVector& p : site.positions)
      EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) << site.label;
  }
  CTSCrystal calculated = crystal;
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  plotSpec.SetMaxNumRefs(2000);
  if (!CalculateReflexions(calculated, plotSpec)) return;  // nothing in range is no fault
  for (const auto& r : calculated.reflexions)
    ASSERT_TRUE(std::isfinite(r->relativeIntensity)) << r->h << r->k << r->l;
}

TEST(CifCorpus, EveryFileReadsOrIsRefusedWithItsAlert) {
  SKIP_WITHOUT_SHARED_DATA();
  const std::filesystem::path folder = SharedDataPath() / "corpus";
  if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no corpus at " << folder;
  CRecordingAlertPresenter alerts;  // reading alerts (symmetry conflicts, unmatched atoms) go on
  CRecordingStatusLog log;
  int read = 0, refused = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".cif") continue;
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    try {
      const CCrystalFile file = ReadCrystalFile(entry.path().string());
      ++read;
      EXPECT_FALSE(kRefused.count(name)) << "read, though it gives no cell or no coordinates";
      ExpectSoundCrystal(file.crystal);
    } catch (const CVHException& e) {
      ++refused;
      EXPECT_TRUE(kRefused.count(name)) << "refused: " << e.Message() << " " << e.Explanation();
      EXPECT_FALSE(e.Message().empty());
    }
  }
  EXPECT_EQ(read + refused, 155);
  EXPECT_EQ(refused, static_cast<int>(kRefused.size()));
}

}  // namespace
