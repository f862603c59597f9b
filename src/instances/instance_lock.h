// The locks that mark a running copy. Each copy creates the query lock at start-up and holds
// the instance lock while it runs; whoever finds the instance lock already there is not the
// only copy. The locks themselves are the platform's (lock files on ours), named by
// QueryLockName and InstanceLockName.
#pragma once

#include <cstdint>
#include <optional>

#include "instances/instances.h"

class CInstanceLocks {
 public:
  enum class ECreation { kCreated, kExisted, kRefused };

  virtual ~CInstanceLocks() = default;

  virtual ECreation CreateQueryLock() = 0;
  // Whether the query lock was taken within `timeout` ms.
  virtual bool WaitForQueryLock(uint64_t timeout) = 0;
  virtual void ReleaseQueryLock() = 0;
  // Creates the instance lock, owned when asked; closes first the one this copy held before.
  virtual ECreation CreateInstanceLock(bool own) = 0;
};

// Creates the query lock; throws CVHXNoAppMutex when the platform refuses it (a lock that
// already exists is another copy's, which is fine).
void CreateQueryLock(CInstanceLocks& locks);

struct CInstanceLockResult {
  bool onlyCopy = false;
  std::optional<CCopyWindow> otherCopy;  // when not the only copy and the other one answered
};

// Takes the instance lock in turn with other copies: waits up to 3000 ms for the query lock
// (not at all when taking ownership), creates the instance lock and lets the query lock go.
// When the instance lock was already there, finds the copy that holds it by "AreYouMe" and,
// when taking ownership, brings it to the front.
CInstanceLockResult WaitForInstanceLock(CInstanceLocks& locks, const CInstanceFinder& finder,
                                        bool own);
