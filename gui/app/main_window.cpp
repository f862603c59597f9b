#include "gui/app/main_window.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <span>

#include "diffraction/scattering_table.h"
#include "errors/exceptions.h"
#include "files/asf_file.h"
#include "files/crystal_files.h"
#include "files/listing_files.h"
#include "files/profile_file.h"
#include "files/session_file.h"
#include "files/whole_file.h"
#include "gui/app/patterns_model.h"
#include "gui/app/plot_widget.h"
#include "gui/app/progress_window.h"
#include "gui/app/reflexions_model.h"
#include "gui/instances/copy_transport.h"
#include "gui/painter_canvas.h"
#include "gui/plot_picture.h"
#include "instances/command_line.h"
#include "patterns/plot_spec.h"
#include "plot/output_scale.h"
#include "plot/stacking.h"
#include "preferences/preferences.h"

namespace {

// Patterns copied between running copies travel under this registered clipboard format.
const QString kPatternClipboardFormat = QStringLiteral("Tesalline Pattern");
constexpr int kRecentFiles = 10;
const QString kSettingsGroup = QStringLiteral("Window");

QString FromUtf8(const std::string& text) {
  return QString::fromStdString(text);
}
std::string ToPath(const QString& path) {
  return path.toStdString();
}

QStringList FileTypeFilters(bool sessionsToo) {
  QStringList filters;
  filters << QObject::tr("Crystal structures (*.cif *.vhtx *.vhdf *.cmdf *.cmtx)")
          << QObject::tr("Observed data (*.xy *.xye *.dat *.txt *.csv *.raw *.prf)");
  if (sessionsToo) filters.prepend(QObject::tr("Sessions (*.tessaline *.diffract)"));
  filters << QObject::tr("All files (*)");
  if (sessionsToo)
    filters.prepend(
        QObject::tr("All readable files (*.tessaline *.diffract *.cif *.vhtx *.vhdf "
                    "*.cmdf *.cmtx *.xy *.xye *.dat *.txt *.csv *.raw *.prf)"));
  return filters;
}

// A theme icon where the desktop has one, so that the toolbar looks like the rest of the
// desktop; our own drawing where it has none.
QIcon ThemeIcon(const char* name) {
  const QString own = QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name));
  return QIcon::fromTheme(QString::fromLatin1(name), QFile::exists(own) ? QIcon(own) : QIcon());
}

// One checkable item per choice, one of them checked at a time; `chosen` hears the value of the
// item the user picks.
template <class Text, class Chosen>
QActionGroup* AddChoices(QMenu* menu, std::span<const VHTypes::CChoice> choices, Text text,
                         QObject* owner, Chosen chosen) {
  auto* group = new QActionGroup(owner);
  for (const VHTypes::CChoice& choice : choices) {
    QAction* action = menu->addAction(text(choice));
    action->setCheckable(true);
    action->setData(choice.value);
    group->addAction(action);
  }
  QObject::connect(group, &QActionGroup::triggered, owner,
                   [chosen](QAction* action) { chosen(action->data().toUInt()); });
  return group;
}

}  // namespace

CMainWindow::CMainWindow(CPreferences* preferences, QWidget* parent)
    : QMainWindow(parent),
      m_preferences(preferences),
      m_ui(*this),
      m_alerts(this),
      m_alertScope(m_alerts),
      m_document(m_ui, preferences) {
  // The icons are compiled into this static library: its resources need loading by hand.
  Q_INIT_RESOURCE(icons);
  setAcceptDrops(true);
  m_plot = new CPlotWidget(m_document, this);
  setCentralWidget(m_plot);
  connect(m_plot, &CPlotWidget::filesDropped, this, &CMainWindow::OpenFiles);
  connect(m_plot, &CPlotWidget::peakPicked, this, &CMainWindow::ShowPeak);
  connect(&m_ui, &CDesktopDocumentUi::busyChanged, m_plot, &CPlotWidget::SetFrozen);
  connect(&m_ui, &CDesktopDocumentUi::busyChanged, this, [this](bool busy) {
    // What another copy handed over while the document worked is opened now.
    if (!busy && !m_deferredFiles.isEmpty())
      QTimer::singleShot(0, this, [this] { OpenFiles(std::exchange(m_deferredFiles, {})); });
    if (!busy) QTimer::singleShot(0, this, &CMainWindow::RememberChange);
  });

  CreateDocks();
  CreateActions();
  CreateToolBar();
  m_cursorLabel = new QLabel(this);
  m_fileLabel = new QLabel(this);
  m_cursorLabel->setMinimumWidth(420);
  statusBar()->addWidget(m_cursorLabel, 1);
  statusBar()->addPermanentWidget(m_fileLabel);
  connect(m_plot, &CPlotWidget::cursorReadout, m_cursorLabel, &QLabel::setText);
  m_progress = new CProgressWindow(this);
  connect(&m_ui, &CDesktopDocumentUi::busyChanged, m_progress, &CProgressWindow::KeepPumping);

  m_document.AddView(*this);
  m_history.Record(m_document.Session());
  RestoreWindowState();
  SyncDiffractionControls();
  UpdateTitle();
  UpdateActions();
}

CMainWindow::~CMainWindow() {
  m_document.SetClosing(true);
  m_document.RemoveView(*this);
  // Qt deletes child widgets after the members: the views of the document go first.
  delete m_plot;
  delete m_patternsView;
  delete m_patternsModel;
  delete m_reflexionsView;
  delete m_reflexionsModel;
}

// --- Layout -----------------------------------------------------------------------------------

