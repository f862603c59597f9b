#include "files/crystal_symmetry.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "app/status_log.h"
#include "crystal/crystal.h"
#include "crystal/hall_symbol.h"
#include "crystal/spacegroups.h"
#include "errors/exceptions.h"
#include "resources/elements.h"
#include "resources/spacegroup_table.h"

namespace {

constexpr unsigned kInvalidSymbolText = 22830;
constexpr unsigned kUnknownNumberText = 22833;
constexpr unsigned kLatticeConflictText = 21096;
constexpr unsigned kSymmetryConflictText = 21097;

// Alerts that have no class of their own: a non-fatal message with a numbered text.
class CReadingAlert : public CVHException {
 public:
  CReadingAlert(unsigned resourceId, const CFormatArguments& arguments)
      : CVHException(Deferred{}, kSeverityMessage, 0, 0) {
    Initialise(resourceId, arguments);
  }
};

void Report(unsigned resourceId, const CFormatArguments& arguments = {}) {
  CReadingAlert(resourceId, arguments).Report();
}

const char* SymbolOf(const CSpaceGroupRow& row) {
  return *row.shortSymbol ? row.shortSymbol : row.fullSymbol;
}

std::optional<size_t> FirstRowOfNumber(int number) {
  const auto rows = SpaceGroupRows();
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].number == number) return i;
  return std::nullopt;
}

// The crystal takes the table's spelling of the group ("P 1 21/c 1" and "F d -3 m :2" show as
// "P 21/c" and "F d -3 m", origin choice 2).
void UseSymbol(CTSCrystal& crystal, const std::string& symbol, int originChoice) {
  crystal.spaceGroupSymbol = symbol;
  crystal.originChoice = originChoice;
  crystal.symmetryOperators.clear();
  BuildOperators(crystal);
  if (const auto row = SpaceGroupRowOf(crystal)) crystal.spaceGroupSymbol = SymbolOf(SpaceGroupRows()[*row]);
}

// A list given with a lattice letter (as the text and binary formats give the primitive
// operators and the centring apart) completed with the centring translations.
std::vector<CTSSymOp> WithCentring(const std::vector<CTSSymOp>& operators, char letter) {
  std::vector<CTSSymOp> full;
  std::set<uint32_t> codes;
  for (const VHTypes::CVector& c : CentringTranslations(letter)) {
    for (const CTSSymOp& op : operators) {
      CTSSymOp shifted = op;
      shifted.SetTranslation(op.Translation() + c);
      const auto code = shifted.Code();
      if (code && !codes.insert(*code).second) continue;
      full.push_back(shifted);
    }
  }
  return full;
}

// The codes of every operator of a row, centring translations included.
std::set<uint32_t> FullCodes(const CSpaceGroupRow& row, bool rhombohedralAxes) {
  std::set<uint32_t> codes;
  const char letter = rhombohedralAxes ? 'P' : SymbolOf(row)[0];
  for (const VHTypes::CVector& c : CentringTranslations(letter)) {
    for (int i = 0; i < row.operatorCount; ++i) {
      CTSSymOp op = CTSSymOp::FromCode(row.codes[i]);
      op.SetTranslation(op.Translation() + c);
      if (const auto code = op.Code()) codes.insert(*code);
    }
  }
  return codes;
}

bool AllListedIn(const std::vector<CTSSymOp>& operators, const std::set<uint32_t>& codes) {
  return std::all_of(operators.begin(), operators.end(), [&](const CTSSymOp& op) {
    const auto code = op.Code();
    return code && codes.count(*code) != 0;
  });
}

