// The session's past, for Undo and Redo: each state a copy of the plot specification, the
// display and every pattern (as its transfer image, which holds the crystal, the data and the
// curve), taken after a change. A restored state is a session of its own objects; a mixture's
// components are linked again to the patterns of the list they stood for.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "files/session.h"
#include "patterns/component_links.h"

class CSessionHistory {
 public:
  // At most this many states are kept; the oldest go first.
  static constexpr size_t kDepth = 32;

  // The state after a change; whatever was undone before it can no longer be redone.
  void Record(const CSession& session);
  bool CanUndo() const { return m_past.size() > 1; }
  bool CanRedo() const { return !m_undone.empty(); }
  // The state before the last change (the window state stays as it is); nothing when there is
  // none.
  std::optional<CSession> Undo();
  std::optional<CSession> Redo();
  void Clear();

 private:
  struct CState {
    CPlotSpec plotSpec = CPlotSpec::BuiltIn();
    CPlotDisplay display;
    std::vector<std::vector<std::byte>> patterns;
    CComponentPlaces components;
  };
  static CState Capture(const CSession& session);
  static CSession Rebuild(const CState& state);

  std::vector<CState> m_past;  // the last one is the present
  std::vector<CState> m_undone;
};
