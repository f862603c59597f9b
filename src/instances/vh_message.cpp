#include "instances/vh_message.h"

#include <algorithm>

CVHMsgReceiver::~CVHMsgReceiver() {
  CVHMsgDispatcher::Instance().Forget(this);
}

CVHMsgDispatcher& CVHMsgDispatcher::Instance() {
  // Never destroyed: receivers that are static objects themselves leave it at their own exit.
  static auto* const dispatcher = new CVHMsgDispatcher;
  return *dispatcher;
}

void CVHMsgDispatcher::SetMainWindow(CVHMsgReceiver* window) {
  const std::lock_guard lock(m_lock);
  m_mainWindow = window;
}

void CVHMsgDispatcher::SetThreadReceiver(std::thread::id thread, CVHMsgReceiver* receiver) {
  const std::lock_guard lock(m_lock);
  m_threads[thread] = receiver;
}

void CVHMsgDispatcher::Join(CVHMsgGroup group, CVHMsgReceiver* receiver) {
  const std::lock_guard lock(m_lock);
  auto& members = m_groups[group];
  if (std::find(members.begin(), members.end(), receiver) == members.end()) {
    members.push_back(receiver);
  }
}

void CVHMsgDispatcher::Forget(const CVHMsgReceiver* receiver) {
  const std::lock_guard lock(m_lock);
  if (m_mainWindow == receiver) m_mainWindow = nullptr;
  std::erase_if(m_threads, [receiver](const auto& thread) { return thread.second == receiver; });
  for (auto& [group, members] : m_groups) std::erase(members, receiver);
  std::erase_if(m_queue, [receiver](const CQueued& queued) { return queued.receiver == receiver; });
}

CVHMsgReceiver* CVHMsgDispatcher::MainWindow() const {
  const std::lock_guard lock(m_lock);
  return m_mainWindow;
}

CVHMsgReceiver* CVHMsgDispatcher::ThreadReceiver(std::thread::id thread) const {
  const std::lock_guard lock(m_lock);
  const auto found = m_threads.find(thread);
  return found == m_threads.end() ? nullptr : found->second;
}

std::vector<CVHMsgReceiver*> CVHMsgDispatcher::Members(CVHMsgGroup group) const {
  const std::lock_guard lock(m_lock);
  const auto found = m_groups.find(group);
  return found == m_groups.end() ? std::vector<CVHMsgReceiver*>{} : found->second;
}

void CVHMsgDispatcher::Queue(CVHMsgReceiver* receiver, uint32_t number, CVHMsgArgument first,
                             CVHMsgArgument second) {
  const std::lock_guard lock(m_lock);
  m_queue.push_back({receiver, number, first, second});
}

size_t CVHMsgDispatcher::DeliverQueued() {
  size_t delivered = 0;
  std::unique_lock lock(m_lock);
  // Taken one at a time, so that a receiver destroyed by an earlier message is never called.
  for (size_t waiting = m_queue.size(); waiting > 0 && !m_queue.empty(); --waiting) {
    const CQueued next = m_queue.front();
    m_queue.pop_front();
    lock.unlock();
    next.receiver->OnNamedMessage(next.number, next.first, next.second);
    ++delivered;
    lock.lock();
  }
  return delivered;
}

CVHMessage::CVHMessage(const CNamedMessage& message, CVHMsgArgument first, CVHMsgArgument second)
    : m_number(message.sync),
      m_asyncNumber(message.async),
      m_first(first),
      m_second(second),
      m_registered(CNamedMessageRegistry::Instance().IsRegistered(message.sync)) {}

CVHMsgAnswer CVHMessage::Send() const {
  if (!m_registered) return 0;
  CVHMsgAnswer answer = 0;
  for (CVHMsgReceiver* receiver : Receivers(CVHMsgDispatcher::Instance())) {
    const CVHMsgAnswer given = receiver->OnNamedMessage(m_number, m_first, m_second);
    if (answer == 0) answer = given;
  }
  return answer;
}

void CVHMessage::Post() const {
  if (!m_registered) return;
  auto& dispatcher = CVHMsgDispatcher::Instance();
  for (CVHMsgReceiver* receiver : Receivers(dispatcher)) {
    dispatcher.Queue(receiver, m_asyncNumber, m_first, m_second);
  }
}

namespace {

std::vector<CVHMsgReceiver*> OneOrNone(CVHMsgReceiver* receiver) {
  return receiver ? std::vector<CVHMsgReceiver*>{receiver} : std::vector<CVHMsgReceiver*>{};
}

}  // namespace

std::vector<CVHMsgReceiver*> CVHMsgTarget::Receivers(const CVHMsgDispatcher& dispatcher) const {
  return OneOrNone(m_window ? m_window : dispatcher.MainWindow());
}

std::vector<CVHMsgReceiver*> CVHMsgThread::Receivers(const CVHMsgDispatcher& dispatcher) const {
  return OneOrNone(dispatcher.ThreadReceiver(m_thread));
}

std::vector<CVHMsgReceiver*> CVHMsgToGroup::Receivers(const CVHMsgDispatcher& dispatcher) const {
  return dispatcher.Members(m_group);
}