void CMainWindow::CreateDocks() {
  m_patternsModel = new CPatternsModel(m_document, this);
  m_patternsView = new QTreeView(this);
  m_patternsView->setModel(m_patternsModel);
  m_patternsView->setHeaderHidden(true);
  m_patternsView->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_patternsView->setEditTriggers(QAbstractItemView::EditKeyPressed |
                                  QAbstractItemView::SelectedClicked);
  m_patternsView->setDragDropMode(QAbstractItemView::DragDrop);
  m_patternsView->setDefaultDropAction(Qt::MoveAction);
  m_patternsView->setDropIndicatorShown(true);
  m_patternsView->setIconSize(QSize(16, 16));
  m_patternsView->setContextMenuPolicy(Qt::ActionsContextMenu);
  m_patternsView->setUniformRowHeights(true);
  connect(m_patternsModel, &CPatternsModel::filesDropped, this, &CMainWindow::OpenFiles);
  const auto followSelection = [this] {
    m_patternsModel->SetSelection(m_patternsView->selectionModel()->selectedIndexes());
    UpdateActions();
  };
  connect(m_patternsView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          followSelection);
  connect(m_patternsModel, &CPatternsModel::rowsRebuilt, this, [this, followSelection] {
    m_patternsView->expandAll();
    const QSignalBlocker quiet(m_patternsView->selectionModel());
    m_patternsView->selectionModel()->select(m_patternsModel->SelectedRows(),
                                             QItemSelectionModel::ClearAndSelect);
    m_patternsView->viewport()->update();
    UpdateActions();
  });

  auto* patternsDock = new QDockWidget(tr("Patterns"), this);
  patternsDock->setObjectName(QStringLiteral("patternsDock"));
  patternsDock->setWidget(m_patternsView);
  addDockWidget(Qt::LeftDockWidgetArea, patternsDock);

  m_reflexionsModel = new CReflexionsModel(m_document, this);
  m_reflexionsView = new QTableView(this);
  m_reflexionsView->setModel(m_reflexionsModel);
  m_reflexionsView->setSortingEnabled(true);
  m_reflexionsView->sortByColumn(static_cast<int>(CReflexionsList::CColumn::kD),
                                 Qt::DescendingOrder);
  m_reflexionsView->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_reflexionsView->setSelectionMode(QAbstractItemView::SingleSelection);
  m_reflexionsView->verticalHeader()->hide();
  m_reflexionsView->verticalHeader()->setDefaultSectionSize(
      m_reflexionsView->fontMetrics().height() + 6);
  // Indices and multiplicities are short; the values share the rest of the width.
  m_reflexionsView->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  for (const auto column : {CReflexionsList::CColumn::kH, CReflexionsList::CColumn::kK,
                            CReflexionsList::CColumn::kL, CReflexionsList::CColumn::kMultiplicity})
    m_reflexionsView->horizontalHeader()->setSectionResizeMode(static_cast<int>(column),
                                                               QHeaderView::ResizeToContents);
  m_reflexionsView->setAlternatingRowColors(true);
  connect(m_reflexionsView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) m_reflexionsModel->SelectRow(current.row());
          });
  connect(m_reflexionsModel, &CReflexionsModel::rowPicked, this, [this](int row) {
    const QSignalBlocker quiet(m_reflexionsView->selectionModel());
    m_reflexionsView->selectRow(row);
    m_reflexionsView->scrollTo(m_reflexionsModel->index(row, 0),
                               QAbstractItemView::PositionAtCenter);
  });
  m_reflexionsDock = new QDockWidget(tr("Reflexions"), this);
  m_reflexionsDock->setObjectName(QStringLiteral("reflexionsDock"));
  m_reflexionsDock->setWidget(m_reflexionsView);
  addDockWidget(Qt::BottomDockWidgetArea, m_reflexionsDock);
  connect(m_reflexionsModel, &CReflexionsModel::patternChanged, this, [this](const QString& title) {
    m_reflexionsDock->setWindowTitle(title.isEmpty() ? tr("Reflexions")
                                                     : tr("Reflexions of %1").arg(title));
  });
  resizeDocks({patternsDock}, {240}, Qt::Horizontal);
  resizeDocks({m_reflexionsDock}, {200}, Qt::Vertical);
}

void CMainWindow::CreateActions() {
  CreateFileMenu();
  CreateEditMenu();
  CreateViewMenu();
  CreateDiffractionMenu();
  CreatePatternMenu();
  QMenu* help = menuBar()->addMenu(tr("&Help"));
  help->addAction(tr("&About Tessaline"), this, [this] {
    QMessageBox::about(this, tr("About Tessaline"),
                       tr("<h3>Tessaline %1</h3><p>Powder-diffraction patterns simulated from "
                          "crystal structures, for X-rays, neutrons, time-of-flight, "
                          "energy-dispersive X-rays and electrons.</p>")
                           .arg(QStringLiteral(TESSALINE_VERSION)));
  });
}

