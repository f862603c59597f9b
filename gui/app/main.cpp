// Start-up and shut-down of the desktop application: the preferences store, the progress status
// of the main thread, the command line, the main window with its document, and the files the
// command line names, opened as a drop would open them.
#include <QApplication>
#include <QScreen>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "app/status.h"
#include "errors/exception.h"
#include "gui/app/alert_dialog.h"
#include "gui/app/main_window.h"
#include "gui/instances/running_copies.h"
#include "gui/settings_storage.h"
#include "instances/command_line.h"
#include "plot/output_scale.h"
#include "preferences/preferences.h"

#if defined(__SANITIZE_ADDRESS__)
// Under the leak checker (the dev preset): the desktop's D-Bus library, which Qt's X11 platform
// loads, keeps a buffer for the life of the process and never frees it. Not ours to fix, and it
// would hide a leak of our own.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }
#endif

namespace {

CVHCommandLineInfo CommandLineOf(const QStringList& arguments) {
  std::vector<std::string> texts;
  for (qsizetype i = 1; i < arguments.size(); ++i) texts.push_back(arguments[i].toStdString());
  const std::vector<std::string_view> views(texts.begin(), texts.end());
  return ParseCommandLine(views);
}

// The main thread's statuses reach the progress window while the application runs.
struct CStatusThreadScope {
  CStatusThreadScope() { RegisterStatusThread(); }
  ~CStatusThreadScope() { UnregisterStatusThread(); }
};

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("VarnholtWerk Software"));
  QApplication::setApplicationName(QStringLiteral("Tessaline"));
  QApplication::setApplicationVersion(QStringLiteral(TESSALINE_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("tessaline"));

  // The plot's sizes are screen pixels at the screen's logical resolution.
  const int dpi =
      application.primaryScreen() ? application.primaryScreen()->logicalDotsPerInchY() : 96;
  OutputScale() = {dpi, dpi};

  const CStatusThreadScope status;
  CQtSettingsStorage storage;
  CPreferences preferences(storage);
  const CVHCommandLineInfo commandLine = CommandLineOf(QApplication::arguments());

  // A copy started with files gives them to a running copy whose window is empty, and ends.
  {
    CAlertDialogPresenter startupAlerts(nullptr);
    const CAlertPresenterScope alerts(startupAlerts);
    try {
      if (HandOverToRunningCopy(commandLine)) return 0;
    } catch (const CVHException& error) {
      error.Clone()->Report();
      return 1;
    }
  }

  auto window = std::make_unique<CMainWindow>(&preferences);
  window->show();
  window->AnswerOtherCopies();
  window->RunCommandLine(commandLine);
  const int status_code = QApplication::exec();
  window.reset();
  return status_code;
}
