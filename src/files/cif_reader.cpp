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
#include <limits>
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
#include "files/number_text.h"
#include "resources/elements.h"

namespace {

using Token = CCifLexer::Token;

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// `lower` is in lower case already.
bool EqualsNoCase(std::string_view text, std::string_view lower) {
  return text.size() == lower.size() &&
         std::equal(text.begin(), text.end(), lower.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == b;
         });
}

// A CIF number: a decimal with an optional standard uncertainty in parentheses ("4.9134(2)"),
// or a fraction ("1/4") as some files write coordinates. One pass: the decimal conversion says
// where each part ends.
std::optional<double> ParseNumber(std::string_view text) {
  size_t length = 0;
  std::optional<double> value = ScanDecimal(text, length);
  if (!value) return std::nullopt;
  if (length < text.size() && text[length] == '/') {
    size_t denominatorLength = 0;
    const std::optional<double> denominator =
        ScanDecimal(text.substr(length + 1), denominatorLength);
    if (!denominator || *denominator == 0.0) return std::nullopt;
    value = *value / *denominator;
    length += 1 + denominatorLength;
  }
  // After the number: nothing, or an uncertainty in parentheses whose digits nobody reads.
  if (length == text.size() || (text[length] == '(' && text.back() == ')')) return value;
  return std::nullopt;
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
  return ParseDouble(text.substr(0, end));
}

// Anisotropic values of a site row, row-major 11, 12, 13, 21, 22, 23, 31, 32, 33, each with a
// bit that says whether the file gave it.
struct TensorValues {
  std::array<double, 9> value{};
  uint16_t given = 0;

  bool Has(int i) const { return (given >> i & 1) != 0; }
  std::optional<double> At(int i) const {
    return Has(i) ? std::optional<double>(value[i]) : std::nullopt;
  }
  void Set(int i, std::optional<double> v) {
    if (v)
      value[i] = *v, given = static_cast<uint16_t>(given | 1u << i);
    else
      given = static_cast<uint16_t>(given & ~(1u << i));
  }
};

struct SiteTensors {
  TensorValues u, b;
};

// One row of the atom-site loops, as read; joined with its anisotropic row by label. Kept
// small and free of allocations: a large file holds a million of them at once, side by side in
// one vector, and numbers are read while their text is still in the cache.
struct SiteRecord {
  enum Number { kX, kY, kZ, kOccupancy, kUIso, kBIso, kNumbers };

  std::string_view label, type;            // views into the text; a null view when not given
  std::array<double, kNumbers> numbers{};  // a coordinate given that is not a number is NaN
  int32_t tensors = -1;                    // index into the block's tensors; most rows give none
  int32_t multiplicity = 0;                // as the file states it; 0 when it does not
  std::vector<SloppyValue> sloppy;         // empty, and so unallocated, for well-formed rows
  uint8_t given = 0;                       // bit n: the row gives numbers[n]
  bool dummy = false;

  bool Has(Number n) const { return (given >> n & 1) != 0; }
  std::optional<double> Get(Number n) const {
    return Has(n) ? std::optional<double>(numbers[n]) : std::nullopt;
  }
  void Set(Number n, std::optional<double> value) {
    if (value)
      numbers[n] = *value, given = static_cast<uint8_t>(given | 1u << n);
    else
      given = static_cast<uint8_t>(given & ~(1u << n));
  }
};

bool Given(std::string_view text) {
  return text.data() != nullptr;
}

// Two records join only when no field is present in both.
bool CanJoin(const SiteRecord& mine, const SiteRecord& other,
             const std::vector<SiteTensors>& tensors) {
  if ((Given(mine.type) && Given(other.type)) || (mine.given & other.given) != 0) return false;
  if (mine.tensors >= 0 && other.tensors >= 0) {
    const SiteTensors& a = tensors[static_cast<size_t>(mine.tensors)];
    const SiteTensors& b = tensors[static_cast<size_t>(other.tensors)];
    if ((a.u.given & b.u.given) != 0 || (a.b.given & b.b.given) != 0) return false;
  }
  return true;
}

void Join(SiteRecord& mine, const SiteRecord& other, std::vector<SiteTensors>& tensors) {
  if (!Given(mine.type)) mine.type = other.type;
  for (int n = 0; n < SiteRecord::kNumbers; ++n) {
    const auto number = static_cast<SiteRecord::Number>(n);
    if (!mine.Has(number) && other.Has(number)) mine.Set(number, other.numbers[n]);
  }
  if (other.tensors >= 0) {
    if (mine.tensors < 0) {
      mine.tensors = other.tensors;  // the other row's values become this row's
    } else {
      SiteTensors& a = tensors[static_cast<size_t>(mine.tensors)];
      const SiteTensors& b = tensors[static_cast<size_t>(other.tensors)];
      for (int i = 0; i < 9; ++i) {
        if (!a.u.Has(i) && b.u.Has(i)) a.u.Set(i, b.u.value[i]);
        if (!a.b.Has(i) && b.b.Has(i)) a.b.Set(i, b.b.value[i]);
      }
    }
  }
  if (mine.multiplicity == 0) mine.multiplicity = other.multiplicity;
  mine.sloppy.insert(mine.sloppy.end(), other.sloppy.begin(), other.sloppy.end());
  mine.dummy = mine.dummy || other.dummy;
}

