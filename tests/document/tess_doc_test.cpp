// The document: files added and merged (a session replaces, other files append), questions
// before long operations, failures that leave the session whole, mixtures, and the document's
// own reactions to hints before the views hear of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fstream>
#include <numbers>

#include "crystal/crystal.h"
#include "diffraction/reflexion.h"
#include "document/document_fixtures.h"
#include "errors/exceptions.h"
#include "files/crystal_files.h"
#include "files/session_file.h"
#include "patterns/crystal_pattern.h"
#include "patterns/mixture_pattern.h"
#include "patterns/observed_pattern.h"
#include "support/scratch_folder.h"

namespace {

struct DocumentTest : ::testing::Test {
  CScriptedUi ui;
  CTessDoc document{ui};
  CRecordingView view{document};

  std::vector<std::string> Titles() const {
    std::vector<std::string> titles;
    for (const auto& pattern : document.Patterns()) titles.push_back(pattern->Title());
    return titles;
  }
};

TEST_F(DocumentTest, FilesAppendPlottedAndCalculatedAndASessionReplacesThem) {
  CDatasetReadCounter datasetsRead;
  document.AddFiles({TestFile("quartz.cif"), TestFile("corundum.cif")});
  EXPECT_EQ(Titles(), (std::vector<std::string>{"quartz", "corundum"}));
  for (const auto& pattern : document.Patterns()) {
    EXPECT_TRUE(pattern->Plotted());
    EXPECT_FALSE(pattern->Crystal()->reflexions.empty());
    EXPECT_GT(pattern->LargestPlottedIntensity(0.0, 0.0), 0.0);
  }
  EXPECT_EQ(view.codes.back(), HintCode::kPatternListChanged);
  EXPECT_TRUE(document.Modified());
  EXPECT_EQ(datasetsRead.count, 2);
  EXPECT_EQ(datasetsRead.document, &document);

  // A session of one pattern, saved from another document.
  CScratchFolder folder;
  CScriptedUi otherUi;
  CTessDoc other(otherUi);
  other.AddFiles({TestFile("silicon.cif")});
  WriteSessionFile(folder / "si.tessaline", other.Session());

  document.AddFiles({folder / "si.tessaline"});
  EXPECT_EQ(Titles(), (std::vector<std::string>{"silicon"}));
  EXPECT_FALSE(document.Modified()) << "a session just read is as it was saved";
  document.AddFiles({TestFile("rutile.cif")});
  EXPECT_EQ(Titles(), (std::vector<std::string>{"silicon", "rutile"}));
}

TEST_F(DocumentTest, ThePlotTitleOfTheFirstLoadStaysThroughLaterSessions) {
  CScratchFolder folder;
  CSession saved;
  saved.display.title = "From the file";
  saved.display.showTitle = true;
  WriteSessionFile(folder / "titled.tessaline", saved);

  document.AddFiles({folder / "titled.tessaline"});
  EXPECT_EQ(document.Display().title, "From the file");
  document.Display().title = "Mine";
  document.AddFiles({folder / "titled.tessaline"});
  EXPECT_EQ(document.Display().title, "Mine");
}

TEST_F(DocumentTest, OnlyTheFirstFileOpenedMayPlaceTheWindow) {
  CScratchFolder folder;
  CSession saved;
  saved.window.rect = {10, 20, 810, 620};
  WriteSessionFile(folder / "placed.tessaline", saved);
  document.AddFiles({folder / "placed.tessaline"});
  EXPECT_TRUE(ui.restored.empty()) << "a file added to the session keeps the window where it is";

  CScriptedUi freshUi;
  CTessDoc fresh(freshUi);
  fresh.Open(folder / "placed.tessaline");
  fresh.Open(folder / "placed.tessaline");
  ASSERT_EQ(freshUi.restored.size(), 1u);
  EXPECT_EQ(freshUi.restored.front(), saved.window.rect);
}

TEST_F(DocumentTest, TwentyFilesAreAddedAtOnceAndTwentyOneAskFirst) {
  document.AddFiles(std::vector<std::string>(20, TestFile("silicon.cif")));
  EXPECT_TRUE(ui.questions.empty());
  EXPECT_EQ(document.Patterns().size(), 20u);

  document.Reset();
  EXPECT_TRUE(document.Patterns().empty());
  EXPECT_FALSE(document.Modified() || document.Loaded());
  ui.answer = false;
  document.AddFiles(std::vector<std::string>(21, TestFile("silicon.cif")));
  ASSERT_EQ(ui.questions, std::vector<unsigned>{CVHXFileLotsOfFiles::kResourceId});
  EXPECT_EQ(ui.questionTexts.front(), "You are about to open 21 files.");
  EXPECT_TRUE(document.Patterns().empty());
}

TEST_F(DocumentTest, AFileThatFailsIsAlertedAndTheOthersAreAdded) {
  CScratchFolder folder;
  const std::string broken = folder / "broken.cif";
  std::ofstream(broken) << "data_broken\n_cell_length_a 5\nloop_\n_atom_site_label\n";
  document.AddFiles(
      {TestFile("quartz.cif"), broken, folder / "missing.cif", TestFile("corundum.cif")});
  EXPECT_EQ(Titles(), (std::vector<std::string>{"quartz", "corundum"}));
  EXPECT_EQ(ui.alerts.size(), 2u);
  EXPECT_EQ(ui.alerts.back(), CVHXFileNotFound::kResourceId);
}

TEST_F(DocumentTest, FilePatternsAreSetUpBeforeTheyAreCalculatedAndMayBeRefused) {
  // Small crystallites broaden the peaks: a setting that only counts when it is there before the
  // profile is calculated.
  ui.setUp = [](CTSPattern& pattern) {
    if (CTSCrystal* crystal = pattern.Crystal()) {
      crystal->particleSize = 50.0;
      return;
    }
    throw CVHXFileUnsupportedType(kSeverityMessage, 0, 0, pattern.Path());
  };
  document.AddFiles({TestFile("quartz.cif"), ExampleFile("quartz-scan.xy")});
  ASSERT_EQ(Titles(), std::vector<std::string>{"quartz"});
  EXPECT_EQ(ui.alerts, std::vector<unsigned>{CVHXFileUnsupportedType::kResourceId});

  CTSCrystalPattern broad(CTSPattern::BuiltInDefaults{}), sharp(CTSPattern::BuiltInDefaults{});
  *broad.Crystal() = *sharp.Crystal() = ReadCrystalFile(TestFile("quartz.cif")).crystal;
  broad.Crystal()->particleSize = 50.0;
  for (CTSCrystalPattern* pattern : {&broad, &sharp}) pattern->Recalculate(document.PlotSpec());
  const CProfile& added = document.Patterns().front()->ProfilePoints(false);
  EXPECT_EQ(added, broad.GetProfile(document.PlotSpec()));
  EXPECT_NE(added, sharp.GetProfile(document.PlotSpec()));
}

TEST_F(DocumentTest, FilesThatAreNoFilesOfAKnownTypeAreRefusedNamingTheirPath) {
  CScratchFolder folder;
  const std::string unknown = folder / "notes.abc";
  std::ofstream(unknown) << "nothing a crystal or data reader takes\n";
  try {
    document.AddFile(unknown);
    ADD_FAILURE() << "an unknown type was added";
  } catch (const CVHXFileUnsupportedType& error) {
    EXPECT_NE(error.Explanation().find("'" + unknown + "'"), std::string::npos)
        << error.Explanation();
  }
  try {
    document.AddFile(folder.Path().string());
    ADD_FAILURE() << "a folder was added";
  } catch (const CVHXFileNotOpen& error) {
    EXPECT_EQ(error.Code(), EISDIR);
  }
  EXPECT_TRUE(document.Patterns().empty());
}

TEST_F(DocumentTest, CancellingStopsAfterTheCurrentFileAndStillTellsTheViews) {
  ui.cancelAfter = 1;
  document.AddFiles({TestFile("quartz.cif"), TestFile("corundum.cif"), TestFile("rutile.cif")});
  EXPECT_EQ(Titles(), std::vector<std::string>{"quartz"});
  EXPECT_EQ(view.codes.back(), HintCode::kPatternListChanged);
}

TEST_F(DocumentTest, AMixtureIsRefusedForMixturesAndComponentsAndLosesARemovedComponent) {
  document.AddFiles({TestFile("quartz.cif"), TestFile("corundum.cif"), TestFile("rutile.cif")});
  const CPatternList phases(document.Patterns().begin(), document.Patterns().begin() + 2);
  const std::shared_ptr<CTSPattern> mixture = document.CreateMixture(phases);
  ASSERT_TRUE(mixture);
  EXPECT_EQ(mixture->Title(), "Simulated Mixture");
  EXPECT_TRUE(mixture->Plotted() && mixture->Selected());
  EXPECT_EQ(document.Patterns().back(), mixture);

  EXPECT_EQ(document.CreateMixture({mixture, document.Patterns()[2]}), nullptr);
  EXPECT_EQ(document.CreateMixture({phases[0], document.Patterns()[2]}), nullptr);
  EXPECT_EQ(ui.alerts, (std::vector<unsigned>{CVHXStructuresInvalidMixture::kResourceId,
                                              CVHXStructuresNestedMixture::kResourceId}));

  // Removing a phase from the session removes it from the mixture, whose fractions are then even.
  EXPECT_TRUE(document.RemovePatterns({phases[0]}));
  ASSERT_EQ(mixture->Components()->size(), 1u);
  EXPECT_EQ(mixture->Components()->front(), phases[1]);
  EXPECT_DOUBLE_EQ(phases[1]->MixtureFraction(), 1.0);
  EXPECT_FALSE(document.RemovePatterns({phases[0]}));
}

TEST_F(DocumentTest, PatternsNotYetCalculatedAreCalculatedBeforeSavingAfterAsking) {
  document.AddFiles({TestFile("quartz.cif"), TestFile("corundum.cif"), TestFile("halite.cif")});
  EXPECT_TRUE(document.CalculateBeforeSaving());  // everything is current: nothing to ask
  EXPECT_TRUE(ui.questions.empty());

  // Off the plot, a pattern is not calculated for a new instrument; the plotted ones are.
  const auto& patterns = document.Patterns();
  patterns[1]->SetPlotted(false);
  const double before = patterns[0]->Crystal()->reflexions.front()->position;
  document.PlotSpec().SetLambda(0.7093);
  document.PlotSpecChanged(false);
  EXPECT_FALSE(patterns[0]->NeedsCalculation());
  EXPECT_LT(patterns[0]->Crystal()->reflexions.front()->position, before);  // shorter, lower 2θ
  EXPECT_TRUE(document.TakeAutoscale().y);
  ASSERT_TRUE(patterns[1]->NeedsCalculation());

  ui.answer = false;
  EXPECT_FALSE(document.CalculateBeforeSaving());
  EXPECT_EQ(ui.questions, std::vector<unsigned>{22859});
  EXPECT_NE(ui.questionTexts.back().find("'corundum'"), std::string::npos);
  EXPECT_TRUE(patterns[1]->NeedsCalculation());

  ui.answer = true;
  EXPECT_TRUE(document.CalculateBeforeSaving());
  EXPECT_FALSE(patterns[1]->NeedsCalculation());
  EXPECT_GT(patterns[1]->LargestPlottedIntensity(0.0, 0.0), 0.0);

  // Several ask once, with their number.
  patterns[0]->SetPlotted(false);
  patterns[2]->SetPlotted(false);
  document.Broadcast(HintCode::kInstrumentChanged);
  ui.questions.clear();
  EXPECT_TRUE(document.CalculateBeforeSaving());
  EXPECT_EQ(ui.questions, std::vector<unsigned>{22857});
  EXPECT_NE(ui.questionTexts.back().find("3 patterns"), std::string::npos);
}

TEST_F(DocumentTest, ObservedDataAreScaledToTheStrongestPlottedCrystal) {
  document.AddFiles({ExampleFile("quartz.cif"), ExampleFile("quartz-scan.xy")});
  const auto& crystal = document.Patterns()[0];
  const auto& observed = document.Patterns()[1];
  const double reference = crystal->LargestPlottedIntensity(0.0, 0.0);
  EXPECT_DOUBLE_EQ(document.ObservedReference(), reference);
  EXPECT_NEAR(observed->LargestPlottedIntensity(0.0, 0.0), reference, 1e-9 * reference);

  // Without a plotted crystal there is nothing to scale to: the scale stays.
  const double scale = observed->YScale();
  document.UnplotPatterns({crystal});
  EXPECT_DOUBLE_EQ(observed->YScale(), scale);
  EXPECT_FALSE(crystal->Plotted());
  EXPECT_EQ(document.Patterns().size(), 2u);
}

TEST_F(DocumentTest, OccupancyChangesRecalculateThenAskForAPlotUpdate) {
  document.AddFiles({TestFile("quartz.cif")});
  view.codes.clear();
  document.Broadcast(HintCode::kOccupancyChanged);
  EXPECT_EQ(view.codes,
            (std::vector<int32_t>{HintCode::kRequestPlotUpdate, HintCode::kDocumentCommand,
                                  HintCode::kOccupancyChanged}));
}

TEST_F(DocumentTest, AnInstrumentChangeRegeneratesTheReflexionsForTheNewWavelength) {
  document.AddFiles({TestFile("quartz.cif")});
  const auto& quartz = document.Patterns().front();
  const auto strongest = [&] {
    return std::ranges::max(quartz->Crystal()->reflexions, {},
                            [](const auto& r) { return r->intensity; });
  };
  const double d = strongest()->d;
  document.TakeAutoscale();
  document.PlotSpec().SetLambda(0.70932);  // Mo K-alpha-1
  document.Broadcast(HintCode::kInstrumentChanged);
  const double expected = 2.0 * std::asin(0.70932 / (2.0 * d)) * 180.0 / std::numbers::pi;
  EXPECT_NEAR(strongest()->position, expected, 1e-6);
  EXPECT_TRUE(quartz->NeedsCalculation());
  EXPECT_TRUE(document.TakeAutoscale().y);
}

TEST_F(DocumentTest, AVolumeKeepingCellChangeScalesTheEdgesAndKeepsTheAngles) {
  document.AddFiles({TestFile("quartz.cif")});
  const auto& quartz = document.Patterns().front();
  quartz->SetSelected(true);
  CTSCrystal& cell = *quartz->Crystal();
  const double a = cell.a, c = cell.c, gamma = cell.gamma, volume = cell.volume;
  cell.volume = 1.1 * volume;
  document.Broadcast(HintCode::kCellChangedKeepingVolume);
  EXPECT_NEAR(cell.volume, 1.1 * volume, 1e-9 * volume);
  EXPECT_NEAR(cell.a / a, std::cbrt(1.1), 1e-12);
  EXPECT_NEAR(cell.c / c, std::cbrt(1.1), 1e-9);
  EXPECT_DOUBLE_EQ(cell.gamma, gamma);
}

}  // namespace
