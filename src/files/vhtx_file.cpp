#include "files/vhtx_file.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <optional>
#include <sstream>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/status.h"
#include "app/text.h"
#include "crystal/crystal.h"
#include "diffraction/scattering_table.h"
#include "errors/exceptions.h"
#include "files/crystal_checks.h"
#include "files/crystal_symmetry.h"
#include "resources/elements.h"

namespace {

const CTessFile::CRegistrar kRegistrar({CTSVHTXFile::kTypeId}, &CTSVHTXFile::Recognise,
                                       &CTessFile::Make<CTSVHTXFile>);

constexpr size_t kRecognitionLines = 1000;
constexpr double kNegligibleShift = 1e-6;

std::vector<std::string> Tokens(std::string_view text) {
  std::vector<std::string> tokens;
  std::istringstream stream{std::string(text)};
  for (std::string token; stream >> token;) tokens.push_back(token);
  return tokens;
}

std::optional<double> Number(const std::string& token) {
  return ParseDouble(token);
}

// The numbers of `tokens` from `first` on; nothing when one of them is not a number.
std::optional<std::vector<double>> Numbers(const std::vector<std::string>& tokens, size_t first) {
  std::vector<double> numbers;
  for (size_t i = first; i < tokens.size(); ++i) {
    const std::optional<double> number = Number(tokens[i]);
    if (!number) return std::nullopt;
    numbers.push_back(*number);
  }
  return numbers;
}

bool IsComment(std::string_view line) {
  return line.front() == '!' || line.front() == '*' || line.substr(0, 2) == "//";
}

// A card line starts with four capitals or underscores (or is the END card); data lines never
// do.
bool StartsCard(std::string_view line) {
  if (line == "END") return true;
  if (line.size() < 4) return false;
  return std::all_of(line.begin(), line.begin() + 4, [](char c) {
    return std::isupper(static_cast<unsigned char>(c)) || c == '_';
  });
}

struct Card {
  std::string name;      // four characters, "END " for END
  std::string argument;  // the rest of the line
};

Card CardOf(std::string_view line) {
  if (line.size() == 3) return {std::string(line) + " ", ""};
  return {std::string(line.substr(0, 4)), std::string(TrimWhiteSpace(line.substr(4)))};
}

bool IsKnownSpecies(const std::string& symbol) {
  return FindElement(symbol) || CScatteringFactorTable::Instance().Find(symbol);
}

// Reads the cards of one file into a crystal.
class VhtxReader {
 public:
  explicit VhtxReader(CVHStdioFile<CTessFile>& file) : m_file(file) {}

  void Read(CTSCrystal& crystal) {
    m_crystal.sites.clear();
    std::optional<std::string> pending;  // a card line met while reading data lines
    std::string line;
    while (pending || NextLine(line)) {
      if (pending) line = std::move(*pending), pending.reset();
      const Card card = CardOf(line);
      if (card.name == "titl") throw CVHXFileTextLowercaseCard();
      if (IsDataCard(card.name)) {
        std::vector<std::string> data;
        while (NextLine(line)) {
          if (StartsCard(line)) {
            pending = line;
            break;
          }
          data.push_back(line);
        }
        HandleData(card.name, data);
      } else {
        Handle(card);
      }
    }
    Complete();
    crystal = std::move(m_crystal);
  }

 private:
  // The next line that is neither too short nor a comment, trimmed.
  bool NextLine(std::string& line) {
    std::string raw;
    while (m_file.ReadLine(raw)) {
      line = std::string(TrimWhiteSpace(raw));
      if (line.size() >= 3 && !IsComment(line)) return true;
    }
    return false;
  }

  static bool IsDataCard(const std::string& name) {
    return name == "ATOM" || name == "OCCU" || name == "UISO" || name == "UANI" || name == "BANI";
  }

