// Long operations on the user-interface thread that the user may cancel. While any is
// registered the application watches the keyboard: Escape cancels the most recent one. An
// operation may also ask for the mouse: then any click cancels it too, and the wheel is
// swallowed. The GUI's event filter asks IsWatchingKeyboard / IsWatchingMouse and forwards
// the events; the registry decides their effect.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <mutex>

class CCancellableOperations {
 public:
  // Called to tell an operation's owner that it was cancelled (the "Cancel" message to its
  // window).
  using CNotify = std::function<void()>;

  // The application's registry.
  static CCancellableOperations& Instance();

  // The notification for operations that have none of their own (the main window's).
  void SetDefaultNotify(CNotify notify);

  // Registers an operation and returns its id. It becomes the front entry when a notify
  // target or a cancel flag is given; the flag is cleared.
  uint32_t Begin(CNotify target, bool* cancelFlag, bool blocksMouse);
  void End(uint32_t id);

  bool IsWatchingKeyboard() const;
  bool IsWatchingMouse() const;

  // Escape pressed while the application is in front: cancels the most recent operation.
  // Returns whether the key is swallowed (an operation was cancelled).
  bool HandleEscape();
  // A mouse button pressed, released or double-clicked anywhere in the application: cancels
  // the most recent operation when one blocks the mouse. Returns whether the click is swallowed.
  bool HandleMouseButton();
  // Wheel turns and window activation by the mouse are swallowed while the mouse is watched.
  bool SwallowsWheel() const { return IsWatchingMouse(); }

 private:
  struct CEntry {
    uint32_t id;
    CNotify target;
    bool* cancelFlag;
    bool blocksMouse;
  };

  void UpdateWatching();
  bool CancelFront();

  mutable std::mutex m_lock;
  std::list<CEntry> m_entries;  // most recent first
  uint32_t m_counter = 0;
  bool m_blocksMouse = false;  // some entry asked for the mouse
  bool m_watchingKeyboard = false;
  bool m_watchingMouse = false;
  CNotify m_defaultNotify;
};

// A cancellable operation for the lifetime of the object: Escape (and a click, when it blocks
// the mouse) sets `cancelled`, which the operation polls between its items.
class CCancellableScope {
 public:
  explicit CCancellableScope(bool& cancelled, bool blocksMouse = false)
      : m_id(CCancellableOperations::Instance().Begin({}, &cancelled, blocksMouse)) {}
  ~CCancellableScope() { CCancellableOperations::Instance().End(m_id); }
  CCancellableScope(const CCancellableScope&) = delete;
  CCancellableScope& operator=(const CCancellableScope&) = delete;

 private:
  uint32_t m_id;
};