void CMainWindow::CreateFileMenu() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addAction(ThemeIcon("document-new"), tr("&New"), QKeySequence::New, this,
                  &CMainWindow::NewSession);
  file->addAction(ThemeIcon("document-open"), tr("&Open..."), QKeySequence::Open, this,
                  [this] { OpenDialog(true); });
  m_recentMenu = file->addMenu(tr("Open &Recent"));
  RebuildRecentMenu();
  file->addSeparator();
  m_actions.save = file->addAction(ThemeIcon("document-save"), tr("&Save"), QKeySequence::Save,
                                   this, &CMainWindow::Save);
  m_actions.saveAs = file->addAction(ThemeIcon("document-save-as"), tr("Save &As..."),
                                     QKeySequence::SaveAs, this, &CMainWindow::SaveAs);
  file->addAction(tr("&Close"), QKeySequence::Close, this, &CMainWindow::NewSession);
  file->addSeparator();
  file->addAction(tr("&Import..."), this, [this] { OpenDialog(false); });
  QMenu* exports = file->addMenu(tr("&Export"));
  m_actions.exportCif = exports->addAction(tr("Crystal as &CIF..."), this,
                                           [this] { ExportCrystal("cif", tr("CIF (*.cif)")); });
  m_actions.exportVhtx = exports->addAction(tr("Crystal as &Text Crystal File..."), this, [this] {
    ExportCrystal("vhtx", tr("Text crystal files (*.vhtx)"));
  });
  exports->addSeparator();
  m_actions.exportProfile =
      exports->addAction(tr("&Profile..."), this, &CMainWindow::ExportProfile);
  m_actions.exportReflexions =
      exports->addAction(tr("&Reflexion Listing..."), this, [this] { ExportListing(false); });
  m_actions.exportFactors =
      exports->addAction(tr("&Structure-Factor Listing..."), this, [this] { ExportListing(true); });
  exports->addAction(tr("Scattering-&Factor Table..."), this,
                     &CMainWindow::ExportScatteringFactors);
  exports->addSeparator();
  exports->addAction(tr("&Image..."), this, &CMainWindow::ExportImage);
  file->addAction(ThemeIcon("document-print"), tr("&Print..."), QKeySequence::Print, this,
                  &CMainWindow::Print);
  file->addSeparator();
  QAction* quit = file->addAction(ThemeIcon("application-exit"), tr("&Quit"), QKeySequence::Quit,
                                  this, &QWidget::close);
  quit->setMenuRole(QAction::QuitRole);
}

void CMainWindow::CreateEditMenu() {
  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  m_actions.undo = edit->addAction(ThemeIcon("edit-undo"), tr("&Undo"), QKeySequence::Undo, this,
                                   [this] { Undo(false); });
  m_actions.redo = edit->addAction(ThemeIcon("edit-redo"), tr("&Redo"), QKeySequence::Redo, this,
                                   [this] { Undo(true); });
  edit->addSeparator();
  m_actions.copy = edit->addAction(ThemeIcon("edit-copy"), tr("&Copy"), QKeySequence::Copy, this,
                                   &CMainWindow::CopySelection);
  m_actions.paste = edit->addAction(ThemeIcon("edit-paste"), tr("&Paste"), QKeySequence::Paste,
                                    this, &CMainWindow::PastePatterns);
  edit->addAction(tr("Copy &Reflexions as Text"), this, &CMainWindow::CopyListing);
  edit->addSeparator();
  edit->addAction(tr("Select &All"), QKeySequence::SelectAll, this,
                  [this] { m_patternsView->selectAll(); });
}

void CMainWindow::CreateViewMenu() {
  QMenu* view = menuBar()->addMenu(tr("&View"));
  view->addAction(ThemeIcon("zoom-in"), tr("Zoom &In"), QKeySequence::ZoomIn, this,
                  [this] { m_plot->ZoomX(1.5); });
  view->addAction(ThemeIcon("zoom-out"), tr("Zoom &Out"), QKeySequence::ZoomOut, this,
                  [this] { m_plot->ZoomX(1 / 1.5); });
  view->addAction(ThemeIcon("zoom-fit-best"), tr("&Natural Range"), QKeySequence(tr("Ctrl+0")),
                  m_plot, &CPlotWidget::ShowNaturalRange);
  view->addSeparator();
  auto* mode = new QActionGroup(this);
  m_actions.graph = view->addAction(ThemeIcon("view-graph"), tr("&Graph"));
  m_actions.film = view->addAction(ThemeIcon("view-film"), tr("&Film"));
  for (QAction* action : {m_actions.graph, m_actions.film}) {
    action->setCheckable(true);
    mode->addAction(action);
  }
  const auto setFilm = [this](bool film) {
    m_document.Display().film = film;
    m_document.Broadcast(HintCode::kFilmChanged);
    UpdateActions();
  };
  connect(m_actions.graph, &QAction::triggered, this, [setFilm] { setFilm(false); });
  connect(m_actions.film, &QAction::triggered, this, [setFilm] { setFilm(true); });
  const auto toggle = [&](const QIcon& icon, const QString& text, auto apply) {
    QAction* action = view->addAction(icon, text);
    action->setCheckable(true);
    connect(action, &QAction::toggled, this, apply);
    return action;
  };
  m_actions.log = toggle(ThemeIcon("view-log"), tr("&Logarithmic Intensity"), [this](bool on) {
    m_document.Display().logarithmicY = on;
    m_document.Broadcast(HintCode::kGraphOptionsChanged);
    UpdateActions();
  });
  m_actions.stack = toggle(ThemeIcon("view-stack"), tr("&Stack Patterns"), [this](bool on) {
    if (on)
      StackPatterns(m_document.Patterns(), m_document.Display());
    else
      CollapsePatterns(m_document.Patterns(), m_document.Display());
    m_document.Broadcast(HintCode::kGraphChanged);
  });
  view->addSeparator();
  const auto option = [this](bool CPlotOptions::*field) {
    return [this, field](bool on) {
      CPlotOptions options = m_plot->Options();
      options.*field = on;
      m_plot->SetOptions(options);
    };
  };
  m_actions.ticks = toggle({}, tr("Reflexion &Ticks"), option(&CPlotOptions::reflexionRows));
  m_actions.difference = toggle({}, tr("&Difference Curve"), option(&CPlotOptions::difference));
  m_actions.labels = toggle({}, tr("&Peak Labels"), [this](bool on) {
    m_document.Display().peakLabels = on;
    m_document.Broadcast(HintCode::kLabelsChanged);
  });
  m_actions.legend = toggle({}, tr("L&egend"), [this](bool on) {
    m_document.Display().legend = on;
    m_document.Broadcast(HintCode::kGraphOptionsChanged);
  });
  m_actions.grid = toggle({}, tr("G&ridlines"), [this](bool on) {
    m_document.Display().gridlines = on;
    m_document.Broadcast(HintCode::kGraphOptionsChanged);
  });
  view->addSeparator();
  for (QDockWidget* dock : findChildren<QDockWidget*>()) view->addAction(dock->toggleViewAction());
}

