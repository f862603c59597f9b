#include "gui/app/main_window.h"

CMainWindow::CMainWindow(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(QStringLiteral("Tessaline"));
}
