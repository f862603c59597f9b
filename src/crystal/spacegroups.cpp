#include "crystal/spacegroups.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <unordered_set>
#include <vector>

#include "app/status_log.h"
#include "app/text.h"
#include "crystal/crystal.h"
#include "errors/exception.h"

using VHTypes::CVector;

namespace {

constexpr size_t kMaxIdentifiableOperators = 192;
// Coordinates within this distance count as one position (a single-precision constant).
constexpr double kPositionTolerance = static_cast<double>(0.00011f);
constexpr double kLowerCoordinateBound = static_cast<double>(0.00001f);
constexpr double kUpperCoordinateBound = 0.99999;
constexpr double kCentringTolerance = 0.00001;
constexpr double kReductionTolerance = 1.8189894035458565e-12;

const CVector kPrimitive[] = {{0, 0, 0}};
const CVector kACentred[] = {{0, 0, 0}, {0, 0.5, 0.5}};
const CVector kBCentred[] = {{0, 0, 0}, {0.5, 0, 0.5}};
const CVector kCCentred[] = {{0, 0, 0}, {0.5, 0.5, 0}};
const CVector kBodyCentred[] = {{0, 0, 0}, {0.5, 0.5, 0.5}};
const CVector kFaceCentred[] = {{0, 0, 0}, {0, 0.5, 0.5}, {0.5, 0, 0.5}, {0.5, 0.5, 0}};
const CVector kRhombohedral[] = {
    {0, 0, 0}, {2.0 / 3.0, 1.0 / 3.0, 1.0 / 3.0}, {1.0 / 3.0, 2.0 / 3.0, 2.0 / 3.0}};

std::string WithoutBlanks(std::string_view text) {
  std::string out;
  for (char c : text)
    if (c != ' ' && c != '\t') out += c;
  return out;
}

// A typed symbol reduced to what is compared with the table.
struct SymbolQuery {
  enum Kind { kNumber, kSchoenflies, kHermannMauguin } kind = kHermannMauguin;
  long number = 0;
  std::string key;  // blanks removed
  int requestedOrigin = 0;
};

// Removes what a symbol says about its origin and returns the origin it asks for: "[origin 2]",
// "{origin @ centre (-3m)}", "origin choice 1", or the ":1" / ":2" / ":H" / ":R" of CIF symbols.
int TakeOriginSuffix(std::string& symbol) {
  const std::string lower = Lowercase(symbol);
  if (size_t at = lower.find("origin"); at != std::string::npos) {
    const std::string rest = lower.substr(at + 6);
    int origin = 0;
    if (rest.find("centre") != std::string::npos || rest.find("center") != std::string::npos)
      origin = 2;
    if (const size_t digit = rest.find_first_of("12"); digit != std::string::npos && origin == 0)
      origin = rest[digit] - '0';
    if (at > 0 && std::string_view("[{(").find(lower[at - 1]) != std::string_view::npos) --at;
    symbol.erase(at);
    return origin;
  }
  if (const size_t colon = symbol.rfind(':'); colon != std::string::npos) {
    const std::string suffix =
        std::string(TrimWhiteSpace(std::string_view(symbol).substr(colon + 1)));
    symbol.erase(colon);
    if (suffix == "1" || suffix == "2") return suffix[0] - '0';
  }
  return 0;
}

std::optional<SymbolQuery> ParseSymbol(std::string_view text) {
  SymbolQuery query;
  std::string symbol(text);
  query.requestedOrigin = TakeOriginSuffix(symbol);
  symbol = std::string(TrimWhiteSpace(symbol));
  if (symbol.empty()) return std::nullopt;

  if (std::isdigit(static_cast<unsigned char>(symbol[0]))) {
    query.kind = SymbolQuery::kNumber;
    query.number = std::strtol(symbol.c_str(), nullptr, 10);
    return query;
  }
  const char first = static_cast<char>(std::toupper(static_cast<unsigned char>(symbol[0])));
  const bool parenthesised =
      symbol.find('(') != std::string::npos && symbol.find(')') != std::string::npos;
  if (parenthesised && std::string_view("CDOST").find(first) != std::string_view::npos) {
    symbol[0] = first;
    const bool looksHermannMauguin = first == 'C' && (symbol.find('m') != std::string::npos ||
                                                      symbol.find("2 2") != std::string::npos);
    if (!looksHermannMauguin) {
      query.kind = SymbolQuery::kSchoenflies;
      query.key = WithoutBlanks(symbol);
      return query;
    }
  }
  if (std::string_view("ABCFIPR").find(first) == std::string_view::npos) return std::nullopt;
  std::string normal(1, first);
  if (symbol.size() > 1 && symbol[1] != ' ') normal += ' ';
  for (size_t i = 1; i < symbol.size(); ++i) {
    char c = symbol[i];
    if (normal.size() >= 2) {  // from the third character on: glide planes are small letters
      if (c == '(' || c == '.' || c == '_') continue;
      if (c == '\t' || c == ')') c = ' ';
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    normal += c;
  }
  query.kind = SymbolQuery::kHermannMauguin;
  query.key = WithoutBlanks(normal);
  return query;
}

// The table's symbols without blanks, made once: every crystal file looks its group up, a batch
// run many thousand times, and remaking them for each look-up was a good part of reading a file.
struct CRowKeys {
  std::string schoenflies, shortSymbol, fullSymbol;
};

const std::vector<CRowKeys>& RowKeys() {
  static const std::vector<CRowKeys> keys = [] {
    std::vector<CRowKeys> made;
    for (const CSpaceGroupRow& row : SpaceGroupRows())
      made.push_back({WithoutBlanks(row.schoenflies), WithoutBlanks(row.shortSymbol),
                      WithoutBlanks(row.fullSymbol)});
    return made;
  }();
  return keys;
}

const std::vector<std::string>& AliasKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> made;
    for (const CSpaceGroupAlias& alias : SpaceGroupAliases())
      made.push_back(WithoutBlanks(alias.alternative));
    return made;
  }();
  return keys;
}

