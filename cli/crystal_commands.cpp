#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <ostream>
#include <utility>

#include "cli/arguments.h"
#include "cli/cli_document.h"
#include "cli/commands.h"
#include "cli/input_file.h"
#include "cli/run_outputs.h"
#include "crystal/spacegroups.h"
#include "errors/exceptions.h"
#include "files/crystal_files.h"
#include "files/session_file.h"
#include "files/tess_file.h"
#include "patterns/observed_pattern.h"

namespace {

std::string DisplacementText(const CTSSite& site) {
  if (!site.displacement) return "none";
  return Formatted(site.displacement->IsAnisotropic() ? "Ueq %.4f" : "Uiso %.4f",
                   site.displacement->U());
}

// The lines every file starts with: path, type and title.
void PrintFileLines(const std::string& path, unsigned typeId, const std::string& title,
                    std::ostream& out) {
  const CTessFileType* type = CTessFile::TypeInfo(typeId);
  out << "File:            " << path << "\n";
  out << "Type:            "
      << (type && !type->filterText.empty() ? type->filterText : std::string_view("?")) << " ("
      << typeId << ")\n";
  out << "Title:           " << title << "\n";
}

void PrintCrystal(const std::string& path, unsigned typeId, const CTSPattern& pattern,
                  std::ostream& out) {
  const CTSCrystal& c = *pattern.Crystal();
  PrintFileLines(path, typeId, pattern.Title(), out);
  out << Formatted("Cell:            %.4f %.4f %.4f  %.3f %.3f %.3f\n", c.a, c.b, c.c, c.alpha,
                   c.beta, c.gamma);
  out << Formatted("Volume:          %.4f A^3\n", c.volume);
  out << Formatted("Density:         %.4f g/cm^3\n", c.density / 1000.0);
  const std::optional<size_t> row = SpaceGroupRowOf(c);
  const double angles[3] = {c.alpha, c.beta, c.gamma};
  if (row) {
    const CSpaceGroupRow& r = SpaceGroupRows()[*row];
    out << "Space group:     "
        << Formatted("%s spacegroup (No. %d)", c.spaceGroupSymbol.c_str(), r.number) << "\n";
    out << "Crystal system:  "
        << CrystalSystemName(CrystalSystemOf(r.number, c.spaceGroupSymbol, angles)) << "\n";
  } else {
    out << "Space group:     " << c.spaceGroupSymbol << " (" << kSpacegroupNotRecognised << ")\n";
  }
  out << "Lattice:         " << c.latticeLetter << ", origin choice " << c.originChoice << "\n";
  out << "Operators:       " << c.symmetryOperators.size() << "\n";
  out << "Sites:           " << c.sites.size() << "\n";
  out << "  label     species                       x         y         z   mult  displacement\n";
  for (const CTSSite& site : c.sites) {
    std::string species;
    for (const CTSAtom& atom : site.atoms)
      species += Formatted("%s %.4f ", atom.symbol.c_str(), atom.occupancy);
    out << Formatted("  %-8s  %-26s %9.5f %9.5f %9.5f %5zu  %s\n", site.label.c_str(),
                     species.c_str(), site.x, site.y, site.z, site.Multiplicity(),
                     DisplacementText(site).c_str());
  }
}

void PrintObserved(const std::string& path, unsigned typeId, const CTSObservedPattern& pattern,
                   std::ostream& out) {
  // Never empty: the readers refuse files without data.
  const CProfile& points = pattern.RawPoints();
  PrintFileLines(path, typeId, pattern.Title(), out);
  const auto [lowX, highX] = std::ranges::minmax(points, {}, &CProfilePoint::x);
  const auto [lowY, highY] = std::ranges::minmax(points, {}, &CProfilePoint::y);
  out << "Points:          " << points.size() << "\n";
  out << Formatted("X range:         %.4f to %.4f\n", lowX.x, highX.x);
  out << Formatted("Y range:         %.6g to %.6g\n", lowY.y, highY.y);
  if (!pattern.Errors().empty())
    out << "Errors:          " << pattern.Errors().size() << " (third column)\n";
}

const char* KindName(const CTSPattern& pattern) {
  switch (pattern.GetKind()) {
    case CTSPattern::kObserved:
      return "observed";
    case CTSPattern::kCrystal:
      return "crystal";
    case CTSPattern::kMixture:
      return "mixture";
  }
  return "?";
}

// One row per pattern, a mixture's components indented under it with their fractions.
void PrintPatternRows(const CPatternList& patterns, int depth, std::ostream& out) {
  for (const auto& pattern : patterns) {
    const std::string kind = std::string(2 * static_cast<size_t>(depth), ' ') + KindName(*pattern);
    const std::string fraction = depth > 0 ? Formatted("%.4f", pattern->MixtureFraction()) : "";
    out << Formatted("  %-12s %-7s  %-8s  %s\n", kind.c_str(), pattern->Plotted() ? "yes" : "no",
                     fraction.c_str(), pattern->Title().c_str());
    if (const CPatternList* components = pattern->Components())
      PrintPatternRows(*components, depth + 1, out);
  }
}

void PrintSession(const std::string& path, unsigned typeId, const CPatternList& patterns,
                  std::ostream& out) {
  PrintFileLines(path, typeId, std::filesystem::path(path).stem().string(), out);
  out << "Patterns:        " << patterns.size() << "\n";
  if (patterns.empty()) return;
  out << "  kind         plotted  fraction  title\n";
  PrintPatternRows(patterns, 0, out);
}

// Every structure of a crystal file (a CIF may hold several), the observed data, or the
// patterns of a session, as the document reads them.
void PrintFile(const std::string& path, const CPatternList& patterns, std::ostream& out) {
  const unsigned typeId = CTessFile::DetermineType(path);
  if (IsSessionType(typeId)) {
    PrintSession(path, typeId, patterns, out);
    return;
  }
  bool first = true;
  for (const auto& pattern : patterns) {
    if (!std::exchange(first, false)) out << "\n";
    if (pattern->GetKind() == CTSPattern::kObserved)
      PrintObserved(path, typeId, static_cast<const CTSObservedPattern&>(*pattern), out);
    else
      PrintCrystal(path, typeId, *pattern, out);
  }
}

}  // namespace