CSymmetrySource ApplyOperators(const CFileSymmetry& symmetry, CTSCrystal& crystal) {
  int symbolOrigin = 0;
  const std::optional<size_t> symbolRow =
      symmetry.symbol.empty() ? std::nullopt : LookUpSpaceGroup(symmetry.symbol, symbolOrigin);

  crystal.spaceGroupSymbol = symmetry.symbol;
  crystal.latticeLetter = symmetry.latticeLetter ? symmetry.latticeLetter
                          : symbolRow            ? SymbolOf(SpaceGroupRows()[*symbolRow])[0]
                                                 : 'P';
  const bool centringApart = symmetry.latticeLetter && !(symmetry.latticeLetter == 'R' && HasEqualAngles(crystal));
  const std::vector<CTSSymOp> listed =
      centringApart ? WithCentring(symmetry.operators, symmetry.latticeLetter) : symmetry.operators;
  crystal.symmetryOperators = listed;
  const bool identified = IdentifySpaceGroup(crystal);
  if (!symbolRow) {
    // A list in a setting of its own (an origin elsewhere) keeps its operators; a number
    // still names the group for display.
    if (!identified && symmetry.number)
      if (const auto numberRow = FirstRowOfNumber(*symmetry.number))
        crystal.spaceGroupSymbol = SymbolOf(SpaceGroupRows()[*numberRow]);
    return CSymmetrySource::kOperators;
  }

  CTSCrystal bySymbol = crystal;
  UseSymbol(bySymbol, symmetry.symbol, symbolOrigin);
  const CSpaceGroupRow& named = SpaceGroupRows()[*SpaceGroupRowOf(bySymbol)];
  int identifiedOrigin = 0;
  const std::optional<size_t> identifiedRow =
      identified ? LookUpSpaceGroup(crystal.spaceGroupSymbol, identifiedOrigin) : std::nullopt;
  if (identifiedRow && SpaceGroupRows()[*identifiedRow].number == named.number) return CSymmetrySource::kOperators;

  const bool rhombohedralAxes = named.settingCode == 111;
  const char namedLetter = SymbolOf(named)[0];
  const bool latticeDiffers = identified && crystal.latticeLetter != namedLetter;
  const std::set<uint32_t> namedCodes = FullCodes(named, rhombohedralAxes);
  if (listed.size() < namedCodes.size() && AllListedIn(listed, namedCodes)) {
    // The list is only part of the named group (often without its centring translations, or
    // just the identity): the symbol is the fuller description.
    if (latticeDiffers) Report(kLatticeConflictText);
    LogStatus("Warning: The symmetry operators of this file are only part of spacegroup '" +
              symmetry.symbol + "'; the spacegroup symbol is used.");
    crystal = std::move(bySymbol);
    return CSymmetrySource::kSymbol;
  }
  if (identified) Report(latticeDiffers ? kLatticeConflictText : kSymmetryConflictText);
  return CSymmetrySource::kOperators;
}

// Whether a Hermann-Mauguin symbol and a Hall symbol describe one setting. Most files write the
// symbol without an origin or axes suffix beside a Hall symbol that fixes them: the Hall symbol
// completes what the other leaves open rather than contradicting it. Only a different group, a
// different cell setting, or an origin or axes the symbol states explicitly differ.
bool NamesTheSameSetting(std::optional<size_t> symbolRow, std::optional<size_t> hallRow,
                         const std::string& symbol, int statedOrigin) {
  if (symbolRow == hallRow) return true;
  if (!symbolRow || !hallRow) return false;
  const CSpaceGroupRow &named = SpaceGroupRows()[*symbolRow], &hall = SpaceGroupRows()[*hallRow];
  if (named.number != hall.number) return false;
  auto rhombohedral = [](const CSpaceGroupRow& row) {
    return row.settingCode == 111 || row.settingCode == 112;
  };
  const bool axesLeftOpen =
      rhombohedral(named) && rhombohedral(hall) && !RequestsRhombohedralAxes(symbol);
  if (named.settingCode != hall.settingCode && !axesLeftOpen) return false;
  return named.originChoice == hall.originChoice || statedOrigin == 0;
}

// The operators of the file's Hall symbol; the Hermann-Mauguin symbol only names the group
// when the operators do not identify one.
std::optional<CSymmetrySource> ApplyHallSymbol(const CFileSymmetry& symmetry, CTSCrystal& crystal) {
  const std::optional<std::vector<CTSSymOp>> operators = OperatorsOfHallSymbol(symmetry.hall);
  if (!operators) {
    LogStatus("Warning: The Hall symbol '" + symmetry.hall + "' cannot be read; it is ignored.");
    return std::nullopt;
  }
  CFileSymmetry fromHall;
  fromHall.operators = *operators;
  fromHall.number = symmetry.number;
  ApplyOperators(fromHall, crystal);
  if (symmetry.symbol.empty()) return CSymmetrySource::kHall;
  int origin = 0;
  CTSCrystal bySymbol = crystal;
  const bool known = LookUpSpaceGroup(symmetry.symbol, origin).has_value();
  if (known) UseSymbol(bySymbol, symmetry.symbol, origin);
  const auto symbolRow = known ? SpaceGroupRowOf(bySymbol) : std::nullopt;
  const auto hallRow = SpaceGroupRowOf(crystal);
  if (!hallRow && crystal.spaceGroupSymbol.empty()) crystal.spaceGroupSymbol = symmetry.symbol;
  if (!NamesTheSameSetting(symbolRow, hallRow, symmetry.symbol, origin))
    LogStatus("Warning: The Hall symbol '" + symmetry.hall + "' and the spacegroup symbol '" +
              symmetry.symbol + "' describe different settings; the Hall symbol is used.");
  return CSymmetrySource::kHall;
}

