#include "gui/instances/running_copies.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>
#include <memory>

#include "gui/instances/copy_transport.h"
#include "instances/instances.h"

namespace {

// Long enough for a copy to make its window and listen; a copy that hangs before that must
// not keep the next one from starting.
constexpr uint64_t kTurnTimeout = 3000;  // ms

std::unique_ptr<CCopyStartup>& ProcessStartup() {
  static std::unique_ptr<CCopyStartup> startup;
  return startup;
}

}  // namespace

CCopyStartup::CCopyStartup(const QString& folder, const CUserIdentity& identity)
    : m_folder(folder),
      m_identity(identity),
      m_locks(QFile::encodeName(folder).toStdString(), identity) {}

bool CCopyStartup::HandOver(const CVHCommandLineInfo& commandLine) {
  CreateQueryLock(m_locks);
  m_locks.WaitForQueryLock(kTurnTimeout);
  CLocalSocketTransport transport(m_folder, m_identity);
  if (m_locks.CreateInstanceLock(false) == CInstanceLocks::ECreation::kCreated) {
    // No other copy runs, so every socket under this user's name is a crashed copy's.
    transport.RemoveStaleSockets();
    return false;
  }
  if (CInstanceFinder(transport).DecideStartup(commandLine) ==
      CInstanceFinder::EStartup::kStartNormally) {
    return false;
  }
  EndTurn();
  return true;
}

bool HandOverToRunningCopy(const CVHCommandLineInfo& commandLine) {
  std::unique_ptr<CCopyStartup>& startup = ProcessStartup();
  if (!startup)
    startup = std::make_unique<CCopyStartup>(RunningCopiesFolder(), CurrentUserIdentity());
  if (startup->HandOver(commandLine)) return true;
  // A main window that never listens must not hold up the copies started after this one.
  if (QCoreApplication::instance()) QTimer::singleShot(0, [] { EndStartupTurn(); });
  return false;
}

void EndStartupTurn() {
  if (const std::unique_ptr<CCopyStartup>& startup = ProcessStartup()) startup->EndTurn();
}
