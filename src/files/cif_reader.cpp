#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "app/status_log.h"
#include "app/text.h"
#include "crystal/crystal.h"
#include "crystal/spacegroups.h"
#include "diffraction/scattering_table.h"
#include "errors/exceptions.h"
#include "files/cif_file.h"
#include "files/cif_lexer.h"
#include "files/crystal_checks.h"
#include "files/crystal_symmetry.h"
#include "resources/elements.h"

namespace {

using Token = CCifLexer::Token;

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Most CIF numbers are short decimals: digits that fit an exact integer and at most 22 decimals
// convert exactly as mantissa / 10^k (both exact, one correctly rounded division), which is
// what a full conversion gives and many times faster.
std::optional<double> ParseShortDecimal(std::string_view text) {
  static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                            1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) ++i;
  uint64_t mantissa = 0;
  int digits = 0, decimals = -1;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
      if (++digits > 15) return std::nullopt;
      if (decimals >= 0) ++decimals;
    } else if (c == '.' && decimals < 0) {
      decimals = 0;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0) return std::nullopt;
  const double value = static_cast<double>(mantissa) / kPowersOfTen[std::max(decimals, 0)];
  return negative ? -value : value;
}

std::optional<double> ParseDecimal(std::string_view text) {
  if (const auto fast = ParseShortDecimal(text)) return fast;
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

// A CIF number: a decimal with an optional standard uncertainty in parentheses ("4.9134(2)"),
// or a fraction ("1/4") as some files write coordinates.
std::optional<double> ParseNumber(std::string_view text) {
  if (const size_t open = text.find('('); open != std::string_view::npos) {
    if (text.back() != ')') return std::nullopt;
    text = text.substr(0, open);
  }
  if (const size_t slash = text.find('/'); slash != std::string_view::npos) {
    const auto numerator = ParseDecimal(text.substr(0, slash));
    const auto denominator = ParseDecimal(text.substr(slash + 1));
    if (!numerator || !denominator || *denominator == 0.0) return std::nullopt;
    return *numerator / *denominator;
  }
  return ParseDecimal(text);
}

// A value a site can do without that did not read as a number: kept as far as it reads, for
// the status log.
struct SloppyValue {
  std::string item;
  std::string_view text;
  std::optional<double> read;  // its leading number, when that is all there is to it
};

// An item name as the reader compares it: in lower case, with the dots of the dictionary style
// "_cell.length_a" read as the underscores of "_cell_length_a".
std::string ItemName(std::string_view name) {
  std::string item = Lowercase(name);
  std::replace(item.begin(), item.end(), '.', '_');
  return item;
}

// The number a text begins with, when what follows it cannot be read as more of it: nothing, an
// uncertainty in parentheses (closed or not), or a flag character. "0.l09(5)" gives nothing,
// since its leading "0." is only the start of a mistyped number.
std::optional<double> LeadingNumber(std::string_view text) {
  size_t end = 0;
  if (end < text.size() && (text[end] == '-' || text[end] == '+')) ++end;
  const size_t digitsFrom = end;
  while (end < text.size() &&
         (std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == '.'))
    ++end;
  if (end == digitsFrom) return std::nullopt;
  const std::string_view rest = text.substr(end);
  if (!rest.empty() && rest.front() != '(' &&
      std::isalnum(static_cast<unsigned char>(rest.front())))
    return std::nullopt;
  return ParseDecimal(text.substr(0, end));
}

// The anisotropic values of a site row, row-major 11, 12, 13, 21, 22, 23, 31, 32, 33.
struct SiteTensors {
  std::array<std::optional<double>, 9> u, b;
};

// One row of the atom-site loops, as read; joined with its anisotropic row by label. Texts
// are views into the file's text. Kept small: a large file holds a million of them at once.
struct SiteRecord {
  std::optional<std::string_view> label;
  std::optional<std::string_view> type;
  std::array<std::optional<std::string_view>, 3> coordinates;
  std::optional<double> occupancy;
  std::optional<double> uIso;
  std::optional<double> bIso;
  std::unique_ptr<SiteTensors> tensors;  // only for rows that give anisotropic values
  std::optional<int> multiplicity;       // as the file states it
  std::vector<SloppyValue> sloppy;
  bool dummy = false;

  SiteTensors& Tensors() {
    if (!tensors) tensors = std::make_unique<SiteTensors>();
    return *tensors;
  }

  // Two records join only when no field is present in both.
  bool CanJoin(const SiteRecord& other) const {
    auto both = [](const auto& a, const auto& b) { return a.has_value() && b.has_value(); };
    if (both(type, other.type) || both(occupancy, other.occupancy) || both(uIso, other.uIso) ||
        both(bIso, other.bIso))
      return false;
    for (int i = 0; i < 3; ++i)
      if (both(coordinates[i], other.coordinates[i])) return false;
    if (tensors && other.tensors)
      for (int i = 0; i < 9; ++i)
        if (both(tensors->u[i], other.tensors->u[i]) || both(tensors->b[i], other.tensors->b[i]))
          return false;
    return true;
  }
  void Join(const SiteRecord& other) {
    auto take = [](auto& mine, const auto& theirs) {
      if (!mine) mine = theirs;
    };
    take(type, other.type);
    take(occupancy, other.occupancy);
    take(uIso, other.uIso);
    take(bIso, other.bIso);
    for (int i = 0; i < 3; ++i) take(coordinates[i], other.coordinates[i]);
    if (other.tensors)
      for (int i = 0; i < 9; ++i)
        take(Tensors().u[i], other.tensors->u[i]), take(Tensors().b[i], other.tensors->b[i]);
    take(multiplicity, other.multiplicity);
    sloppy.insert(sloppy.end(), other.sloppy.begin(), other.sloppy.end());
    dummy = dummy || other.dummy;
  }
};

struct Block {
  std::string name;
  std::array<std::optional<double>, 6> cell;  // a, b, c, alpha, beta, gamma
  bool hasCellItems = false;
  bool hasAtomItems = false;
  CFileSymmetry symmetry;
  std::vector<SiteRecord> sites;
  std::vector<SiteRecord> anisotropic;
  SiteRecord single;  // atom items given outside loops
  bool hasSingle = false;
  std::string formula;                 // _chemical_formula_sum
  std::optional<double> formulaUnits;  // Z
};

enum class Category { kNone, kCell, kSymmetry, kSite, kName, kFormula };

Category CategoryOf(const std::string& item) {
  if (StartsWith(item, "_database") || StartsWith(item, "_amcsd_database")) return Category::kName;
  if (StartsWith(item, "_symmetry") || StartsWith(item, "_space")) return Category::kSymmetry;
  if (StartsWith(item, "_cell")) return Category::kCell;
  if (item == "_chemical_formula_sum") return Category::kFormula;
  // "_atom_type_..." and "_atom_sites_..." describe no site.
  if (StartsWith(item, "_atom_site_")) return Category::kSite;
  return Category::kNone;
}

// Which field of a site record an item fills; resolved once per loop column.
struct SiteField {
  enum Kind {
    kIgnored,
    kLabel,
    kType,
    kCoordinate,
    kOccupancy,
    kUIso,
    kBIso,
    kCalcFlag,
    kU,
    kB,
    kMultiplicity,
    kWyckoff
  };
  Kind kind = kIgnored;
  int index = 0;  // coordinate 0-2, or tensor element 0-8
};

SiteField SiteFieldOf(const std::string& item) {
  if (item == "_atom_site_label" || item == "_atom_site_aniso_label") return {SiteField::kLabel};
  if (item == "_atom_site_type_symbol") return {SiteField::kType};
  if (item == "_atom_site_fract_x") return {SiteField::kCoordinate, 0};
  if (item == "_atom_site_fract_y") return {SiteField::kCoordinate, 1};
  if (item == "_atom_site_fract_z") return {SiteField::kCoordinate, 2};
  if (item == "_atom_site_occupancy") return {SiteField::kOccupancy};
  if (item == "_atom_site_u_iso_or_equiv") return {SiteField::kUIso};
  if (item == "_atom_site_b_iso_or_equiv") return {SiteField::kBIso};
  if (item == "_atom_site_calc_flag") return {SiteField::kCalcFlag};
  if (item == "_atom_site_symmetry_multiplicity") return {SiteField::kMultiplicity};
  if (item == "_atom_site_wyckoff_symbol") return {SiteField::kWyckoff};
  if (item.size() == 21 &&
      (StartsWith(item, "_atom_site_aniso_u_") || StartsWith(item, "_atom_site_aniso_b_"))) {
    const int i = item[19] - '1', j = item[20] - '1';
    if (i >= 0 && i <= 2 && j >= 0 && j <= 2)
      return {item[17] == 'u' ? SiteField::kU : SiteField::kB, i * 3 + j};
  }
  return {};
}

class CifReader {
 public:
  explicit CifReader(std::string_view text) : m_lexer(text) {}

  std::vector<Block> ReadBlocks() {
    for (Token token = m_lexer.Next(); token.kind != Token::kEnd; token = m_lexer.Next()) {
      switch (token.kind) {
        case Token::kDataBlock:
          m_blocks.push_back({});
          m_blocks.back().name = std::string(token.text);
          break;
        case Token::kLoop:
          ReadLoop();
          break;
        case Token::kItem:
          ReadSingleItem(token.text);
          break;
        default:
          break;  // stray values and reserved words carry nothing we read
      }
    }
    for (Block& block : m_blocks)
      if (block.hasSingle) block.sites.push_back(std::move(block.single));
    return std::move(m_blocks);
  }

  int ErrorCount() const { return m_lexer.ErrorCount(); }

 private:
  Block& Current() {
    if (m_blocks.empty()) m_blocks.emplace_back();  // items before any data_ line
    return m_blocks.back();
  }

  void ReadSingleItem(std::string_view name) {
    if (m_lexer.Peek().kind != Token::kValue) {
      LogStatus("Warning: Missing data value for tag: '" + std::string(name) + "'.");
      return;
    }
    const Token value = m_lexer.Next();
    const std::string item = ItemName(name);
    Block& block = Current();
    if (CategoryOf(item) == Category::kSite) {
      block.hasAtomItems = true;
      block.hasSingle = true;
      SetSiteField(block.single, SiteFieldOf(item), item, value);
    } else {
      Dispatch(block, item, value);
    }
  }

  void ReadLoop() {
    std::vector<std::string> items;
    while (m_lexer.Peek().kind == Token::kItem) items.push_back(ItemName(m_lexer.Next().text));
    if (items.empty()) return;
    const std::string& first = items.front();

    // Take all the values first: a loop whose values do not fill whole rows is broken.
    std::vector<Token> values;
    while (m_lexer.Peek().kind == Token::kValue) values.push_back(m_lexer.Next());
    if (values.empty()) throw CVHXFileCIFMissingDataInLoop(kSeverityMessage, 0, 0, first);
    if (values.size() % items.size() != 0)
      throw CVHXFileCIFInvalidLoop(kSeverityMessage, 0, 0, first);

    const Category category = CategoryOf(first);
    for (const std::string& item : items) {
      const Category other = CategoryOf(item);
      if (other != category && other != Category::kNone && category != Category::kNone)
        throw CVHXFileCIFUnexpectedItem(kSeverityMessage, 0, 0, item);
    }
    Block& block = Current();
    const size_t rows = values.size() / items.size();
    auto value = values.begin();
    if (category != Category::kSite) {
      for (size_t row = 0; row < rows; ++row)
        for (const std::string& item : items) Dispatch(block, item, *value++);
      return;
    }
    block.hasAtomItems = true;
    std::vector<SiteField> fields;
    for (const std::string& item : items) fields.push_back(SiteFieldOf(item));
    std::vector<SiteRecord>& records =
        StartsWith(first, "_atom_site_aniso") ? block.anisotropic : block.sites;
    records.reserve(records.size() + rows);
    for (size_t row = 0; row < rows; ++row) {
      SiteRecord& record = records.emplace_back();
      for (size_t column = 0; column < items.size(); ++column)
        SetSiteField(record, fields[column], items[column], *value++);
    }
  }

  void Dispatch(Block& block, const std::string& item, const Token& value) {
    switch (CategoryOf(item)) {
      case Category::kCell:
        block.hasCellItems = true;
        SetCellField(block, item, value);
        break;
      case Category::kSymmetry:
        SetSymmetryField(block, item, value);
        break;
      case Category::kName:
        if (Lowercase(block.name) == "global" && !value.text.empty())
          block.name = std::string(value.text);
        break;
      case Category::kFormula:
        block.formula = std::string(value.text);
        break;
      default:
        break;
    }
  }

  static double Number(const std::string& item, const Token& value) {
    const std::optional<double> number = ParseNumber(value.text);
    if (!number) throw CVHXFileCIFReadError(kSeverityMessage, 0, 0, item, value.text);
    return *number;
  }

  static void SetCellField(Block& block, const std::string& item, const Token& value) {
    if (item == "_cell_formula_units_z") {
      if (!value.unknown) block.formulaUnits = ParseNumber(value.text);
      return;
    }
    static const std::pair<const char*, int> kFields[] = {
        {"_cell_length_a", 0},    {"_cell_length_b", 1},   {"_cell_length_c", 2},
        {"_cell_angle_alpha", 3}, {"_cell_angle_beta", 4}, {"_cell_angle_gamma", 5}};
    for (const auto& [name, index] : kFields) {
      if (!StartsWith(item, name)) continue;
      const std::string_view unit = std::string_view(item).substr(std::strlen(name));
      double scale = 1.0;
      if (index < 3 && unit == "_pm")
        scale = 0.01;
      else if (index < 3 && unit == "_nm")
        scale = 10.0;
      else if (!unit.empty())
        return;
      if (value.unknown || value.text.empty()) return;
      block.cell[index] = Number(item, value) * scale;
      return;
    }
  }

  static void SetSymmetryField(Block& block, const std::string& item, const Token& value) {
    if (value.unknown || value.text.empty()) return;
    if (item == "_symmetry_space_group_name_h-m" || item == "_space_group_name_h-m_alt") {
      block.symmetry.symbol = std::string(value.text);
    } else if (item == "_symmetry_space_group_name_hall" || item == "_space_group_name_hall") {
      block.symmetry.hall = std::string(value.text);
    } else if (item == "_symmetry_int_tables_number" || item == "_space_group_it_number") {
      // The number only backs up the symbol: a number that does not read is passed over.
      const std::optional<double> number = ParseNumber(value.text);
      if (number && *number == std::trunc(*number) && std::abs(*number) <= 1e9)
        block.symmetry.number = static_cast<int>(*number);
      else
        LogStatus("Warning: The spacegroup number '" + std::string(value.text) + "' of item '" +
                  item + "' is not a number; it is ignored.");
    } else if (item == "_symmetry_equiv_pos_as_xyz" || item == "_space_group_symop_operation_xyz") {
      const std::optional<CTSSymOp> op = CTSSymOp::Parse(value.text);
      if (!op) throw CVHXFileCIFReadError(kSeverityMessage, 0, 0, item, value.text);
      block.symmetry.operators.push_back(*op);
    }
  }

  // A number a site can do without: one that does not read is noted, and kept as far as its
  // leading number goes when only a flag ("0.08*") or an unclosed uncertainty ("0.035(4")
  // follows it.
  static std::optional<double> Lenient(SiteRecord& record, const std::string& item,
                                       const Token& value) {
    if (const std::optional<double> number = ParseNumber(value.text)) return number;
    const std::optional<double> leading = LeadingNumber(value.text);
    record.sloppy.push_back({item, value.text, leading});
    return leading;
  }

  static void SetSiteField(SiteRecord& record, SiteField field, const std::string& item,
                           const Token& value) {
    if (field.kind == SiteField::kLabel) {
      if (!value.unknown) record.label = value.text;
      return;
    }
    if (field.kind == SiteField::kCalcFlag) {
      record.dummy = Lowercase(value.text) == "dum";
      return;
    }
    if (value.unknown || value.text.empty()) return;
    switch (field.kind) {
      case SiteField::kType:
        record.type = value.text;
        break;
      case SiteField::kCoordinate:
        record.coordinates[field.index] = value.text;
        break;
      case SiteField::kOccupancy:
        record.occupancy = Lenient(record, item, value);
        break;
      case SiteField::kUIso:
        record.uIso = Lenient(record, item, value);
        break;
      case SiteField::kBIso:
        record.bIso = Lenient(record, item, value);
        break;
      case SiteField::kU:
        record.Tensors().u[field.index] = Lenient(record, item, value);
        break;
      case SiteField::kB:
        record.Tensors().b[field.index] = Lenient(record, item, value);
        break;
      case SiteField::kMultiplicity:
      case SiteField::kWyckoff: {
        // "8", or a Wyckoff symbol that states it, "8a"; only ever a hint, so anything else is
        // passed over.
        int count = 0;
        const auto [end, error] =
            std::from_chars(value.text.data(), value.text.data() + value.text.size(), count);
        if (error == std::errc() && end != value.text.data() && count >= 1 && count <= 192)
          record.multiplicity = count;
        break;
      }
      default:
        break;
    }
  }

  CCifLexer m_lexer;
  std::vector<Block> m_blocks;
};

// The six independent components, taking 21, 31 and 32 for 12, 13 and 23.
std::optional<CTSAnisoThermalEllipsoid::Uij> CompleteTensor(
    const std::array<std::optional<double>, 9>& t) {
  auto either = [&](int a, int b) { return t[a] ? t[a] : t[b]; };
  const auto t11 = t[0], t22 = t[4], t33 = t[8], t12 = either(1, 3), t13 = either(2, 6),
             t23 = either(5, 7);
  if (!(t11 && t22 && t33 && t12 && t13 && t23)) return std::nullopt;
  return CTSAnisoThermalEllipsoid::Uij{*t11, *t22, *t33, *t12, *t13, *t23};
}

bool AnyPresent(const std::array<std::optional<double>, 9>& t) {
  return std::any_of(t.begin(), t.end(), [](const auto& v) { return v.has_value(); });
}

std::string FormatWarning(const char* format, double value, const std::string& label) {
  return Formatted(format, value, label);
}

// Water oxygens are often labelled "Wat1" or "OW1" without a type symbol.
std::string ElementOfLabel(const std::string& label) {
  const std::string lower = Lowercase(label);
  if (StartsWith(lower, "wat") || StartsWith(lower, "ow")) return "O";
  if (const CElement* element = LeadingElement(label)) return element->symbol;
  return label;
}

// An anisotropic tensor that no atom can have (not positive definite) gives way to its
// isotropic equivalent where that is positive.
std::unique_ptr<CTSThermalEllipsoid> Anisotropic(const CTSAnisoThermalEllipsoid::Uij& u,
                                                 const std::string& label,
                                                 const CTSCrystal& crystal) {
  auto tensor =
      std::make_unique<CTSAnisoThermalEllipsoid>(u, crystal.aStar, crystal.bStar, crystal.cStar);
  if (IsPositiveDefinite(u)) return tensor;
  const std::string what = "Warning: The anisotropic displacement parameters of site '" + label +
                           "' are not positive definite";
  if (tensor->U() > 0.0) {
    LogStatus(what + Formatted("; their isotropic equivalent (Uiso %.4f) is used.", tensor->U()));
    return std::make_unique<CTSThermalEllipsoid>(tensor->U());
  }
  LogStatus(what + "; discarding data.");
  return nullptr;
}

std::unique_ptr<CTSThermalEllipsoid> Displacement(const SiteRecord& record,
                                                  const std::string& label,
                                                  const CTSCrystal& crystal) {
  static const SiteTensors kNone;
  const SiteTensors& tensors = record.tensors ? *record.tensors : kNone;
  if (const auto u = CompleteTensor(tensors.u)) return Anisotropic(*u, label, crystal);
  if (AnyPresent(tensors.u))
    LogStatus("Warning: Incomplete set of Uij temperature factors for site '" + label +
              "'; discarding data.");
  if (auto b = CompleteTensor(tensors.b)) {
    for (double* v : {&b->u11, &b->u22, &b->u33, &b->u12, &b->u13, &b->u23}) *v = UFromB(*v);
    return Anisotropic(*b, label, crystal);
  }
  if (AnyPresent(tensors.b))
    LogStatus("Warning: Incomplete set of Bij temperature factors for site '" + label +
              "'; discarding data.");
  if (record.uIso) {
    if (*record.uIso > 0.0) return std::make_unique<CTSThermalEllipsoid>(*record.uIso);
    LogStatus(FormatWarning(
        "Warning: Invalid Uiso temperature factor (%.4f) for site '%s'; discarding data.",
        *record.uIso, label));
  } else if (record.bIso) {
    if (*record.bIso > 0.0) return std::make_unique<CTSThermalEllipsoid>(UFromB(*record.bIso));
    LogStatus(FormatWarning(
        "Warning: Invalid Biso temperature factor (%.4f) for site '%s'; discarding data.",
        *record.bIso, label));
  }
  return nullptr;
}

// Rows of one label at one position (as this program writes mixed sites) form one site.
bool SameSite(const CTSSite& site, const std::string& label, double x, double y, double z) {
  return site.label == label && site.x == x && site.y == y && site.z == z;
}

// Joins each row of the anisotropic loop to the first site row of its label that has none of
// its fields yet; rows are found by label in a hash map, so that large files stay linear.
void JoinAnisotropicRows(Block& block) {
  std::unordered_map<std::string_view, std::vector<size_t>> rowsByLabel;
  for (size_t i = 0; i < block.sites.size(); ++i)
    if (block.sites[i].label) rowsByLabel[*block.sites[i].label].push_back(i);
  for (const SiteRecord& aniso : block.anisotropic) {
    if (!aniso.label) continue;
    const auto rows = rowsByLabel.find(*aniso.label);
    if (rows == rowsByLabel.end()) continue;
    for (const size_t i : rows->second) {
      if (!block.sites[i].CanJoin(aniso)) continue;
      block.sites[i].Join(aniso);
      break;
    }
  }
  std::vector<SiteRecord>().swap(
      block.anisotropic);  // joined: a large file need not hold them twice
}

void LogSloppyValues(const SiteRecord& record, const std::string& label) {
  for (const SloppyValue& value : record.sloppy) {
    const std::string what = "Warning: The value '" + std::string(value.text) + "' of item '" +
                             value.item + "' for site '" + label + "' ";
    LogStatus(value.read ? what + Formatted("is read as %g.", *value.read)
                         : what + "is not a number; it is ignored.");
  }
}

// The sites of the block's rows, with the multiplicity the file states for each site.
std::vector<std::optional<int>> AddSites(Block& block, CTSCrystal& crystal) {
  CScatteringMatcher matcher;
  std::unordered_map<std::string_view, std::string> symbols;  // by type as written
  std::vector<std::optional<int>> multiplicities;
  JoinAnisotropicRows(block);
  for (SiteRecord& record : block.sites) {
    const std::string label(record.label.value_or(std::string_view()));
    if (record.dummy) {
      LogStatus("Warning: Dummy atom '" + label + "' skipped.");
      continue;
    }
    if (!record.coordinates[0] || !record.coordinates[1] || !record.coordinates[2]) {
      LogStatus("Warning: Missing one or more coordinates for site: '" + label +
                "'; discarding data.");
      continue;
    }
    std::array<double, 3> xyz{};
    bool valid = true;
    for (int i = 0; i < 3; ++i) {
      const auto value = ParseNumber(*record.coordinates[i]);
      valid = valid && value.has_value();
      xyz[i] = value.value_or(0.0);
    }
    if (!valid) {
      LogStatus("Warning: The site '" + label + "' has invalid coordinates and has been deleted.");
      continue;
    }
    LogSloppyValues(record, label);
    CTSAtom atom;
    if (record.type) {
      auto known = symbols.find(*record.type);
      if (known == symbols.end())
        known = symbols.emplace(*record.type, AtomSymbolForType(*record.type)).first;
      atom.symbol = known->second;
    } else {
      atom.symbol = ElementOfLabel(label);
    }
    atom.occupancy = record.occupancy.value_or(1.0);
    matcher.Match(atom);

    if (!crystal.sites.empty() && SameSite(crystal.sites.back(), label, xyz[0], xyz[1], xyz[2])) {
      crystal.sites.back().atoms.push_back(std::move(atom));
      continue;
    }
    CTSSite site;
    site.label = label;
    site.x = xyz[0], site.y = xyz[1], site.z = xyz[2];
    site.flag = true;
    site.atoms.push_back(std::move(atom));
    site.displacement = Displacement(record, label, crystal);
    record.tensors.reset();  // taken up by the site
    crystal.hasDisplacementParameters =
        crystal.hasDisplacementParameters || site.displacement != nullptr;
    crystal.sites.push_back(std::move(site));
    multiplicities.push_back(record.multiplicity);
  }
  return multiplicities;
}

// Atoms per cell by element from "_chemical_formula_sum" ("Al2 Mg O4") times Z; nothing
// when either is missing or the formula does not read.
std::map<std::string, double> FormulaContent(const Block& block) {
  std::map<std::string, double> atoms;
  if (block.formula.empty() || !block.formulaUnits || !(*block.formulaUnits > 0.0)) return atoms;
  std::string_view rest = block.formula;
  while (!(rest = TrimWhiteSpace(rest)).empty()) {
    const size_t end = std::min(rest.find_first_of(" \t\r\n"), rest.size());
    const std::string_view term = rest.substr(0, end);
    rest.remove_prefix(end);
    size_t digits = 0;
    while (digits < term.size() && std::isalpha(static_cast<unsigned char>(term[digits]))) ++digits;
    const CElement* element = FindElement(term.substr(0, digits));
    const std::optional<double> count =
        digits == term.size() ? 1.0 : ParseDecimal(term.substr(digits));
    if (!element || !count) return {};
    atoms[element->symbol] += *count * *block.formulaUnits;
  }
  return atoms;
}

// Whether the file names the origin of its group itself: operators, a Hall symbol, or an
// origin in the symbol (":2", "origin choice 2").
bool StatesOrigin(const CFileSymmetry& symmetry, CSymmetrySource source) {
  if (source == CSymmetrySource::kOperators || source == CSymmetrySource::kHall) return true;
  int origin = 0;
  LookUpSpaceGroup(symmetry.symbol, origin);
  return origin != 0;
}

}  // namespace

