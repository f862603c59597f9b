#include "document/tess_doc.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <optional>

#include "app/status.h"
#include "errors/exceptions.h"
#include "files/crystal_files.h"
#include "files/observed_files.h"
#include "files/session_file.h"
#include "files/tess_file.h"
#include "instances/named_messages.h"
#include "instances/vh_message.h"
#include "patterns/crystal_pattern.h"
#include "patterns/mixture_pattern.h"
#include "patterns/observed_pattern.h"
#include "preferences/preferences.h"

namespace {

constexpr unsigned kAddingFilesText = 2300;
constexpr unsigned kAddingPatternsText = 2301;
constexpr unsigned kUncalculatedText = 22857;
constexpr unsigned kManyUncalculatedText = 22858;
constexpr unsigned kOneUncalculatedText = 22859;

// The unit cell scaled to the volume just stored in it, keeping its angles: a and b by the cube
// root of the volume ratio, c so that the volume comes out exactly.
void KeepVolume(CTSCrystal& crystal) {
  constexpr double kDegree = std::numbers::pi / 180.0;
  const double sinGamma = std::sin(crystal.gamma * kDegree),
               sinBeta = std::sin(crystal.beta * kDegree);
  const double current = crystal.a * crystal.b * sinGamma / crystal.cStar;
  if (!(current > 0.0) || !(crystal.volume > 0.0)) return;
  const double scale = std::cbrt(crystal.volume / current);
  const double a = scale * crystal.a, b = scale * crystal.b;
  const double cosAlphaStar =
      std::clamp((std::cos(crystal.gamma * kDegree) * std::cos(crystal.beta * kDegree) -
                  std::cos(crystal.alpha * kDegree)) /
                     (sinGamma * sinBeta),
                 -1.0, 1.0);
  const double sinAlphaStar = std::sin(std::acos(cosAlphaStar));
  crystal.c = crystal.volume / (a * b * sinGamma * sinBeta * sinAlphaStar);
  crystal.a = a;
  crystal.b = b;
}

// The title of a new mixture by what it mixes.
const char* MixtureTitle(const CPatternList& components) {
  const auto all = [&](CTSPattern::Kind kind) {
    return std::ranges::all_of(components, [&](const auto& c) { return c->GetKind() == kind; });
  };
  if (all(CTSPattern::kCrystal)) return "Simulated Mixture";
  if (all(CTSPattern::kObserved)) return "Observed Mixture";
  return "New Mixture";
}

}  // namespace

CTessDoc::CTessDoc(CDocumentUi& ui, const CPreferences* preferences)
    : m_ui(ui), m_preferences(preferences) {
  Reset();
}

void CTessDoc::AddView(CDocumentView& view) {
  m_views.push_back(&view);
}

void CTessDoc::RemoveView(CDocumentView& view) {
  std::erase(m_views, &view);
}

void CTessDoc::Broadcast(const CUpdateHint& hint) {
  m_modified = true;
  React(hint);
  // A view may leave while it is told.
  for (CDocumentView* view : std::vector<CDocumentView*>(m_views))
    if (view != hint.Sender() && std::ranges::find(m_views, view) != m_views.end())
      view->OnUpdate(hint);
}

void CTessDoc::Reset() {
  m_session = CSession{};
  if (m_preferences) {
    m_session.plotSpec = CPlotSpec::FromPreferences(*m_preferences);
    m_session.display = CPlotDisplay::FromPreferences(*m_preferences);
  }
  m_observedReference = 0.0;
  m_loaded = false;
  Broadcast(HintCode::kPatternListChanged);
  // An empty session has nothing to save.
  m_modified = false;
}

