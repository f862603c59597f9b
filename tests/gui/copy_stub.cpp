// A running copy of the program as far as other copies can tell, for the tests of running
// copies: it starts up like the program, listens, and writes what it was asked to do to a log
// file. Its document is empty unless it is started with --patterns; with --hang its event loop
// never runs, as in a copy that hangs.
//
//   tessaline_copy_stub FOLDER LOG [--patterns] [--hang]
//
// It prints "listening" once other copies can reach it.
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <cstdio>
#include <string>

#include "files/whole_file.h"
#include "gui/instances/copy_transport.h"
#include "gui/instances/running_copies.h"

namespace {

const char* RequestName(CVHCommandLineInfo::ERequest request) {
  switch (request) {
    case CVHCommandLineInfo::ERequest::kOpen:
      return "open";
    case CVHCommandLineInfo::ERequest::kPrint:
      return "print";
    case CVHCommandLineInfo::ERequest::kNothing:
      break;
  }
  return "nothing";
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication application(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() < 3) {
    std::fprintf(stderr, "usage: tessaline_copy_stub FOLDER LOG [--patterns] [--hang]\n");
    return 2;
  }
  const QString folder = arguments[1];
  const std::string logPath = QFile::encodeName(arguments[2]).toStdString();
  const bool patterns = arguments.contains("--patterns");
  const bool hang = arguments.contains("--hang");

  std::string log;
  const auto note = [&](const std::string& line) {
    log += line + "\n";
    WriteWholeFile(logPath, log);
  };

  CCopyStartup startup(folder, CurrentUserIdentity());
  startup.HandOver({});
  CCopyServer server({[patterns] { return !patterns; },
                      [&](const CVHCommandLineInfo& commandLine) {
                        std::string line = RequestName(commandLine.request);
                        for (const std::string& file : commandLine.files) line += "\t" + file;
                        note(line);
                      },
                      [&] { note("front"); }},
                     folder, CurrentUserIdentity());
  if (!server.Listen()) {
    std::fprintf(stderr, "cannot listen on %s\n", qPrintable(server.SocketPath()));
    return 1;
  }
  startup.EndTurn();
  std::printf("listening\n");
  std::fflush(stdout);
  if (hang) {
    for (;;) ::pause();
  }
  return QCoreApplication::exec();
}
