// Delivery of named messages inside the process. A CVHMessage is a short-lived object that
// carries one named message and its two arguments to a destination: one window, a thread, or
// a group of windows (the floating palettes, the child windows, the menus, all interested
// windows). Windows and threads take part by registering a receiver with the dispatcher; the
// GUI's windows do that, the core's own listeners too. Sending calls the receivers at once and
// returns an answer; posting queues the message for the owner of the event loop to deliver.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "instances/named_messages.h"

using CVHMsgArgument = std::uintptr_t;
using CVHMsgAnswer = std::intptr_t;

// A window or a thread's message queue, as far as named messages are concerned. A receiver
// leaves every destination, and loses any message still queued for it, when it is destroyed.
class CVHMsgReceiver {
 public:
  CVHMsgReceiver() = default;
  CVHMsgReceiver(const CVHMsgReceiver&) = delete;
  CVHMsgReceiver& operator=(const CVHMsgReceiver&) = delete;
  virtual ~CVHMsgReceiver();

  // `number` is the synchronous number of a sent message, the asynchronous one of a posted
  // message; the answer of a posted message goes nowhere.
  virtual CVHMsgAnswer OnNamedMessage(uint32_t number, CVHMsgArgument first,
                                      CVHMsgArgument second) = 0;
};

enum class CVHMsgGroup { kPalettes, kChildren, kMenus, kGeneral };

class CVHMsgDispatcher {
 public:
  static CVHMsgDispatcher& Instance();

  // The main window: where messages without a target window go.
  void SetMainWindow(CVHMsgReceiver* window);
  void SetThreadReceiver(std::thread::id thread, CVHMsgReceiver* receiver);
  void Join(CVHMsgGroup group, CVHMsgReceiver* receiver);
  // Removes the receiver from every destination and drops what is queued for it.
  void Forget(const CVHMsgReceiver* receiver);

  CVHMsgReceiver* MainWindow() const;
  CVHMsgReceiver* ThreadReceiver(std::thread::id thread) const;
  std::vector<CVHMsgReceiver*> Members(CVHMsgGroup group) const;

  void Queue(CVHMsgReceiver* receiver, uint32_t number, CVHMsgArgument first,
             CVHMsgArgument second);
  // Delivers queued messages in order, at most as many as were waiting at the call, so that a
  // receiver that posts again cannot keep it running; the count delivered.
  size_t DeliverQueued();

 private:
  struct CQueued {
    CVHMsgReceiver* receiver;
    uint32_t number;
    CVHMsgArgument first;
    CVHMsgArgument second;
  };

  mutable std::mutex m_lock;
  CVHMsgReceiver* m_mainWindow = nullptr;
  std::map<std::thread::id, CVHMsgReceiver*> m_threads;
  std::map<CVHMsgGroup, std::vector<CVHMsgReceiver*>> m_groups;
  std::deque<CQueued> m_queue;
};

class CVHMessage {
 public:
  CVHMessage(const CNamedMessage& message, CVHMsgArgument first, CVHMsgArgument second);
  virtual ~CVHMessage() = default;

  uint32_t Number() const { return m_number; }
  CVHMsgArgument First() const { return m_first; }
  CVHMsgArgument Second() const { return m_second; }
  // Only registered messages are delivered; others reach nobody.
  bool IsRegistered() const { return m_registered; }

  // Delivers the message now with its synchronous number. The answer is the first non-zero
  // answer of the receivers (all of them are reached), 0 when none answered or none exists.
  CVHMsgAnswer Send() const;
  // Queues the message for each receiver with its asynchronous number.
  void Post() const;

 protected:
  virtual std::vector<CVHMsgReceiver*> Receivers(const CVHMsgDispatcher& dispatcher) const = 0;

 private:
  uint32_t m_number;
  uint32_t m_asyncNumber;
  CVHMsgArgument m_first;
  CVHMsgArgument m_second;
  bool m_registered;
};

// To one window; the main window when none is given.
class CVHMsgTarget : public CVHMessage {
 public:
  CVHMsgTarget(const CNamedMessage& message, CVHMsgReceiver* window = nullptr,
               CVHMsgArgument first = 0, CVHMsgArgument second = 0)
      : CVHMessage(message, first, second), m_window(window) {}

 protected:
  std::vector<CVHMsgReceiver*> Receivers(const CVHMsgDispatcher& dispatcher) const override;

 private:
  CVHMsgReceiver* m_window;
};

// To a thread's message queue.
class CVHMsgThread : public CVHMessage {
 public:
  CVHMsgThread(const CNamedMessage& message, std::thread::id thread, CVHMsgArgument first = 0,
               CVHMsgArgument second = 0)
      : CVHMessage(message, first, second), m_thread(thread) {}

 protected:
  std::vector<CVHMsgReceiver*> Receivers(const CVHMsgDispatcher& dispatcher) const override;

 private:
  std::thread::id m_thread;
};

// To every member of a group of windows.
class CVHMsgToGroup : public CVHMessage {
 public:
  CVHMsgToGroup(CVHMsgGroup group, const CNamedMessage& message, CVHMsgArgument first,
                CVHMsgArgument second)
      : CVHMessage(message, first, second), m_group(group) {}

 protected:
  std::vector<CVHMsgReceiver*> Receivers(const CVHMsgDispatcher& dispatcher) const override;

 private:
  CVHMsgGroup m_group;
};

template <CVHMsgGroup Group>
class CVHMsgToGroupOf : public CVHMsgToGroup {
 public:
  explicit CVHMsgToGroupOf(const CNamedMessage& message, CVHMsgArgument first = 0,
                           CVHMsgArgument second = 0)
      : CVHMsgToGroup(Group, message, first, second) {}
};

using CVHMsgToPalettes = CVHMsgToGroupOf<CVHMsgGroup::kPalettes>;
using CVHMsgChild = CVHMsgToGroupOf<CVHMsgGroup::kChildren>;
using CVHMsgMenuCmd = CVHMsgToGroupOf<CVHMsgGroup::kMenus>;
using CVHMsgGeneral = CVHMsgToGroupOf<CVHMsgGroup::kGeneral>;