void CTessDoc::AddFiles(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  if (paths.size() > kManyItems &&
      !m_ui.Confirm(CVHXFileLotsOfFiles(kSeverityQuestion, 0, 0, static_cast<long>(paths.size()))))
    return;
  CProgress<unsigned long long> progress(kAddingFilesText);
  progress.SetRange(0, paths.size());
  const bool batch = std::exchange(m_batch, paths.size() > 1);
  for (size_t i = 0; i < paths.size() && !m_ui.CancelRequested(); ++i) {
    try {
      AddFile(paths[i], 0, m_launchOpen || m_opening);
    } catch (const CVHException& error) {
      m_ui.Alert(error);
    } catch (const std::exception& error) {
      m_ui.Alert(CVHXMFC(kSeverityMessage, 0, 0, error.what()));
    }
    progress.SetValue(i + 1);
  }
  m_batch = batch;
  AnnounceMerged();
}

void CTessDoc::AnnounceMerged() {
  // Each merge set the modified flag as its file reports (a session just read is unmodified);
  // telling the views about it changes nothing more.
  const bool modified = m_modified;
  Broadcast(HintCode::kPatternListChanged);
  m_modified = modified;
}

bool CTessDoc::Open(const std::string& path) {
  struct CRestore {
    bool& flag;
    bool value;
    ~CRestore() { flag = value; }
  } opening{m_opening, std::exchange(m_opening, true)};
  const bool added = AddFile(path, 0, true);
  AnnounceMerged();
  return added;
}

CSession CTessDoc::ReadFile(const std::string& path, unsigned typeId, bool& isSession) const {
  std::error_code error;
  if (!std::filesystem::exists(path, error)) throw CVHXFileNotFound();
  // A folder is no file of any type: the system's reason says more than "unsupported".
  if (std::filesystem::is_directory(path, error)) throw CVHXFileNotOpen(kSeverityMessage, EISDIR);
  const unsigned type = typeId ? typeId : CTessFile::DetermineType(path);
  // Named by its path, as the file readers name the files they refuse.
  if (type == CTessFile::kUnknownType) throw CVHXFileUnsupportedType(kSeverityMessage, 0, 0, path);
  if (CTessFile::IsMoleculeType(type)) throw CVHXFileNoMoleculeDiffract();

  const CStatusDisabler quiet;
  CSession incoming{m_session.window, m_session.plotSpec, m_session.display, {}};
  isSession = IsSessionType(type);
  if (isSession) return ReadSessionFile(path, incoming);
  // A file of structures or data shows at once: its patterns come plotted, to be calculated.
  const auto add = [&](std::shared_ptr<CTSPattern> pattern) {
    pattern->SetPlotted(true);
    pattern->SetNeedsCalculation(true);
    m_ui.SetUpFilePattern(*pattern);
    incoming.patterns.push_back(std::move(pattern));
  };
  if (IsObservedDataType(type)) {
    add(ReadObservedPattern(path));
    return incoming;
  }
  for (CCrystalFile& file : ReadCrystalFiles(path)) {
    auto pattern = m_preferences
                       ? std::make_shared<CTSCrystalPattern>(*m_preferences)
                       : std::make_shared<CTSCrystalPattern>(CTSPattern::BuiltInDefaults{});
    *pattern->Crystal() = std::move(file.crystal);
    pattern->SetPath(path);
    pattern->SetTitle(file.title);
    add(std::move(pattern));
  }
  return incoming;
}

bool CTessDoc::AddFile(const std::string& path, unsigned typeId, bool restoreWindow) {
  bool isSession = false;
  std::optional<CSession> incoming;
  m_ui.RunLongWork([&] { incoming = ReadFile(path, typeId, isSession); });
  const bool added = !incoming->patterns.empty();
  Merge(std::move(*incoming), isSession, restoreWindow);
  return added;
}

