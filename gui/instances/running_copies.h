// Start-up beside other running copies of the program. In main(), once the QApplication exists
// and the command line is parsed (ParseCommandLine):
//
//   if (HandOverToRunningCopy(commandLine)) return 0;  // a running copy took the files
//
// then create the main window, which owns a CCopyServer (copy_transport.h) and calls its
// Listen() as soon as it can answer, before it opens the command line's files. Copies started at
// the same moment take turns: the next one waits (at most 3 s) until this one listens.
#pragma once

#include <QString>

#include "gui/instances/copy_locks.h"
#include "instances/command_line.h"
#include "instances/instance_names.h"

class CCopyStartup {
 public:
  CCopyStartup(const QString& folder, const CUserIdentity& identity);

  // Marks this copy as running and, when it was given files and a running copy with an empty
  // window takes them, answers true: this copy should end. Otherwise this copy keeps its turn
  // until EndTurn, so that a copy started next finds it listening. Throws CVHXNoAppMutex when
  // the lock files cannot be made.
  bool HandOver(const CVHCommandLineInfo& commandLine);
  // Lets the next copy that starts look for this one.
  void EndTurn() { m_locks.ReleaseQueryLock(); }

 private:
  QString m_folder;
  CUserIdentity m_identity;
  CLockFileLocks m_locks;
};

// HandOver of the process's own start-up in the user's folder; the start-up holds this copy's
// instance lock until the process ends. Throws CVHXNoAppMutex, to be reported as the fatal alert
// it is, when the lock files cannot be made.
bool HandOverToRunningCopy(const CVHCommandLineInfo& commandLine);
// Ends the process's start-up turn. CCopyServer::Listen calls it, and the event loop does on
// its first round when no server ever listens; nothing happens without a start-up.
void EndStartupTurn();
