// The query lock and the instance lock of running copies as lock files in the folder where the
// copies meet, "<lock name>.lock", locked with flock(2). The kernel lets a lock go when its
// process ends however it ends, so a crashed copy never leaves a lock behind that the next one
// would have to judge stale.
//
// The instance lock is held shared by every running copy: it "exists" exactly while some copy
// holds it, which is what a named mutex tells its creator. The query lock is taken exclusively
// by the copy whose turn it is to look for the others.
#pragma once

#include <string>

#include "instances/instance_lock.h"
#include "instances/instance_names.h"

class CLockFileLocks : public CInstanceLocks {
 public:
  CLockFileLocks(const std::string& folder, const CUserIdentity& identity);
  ~CLockFileLocks() override;
  CLockFileLocks(const CLockFileLocks&) = delete;
  CLockFileLocks& operator=(const CLockFileLocks&) = delete;

  // kExisted when the file was there before (lock files stay after their copies end, so this
  // says nothing about other copies; nothing decides on it).
  ECreation CreateQueryLock() override;
  bool WaitForQueryLock(uint64_t timeout) override;
  void ReleaseQueryLock() override;
  // kCreated when no other copy holds the instance lock. `own` changes nothing: owning a named
  // mutex only makes others that wait on it block, and no copy waits on the instance lock.
  ECreation CreateInstanceLock(bool own) override;

  const std::string& QueryLockPath() const { return m_queryPath; }
  const std::string& InstanceLockPath() const { return m_instancePath; }

 private:
  std::string m_queryPath;
  std::string m_instancePath;
  int m_query = -1;
  int m_instance = -1;
  bool m_queryTaken = false;
};