void CTessDoc::Merge(CSession incoming, bool isSession, bool restoreWindow) {
  const bool restore =
      restoreWindow && !m_loaded && !incoming.window.rect.Empty() && m_ui.MayRestoreWindow();
  // What is new is calculated before it joins, with the plot specification it will be drawn
  // with, so that a pattern that cannot be calculated leaves the session as it was. The
  // patterns already in the session are current: only a session changes the specification, and
  // a session brings all its patterns.
  const bool needed =
      std::ranges::any_of(incoming.patterns, [](const auto& p) { return p->NeedsCalculation(); });
  if (needed) CalculatePlotted(incoming.patterns, incoming.plotSpec);
  // A session written elsewhere may hold patterns never given a colour, which would draw
  // unseen.
  ForEachPattern(incoming.patterns, [](CTSPattern& pattern) { pattern.AssignAutomaticColour(); });
  for (const auto& pattern : incoming.patterns) pattern->SetNeedsCalculation(false);
  if (isSession) {
    m_session.patterns = std::move(incoming.patterns);
    m_session.window = incoming.window;
    // Once something is loaded the plot keeps its title: the user's, not the next file's.
    const std::string title = m_session.display.title;
    const bool showTitle = m_session.display.showTitle;
    m_session.plotSpec = incoming.plotSpec;
    m_session.display = incoming.display;
    if (m_loaded) m_session.display.title = title, m_session.display.showTitle = showTitle;
  } else {
    std::ranges::move(incoming.patterns, std::back_inserter(m_session.patterns));
  }
  if (restore) m_ui.RestoreWindow(incoming.window.rect);
  if (needed) AfterRecalculation(true, false, !m_batch);
  // Whatever waits for new data (palettes, the inspector) hears of it, with the document.
  CVHMsgGeneral(NamedMessage(VHMsgName::DatasetRead), reinterpret_cast<CVHMsgArgument>(this))
      .Send();
  m_loaded = true;
  // A session just read is as it was saved; anything else is a change to save.
  m_modified = !isSession;
}

void CTessDoc::PlotPatterns(const CPatternList& patterns) {
  if (patterns.empty()) return;
  CProgress<unsigned long long> progress(kAddingPatternsText);
  progress.SetRange(0, patterns.size());
  // A mixture sums what its components show: one that holds a pattern plotted now is summed
  // again.
  bool mixturesChanged = false;
  for (const auto& pattern : m_session.patterns) {
    const CPatternList* components = pattern->Components();
    if (!components) continue;
    if (std::ranges::any_of(*components, [&](const auto& c) {
          return std::ranges::find(patterns, c) != patterns.end();
        })) {
      pattern->ClearProfile();
      mixturesChanged = true;
    }
  }
  bool plotted = false, calculated = false;
  for (size_t i = 0; i < patterns.size() && !m_ui.CancelRequested(); ++i) {
    CTSPattern& pattern = *patterns[i];
    pattern.SetPlotted(true);
    plotted = true;
    if (pattern.NeedsCalculation()) {
      Calculate(pattern, m_session.plotSpec);
      calculated = true;
    }
    progress.SetValue(i + 1);
  }
  if (calculated) m_autoscale.y = true;
  if (plotted || mixturesChanged) Broadcast(HintCode::kPlottedSetChanged);
}

void CTessDoc::UnplotPatterns(const CPatternList& patterns) {
  for (const auto& pattern : patterns) pattern->SetPlotted(false);
  Broadcast(HintCode::kPlottedSetChanged);
}

void CTessDoc::RecalculatePlotted(bool rescale, bool rescaleX, bool notify) {
  CalculatePlotted(m_session.patterns, m_session.plotSpec);
  AfterRecalculation(rescale, rescaleX, notify);
}

void CTessDoc::PlotSpecChanged(bool rescaleX) {
  ForEachPattern(m_session.patterns,
                 [](CTSPattern& pattern) { pattern.SetNeedsCalculation(true); });
  RecalculatePlotted(true, rescaleX, true);
}

void CTessDoc::AfterRecalculation(bool rescale, bool rescaleX, bool notify) {
  if (rescale &&
      std::ranges::any_of(m_session.patterns, [](const auto& p) { return p->Plotted(); })) {
    m_autoscale.y = true;
    m_autoscale.x = m_autoscale.x || rescaleX;
  }
  if (notify)
    Broadcast(CUHRequestPlotUpdate(this));
  else
    m_modified = true;
}

