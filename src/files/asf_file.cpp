#include "files/asf_file.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <utility>
#include <vector>

#include "app/text.h"
#include "diffraction/asf.h"
#include "errors/exceptions.h"
#include "files/stdio_file.h"
#include "resources/elements.h"
#include "resources/strings.h"

namespace {

constexpr unsigned kHeadingText = 3601;
constexpr unsigned kRuleText = 3602;
constexpr size_t kMaxTokens = 13;
constexpr size_t kMinTokens = 12;
constexpr size_t kDescriptionWidth = 80;
constexpr size_t kColumnHeadingWidth = 151;

// Numbers are held in single precision, as the built-in table is, so that a written table
// reads back to the same values.
// A coefficient that is not finite (or not in single precision) would poison every factor.
bool ReadNumber(std::string_view token, double& value) {
  const std::optional<double> parsed = ParseDouble(token);
  if (!parsed || !std::isfinite(static_cast<float>(*parsed))) return false;
  value = static_cast<float>(*parsed);
  return true;
}

bool ReadInteger(std::string_view token, int& value) {
  const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
  return !token.empty() && error == std::errc() && end == token.data() + token.size();
}

// A token of one or two letters naming an element is stored in its usual case ("FE" -> "Fe");
// anything else (ions, "D", "OH") as typed.
std::string RecordSymbol(std::string_view token) {
  if (token.size() == 1 || token.size() == 2) {
    std::string symbol(token);
    symbol[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(symbol[0])));
    if (symbol.size() == 2)
      symbol[1] = static_cast<char>(std::tolower(static_cast<unsigned char>(symbol[1])));
    if (FindElement(symbol)) return symbol;
  }
  return ScatteringSymbolFromText(token);
}

// Replaces typographic characters of the heading by ASCII, since the file is plain text.
std::string Ascii(std::string text) {
  static constexpr std::pair<std::string_view, std::string_view> kReplacements[] = {
      {"\u00C5", "A"},  {"\u2022", "*"},   {"\u00A9", "(C)"}, {"\u00B0", "deg"},
      {"\u201C", "\""}, {"\u201D", "\""},  {"\u00AE", "(R)"}, {"\u2018", "'"},
      {"\u2019", "'"},  {"\u2122", "(TM)"}};
  for (const auto& [from, to] : kReplacements)
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
      text.replace(at, from.size(), to);
  return text;
}

std::string Padded(std::string line, size_t width) {
  if (line.size() < width) line.resize(width, ' ');
  return line + "\n";
}

constexpr const char* kDescription[] = {
    "! DESCRIPTION",
    "!",
    "! This file contains x-ray atomic scattering factor coeffcients, and coherent",
    "! nuclear scattering lengths. You may add your own data to the table, but",
    "! please ensure that you use the correct format:-",
    "!",
    "! Col. 1:     Element symbol (no spaces).",
    "!",
    "! Col. 2:     Atomic number (used for sorting the list)",
    "!",
    "! Col. 3:     Atomic weight (used for calculating density)",
    "!",
    "! Cols. 4-12:\tNine coefficients for the analytical approximation to the",
    "!\t            x-ray atomic scattering factor,",
    "!",
    "!\t            f = Sum[a(i) exp(- b(i) sin^2 theta / lambda^2)](i=1,4) + c",
    "!",
    "! Col. 13:    Coherent nuclear scattering length, in femto-metres (fm), where",
    "!             1 fm = 1E-15 m. Zero values indicate that no data are available",
    "!             for these elements.",
    "!",
    "!             Nuclear scattering lengths given here do not include any",
    "!             coefficients for anomalous scattering.",
    "!",
    "! Col. 14:    Note. Must be enclosed within a pair of double quotation marks,",
    "!             like \"this note here\".",
};

// The coefficient labels over the columns they head: each ends where "a(i)"/"b(i)"/"c" of the
// next heading line ends.
std::string CoefficientLabels() {
  std::string line = "!";
  for (int i = 1; i <= 9; ++i) {
    const std::string label = "f" + std::to_string(i);
    const size_t end = 28 + 12 * static_cast<size_t>(i - 1);
    line.resize(end - label.size(), ' ');
    line += label;
  }
  return line;
}

}  // namespace

