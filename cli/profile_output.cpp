#include "cli/profile_output.h"

#include <algorithm>
#include <filesystem>
#include <ostream>

#include "crystal/vector.h"
#include "diffraction/reflexion.h"
#include "errors/exception.h"
#include "files/profile_file.h"
#include "files/whole_file.h"
#include "patterns/pattern.h"
#include "patterns/plot_spec.h"
#include "radiation/types.h"

namespace {

using namespace VHTypes;

enum class CFormat { kProfileFile, kXy, kXye, kCsv };

CFormat FormatOf(const std::string& path) {
  if (path == "-") return CFormat::kProfileFile;
  std::string extension = std::filesystem::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == ".xy") return CFormat::kXy;
  if (extension == ".xye") return CFormat::kXye;
  if (extension == ".csv") return CFormat::kCsv;
  return CFormat::kProfileFile;
}

std::string AxisHeading(const CPlotSpec& plot) {
  return std::string(plot.XAxisTitle()) + " (" + plot.XAxisUnit() + ")";
}

// What the radiation and instrument were, for the comment lines.
std::string RadiationLine(const CPlotSpec& plot) {
  std::string line = std::string("# Radiation: ") + SimulationChooserName(plot.SimulationType());
  switch (plot.SimulationType()) {
    case kSimulationEnergyDispersive:
      return line + Formatted(", detector at 2-theta %.4f degrees\n",
                              2.0 * plot.EDXTheta() * kRadiansToDegrees);
    case kSimulationTimeOfFlight:
      return line + Formatted(", detector at 2-theta %.4f degrees, flight path %g m\n",
                              2.0 * plot.TOFTheta() * kRadiansToDegrees, plot.TOFDistance());
    case kSimulationElectrons:
      return line + Formatted(", wavelength %.6f A\n", plot.LambdaTEM());
    case kSimulationXrays:
      if (!plot.Monochromatic())
        return line + Formatted(", wavelengths %.6f and %.6f A, intensity ratio %g\n",
                                plot.Lambda(), plot.Lambda2(), plot.LambdaRatio());
      [[fallthrough]];
    default:
      return line + Formatted(", wavelength %.6f A\n", plot.Lambda());
  }
}

std::string CommentLines(const CTSPattern& pattern, const CPlotSpec& plot) {
  return "# Tessaline " TESSALINE_VERSION ": " + pattern.Title() + "\n" + RadiationLine(plot) +
         "# Axis: " + AxisHeading(plot) + "\n# Profile: " + ProfileChooserName(plot.ProfileType()) +
         "\n";
}

std::string Quoted(const std::string& field) {
  return field.find_first_of(",\"") == std::string::npos ? field : "\"" + field + "\"";
}

// The columns of every point in range, separated by `separator`.
std::string Columns(const CTSPattern& pattern, const CProfile& profile,
                    const std::vector<double>& errors, const CPlotSpec& plot, char separator) {
  const int decimals = ProfileXDecimals(profile);
  std::string text;
  for (size_t i = 0; i < profile.size(); ++i) {
    const CProfilePoint& point = profile[i];
    if (point.x < plot.XMin() || point.x > plot.XMax()) continue;
    text += Formatted("%.*f%c%.6g", decimals, point.x, separator, pattern.PlottedPoint(point).y);
    if (!errors.empty()) text += Formatted("%c%.6g", separator, errors[i]);
    text += '\n';
  }
  return text;
}

void Deliver(const std::string& path, const std::string& text, std::ostream& out) {
  if (path == "-")
    out << text;
  else
    WriteWholeFile(path, text);
}

}  // namespace

void WriteProfileOutput(const std::string& path, const CTSPattern& pattern, const CProfile& profile,
                        const std::vector<double>& errors, const CPlotSpec& plot,
                        std::ostream& out) {
  switch (FormatOf(path)) {
    case CFormat::kProfileFile:
      Deliver(path, CTSProfileFile::ProfileText(pattern, profile, plot), out);
      return;
    case CFormat::kXy:
      Deliver(path,
              CommentLines(pattern, plot) + "# x intensity\n" +
                  Columns(pattern, profile, {}, plot, ' '),
              out);
      return;
    case CFormat::kXye:
      Deliver(path,
              CommentLines(pattern, plot) +
                  (errors.empty() ? "# x intensity (no errors known)\n" : "# x intensity error\n") +
                  Columns(pattern, profile, errors, plot, ' '),
              out);
      return;
    case CFormat::kCsv:
      Deliver(path,
              Quoted(AxisHeading(plot)) + ",intensity" + (errors.empty() ? "" : ",error") + "\n" +
                  Columns(pattern, profile, errors, plot, ','),
              out);
      return;
  }
}

std::vector<std::shared_ptr<CTSReflexion>> ReflexionsInRange(
    const std::vector<std::shared_ptr<CTSReflexion>>& reflexions, const CPlotSpec& plot) {
  std::vector<std::shared_ptr<CTSReflexion>> inRange;
  for (const auto& r : reflexions)
    if (r->position >= plot.XMin() && r->position <= plot.XMax()) inRange.push_back(r);
  return inRange;
}

void WritePeakTable(const std::string& path,
                    const std::vector<std::shared_ptr<CTSReflexion>>& reflexions,
                    const CPlotSpec& plot, std::ostream& out) {
  const std::vector<std::shared_ptr<CTSReflexion>> inRange = ReflexionsInRange(reflexions, plot);
  double strongest = 0.0;
  for (const auto& r : inRange) strongest = std::max(strongest, r->intensity);
  std::string text =
      "h,k,l,d (Å)," + Quoted(AxisHeading(plot)) + ",intensity,relative intensity,multiplicity\n";
  for (const auto& r : inRange)
    text +=
        Formatted("%d,%d,%d,%.6f,%.6f,%.6g,%.6f,%d\n", r->h, r->k, r->l, r->d, r->position,
                  r->intensity, strongest > 0.0 ? r->intensity / strongest : 0.0, r->multiplicity);
  Deliver(path, text, out);
}
