// The document of a command-line run: each input brings its patterns, calculated with the run's
// plot specification whatever a session before it brought, and what simulate writes is what the
// desktop application's document shows.
#include "cli/cli_document.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <sstream>

#include "cli/run_cli.h"
#include "diffraction/reflexion.h"
#include "files/session_file.h"
#include "patterns/crystal_pattern.h"
#include "support/data_files.h"
#include "support/scratch_folder.h"

namespace {

std::string TestFile(const char* name) {
  return TestDataPath(name).string();
}

std::vector<std::string> Titles(const CPatternList& patterns) {
  std::vector<std::string> titles;
  for (const auto& pattern : patterns) titles.push_back(pattern->Title());
  return titles;
}

// The position in degrees 2-theta of the strongest reflexion of a crystal pattern, and where
// Bragg's law puts it for the wavelength.
std::pair<double, double> StrongestPeak(const CTSPattern& pattern, double wavelength) {
  const auto& reflexions = pattern.Crystal()->reflexions;
  const auto strongest =
      std::ranges::max(reflexions, {}, [](const auto& r) { return r->intensity; });
  return {strongest->position,
          2.0 * std::asin(wavelength / (2.0 * strongest->d)) * 180.0 / std::numbers::pi};
}

TEST(CliDocument, EachFileBringsItsPatternsAndASessionLeavesTheRunsPlotSpecification) {
  CScratchFolder folder;
  std::ofstream(folder / "two.cif") << ReadWholeFile(TestDataPath("quartz.cif")) << "\n"
                                    << ReadWholeFile(TestDataPath("halite.cif"));
  constexpr double kMolybdenum = 0.70932, kRun = 1.2;
  {
    CDocumentUi ui;
    CTessDoc saved(ui);
    saved.PlotSpec().SetLambda(kMolybdenum);
    saved.AddFiles({TestFile("silicon.cif")});
    WriteSessionFile(folder / "mo.tessaline", saved.Session());
  }
  CPlotSpec run = CPlotSpec::BuiltIn();
  run.SetLambda(kRun);
  CCliDocument document(run);

  EXPECT_EQ(Titles(document.Add(folder / "two.cif")),
            (std::vector<std::string>{"quartz", "halite"}));
  const CPatternList session = document.Add(folder / "mo.tessaline");
  EXPECT_EQ(Titles(session), std::vector<std::string>{"silicon"});
  EXPECT_EQ(document.Patterns(), session) << "a session replaces what came before";
  const CPatternList rutile = document.Add(TestFile("rutile.cif"));
  ASSERT_EQ(Titles(rutile), std::vector<std::string>{"rutile"});

  // The file after the session is calculated for the run, not for the session's molybdenum.
  const auto [position, expected] = StrongestPeak(*rutile.front(), kRun);
  EXPECT_NEAR(position, expected, 1e-9);
  // The session's own patterns follow the run once recalculated.
  document.RecalculatePlotted();
  const auto [siliconAt, siliconExpected] = StrongestPeak(*session.front(), kRun);
  EXPECT_NEAR(siliconAt, siliconExpected, 1e-9);
}

TEST(CliDocument, QuestionsAreAnsweredContinueAndEveryFilePatternIsSetUp) {
  size_t setUp = 0;
  CCliDocumentUi ui(
      [&](CTSPattern& pattern) {
        ++setUp;
        pattern.SetPlotted(false);  // nothing to calculate
      },
      true);
  CTessDoc document(ui);
  document.AddFiles(std::vector<std::string>(CTessDoc::kManyItems + 1, TestFile("silicon.cif")));
  EXPECT_EQ(document.Patterns().size(), CTessDoc::kManyItems + 1);
  EXPECT_EQ(setUp, CTessDoc::kManyItems + 1);
  for (const auto& pattern : document.Patterns())
    EXPECT_TRUE(pattern->Crystal()->reflexions.empty()) << "an unplotted pattern was calculated";
}

// A run that lists reflexions calculates intensities and leaves the profile alone.
TEST(CliDocument, ARunWithoutProfilesCalculatesIntensitiesOnly) {
  for (const bool profiles : {false, true}) {
    CCliDocument document(CPlotSpec::BuiltIn(), {}, profiles);
    const CPatternList added = document.Add(TestFile("silicon.cif"));
    ASSERT_EQ(added.size(), 1u);
    EXPECT_FALSE(added.front()->Crystal()->reflexions.empty());
    EXPECT_GT(added.front()->Crystal()->reflexions.front()->intensity, 0.0);
    EXPECT_EQ(added.front()->ProfilePoints(true).empty(), !profiles);
  }
}

// The points of a profile file's text.
std::vector<std::pair<double, double>> ProfilePoints(const std::string& text) {
  std::vector<std::pair<double, double>> points;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    double x = 0.0, y = 0.0;
    if (line.find('\t') != std::string::npos && std::sscanf(line.c_str(), "%lf\t%lf", &x, &y) == 2)
      points.emplace_back(x, y);
  }
  return points;
}

TEST(CliDocument, SimulateWritesTheProfileTheDesktopDocumentShows) {
  const CCliResult written = RunCli({"simulate", TestFile("corundum.cif"), "-o", "-", "--radiation",
                                     "neutron", "--points", "2000", "--quiet"});
  ASSERT_EQ(written.status, kExitSuccess) << written.err;
  const auto points = ProfilePoints(written.out);

  CDocumentUi ui;
  CTessDoc desktop(ui);
  desktop.PlotSpec().SetSimulationType(VHTypes::kSimulationNeutrons);
  desktop.PlotSpec().SetProfilePoints(2000);
  desktop.AddFiles({TestFile("corundum.cif")});
  CProfile shown = desktop.Patterns().front()->ProfilePoints(false);
  std::erase_if(shown, [&](const CProfilePoint& p) {
    return p.x < desktop.PlotSpec().XMin() || p.x > desktop.PlotSpec().XMax();
  });
  ASSERT_EQ(points.size(), shown.size());
  for (size_t i = 0; i < shown.size(); ++i) {
    ASSERT_NEAR(points[i].first, shown[i].x, 1e-3) << i;
    // The profile file keeps five significant digits.
    ASSERT_NEAR(points[i].second, shown[i].y, 1e-4 * std::max(1.0, shown[i].y)) << i;
  }
}

}  // namespace
