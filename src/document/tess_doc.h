// The application's one document: the session (the patterns the user opened, the plot
// specification they are calculated and drawn with, the plot's display fields and the saved
// window state). Every change goes through it, and it tells its views with an update hint.
// Plain C++: the desktop application's windows are views registered here, and the command line
// drives the same operations.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "document/document_ui.h"
#include "document/update_hint.h"
#include "files/session.h"

class CPreferences;

class CTessDoc {
 public:
  // More files or patterns than this at once ask first.
  static constexpr size_t kManyItems = 20;

  // Patterns made from files take their settings from the preferences, or the built-in
  // defaults without them; the plot specification likewise.
  explicit CTessDoc(CDocumentUi& ui, const CPreferences* preferences = nullptr);
  CTessDoc(const CTessDoc&) = delete;
  CTessDoc& operator=(const CTessDoc&) = delete;

  // --- The session ---------------------------------------------------------------------------
  const CPatternList& Patterns() const { return m_session.patterns; }
  CPlotSpec& PlotSpec() { return m_session.plotSpec; }
  const CPlotSpec& PlotSpec() const { return m_session.plotSpec; }
  CPlotDisplay& Display() { return m_session.display; }
  const CPlotDisplay& Display() const { return m_session.display; }
  const CWindowState& WindowState() const { return m_session.window; }
  const CSession& Session() const { return m_session; }

  bool Modified() const { return m_modified; }
  void SetModified(bool modified) { m_modified = modified; }
  bool Loaded() const { return m_loaded; }
  bool Batch() const { return m_batch; }
  bool Closing() const { return m_closing; }
  void SetClosing(bool closing) { m_closing = closing; }
  bool LaunchOpen() const { return m_launchOpen; }
  // Set while the files given at start-up are opened: they may place the main window.
  void SetLaunchOpen(bool launchOpen) { m_launchOpen = launchOpen; }
  // The largest plotted crystal intensity that observed patterns were last scaled to; 0 before.
  double ObservedReference() const { return m_observedReference; }
  // The plot's pending rescale: set by the operations that change what is drawn, taken by the
  // plot when it redraws.
  struct CAutoscale {
    bool x = false, y = false;
  };
  CAutoscale TakeAutoscale() { return std::exchange(m_autoscale, {}); }

  CDocumentUi& Ui() { return m_ui; }

  // --- Views ---------------------------------------------------------------------------------
  void AddView(CDocumentView& view);
  void RemoveView(CDocumentView& view);
  // Marks the document modified, reacts to the hint's code, then tells every view but the
  // sender.
  void Broadcast(const CUpdateHint& hint);
  void Broadcast(int32_t code, CDocumentView* sender = nullptr) {
    Broadcast(CUpdateHint(code, this, sender));
  }

  // --- Operations ----------------------------------------------------------------------------
  // An empty session: no patterns, the default plot specification, display and window state.
  void Reset();
  // Opens every path in order under the progress "Adding files to diffraction" (more than 20
  // ask first); a file that fails is alerted and the next one read; cancelling stops after the
  // current file.
  void AddFiles(const std::vector<std::string>& paths);
  // Reads one file (type 0: found from the file) and merges it; errors are raised, and the
  // session is left as it was. Returns whether patterns were added.
  bool AddFile(const std::string& path, unsigned typeId = 0, bool restoreWindow = false);
  // Plots the patterns and calculates those that need it.
  void PlotPatterns(const CPatternList& patterns);
  // After the caller cleared their plotted flags: the plot draws without them.
  void UnplotPatterns(const CPatternList& patterns);
  // After a change of the plot specification (radiation, axis, wavelength, peak shape): the
  // plotted patterns are calculated anew at once, the others when they are next plotted; the
  // plot rescales y (and x with `rescaleX`, for a new axis) and is asked to update.
  void PlotSpecChanged(bool rescaleX);
  // Calculates every plotted pattern with the plot specification; with `rescale` the plot
  // rescales y (and x with `rescaleX`); with `notify` the plot is asked to update.
  void RecalculatePlotted(bool rescale, bool rescaleX, bool notify);
  // Removes the patterns from the session, and from every mixture that holds them. Returns
  // whether any was removed.
  bool RemovePatterns(const CPatternList& patterns);
  // A new mixture of the patterns, plotted, selected and calculated, at the end of the list.
  // Refused (alerted) when one of them is a mixture or a component of one.
  std::shared_ptr<CTSPattern> CreateMixture(const CPatternList& patterns);
  // Opens a file as the File menu does: a session replaces the one open, the views are told.
  bool Open(const std::string& path);
  // Patterns dropped or pasted into the list at `index` (at the end when beyond it); the plot
  // rescales to show them.
  void InsertPatterns(const CPatternList& patterns, size_t index);
  // Moves the pattern to `index` of the list.
  void MovePattern(const std::shared_ptr<CTSPattern>& pattern, size_t index);
  // Before a session is saved: the patterns not yet calculated (never plotted) are calculated,
  // after asking; false when the user cancels.
  bool CalculateBeforeSaving();
  // Puts back an earlier state of the session (Undo, Redo): its patterns, plot specification
  // and display; the window stays where it is. The plotted patterns are calculated for it.
  void Restore(CSession session);
  // Sorts the list, and each mixture's components.
  void SortPatterns(TSPatternOrder order);

 private:
  // One file's contents: a session replaces the patterns and the plot specification, any other
  // file appends.
  void Merge(CSession incoming, bool isSession, bool restoreWindow);
  CSession ReadFile(const std::string& path, unsigned typeId, bool& isSession) const;
  // What follows a recalculation: the plot's pending rescale, and the request to update it.
  void AfterRecalculation(bool rescale, bool rescaleX, bool notify);
  // Tells the views that files were merged.
  void AnnounceMerged();
  void React(const CUpdateHint& hint);
  void RegenerateReflexions();
  // Calculates the patterns for the plot specification as one piece of long work.
  void Calculate(std::span<CTSPattern* const> patterns, const CPlotSpec& plotSpec);
  void Calculate(CTSPattern& pattern, const CPlotSpec& plotSpec);
  void CalculatePlotted(const CPatternList& patterns, const CPlotSpec& plotSpec);
  // Observed patterns that scale themselves are scaled so that their maximum meets the largest
  // plotted crystal intensity.
  void AutoscaleObserved();
  CPatternList SelectedPatterns() const;

  CDocumentUi& m_ui;
  const CPreferences* m_preferences;
  CSession m_session;
  std::vector<CDocumentView*> m_views;
  bool m_closing = false;
  bool m_launchOpen = false;
  bool m_opening = false;
  bool m_batch = false;
  bool m_loaded = false;
  bool m_modified = false;
  double m_observedReference = 0.0;
  CAutoscale m_autoscale;
};
