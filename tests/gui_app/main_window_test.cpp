// The desktop application as a user meets it: files opened and dropped, check boxes, mixtures,
// cancelling, the clipboard, alerts and the window's settings. The rules behind these are
// tested in the core; here the widgets must pass the user's actions on and show the outcome.
#include <gtest/gtest.h>

#include <cmath>

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QDropEvent>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include "crystal/crystal.h"
#include "diffraction/reflexion.h"
#include "errors/alert.h"
#include "gui/app/alert_dialog.h"
#include "gui/app/main_window.h"
#include "gui/app/patterns_model.h"
#include "gui/app/plot_widget.h"
#include "patterns/observed_pattern.h"
#include "patterns/plot_spec.h"
#include "plot/recording_canvas.h"
#include "support/data_files.h"

namespace {

QString Example(const char* name) {
  return QStringLiteral(TESSALINE_SOURCE_DIR "/examples/") + QLatin1String(name);
}
QString TestData(const char* name) {
  return QString::fromStdString(TestDataPath(name).string());
}

// Answers every alert with its first button, counting what it was asked.
class CAnsweringPresenter final : public CAlertPresenter {
 public:
  Answer Present(const CVHAlertContent& alert) override {
    titles.push_back(alert.title);
    return kFirstButton;
  }
  std::vector<std::string> titles;
};

// A menu item of the window by its text; the test fails without it.
QAction& ActionNamed(CMainWindow& window, const char* text) {
  for (QAction* action : window.findChildren<QAction*>())
    if (action->text() == QString::fromUtf8(text)) return *action;
  ADD_FAILURE() << "no menu item " << text;
  return *new QAction(&window);  // a stand-in, so that the test goes on
}

class MainWindowTest : public testing::Test {
 protected:
  MainWindowTest() : window(std::make_unique<CMainWindow>()), answers(presenter) {
    // Shortcuts and drops reach an active window only.
    window->show();
    QApplication::setActiveWindow(window.get());
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }
  ~MainWindowTest() override { window->Document().SetModified(false); }

  CPatternsModel& Model() { return window->PatternsModel(); }
  QStringList Titles() {
    QStringList titles;
    for (const auto& row : Model().List().Rows())
      titles << QString::fromStdString(row.pattern->Title());
    return titles;
  }

  std::unique_ptr<CMainWindow> window;
  CAnsweringPresenter presenter;
  CAlertPresenterScope answers;  // installed after the window's own dialogs
};

TEST_F(MainWindowTest, OpenedAndDroppedFilesBecomePlottedRows) {
  window->OpenFiles({Example("quartz.cif"), TestData("corundum.cif"), Example("quartz-scan.xy")});
  EXPECT_EQ(Titles(), (QStringList{"quartz", "corundum", "quartz-scan"}));
  for (const auto& pattern : window->Document().Patterns()) EXPECT_TRUE(pattern->Plotted());
  // The measured data are scaled to the crystal they are compared with.
  const auto& patterns = window->Document().Patterns();
  EXPECT_NEAR(patterns[2]->LargestPlottedIntensity(0, 0),
              patterns[0]->LargestPlottedIntensity(0, 0),
              1e-6 * patterns[0]->LargestPlottedIntensity(0, 0));

  // A file dropped on the plot is added the same way.
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(TestData("corundum.cif"))});
  QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window->Plot(), &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window->Plot(), &drop);
  EXPECT_EQ(Titles(), (QStringList{"quartz", "corundum", "quartz-scan", "corundum"}));
  EXPECT_TRUE(presenter.titles.empty());
}

TEST_F(MainWindowTest, ABadFileIsAlertedAndTheOthersStillOpen) {
  QTemporaryDir folder;
  const QString broken = folder.filePath(QStringLiteral("broken.cif"));
  QFile file(broken);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("data_broken\n_cell_length_a 5\nloop_\n_atom_site_label\n");
  file.close();
  window->OpenFiles({broken, Example("quartz.cif")});
  EXPECT_EQ(Titles(), QStringList{"quartz"});
  EXPECT_EQ(presenter.titles.size(), 1u);
}