const std::vector<std::string>& OriginChoiceKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> made;
    for (const COriginChoiceRow& row : OriginChoiceRows())
      made.push_back(WithoutBlanks(row.symbol));
    return made;
  }();
  return keys;
}

bool RowMatches(const CSpaceGroupRow& row, const CRowKeys& keys, const SymbolQuery& query) {
  switch (query.kind) {
    case SymbolQuery::kNumber:
      return row.number == query.number;
    case SymbolQuery::kSchoenflies:
      return *row.schoenflies && keys.schoenflies == query.key;
    case SymbolQuery::kHermannMauguin:
      return keys.shortSymbol == query.key || keys.fullSymbol == query.key;
  }
  return false;
}

bool PassesFilters(const CSpaceGroupRow& row, int originChoice, int settingCode) {
  return (originChoice == 0 || row.originChoice == originChoice) &&
         (settingCode == 0 || row.settingCode == settingCode);
}

std::optional<size_t> FindRow(const SymbolQuery& query, int originChoice, int settingCode) {
  const auto rows = SpaceGroupRows();
  const std::vector<CRowKeys>& keys = RowKeys();
  for (size_t i = 0; i < rows.size(); ++i)
    if (RowMatches(rows[i], keys[i], query) && PassesFilters(rows[i], originChoice, settingCode))
      return i;
  if (query.kind != SymbolQuery::kHermannMauguin) return std::nullopt;
  const auto aliases = SpaceGroupAliases();
  for (size_t a = 0; a < aliases.size(); ++a) {
    const CSpaceGroupAlias& alias = aliases[a];
    if (AliasKeys()[a] != query.key) continue;
    for (size_t i = 0; i < rows.size(); ++i)
      if (rows[i].number == alias.number && PassesFilters(rows[i], originChoice, settingCode))
        return i;
    return std::nullopt;
  }
  return std::nullopt;
}