void CMainWindow::CreateDiffractionMenu() {
  QMenu* diffraction = menuBar()->addMenu(tr("&Diffraction"));
  const auto name = [](const VHTypes::CChoice& choice) { return QString::fromUtf8(choice.name); };
  m_radiationGroup = AddChoices(
      diffraction, VHTypes::SimulationMenuItems(), name, this,
      [this](uint32_t value) { SetRadiation(static_cast<VHTypes::TSSimulationType>(value)); });
  diffraction->addSeparator();
  m_axisGroup = AddChoices(
      diffraction, VHTypes::AxisChoices(),
      [](const VHTypes::CChoice& choice) {
        return QString::fromUtf8(
            VHTypes::AxisMenuItem(static_cast<VHTypes::TSAxisType>(choice.value)));
      },
      this, [this](uint32_t value) { SetAxis(static_cast<VHTypes::TSAxisType>(value)); });
  diffraction->addSeparator();
  m_profileGroup = AddChoices(
      diffraction->addMenu(tr("Peak Function")), VHTypes::ProfileMenuItems(), name, this,
      [this](uint32_t value) { SetProfile(static_cast<VHTypes::TSProfileType>(value)); });
}

void CMainWindow::CreatePatternMenu() {
  QMenu* pattern = menuBar()->addMenu(tr("&Pattern"));
  CStructuresList& list = m_patternsModel->List();
  m_actions.plot = pattern->addAction(
      tr("&Plot"), this, [this, &list] { m_ui.RunCancellable([&] { list.PlotSelected(); }); });
  m_actions.unplot = pattern->addAction(tr("&Unplot"), this, [this, &list] {
    for (size_t row = 0; row < list.Rows().size(); ++row)
      if (list.Rows()[row].pattern->Selected()) list.SetPlotChecked(row, false);
  });
  m_actions.mix = pattern->addAction(tr("Create &Mixture"), QKeySequence(tr("Ctrl+M")), this,
                                     [&list] { list.MixSelected(); });
  pattern->addSeparator();
  m_actions.remove =
      pattern->addAction(ThemeIcon("edit-delete"), tr("&Remove..."), QKeySequence::Delete, this,
                         [&list] { list.RemoveSelected(); });
  // The Delete key belongs to the list; elsewhere (an edited title) it deletes text.
  m_actions.remove->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  pattern->addAction(tr("Remove &Unplotted..."), this, [&list] { list.RemoveUnplotted(); });
  pattern->addAction(tr("Remove &All..."), this, [&list] { list.RemoveAll(); });
  pattern->addSeparator();
  QMenu* sort = pattern->addMenu(tr("&Sort By"));
  sort->addAction(tr("&Title"), this, [&list] { list.Sort(TSPatternOrder::kTitle); });
  sort->addAction(tr("&Visibility"), this, [&list] { list.Sort(TSPatternOrder::kVisibility); });
  sort->addAction(tr("&Kind"), this, [&list] { list.Sort(TSPatternOrder::kKind); });

  // The list's context menu: the commands on its rows (the list also takes the Delete key).
  const auto separator = [this] {
    auto* line = new QAction(this);
    line->setSeparator(true);
    return line;
  };
  m_patternsView->addActions({m_actions.plot, m_actions.unplot, m_actions.mix, separator(),
                              m_actions.remove, separator(), sort->menuAction()});
}

void CMainWindow::CreateToolBar() {
  QToolBar* bar = addToolBar(tr("Main"));
  bar->setObjectName(QStringLiteral("mainToolBar"));
  bar->addAction(ThemeIcon("document-open"), tr("Open"), this, [this] { OpenDialog(true); });
  bar->addAction(m_actions.save);
  bar->addSeparator();
  m_axisBox = new QComboBox(bar);
  for (const VHTypes::CChoice& choice : VHTypes::AxisChoices())
    m_axisBox->addItem(QString::fromUtf8(choice.name), choice.value);
  m_axisBox->setToolTip(tr("The x axis"));
  connect(m_axisBox, &QComboBox::activated, this, [this](int index) {
    SetAxis(static_cast<VHTypes::TSAxisType>(m_axisBox->itemData(index).toUInt()));
  });
  bar->addWidget(m_axisBox);
  m_radiationBox = new QComboBox(bar);
  for (const VHTypes::CChoice& choice : VHTypes::SimulationMenuItems())
    m_radiationBox->addItem(QString::fromUtf8(choice.name), choice.value);
  m_radiationBox->setToolTip(tr("The radiation"));
  connect(m_radiationBox, &QComboBox::activated, this, [this](int index) {
    SetRadiation(static_cast<VHTypes::TSSimulationType>(m_radiationBox->itemData(index).toUInt()));
  });
  bar->addWidget(m_radiationBox);
  m_wavelengthBox = new QDoubleSpinBox(bar);
  m_wavelengthBox->setPrefix(QStringLiteral("λ "));
  m_wavelengthBox->setSuffix(QStringLiteral(" Å"));
  m_wavelengthBox->setDecimals(5);
  m_wavelengthBox->setRange(0.001, 20.0);
  m_wavelengthBox->setSingleStep(0.01);
  m_wavelengthBox->setKeyboardTracking(false);
  m_wavelengthBox->setToolTip(tr("The wavelength"));
  connect(m_wavelengthBox, &QDoubleSpinBox::valueChanged, this, &CMainWindow::SetWavelength);
  bar->addWidget(m_wavelengthBox);
  bar->addSeparator();
  bar->addAction(m_actions.graph);
  bar->addAction(m_actions.film);
  bar->addAction(m_actions.stack);
  bar->addAction(m_actions.log);
  bar->addSeparator();
  bar->addAction(ThemeIcon("zoom-in"), tr("Zoom In"), this, [this] { m_plot->ZoomX(1.5); });
  bar->addAction(ThemeIcon("zoom-out"), tr("Zoom Out"), this, [this] { m_plot->ZoomX(1 / 1.5); });
  bar->addAction(ThemeIcon("zoom-fit-best"), tr("Natural Range"), m_plot,
                 &CPlotWidget::ShowNaturalRange);
  bar->setIconSize(QSize(22, 22));
}

