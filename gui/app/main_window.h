// The application's main window: the plot in the centre, the patterns and reflexions lists in
// docks around it, the menus, the toolbar and the status bar with the cursor readout. It owns
// the one document and shows it; every command goes to the document or to the core's list
// models, and the window follows the document's hints like any other view.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <memory>

#include "document/session_history.h"
#include "document/tess_doc.h"
#include "errors/alert.h"
#include "gui/app/alert_dialog.h"
#include "gui/app/desktop_document_ui.h"
#include "plot/peak_pick.h"

class CCopyServer;
class CPreferences;
class CPlotWidget;
class CPatternsModel;
class CReflexionsModel;
class CProgressWindow;
struct CVHCommandLineInfo;
class QActionGroup;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QMenu;
class QTableView;
class QTreeView;

class CMainWindow : public QMainWindow, public CDocumentView {
  Q_OBJECT

 public:
  // The preferences give new patterns and the plot specification their settings and keep the
  // window's place; without them the built-in defaults serve.
  explicit CMainWindow(CPreferences* preferences = nullptr, QWidget* parent = nullptr);
  ~CMainWindow() override;

  CTessDoc& Document() { return m_document; }
  CDesktopDocumentUi& DocumentUi() { return m_ui; }
  CPlotWidget& Plot() { return *m_plot; }
  QTreeView& PatternsView() { return *m_patternsView; }
  CPatternsModel& PatternsModel() { return *m_patternsModel; }
  QTableView& ReflexionsView() { return *m_reflexionsView; }

  // Opens files as a drop or the open dialog does: more than 20 ask first, each file is added
  // under the progress window, Escape stops between files. Deferred while the document works.
  void OpenFiles(const QStringList& paths);
  // From now on other running copies may ask this window whether it is empty and hand it their
  // files; the start-up calls it before it opens its own.
  void AnswerOtherCopies();
  // Runs a command line handed over by another copy, or given at start-up.
  void RunCommandLine(const CVHCommandLineInfo& commandLine);
  // Saves the session to `path`; false (after an alert) when it could not be written.
  bool SaveSession(const QString& path);

  // Copies the selected patterns (and the plot as a picture) to the clipboard; pastes patterns
  // copied by this or another running copy.
  void CopySelection();
  void PastePatterns();

  void OnUpdate(const CUpdateHint& hint) override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateDocks();
  void CreateActions();
  void CreateFileMenu();
  void CreateEditMenu();
  void CreateViewMenu();
  void CreateDiffractionMenu();
  void CreatePatternMenu();
  void CreateToolBar();
  void RestoreWindowState();
  void SaveWindowState();

  // The plot specification changed: every crystal is calculated anew and the plot follows.
  void PlotSpecChanged(bool axisChanged);
  void SetRadiation(VHTypes::TSSimulationType type);
  void SetAxis(VHTypes::TSAxisType type);
  void SetProfile(VHTypes::TSProfileType type);
  void SetWavelength(double wavelength);
  void SyncDiffractionControls();
  // A peak clicked on the plot: its phase selected, its row in the reflexions list.
  void ShowPeak(const CPickedPeak& peak);
  void UpdateTitle();
  void UpdateActions();

  void NewSession();
  void OpenDialog(bool sessionsToo);
  bool Save();
  bool SaveAs();
  // Whether the window may drop the session: saved, or the user chose not to.
  bool MayDiscardSession();
  // The files opened go to the top of Open Recent, the last one first.
  void AddRecentFiles(const QStringList& paths);
  void RebuildRecentMenu();

  // Exports of the selected crystal, the plot and the tables.
  void ExportCrystal(const char* extension, const QString& filter);
  void ExportProfile();
  void ExportListing(bool structureFactors);
  void ExportScatteringFactors();
  void ExportImage();
  void Print();
  void CopyListing();
  // The first selected pattern, else the first plotted one; null when there is none.
  std::shared_ptr<CTSPattern> CurrentPattern(bool crystalOnly) const;
  // After the document's hints of one command: the session's new state for Undo.
  void RememberChange();
  void Undo(bool redo);
  // Runs a file operation and turns its failure into the alert the user sees.
  bool Reported(const std::function<void()>& operation);

  CPreferences* m_preferences;
  CDesktopDocumentUi m_ui;
  CAlertDialogPresenter m_alerts;
  CAlertPresenterScope m_alertScope;
  CTessDoc m_document;
  CPlotWidget* m_plot = nullptr;
  CPatternsModel* m_patternsModel = nullptr;
  QTreeView* m_patternsView = nullptr;
  CReflexionsModel* m_reflexionsModel = nullptr;
  QTableView* m_reflexionsView = nullptr;
  QDockWidget* m_reflexionsDock = nullptr;
  CProgressWindow* m_progress = nullptr;
  QLabel* m_cursorLabel = nullptr;
  QLabel* m_fileLabel = nullptr;

  std::unique_ptr<CCopyServer> m_copyServer;
  CSessionHistory m_history;
  bool m_changePending = false;
  bool m_restoring = false;
  QString m_sessionPath;
  QStringList m_deferredFiles;  // handed over while the document was busy
  QMenu* m_recentMenu = nullptr;

  QComboBox* m_radiationBox = nullptr;
  QComboBox* m_axisBox = nullptr;
  QDoubleSpinBox* m_wavelengthBox = nullptr;
  QActionGroup* m_radiationGroup = nullptr;
  QActionGroup* m_axisGroup = nullptr;
  QActionGroup* m_profileGroup = nullptr;
  struct CActions {
    QAction *undo = nullptr, *redo = nullptr, *save = nullptr, *saveAs = nullptr,
            *exportCif = nullptr, *exportVhtx = nullptr, *exportProfile = nullptr,
            *exportReflexions = nullptr, *exportFactors = nullptr, *copy = nullptr,
            *paste = nullptr, *remove = nullptr, *plot = nullptr, *unplot = nullptr, *mix = nullptr,
            *graph = nullptr, *film = nullptr, *log = nullptr, *stack = nullptr, *ticks = nullptr,
            *difference = nullptr, *legend = nullptr, *grid = nullptr, *labels = nullptr;
  } m_actions;
};
