#include "instances/instance_lock.h"

#include "errors/exceptions.h"

namespace {

constexpr uint64_t kQueryLockTimeout = 3000;  // ms

}  // namespace

void CreateQueryLock(CInstanceLocks& locks) {
  if (locks.CreateQueryLock() == CInstanceLocks::ECreation::kRefused) {
    throw CVHXNoAppMutex(kSeverityFatal);
  }
}

CInstanceLockResult WaitForInstanceLock(CInstanceLocks& locks, const CInstanceFinder& finder,
                                        bool own) {
  // A copy that never lets the query lock go must not keep this one from starting.
  const bool queryLockTaken = locks.WaitForQueryLock(own ? 0 : kQueryLockTimeout);
  const CInstanceLocks::ECreation creation = locks.CreateInstanceLock(own);
  if (queryLockTaken) locks.ReleaseQueryLock();
  if (creation == CInstanceLocks::ECreation::kCreated) return {true, std::nullopt};

  CInstanceLockResult result;
  result.otherCopy = finder.FindOtherCopy(NamedMessage(VHMsgName::AreYouMe));
  if (own && result.otherCopy) finder.BringToFront(*result.otherCopy);
  return result;
}
