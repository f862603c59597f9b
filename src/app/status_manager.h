// The status manager: the one object per process that decides when the progress window
// appears, what it shows and how often it is redrawn. Calculating threads hand it text and a
// fraction through Update, which never blocks on the window; the manager's own side (its message
// queue and its one-shot timer) runs when its owner pumps it: the GUI from its event loop, a
// headless run not at all. Time comes from an injectable clock so that the delay and throttle
// rules can be exercised without waiting.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

// Monotonic milliseconds.
class CTickClock {
 public:
  virtual ~CTickClock() = default;
  virtual uint64_t Milliseconds() const = 0;
};

// The process's steady clock.
CTickClock& SystemTickClock();

// The progress window as the manager drives it.
class CStatusDisplay {
 public:
  virtual ~CStatusDisplay() = default;
  // Shows the window (creating it, centred on the main window and top-most without
  // activation, when it is not up yet), sets its label and its bar; the bar runs in
  // indeterminate mode when `indeterminate` is set.
  virtual void Show(const std::string& text, double fraction, bool indeterminate) = 0;
  // Destroys the window.
  virtual void Hide() = 0;
};

class CVHStatusMgr {
 public:
  static constexpr unsigned kTimerId = 7;
  static constexpr uint64_t kShowDelay = 750;      // ms before the window first appears
  static constexpr uint64_t kHandOverInterval = 101;  // ms between hand-overs and refreshes
  static constexpr uint64_t kRefreshPeriod = 100;   // ms the visible window waits to redraw

  // Null clock or display: the system clock, and a display that shows nothing.
  explicit CVHStatusMgr(CTickClock* clock = nullptr, CStatusDisplay* display = nullptr);
  CVHStatusMgr(const CVHStatusMgr&) = delete;
  CVHStatusMgr& operator=(const CVHStatusMgr&) = delete;

  void SetClock(CTickClock* clock);
  void SetDisplay(CStatusDisplay* display);
  // Set by a main window that shows progress itself (in its status bar): updates then go
  // straight to the throttled hand-over even before the progress window exists.
  void SetMainWindowShowsProgress(bool shows) { m_mainWindowShowsProgress = shows; }

  // Calling side, from any thread: store what to show and hand it over, at most once per
  // 101 ms once the window is up.
  void Update(const std::string& text, double fraction);
  // Forget the last refresh, so that the next hand-over is not throttled.
  void ResetLastRefresh() { m_lastRefresh = 0; }

  // Manager side: fire the timer if it is due, then handle the waiting messages.
  void Pump();
  // When the pending timer is due, if one is pending.
  std::optional<uint64_t> TimerDue() const;
  bool HasWindow() const { return m_hasWindow; }

 private:
  uint64_t Now() const { return m_clock->Milliseconds(); }
  void PostSetProgress();
  bool TakeSetProgress();
  void OnSetProgress();
  void OnTimer();
  void StartTimer(uint64_t delay);
  void Refresh();

  CTickClock* m_clock;
  CStatusDisplay* m_display;
  std::atomic<bool> m_mainWindowShowsProgress = false;

  // Manager side only.
  unsigned m_timer = 0;  // id of the pending timer, 0 when none
  uint64_t m_timerDue = 0;
  uint64_t m_timerDelay = 0;

  // Shared by both sides.
  std::atomic<bool> m_hasWindow = false;
  std::atomic<uint64_t> m_lastRefresh = 0;
  std::mutex m_queueLock;
  bool m_messageWaiting = false;  // a StatusSetProgress is queued; repeats coalesce into one

  std::mutex m_lock;  // guards only what to show
  std::string m_text;
  double m_fraction = 0.0;
};

// The text as the window shows it: trailing white space trimmed and, when anything is left,
// exactly one trailing "...".
std::string StatusWindowText(std::string text);