TEST_F(MainWindowTest, ClearingTheCheckBoxTakesThePatternOffThePlotOnly) {
  window->OpenFiles({Example("quartz.cif"), TestData("corundum.cif")});
  const QModelIndex first = Model().index(0, 0);
  ASSERT_EQ(Model().data(first, Qt::CheckStateRole).toInt(), Qt::Checked);
  ASSERT_TRUE(Model().setData(first, Qt::Unchecked, Qt::CheckStateRole));
  EXPECT_FALSE(window->Document().Patterns()[0]->Plotted());
  EXPECT_EQ(Model().data(Model().index(0, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);
  EXPECT_EQ(Titles().size(), 2);
  ASSERT_TRUE(Model().setData(Model().index(0, 0), Qt::Checked, Qt::CheckStateRole));
  EXPECT_TRUE(window->Document().Patterns()[0]->Plotted());
}

TEST_F(MainWindowTest, TwoSelectedRowsMakeAMixtureWithTheirRowsBelowIt) {
  window->OpenFiles({Example("quartz.cif"), TestData("corundum.cif")});
  QTreeView& view = window->PatternsView();
  view.selectionModel()->select(QItemSelection(Model().index(0, 0), Model().index(1, 0)),
                                QItemSelectionModel::ClearAndSelect);
  view.setFocus();
  QTest::keyClick(&view, Qt::Key_M, Qt::ControlModifier);
  ASSERT_EQ(Model().rowCount(), 3);
  const QModelIndex mixture = Model().index(2, 0);
  EXPECT_EQ(Model().rowCount(mixture), 2);
  EXPECT_EQ(Model().data(Model().index(0, 0, mixture), Qt::DisplayRole).toString(),
            QStringLiteral("0.50  quartz"));
  EXPECT_EQ(Model().parent(Model().index(1, 0, mixture)), mixture);
}

TEST_F(MainWindowTest, EscapeStopsAddingFilesAfterTheCurrentOne) {
  QStringList paths;
  for (int i = 0; i < 6; ++i) paths << Example("quartz.cif");
  // Escape arrives while the first file is read beside the event loop.
  QTimer::singleShot(0, window.get(), [this] { QTest::keyClick(window.get(), Qt::Key_Escape); });
  window->OpenFiles(paths);
  EXPECT_GE(Titles().size(), 1);
  EXPECT_LT(Titles().size(), 6);
}

TEST_F(MainWindowTest, ACopiedPatternPastesAsANewRow) {
  window->OpenFiles({Example("quartz.cif")});
  Model().SetSelection({Model().index(0, 0)});
  window->CopySelection();
  window->PastePatterns();
  EXPECT_EQ(Titles(), (QStringList{"quartz", "quartz"}));
  const auto& patterns = window->Document().Patterns();
  EXPECT_NE(patterns[0], patterns[1]);
  // The copy went through a session, which keeps the crystal in single precision.
  EXPECT_NEAR(patterns[1]->LargestPlottedIntensity(0, 0),
              patterns[0]->LargestPlottedIntensity(0, 0),
              1e-5 * patterns[0]->LargestPlottedIntensity(0, 0));
}

TEST_F(MainWindowTest, ASavedSessionOpensAsItWasSaved) {
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("two.tessaline"));
  window->OpenFiles({Example("quartz.cif"), TestData("corundum.cif")});
  ASSERT_TRUE(window->SaveSession(path));
  EXPECT_FALSE(window->Document().Modified());
  EXPECT_TRUE(window->windowTitle().startsWith(QStringLiteral("two.tessaline —")));

  CMainWindow second;
  second.OpenFiles({path});
  ASSERT_EQ(second.Document().Patterns().size(), 2u);
  EXPECT_FALSE(second.Document().Modified());
  EXPECT_TRUE(second.windowTitle().startsWith(QStringLiteral("two.tessaline —")));
}

TEST_F(MainWindowTest, TheWindowsPlaceIsKeptForTheNextStart) {
  window->setGeometry(120, 90, 900, 640);
  window->close();
  CMainWindow next;
  EXPECT_EQ(next.geometry().size(), QSize(900, 640));
}

TEST_F(MainWindowTest, RemovedPatternsAndANewWavelengthAreUndoneAndRedone) {
  // Between two commands the event loop runs, as it does between a user's actions.
  const auto idle = [] { QCoreApplication::processEvents(); };
  window->OpenFiles({Example("quartz.cif"), TestData("corundum.cif")});
  idle();
  QTreeView& view = window->PatternsView();
  view.selectionModel()->select(Model().index(0, 0), QItemSelectionModel::ClearAndSelect);
  // The progress window of a slow add may have been up: the main window takes the keys again.
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  view.setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return view.hasFocus(); }));
  QTest::keyClick(&view, Qt::Key_Delete);  // asks, and the presenter answers Continue
  ASSERT_EQ(Titles(), QStringList{"corundum"});
  idle();
  window->findChild<QDoubleSpinBox*>()->setValue(0.7093);
  idle();

  QTest::keySequence(window.get(), QKeySequence(QKeySequence::Undo));
  EXPECT_DOUBLE_EQ(window->Document().PlotSpec().Lambda(), 1.5405);
  EXPECT_DOUBLE_EQ(window->findChild<QDoubleSpinBox*>()->value(), 1.5405);
  QTest::keySequence(window.get(), QKeySequence(QKeySequence::Undo));
  EXPECT_EQ(Titles(), (QStringList{"quartz", "corundum"}));
  EXPECT_TRUE(window->Document().Patterns()[0]->Plotted());

  QTest::keySequence(window.get(), QKeySequence(QKeySequence::Redo));
  EXPECT_EQ(Titles(), QStringList{"corundum"});
}

