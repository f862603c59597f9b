#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

#include "app/status_log.h"
#include "cli/arguments.h"
#include "cli/calculation_options.h"
#include "cli/commands.h"
#include "cli/help.h"
#include "cli/input_file.h"
#include "cli/user_preferences.h"
#include "crystal/crystal.h"
#include "diffraction/reflexion_generator.h"
#include "errors/alert.h"
#include "errors/exceptions.h"

namespace {

struct CCommand {
  const char* name;
  int (*run)(std::span<const std::string>, std::ostream&, std::ostream&);
};

constexpr CCommand kCommands[] = {
    {"info", RunInfoCommand},
    {"convert", RunConvertCommand},
    {"reflexions", RunReflexionsCommand},
    {"structure-factors", RunStructureFactorsCommand},
    {"simulate", RunSimulateCommand},
    {"batch", RunBatchCommand},
    {"plot", RunPlotCommand},
    {"asf", RunAsfCommand},
    {"spacegroup", RunSpacegroupCommand},
    {"preferences", RunPreferencesCommand},
};

bool AsksForHelp(std::span<const std::string> arguments) {
  return std::any_of(arguments.begin(), arguments.end(),
                     [](const std::string& a) { return a == "--help" || a == "-h"; });
}

// The status log of a run: every warning to the error stream, naming its file, unless quiet.
class CStreamStatusLog : public CStatusLog {
 public:
  CStreamStatusLog(std::ostream& stream, bool quiet) : m_stream(stream), m_quiet(quiet) {}
  void Write(std::string_view line) override {
    if (m_quiet) return;
    m_stream << InputFilePrefix() << line << "\n";
    // The core's warning speaks of the preference; here the limit is an option.
    if (IsReflexionCapWarning(line))
      m_stream << InputFilePrefix()
               << "(--max-reflexions N raises the limit, --max-reflexions 0 lifts it)\n";
  }

 private:
  std::ostream& m_stream;
  bool m_quiet;
};

// Alerts are switched off in a command-line run: each becomes one line on the error stream and
// counts as its first button.
class CStreamAlertPresenter : public CAlertPresenter {
 public:
  explicit CStreamAlertPresenter(std::ostream& stream) : m_stream(stream) {}
  Answer Present(const CVHAlertContent& alert) override {
    m_stream << InputFilePrefix(alert.sourceLine) << AlertLine(alert);
    // The reason the system gave (missing, a directory, no permission, disc full) says what
    // the alert's general text cannot.
    if (alert.systemCode > 0 && alert.systemCode < 4096)
      m_stream << " [" << std::strerror(static_cast<int>(alert.systemCode)) << "]";
    m_stream << "\n";
    return kFirstButton;
  }

 private:
  std::ostream& m_stream;
};

int RunCommand(std::span<const std::string> arguments, std::ostream& out, std::ostream& err) {
  if (arguments.empty()) {
    err << OverviewHelp();
    return kExitUsage;
  }
  const std::string& first = arguments.front();
  if (first == "--help" || first == "-h" || first == "help") {
    out << (arguments.size() > 1 ? CommandHelp(arguments[1]).value_or(OverviewHelp())
                                 : OverviewHelp());
    return kExitSuccess;
  }
  if (first == "--version") {
    out << "Tessaline " << TESSALINE_VERSION << "\n";
    return kExitSuccess;
  }
  for (const CCommand& command : kCommands) {
    if (first != command.name) continue;
    if (AsksForHelp(arguments.subspan(1))) {
      out << *CommandHelp(command.name);
      return kExitSuccess;
    }
    try {
      return command.run(arguments.subspan(1), out, err);
    } catch (const CUsageError& error) {
      err << "tessaline-cli " << command.name << ": " << error.what() << "\n"
          << ShortUsage(command.name);
      return kExitUsage;
    } catch (...) {
      // Every failure reaches the user as its alert; headless, that is one line on stderr.
      ConvertException(std::current_exception(), kSeverityMessage)->Report();
      return kExitFailure;
    }
  }
  err << "tessaline-cli: unknown command '" << first << "' (try --help)\n";
  return kExitUsage;
}

// Removes a switch that may stand anywhere on the line; true when it was there.
bool TakeSwitch(std::vector<std::string>& arguments, std::string_view name) {
  const auto found = std::find(arguments.begin(), arguments.end(), name);
  if (found == arguments.end()) return false;
  arguments.erase(found);
  return true;
}

}  // namespace

int RunCommandLine(std::span<const std::string> arguments, std::ostream& out, std::ostream& err) {
  CStreamAlertPresenter alerts(err);
  CAlertPresenterScope alertScope(alerts);
  std::vector<std::string> rest(arguments.begin(), arguments.end());
  // Calculations start from the built-in defaults unless asked to start from the preferences,
  // whose loading also sets the rules, the memory budget and the scattering factors.
  std::unique_ptr<CUserPreferences> preferences;
  std::optional<CCalculationDefaultsScope> defaults;
  if (TakeSwitch(rest, "--use-preferences")) {
    preferences = std::make_unique<CUserPreferences>();
    defaults.emplace(preferences->Preferences());
  }
  const CLegacyRulesScope rules(TakeSwitch(rest, "--legacy-rules") || LegacyRulesDefault());
  const bool quiet = TakeSwitch(rest, "--quiet");
  TakeSwitch(rest, "--verbose");  // warnings are shown unless --quiet; kept for older scripts
  CStreamStatusLog log(err, quiet);
  CStatusLogScope scope(log);
  int status = RunCommand(rest, out, err);
  // Output that never arrived (a full disc behind a redirection) is a failure, not a success.
  if (!out.flush()) {
    err << "tessaline-cli: cannot write the output (" << std::strerror(errno ? errno : EIO)
        << ")\n";
    status = kExitFailure;
  }
  return status;
}