CSymmetrySource ResolveSymmetry(const CFileSymmetry& symmetry, CTSCrystal& crystal) {
  if (!symmetry.operators.empty()) return ApplyOperators(symmetry, crystal);
  if (!symmetry.hall.empty())
    if (const std::optional<CSymmetrySource> source = ApplyHallSymbol(symmetry, crystal))
      return *source;

  const std::optional<size_t> numberRow =
      symmetry.number ? FirstRowOfNumber(*symmetry.number) : std::nullopt;
  if (!symmetry.symbol.empty()) {
    int origin = 0;
    if (LookUpSpaceGroup(symmetry.symbol, origin)) {
      UseSymbol(crystal, symmetry.symbol, origin);
      return CSymmetrySource::kSymbol;
    }
    const char* replacement = numberRow ? SymbolOf(SpaceGroupRows()[*numberRow]) : "P 1";
    Report(kInvalidSymbolText, {symmetry.symbol, std::string(replacement)});
    UseSymbol(crystal, replacement, 0);
    return numberRow ? CSymmetrySource::kNumber : CSymmetrySource::kNone;
  }
  if (symmetry.number) {
    if (numberRow) {
      UseSymbol(crystal, SymbolOf(SpaceGroupRows()[*numberRow]), 0);
      return CSymmetrySource::kNumber;
    }
    Report(kUnknownNumberText, {static_cast<long long>(*symmetry.number), std::string("P 1")});
  }
  UseSymbol(crystal, "P 1", 0);
  return CSymmetrySource::kNone;
}

}  // namespace

CSymmetrySource ApplyFileSymmetry(const CFileSymmetry& symmetry, CTSCrystal& crystal) {
  const CSymmetrySource source = ResolveSymmetry(symmetry, crystal);
  MakeCellMetricExact(crystal);
  return source;
}

namespace {

// How much of what the file expects the crystal's cell holds: a point for each site of the
// expected multiplicity, and one for a cell content that matches the formula.
int Agreement(const CTSCrystal& crystal, const CExpectedContent& expected) {
  int points = 0;
  for (size_t i = 0; i < crystal.sites.size() && i < expected.multiplicities.size(); ++i)
    if (expected.multiplicities[i] == static_cast<int>(crystal.sites[i].Multiplicity())) ++points;
  if (expected.atoms.empty()) return points;
  std::map<std::string, double> atoms;
  for (const CTSSite& site : crystal.sites)
    for (const CTSAtom& atom : site.atoms)
      if (const CElement* element = LeadingElement(atom.symbol))
        atoms[element->symbol] += atom.occupancy * static_cast<double>(site.Multiplicity());
  const bool matches = std::all_of(atoms.begin(), atoms.end(), [&](const auto& entry) {
    const auto found = expected.atoms.find(entry.first);
    return found != expected.atoms.end() &&
           std::abs(found->second - entry.second) <= 0.02 * found->second;
  });
  return points + (matches ? 1 : 0);
}

}  // namespace

void ChooseOriginByContent(CTSCrystal& crystal, const CExpectedContent& expected) {
  const bool expectsSomething =
      !expected.atoms.empty() ||
      std::any_of(expected.multiplicities.begin(), expected.multiplicities.end(),
                  [](const std::optional<int>& m) { return m.has_value(); });
  if (!expectsSomething || !OriginShift(crystal.spaceGroupSymbol)) return;
  CTSCrystal other = crystal;
  other.originChoice = crystal.originChoice == 2 ? 1 : 2;
  other.symmetryOperators.clear();
  BuildOperators(other);
  other.GeneratePositions();
  const int current = Agreement(crystal, expected), alternative = Agreement(other, expected);
  if (alternative > current) crystal = std::move(other);
  crystal.UpdateCell();
  LogStatus(Formatted(
      "Warning: The file does not say which origin of '%s' its coordinates refer to; origin "
      "choice %d is used%s.",
      crystal.spaceGroupSymbol, crystal.originChoice,
      alternative == current ? ", as both give the cell content the file states equally well"
                             : ", as the cell content it gives agrees with what the file states"));
}
