#include <cstdio>
#include <ostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "crystal/crystal.h"
#include "crystal/spacegroups.h"
#include "errors/exception.h"

namespace {

void PrintTable(std::ostream& out) {
  for (const CSpaceGroupRow& row : SpaceGroupRows()) {
    out << row.number << '\t' << row.schoenflies << '\t' << row.shortSymbol << '\t'
        << row.fullSymbol << '\t' << row.settingCode << '\t' << row.originChoice << '\t'
        << row.operatorCount << '\n';
  }
}

void PrintRow(const CSpaceGroupRow& row, const CTSCrystal& crystal, std::ostream& out) {
  const double angles[3] = {crystal.alpha, crystal.beta, crystal.gamma};
  const char* symbol = *row.shortSymbol ? row.shortSymbol : row.fullSymbol;
  const CrystalSystem system = CrystalSystemOf(row.number, symbol, angles);
  const char letter = crystal.latticeLetter;
  const bool rhombohedralAxes = letter == 'R' && HasEqualAngles(crystal);
  const size_t centring = rhombohedralAxes ? 1 : CentringTranslations(letter).size();
  const size_t positions = crystal.symmetryOperators.size() * centring;

  out << Formatted("%s spacegroup (No. %d)", symbol, row.number) << "\n";
  out << "Number:             " << row.number << "\n";
  out << "Schoenflies symbol: "
      << SpaceGroupRows()[*FindSpaceGroupRow(std::to_string(row.number))].schoenflies << "\n";
  out << "Short symbol:       " << row.shortSymbol << "\n";
  out << "Full symbol:        " << row.fullSymbol << "\n";
  out << "Setting code:       " << row.settingCode << "\n";
  out << "Origin choice:      " << row.originChoice;
  if (row.originChoice != 0)
    out << " [origin " << row.originChoice << "] " << row.originDescription;
  out << "\n";
  out << "Crystal system:     " << CrystalSystemName(system) << "\n";
  out << "Lattice:            " << letter << " (centring multiplicity " << centring << ")\n";
  out << Formatted("%d general equivalent positions.", static_cast<int>(positions)) << "\n";
  out << Formatted("(Using %c lattice with %d GEPs)", letter,
                   static_cast<int>(crystal.symmetryOperators.size()))
      << "\n";
  for (const CTSSymOp& op : crystal.symmetryOperators) out << op.DisplayText() << "\n";
}

}  // namespace

int RunSpacegroupCommand(std::span<const std::string> arguments, std::ostream& out,
                         std::ostream& err) {
  const CArguments args(arguments, {{"--origin", true}, {"--cell", true}, {"--list", false}});
  if (args.Has("--list")) {
    if (!args.Positionals().empty()) throw CUsageError("--list takes no symbol");
    PrintTable(out);
    return kExitSuccess;
  }
  if (args.Positionals().size() != 1) throw CUsageError("expected one space-group symbol");

  CTSCrystal crystal;
  crystal.spaceGroupSymbol = args.Positionals().front();
  if (const auto origin = args.Integer("--origin")) {
    if (*origin != 1 && *origin != 2) throw CUsageError("--origin must be 1 or 2");
    crystal.originChoice = static_cast<int>(*origin);
  }
  // Without a cell, a rhombohedral group takes the hexagonal axes of the tables unless ":R" asks
  // for the rhombohedral ones.
  if (RequestsRhombohedralAxes(crystal.spaceGroupSymbol) != true) crystal.gamma = 120.0;
  if (const auto cell = args.Doubles("--cell", 6)) {
    crystal.a = (*cell)[0], crystal.b = (*cell)[1], crystal.c = (*cell)[2];
    crystal.alpha = (*cell)[3], crystal.beta = (*cell)[4], crystal.gamma = (*cell)[5];
    crystal.UpdateCell();
  }
  const std::optional<size_t> row = SpaceGroupRowOf(crystal);
  if (!row) {
    err << kSpacegroupNotRecognised << "\n";
    return kExitUsage;
  }
  BuildOperators(crystal);
  PrintRow(SpaceGroupRows()[*row], crystal, out);
  return kExitSuccess;
}
