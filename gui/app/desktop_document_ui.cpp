#include "gui/app/desktop_document_ui.h"

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMainWindow>
#include <QScreen>
#include <exception>
#include <thread>

#include "app/cancellable.h"
#include "app/status.h"

namespace {

bool IsMouseButton(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
      return true;
    default:
      return false;
  }
}

// What the user does to the windows, held back while long work runs; painting, resizing and
// the timers go on.
bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::Close:
    case QEvent::TouchBegin:
    case QEvent::TabletPress:
      return true;
    default:
      return IsMouseButton(type);
  }
}

}  // namespace

CDesktopDocumentUi::CDesktopDocumentUi(QMainWindow& window) : m_window(window) {
  qApp->installEventFilter(this);
}

CDesktopDocumentUi::~CDesktopDocumentUi() {
  qApp->removeEventFilter(this);
}

bool CDesktopDocumentUi::MayRestoreWindow() {
  // A window the user maximised keeps its state; a session's place is taken only when it lies
  // on a screen of this desktop.
  return !m_window.isMaximized() && !m_window.isFullScreen();
}

void CDesktopDocumentUi::RestoreWindow(const CWindowRect& rect) {
  const QRect wanted(QPoint(static_cast<int>(rect.left), static_cast<int>(rect.top)),
                     QPoint(static_cast<int>(rect.right) - 1, static_cast<int>(rect.bottom) - 1));
  const QScreen* screen = QGuiApplication::screenAt(wanted.center());
  if (!screen) return;
  m_window.setGeometry(wanted.intersected(screen->availableGeometry()));
}

void CDesktopDocumentUi::RunLongWork(const std::function<void()>& work) {
  // Work started from within long work (it should not happen) runs where it is.
  if (m_busy) {
    work();
    return;
  }
  m_busy = true;
  emit busyChanged(true);
  std::exception_ptr failure;
  QEventLoop loop;
  std::thread worker([&] {
    // The worker's statuses ("Generating profile for ...") show in the progress window too.
    RegisterStatusThread();
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    UnregisterStatusThread();
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  m_busy = false;
  emit busyChanged(false);
  if (failure) std::rethrow_exception(failure);
}

void CDesktopDocumentUi::RunCancellable(const std::function<void()>& operation) {
  const CCancellableScope cancellable(m_cancelled);
  operation();
}

bool CDesktopDocumentUi::eventFilter(QObject* watched, QEvent* event) {
  CCancellableOperations& operations = CCancellableOperations::Instance();
  const QEvent::Type type = event->type();
  if (type == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
      operations.IsWatchingKeyboard() && operations.HandleEscape())
    return true;
  if (IsMouseButton(type) && operations.IsWatchingMouse() && operations.HandleMouseButton())
    return true;
  if (type == QEvent::Wheel && operations.SwallowsWheel()) return true;
  if (m_busy && IsUserInput(type)) {
    // A window closed now would take the session with it: it closes when the work is done.
    if (type == QEvent::Close) event->ignore();
    return true;
  }
  return QObject::eventFilter(watched, event);
}