struct Block {
  std::string name;
  std::array<std::optional<double>, 6> cell;  // a, b, c, alpha, beta, gamma
  bool hasCellItems = false;
  bool hasAtomItems = false;
  CFileSymmetry symmetry;
  std::vector<SiteRecord> sites;
  std::vector<SiteRecord> anisotropic;
  std::vector<SiteTensors> tensors;  // of the rows of both loops that give anisotropic values
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
    try {
      ReadTokens();
    } catch (CVHException& error) {
      if (error.SourceLine() == 0) error.SetSourceLine(m_lexer.LineOf(m_at));
      throw;
    }
    for (Block& block : m_blocks)
      if (block.hasSingle) block.sites.push_back(std::move(block.single));
    return std::move(m_blocks);
  }

  int ErrorCount() const { return m_lexer.ErrorCount(); }

 private:
  void ReadTokens() {
    while (m_lexer.Current().kind != Token::kEnd) {
      const Token token = m_lexer.Current();
      m_lexer.Advance();
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
  }

  Block& Current() {
    if (m_blocks.empty()) m_blocks.emplace_back();  // items before any data_ line
    return m_blocks.back();
  }

  void ReadSingleItem(std::string_view name) {
    if (m_lexer.Current().kind != Token::kValue) {
      LogStatus("Warning: Missing data value for tag: '" + std::string(name) + "'.");
      return;
    }
    const Token value = m_lexer.Current();
    m_lexer.Advance();
    const std::string item = ItemName(name);
    Block& block = Current();
    if (CategoryOf(item) == Category::kSite) {
      block.hasAtomItems = true;
      block.hasSingle = true;
      SetSiteField(block, block.single, SiteFieldOf(item), item, value);
    } else {
      Dispatch(block, item, value);
    }
  }

  void ReadLoop() {
    const std::string_view loop = m_lexer.Current().text;
    std::vector<std::string> items;
    for (; m_lexer.Current().kind == Token::kItem; m_lexer.Advance())
      items.push_back(ItemName(m_lexer.Current().text));
    if (items.empty()) return;
    const std::string& first = items.front();
    const Category category = CategoryOf(first);
    const auto unexpected = std::find_if(items.begin(), items.end(), [&](const std::string& item) {
      const Category other = CategoryOf(item);
      return other != category && other != Category::kNone && category != Category::kNone;
    });
    if (category == Category::kSite && unexpected == items.end()) return ReadSiteRows(items, loop);

    // Take all the values first: a loop whose values do not fill whole rows is broken.
    std::vector<Token> values;
    for (; m_lexer.Current().kind == Token::kValue; m_lexer.Advance())
      values.push_back(m_lexer.Current());
    m_at = loop;
    if (values.empty()) throw CVHXFileCIFMissingDataInLoop(kSeverityMessage, 0, 0, first);
    if (values.size() % items.size() != 0)
      throw CVHXFileCIFInvalidLoop(kSeverityMessage, 0, 0, first);
    if (unexpected != items.end())
      throw CVHXFileCIFUnexpectedItem(kSeverityMessage, 0, 0, *unexpected);
    Block& block = Current();
    auto value = values.begin();
    for (size_t row = 0; row < values.size() / items.size(); ++row)
      for (const std::string& item : items) Dispatch(block, item, *value++);
  }

  // The rows of an atom-site loop, straight from the lexer into the records: the loop of a large
  // file has millions of values, which are not worth holding as tokens first. Nothing the rows
  // set is logged or kept when the loop then turns out broken, since that ends the reading.
  void ReadSiteRows(const std::vector<std::string>& items, std::string_view loop) {
    Block& block = Current();
    block.hasAtomItems = true;
    std::vector<SiteField> fields;
    for (const std::string& item : items) fields.push_back(SiteFieldOf(item));
    std::vector<SiteRecord>& records =
        StartsWith(items.front(), "_atom_site_aniso") ? block.anisotropic : block.sites;
    // Room for as many rows as the rest of the text would hold at the length of the first few,
    // so that the records are not moved while they grow. At worst that is more room than
    // needed, which the system does not supply until it is written.
    constexpr size_t kSampleRows = 16;
    const size_t loopStart = m_lexer.Offset();
    size_t column = 0, rows = 0;
    bool any = false;
    for (; m_lexer.Current().kind == Token::kValue; m_lexer.Advance()) {
      if (column == 0) records.emplace_back();
      m_at = m_lexer.Current().text;
      SetSiteField(block, records.back(), fields[column], items[column], m_lexer.Current());
      any = true;
      if (++column < items.size()) continue;
      column = 0;
      if (++rows == kSampleRows) {
        const size_t rowLength = std::max<size_t>((m_lexer.Offset() - loopStart) / kSampleRows, 1);
        records.reserve(records.size() + m_lexer.Remaining() / rowLength + 1);
      }
    }
    m_at = loop;
    if (!any) throw CVHXFileCIFMissingDataInLoop(kSeverityMessage, 0, 0, items.front());
    if (column != 0) throw CVHXFileCIFInvalidLoop(kSeverityMessage, 0, 0, items.front());
  }

  void Dispatch(Block& block, const std::string& item, const Token& value) {
    m_at = value.text;
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

  static SiteTensors& Tensors(Block& block, SiteRecord& record) {
    if (record.tensors < 0) {
      record.tensors = static_cast<int32_t>(block.tensors.size());
      block.tensors.emplace_back();
    }
    return block.tensors[static_cast<size_t>(record.tensors)];
  }

  static void SetSiteField(Block& block, SiteRecord& record, SiteField field,
                           const std::string& item, const Token& value) {
    switch (field.kind) {
      case SiteField::kIgnored:
        return;
      case SiteField::kLabel:
        if (!value.unknown) record.label = value.text;  // never a null view
        return;
      case SiteField::kCalcFlag:
        record.dummy = EqualsNoCase(value.text, "dum");
        return;
      default:
        break;
    }
    if (value.unknown || value.text.empty()) return;
    switch (field.kind) {
      case SiteField::kType:
        record.type = value.text;
        break;
      case SiteField::kCoordinate: {
        // Whether it reads matters only once the site is known to have all three.
        const std::optional<double> number = ParseNumber(value.text);
        record.Set(static_cast<SiteRecord::Number>(SiteRecord::kX + field.index),
                   number.value_or(std::numeric_limits<double>::quiet_NaN()));
        break;
      }
      case SiteField::kOccupancy:
        record.Set(SiteRecord::kOccupancy, Lenient(record, item, value));
        break;
      case SiteField::kUIso:
        record.Set(SiteRecord::kUIso, Lenient(record, item, value));
        break;
      case SiteField::kBIso:
        record.Set(SiteRecord::kBIso, Lenient(record, item, value));
        break;
      case SiteField::kU: {
        const std::optional<double> number = Lenient(record, item, value);
        Tensors(block, record).u.Set(field.index, number);
        break;
      }
      case SiteField::kB: {
        const std::optional<double> number = Lenient(record, item, value);
        Tensors(block, record).b.Set(field.index, number);
        break;
      }
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
  // The token in hand, whose line a refusal names: a value, or the first item of a broken loop.
  std::string_view m_at;
  std::vector<Block> m_blocks;
};

// The six independent components, taking 21, 31 and 32 for 12, 13 and 23.
std::optional<CTSAnisoThermalEllipsoid::Uij> CompleteTensor(const TensorValues& t) {
  auto either = [&](int a, int b) { return t.Has(a) ? t.At(a) : t.At(b); };
  const auto t11 = t.At(0), t22 = t.At(4), t33 = t.At(8), t12 = either(1, 3), t13 = either(2, 6),
             t23 = either(5, 7);
  if (!(t11 && t22 && t33 && t12 && t13 && t23)) return std::nullopt;
  return CTSAnisoThermalEllipsoid::Uij{*t11, *t22, *t33, *t12, *t13, *t23};
}

bool AnyPresent(const TensorValues& t) {
  return t.given != 0;
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
                                                  const SiteTensors* tensorsGiven,
                                                  const std::string& label,
                                                  const CTSCrystal& crystal) {
  if (tensorsGiven) {
    const SiteTensors& tensors = *tensorsGiven;
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
  }
  if (const std::optional<double> uIso = record.Get(SiteRecord::kUIso)) {
    if (*uIso > 0.0) return std::make_unique<CTSThermalEllipsoid>(*uIso);
    LogStatus(FormatWarning(
        "Warning: Invalid Uiso temperature factor (%.4f) for site '%s'; discarding data.", *uIso,
        label));
  } else if (const std::optional<double> bIso = record.Get(SiteRecord::kBIso)) {
    if (*bIso > 0.0) return std::make_unique<CTSThermalEllipsoid>(UFromB(*bIso));
    LogStatus(FormatWarning(
        "Warning: Invalid Biso temperature factor (%.4f) for site '%s'; discarding data.", *bIso,
        label));
  }
  return nullptr;
}

// Rows of one label at one position (as this program writes mixed sites) form one site.
bool SameSite(const CTSSite& site, const std::string& label, double x, double y, double z) {
  return site.x == x && site.y == y && site.z == z && site.label == label;
}

// Joins each row of the anisotropic loop to the first site row of its label that has none of
// its fields yet. The rows of a label are found through a hash map to the first of them and a
// chain to each next one: linear in large files, and no list per label.
void JoinAnisotropicRows(Block& block) {
  if (block.anisotropic.empty()) return;
  constexpr size_t kNoRow = SIZE_MAX;
  std::unordered_map<std::string_view, std::pair<size_t, size_t>> firstAndLast;
  firstAndLast.reserve(block.sites.size());
  std::vector<size_t> next(block.sites.size(), kNoRow);
  for (size_t i = 0; i < block.sites.size(); ++i) {
    if (!Given(block.sites[i].label)) continue;
    const auto [rows, inserted] = firstAndLast.try_emplace(block.sites[i].label, i, i);
    if (!inserted) next[rows->second.second] = i, rows->second.second = i;
  }
  for (const SiteRecord& aniso : block.anisotropic) {
    if (!Given(aniso.label)) continue;
    const auto rows = firstAndLast.find(aniso.label);
    if (rows == firstAndLast.end()) continue;
    for (size_t i = rows->second.first; i != kNoRow; i = next[i]) {
      if (!CanJoin(block.sites[i], aniso, block.tensors)) continue;
      Join(block.sites[i], aniso, block.tensors);
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
  // The species of each type as written, matched once: most files name a handful of types for
  // thousands of sites.
  std::unordered_map<std::string_view, CTSAtom> atomsByType;
  auto atomOf = [&](const SiteRecord& record, const std::string& label) {
    if (!Given(record.type)) {
      CTSAtom atom;
      atom.symbol = ElementOfLabel(label);
      matcher.Match(atom);
      return atom;
    }
    auto known = atomsByType.find(record.type);
    if (known == atomsByType.end()) {
      CTSAtom atom;
      atom.symbol = AtomSymbolForType(record.type);
      matcher.Match(atom);
      known = atomsByType.emplace(record.type, std::move(atom)).first;
    }
    return known->second;
  };
  std::vector<std::optional<int>> multiplicities;
  JoinAnisotropicRows(block);
  crystal.sites.reserve(crystal.sites.size() + block.sites.size());
  multiplicities.reserve(block.sites.size());
  for (SiteRecord& record : block.sites) {
    std::string label(record.label);
    if (record.dummy) {
      LogStatus("Warning: Dummy atom '" + label + "' skipped.");
      continue;
    }
    if (!record.Has(SiteRecord::kX) || !record.Has(SiteRecord::kY) || !record.Has(SiteRecord::kZ)) {
      LogStatus("Warning: Missing one or more coordinates for site: '" + label +
                "'; discarding data.");
      continue;
    }
    const std::array<double, 3> xyz{record.numbers[SiteRecord::kX], record.numbers[SiteRecord::kY],
                                    record.numbers[SiteRecord::kZ]};
    if (std::isnan(xyz[0]) || std::isnan(xyz[1]) || std::isnan(xyz[2])) {
      LogStatus("Warning: The site '" + label + "' has invalid coordinates and has been deleted.");
      continue;
    }
    LogSloppyValues(record, label);
    CTSAtom atom = atomOf(record, label);
    atom.occupancy = record.Get(SiteRecord::kOccupancy).value_or(1.0);

    if (!crystal.sites.empty() && SameSite(crystal.sites.back(), label, xyz[0], xyz[1], xyz[2])) {
      crystal.sites.back().atoms.push_back(std::move(atom));
      continue;
    }
    CTSSite site;
    site.x = xyz[0], site.y = xyz[1], site.z = xyz[2];
    site.flag = true;
    site.atoms.push_back(std::move(atom));
    site.displacement = Displacement(
        record, record.tensors >= 0 ? &block.tensors[static_cast<size_t>(record.tensors)] : nullptr,
        label, crystal);
    site.label = std::move(label);
    crystal.hasDisplacementParameters =
        crystal.hasDisplacementParameters || site.displacement != nullptr;
    crystal.sites.push_back(std::move(site));
    multiplicities.push_back(record.multiplicity > 0 ? std::optional<int>(record.multiplicity)
                                                     : std::nullopt);
  }
  std::vector<SiteTensors>().swap(block.tensors);  // taken up by the sites
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
        digits == term.size() ? 1.0 : ParseDouble(term.substr(digits));
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