namespace {

bool HasAtoms(const Block& block) {
  return block.hasAtomItems && !block.sites.empty();
}
bool DescribesCrystal(const Block& block) {
  return block.hasCellItems && HasAtoms(block);
}

// The crystal of one data block: cell, symmetry, sites, positions.
CTSCrystal CrystalOfBlock(Block& block) {
  static const char* const kCellItems[] = {"_cell_length_a",   "_cell_length_b",
                                           "_cell_length_c",   "_cell_angle_alpha",
                                           "_cell_angle_beta", "_cell_angle_gamma"};
  for (int i = 0; i < 3; ++i)
    if (!block.cell[i])
      throw CVHXFileCIFReadError(kSeverityMessage, 0, 0, std::string(kCellItems[i]), std::string());
  // Older files give only the angles that are not right angles.
  for (int i = 3; i < 6; ++i) {
    if (block.cell[i]) continue;
    LogStatus(std::string("Warning: No value for '") + kCellItems[i] + "'; 90 degrees is used.");
    block.cell[i] = 90.0;
  }

  CTSCrystal read;
  read.a = *block.cell[0], read.b = *block.cell[1], read.c = *block.cell[2];
  read.alpha = *block.cell[3], read.beta = *block.cell[4], read.gamma = *block.cell[5];
  if (!IsPossibleCell(read)) CheckCrystal(read);
  read.UpdateCell();
  const CSymmetrySource source = ApplyFileSymmetry(block.symmetry, read);
  if (source == CSymmetrySource::kNone) LogStatus("Warning: No symmetry information; P 1 is used.");
  const std::vector<std::optional<int>> multiplicities = AddSites(block, read);
  if (read.sites.empty()) throw CVHXFileImportNoAtoms();
  CheckCrystal(read);
  read.GeneratePositions();
  if (!StatesOrigin(block.symmetry, source))
    ChooseOriginByContent(read, {multiplicities, FormulaContent(block)});
  read.UpdateCell();
  return read;
}

// The blocks of a file. They hold views into `text`, or into `clean`, its copy without illegal
// bytes, which the caller keeps alive as long as the blocks.
std::vector<Block> ReadAllBlocks(std::string_view text, std::optional<std::string>& clean,
                                 int& errorCount) {
  clean = CleanCifText(text, errorCount);
  CifReader reader(clean ? std::string_view(*clean) : text);
  std::vector<Block> blocks = reader.ReadBlocks();
  errorCount += reader.ErrorCount();
  return blocks;
}

// The first block with a cell and atoms; else the first with atoms, whose missing cell is then
// the error to report.
Block& FirstStructure(std::vector<Block>& blocks) {
  auto chosen = std::find_if(blocks.begin(), blocks.end(), DescribesCrystal);
  if (chosen == blocks.end()) chosen = std::find_if(blocks.begin(), blocks.end(), HasAtoms);
  if (chosen == blocks.end()) throw CVHXFileImportNoAtoms();
  return *chosen;
}

}  // namespace

