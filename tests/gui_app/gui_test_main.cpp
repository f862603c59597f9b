// The widget tests run the real windows on Qt's offscreen platform, with settings in a folder
// of their own so that no test reads or changes the user's.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdlib>

#include "app/status.h"

int main(int argc, char* argv[]) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QTemporaryDir settings;
  setenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit().constData(), 1);
  QStandardPaths::setTestModeEnabled(true);
  testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("VarnholtWerk Software"));
  QApplication::setApplicationName(QStringLiteral("Tessaline"));
  RegisterStatusThread();
  const int result = RUN_ALL_TESTS();
  UnregisterStatusThread();
  return result;
}
