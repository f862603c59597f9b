#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ostream>
#include <vector>

#include "app/status_log.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/input_file.h"
#include "crystal/crystal.h"
#include "errors/alert.h"
#include "errors/exceptions.h"

namespace {

struct CCommand {
  const char* name;
  const char* summary;
  int (*run)(std::span<const std::string>, std::ostream&, std::ostream&);
};

constexpr CCommand kCommands[] = {
    {"info",
     "FILE...\n      describe crystal files (cell, density, space group, sites) and observed-data files (points,\n"
     "      x and y ranges)",
     RunInfoCommand},
    {"convert", "IN OUT\n      write a crystal file as CIF or text crystal file (by OUT's extension: .cif, .vhtx)",
     RunConvertCommand},
    {"reflexions", "FILE... [-o OUT] [CALCULATION OPTIONS]\n"
                   "      list the reflexions of crystal files: d, 2-theta, intensity, multiplicity, Lp",
     RunReflexionsCommand},
    {"structure-factors", "FILE... [-o OUT] [CALCULATION OPTIONS]\n"
                          "      list the structure factors of crystal files: phase, Lp, F, intensity",
     RunStructureFactorsCommand},
    {"simulate",
     "FILE... [-o OUT|-] [--out-dir DIR] [--range MIN:MAX] [--points N] [--profile delta|gaussian|lorentzian|pseudo-voigt]\n"
     "      [--eta E] [--width W] [--ka2 [--wavelength2 A] [--ratio R]] [--size A] [--strain E] [--summary]\n"
     "      [--radiation xray|neutron|edx|tof|electron] [--wavelength A | --voltage KV] [--axis 2theta|d|1/d|tof|energy|2pi/d]\n"
     "      [--dmin A] [--max-reflexions N] [--no-adp] [--po plates|needles [--po-vector U,V,W] [--po-type normal|lattice]\n"
     "      [--po-alignment F]] [--edx-theta RAD] [--tof-theta RAD] [--tof-distance M]\n"
     "      [--scale-x F] [--smooth RADIUS] [--background auto|X:Y,X:Y,...] [--reflexions OUT] [--structure-factors OUT]\n"
     "      simulate the powder pattern of crystal files and write each profile (x, intensity) as a profile file:\n"
     "      OUT for one input, OUT's name with each title added for several, TITLE.txt without -o; '-' is stdout.\n"
     "      --width is the instrument's full width in the radiation's unit (degrees 2theta, keV for edx, 1/A for\n"
     "      electrons, delta-d/d for tof); --size is the crystallite size in A, --strain the isotropic strain;\n"
     "      --summary prints the ten strongest peaks. Observed-data files (.dat, .xy, .xye, Rigaku .asc/.rint,\n"
     "      profile files) are written on the same grid: --scale-x multiplies their x values, --smooth averages\n"
     "      them over RADIUS points either side, --background auto subtracts a flat background at the smallest\n"
     "      intensity, --background X:Y,... one through the given points; --reflexions and --structure-factors\n"
     "      write the listings of the crystal files too",
     RunSimulateCommand},
    {"asf", "--export FILE | --check FILE\n      write the built-in scattering-factor table, or check a table file",
     RunAsfCommand},
    {"spacegroup", "SYMBOL [--origin 1|2] [--cell a,b,c,alpha,beta,gamma] | --list\n"
                   "      show a space group of the built-in table, or list the table",
     RunSpacegroupCommand},
};

void PrintHelp(std::ostream& out) {
  out << "Usage: tessaline-cli [--verbose] [--legacy-rules] COMMAND [ARGUMENTS]\n"
         "       tessaline-cli --help | --version\n\n"
         "Powder-diffraction simulation from the command line.\n\nCommands:\n";
  for (const CCommand& command : kCommands) out << "  " << command.name << " " << command.summary << "\n";
  out << "\nCalculation options:\n"
         "  --radiation xray|neutron|edx|tof|electron  --wavelength ANGSTROM  --voltage KV (electrons)\n"
         "  --dmin ANGSTROM  --max-reflexions N (0: no cap)  --no-adp\n"
         "  --po plates|needles [--po-vector U,V,W] [--po-type normal|lattice] [--po-alignment 0..1]\n"
         "  --axis 2theta|d|1/d|tof|energy|2pi/d  --edx-theta RAD  --tof-theta RAD  --tof-distance M\n"
         "-o OUT writes to the file OUT; without it, or with -o -, output goes to stdout.\n";
  out << "\n--verbose prints the warnings met while reading files to stderr.\n"
         "--legacy-rules follows the earlier rules for equivalent positions (images compared\n"
         "coordinate by coordinate within 0.00011, without wrap-around) and anisotropic\n"
         "displacement (one unrotated tensor for every image of a site), to reproduce results\n"
         "computed with them; by default images within 0.05 A of each other are one atom and\n"
         "each image's displacement turns with it.\n"
         "Exit status: 0 success, 1 a command failed, 2 bad usage.\n";
}

// The status log of a run: every warning to the error stream, naming its file, unless quiet.
class CStreamStatusLog : public CStatusLog {
 public:
  CStreamStatusLog(std::ostream& stream, bool quiet) : m_stream(stream), m_quiet(quiet) {}
  void Write(std::string_view line) override {
    if (!m_quiet) m_stream << InputFilePrefix() << line << "\n";
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
    m_stream << InputFilePrefix() << AlertLine(alert);
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
    PrintHelp(err);
    return kExitUsage;
  }
  const std::string& first = arguments.front();
  if (first == "--help" || first == "-h" || first == "help") {
    PrintHelp(out);
    return kExitSuccess;
  }
  if (first == "--version") {
    out << "Tessaline " << TESSALINE_VERSION << "\n";
    return kExitSuccess;
  }
  for (const CCommand& command : kCommands) {
    if (first != command.name) continue;
    try {
      return command.run(arguments.subspan(1), out, err);
    } catch (const CUsageError& error) {
      err << "tessaline-cli " << command.name << ": " << error.what() << "\n";
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
  const CLegacyRulesScope rules(TakeSwitch(rest, "--legacy-rules"));
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
