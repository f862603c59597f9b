#include "document/session_history.h"

void CSessionHistory::Record(const CSession& session) {
  m_past.push_back(Capture(session));
  if (m_past.size() > kDepth) m_past.erase(m_past.begin());
  m_undone.clear();
}

std::optional<CSession> CSessionHistory::Undo() {
  if (!CanUndo()) return std::nullopt;
  m_undone.push_back(std::move(m_past.back()));
  m_past.pop_back();
  return Rebuild(m_past.back());
}

std::optional<CSession> CSessionHistory::Redo() {
  if (!CanRedo()) return std::nullopt;
  m_past.push_back(std::move(m_undone.back()));
  m_undone.pop_back();
  return Rebuild(m_past.back());
}

void CSessionHistory::Clear() {
  m_past.clear();
  m_undone.clear();
}

CSessionHistory::CState CSessionHistory::Capture(const CSession& session) {
  CState state{session.plotSpec, session.display, {}, ComponentPlacesByIdentity(session.patterns)};
  for (const auto& pattern : session.patterns)
    state.patterns.push_back(CTSPattern::TransferImage(*pattern));
  return state;
}

CSession CSessionHistory::Rebuild(const CState& state) {
  CSession session;
  session.plotSpec = state.plotSpec;
  session.display = state.display;
  for (const auto& image : state.patterns)
    session.patterns.push_back(CTSPattern::NewPatternFromTransferImage(image));
  LinkComponents(session.patterns, state.components);
  return session;
}
