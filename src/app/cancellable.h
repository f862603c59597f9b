// Long operations on the user-interface thread that the user may cancel. While any is
// registered the application watches the keyboard: Escape cancels the most recent one. An
// operation may also ask for the mouse: then any click cancels it too, and the wheel is
// swallowed. The GUI's event filter asks IsWatchingKeyboard / IsWatchingMouse and forwards
// the events; the registry decides their effect.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
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

// Raised by a calculation that found its work abandoned at one of its polls.
class CWorkAbandoned : public std::exception {
 public:
  const char* what() const noexcept override { return "the calculation was abandoned"; }
};

// A time limit for the calculations of the calling thread while the object lives (a batch input
// that may not take longer). The calculation's long loops poll it between their items and, once
// it has passed, leave the rest undone and raise CWorkAbandoned, after their parallel section,
// since nothing may leave an OpenMP team. A structure past its time thus costs little more than
// its time, rather than however long it would have taken.
class CWorkLimit {
 public:
  using CClock = std::chrono::steady_clock;

  explicit CWorkLimit(CClock::time_point deadline);
  ~CWorkLimit();
  CWorkLimit(const CWorkLimit&) = delete;
  CWorkLimit& operator=(const CWorkLimit&) = delete;

  // The calling thread's limit, null without one. A loop takes it before its parallel section:
  // the threads of a team have none of their own.
  static const CWorkLimit* Current();
  bool Passed() const { return CClock::now() >= m_deadline; }

 private:
  CClock::time_point m_deadline;
  const CWorkLimit* m_previous;
};

// The poll of one parallel loop: items are skipped once the limit has passed, and Finish raises
// on the calling thread when any was.
class CWorkLimitPoll {
 public:
  CWorkLimitPoll() : m_limit(CWorkLimit::Current()) {}
  // Whether the loop should leave the rest of its items undone; safe from any thread of a team.
  bool Stop() {
    if (!m_limit) return false;
    if (m_stopped.load(std::memory_order_relaxed)) return true;
    if (!m_limit->Passed()) return false;
    m_stopped.store(true, std::memory_order_relaxed);
    return true;
  }
  void Finish() const {
    if (m_stopped.load(std::memory_order_relaxed)) throw CWorkAbandoned();
  }

 private:
  const CWorkLimit* m_limit;
  std::atomic<bool> m_stopped{false};
};