TEST_F(MainWindowTest, TheStatusBarReadsThePlotUnderThePointer) {
  window->OpenFiles({Example("quartz.cif")});
  CPlotWidget& plot = window->Plot();
  plot.grab();  // lays the plot out
  QString readout;
  QObject::connect(&plot, &CPlotWidget::cursorReadout,
                   [&](const QString& text) { readout = text; });
  QTest::mouseMove(&plot, QPoint(plot.width() / 2, plot.height() / 2));
  EXPECT_TRUE(readout.startsWith(QStringLiteral("2θ = "))) << readout.toStdString();
  EXPECT_TRUE(readout.contains(QStringLiteral("d = "))) << readout.toStdString();
  QTest::mouseMove(&plot, QPoint(2, 2));  // outside the plot area
  EXPECT_TRUE(readout.isEmpty());
}

TEST_F(MainWindowTest, APeakPickedOnThePlotIsShownInTheReflexionsList) {
  window->OpenFiles({Example("quartz.cif"), TestData("corundum.cif")});
  const auto& corundum = window->Document().Patterns()[1];
  const auto reflexion = corundum->Crystal()->reflexions[5];
  emit window->Plot().peakPicked({corundum, reflexion});
  EXPECT_TRUE(corundum->Selected());
  EXPECT_FALSE(window->Document().Patterns()[0]->Selected());
  const QModelIndexList rows = window->ReflexionsView().selectionModel()->selectedRows();
  ASSERT_EQ(rows.size(), 1);
  const auto* model = window->ReflexionsView().model();
  EXPECT_EQ(model->data(model->index(rows[0].row(), 3)).toString(),
            QString::number(reflexion->d, 'f', 5).replace('.', QLocale().decimalPoint()));
}

TEST_F(MainWindowTest, ANewWavelengthMovesThePeaks) {
  window->OpenFiles({Example("quartz.cif")});
  const auto& crystal = *window->Document().Patterns().front()->Crystal();
  const double copper = crystal.reflexions.front()->position;
  window->findChild<QDoubleSpinBox*>()->setValue(0.7093);  // molybdenum
  EXPECT_NEAR(window->Document().PlotSpec().Lambda(), 0.7093, 1e-12);
  // Bragg: sin θ scales with the wavelength.
  const double expected =
      2 * std::asin(std::sin(copper / 2 * M_PI / 180) * 0.7093 / 1.5405) * 180 / M_PI;
  EXPECT_NEAR(crystal.reflexions.front()->position, expected, 1e-3);
}

TEST_F(MainWindowTest, StackedCurvesStayInsideTheFrameAboveTheirRows) {
  window->OpenFiles({Example("quartz.cif"), TestData("corundum.cif")});
  ActionNamed(*window, "Reflexion &Ticks").setChecked(true);
  ActionNamed(*window, "&Stack Patterns").setChecked(true);
  window->Plot().grab();
  const CPlotDisplay& display = window->Document().Display();
  double top = 0.0;
  for (const auto& pattern : window->Document().Patterns())
    top = std::max(top, pattern->LargestPlottedIntensity(display.xMin, display.xMax));
  EXPECT_GT(display.yMax, 1.02 * top);  // the strongest peak clear of the frame
  EXPECT_LT(display.yMin, 0.0);         // room for the rows under the lowest curve
}

