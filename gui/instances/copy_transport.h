// Messages between running copies over local sockets. Each copy's main window listens on a
// socket "<instance lock name>-<process id>" in the folder where the user's copies meet; a copy
// that asks connects, sends one request and reads one answer:
//
//   request: "VHMS", message number (4 bytes), block length (4 bytes), block
//   answer:  the receiver's answer (8 bytes, signed)
//
// Integers are little-endian. A request that does not follow this layout gets the answer 0 and
// the connection is closed.
//
// Use: start-up asks the other copies through HandOverToRunningCopy (running_copies.h); the
// main window owns a server and listens once it can answer, before it opens any file:
//
//   m_copyServer = std::make_unique<CCopyServer>(CCopyServer::CCallbacks{
//       [this] { return DocumentIsEmpty(); },
//       [this](const CVHCommandLineInfo& commandLine) { RunCommandLine(commandLine); },
//       [this] {
//         setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
//         raise();
//         activateWindow();
//       }});
//   m_copyServer->Listen();
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "instances/instance_names.h"
#include "instances/instances.h"

class QLocalServer;
class QLocalSocket;

// The user's private runtime folder (XDG_RUNTIME_DIR, which Qt replaces by a private folder of
// its own when unset): a folder only the user can enter, emptied at log-out, so neither another
// user nor a stale socket from an earlier session is ever met there.
QString RunningCopiesFolder();

// The socket of the copy with `process`. The name carries the user's scope suffix, so two users
// sharing a folder never meet. Socket paths are short on our platform (107 bytes); when the
// folder, host and user names make it longer, the name becomes "Tessaline-" and a digest of it.
QString CopySocketPath(const QString& folder, const CUserIdentity& identity, uint64_t process);

class CLocalSocketTransport : public CInstanceTransport {
 public:
  CLocalSocketTransport(const QString& folder, const CUserIdentity& identity);

  uint64_t OwnProcess() const override;
  // The copies found as sockets in the folder, the longest running first.
  // Listing the sockets themselves rather than keeping a registry of copies means nothing
  // else can fall out of date: a socket is there exactly while its copy listens, or after a
  // crash, when the first connection that is refused removes it.
  std::vector<CCopyWindow> MainWindows() override;
  std::optional<CVHMsgAnswer> Send(const CCopyWindow& window, uint32_t number,
                                   std::span<const uint8_t> block, uint64_t timeout) override;
  // Asks the copy to raise its main window, with "MainFrameActivate".
  void BringToFront(const CCopyWindow& window) override;

  // Removes the sockets nobody listens on any more: those of crashed copies.
  void RemoveStaleSockets();

 private:
  QString m_folder;
  CUserIdentity m_identity;
};

// What a running copy's main window answers to the other copies. Requests are read as they
// arrive on the GUI thread's event loop, and answered as soon as they are whole; a handed-over
// command line and a request to come to the front are carried out after the answer has gone,
// so that opening files never keeps the asking copy waiting beyond its time-out.
class CCopyServer {
 public:
  struct CCallbacks {
    std::function<bool()> documentIsEmpty;
    // Runs the request of a handed-over command line as if it had been given at start-up.
    std::function<void(const CVHCommandLineInfo&)> runCommandLine;
    // Raises the main window (restored when minimised) and makes it the active one.
    std::function<void()> bringToFront;
  };

  CCopyServer(CCallbacks callbacks, const QString& folder = RunningCopiesFolder(),
              const CUserIdentity& identity = CurrentUserIdentity());
  ~CCopyServer();
  CCopyServer(const CCopyServer&) = delete;
  CCopyServer& operator=(const CCopyServer&) = delete;

  // Starts listening, first removing a socket with this copy's name left by a crashed copy
  // that had the same process id, and ends this copy's start-up turn (running_copies.h).
  // False when the socket cannot be made: the copy then runs without taking files from others.
  bool Listen();
  QString SocketPath() const { return m_path; }

 private:
  void Accept();
  void Read(QLocalSocket& socket, QByteArray& received);
  CVHMsgAnswer Answer(uint32_t number, std::span<const uint8_t> block);

  CCallbacks m_callbacks;
  CInstanceResponder m_responder;
  QString m_path;
  std::unique_ptr<QLocalServer> m_server;  // last: its connections call back into the above
};
