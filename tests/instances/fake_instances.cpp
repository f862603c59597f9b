#include "fake_instances.h"

CCopyWindow WindowOf(const CFakeCopy& copy) {
  return {copy.process, "copy-" + std::to_string(copy.process)};
}

CFakeCopy* CFakeMachine::Find(uint64_t process) {
  for (CFakeCopy& copy : copies) {
    if (copy.process == process) return &copy;
  }
  return nullptr;
}

std::vector<CCopyWindow> CFakeTransport::MainWindows() {
  std::vector<CCopyWindow> windows;
  for (const CFakeCopy& copy : m_machine.copies) windows.push_back(WindowOf(copy));
  return windows;
}

std::optional<CVHMsgAnswer> CFakeTransport::Send(const CCopyWindow& window, uint32_t number,
                                                 std::span<const uint8_t> block, uint64_t timeout) {
  m_machine.timeouts.push_back(timeout);
  CFakeCopy* copy = m_machine.Find(window.process);
  if (!copy) return std::nullopt;
  const bool hangs =
      !copy->answerDelay ||
      (copy->hangsOnHandOver && number == NamedMessage(VHMsgName::ProcessShellCmd).sync);
  if (hangs || *copy->answerDelay > timeout) {
    m_machine.clock += timeout;
    return std::nullopt;
  }
  m_machine.clock += *copy->answerDelay;
  return copy->responder.Answer(number, block);
}

void CFakeTransport::BringToFront(const CCopyWindow& window) {
  for (CFakeCopy& copy : m_machine.copies) copy.inFront = copy.process == window.process;
}

CFakeLocks::CFakeLocks(CFakeMachine& machine, uint64_t process, const CUserIdentity& user)
    : m_machine(machine),
      m_process(process),
      m_queryName(QueryLockName(CInstanceScope::kUser, user)),
      m_instanceName(InstanceLockName(CInstanceScope::kUser, user)) {}

CInstanceLocks::ECreation CFakeLocks::Open(const std::string& name) {
  if (m_machine.refusedLocks.count(name)) return ECreation::kRefused;
  const bool existed = m_machine.locks[name].handles++ > 0;
  return existed ? ECreation::kExisted : ECreation::kCreated;
}

CInstanceLocks::ECreation CFakeLocks::CreateQueryLock() {
  return Open(m_queryName);
}

bool CFakeLocks::WaitForQueryLock(uint64_t timeout) {
  CFakeLock& lock = m_machine.locks[m_queryName];
  if (!lock.owner || lock.owner == m_process) {
    lock.owner = m_process;
    return true;
  }
  m_machine.clock += timeout;
  return false;
}

void CFakeLocks::ReleaseQueryLock() {
  CFakeLock& lock = m_machine.locks[m_queryName];
  if (lock.owner == m_process) lock.owner.reset();
}

CInstanceLocks::ECreation CFakeLocks::CreateInstanceLock(bool own) {
  CFakeLock& lock = m_machine.locks[m_instanceName];
  if (m_holdsInstanceLock) {
    --lock.handles;
    if (lock.owner == m_process) lock.owner.reset();
    m_holdsInstanceLock = false;
  }
  const ECreation creation = Open(m_instanceName);
  if (creation == ECreation::kRefused) return creation;
  m_holdsInstanceLock = true;
  if (own && !lock.owner) lock.owner = m_process;
  return creation;
}