// --- The document's hints -------------------------------------------------------------------

void CMainWindow::OnUpdate(const CUpdateHint& hint) {
  // A picked reflexion or a selection changes nothing to take back.
  const bool change =
      hint.Code() != HintCode::kReflexionSelected && hint.Code() != HintCode::kPatternsPane;
  if (change && !m_restoring && !std::exchange(m_changePending, true))
    QTimer::singleShot(0, this, &CMainWindow::RememberChange);
  UpdateTitle();
  UpdateActions();
}

void CMainWindow::RememberChange() {
  // The hints of one command arrive together; their state is taken once the command is over.
  if (!m_changePending || m_ui.Busy()) return;
  m_changePending = false;
  m_history.Record(m_document.Session());
  UpdateActions();
}

void CMainWindow::Undo(bool redo) {
  RememberChange();
  std::optional<CSession> state = redo ? m_history.Redo() : m_history.Undo();
  if (!state) return;
  m_restoring = true;
  Reported([&] { m_document.Restore(std::move(*state)); });
  m_restoring = false;
  SyncDiffractionControls();
  UpdateActions();
}

void CMainWindow::UpdateTitle() {
  const QString name =
      m_sessionPath.isEmpty() ? tr("Untitled") : QFileInfo(m_sessionPath).fileName();
  setWindowTitle(QStringLiteral("%1%2 — Tessaline")
                     .arg(name, m_document.Modified() ? QStringLiteral("*") : QString()));
  m_fileLabel->setText(m_sessionPath.isEmpty() ? QString()
                                               : QDir::toNativeSeparators(m_sessionPath));
}

void CMainWindow::UpdateActions() {
  const bool anySelected = std::ranges::any_of(
      m_patternsModel->List().Rows(), [](const auto& row) { return row.pattern->Selected(); });
  const bool crystal = CurrentPattern(true) != nullptr;
  const bool any = !m_document.Patterns().empty();
  for (QAction* action : {m_actions.remove, m_actions.plot, m_actions.unplot, m_actions.mix})
    action->setEnabled(anySelected);
  m_actions.copy->setEnabled(any);
  m_actions.undo->setEnabled(m_history.CanUndo() || m_changePending);
  m_actions.redo->setEnabled(m_history.CanRedo());
  for (QAction* action : {m_actions.exportCif, m_actions.exportVhtx, m_actions.exportReflexions,
                          m_actions.exportFactors})
    action->setEnabled(crystal);
  m_actions.exportProfile->setEnabled(any);
  const CPlotDisplay& display = m_document.Display();
  m_actions.film->setChecked(display.film);
  m_actions.graph->setChecked(!display.film);
  const QSignalBlocker quietLog(m_actions.log), quietLegend(m_actions.legend),
      quietGrid(m_actions.grid), quietTicks(m_actions.ticks), quietDifference(m_actions.difference),
      quietLabels(m_actions.labels);
  m_actions.log->setChecked(display.logarithmicY);
  m_actions.legend->setChecked(display.legend);
  m_actions.grid->setChecked(display.gridlines);
  m_actions.ticks->setChecked(m_plot->Options().reflexionRows);
  m_actions.difference->setChecked(m_plot->Options().difference);
  m_actions.labels->setChecked(display.peakLabels);
  // What only a graph shows.
  for (QAction* action :
       {m_actions.stack, m_actions.ticks, m_actions.difference, m_actions.log, m_actions.labels})
    action->setEnabled(!display.film);
}

void CMainWindow::ShowPeak(const CPickedPeak& peak) {
  // The peak's phase becomes the selected pattern, so that the reflexions list shows it, then
  // every view hears which reflexion it was.
  const auto& rows = m_patternsModel->List().Rows();
  for (size_t row = 0; row < rows.size(); ++row)
    if (rows[row].pattern == peak.pattern && !peak.pattern->Selected())
      m_patternsView->selectionModel()->select(m_patternsModel->IndexOf(row),
                                               QItemSelectionModel::ClearAndSelect);
  // Pointing at a peak changes nothing to save.
  const bool modified = m_document.Modified();
  m_document.Broadcast(CUHReflexionSelected(&m_document, nullptr, peak.pattern, peak.reflexion));
  m_document.SetModified(modified);
}

// --- Diffraction ------------------------------------------------------------------------------

