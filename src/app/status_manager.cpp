#include "app/status_manager.h"

#include <chrono>

namespace {

class CSteadyTickClock final : public CTickClock {
 public:
  uint64_t Milliseconds() const override {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
  }
};

class CNoDisplay final : public CStatusDisplay {
 public:
  void Show(const std::string&, double, bool) override {}
  void Hide() override {}
};

CStatusDisplay& NoDisplay() {
  static CNoDisplay display;
  return display;
}

constexpr const char* kEllipsis = "...";

}  // namespace

CTickClock& SystemTickClock() {
  static CSteadyTickClock clock;
  return clock;
}

std::string StatusWindowText(std::string text) {
  while (!text.empty() && (text.back() == ' ' || (text.back() >= '\t' && text.back() <= '\r')))
    text.pop_back();
  if (text.empty()) return text;
  if (text.ends_with(kEllipsis)) text.resize(text.size() - 3);
  return text + kEllipsis;
}

CVHStatusMgr::CVHStatusMgr(CTickClock* clock, CStatusDisplay* display)
    : m_clock(clock ? clock : &SystemTickClock()), m_display(display ? display : &NoDisplay()) {}

void CVHStatusMgr::SetClock(CTickClock* clock) { m_clock = clock ? clock : &SystemTickClock(); }

void CVHStatusMgr::SetDisplay(CStatusDisplay* display) {
  m_display = display ? display : &NoDisplay();
}

void CVHStatusMgr::Update(const std::string& text, double fraction) {
  {
    std::lock_guard lock(m_lock);
    m_text = text;
    m_fraction = fraction;
  }
  // Before the window exists every update goes over; the manager coalesces them and its
  // 750 ms delay decides when anything appears.
  if (!m_hasWindow && !m_mainWindowShowsProgress) {
    PostSetProgress();
    return;
  }
  const uint64_t now = Now();
  if (now - m_lastRefresh < kHandOverInterval) return;  // the next hand-over takes it along
  PostSetProgress();
  m_lastRefresh = now;
}

void CVHStatusMgr::PostSetProgress() {
  std::lock_guard lock(m_queueLock);
  m_messageWaiting = true;
}

bool CVHStatusMgr::TakeSetProgress() {
  std::lock_guard lock(m_queueLock);
  const bool waiting = m_messageWaiting;
  m_messageWaiting = false;  // every further one already queued goes with it
  return waiting;
}

void CVHStatusMgr::Pump() {
  if (m_timer != 0 && Now() >= m_timerDue) OnTimer();
  if (TakeSetProgress()) OnSetProgress();
}

std::optional<uint64_t> CVHStatusMgr::TimerDue() const {
  if (m_timer == 0) return std::nullopt;
  return m_timerDue;
}

void CVHStatusMgr::OnSetProgress() {
  if (m_timer != 0) return;  // the pending refresh will pick the new text up
  if (!m_hasWindow) {
    StartTimer(kShowDelay);
    return;
  }
  const uint64_t last = m_lastRefresh;
  const uint64_t elapsed = Now() - last;
  if (last != 0 && elapsed >= kHandOverInterval) {
    Refresh();
    return;
  }
  const uint64_t delay = last == 0 ? kRefreshPeriod : elapsed < kRefreshPeriod ? kRefreshPeriod - elapsed : 0;
  if (delay == 0)
    Refresh();
  else
    StartTimer(delay);
}

void CVHStatusMgr::StartTimer(uint64_t delay) {
  m_timer = kTimerId;
  m_timerDelay = delay;
  m_timerDue = Now() + delay;
}

void CVHStatusMgr::OnTimer() {
  if (TakeSetProgress()) {
    // Updates keep coming: the timer stays and fires again after its delay.
    m_timerDue = Now() + m_timerDelay;
  } else {
    m_timer = 0;
    m_timerDue = 0;
  }
  Refresh();
}

void CVHStatusMgr::Refresh() {
  std::string text;
  double fraction = 0.0;
  {
    std::lock_guard lock(m_lock);
    text = m_text;
    fraction = m_fraction;
  }
  text = StatusWindowText(std::move(text));
  if (text.empty()) {
    if (m_hasWindow) m_display->Hide();
    m_hasWindow = false;
  } else {
    m_hasWindow = true;
    m_display->Show(text, fraction, fraction == 0.0);
  }
  m_lastRefresh = Now();
}