int RunInfoCommand(std::span<const std::string> arguments, std::ostream& out, std::ostream&) {
  const CArguments args(arguments, {});
  if (args.Positionals().empty()) throw CUsageError("expected one or more files");
  // Info describes files and calculates nothing: their patterns are not shown.
  CCliDocument document(CPlotSpec::BuiltIn(),
                        [](CTSPattern& pattern) { pattern.SetPlotted(false); });
  int status = kExitSuccess;
  bool first = true;
  for (const std::string& path : args.Positionals()) {
    if (!first) out << "\n";
    first = false;
    if (!WithInputFile(path, [&] { PrintFile(path, document.Add(path), out); })) {
      out << "File:            " << path << " (not read)\n";
      status = kExitFailure;
    }
  }
  return status;
}

int RunConvertCommand(std::span<const std::string> arguments, std::ostream&, std::ostream& err) {
  const CArguments args(arguments, {});
  if (args.Positionals().size() != 2) throw CUsageError("expected an input and an output file");
  const std::string& path = args.Positionals()[0];
  const std::string& output = args.Positionals()[1];
  const std::string extension = Lowercase(std::filesystem::path(output).extension().string());
  if (extension != ".cif" && extension != ".vhtx")
    throw CUsageError("the output must end in .cif or .vhtx");
  CRunOutputs outputs(std::span(args.Positionals()).first(1), err);
  outputs.RefuseInput(output, "the output");
  std::vector<CCrystalFile> crystals;
  if (!WithInputFile(path, [&] { crystals = ReadCrystalFiles(path); })) return kExitFailure;
  // A file of several structures gives one output each, named after OUT and the structure.
  bool written = true;
  for (const CCrystalFile& crystal : crystals) {
    std::filesystem::path target = output;
    if (crystals.size() > 1)
      target.replace_filename(target.stem().string() + "-" + crystal.title +
                              target.extension().string());
    const std::string claimed = outputs.Claim(target.string());
    written = WithInputFile(claimed,
                            [&] { WriteCrystalFile(claimed, crystal.crystal, crystal.title); }) &&
              written;
  }
  return written ? kExitSuccess : kExitFailure;
}