void CMainWindow::SyncDiffractionControls() {
  const CPlotSpec& plotSpec = m_document.PlotSpec();
  for (QAction* action : m_radiationGroup->actions())
    action->setChecked(action->data().toUInt() == plotSpec.SimulationType());
  for (QAction* action : m_axisGroup->actions()) {
    const auto axis = static_cast<VHTypes::TSAxisType>(action->data().toUInt());
    action->setChecked(axis == plotSpec.AxisType());
    action->setEnabled(VHTypes::AxisFitsRadiation(axis, plotSpec.SimulationType()));
  }
  for (QAction* action : m_profileGroup->actions())
    action->setChecked(action->data().toUInt() == plotSpec.ProfileType());
  m_axisBox->setCurrentIndex(m_axisBox->findData(static_cast<uint32_t>(plotSpec.AxisType())));
  m_radiationBox->setCurrentIndex(
      m_radiationBox->findData(static_cast<uint32_t>(plotSpec.SimulationType())));
  const bool hasWavelength = plotSpec.SimulationType() != VHTypes::kSimulationEnergyDispersive &&
                             plotSpec.SimulationType() != VHTypes::kSimulationTimeOfFlight;
  const QSignalBlocker quiet(m_wavelengthBox);
  m_wavelengthBox->setEnabled(hasWavelength);
  m_wavelengthBox->setValue(hasWavelength ? plotSpec.Wavelength() : 0.0);
}

void CMainWindow::PlotSpecChanged(bool axisChanged) {
  SyncDiffractionControls();
  m_document.PlotSpecChanged(axisChanged);
}

void CMainWindow::SetRadiation(VHTypes::TSSimulationType type) {
  CPlotSpec& plotSpec = m_document.PlotSpec();
  if (plotSpec.SimulationType() == type) return;
  plotSpec.SetSimulationType(type);
  // Each radiation keeps the axis it can be read on; energy and time of flight have their own.
  const bool axisChanged = !VHTypes::AxisFitsRadiation(plotSpec.AxisType(), type);
  if (axisChanged)
    plotSpec.SetAxisType(type == VHTypes::kSimulationEnergyDispersive ? VHTypes::kAxisEnergy
                         : type == VHTypes::kSimulationTimeOfFlight   ? VHTypes::kAxisTimeOfFlight
                         : type == VHTypes::kSimulationElectrons      ? VHTypes::kAxisInverseD
                                                                      : VHTypes::kAxisTwoTheta);
  PlotSpecChanged(axisChanged);
}

void CMainWindow::SetAxis(VHTypes::TSAxisType type) {
  CPlotSpec& plotSpec = m_document.PlotSpec();
  if (plotSpec.AxisType() == type || !VHTypes::AxisFitsRadiation(type, plotSpec.SimulationType())) {
    SyncDiffractionControls();
    return;
  }
  plotSpec.SetAxisType(type);
  PlotSpecChanged(true);
}

void CMainWindow::SetProfile(VHTypes::TSProfileType type) {
  if (m_document.PlotSpec().ProfileType() == type) return;
  m_document.PlotSpec().SetProfileType(type);
  PlotSpecChanged(false);
}

void CMainWindow::SetWavelength(double wavelength) {
  CPlotSpec& plotSpec = m_document.PlotSpec();
  if (plotSpec.SimulationType() == VHTypes::kSimulationElectrons)
    plotSpec.SetLambdaTEM(wavelength);
  else
    plotSpec.SetLambda(wavelength);
  PlotSpecChanged(false);
}

// --- Files ------------------------------------------------------------------------------------

void CMainWindow::OpenFiles(const QStringList& paths) {
  if (paths.isEmpty()) return;
  if (m_ui.Busy()) {
    m_deferredFiles += paths;
    return;
  }
  std::vector<std::string> files;
  for (const QString& path : paths) files.push_back(ToPath(path));
  const bool wasEmpty = m_document.Patterns().empty() && m_sessionPath.isEmpty();
  const size_t before = m_document.Patterns().size();
  m_ui.RunCancellable([&] { m_document.AddFiles(files); });
  // Without a selection the first new pattern is chosen, so its reflexions show at once.
  const auto& rows = m_patternsModel->List().Rows();
  if (std::ranges::none_of(rows, [](const auto& row) { return row.pattern->Selected(); }) &&
      m_document.Patterns().size() > before) {
    const auto first = m_document.Patterns()[wasEmpty ? 0 : before];
    for (size_t row = 0; row < rows.size(); ++row)
      if (rows[row].pattern == first)
        m_patternsView->selectionModel()->select(m_patternsModel->IndexOf(row),
                                                 QItemSelectionModel::ClearAndSelect);
  }
  QStringList found;
  for (const QString& path : paths)
    if (QFileInfo::exists(path)) found << path;
  AddRecentFiles(found);
  // A session opened into an empty window becomes the window's file.
  if (wasEmpty && paths.size() == 1 && found.size() == 1 &&
      IsSessionType(CTessFile::DetermineType(ToPath(found.front()))))
    m_sessionPath = QFileInfo(found.front()).absoluteFilePath();
  UpdateTitle();
}

void CMainWindow::AnswerOtherCopies() {
  m_copyServer = std::make_unique<CCopyServer>(CCopyServer::CCallbacks{
      [this] { return m_document.Patterns().empty(); },
      [this](const CVHCommandLineInfo& commandLine) { RunCommandLine(commandLine); },
      [this] {
        // Restored when minimised, still maximised when it was.
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        raise();
        activateWindow();
      }});
  m_copyServer->Listen();
}

void CMainWindow::RunCommandLine(const CVHCommandLineInfo& commandLine) {
  QStringList paths;
  for (const std::string& file : commandLine.files) paths << QString::fromStdString(file);
  if (commandLine.request == CVHCommandLineInfo::ERequest::kPrint) {
    OpenFiles(paths);
    Print();
    return;
  }
  const bool launching = !m_document.Loaded();
  m_document.SetLaunchOpen(launching);
  OpenFiles(paths);
  m_document.SetLaunchOpen(false);
}

