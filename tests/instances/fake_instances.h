// An in-process stand-in for the machine the running copies share: their main windows with
// what each shows, the named locks, and a clock that advances only when a copy makes another
// wait, so the time-outs are exercised without real waiting.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "instances/instance_lock.h"
#include "instances/instance_names.h"
#include "instances/instances.h"

struct CFakeCopy {
  explicit CFakeCopy(uint64_t processId) : process(processId) {}

  uint64_t process;
  size_t patterns = 0;                      // what the copy's document holds
  std::optional<uint64_t> answerDelay = 0;  // ms; nothing: the copy hangs
  bool hangsOnHandOver = false;             // answers questions but never takes a command line
  bool inFront = false;
  std::vector<CVHCommandLineInfo> requests;  // command lines run
  CInstanceResponder responder{
      [this] { return patterns == 0; },
      [this](const CVHCommandLineInfo& request) { requests.push_back(request); }};
};

struct CFakeLock {
  int handles = 0;
  std::optional<uint64_t> owner;
};

struct CFakeMachine {
  CFakeCopy& Run(uint64_t process) { return copies.emplace_back(process); }
  CFakeCopy* Find(uint64_t process);

  std::list<CFakeCopy> copies;  // in start order; a list keeps the responders in place
  std::map<std::string, CFakeLock> locks;
  std::set<std::string> refusedLocks;
  uint64_t clock = 0;              // ms
  std::vector<uint64_t> timeouts;  // of every send, in order
};

class CFakeTransport : public CInstanceTransport {
 public:
  CFakeTransport(CFakeMachine& machine, uint64_t process)
      : m_machine(machine), m_process(process) {}

  uint64_t OwnProcess() const override { return m_process; }
  std::vector<CCopyWindow> MainWindows() override;
  std::optional<CVHMsgAnswer> Send(const CCopyWindow& window, uint32_t number,
                                   std::span<const uint8_t> block, uint64_t timeout) override;
  void BringToFront(const CCopyWindow& window) override;

 private:
  CFakeMachine& m_machine;
  uint64_t m_process;
};

class CFakeLocks : public CInstanceLocks {
 public:
  CFakeLocks(CFakeMachine& machine, uint64_t process, const CUserIdentity& user);

  ECreation CreateQueryLock() override;
  bool WaitForQueryLock(uint64_t timeout) override;
  void ReleaseQueryLock() override;
  ECreation CreateInstanceLock(bool own) override;

 private:
  ECreation Open(const std::string& name);

  CFakeMachine& m_machine;
  uint64_t m_process;
  std::string m_queryName;
  std::string m_instanceName;
  bool m_holdsInstanceLock = false;
};

CCopyWindow WindowOf(const CFakeCopy& copy);