bool HasTwoOrigins(std::string_view shortSymbol) {
  const std::string key = WithoutBlanks(shortSymbol);
  const std::vector<std::string>& keys = OriginChoiceKeys();
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

char LatticeLetterOf(const CSpaceGroupRow& row) {
  return *row.shortSymbol ? row.shortSymbol[0] : row.fullSymbol[0];
}

}  // namespace

std::optional<size_t> SpaceGroupRowOf(const CTSCrystal& crystal) {
  const std::string symbol = crystal.spaceGroupSymbol.empty() ? "P 1" : crystal.spaceGroupSymbol;
  int suffixOrigin = 0;
  const std::optional<size_t> first = LookUpSpaceGroup(symbol, suffixOrigin);
  if (!first) return std::nullopt;
  const CSpaceGroupRow& row = SpaceGroupRows()[*first];
  int origin = suffixOrigin != 0 ? suffixOrigin : crystal.originChoice;
  if (!HasTwoOrigins(row.shortSymbol)) origin = 0;
  int setting = 0;
  if (LatticeLetterOf(row) == 'R') setting = HasEqualAngles(crystal) ? 111 : 112;
  const std::optional<SymbolQuery> query = ParseSymbol(symbol);
  const std::optional<size_t> refined = FindRow(*query, origin, setting);
  return refined ? refined : first;
}

namespace {

double Fold(double t) {
  if (t > 1.0) t -= 1.0;
  if (t < 0.0) t += 1.0;
  return t;
}

bool EqualModuloOne(double a, double b) {
  double d = std::abs(a - b);
  d -= std::floor(d);
  return d < kCentringTolerance || d > 1.0 - kCentringTolerance;
}

// True when every operator, shifted by every centring translation of `letter`, is in the list.
bool ClosedUnderCentring(const std::vector<CTSSymOp>& ops, char letter) {
  const auto centring = CentringTranslations(letter);
  if (ops.size() % centring.size() != 0) return false;
  for (const CTSSymOp& op : ops) {
    for (const CVector& c : centring.subspan(1)) {
      const bool found = std::any_of(ops.begin(), ops.end(), [&](const CTSSymOp& other) {
        if (!other.SameRotation(op)) return false;
        for (int i = 0; i < 3; ++i)
          if (!EqualModuloOne(Fold(other.Translation()[i]), Fold(op.Translation()[i]) + c[i]))
            return false;
        return true;
      });
      if (!found) return false;
    }
  }
  return true;
}

// Drops each operator that repeats an earlier kept one by a centring translation.
std::vector<CTSSymOp> ReduceByCentring(const std::vector<CTSSymOp>& ops, char letter) {
  const auto centring = CentringTranslations(letter).subspan(1);
  if (centring.empty()) return ops;
  std::vector<CTSSymOp> kept;
  for (const CTSSymOp& op : ops) {
    const bool repeats = std::any_of(kept.begin(), kept.end(), [&](const CTSSymOp& k) {
      if (!k.SameRotation(op)) return false;
      return std::any_of(centring.begin(), centring.end(), [&](const CVector& c) {
        for (int i = 0; i < 3; ++i) {
          // Equal modulo 1: a difference of -0.9999999999999999 from rounding counts as -1.
          const double d = op.Translation()[i] - (k.Translation()[i] + c[i]);
          if (std::abs(d - std::round(d)) >= kReductionTolerance) return false;
        }
        return true;
      });
    });
    if (!repeats) kept.push_back(op);
  }
  return kept;
}

}  // namespace

const char* CrystalSystemName(CrystalSystem system) {
  switch (system) {
    case CrystalSystem::kTriclinic:
      return "Triclinic";
    case CrystalSystem::kMonoclinic:
      return "Monoclinic";
    case CrystalSystem::kOrthorhombic:
      return "Orthorhombic";
    case CrystalSystem::kTetragonal:
      return "Tetragonal";
    case CrystalSystem::kTrigonal:
      return "Trigonal";
    case CrystalSystem::kRhombohedral:
      return "Rhombohedral";
    case CrystalSystem::kHexagonal:
      return "Hexagonal";
    case CrystalSystem::kCubic:
      return "Cubic";
    case CrystalSystem::kUnknown:
      break;
  }
  return "";
}