void CMainWindow::OpenDialog(bool sessionsToo) {
  const QStringList paths =
      QFileDialog::getOpenFileNames(this, sessionsToo ? tr("Open") : tr("Import"), QString(),
                                    FileTypeFilters(sessionsToo).join(QStringLiteral(";;")));
  OpenFiles(paths);
}

void CMainWindow::NewSession() {
  if (!MayDiscardSession()) return;
  m_document.Reset();
  m_sessionPath.clear();
  m_plot->ShowNaturalRange();
  UpdateTitle();
}

bool CMainWindow::MayDiscardSession() {
  if (!m_document.Modified() || m_document.Patterns().empty()) return true;
  const QString name =
      m_sessionPath.isEmpty() ? tr("Untitled") : QFileInfo(m_sessionPath).fileName();
  const auto answer = QMessageBox::warning(
      this, tr("Unsaved Changes"), tr("Save the changes to \"%1\" before closing it?").arg(name),
      QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
  if (answer == QMessageBox::Save) return Save();
  return answer == QMessageBox::Discard;
}

bool CMainWindow::Save() {
  return m_sessionPath.isEmpty() ? SaveAs() : SaveSession(m_sessionPath);
}

bool CMainWindow::SaveAs() {
  QString path = QFileDialog::getSaveFileName(
      this, tr("Save Session"), m_sessionPath.isEmpty() ? tr("Untitled.tessaline") : m_sessionPath,
      tr("Sessions (*.tessaline)"));
  if (path.isEmpty()) return false;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".tessaline");
  return SaveSession(path);
}

bool CMainWindow::SaveSession(const QString& path) {
  if (!m_document.CalculateBeforeSaving()) return false;
  CSession session = m_document.Session();
  const QRect frame = geometry();
  session.window.rect = {static_cast<double>(frame.left()), static_cast<double>(frame.top()),
                         static_cast<double>(frame.right() + 1),
                         static_cast<double>(frame.bottom() + 1)};
  if (!Reported([&] { WriteSessionFile(ToPath(path), session); })) return false;
  m_sessionPath = QFileInfo(path).absoluteFilePath();
  m_document.SetModified(false);
  AddRecentFiles({m_sessionPath});
  UpdateTitle();
  return true;
}

bool CMainWindow::Reported(const std::function<void()>& operation) {
  try {
    operation();
    return true;
  } catch (const CVHException& error) {
    m_ui.Alert(error);
  } catch (const std::exception& error) {
    m_ui.Alert(CVHXMFC(kSeverityMessage, 0, 0, error.what()));
  }
  return false;
}

void CMainWindow::AddRecentFiles(const QStringList& paths) {
  if (paths.isEmpty()) return;
  QSettings settings;
  settings.beginGroup(kSettingsGroup);
  QStringList recent = settings.value(QStringLiteral("RecentFiles")).toStringList();
  for (const QString& path : paths) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    recent.removeAll(absolute);
    recent.prepend(absolute);
  }
  while (recent.size() > kRecentFiles) recent.removeLast();
  settings.setValue(QStringLiteral("RecentFiles"), recent);
  settings.endGroup();
  RebuildRecentMenu();
}

void CMainWindow::RebuildRecentMenu() {
  m_recentMenu->clear();
  QSettings settings;
  const QStringList recent =
      settings.value(kSettingsGroup + QStringLiteral("/RecentFiles")).toStringList();
  for (int i = 0; i < recent.size(); ++i) {
    const QString& path = recent[i];
    QAction* action = m_recentMenu->addAction(
        QStringLiteral("&%1  %2").arg(i + 1).arg(QFileInfo(path).fileName()), this,
        [this, path] { OpenFiles({path}); });
    action->setToolTip(path);
  }
  m_recentMenu->setEnabled(!recent.isEmpty());
}

// --- Exports ----------------------------------------------------------------------------------

std::shared_ptr<CTSPattern> CMainWindow::CurrentPattern(bool crystalOnly) const {
  std::shared_ptr<CTSPattern> plotted;
  for (const auto& row : m_patternsModel->List().Rows()) {
    const auto& pattern = row.pattern;
    if (crystalOnly && pattern->GetKind() != CTSPattern::kCrystal) continue;
    if (pattern->Selected()) return pattern;
    if (!plotted && pattern->Plotted()) plotted = pattern;
  }
  return plotted;
}

void CMainWindow::ExportCrystal(const char* extension, const QString& filter) {
  const auto pattern = CurrentPattern(true);
  if (!pattern) return;
  const QString title = FromUtf8(pattern->Title());
  QString path = QFileDialog::getSaveFileName(
      this, tr("Export Crystal"), title + QLatin1Char('.') + QLatin1String(extension), filter);
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += QLatin1Char('.') + QLatin1String(extension);
  Reported([&] { WriteCrystalFile(ToPath(path), *pattern->Crystal(), pattern->Title()); });
}

void CMainWindow::ExportProfile() {
  const auto pattern = CurrentPattern(false);
  if (!pattern) return;
  const QString path = QFileDialog::getSaveFileName(
      this, tr("Export Profile"), FromUtf8(pattern->Title()) + QStringLiteral("-profile.txt"),
      tr("Profile files (*.txt)"));
  if (path.isEmpty()) return;
  Reported([&] {
    const CPlotSpec& plotSpec = m_document.PlotSpec();
    WriteWholeFile(ToPath(path),
                   CTSProfileFile::ProfileText(*pattern, pattern->GetProfile(plotSpec), plotSpec));
  });
}