bool CTessDoc::RemovePatterns(const CPatternList& patterns) {
  bool removed = false;
  for (const auto& pattern : patterns) {
    removed = std::erase(m_session.patterns, pattern) > 0 || removed;
    // A mixture never sums a pattern that is gone from the session.
    ForEachPattern(m_session.patterns, [&](CTSPattern& holder) {
      if (holder.GetKind() == CTSPattern::kMixture &&
          static_cast<CTSMixturePattern&>(holder).RemoveComponent(pattern))
        removed = true;
    });
  }
  return removed;
}

std::shared_ptr<CTSPattern> CTessDoc::CreateMixture(const CPatternList& patterns) {
  std::shared_ptr<CTSMixturePattern> mixture;
  try {
    mixture = NewMixture(patterns, m_session.patterns);
  } catch (const CVHException& refusal) {
    m_ui.Alert(refusal);
    return nullptr;
  }
  mixture->SetTitle(MixtureTitle(patterns));
  mixture->SetPlotted(true);
  mixture->SetSelected(true);
  Calculate(*mixture, m_session.plotSpec);
  m_session.patterns.push_back(mixture);
  Broadcast(HintCode::kPatternListChanged);
  return mixture;
}

void CTessDoc::InsertPatterns(const CPatternList& patterns, size_t index) {
  // Patterns from elsewhere (another running copy) were calculated for its plot specification.
  CalculatePlotted(patterns, m_session.plotSpec);
  CPatternList& list = m_session.patterns;
  list.insert(list.begin() + static_cast<std::ptrdiff_t>(std::min(index, list.size())),
              patterns.begin(), patterns.end());
  m_autoscale = {true, true};
  Broadcast(HintCode::kPatternListChanged);
}

void CTessDoc::MovePattern(const std::shared_ptr<CTSPattern>& pattern, size_t index) {
  const auto from = std::ranges::find(m_session.patterns, pattern);
  if (from == m_session.patterns.end()) return;
  const std::shared_ptr<CTSPattern> moved = *from;
  m_session.patterns.erase(from);
  m_session.patterns.insert(m_session.patterns.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                             index, m_session.patterns.size())),
                            moved);
}

void CTessDoc::Restore(CSession session) {
  session.window = m_session.window;
  m_session = std::move(session);
  CalculatePlotted(m_session.patterns, m_session.plotSpec);
  Broadcast(HintCode::kPatternListChanged);
  Broadcast(CUHRequestPlotUpdate(this));
}

bool CTessDoc::CalculateBeforeSaving() {
  std::vector<CTSPattern*> pending;
  ForEachPattern(m_session.patterns, [&](CTSPattern& pattern) {
    if (pattern.NeedsCalculation() && std::ranges::find(pending, &pattern) == pending.end())
      pending.push_back(&pattern);
  });
  if (pending.empty()) return true;
  const auto count = static_cast<long>(pending.size());
  const bool proceed =
      pending.size() == 1
          ? m_ui.Confirm(
                CVHXAlertText(kOneUncalculatedText, kSeverityQuestion, pending[0]->Title()))
          : m_ui.Confirm(CVHXAlertText(
                pending.size() > kManyItems ? kManyUncalculatedText : kUncalculatedText,
                kSeverityQuestion, count));
  if (!proceed) return false;
  Calculate(pending, m_session.plotSpec);
  return true;
}

void CTessDoc::SortPatterns(TSPatternOrder order) {
  ::SortPatterns(m_session.patterns, order);
}

CPatternList CTessDoc::SelectedPatterns() const {
  CPatternList selected;
  std::ranges::copy_if(m_session.patterns, std::back_inserter(selected),
                       [](const auto& p) { return p->Selected(); });
  return selected;
}