std::optional<size_t> LookUpSpaceGroup(std::string_view text, int& originChoice) {
  originChoice = 0;
  const std::optional<SymbolQuery> query = ParseSymbol(text);
  if (!query) return std::nullopt;
  const std::optional<size_t> row = FindRow(*query, 0, 0);
  if (row && HasTwoOrigins(SpaceGroupRows()[*row].shortSymbol))
    originChoice = query->requestedOrigin;
  return row;
}

std::optional<size_t> FindSpaceGroupRow(std::string_view symbol, int originChoice,
                                        int settingCode) {
  const std::optional<SymbolQuery> query = ParseSymbol(symbol);
  if (!query) return std::nullopt;
  return FindRow(*query, originChoice != 0 ? originChoice : query->requestedOrigin, settingCode);
}

CrystalSystem CrystalSystemOf(int number, std::string_view symbol, const double angles[3]) {
  if (number < 1 || number > 230) return CrystalSystem::kUnknown;
  if (number < 3) return CrystalSystem::kTriclinic;
  if (number < 16) return CrystalSystem::kMonoclinic;
  if (number < 75) return CrystalSystem::kOrthorhombic;
  if (number < 143) return CrystalSystem::kTetragonal;
  if (number < 168) {
    const bool equalAngles = std::round(angles[0]) == std::round(angles[1]) &&
                             std::round(angles[1]) == std::round(angles[2]);
    const bool rSymbol =
        !symbol.empty() && std::toupper(static_cast<unsigned char>(symbol[0])) == 'R';
    return rSymbol && equalAngles ? CrystalSystem::kRhombohedral : CrystalSystem::kTrigonal;
  }
  if (number < 195) return CrystalSystem::kHexagonal;
  return CrystalSystem::kCubic;
}

bool NormaliseSpaceGroupSymbol(std::string& symbol, int originChoice, const double angles[3],
                               CrystalSystem& system) {
  const std::optional<SymbolQuery> query = ParseSymbol(symbol);
  if (!query) return false;
  int setting = 0;
  std::optional<size_t> index = FindRow(*query, originChoice, 0);
  if (!index) index = FindRow(*query, 0, 0);
  if (!index) return false;
  const CSpaceGroupRow* row = &SpaceGroupRows()[*index];
  if (LatticeLetterOf(*row) == 'R') {
    const bool equal = std::round(angles[0]) == std::round(angles[1]) &&
                       std::round(angles[1]) == std::round(angles[2]);
    setting = equal ? 111 : 112;
    if (const auto refined = FindRow(*query, 0, setting)) row = &SpaceGroupRows()[*refined];
  }
  if (query->kind != SymbolQuery::kHermannMauguin) {
    symbol = *row->shortSymbol ? row->shortSymbol : row->fullSymbol;
  } else if (symbol != row->shortSymbol && symbol != row->fullSymbol) {
    symbol = row->fullSymbol;
  }
  system = CrystalSystemOf(row->number, symbol, angles);
  return true;
}

std::optional<bool> RequestsRhombohedralAxes(std::string_view symbol) {
  const size_t colon = symbol.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::string suffix = Lowercase(TrimWhiteSpace(symbol.substr(colon + 1)));
  if (suffix == "r") return true;
  if (suffix == "h") return false;
  return std::nullopt;
}

std::optional<CVector> OriginShift(std::string_view symbol) {
  std::string bare(symbol);
  TakeOriginSuffix(bare);
  const std::string key = WithoutBlanks(bare);
  for (const COriginChoiceRow& row : OriginChoiceRows())
    if (WithoutBlanks(row.symbol) == key) return CVector{row.shift[0], row.shift[1], row.shift[2]};
  return std::nullopt;
}