void CMainWindow::ExportListing(bool structureFactors) {
  const auto pattern = CurrentPattern(true);
  if (!pattern) return;
  const QString suffix = structureFactors ? QStringLiteral("-structure-factors.txt")
                                          : QStringLiteral("-reflexions.txt");
  const QString path = QFileDialog::getSaveFileName(
      this,
      structureFactors ? tr("Export Structure-Factor Listing") : tr("Export Reflexion Listing"),
      FromUtf8(pattern->Title()) + suffix, tr("Listings (*.txt)"));
  if (path.isEmpty()) return;
  Reported([&] {
    WriteListingFile(ToPath(path),
                     structureFactors ? CListingKind::kStructureFactors : CListingKind::kReflexions,
                     {CListingBlock{pattern->Title(), *pattern->Crystal()}}, m_document.PlotSpec());
  });
}

void CMainWindow::ExportScatteringFactors() {
  const QString path = QFileDialog::getSaveFileName(this, tr("Export Scattering-Factor Table"),
                                                    tr("scattering-factors.txt"),
                                                    tr("Scattering-factor tables (*.txt)"));
  if (path.isEmpty()) return;
  Reported([&] { WriteScatteringFactorFile(ToPath(path), BuiltInScatteringFactors()); });
}

void CMainWindow::ExportImage() {
  QString path = QFileDialog::getSaveFileName(
      this, tr("Export Image"), tr("plot.png"),
      tr("PNG image (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)"));
  if (path.isEmpty()) return;
  if (!PictureFormatOf(ToPath(path))) path += QStringLiteral(".png");
  // The picture shows what the screen shows, at twice the screen's resolution.
  CPictureSize size;
  size.width = m_plot->width() * 2;
  size.height = m_plot->height() * 2;
  Reported([&] {
    const CPlotDisplay& display = m_document.Display();
    WritePicture(
        ToPath(path), *PictureFormatOf(ToPath(path)), size,
        [this](CCanvas& canvas, CRectF surface) { m_plot->Draw(canvas, surface); },
        display.showTitle ? display.title : std::string());
  });
}

void CMainWindow::Print() {
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageOrientation(QPageLayout::Landscape);
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() != QDialog::Accepted) return;
  QPainter painter(&printer);
  const QRectF page = printer.pageRect(QPrinter::DevicePixel);
  COutputScaleScope scale(printer.resolution());
  CPainterCanvas canvas(painter);
  m_plot->Draw(canvas,
               {0.0f, 0.0f, static_cast<float>(page.width()), static_cast<float>(page.height())});
}

// --- Clipboard --------------------------------------------------------------------------------

void CMainWindow::CopySelection() {
  CPatternList patterns;
  for (const auto& pattern : m_document.Patterns())
    if (pattern->Selected()) patterns.push_back(pattern);
  auto* data = new QMimeData;
  if (!patterns.empty()) {
    // The patterns travel as a session in memory: the same bytes a saved session holds.
    QTemporaryDir folder;
    const std::string path = ToPath(folder.filePath(QStringLiteral("clipboard.tessaline")));
    CSession session = m_document.Session();
    session.patterns = patterns;
    if (!Reported([&] { WriteSessionFile(path, session); })) {
      delete data;
      return;
    }
    QFile file(QString::fromStdString(path));
    if (file.open(QIODevice::ReadOnly)) data->setData(kPatternClipboardFormat, file.readAll());
    QStringList titles;
    for (const auto& pattern : patterns) titles << FromUtf8(pattern->Title());
    data->setText(titles.join(QLatin1Char('\n')));
  }
  data->setImageData(m_plot->grab().toImage());
  QApplication::clipboard()->setMimeData(data);
}

void CMainWindow::PastePatterns() {
  const QMimeData* data = QApplication::clipboard()->mimeData();
  if (!data || !data->hasFormat(kPatternClipboardFormat)) return;
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("clipboard.tessaline"));
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(data->data(kPatternClipboardFormat)) < 0)
    return;
  file.close();
  Reported([&] {
    const CSession pasted = ReadSessionFile(ToPath(path));
    m_document.InsertPatterns(pasted.patterns, m_document.Patterns().size());
  });
}

void CMainWindow::CopyListing() {
  const auto pattern = CurrentPattern(true);
  if (!pattern) return;
  QApplication::clipboard()->setText(QString::fromStdString(
      ListingText(CListingKind::kReflexions, {CListingBlock{pattern->Title(), *pattern->Crystal()}},
                  m_document.PlotSpec())));
}

// --- Window state -----------------------------------------------------------------------------

void CMainWindow::RestoreWindowState() {
  QSettings settings;
  settings.beginGroup(kSettingsGroup);
  const bool placed = restoreGeometry(settings.value(QStringLiteral("Geometry")).toByteArray());
  restoreState(settings.value(QStringLiteral("DockState")).toByteArray());
  settings.endGroup();
  if (placed) return;
  // The first start: a comfortable size, never larger than the screen, in its middle.
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  const QSize size = QSize(1400, 900).boundedTo(screen.size() * 0.9);
  setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, screen));
}

void CMainWindow::SaveWindowState() {
  QSettings settings;
  settings.beginGroup(kSettingsGroup);
  settings.setValue(QStringLiteral("Geometry"), saveGeometry());
  settings.setValue(QStringLiteral("DockState"), saveState());
  settings.endGroup();
  if (m_preferences) {
    const QRect frame = normalGeometry();
    m_preferences->mainFrameRect.Set(
        {frame.left(), frame.top(), frame.right() + 1, frame.bottom() + 1});
    m_preferences->mainFrameMaximized.Set(isMaximized());
    m_preferences->Save(CVHPreferences::kSaveWindows);
  }
}

void CMainWindow::closeEvent(QCloseEvent* event) {
  if (!MayDiscardSession()) {
    event->ignore();
    return;
  }
  SaveWindowState();
  m_document.SetClosing(true);
  event->accept();
}
