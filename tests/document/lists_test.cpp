// The patterns list and the reflexions list as the desktop's widgets will show them: rows with
// their depth, the questions before plotting or removing many, the check box, renaming,
// reordering and sorting; the reflexions of the selected crystal, sorted, and a picked one
// told to the other views.
#include <gtest/gtest.h>

#include <algorithm>

#include "crystal/crystal.h"
#include "diffraction/reflexion.h"
#include "document/document_fixtures.h"
#include "document/reflexions_list.h"
#include "document/session_history.h"
#include "document/structures_list.h"
#include "errors/exceptions.h"
#include "patterns/pattern.h"
#include "patterns/plot_spec.h"

namespace {

struct ListsTest : ::testing::Test {
  CScriptedUi ui;
  CTessDoc document{ui};
  CStructuresList list{document};
  CRecordingView view{document};

  void AddThree() {
    document.AddFiles({TestFile("quartz.cif"), TestFile("corundum.cif"), TestFile("rutile.cif")});
  }
};

TEST_F(ListsTest, AMixtureShowsItsComponentsOneLevelDeeper) {
  AddThree();
  list.Select({0, 1});
  list.MixSelected();
  std::vector<std::pair<std::string, int>> rows;
  for (const auto& row : list.Rows()) rows.emplace_back(row.pattern->Title(), row.depth);
  EXPECT_EQ(rows, (std::vector<std::pair<std::string, int>>{{"quartz", 0},
                                                            {"corundum", 0},
                                                            {"rutile", 0},
                                                            {"Simulated Mixture", 0},
                                                            {"quartz", 1},
                                                            {"corundum", 1}}));
  EXPECT_EQ(list.Icon(3), "mixture");
  EXPECT_EQ(list.Icon(4), "crystal");
}

TEST_F(ListsTest, PlottingTwentyAsksNothingAndTwentyOneAsksFirst) {
  document.AddFiles(std::vector<std::string>(21, TestFile("silicon.cif")));
  ui.questions.clear();
  std::vector<size_t> all(21);
  for (size_t i = 0; i < all.size(); ++i) all[i] = i;
  for (size_t row = 0; row < 21; ++row) list.SetPlotChecked(row, false);

  list.Select({all.begin(), all.begin() + 20});
  list.PlotSelected();
  EXPECT_TRUE(ui.questions.empty());
  EXPECT_EQ(std::ranges::count_if(document.Patterns(), [](const auto& p) { return p->Plotted(); }),
            20);

  for (size_t row = 0; row < 21; ++row) list.SetPlotChecked(row, false);
  ui.answer = false;
  list.Select(all);
  list.PlotSelected();
  EXPECT_EQ(ui.questions, std::vector<unsigned>{CVHXStructuresAddLots::kResourceId});
  EXPECT_EQ(std::ranges::count_if(document.Patterns(), [](const auto& p) { return p->Plotted(); }),
            0);
}

TEST_F(ListsTest, RemovingAsksFirstAndWithNothingSelectedChangesNothing) {
  AddThree();
  view.codes.clear();
  list.Select({});
  list.RemoveSelected();
  EXPECT_EQ(ui.questions, std::vector<unsigned>{CVHXStructuresDestroySelected::kResourceId});
  EXPECT_EQ(document.Patterns().size(), 3u);
  EXPECT_TRUE(view.codes.empty());

  list.Select({1});
  list.RemoveSelected();
  EXPECT_EQ(list.Rows().size(), 2u);
  EXPECT_EQ(view.codes, std::vector<int32_t>{HintCode::kPatternListChanged});

  list.SetPlotChecked(0, false);
  EXPECT_EQ(view.codes.back(), HintCode::kPlottedSetChanged);
  list.RemoveUnplotted();
  EXPECT_EQ(ui.questions.back(), 23630u + 2);
  ASSERT_EQ(list.Rows().size(), 1u);
  EXPECT_EQ(list.Rows()[0].pattern->Title(), "rutile");
  list.RemoveAll();
  EXPECT_EQ(ui.questions.back(), 23630u);
  EXPECT_TRUE(list.Rows().empty());
}

TEST_F(ListsTest, RenameMoveAndSortChangeTheSessionOrderAndTellTheViews) {
  AddThree();
  view.codes.clear();
  list.Rename(0, "alpha quartz");
  EXPECT_EQ(view.codes, std::vector<int32_t>{HintCode::kTitleChanged});
  list.Move(2, 0);
  EXPECT_EQ(document.Patterns()[0]->Title(), "rutile");
  list.Sort(TSPatternOrder::kTitle);
  std::vector<std::string> titles;
  for (const auto& row : list.Rows()) titles.push_back(row.pattern->Title());
  EXPECT_EQ(titles, (std::vector<std::string>{"alpha quartz", "corundum", "rutile"}));
}

TEST_F(ListsTest, TheReflexionsOfTheSelectedCrystalSortAndAPickReachesTheOtherViews) {
  CReflexionsList reflexions(document);
  AddThree();
  EXPECT_EQ(reflexions.RowCount(), 0u);
  list.Select({1});
  document.Broadcast(HintCode::kPatternsPaneChanged);
  ASSERT_EQ(reflexions.Pattern(), document.Patterns()[1]);
  const auto& all = document.Patterns()[1]->Crystal()->reflexions;
  ASSERT_EQ(reflexions.RowCount(), all.size());
  for (size_t row = 1; row < reflexions.RowCount(); ++row)
    EXPECT_GE(reflexions.Row(row - 1).d, reflexions.Row(row).d);

  reflexions.SortBy(CReflexionsList::CColumn::kRelativeIntensity, false);
  EXPECT_EQ(reflexions.CellText(0, CReflexionsList::CColumn::kRelativeIntensity), "100.0%");
  EXPECT_EQ(reflexions.ColumnTitle(CReflexionsList::CColumn::kPosition), "2θ (°)");

  reflexions.SelectRow(0);
  EXPECT_EQ(view.codes.back(), HintCode::kReflexionSelected);
  EXPECT_EQ(view.pickedReflexion, &reflexions.Row(0));
}

}  // namespace

