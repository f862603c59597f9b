#include <gtest/gtest.h>

#include <array>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "diffraction/calculate.h"
#include "diffraction/reflexion.h"
#include "diffraction/test_crystals.h"
#include "errors/exceptions.h"
#include "files/crystal_files.h"
#include "files/listing_files.h"
#include "files/temp_file.h"
#include "patterns/plot_spec.h"
#include "support/data_files.h"
#include "support/recorders.h"

namespace {

const std::string kStars(88, '*');

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// Rock salt without displacement parameters, for neutrons at 1.5405 Å: F = 4 (b_Na + b_Cl) for
// even indices and 4 (b_Na - b_Cl) for odd ones (b_Na = 3.63 fm, b_Cl = 9.577 fm), so every
// column can be worked out by hand: d = a / √N with a = 5.6402 Å; 2θ from λ = 2 d sin θ; the
// neutron Lp = 1 / (sin 2θ sin θ); I = F² λ³ Lp m / a⁶. The strongest reflexion is (0 4 6) at
// 2θ = 160°, I = 22.5619.
class RockSaltListing : public testing::Test {
 protected:
  RockSaltListing() : m_crystal(test_crystals::NaCl()), m_plotSpec(CPlotSpec::BuiltIn()) {
    m_plotSpec.SetSimulationType(VHTypes::kSimulationNeutrons);
    m_crystal.useDisplacementParameters = false;
  }

  std::vector<std::string> Listing(CListingKind kind) {
    EXPECT_TRUE(CalculateReflexions(m_crystal, m_plotSpec));
    return Lines(ListingText(kind, {{"rock salt", m_crystal}}, m_plotSpec));
  }

  CTSCrystal m_crystal;
  CPlotSpec m_plotSpec;
};

TEST_F(RockSaltListing, ReflexionLinesHoldTheValuesWorkedOutByHand) {
  const std::vector<std::string> lines = Listing(CListingKind::kReflexions);
  ASSERT_GT(lines.size(), 12u);
  EXPECT_EQ(lines[5], "rock salt");
  EXPECT_EQ(lines[6], "  h   k   l   d(hkl)    2-Theta     Intensity  I/Imax   m     N        Lp");
  EXPECT_EQ(lines[7], "");
  EXPECT_EQ(lines[8], "  1   1   1   3.25637   27.3644   4.72825e+00   21.0%   8     3     9.198");
  EXPECT_EQ(lines[10], "  0   2   2   1.99411   45.4442   1.38172e+01   61.2%  12     8     3.633");
  EXPECT_EQ(lines[11], "  1   1   3   1.70058   53.8640   4.21604e+00   18.7%  24    11     2.734");
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "  0   4   6   0.78216  159.9812   2.25619e+01  100.0%  24    52     2.966"),
            lines.end());
  EXPECT_EQ(lines.back(), kStars);
  EXPECT_EQ(lines.size(), 5 + 3 + m_crystal.reflexions.size() + 1);
}

TEST_F(RockSaltListing, StructureFactorLinesAreNumberedWithPhasesInDegrees) {
  const std::vector<std::string> lines = Listing(CListingKind::kStructureFactors);
  ASSERT_GT(lines.size(), 12u);
  EXPECT_EQ(lines[6], "ref no.   h   k   l   d(hkl)    Phase       Lp     F(Re)    F(Im)  Intensity");
  EXPECT_EQ(lines[8], "[   1]    1   1   1   3.2564  180.000     9.20   -23.79     0.00  4.72825e+00");
  EXPECT_EQ(lines[10], "[   3]    0   2   2   1.9941    0.000     3.63    52.83     0.00  1.38172e+01");
  EXPECT_EQ(lines[11], "[   4]    1   1   3   1.7006  180.000     2.73   -23.79     0.00  4.21604e+00");
  EXPECT_EQ(lines.back(), kStars);
}

TEST_F(RockSaltListing, TwoThetaDoesNotDependOnThePlotAxis) {
  m_plotSpec.SetAxisType(VHTypes::kAxisDSpacing);
  EXPECT_EQ(Listing(CListingKind::kReflexions)[8],
            "  1   1   1   3.25637   27.3644   4.72825e+00   21.0%   8     3     9.198");
}

TEST(ListingText, BlocksAndSeparators) {
  // No crystal, no listing; a crystal without reflexions still gets its block.
  const CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  EXPECT_EQ(ListingText(CListingKind::kReflexions, {}, plotSpec), "");
  const CTSCrystal empty;
  const std::string text = ListingText(CListingKind::kStructureFactors, {{"one", empty}, {"two", empty}}, plotSpec, "Title");
  const std::vector<std::string> lines = Lines(text);
  ASSERT_EQ(lines.size(), 7u + 2 * 4);
  EXPECT_EQ(lines[1], "Title");
  EXPECT_EQ(lines[7], "one");
  EXPECT_EQ(lines[10], kStars);
  EXPECT_EQ(lines[11], "two");
  EXPECT_EQ(lines[14], kStars);
}