std::span<const CVector> CentringTranslations(char latticeLetter) {
  switch (latticeLetter) {
    case 'A':
      return kACentred;
    case 'B':
      return kBCentred;
    case 'C':
      return kCCentred;
    case 'I':
      return kBodyCentred;
    case 'F':
      return kFaceCentred;
    case 'R':
      return kRhombohedral;
    default:
      return kPrimitive;
  }
}

bool HasEqualAngles(const CTSCrystal& crystal) {
  return std::round(crystal.alpha) == std::round(crystal.beta) &&
         std::round(crystal.beta) == std::round(crystal.gamma);
}

void BuildOperators(CTSCrystal& crystal) {
  if (crystal.spaceGroupSymbol.empty()) crystal.spaceGroupSymbol = "P 1";
  crystal.symmetryOperators.clear();
  const std::optional<size_t> index = SpaceGroupRowOf(crystal);
  if (!index) {
    crystal.latticeLetter = 'P';
    crystal.spaceGroupSymbol = "P 1";
    crystal.symmetryOperators.emplace_back();
    return;
  }
  const CSpaceGroupRow& row = SpaceGroupRows()[*index];
  for (int i = 0; i < row.operatorCount; ++i)
    crystal.symmetryOperators.push_back(CTSSymOp::FromCode(row.codes[i]));
  crystal.latticeLetter = LatticeLetterOf(row);
  crystal.originChoice = row.originChoice;
}

bool IdentifySpaceGroup(CTSCrystal& crystal) {
  std::vector<CTSSymOp>& ops = crystal.symmetryOperators;
  if (ops.empty()) return false;
  if (ops.size() > kMaxIdentifiableOperators) {
    std::fprintf(stderr,
                 "Error - more than %d unique symmetry positions encountered! (ltyp = %c)\n",
                 static_cast<int>(kMaxIdentifiableOperators), crystal.latticeLetter);
    ops = ReduceByCentring(ops, crystal.latticeLetter);
    return false;
  }
  // Normalise every operator through its fixed-layout text, as the table stores them.
  std::vector<CTSSymOp> normal;
  for (const CTSSymOp& op : ops) {
    std::optional<CTSSymOp> parsed = CTSSymOp::Parse(op.FixedText());
    normal.push_back(parsed ? *parsed : op);
  }
  char letter = 'P';
  for (char candidate : {'F', 'A', 'B', 'C', 'I', 'R'}) {
    if (ClosedUnderCentring(normal, candidate)) {
      letter = candidate;
      break;
    }
  }
  std::unordered_set<uint32_t> codes;
  for (const CTSSymOp& op : normal)
    if (const auto code = op.Code()) codes.insert(*code);
  const size_t primitiveCount = normal.size() / CentringTranslations(letter).size();

  for (const CSpaceGroupRow& row : SpaceGroupRows()) {
    const char rowLetter = LatticeLetterOf(row);
    if (static_cast<size_t>(row.operatorCount) != primitiveCount) continue;
    if (rowLetter != letter && !(rowLetter == 'R' && letter == 'P')) continue;
    if (!std::all_of(row.codes.begin(), row.codes.begin() + row.operatorCount,
                     [&](uint32_t code) { return codes.count(code) != 0; }))
      continue;
    crystal.spaceGroupSymbol = *row.shortSymbol ? row.shortSymbol : row.fullSymbol;
    crystal.originChoice = row.originChoice;
    crystal.latticeLetter = crystal.spaceGroupSymbol[0];
    // The list keeps the file's own operators, without the repeats by centring translations
    // that positions and reflexions add back from the lattice letter.
    ops = ReduceByCentring(normal, letter);
    return true;
  }
  ops = ReduceByCentring(ops, crystal.latticeLetter);
  return false;
}