  void Handle(const Card& card) {
    const std::vector<std::string> tokens = Tokens(card.argument);
    if (card.name == "CELL") {
      const auto cell = Numbers(tokens, 0);
      if (!cell || cell->size() < 6) throw CVHXFileConversionErr();
      m_crystal.a = (*cell)[0], m_crystal.b = (*cell)[1], m_crystal.c = (*cell)[2];
      m_crystal.alpha = (*cell)[3], m_crystal.beta = (*cell)[4], m_crystal.gamma = (*cell)[5];
      m_crystal.UpdateCellGeometry();
    } else if (card.name == "LATC") {
      const auto letter = std::find_if(card.argument.begin(), card.argument.end(), [](char c) {
        return std::isalpha(static_cast<unsigned char>(c));
      });
      const char upper =
          letter == card.argument.end() ? 0 : static_cast<char>(std::toupper(*letter));
      if (!upper || std::string_view("ABCFIPR").find(upper) == std::string_view::npos)
        throw CVHXFileConversionErr();
      m_latticeKnown = true;
      if (m_symmetry.symbol.empty()) m_symmetry.latticeLetter = upper;
    } else if (card.name == "SPGR") {
      if (card.argument.empty()) throw CVHXFileConversionErr();
      m_symmetry.symbol = card.argument;
      m_latticeKnown = true;
    } else if (card.name == "SYMM") {
      const std::optional<CTSSymOp> op = CTSSymOp::Parse(card.argument);
      if (!op) throw CVHXFileConversionErr();
      m_symmetry.operators.push_back(*op);
    } else if (card.name == "OSHF") {
      const auto shift = Numbers(tokens, 0);
      if (!shift || shift->size() < 3) throw CVHXFileConversionErr();
      m_crystal.originOffset = {(*shift)[0], (*shift)[1], (*shift)[2]};
    } else if (card.name == "MOLE") {
      throw CVHXFileNoMoleculeDiffract();
    }
  }

  void HandleData(const std::string& card, const std::vector<std::string>& lines) {
    if (card == "ATOM") {
      for (const std::string& line : lines) AddSite(Tokens(line));
      if (m_crystal.sites.empty()) throw CVHXFileImportNoAtoms();
      return;
    }
    // The tensors convert with the reciprocal lengths of the cell as it stands at this card.
    if (card == "UANI" || card == "BANI") m_crystal.UpdateCellGeometry();
    for (const std::string& line : lines) {
      const std::vector<std::string> tokens = Tokens(line);
      if (card == "OCCU") {
        SetOccupancies(tokens);
      } else if (card == "UISO") {
        const auto values = Numbers(tokens, 1);
        if (tokens.size() != 2 || !values) throw CVHXFileTextIsoParams();
        if (CTSSite* site = FindSite(tokens[0]))
          site->displacement = std::make_unique<CTSThermalEllipsoid>((*values)[0]);
        m_crystal.hasDisplacementParameters = true;
      } else {
        const auto values = Numbers(tokens, 1);
        if (tokens.size() != 7 || !values) throw CVHXFileTextAnisoParams();
        if (card == "UANI" && !m_latticeKnown) throw CVHXFileTextNoLatticeParams();
        const auto& v = *values;
        const CTSAnisoThermalEllipsoid::Uij tensor{v[0], v[1], v[2], v[3], v[4], v[5]};
        const double as = m_crystal.aStar, bs = m_crystal.bStar, cs = m_crystal.cStar;
        if (CTSSite* site = FindSite(tokens[0]))
          site->displacement = std::make_unique<CTSAnisoThermalEllipsoid>(
              card == "UANI" ? CTSAnisoThermalEllipsoid(tensor, as, bs, cs)
                             : CTSAnisoThermalEllipsoid::FromBeta(tensor, as, bs, cs));
        m_crystal.hasDisplacementParameters = true;
      }
    }
  }

  // "element label x y z", or "element x y z" (the label is then made from the element).
  void AddSite(const std::vector<std::string>& tokens) {
    std::optional<std::vector<double>> xyz;
    std::string label;
    if (tokens.size() == 5 && (xyz = Numbers(tokens, 2))) {
      label = tokens[1];
    } else if (tokens.size() == 4 && (xyz = Numbers(tokens, 1))) {
      label = tokens[0] + std::to_string(m_crystal.sites.size() + 1);
    } else {
      return;
    }
    CTSSite site;
    site.label = label;
    site.x = (*xyz)[0], site.y = (*xyz)[1], site.z = (*xyz)[2];
    site.flag = true;
    CTSAtom atom;
    atom.symbol = AtomSymbolForType(tokens[0]);
    site.atoms.push_back(std::move(atom));
    m_siteByLabel.try_emplace(label, m_crystal.sites.size());
    m_crystal.sites.push_back(std::move(site));
  }

