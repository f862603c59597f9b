#include "gui/instances/copy_locks.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace {

// How long a copy waits for a shared hold on the instance lock while another copy briefly holds
// it alone to see whether it is the first; a copy that is there counts as there even if the
// hold never comes.
constexpr uint64_t kSharedHoldTimeout = 3000;  // ms
constexpr auto kPollInterval = std::chrono::milliseconds(5);

// Opens (creating) a lock file. Close-on-exec, so that a program this copy starts (the
// visualiser) does not go on holding the copy's locks after it ends.
int OpenLockFile(const std::string& path, bool& created) {
  int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  created = descriptor >= 0;
  if (descriptor < 0 && errno == EEXIST) descriptor = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  return descriptor;
}

// flock has no time-out of its own; the waits here are short and happen before the copy has a
// window, so polling costs nothing that anyone sees.
bool LockWithin(int descriptor, int operation, uint64_t timeout) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
  for (;;) {
    if (::flock(descriptor, operation | LOCK_NB) == 0) return true;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
}

void Close(int& descriptor) {
  if (descriptor >= 0) ::close(descriptor);
  descriptor = -1;
}

}  // namespace

CLockFileLocks::CLockFileLocks(const std::string& folder, const CUserIdentity& identity)
    : m_queryPath(folder + "/" + QueryLockName(CInstanceScope::kUser, identity) + ".lock"),
      m_instancePath(folder + "/" + InstanceLockName(CInstanceScope::kUser, identity) + ".lock") {}

CLockFileLocks::~CLockFileLocks() {
  Close(m_query);
  Close(m_instance);
}

CInstanceLocks::ECreation CLockFileLocks::CreateQueryLock() {
  if (m_query >= 0) return ECreation::kExisted;
  bool created = false;
  m_query = OpenLockFile(m_queryPath, created);
  if (m_query < 0) return ECreation::kRefused;
  return created ? ECreation::kCreated : ECreation::kExisted;
}

bool CLockFileLocks::WaitForQueryLock(uint64_t timeout) {
  if (m_query < 0 && CreateQueryLock() == ECreation::kRefused) return false;
  m_queryTaken = m_queryTaken || LockWithin(m_query, LOCK_EX, timeout);
  return m_queryTaken;
}

void CLockFileLocks::ReleaseQueryLock() {
  if (!m_queryTaken) return;
  ::flock(m_query, LOCK_UN);
  m_queryTaken = false;
}

CInstanceLocks::ECreation CLockFileLocks::CreateInstanceLock(bool /*own*/) {
  Close(m_instance);
  bool created = false;
  m_instance = OpenLockFile(m_instancePath, created);
  if (m_instance < 0) return ECreation::kRefused;
  // Alone on it means no other copy holds it. Turning the exclusive hold into a shared one is
  // not atomic, but copies take the instance lock in turn under the query lock.
  const bool first = LockWithin(m_instance, LOCK_EX, 0);
  LockWithin(m_instance, LOCK_SH, kSharedHoldTimeout);
  return first ? ECreation::kCreated : ECreation::kExisted;
}