double NormaliseCoordinate(double u) {
  if (u > 1.0) u -= std::trunc(u);
  if (u < 0.0) u = u - std::trunc(u) + 1.0;
  if (u < kLowerCoordinateBound || u > kUpperCoordinateBound) u = 0.0;
  return u;
}

namespace {

// How far a cell may stray from its system's metric and still be taken for that metric:
// refinements that leave symmetry constraints out, or round them, stay well inside it.
constexpr double kMetricTolerance = 5e-4;

// What a crystal system makes of the cell: lengths 0-2 and angles 3-5 that are equal (by the
// index of the first of each class), and angles with a fixed value (0 where they are free).
struct CMetric {
  std::array<int, 6> same{0, 1, 2, 3, 4, 5};
  std::array<double, 6> fixed{};
};

std::optional<CMetric> MetricOf(const CTSCrystal& crystal) {
  const std::optional<size_t> index = SpaceGroupRowOf(crystal);
  if (!index) return std::nullopt;
  const CSpaceGroupRow& row = SpaceGroupRows()[*index];
  const double angles[3] = {crystal.alpha, crystal.beta, crystal.gamma};
  CMetric metric;
  switch (CrystalSystemOf(row.number, row.fullSymbol, angles)) {
    case CrystalSystem::kCubic:
      metric.same = {0, 0, 0, 3, 4, 5};
      metric.fixed = {0, 0, 0, 90, 90, 90};
      break;
    case CrystalSystem::kTetragonal:
      metric.same = {0, 0, 2, 3, 4, 5};
      metric.fixed = {0, 0, 0, 90, 90, 90};
      break;
    case CrystalSystem::kOrthorhombic:
      metric.fixed = {0, 0, 0, 90, 90, 90};
      break;
    case CrystalSystem::kTrigonal:
    case CrystalSystem::kHexagonal:
      metric.same = {0, 0, 2, 3, 4, 5};
      metric.fixed = {0, 0, 0, 90, 90, 120};
      break;
    case CrystalSystem::kRhombohedral:
      metric.same = {0, 0, 0, 3, 3, 3};
      break;
    case CrystalSystem::kMonoclinic: {
      // The setting code's tens name the unique axis (1 a, 2 b, 3 c), whose angle is free.
      const int unique =
          row.settingCode >= 11 && row.settingCode <= 33 ? row.settingCode / 10 - 1 : 1;
      for (int axis = 0; axis < 3; ++axis)
        if (axis != unique) metric.fixed[3 + axis] = 90.0;
      break;
    }
    default:
      return std::nullopt;
  }
  return metric;
}

}  // namespace

bool MakeCellMetricExact(CTSCrystal& crystal) {
  const std::optional<CMetric> metric = MetricOf(crystal);
  if (!metric) return false;
  double* cell[6] = {&crystal.a,     &crystal.b,    &crystal.c,
                     &crystal.alpha, &crystal.beta, &crystal.gamma};
  std::array<double, 6> exact{};
  for (int i = 0; i < 6; ++i) {
    double sum = 0.0;
    int count = 0;
    for (int j = 0; j < 6; ++j)
      if (metric->same[j] == metric->same[i]) sum += *cell[j], ++count;
    exact[i] = metric->fixed[i] != 0.0 ? metric->fixed[i] : sum / count;
  }
  bool changes = false;
  for (int i = 0; i < 6; ++i) {
    const double difference = std::abs(*cell[i] - exact[i]);
    if (!(difference <= kMetricTolerance * exact[i])) return false;
    changes = changes || difference > 1e-12 * exact[i];
  }
  if (!changes) return false;
  LogStatus(Formatted(
      "Warning: The cell %.6g %.6g %.6g  %.6g %.6g %.6g is made exact for the symmetry of '%s': "
      "%.6g %.6g %.6g  %.6g %.6g %.6g.",
      crystal.a, crystal.b, crystal.c, crystal.alpha, crystal.beta, crystal.gamma,
      crystal.spaceGroupSymbol, exact[0], exact[1], exact[2], exact[3], exact[4], exact[5]));
  for (int i = 0; i < 6; ++i) *cell[i] = exact[i];
  crystal.UpdateCell();
  return true;
}