TEST_F(MainWindowTest, PeakLabelsAreSwitchedOnFromTheViewMenuAndKeptInTheSession) {
  window->OpenFiles({Example("quartz.cif")});
  const auto labelTexts = [](CMainWindow& shown) {
    CRecordingCanvas canvas;
    shown.Plot().Draw(canvas, {0.0f, 0.0f, 800.0f, 500.0f});
    const std::vector<std::string> texts = canvas.Texts();
    return std::ranges::count(texts, std::string("0 1 1"));
  };
  EXPECT_EQ(labelTexts(*window), 0);
  QAction& labels = ActionNamed(*window, "&Peak Labels");
  ASSERT_TRUE(labels.isCheckable());
  labels.setChecked(true);
  window->Plot().grab();              // the screen fits the intensity with room for labels
  EXPECT_EQ(labelTexts(*window), 1);  // the strongest peak of quartz

  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("labelled.tessaline"));
  ASSERT_TRUE(window->SaveSession(path));
  CMainWindow second;
  second.OpenFiles({path});
  second.Plot().grab();
  EXPECT_EQ(labelTexts(second), 1);
  EXPECT_TRUE(ActionNamed(second, "&Peak Labels").isChecked());
}

TEST_F(MainWindowTest, ANewAxisShowsTheCalculatedPeaksNotTheDataOfTheOldOne) {
  window->OpenFiles({Example("quartz.cif"), Example("quartz-scan.xy")});
  EXPECT_NEAR(window->Document().Display().xMax, 80.0, 1.0);  // the scan's 2θ range
  QComboBox* axes = nullptr;
  for (QComboBox* box : window->findChildren<QComboBox*>())
    if (box->findData(static_cast<uint32_t>(VHTypes::kAxisQ)) >= 0 &&
        box->findData(static_cast<uint32_t>(VHTypes::kAxisDSpacing)) >= 0)
      axes = box;
  ASSERT_NE(axes, nullptr);
  emit axes->activated(axes->findData(static_cast<uint32_t>(VHTypes::kAxisDSpacing)));
  ASSERT_EQ(window->Document().PlotSpec().AxisType(), VHTypes::kAxisDSpacing);
  // Quartz's peaks lie between d = 0.77 and 4.26 Å.
  const CPlotDisplay& display = window->Document().Display();
  EXPECT_LT(display.xMin, 1.0);
  EXPECT_GT(display.xMax, 4.26);
  EXPECT_LT(display.xMax, 6.0);
}

TEST(AlertDialog, ShowsTheAlertsTextsAndDefaultsToTheSafeAnswer) {
  CVHAlertContent question;
  question.type = CVHAlertContent::kQuestion;
  question.title = "Removing Patterns";
  question.message = "Are you sure?";
  question.explanation = "They will be deleted & gone.";
  question.firstButton = "Continue";
  question.secondButton = "Cancel";
  question.codeLine = "5c4f:0000";
  auto box = MakeAlertDialog(question, nullptr);
  EXPECT_EQ(box->windowTitle(), QStringLiteral("Removing Patterns"));
  EXPECT_EQ(box->text(), QStringLiteral("Are you sure?"));
  EXPECT_TRUE(box->informativeText().contains(QStringLiteral("deleted &amp; gone")));
  ASSERT_EQ(box->buttons().size(), 2);
  EXPECT_EQ(box->defaultButton()->text(), QStringLiteral("Cancel"));
  question.firstButtonIsDefault = true;
  EXPECT_EQ(MakeAlertDialog(question, nullptr)->defaultButton()->text(),
            QStringLiteral("Continue"));

  CVHAlertContent message;
  message.title = "File Error";
  message.firstButton = "OK";
  bool suppressed = false;
  message.suppression = &suppressed;
  auto info = MakeAlertDialog(message, nullptr);
  EXPECT_EQ(info->buttons().size(), 1);
  EXPECT_NE(info->checkBox(), nullptr);
}

}  // namespace
