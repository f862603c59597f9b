#include "gui/app/alert_dialog.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>

namespace {

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QMessageBox::Icon IconOf(CVHAlertContent::Type type) {
  switch (type) {
    case CVHAlertContent::kQuestion:
      return QMessageBox::Question;
    case CVHAlertContent::kError:
      return QMessageBox::Critical;
    default:
      return QMessageBox::Information;
  }
}

}  // namespace

std::unique_ptr<QMessageBox> MakeAlertDialog(const CVHAlertContent& alert, QWidget* parent) {
  auto box = std::make_unique<QMessageBox>(parent);
  box->setIcon(IconOf(alert.type));
  box->setWindowTitle(FromUtf8(alert.title));
  box->setText(FromUtf8(alert.message));
  // The code line tells support which alert and which call raised it; it stays small beneath
  // the explanation that the user reads.
  QString explanation =
      QStringLiteral("<p>%1</p>")
          .arg(FromUtf8(alert.explanation).toHtmlEscaped().replace('\n', QStringLiteral("<br>")));
  if (!alert.codeLine.empty())
    explanation += QStringLiteral("<p style='color:gray; font-size:small'>%1</p>")
                       .arg(FromUtf8(alert.codeLine).toHtmlEscaped());
  box->setInformativeText(explanation);
  box->setTextFormat(Qt::PlainText);

  QPushButton* first = box->addButton(FromUtf8(alert.firstButton), QMessageBox::AcceptRole);
  QPushButton* second = nullptr;
  if (alert.type == CVHAlertContent::kQuestion)
    second = box->addButton(FromUtf8(alert.secondButton), QMessageBox::RejectRole);
  // A question whose text does not name its first button as the default defaults to the safe
  // answer, the second.
  box->setDefaultButton(second && !alert.firstButtonIsDefault ? second : first);
  box->setEscapeButton(second ? second : first);
  if (alert.suppression)
    box->setCheckBox(new QCheckBox(QObject::tr("Do not show this message again")));
  return box;
}

CAlertPresenter::Answer CAlertDialogPresenter::Present(const CVHAlertContent& alert) {
  const std::unique_ptr<QMessageBox> box = MakeAlertDialog(alert, m_parent);
  box->exec();
  if (alert.suppression && box->checkBox()->isChecked()) *alert.suppression = true;
  // Closing the window counts as the escape button.
  return box->buttonRole(box->clickedButton()) == QMessageBox::AcceptRole ? kFirstButton
                                                                          : kSecondButton;
}