namespace {

// Images closer than this are one atom. Coordinates written to four decimals (0.3333 on a
// three-fold axis) leave the images of a special position a few thousandths of an Angstrom
// apart, and no two atoms of a structure come anywhere near this close.
constexpr double kSameAtomDistance = 0.05;  // Angstrom
// A tensor that keeps its site symmetry to this fraction of its largest element has it; the
// mean differs from it only by rounding.
constexpr double kNegligibleTensorChange = 1e-9;
// Cells with fewer sites expand faster than a team of threads starts.
constexpr std::ptrdiff_t kParallelSites = 4096;

// The earlier rule: the same position when every coordinate agrees within 0.00011, without
// wrap-around across the cell edges.
bool SameCoordinates(const CVector& p, const CVector& q) {
  return std::abs(p.x - q.x) < kPositionTolerance && std::abs(p.y - q.y) < kPositionTolerance &&
         std::abs(p.z - q.z) < kPositionTolerance;
}

// The same atom when the two lie closer than kSameAtomDistance modulo lattice translations,
// measured with the direct metric so that the tolerance means the same in every cell.
inline bool SameAtom(const CVector& p, const CVector& q, const std::array<double, 9>& g) {
  // std::round without its library call or a branch that guesses wrong half the time (this
  // runs for every image of every site of a large file): d - trunc(d) is exact, so the
  // rounding is the same, half away from zero.
  auto round = [](double d) {
    // Images of coordinates in the cell differ by less than 1, where trunc(d) is zero and the
    // fraction is d itself.
    if (std::abs(d) < 1.0) return static_cast<double>(d >= 0.5) - static_cast<double>(d <= -0.5);
    const double whole = std::trunc(d), fraction = d - whole;
    return whole + static_cast<double>(fraction >= 0.5) - static_cast<double>(fraction <= -0.5);
  };
  const double dx = p.x - q.x, dy = p.y - q.y, dz = p.z - q.z;
  const double d[3] = {dx - round(dx), dy - round(dy), dz - round(dz)};
  const double squared = d[0] * d[0] * g[0] + d[1] * d[1] * g[4] + d[2] * d[2] * g[8] +
                         2.0 * (d[0] * d[1] * g[1] + d[0] * d[2] * g[2] + d[1] * d[2] * g[5]);
  return squared < kSameAtomDistance * kSameAtomDistance;
}

// An anisotropic displacement that lacks the symmetry of its site (a few files round the
// constrained Uij apart, or ignore the constraints) would vibrate differently depending on which
// operator made an image; the site takes the mean over its symmetry instead.
// Returns whether the tensor changed, for the caller to say so.
bool GiveSiteSymmetry(CTSSite& site, std::span<const VHTypes::CRotation> siteSymmetry,
                      const CTSCrystal& crystal) {
  if (siteSymmetry.size() < 2) return false;
  const auto* anisotropic = dynamic_cast<const CTSAnisoThermalEllipsoid*>(site.displacement.get());
  if (!anisotropic) return false;
  CTSAnisoThermalEllipsoid symmetric =
      anisotropic->SymmetricMean(siteSymmetry, crystal.aStar, crystal.bStar, crystal.cStar);
  double largest = 0.0, change = 0.0;
  for (int i = 0; i < 9; ++i) {
    largest = std::max(largest, std::abs(anisotropic->Beta()[i]));
    change = std::max(change, std::abs(anisotropic->Beta()[i] - symmetric.Beta()[i]));
  }
  if (!(change > kNegligibleTensorChange * largest)) return false;
  site.displacement = std::make_unique<CTSAnisoThermalEllipsoid>(std::move(symmetric));
  return true;
}

VHTypes::CRotation IntegerRotation(const CTSSymOp& op) {
  VHTypes::CRotation rotation{};
  for (int i = 0; i < 9; ++i) rotation[i] = static_cast<int8_t>(std::lround(op.Rotation()[i]));
  return rotation;
}

}  // namespace