  void SetOccupancies(const std::vector<std::string>& tokens) {
    CTSSite* site = tokens.empty() ? nullptr : FindSite(tokens[0]);
    if (!site || tokens.size() % 2 != 1) throw CVHXFileTextInvalidSiteOcc();
    std::vector<CTSAtom> atoms;
    for (size_t i = 1; i + 1 < tokens.size(); i += 2) {
      const std::optional<double> occupancy = Number(tokens[i + 1]);
      if (!occupancy || !IsKnownSpecies(tokens[i])) throw CVHXFileTextInvalidSiteOcc();
      CTSAtom atom;
      atom.symbol = tokens[i];
      atom.occupancy = *occupancy;
      atoms.push_back(std::move(atom));
    }
    if (!atoms.empty()) site->atoms = std::move(atoms);
  }

  // The first site of that label.
  CTSSite* FindSite(const std::string& label) {
    const auto found = m_siteByLabel.find(label);
    return found == m_siteByLabel.end() ? nullptr : &m_crystal.sites[found->second];
  }

  void Complete() {
    if (m_crystal.sites.empty()) throw CVHXFileImportNoAtoms();
    CheckCrystal(m_crystal);
    m_crystal.UpdateCell();
    const bool missing = m_symmetry.operators.empty() && m_symmetry.symbol.empty();
    if (missing) {
      CVHXFileMissingSymmetry().Report();
      m_symmetry.symbol = "P 1";
    }
    ApplyFileSymmetry(m_symmetry, m_crystal);
    if (missing && m_symmetry.latticeLetter) m_crystal.latticeLetter = m_symmetry.latticeLetter;
    CScatteringMatcher matcher;
    for (CTSSite& site : m_crystal.sites)
      for (CTSAtom& atom : site.atoms) matcher.Match(atom);
    // Sites of one element stand together, heavier elements first.
    CStatus sorting("Sorting sites by element type");
    std::stable_sort(m_crystal.sites.begin(), m_crystal.sites.end(),
                     [](const CTSSite& a, const CTSSite& b) {
                       return a.atoms.front().scattering.z > b.atoms.front().scattering.z;
                     });
    m_crystal.GeneratePositions();
    m_crystal.UpdateCell();
  }

  CVHStdioFile<CTessFile>& m_file;
  CTSCrystal m_crystal;
  std::unordered_map<std::string, size_t> m_siteByLabel;  // sites are only sorted at the end
  CFileSymmetry m_symmetry;
  bool m_latticeKnown = false;
};

// The element of a site's first species, as the ATOM card names it.
std::string ElementOf(const CTSSite& site) {
  if (site.atoms.empty()) return "?";
  const CElement* element = LeadingElement(site.atoms.front().symbol);
  return element ? element->symbol : site.atoms.front().symbol.substr(0, 2);
}

// Labels as the cards find sites by them: one token each, unique, and never read as a card.
std::vector<std::string> WrittenLabels(const CTSCrystal& crystal) {
  std::vector<std::string> labels;
  std::unordered_set<std::string> taken;
  for (size_t i = 0; i < crystal.sites.size(); ++i) {
    std::string label;
    for (const char c : crystal.sites[i].label)
      label += std::isspace(static_cast<unsigned char>(c)) ? '_' : c;
    if (label.empty()) label = ElementOf(crystal.sites[i]) + std::to_string(i + 1);
    if (StartsCard(label))
      label[3] = static_cast<char>(std::tolower(static_cast<unsigned char>(label[3])));
    const std::string base = label;
    for (int n = 2; !taken.insert(label).second; ++n) label = base + "_" + std::to_string(n);
    labels.push_back(label);
  }
  return labels;
}

}  // namespace

unsigned CTSVHTXFile::Recognise(const std::string& path) {
  CTSVHTXFile file;
  if (!file.Open(path, CFile::kModeRead)) return 0;
  static const char* const kShelxCards[] = {"FVAT", "L.S.", "LATT", "OMIT",
                                            "SFAC", "UNIT", "WGHT", "ZERR"};
  bool plausibleCell = false, atoms = false, inAtoms = false;
  std::string raw;
  for (size_t count = 0; count < kRecognitionLines && file.ReadLine(raw); ++count) {
    const std::string_view line = TrimWhiteSpace(raw);
    if (line.size() < 3 || IsComment(line)) continue;
    const Card card = CardOf(line);
    if (std::any_of(std::begin(kShelxCards), std::end(kShelxCards),
                    [&](const char* c) { return card.name == c; }))
      return 0;
    if (StartsCard(line)) {
      inAtoms = card.name == "ATOM";
      if (card.name == "CELL") {
        const auto cell = Numbers(Tokens(card.argument), 0);
        if (!cell || cell->size() == 7) return 0;
        const auto& c = *cell;
        plausibleCell = c.size() == 6 && c[0] > 0 && c[1] > 0 && c[2] > 0 && c[3] > 0 &&
                        c[3] < 180 && c[4] > 0 && c[4] < 180 && c[5] > 0 && c[5] < 180;
      }
      continue;
    }
    if (inAtoms) {
      const std::vector<std::string> tokens = Tokens(line);
      atoms = atoms || (tokens.size() == 5 && Numbers(tokens, 2)) ||
              (tokens.size() == 4 && Numbers(tokens, 1));
    }
  }
  return plausibleCell && atoms ? kTypeId : 0;
}