CCifReadResult ReadCifCrystal(std::string_view text, CTSCrystal& crystal) {
  CCifReadResult result;
  std::optional<std::string> clean;
  std::vector<Block> blocks = ReadAllBlocks(text, clean, result.errorCount);
  Block& chosen = FirstStructure(blocks);
  crystal = CrystalOfBlock(chosen);
  result.blockName = chosen.name;
  return result;
}

std::vector<CCifBlockCrystal> ReadCifCrystals(std::string_view text, int& errorCount) {
  std::optional<std::string> clean;
  std::vector<Block> blocks = ReadAllBlocks(text, clean, errorCount);
  if (std::count_if(blocks.begin(), blocks.end(), DescribesCrystal) < 2) {
    Block& chosen = FirstStructure(blocks);
    return {{CrystalOfBlock(chosen), chosen.name}};
  }
  // Each structure of the file on its own: one that cannot be read is reported and the others
  // are read all the same.
  std::vector<CCifBlockCrystal> crystals;
  std::exception_ptr firstFailure;
  for (Block& block : blocks) {
    if (!DescribesCrystal(block)) continue;
    try {
      crystals.push_back({CrystalOfBlock(block), block.name});
    } catch (const CVHException& e) {
      if (!firstFailure) firstFailure = std::current_exception();
      LogStatus("Warning: Data block '" + block.name + "' is not read: " + e.Message() + " " +
                e.Explanation());
    }
  }
  if (crystals.empty()) std::rethrow_exception(firstFailure);
  return crystals;
}

bool LooksLikeCif(std::string_view text) {
  const std::string lower = Lowercase(text.substr(0, 1 << 20));
  const size_t data = lower.find("data_");
  return data != std::string::npos && lower.find("_cell", data) != std::string::npos &&
         lower.find("_atom", data) != std::string::npos;
}