void GenerateSitePositions(CTSCrystal& crystal) {
  if (crystal.symmetryOperators.empty()) BuildOperators(crystal);
  const bool rhombohedralAxes = crystal.latticeLetter == 'R' && HasEqualAngles(crystal);
  const auto centring =
      rhombohedralAxes ? CentringTranslations('P') : CentringTranslations(crystal.latticeLetter);
  std::vector<CTSSymOp> full;
  full.reserve(crystal.symmetryOperators.size() * centring.size());
  for (const CVector& c : centring) {
    for (const CTSSymOp& op : crystal.symmetryOperators) {
      CTSSymOp shifted = op;
      shifted.SetTranslation(op.Translation() + c);
      full.push_back(shifted);
    }
  }
  std::vector<VHTypes::CRotation> rotations;
  for (const CTSSymOp& op : full) rotations.push_back(IntegerRotation(op));

  const CVector& o = crystal.originOffset;
  auto normalise = [](const CVector& p) {
    return CVector{NormaliseCoordinate(p.x), NormaliseCoordinate(p.y), NormaliseCoordinate(p.z)};
  };
  crystal.UpdateCell();
  const auto& metric = crystal.directMetric;
  const bool legacy = crystal.legacyRules;
  // Each site is expanded on its own, so a large cell shares its sites among a team of threads
  // (with the same result for any team); what is said about them is said afterwards, in order.
  const auto count = static_cast<std::ptrdiff_t>(crystal.sites.size());
  std::vector<char> madeSymmetric(static_cast<size_t>(count), 0);
#pragma omp parallel if (count >= kParallelSites)
  {
    std::vector<VHTypes::CRotation> siteSymmetry;
#pragma omp for schedule(static)
    for (std::ptrdiff_t s = 0; s < count; ++s) {
      CTSSite& site = crystal.sites[static_cast<size_t>(s)];
      const CVector p = normalise({site.x, site.y, site.z});
      std::vector<CVector> positions;
      std::vector<VHTypes::CRotation> siteRotations;
      positions.reserve(full.size() + 1);
      siteRotations.reserve(full.size() + 1);
      positions.push_back(p);
      siteRotations.push_back(VHTypes::kIdentityRotation);
      siteSymmetry.assign(1, VHTypes::kIdentityRotation);
      for (size_t i = 0; i < full.size(); ++i) {
        const CVector image = normalise(full[i].Apply(p + o) - o);
        // The site's own position is the first listed, so this one comparison serves both the
        // site symmetry and the list.
        const bool atSite = legacy ? SameCoordinates(p, image) : SameAtom(p, image, metric);
        if (atSite) {
          if (!legacy && std::find(siteSymmetry.begin(), siteSymmetry.end(), rotations[i]) ==
                             siteSymmetry.end())
            siteSymmetry.push_back(rotations[i]);
          continue;
        }
        const bool listed =
            std::any_of(positions.begin() + 1, positions.end(), [&](const CVector& q) {
              return legacy ? SameCoordinates(q, image) : SameAtom(q, image, metric);
            });
        if (listed) continue;
        positions.push_back(image);
        siteRotations.push_back(rotations[i]);
      }
      site.positions = std::move(positions);
      site.rotations = std::move(siteRotations);
      if (!legacy)
        madeSymmetric[static_cast<size_t>(s)] = GiveSiteSymmetry(site, siteSymmetry, crystal);
    }
  }
  for (std::ptrdiff_t s = 0; s < count; ++s)
    if (madeSymmetric[static_cast<size_t>(s)])
      LogStatus("Warning: The anisotropic displacement parameters of site '" +
                crystal.sites[static_cast<size_t>(s)].label +
                "' lack the symmetry of its position; their mean over the site symmetry is used.");
}