void CTessDoc::React(const CUpdateHint& hint) {
  switch (hint.Code()) {
    case HintCode::kBackgroundChanged:
    case HintCode::kSmoothingChanged:
      for (const auto& pattern : SelectedPatterns())
        if (pattern->GetKind() == CTSPattern::kObserved)
          static_cast<CTSObservedPattern&>(*pattern).Smooth();
      break;
    case HintCode::kRecalculatePlotted:
      RecalculatePlotted(true, false, true);
      break;
    case HintCode::kOccupancyChanged:
    case HintCode::kOccupancyChangedByDocument: {
      std::vector<CTSPattern*> updated;
      ForEachPattern(SelectedPatterns(), [&](CTSPattern& pattern) { updated.push_back(&pattern); });
      Calculate(updated, m_session.plotSpec);
      RegenerateReflexions();
      Broadcast(CUHRequestPlotUpdate(this));
      Broadcast(HintCode::kDocumentCommand);
      break;
    }
    case HintCode::kInstrumentChanged:
      RegenerateReflexions();
      m_autoscale.y = true;
      break;
    case HintCode::kReflexionsChanged:
      RegenerateReflexions();
      Broadcast(CUHRequestPlotUpdate(this));
      break;
    case HintCode::kCellChanged:
    case HintCode::kCellChangedKeepingVolume:
      for (const auto& pattern : SelectedPatterns())
        if (CTSCrystal* crystal =
                pattern->GetKind() == CTSPattern::kCrystal ? pattern->Crystal() : nullptr) {
          if (hint.Code() == HintCode::kCellChangedKeepingVolume) KeepVolume(*crystal);
          crystal->UpdateCell();
        }
      CalculatePlotted(m_session.patterns, m_session.plotSpec);
      break;
    case HintCode::kPatternListChanged:
    case HintCode::kPlottedSetChanged:
      AutoscaleObserved();
      break;
    default:
      break;
  }
}

void CTessDoc::RegenerateReflexions() {
  ForEachPattern(m_session.patterns, [&](CTSPattern& pattern) {
    if (pattern.GetKind() != CTSPattern::kCrystal) return;
    pattern.CalculateReflexions(m_session.plotSpec);
    pattern.SetNeedsCalculation(true);
  });
}

void CTessDoc::Calculate(std::span<CTSPattern* const> patterns, const CPlotSpec& plotSpec) {
  if (patterns.empty()) return;
  // Reflexions, then the profile, so that the plot and the scaling find the intensities ready.
  m_ui.RunLongWork([&] {
    for (CTSPattern* pattern : patterns) {
      pattern->Recalculate(plotSpec);
      if (m_ui.WantsProfiles()) pattern->GetProfile(plotSpec);
    }
  });
  for (CTSPattern* pattern : patterns) pattern->SetNeedsCalculation(false);
}

void CTessDoc::Calculate(CTSPattern& pattern, const CPlotSpec& plotSpec) {
  CTSPattern* const one[] = {&pattern};
  Calculate(one, plotSpec);
}

void CTessDoc::CalculatePlotted(const CPatternList& patterns, const CPlotSpec& plotSpec) {
  std::vector<CTSPattern*> plotted;
  for (const auto& pattern : patterns)
    if (pattern->Plotted()) plotted.push_back(pattern.get());
  Calculate(plotted, plotSpec);
}

void CTessDoc::AutoscaleObserved() {
  // Without observed data there is nothing to scale nor a reference to remember, and the
  // largest intensity of every crystal is not worth finding.
  bool anyObserved = false;
  ForEachPattern(m_session.patterns, [&](CTSPattern& pattern) {
    anyObserved = anyObserved || pattern.GetKind() == CTSPattern::kObserved;
  });
  if (!anyObserved) return;
  double reference = 0.0;
  ForEachPattern(m_session.patterns, [&](CTSPattern& pattern) {
    if (pattern.GetKind() == CTSPattern::kCrystal && pattern.Plotted())
      reference = std::max(reference, pattern.LargestPlottedIntensity(0.0, 0.0));
  });
  if (reference == 0.0) return;
  ForEachPattern(m_session.patterns, [&](CTSPattern& pattern) {
    if (pattern.GetKind() != CTSPattern::kObserved) return;
    if (!static_cast<CTSObservedPattern&>(pattern).AutoYScale()) return;
    const double unscaled = pattern.LargestPlottedIntensity(0.0, 0.0) / pattern.YScale();
    if (unscaled > 0.0) pattern.SetYScale(reference / unscaled);
  });
  m_observedReference = reference;
}
