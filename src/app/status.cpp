#include "app/status.h"

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "app/status_manager.h"

namespace {

struct CThreadStatus {
  std::deque<CStatusEntry> stack;
  uint32_t disabled = 0;  // non-zero: the thread's entries are not shown
};

// The stacks of all registered threads and the manager, under one process-wide mutex. The
// mutex is never held while the manager is called.
struct CStatusRegistry {
  std::mutex mutex;
  std::map<std::thread::id, CThreadStatus> threads;
  std::shared_ptr<CVHStatusMgr> manager;

  static CStatusRegistry& Instance() {
    static CStatusRegistry registry;
    return registry;
  }

  CThreadStatus* Find() {
    const auto found = threads.find(std::this_thread::get_id());
    return found == threads.end() ? nullptr : &found->second;
  }
};

// Hands the calling thread's top entry (or, with an empty stack, nothing) to the manager.
void Refresh() {
  CStatusRegistry& registry = CStatusRegistry::Instance();
  std::shared_ptr<CVHStatusMgr> manager;
  std::optional<CStatusEntry> top;
  {
    std::lock_guard lock(registry.mutex);
    CThreadStatus* state = registry.Find();
    if (!state || state->disabled != 0 || !registry.manager) return;
    manager = registry.manager;
    if (!state->stack.empty()) {
      state->stack.back().Normalise();
      top = state->stack.back();
    }
  }
  if (top) {
    manager->Update(top->text, top->Fraction());
  } else {
    manager->ResetLastRefresh();
    manager->Update(std::string(), 0.0);
  }
}

// Runs `change` on the calling thread's top entry; false when there is none.
template <class Change>
bool ChangeTop(Change change) {
  CStatusRegistry& registry = CStatusRegistry::Instance();
  std::lock_guard lock(registry.mutex);
  CThreadStatus* state = registry.Find();
  if (!state || state->stack.empty()) return false;
  change(state->stack.back());
  return true;
}

}  // namespace

void CStatusEntry::Normalise() {
  if (lower > upper) std::swap(lower, upper);
  if (value < lower)
    value = lower;
  else if (value > upper)
    value = upper;
}

double CStatusEntry::Fraction() const {
  if (value == lower) return 0.0;
  if (upper == lower) return 1.0;
  return std::clamp((value - lower) / (upper - lower), 0.0, 1.0);
}

void RegisterStatusThread() {
  CStatusRegistry& registry = CStatusRegistry::Instance();
  std::lock_guard lock(registry.mutex);
  registry.threads.try_emplace(std::this_thread::get_id());
  if (!registry.manager) registry.manager = std::make_shared<CVHStatusMgr>();
}

void UnregisterStatusThread() {
  std::shared_ptr<CVHStatusMgr> stopped;  // released after the mutex
  CStatusRegistry& registry = CStatusRegistry::Instance();
  std::lock_guard lock(registry.mutex);
  registry.threads.erase(std::this_thread::get_id());
  if (registry.threads.empty()) stopped = std::move(registry.manager);
}

std::shared_ptr<CVHStatusMgr> StatusManager() {
  CStatusRegistry& registry = CStatusRegistry::Instance();
  std::lock_guard lock(registry.mutex);
  return registry.manager;
}

CStatus::CStatus(Formatted, std::string text) {
  CStatusRegistry& registry = CStatusRegistry::Instance();
  {
    std::lock_guard lock(registry.mutex);
    if (CThreadStatus* state = registry.Find()) {
      state->stack.push_back(CStatusEntry{std::move(text)});
      m_pushed = true;
    }
  }
  if (m_pushed) Refresh();
}

CStatus::~CStatus() {
  if (!m_pushed) return;
  CStatusRegistry& registry = CStatusRegistry::Instance();
  {
    std::lock_guard lock(registry.mutex);
    CThreadStatus* state = registry.Find();
    if (!state || state->stack.empty()) return;  // the thread was unregistered meanwhile
    state->stack.pop_back();
  }
  Refresh();
}

void CStatus::ReplaceTopText(std::string text) {
  if (!ChangeTop([&](CStatusEntry& top) { top.text = text; })) return;
  // A short-lived entry with the new text gets it on screen now; popping it shows the top
  // entry again, now with its new text.
  CStatus shown(Formatted{}, std::move(text));
}

void CStatus::SetTopValue(double value, std::optional<std::string> text) {
  const bool changed = ChangeTop([&](CStatusEntry& top) {
    top.value = value;
    if (text) top.text = std::move(*text);
    top.Normalise();
  });
  if (changed) Refresh();
}

void CStatus::SetTopRange(double lower, double upper) {
  const bool changed = ChangeTop([&](CStatusEntry& top) {
    top.lower = lower;
    top.upper = upper;
    top.Normalise();
  });
  if (changed) Refresh();
}

CStatusSwitch::CStatusSwitch(bool disabled) {
  CStatusRegistry& registry = CStatusRegistry::Instance();
  std::lock_guard lock(registry.mutex);
  if (CThreadStatus* state = registry.Find()) {
    m_previous = state->disabled;
    state->disabled = disabled ? 1 : 0;
  }
}

CStatusSwitch::~CStatusSwitch() {
  if (!m_previous) return;
  CStatusRegistry& registry = CStatusRegistry::Instance();
  std::lock_guard lock(registry.mutex);
  if (CThreadStatus* state = registry.Find()) state->disabled = *m_previous;
}