std::vector<CVHASF> ReadScatteringFactorFile(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::exists(path, error))
    throw CVHXFileASFNotFound(kSeverityMessage, 0, 0, path);
  CVHStdioFile<CFile> file;
  if (!file.Open(path, CFile::kModeRead | CFile::kTypeText))
    throw CVHXFileASFNotOpen(kSeverityMessage, 0, 0, path);
  std::vector<CVHASF> records;
  std::string line;
  // Lines of the table are long: a whole line is read whatever its length.
  for (int number = 1; file.ReadLine(line, std::numeric_limits<uint16_t>::max()); ++number)
    if (std::optional<CVHASF> record = ParseScatteringFactorLine(line, number))
      records.push_back(std::move(*record));
  if (records.empty()) throw CVHXFileNoData();
  return records;
}

void WriteScatteringFactorFile(const std::string& path, std::span<const CVHASF> records) {
  CVHStdioFile<CFile> file;
  CFileError error;
  if (!file.Open(path, CFile::kModeWrite | CFile::kModeCreate | CFile::kTypeText, &error))
    throw CVHXFileNotOpen(kSeverityMessage, error.code);
  file.WriteString(FormatScatteringFactorFile(records));
  file.Close();
}

std::optional<CVHASF> ParseScatteringFactorLine(std::string_view line, int lineNumber) {
  line = TrimWhiteSpace(line);
  if (line.empty() || line.front() == '!' || line.substr(0, 2) == "//") return std::nullopt;

  std::vector<std::string_view> tokens;
  std::optional<std::string> note;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    if (line[i] == '"') {
      const size_t close = line.find('"', i + 1);
      note =
          std::string(line.substr(i + 1, close == std::string_view::npos ? close : close - i - 1));
      break;
    }
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    tokens.push_back(line.substr(start, i - start));
  }
  const auto bad = [&] { return CVHXFileASFBadLine(kSeverityMessage, 0, 0, lineNumber); };
  if (tokens.size() < kMinTokens || tokens.size() > kMaxTokens) throw bad();

  CVHASF record;
  record.symbol = RecordSymbol(tokens[0]);
  if (!ReadInteger(tokens[1], record.z) || !ReadNumber(tokens[2], record.w)) throw bad();
  for (size_t k = 0; k < record.f.size(); ++k)
    if (!ReadNumber(tokens[3 + k], record.f[k])) throw bad();
  if (tokens.size() == kMaxTokens && !ReadNumber(tokens[12], record.b)) throw bad();
  if (note) record.notes = *note;
  return record;
}

std::string FormatScatteringFactorFile(std::span<const CVHASF> records) {
  const std::string rule(ResourceString(kRuleText));
  std::string text = rule;
  text += Ascii(Formatted(ResourceString(kHeadingText), "Tessaline"));
  text += rule;
  for (const char* line : kDescription) text += Padded(line, kDescriptionWidth);
  text += Padded("!" + std::string(79, '-'), kDescriptionWidth);
  text += "\n";

  const std::string columnRule = "!" + std::string(150, '-');
  text += Padded(columnRule, kColumnHeadingWidth);
  text += Padded(CoefficientLabels(), kColumnHeadingWidth);
  text += Padded(
      "!       Z     W         a(1)        b(1)        a(2)        b(2)        a(3)        b(3)"
      "        a(4)        b(4)        c           b        Note",
      kColumnHeadingWidth);
  text += Padded(columnRule, kColumnHeadingWidth);

  for (const CVHASF& r : records) {
    text +=
        Formatted("%-5s %3ld  %8.3f %12.6f%12.6f%12.6f%12.6f%12.6f%12.6f%12.6f%12.6f%12.6f%10.4f",
                  r.symbol, static_cast<long>(r.z), r.w, r.f[0], r.f[1], r.f[2], r.f[3], r.f[4],
                  r.f[5], r.f[6], r.f[7], r.f[8], r.b);
    if (!r.notes.empty()) text += "   \"" + r.notes + "\"";
    text += "\n";
  }
  return text;
}
