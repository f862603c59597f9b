// The progress window: a small top-most window, centred on the main window, with the text and
// the bar of the status the program is busy with. The core's status manager decides when it
// appears (after 750 ms) and how often it redraws (every 101 ms at most); this window owns a
// timer that lets the manager run on the event loop while the document works beside it.
#pragma once

#include <QTimer>
#include <QWidget>

#include "app/status_manager.h"

class QLabel;
class QProgressBar;

class CProgressWindow final : public QWidget, public CStatusDisplay {
  Q_OBJECT

 public:
  // Becomes the display of the process's status manager until destroyed.
  explicit CProgressWindow(QWidget* mainWindow);
  ~CProgressWindow() override;

  void Show(const std::string& text, double fraction, bool indeterminate) override;
  void Hide() override;

  QString Text() const;
  // The manager runs on the event loop while long work runs, and after it for as long as it
  // has a window to show or hide; an idle application is not woken for it.
  void KeepPumping(bool busy);

 private:
  QWidget* m_mainWindow;
  QLabel* m_label;
  QProgressBar* m_bar;
  QLabel* m_hint;
  QTimer m_pump;
  bool m_busy = false;
};
