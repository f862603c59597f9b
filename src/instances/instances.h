// Running copies of the program and how they find each other. A copy started with files to
// open asks the others whether they are a copy of this program ("AreYouMe") and whether their
// window is empty ("HasEmptyWindow"); the first copy with an empty window is brought to the
// front and given the command line ("ProcessShellCmd"), and the new copy ends without opening
// a window of its own. Everything that crosses between processes goes through a transport,
// which the desktop application provides over local sockets; tests use an in-process one.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "instances/command_line.h"
#include "instances/vh_message.h"

// A running copy's main window, as the transport reaches it.
struct CCopyWindow {
  uint64_t process = 0;
  std::string address;

  bool operator==(const CCopyWindow&) const = default;
};

class CInstanceTransport {
 public:
  // Longest wait for another copy's answer: a hung copy must not hold up the one asking.
  static constexpr uint64_t kSendTimeout = 500;  // ms
  // The name under which a command line travels to the copy that takes it over.
  static constexpr std::string_view kCommandLineBlockName =
      "CVHCommandLineInfo-13dca11d-78cb-484a-892b-10aa643d11ae";

  virtual ~CInstanceTransport() = default;

  virtual uint64_t OwnProcess() const = 0;
  // The main windows of all running copies, this copy's own included.
  virtual std::vector<CCopyWindow> MainWindows() = 0;
  // Sends the message `number` with `block` (empty except for a command line handed over) and
  // waits at most `timeout` ms for the answer; nothing when none came in time, as from a copy
  // that hangs.
  virtual std::optional<CVHMsgAnswer> Send(const CCopyWindow& window, uint32_t number,
                                           std::span<const uint8_t> block, uint64_t timeout) = 0;
  // Makes the window the active one, restored when it was minimised and above all others.
  virtual void BringToFront(const CCopyWindow& window) = 0;
};

// What the main window answers to the messages of other copies.
class CInstanceResponder {
 public:
  using CDocumentIsEmpty = std::function<bool()>;
  // Runs the request of a handed-over command line as if it had been given at start-up.
  using CRunRequest = std::function<void(const CVHCommandLineInfo&)>;

  CInstanceResponder(CDocumentIsEmpty documentIsEmpty, CRunRequest runRequest);

  // The message's own number to "AreYouMe", to "HasEmptyWindow" while the document holds no
  // patterns, and to "ProcessShellCmd" once the command line was read and run; 0 otherwise
  // (also to a damaged command line, which is not run).
  CVHMsgAnswer Answer(uint32_t number, std::span<const uint8_t> block) const;

 private:
  CDocumentIsEmpty m_documentIsEmpty;
  CRunRequest m_runRequest;
};

class CInstanceFinder {
 public:
  enum class EStartup { kStartNormally, kHandedOver };

  explicit CInstanceFinder(CInstanceTransport& transport) : m_transport(transport) {}

  // The first other copy whose main window answers `question` with the question's number.
  std::optional<CCopyWindow> FindOtherCopy(const CNamedMessage& question) const;
  // Gives the command line to the copy of `window`; whether that copy took it.
  bool HandOver(const CCopyWindow& window, const CVHCommandLineInfo& commandLine) const;
  void BringToFront(const CCopyWindow& window) const { m_transport.BringToFront(window); }

  // A copy with files to open hands them to a running copy with an empty window and ends;
  // without files, without another copy, or when no copy has an empty window (or none took
  // the files), it starts normally.
  EStartup DecideStartup(const CVHCommandLineInfo& commandLine) const;

 private:
  std::optional<CVHMsgAnswer> Ask(const CCopyWindow& window, const CNamedMessage& message,
                                  std::span<const uint8_t> block) const;

  CInstanceTransport& m_transport;
};
