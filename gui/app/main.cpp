#include <QApplication>

#include "gui/app/main_window.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  CMainWindow window;
  window.show();
  return QApplication::exec();
}
