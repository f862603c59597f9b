#include "app/cancellable.h"

#include <utility>

CCancellableOperations& CCancellableOperations::Instance() {
  static CCancellableOperations operations;
  return operations;
}

void CCancellableOperations::SetDefaultNotify(CNotify notify) {
  std::lock_guard lock(m_lock);
  m_defaultNotify = std::move(notify);
}

uint32_t CCancellableOperations::Begin(CNotify target, bool* cancelFlag, bool blocksMouse) {
  std::lock_guard lock(m_lock);
  const uint32_t id = ++m_counter;
  m_blocksMouse = false;
  for (auto entry = m_entries.begin(); entry != m_entries.end();) {
    if (entry->id == id) {
      entry = m_entries.erase(entry);  // an id reused after the counter wrapped
      continue;
    }
    if (entry->blocksMouse) m_blocksMouse = true;
    ++entry;
  }
  if (target || cancelFlag) {
    m_entries.push_front({id, std::move(target), cancelFlag, blocksMouse});
    if (cancelFlag) *cancelFlag = false;
  }
  if (blocksMouse) m_blocksMouse = true;
  UpdateWatching();
  return id;
}

void CCancellableOperations::UpdateWatching() {
  if (m_entries.empty()) {
    m_watchingKeyboard = false;
    m_watchingMouse = false;
    return;
  }
  m_watchingKeyboard = true;
  m_watchingMouse = m_blocksMouse;
}

void CCancellableOperations::End(uint32_t id) {
  std::lock_guard lock(m_lock);
  m_entries.remove_if([id](const CEntry& entry) { return entry.id == id; });
  if (m_entries.empty()) {
    m_watchingKeyboard = false;
    m_watchingMouse = false;
  }
}

bool CCancellableOperations::IsWatchingKeyboard() const {
  std::lock_guard lock(m_lock);
  return m_watchingKeyboard;
}

bool CCancellableOperations::IsWatchingMouse() const {
  std::lock_guard lock(m_lock);
  return m_watchingMouse;
}

bool CCancellableOperations::CancelFront() {
  CNotify notify;
  {
    std::lock_guard lock(m_lock);
    if (m_entries.empty()) return false;
    CEntry front = std::move(m_entries.front());
    m_entries.pop_front();
    if (m_entries.empty()) {
      m_watchingKeyboard = false;
      m_watchingMouse = false;
    }
    if (front.cancelFlag) *front.cancelFlag = true;
    notify = front.target ? std::move(front.target) : m_defaultNotify;
  }
  // Outside the lock: the owner may end further operations in response.
  if (notify) notify();
  return true;
}

bool CCancellableOperations::HandleEscape() {
  if (!IsWatchingKeyboard()) return false;
  return CancelFront();
}

bool CCancellableOperations::HandleMouseButton() {
  if (!IsWatchingMouse()) return false;
  CancelFront();
  return true;
}

namespace {
thread_local const CWorkLimit* t_workLimit = nullptr;
}  // namespace

CWorkLimit::CWorkLimit(CClock::time_point deadline)
    : m_deadline(deadline), m_previous(std::exchange(t_workLimit, this)) {}

CWorkLimit::~CWorkLimit() {
  t_workLimit = m_previous;
}

const CWorkLimit* CWorkLimit::Current() {
  return t_workLimit;
}
