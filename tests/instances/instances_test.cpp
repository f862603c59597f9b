#include "instances/instances.h"

#include <gtest/gtest.h>

#include <vector>

#include "errors/exceptions.h"
#include "fake_instances.h"
#include "instances/instance_lock.h"
#include "instances/instance_names.h"

namespace {

using EStartup = CInstanceFinder::EStartup;

constexpr uint64_t kNewProcess = 99;
const CVHCommandLineInfo kOpenQuartz{CVHCommandLineInfo::ERequest::kOpen, {"quartz.cif"}};

uint32_t Sync(VHMsgName message) {
  return NamedMessage(message).sync;
}

// A copy of the program being started on the machine.
struct CNewCopy {
  explicit CNewCopy(CFakeMachine& machine, uint64_t process = kNewProcess)
      : transport(machine, process), finder(transport) {}
  CFakeTransport transport;
  CInstanceFinder finder;
};

TEST(InstanceResponder, AnswersWithTheMessagesOwnNumber) {
  size_t patterns = 0;
  std::vector<CVHCommandLineInfo> run;
  const CInstanceResponder responder(
      [&] { return patterns == 0; },
      [&](const CVHCommandLineInfo& request) { run.push_back(request); });
  EXPECT_EQ(responder.Answer(Sync(VHMsgName::AreYouMe), {}), Sync(VHMsgName::AreYouMe));
  EXPECT_EQ(responder.Answer(Sync(VHMsgName::HasEmptyWindow), {}), Sync(VHMsgName::HasEmptyWindow));
  patterns = 2;
  EXPECT_EQ(responder.Answer(Sync(VHMsgName::AreYouMe), {}), Sync(VHMsgName::AreYouMe));
  EXPECT_EQ(responder.Answer(Sync(VHMsgName::HasEmptyWindow), {}), 0);
  EXPECT_EQ(responder.Answer(NamedMessage(VHMsgName::AreYouMe).async, {}), 0);
  EXPECT_EQ(responder.Answer(Sync(VHMsgName::Zoom), {}), 0);

  const std::vector<uint8_t> block = SerialiseCommandLine(kOpenQuartz);
  EXPECT_EQ(responder.Answer(Sync(VHMsgName::ProcessShellCmd), block),
            Sync(VHMsgName::ProcessShellCmd));
  EXPECT_EQ(responder.Answer(Sync(VHMsgName::ProcessShellCmd), std::span(block).first(10)), 0);
  EXPECT_EQ(run, std::vector{kOpenQuartz});  // the damaged block was not run
}

TEST(InstanceStartup, WithoutAnotherCopyThisCopyStartsNormally) {
  CFakeMachine machine;
  CFakeCopy& self = machine.Run(kNewProcess);  // its own window is never asked
  EXPECT_EQ(CNewCopy(machine).finder.DecideStartup(kOpenQuartz), EStartup::kStartNormally);
  EXPECT_TRUE(machine.timeouts.empty());
  EXPECT_TRUE(self.requests.empty());
}

TEST(InstanceStartup, FilesGoToARunningCopyWithAnEmptyWindow) {
  CFakeMachine machine;
  CFakeCopy& running = machine.Run(1);
  running.answerDelay = 20;
  EXPECT_EQ(CNewCopy(machine).finder.DecideStartup(kOpenQuartz), EStartup::kHandedOver);
  EXPECT_EQ(running.requests, std::vector{kOpenQuartz});
  EXPECT_TRUE(running.inFront);
  EXPECT_EQ(machine.timeouts, (std::vector<uint64_t>{500, 500, 500}));
  EXPECT_EQ(machine.clock, 60u);
}

TEST(InstanceStartup, ACopyShowingPatternsLetsTheNewCopyOpenItsOwnWindow) {
  CFakeMachine machine;
  CFakeCopy& running = machine.Run(1);
  running.patterns = 3;
  EXPECT_EQ(CNewCopy(machine).finder.DecideStartup(kOpenQuartz), EStartup::kStartNormally);
  EXPECT_TRUE(running.requests.empty());
  EXPECT_FALSE(running.inFront);
}

TEST(InstanceStartup, TheFirstCopyWithAnEmptyWindowTakesTheFiles) {
  CFakeMachine machine;
  machine.Run(1).patterns = 1;
  CFakeCopy& firstEmpty = machine.Run(2);
  CFakeCopy& secondEmpty = machine.Run(3);
  EXPECT_EQ(CNewCopy(machine).finder.DecideStartup(kOpenQuartz), EStartup::kHandedOver);
  EXPECT_EQ(firstEmpty.requests.size(), 1u);
  EXPECT_TRUE(secondEmpty.requests.empty());
}

TEST(InstanceStartup, ACopyThatDoesNotAnswerWithin500msCountsAsAbsent) {
  CFakeMachine machine;
  machine.Run(1).answerDelay.reset();  // hung
  machine.Run(2).answerDelay = 700;    // too slow
  EXPECT_EQ(CNewCopy(machine).finder.DecideStartup(kOpenQuartz), EStartup::kStartNormally);
  EXPECT_EQ(machine.clock, 1000u);  // each gave up on after 500 ms

  CFakeCopy& answering = machine.Run(3);
  answering.answerDelay = 100;
  machine.clock = 0;
  EXPECT_EQ(CNewCopy(machine).finder.DecideStartup(kOpenQuartz), EStartup::kHandedOver);
  EXPECT_EQ(answering.requests.size(), 1u);
  // Two questions passing the two silent copies, then the hand-over.
  EXPECT_EQ(machine.clock, 2 * (500 + 500 + 100) + 100u);
}

TEST(InstanceStartup, FilesNotTakenOverStayWithTheNewCopy) {
  CFakeMachine machine;
  CFakeCopy& running = machine.Run(1);
  running.hangsOnHandOver = true;
  EXPECT_EQ(CNewCopy(machine).finder.DecideStartup(kOpenQuartz), EStartup::kStartNormally);
  EXPECT_TRUE(running.requests.empty());
}

TEST(InstanceStartup, ACopyWithoutFilesStartsNormallyWithoutAsking) {
  CFakeMachine machine;
  machine.Run(1);
  EXPECT_EQ(CNewCopy(machine).finder.DecideStartup({}), EStartup::kStartNormally);
  EXPECT_TRUE(machine.timeouts.empty());
}

TEST(InstanceNames, TheUserScopeSeparatesUsersAndMachines) {
  const CUserIdentity ada{"lab-pc", "ada"};
  EXPECT_EQ(QueryLockName(CInstanceScope::kUser, ada),
            "Tessaline--Query-13dca11d-78cb-484a-892b-10aa643d11ae-lab-pc-ada");
  EXPECT_EQ(InstanceLockName(CInstanceScope::kUser, ada),
            "Tessaline-13dca11d-78cb-484a-892b-10aa643d11ae-lab-pc-ada");
  EXPECT_EQ(InstanceLockName(CInstanceScope::kMachine, ada),
            "Tessaline-13dca11d-78cb-484a-892b-10aa643d11ae");
  EXPECT_NE(InstanceLockName(CInstanceScope::kUser, ada),
            InstanceLockName(CInstanceScope::kUser, {"lab-pc", "bob"}));
  EXPECT_NE(InstanceLockName(CInstanceScope::kUser, ada),
            InstanceLockName(CInstanceScope::kUser, {"office-pc", "ada"}));
}

class InstanceLock : public testing::Test {
 protected:
  const CUserIdentity m_ada{"lab-pc", "ada"};
  CFakeMachine m_machine;
};

TEST_F(InstanceLock, TheFirstCopyIsTheOnlyOneAndASecondFindsIt) {
  CFakeLocks firstLocks(m_machine, 1, m_ada);
  CreateQueryLock(firstLocks);
  const CInstanceLockResult first =
      WaitForInstanceLock(firstLocks, CNewCopy(m_machine, 1).finder, true);
  EXPECT_TRUE(first.onlyCopy);
  const CFakeCopy& firstCopy = m_machine.Run(1);

  CFakeLocks secondLocks(m_machine, 2, m_ada);
  CreateQueryLock(secondLocks);  // already there: not a failure
  const CInstanceLockResult asking =
      WaitForInstanceLock(secondLocks, CNewCopy(m_machine, 2).finder, false);
  EXPECT_FALSE(asking.onlyCopy);
  EXPECT_EQ(asking.otherCopy, WindowOf(firstCopy));
  EXPECT_FALSE(firstCopy.inFront);
  const CInstanceLockResult owning =
      WaitForInstanceLock(secondLocks, CNewCopy(m_machine, 2).finder, true);
  EXPECT_FALSE(owning.onlyCopy);  // reopening its own lock does not make it the only copy
  EXPECT_TRUE(firstCopy.inFront);
}

TEST_F(InstanceLock, TwoUsersOnOneMachineEachRunTheirOwnCopy) {
  CFakeLocks ada(m_machine, 1, m_ada);
  CFakeLocks bob(m_machine, 2, {"lab-pc", "bob"});
  EXPECT_TRUE(WaitForInstanceLock(ada, CNewCopy(m_machine, 1).finder, true).onlyCopy);
  EXPECT_TRUE(WaitForInstanceLock(bob, CNewCopy(m_machine, 2).finder, true).onlyCopy);
}

TEST_F(InstanceLock, AQueryLockNeverReleasedHoldsUpAStartByAtMost3000ms) {
  m_machine.locks[QueryLockName(CInstanceScope::kUser, m_ada)].owner = 7;  // a hung copy
  CFakeLocks locks(m_machine, 1, m_ada);
  EXPECT_TRUE(WaitForInstanceLock(locks, CNewCopy(m_machine, 1).finder, false).onlyCopy);
  EXPECT_EQ(m_machine.clock, 3000u);
  EXPECT_EQ(m_machine.locks[QueryLockName(CInstanceScope::kUser, m_ada)].owner, 7u);
  m_machine.clock = 0;
  WaitForInstanceLock(locks, CNewCopy(m_machine, 1).finder, true);
  EXPECT_EQ(m_machine.clock, 0u);  // taking ownership does not wait
}

TEST_F(InstanceLock, RefusedLocks) {
  CFakeLocks locks(m_machine, 1, m_ada);
  m_machine.refusedLocks.insert(InstanceLockName(CInstanceScope::kUser, m_ada));
  EXPECT_FALSE(WaitForInstanceLock(locks, CNewCopy(m_machine, 1).finder, false).onlyCopy);
  m_machine.refusedLocks.insert(QueryLockName(CInstanceScope::kUser, m_ada));
  EXPECT_THROW(CreateQueryLock(locks), CVHXNoAppMutex);
}

}  // namespace
