// What the document needs of the application around it: a question answered, a window placed,
// a long loop cancelled, a pattern read from a file set up. The desktop application gives it
// dialogs and the main window; the command line and the tests give it answers of their own.
#pragma once

#include <functional>

#include "files/session.h"

class CTSPattern;
class CVHException;

class CDocumentUi {
 public:
  virtual ~CDocumentUi() = default;

  // Shows an error; the next file or step goes on.
  virtual void Alert(const CVHException& error);
  // Asks a question with Continue and Cancel; true to go on.
  virtual bool Confirm(const CVHException& question);
  // Polled between the files or patterns of a long operation.
  virtual bool CancelRequested() { return false; }
  // Whether the main window may be moved to a file's saved place (a window the user has moved
  // already keeps its place); then it is moved there.
  virtual bool MayRestoreWindow() { return false; }
  virtual void RestoreWindow(const CWindowRect&) {}
  // Runs a long piece of the document's work (reading a file, calculating patterns) and
  // returns when it is done, passing on what it throws. The desktop application runs it beside
  // its event loop, so that its windows keep repainting and Escape reaches it; the work must not
  // touch the views.
  virtual void RunLongWork(const std::function<void()>& work) { work(); }
  // A pattern just made from a crystal or data file, before it is calculated: the command line
  // gives it the settings of its options here. Raising refuses the file, which then adds nothing.
  virtual void SetUpFilePattern(CTSPattern&) {}
  // Whether calculating a pattern includes its profile. A run that only lists reflexions or
  // peaks has no use for one, and on a large cell it costs as much as the structure factors.
  virtual bool WantsProfiles() const { return true; }
};
