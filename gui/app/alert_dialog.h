// The program's alerts as dialogs: title, message, explanation and the buttons of the alert's
// text, the default button as the text names it, and the "do not show again" box for alerts
// that may be silenced. A question goes on only when its first button is chosen.
#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>

#include "errors/alert.h"

class QMessageBox;

// The dialog for an alert, not yet shown; its first button accepts, its second rejects.
std::unique_ptr<QMessageBox> MakeAlertDialog(const CVHAlertContent& alert, QWidget* parent);

class CAlertDialogPresenter final : public CAlertPresenter {
 public:
  explicit CAlertDialogPresenter(QWidget* parent) : m_parent(parent) {}
  Answer Present(const CVHAlertContent& alert) override;

 private:
  QPointer<QWidget> m_parent;
};