TEST(SessionHistory, UndoAndRedoWalkTheStatesAndKeepMixturesLinkedToTheirPhases) {
  CScriptedUi ui;
  CTessDoc document(ui);
  CSessionHistory history;
  history.Record(document.Session());
  EXPECT_FALSE(history.CanUndo());

  document.AddFiles({TestFile("quartz.cif"), TestFile("corundum.cif")});
  history.Record(document.Session());
  document.CreateMixture(document.Patterns());
  history.Record(document.Session());
  document.PlotSpec().SetLambda(0.7093);
  document.PlotSpecChanged(false);
  history.Record(document.Session());

  // Back before the wavelength: the mixture is there, its components are the list's phases.
  auto earlier = history.Undo();
  ASSERT_TRUE(earlier);
  document.Restore(*earlier);
  ASSERT_EQ(document.Patterns().size(), 3u);
  EXPECT_DOUBLE_EQ(document.PlotSpec().Lambda(), 1.5405);
  const CPatternList& components = *document.Patterns()[2]->Components();
  EXPECT_EQ(components[0], document.Patterns()[0]);
  EXPECT_EQ(components[1], document.Patterns()[1]);
  EXPECT_GT(document.Patterns()[2]->LargestPlottedIntensity(0.0, 0.0), 0.0);

  document.Restore(*history.Undo());
  EXPECT_EQ(document.Patterns().size(), 2u);
  document.Restore(*history.Undo());
  EXPECT_TRUE(document.Patterns().empty());
  EXPECT_FALSE(history.CanUndo());

  // Forward again to the mixture; a new change forgets what could be redone.
  document.Restore(*history.Redo());
  document.Restore(*history.Redo());
  EXPECT_EQ(document.Patterns().size(), 3u);
  EXPECT_TRUE(history.CanRedo());
  document.RemovePatterns({document.Patterns()[2]});
  history.Record(document.Session());
  EXPECT_FALSE(history.CanRedo());
  EXPECT_EQ(history.Undo()->patterns.size(), 3u);
}
