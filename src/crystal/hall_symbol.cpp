#include "crystal/hall_symbol.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <utility>

namespace {

// Translations are whole numbers of 1/144: that holds the twelfths of the shift vectors, the
// eighths of origin shifts, and the halves and thirds a change of cell makes of them, exactly.
constexpr int kDenominator = 144;
constexpr size_t kMaxOperators = 192;  // 48 point operations in a face-centred cell
constexpr size_t kMaxLength = 200;
constexpr size_t kMaxMatrixSymbols = 4;  // three rotations and a shifted inversion at most
// Bounds far above any real setting; they keep every product exact in 64 bits.
constexpr int64_t kMaxRotationEntry = 1000;
constexpr int64_t kMaxBasisCoefficient = 12 * kDenominator;
constexpr size_t kMaxDigits = 4;

using Matrix = std::array<int64_t, 9>;  // row-major
using Vector = std::array<int64_t, 3>;  // in 1/kDenominator

// One operation (R | t), translation reduced to [0, kDenominator).
struct Seitz {
  Matrix r{1, 0, 0, 0, 1, 0, 0, 0, 1};
  Vector t{};
  bool operator==(const Seitz&) const = default;
};

int64_t Reduced(int64_t t) {
  const int64_t m = t % kDenominator;
  return m < 0 ? m + kDenominator : m;
}

// a b, or nothing when an entry grows past kMaxRotationEntry, which only matrices that make
// an infinite group do.
std::optional<Seitz> Product(const Seitz& a, const Seitz& b) {
  Seitz p;
  for (int i = 0; i < 3; ++i) {
    int64_t t = a.t[i];
    for (int j = 0; j < 3; ++j) {
      int64_t e = 0;
      for (int k = 0; k < 3; ++k) e += a.r[i * 3 + k] * b.r[k * 3 + j];
      if (e > kMaxRotationEntry || e < -kMaxRotationEntry) return std::nullopt;
      p.r[i * 3 + j] = e;
      t += a.r[i * 3 + j] * b.t[j];
    }
    p.t[i] = Reduced(t);
  }
  return p;
}

// The group the generators make, modulo whole cell translations; nothing past kMaxOperators.
std::optional<std::vector<Seitz>> Closure(const std::vector<Seitz>& generators) {
  std::vector<Seitz> group{Seitz{}};
  for (size_t i = 0; i < group.size(); ++i) {
    for (const Seitz& generator : generators) {
      const std::optional<Seitz> p = Product(group[i], generator);
      if (!p) return std::nullopt;
      if (std::find(group.begin(), group.end(), *p) != group.end()) continue;
      if (group.size() == kMaxOperators) return std::nullopt;
      group.push_back(*p);
    }
  }
  return group;
}

// The rotations about c by order (none of order 0 or 5), the twofold axes along a-b (') and
// a+b ("), and the threefold axis along a+b+c. The same about a and b are these with the axes
// relabelled cyclically, which leaves the one along a+b+c as it is.
constexpr Matrix kAboutC[7] = {{},
                               {1, 0, 0, 0, 1, 0, 0, 0, 1},
                               {-1, 0, 0, 0, -1, 0, 0, 0, 1},
                               {0, -1, 0, 1, -1, 0, 0, 0, 1},
                               {0, -1, 0, 1, 0, 0, 0, 0, 1},
                               {},
                               {1, -1, 0, 1, 0, 0, 0, 0, 1}};
constexpr Matrix kTwofoldPrime{0, -1, 0, -1, 0, 0, 0, 0, -1};
constexpr Matrix kTwofoldDoublePrime{0, 1, 0, 1, 0, 0, 0, 0, -1};
constexpr Matrix kThreefoldStar{0, 0, 1, 1, 0, 0, 0, 1, 0};

// A matrix about c moved to axis 0 (a), 1 (b) or 2 (c itself).
Matrix AboutAxis(const Matrix& aboutC, int axis) {
  const int shift = (axis + 1) % 3;
  Matrix m{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m[(i + shift) % 3 * 3 + (j + shift) % 3] = aboutC[i * 3 + j];
  return m;
}

struct MatrixSymbol {
  bool improper = false;
  int order = 0;
  int screw = 0;
  char axis = 0;  // x y z ' " * or 0 when left to the defaults
  Vector shift{};
};

bool IsPrincipal(char axis) {
  return axis == 'x' || axis == 'y' || axis == 'z';
}

std::optional<MatrixSymbol> ReadMatrixSymbol(std::string_view token) {
  MatrixSymbol m;
  size_t i = 0;
  if (i < token.size() && token[i] == '-') {
    m.improper = true;
    ++i;
  }
  if (i >= token.size() || std::string_view("12346").find(token[i]) == std::string_view::npos)
    return std::nullopt;
  m.order = token[i++] - '0';
  if (i < token.size() && token[i] >= '1' && token[i] <= '9') {
    m.screw = token[i++] - '0';
    if (m.improper || m.screw >= m.order) return std::nullopt;
  }
  static constexpr std::string_view kLetters = "abcnuvwd";
  static constexpr int kHalf = kDenominator / 2, kQuarter = kDenominator / 4;
  static constexpr Vector kShifts[] = {
      {kHalf, 0, 0},    {0, kHalf, 0},    {0, 0, kHalf},    {kHalf, kHalf, kHalf},
      {kQuarter, 0, 0}, {0, kQuarter, 0}, {0, 0, kQuarter}, {kQuarter, kQuarter, kQuarter}};
  for (; i < token.size(); ++i) {
    const char c = token[i];
    if (const size_t letter = kLetters.find(c); letter != std::string_view::npos) {
      for (int k = 0; k < 3; ++k) m.shift[k] += kShifts[letter][k];
    } else if (std::string_view("xyz'\"*").find(c) != std::string_view::npos) {
      if (m.axis != 0) return std::nullopt;
      m.axis = c;
    } else {
      return std::nullopt;
    }
  }
  if (m.axis != 0 && (m.order == 1 || ((m.axis == '\'' || m.axis == '"') && m.order != 2) ||
                      (m.axis == '*' && m.order != 3)))
    return std::nullopt;
  return m;
}

// The axis a symbol at `position` leaves out: c for the first; a for a twofold after a twofold
// or fourfold, a-b after a threefold or sixfold; a+b+c for a later threefold. 0 when none.
char DefaultAxis(int order, size_t position, int previousOrder) {
  if (position == 0) return 'z';
  if (order == 3) return '*';
  if (order != 2 || position != 1) return 0;
  if (previousOrder == 2 || previousOrder == 4) return 'x';
  return previousOrder == 3 || previousOrder == 6 ? '\'' : 0;
}

// The operation of a matrix symbol at `position`, after `previous`; fills in a left-out axis.
std::optional<Seitz> OperationOf(MatrixSymbol& m, size_t position, const MatrixSymbol* previous) {
  if (m.axis == 0 && m.order != 1) {
    m.axis = DefaultAxis(m.order, position, previous ? previous->order : 0);
    if (m.axis == 0) return std::nullopt;
  }
  // ' and " lie across the preceding axis; after none, or after a diagonal one, across c.
  const char reference = previous && IsPrincipal(previous->axis) ? previous->axis : 'z';
  const int axis = (IsPrincipal(m.axis) ? m.axis : reference) - 'x';
  if (m.screw != 0 && !IsPrincipal(m.axis)) return std::nullopt;
  Seitz s;
  s.r = AboutAxis(m.axis == '\''  ? kTwofoldPrime
                  : m.axis == '"' ? kTwofoldDoublePrime
                  : m.axis == '*' ? kThreefoldStar
                                  : kAboutC[m.order],
                  axis);
  if (m.improper)
    for (int64_t& e : s.r) e = -e;
  s.t = m.shift;
  if (m.screw != 0) s.t[axis] += m.screw * kDenominator / m.order;
  for (int64_t& t : s.t) t = Reduced(t);
  return s;
}

// The pure translations of a lattice letter beyond the origin; nothing for other letters.
std::optional<std::vector<Seitz>> CentringOf(char lattice) {
  constexpr int64_t h = kDenominator / 2, t = kDenominator / 3, u = 2 * kDenominator / 3;
  static const std::vector<std::pair<char, std::vector<Vector>>> kLattices = {
      {'p', {}},
      {'a', {{0, h, h}}},
      {'b', {{h, 0, h}}},
      {'c', {{h, h, 0}}},
      {'i', {{h, h, h}}},
      {'r', {{u, t, t}, {t, u, u}}},
      {'s', {{t, t, u}, {u, u, t}}},
      {'t', {{t, u, t}, {u, t, u}}},
      {'f', {{0, h, h}, {h, 0, h}, {h, h, 0}}}};
  for (const auto& [letter, vectors] : kLattices) {
    if (letter != lattice) continue;
    std::vector<Seitz> centring;
    for (const Vector& v : vectors) centring.push_back(Seitz{Seitz{}.r, v});
    return centring;
  }
  return std::nullopt;
}

// x' = P x + p as M / kDenominator and p in 1/kDenominator.
struct BasisChange {
  Matrix m{};
  Vector p{};
};

// Whole number at text[i]: up to kMaxDigits digits.
std::optional<int64_t> ReadWhole(std::string_view text, size_t& i) {
  const size_t start = i;
  int64_t value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < kMaxDigits)
    value = value * 10 + (text[i++] - '0');
  if (i == start || (i < text.size() && text[i] >= '0' && text[i] <= '9')) return std::nullopt;
  return value;
}

// One component of a change of basis, "-x+z+1/4" or "2/3x-1/3y": sets row `row` of `v`.
bool ReadComponent(std::string_view text, int row, BasisChange& v) {
  size_t i = 0;
  bool any = false;
  auto skipBlanks = [&] {
    while (i < text.size() && text[i] == ' ') ++i;
  };
  for (skipBlanks(); i < text.size(); skipBlanks()) {
    int64_t sign = 1;
    if (text[i] == '+' || text[i] == '-') {
      sign = text[i++] == '-' ? -1 : 1;
      skipBlanks();
    } else if (any) {
      return false;  // terms need a sign between them
    }
    int64_t numerator = 1, denominator = 1;
    const bool number = i < text.size() && text[i] >= '0' && text[i] <= '9';
    if (number) {
      const std::optional<int64_t> whole = ReadWhole(text, i);
      if (!whole) return false;
      numerator = *whole;
      skipBlanks();
      if (i < text.size() && text[i] == '/') {
        ++i;
        skipBlanks();
        const std::optional<int64_t> below = ReadWhole(text, i);
        if (!below || *below == 0) return false;
        denominator = *below;
        skipBlanks();
      }
      if (i < text.size() && text[i] == '*') {
        ++i;
        skipBlanks();
      }
    }
    int axis = -1;
    if (i < text.size() && text[i] >= 'x' && text[i] <= 'z') axis = text[i++] - 'x';
    if (!number && axis < 0) return false;
    if (numerator * kDenominator % denominator != 0) return false;  // finer than 1/144
    const int64_t value = sign * numerator * kDenominator / denominator;
    int64_t& target = axis < 0 ? v.p[row] : v.m[row * 3 + axis];
    target += value;
    if (target > kMaxBasisCoefficient || target < -kMaxBasisCoefficient) return false;
    any = true;
  }
  return any;
}

// "(0 0 1)": a shift in twelfths; "(x,y,z+1/4)", "(-y,x-y,z)": a full change of basis.
std::optional<BasisChange> ReadBasisChange(std::string_view text) {
  BasisChange v;
  if (text.find_first_of("xyz") == std::string_view::npos) {
    size_t i = 0;
    for (int k = 0; k < 3; ++k) {
      while (i < text.size() && (text[i] == ' ' || (k > 0 && text[i] == ','))) ++i;
      int64_t sign = 1;
      if (i < text.size() && (text[i] == '-' || text[i] == '+')) sign = text[i++] == '-' ? -1 : 1;
      const std::optional<int64_t> twelfths = ReadWhole(text, i);
      if (!twelfths) return std::nullopt;
      v.p[k] = Reduced(sign * *twelfths * (kDenominator / 12));
      v.m[k * 4] = kDenominator;
    }
    return text.find_first_not_of(' ', i) == std::string_view::npos ? std::optional(v)
                                                                    : std::nullopt;
  }
  for (int row = 0; row < 3; ++row) {
    const size_t comma = text.find(',');
    if ((comma == std::string_view::npos) != (row == 2)) return std::nullopt;
    if (!ReadComponent(text.substr(0, comma), row, v)) return std::nullopt;
    if (row < 2) text.remove_prefix(comma + 1);
  }
  for (int64_t& p : v.p) p = Reduced(p);
  return v;
}

int64_t Determinant(const Matrix& m) {
  return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
         m[2] * (m[3] * m[7] - m[4] * m[6]);
}

Matrix Adjugate(const Matrix& m) {
  auto minor = [&](int a, int b, int c, int d) { return m[a] * m[d] - m[b] * m[c]; };
  return {minor(4, 5, 7, 8),  -minor(1, 2, 7, 8), minor(1, 2, 4, 5),
          -minor(3, 5, 6, 8), minor(0, 2, 6, 8),  -minor(0, 2, 3, 5),
          minor(3, 4, 6, 7),  -minor(0, 1, 6, 7), minor(0, 1, 3, 4)};
}

// The group of `generators`, of `order` operations, in the new coordinates: each (R | t) becomes
// (P R P^-1 | P t + p - P R P^-1 p), and the old cell edges, columns of P, become translations.
// Nothing when an operation is not whole in the new cell or the new cell's edges are no
// translations of the group; then the closure holds more than the volume ratio allows.
std::optional<std::vector<Seitz>> InNewBasis(const std::vector<Seitz>& generators, size_t order,
                                             const BasisChange& v) {
  const int64_t determinant = Determinant(v.m);
  if (determinant == 0) return std::nullopt;
  const Matrix adjugate = Adjugate(v.m);
  std::vector<Seitz> changedGenerators;
  for (const Seitz& s : generators) {
    Seitz n;
    for (int i = 0; i < 9; ++i) {
      int64_t e = 0;
      for (int k = 0; k < 3; ++k)
        for (int l = 0; l < 3; ++l)
          e += v.m[i / 3 * 3 + k] * s.r[k * 3 + l] * adjugate[l * 3 + i % 3];
      if (e % determinant != 0 || e / determinant > kMaxRotationEntry ||
          e / determinant < -kMaxRotationEntry)
        return std::nullopt;
      n.r[i] = e / determinant;
    }
    for (int i = 0; i < 3; ++i) {
      int64_t pt = 0, rp = 0;
      for (int k = 0; k < 3; ++k) {
        pt += v.m[i * 3 + k] * s.t[k];
        rp += n.r[i * 3 + k] * v.p[k];
      }
      if (pt % kDenominator != 0) return std::nullopt;
      n.t[i] = Reduced(pt / kDenominator + v.p[i] - rp);
    }
    changedGenerators.push_back(n);
  }
  for (int j = 0; j < 3; ++j)
    changedGenerators.push_back(
        Seitz{Seitz{}.r, {Reduced(v.m[j]), Reduced(v.m[3 + j]), Reduced(v.m[6 + j])}});
  const std::optional<std::vector<Seitz>> changed = Closure(changedGenerators);
  const int64_t cellsIn = static_cast<int64_t>(order) * kDenominator * kDenominator * kDenominator;
  const int64_t volume = determinant < 0 ? -determinant : determinant;
  if (!changed || cellsIn % volume != 0 || changed->size() != static_cast<size_t>(cellsIn / volume))
    return std::nullopt;
  return changed;
}

// The group of a normalised symbol: lower case, blanks only, no quotes around it.
std::optional<std::vector<Seitz>> GroupOfSymbol(std::string_view text) {
  std::optional<BasisChange> basis;
  if (const size_t open = text.find('('); open != std::string_view::npos) {
    const size_t close = text.find(')', open);
    if (close == std::string_view::npos ||
        text.find_first_not_of(' ', close + 1) != std::string_view::npos)
      return std::nullopt;
    basis = ReadBasisChange(text.substr(open + 1, close - open - 1));
    if (!basis) return std::nullopt;
    text = text.substr(0, open);
  }
  std::vector<std::string_view> tokens;
  for (size_t i = text.find_first_not_of(' '); i != std::string_view::npos;
       i = text.find_first_not_of(' ', i)) {
    const size_t end = std::min(text.find(' ', i), text.size());
    tokens.push_back(text.substr(i, end - i));
    i = end;
  }
  if (tokens.size() < 2 || tokens.size() > 1 + kMaxMatrixSymbols) return std::nullopt;

  std::string_view lattice = tokens[0];
  const bool centric = lattice.size() == 2 && lattice[0] == '-';
  if (centric) lattice.remove_prefix(1);
  if (lattice.size() != 1) return std::nullopt;
  std::optional<std::vector<Seitz>> centring = CentringOf(lattice[0]);
  if (!centring) return std::nullopt;
  std::vector<Seitz> generators = std::move(*centring);
  if (centric) generators.push_back(Seitz{{-1, 0, 0, 0, -1, 0, 0, 0, -1}, {}});

  std::vector<MatrixSymbol> symbols;
  for (size_t i = 1; i < tokens.size(); ++i) {
    std::optional<MatrixSymbol> symbol = ReadMatrixSymbol(tokens[i]);
    if (!symbol) return std::nullopt;
    symbols.push_back(*symbol);
    const std::optional<Seitz> operation =
        OperationOf(symbols.back(), i - 1, i > 1 ? &symbols[i - 2] : nullptr);
    if (!operation) return std::nullopt;
    generators.push_back(*operation);
  }
  std::optional<std::vector<Seitz>> group = Closure(generators);
  if (group && basis) group = InNewBasis(generators, group->size(), *basis);
  return group;
}

// Trimmed, lower case, with tabs, line ends and underscores as blanks, and a leading quote
// (never part of a symbol) removed with its partner at the end.
std::string Normalised(std::string_view hall) {
  std::string text;
  for (char c : hall) {
    if (c == '_' || c == '\t' || c == '\r' || c == '\n') c = ' ';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    text += c;
  }
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  text = text.substr(first, text.find_last_not_of(' ') - first + 1);
  if (text[0] == '\'' || text[0] == '"') {
    const char quote = text[0];
    text.erase(0, 1);
    if (!text.empty() && text.back() == quote) text.pop_back();
  }
  return text;
}

// The operators for the caller: one of each coset of the centring translations, in the order
// the closure found them, then the same again for each further centring translation.
std::vector<CTSSymOp> InCosetOrder(const std::vector<Seitz>& group) {
  std::vector<Seitz> centring, representatives, covered;
  for (const Seitz& s : group)
    if (s.r == Seitz{}.r) centring.push_back(s);
  for (const Seitz& s : group) {
    if (std::find(covered.begin(), covered.end(), s) != covered.end()) continue;
    representatives.push_back(s);
    for (const Seitz& c : centring) covered.push_back(*Product(c, s));
  }
  std::vector<CTSSymOp> ops;
  for (const Seitz& c : centring) {
    for (const Seitz& s : representatives) {
      const Seitz op = *Product(c, s);
      std::array<double, 9> rotation;
      std::copy(op.r.begin(), op.r.end(), rotation.begin());
      const auto fraction = [&](int i) { return static_cast<double>(op.t[i]) / kDenominator; };
      ops.emplace_back(rotation, VHTypes::CVector{fraction(0), fraction(1), fraction(2)});
    }
  }
  return ops;
}

}  // namespace

std::optional<std::vector<CTSSymOp>> OperatorsOfHallSymbol(std::string_view hall) {
  if (hall.size() > 4 * kMaxLength) return std::nullopt;  // not worth copying to look at
  std::string text = Normalised(hall);
  if (text.empty() || text.size() > kMaxLength) return std::nullopt;
  std::optional<std::vector<Seitz>> group = GroupOfSymbol(text);
  // A closing quote whose opening one went elsewhere: 2" is an axis, 2ybc" is not.
  if (!group && (text.back() == '\'' || text.back() == '"')) {
    text.pop_back();
    group = GroupOfSymbol(text);
  }
  if (!group) return std::nullopt;
  return InCosetOrder(*group);
}
