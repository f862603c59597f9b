#include "gui/app/progress_window.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "app/cancellable.h"
#include "app/status.h"

namespace {

// The bar's resolution: a fraction in thousandths moves smoothly across any width.
constexpr int kBarSteps = 1000;
// How often the manager's side runs: often enough for its 101 ms rhythm.
constexpr int kPumpInterval = 20;  // ms

}  // namespace

CProgressWindow::CProgressWindow(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                              Qt::WindowDoesNotAcceptFocus),
      m_mainWindow(mainWindow),
      m_label(new QLabel(this)),
      m_bar(new QProgressBar(this)),
      m_hint(new QLabel(tr("Press Esc to cancel"), this)) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setObjectName(QStringLiteral("progressWindow"));
  setStyleSheet(QStringLiteral("#progressWindow { border: 1px solid palette(mid); }"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 14, 16, 12);
  m_label->setMinimumWidth(360);
  m_bar->setTextVisible(false);
  m_hint->setEnabled(false);  // greyed: a hint, not a message
  layout->addWidget(m_label);
  layout->addWidget(m_bar);
  layout->addWidget(m_hint);
  setAutoFillBackground(true);

  if (const auto manager = StatusManager()) manager->SetDisplay(this);
  m_pump.setInterval(kPumpInterval);
  connect(&m_pump, &QTimer::timeout, this, [this] {
    const auto manager = StatusManager();
    if (manager) manager->Pump();
    if (!m_busy && (!manager || (!manager->HasWindow() && !manager->TimerDue()))) m_pump.stop();
  });
}

void CProgressWindow::KeepPumping(bool busy) {
  m_busy = busy;
  if (busy && !m_pump.isActive()) m_pump.start();
}

CProgressWindow::~CProgressWindow() {
  if (const auto manager = StatusManager()) manager->SetDisplay(nullptr);
}

void CProgressWindow::Show(const std::string& text, double fraction, bool indeterminate) {
  m_label->setText(QString::fromStdString(text));
  m_bar->setRange(0, indeterminate ? 0 : kBarSteps);
  m_bar->setValue(static_cast<int>(fraction * kBarSteps));
  m_hint->setVisible(CCancellableOperations::Instance().IsWatchingKeyboard());
  if (isVisible()) return;
  adjustSize();
  const QRect owner = m_mainWindow->frameGeometry();
  move(owner.center() - rect().center());
  show();
  raise();
}

void CProgressWindow::Hide() {
  hide();
}

QString CProgressWindow::Text() const {
  return isVisible() ? m_label->text() : QString();
}