void CTSVHTXFile::ReadCrystal(CTSCrystal& crystal) {
  CStatus status("Reading from text file");
  VhtxReader(*this).Read(crystal);
}

void CTSVHTXFile::WriteCrystal(const CTSCrystal& crystal, std::string_view title) {
  CStatus status("Writing to VarnholtWerk Text file...");
  std::string out = Formatted("%4s  %s\n", "TITL", std::string(title).c_str());
  out += "NOTE\n" + Formatted("Data generated by Tessaline %s for Windows\n", TESSALINE_VERSION) +
         "\n";
  out += "! Unit cell parameters\n";
  out += Formatted("%4s  %f %f %f  %f %f %f\n", "CELL", crystal.a, crystal.b, crystal.c,
                   crystal.alpha, crystal.beta, crystal.gamma);
  out += "\n! Lattice type\n" + Formatted("%4s  %c\n", "LATC", crystal.latticeLetter) + "\n";
  out += "! Spacegroup symbol:  " + crystal.spaceGroupSymbol + "\n";
  out += Formatted("! Total of %d general equivalent positions (excl. lattice operators)\n",
                   static_cast<int>(crystal.symmetryOperators.size()));
  for (const CTSSymOp& op : crystal.symmetryOperators)
    out += Formatted("%4s  %s\n", "SYMM", op.DisplayText(true).c_str());
  const auto& o = crystal.originOffset;
  if (std::abs(o.x) > kNegligibleShift || std::abs(o.y) > kNegligibleShift ||
      std::abs(o.z) > kNegligibleShift)
    out += "\n! Origin Offset\n" + Formatted("%4s  %f %f %f\n", "OSHF", o.x, o.y, o.z);

  const std::vector<std::string> labels = WrittenLabels(crystal);
  out += "\n! Asymmetric unit\nATOM\n";
  for (size_t i = 0; i < crystal.sites.size(); ++i) {
    const CTSSite& site = crystal.sites[i];
    out += Formatted("%s  %-6s  %f %f %f\n", ElementOf(site).c_str(), labels[i].c_str(), site.x,
                     site.y, site.z);
  }
  out += "\n! Site occupancies\nOCCU\n";
  for (size_t i = 0; i < crystal.sites.size(); ++i) {
    out += Formatted("%-6s  ", labels[i].c_str());
    for (const CTSAtom& atom : crystal.sites[i].atoms)
      out += Formatted(" %s %f", atom.symbol.c_str(), atom.occupancy);
    out += "\n";
  }
  out += "\n";
  if (crystal.hasDisplacementParameters) {
    out += "! Isotropic temperature factors\nUISO\n";
    for (size_t i = 0; i < crystal.sites.size(); ++i) {
      const CTSSite& site = crystal.sites[i];
      if (site.displacement && !site.displacement->IsAnisotropic())
        out += Formatted("%-6s  %f\n", labels[i].c_str(), site.displacement->U());
    }
    out += "\n! Anisotropic temperature factors as Uij\nUANI\n";
    for (size_t i = 0; i < crystal.sites.size(); ++i) {
      const auto* aniso =
          dynamic_cast<const CTSAnisoThermalEllipsoid*>(crystal.sites[i].displacement.get());
      if (!aniso) continue;
      const auto u = aniso->ToUij(crystal.aStar, crystal.bStar, crystal.cStar);
      out += Formatted("%-6s  %f %f %f %f %f %f\n", labels[i].c_str(), u.u11, u.u22, u.u33, u.u12,
                       u.u13, u.u23);
    }
    out += "\n";
  }
  WriteString(out);
}
