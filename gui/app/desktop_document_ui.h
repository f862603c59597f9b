// What the document needs of the desktop: questions and alerts as dialogs (through the alert
// presenter), the main window placed where a session left it, cancellation by Escape, and long
// work run on a worker thread while the event loop goes on, so that the windows repaint, the
// progress window appears and Escape is heard. While the work runs, the user's input is held
// back from the windows (the session must not change under it); Escape still cancels.
#pragma once

#include <QObject>
#include <functional>

#include "document/document_ui.h"

class QMainWindow;

class CDesktopDocumentUi final : public QObject, public CDocumentUi {
  Q_OBJECT

 public:
  explicit CDesktopDocumentUi(QMainWindow& window);
  ~CDesktopDocumentUi() override;

  bool CancelRequested() override { return m_cancelled; }
  bool MayRestoreWindow() override;
  void RestoreWindow(const CWindowRect& rect) override;
  void RunLongWork(const std::function<void()>& work) override;

  // Runs a document operation that Escape cancels between its items (files, patterns).
  void RunCancellable(const std::function<void()>& operation);
  // Whether long work runs now; the window defers what would change the session.
  bool Busy() const { return m_busy; }

  bool eventFilter(QObject* watched, QEvent* event) override;

 signals:
  void busyChanged(bool busy);

 private:
  QMainWindow& m_window;
  bool m_cancelled = false;
  bool m_busy = false;
};