TEST(ListingText, PhasesAreReducedToOneTurn) {
  const double pi = std::acos(-1.0);
  CTSCrystal crystal;
  for (const double phase : {-pi / 2, 2 * pi - 1e-9, 5 * pi / 2}) {
    auto r = std::make_shared<CTSReflexion>();
    r->h = 1, r->d = 2.0, r->phase = phase;
    crystal.reflexions.push_back(r);
  }
  const std::vector<std::string> lines =
      Lines(ListingText(CListingKind::kStructureFactors, {{"phases", crystal}}, CPlotSpec::BuiltIn()));
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[8].substr(29, 8), " 270.000");
  EXPECT_EQ(lines[9].substr(29, 8), "   0.000");  // not 360.000
  EXPECT_EQ(lines[10].substr(29, 8), "  90.000");
}

TEST(ListingFiles, WriteTheirKindThroughTheFileLayer) {
  ASSERT_NE(dynamic_cast<CTSListingFile*>(CTessFile::Create(CTSListingFile::kTypeId).get()), nullptr);
  ASSERT_NE(dynamic_cast<CTSStructFacFile*>(CTessFile::Create(CTSStructFacFile::kTypeId).get()), nullptr);
  CTSCrystal crystal = test_crystals::NaCl();
  const CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  ASSERT_TRUE(CalculateReflexions(crystal, plotSpec));
  const std::vector<CListingBlock> blocks = {{"NaCl", crystal}};
  for (const CListingKind kind : {CListingKind::kReflexions, CListingKind::kStructureFactors}) {
    CTempFile file(".txt");
    WriteListingFile(file.Path(), kind, blocks, plotSpec);
    EXPECT_EQ(file.Contents(), ListingText(kind, blocks, plotSpec));
  }
}

TEST(ListingFiles, ReportStreamFailures) {
  const CTSCrystal crystal;
  CTSListingFile closed;
  EXPECT_THROW(closed.WriteListing({{"x", crystal}}, CPlotSpec::BuiltIn()), CVHXFileNotOpen);
  EXPECT_THROW(WriteListingFile("/no/such/folder/list.txt", CListingKind::kReflexions, {}, CPlotSpec::BuiltIn()),
               CVHXFileNotOpen);
  if (std::filesystem::exists("/dev/full")) {
    EXPECT_THROW(WriteListingFile("/dev/full", CListingKind::kReflexions, {{"x", crystal}}, CPlotSpec::BuiltIn()),
                 CVHXMFC);
  }
}

// The structure-factor loop shares its reflexions among the threads; each writes only its own,
// and its sums run in a fixed order, so the listings come out the same digit for digit.
// The listings of a calculation on 1 and on 2 threads, which must be the same to the digit.
std::array<std::string, 2> ListingsOnOneAndTwoThreads(const CTSCrystal& read, const CPlotSpec& plotSpec) {
  const int threads = omp_get_max_threads();
  std::array<std::string, 2> listings;
  for (int n = 1; n <= 2; ++n) {
    omp_set_num_threads(n);
    CTSCrystal crystal = read;
    EXPECT_TRUE(CalculateReflexions(crystal, plotSpec));
    const std::vector<CListingBlock> blocks = {{"crystal", crystal}};
    listings[n - 1] = ListingText(CListingKind::kReflexions, blocks, plotSpec) +
                      ListingText(CListingKind::kStructureFactors, blocks, plotSpec);
  }
  omp_set_num_threads(threads);
  return listings;
}

TEST(ListingText, DoesNotDependOnTheNumberOfThreads) {
  CRecordingAlertPresenter alerts;
  // Corundum at a short wavelength: enough reflexions for the loop to be shared out.
  CPlotSpec shortWavelength = CPlotSpec::BuiltIn();
  shortWavelength.SetLambda(0.5);
  shortWavelength.SetDMin(0.25);
  const auto corundum = ListingsOnOneAndTwoThreads(ReadCrystalFile(TestDataPath("corundum.cif").string()).crystal,
                                                   shortWavelength);
  EXPECT_GT(corundum[0].size(), 100000u);
  EXPECT_TRUE(corundum[0] == corundum[1]);

  SKIP_WITHOUT_SHARED_DATA();
  // Ca3Al2O6: 264 atoms in the cell with anisotropic displacement, 1820 reflexions.
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  plotSpec.SetRestrictMaxNumRefs(false);
  const auto listings =
      ListingsOnOneAndTwoThreads(ReadCrystalFile((SharedDataPath() / "cif" / "1000039.cif").string()).crystal, plotSpec);
  EXPECT_GT(listings[0].size(), 200000u);
  EXPECT_TRUE(listings[0] == listings[1]);
}

}  // namespace
