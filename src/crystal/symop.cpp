#include "crystal/symop.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/text.h"
#include "errors/exception.h"

namespace {

// Rotation terms and translations of the operator code, by index.
constexpr const char* kRotationTerms[8] = {"+x", "-x", "+y", "-y", "+z", "-z", "+x-y", "-x+y"};
constexpr std::array<std::array<int, 3>, 8> kRotationRows = {
    {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}, {1, -1, 0}, {-1, 1, 0}}};
constexpr const char* kTranslationTexts[8] = {"", "1/6", "1/4", "1/3", "1/2", "2/3", "3/4", "5/6"};
constexpr double kTranslations[8] = {0.0,       1.0 / 6.0, 0.25,      1.0 / 3.0,
                                     0.5,       2.0 / 3.0, 0.75,      5.0 / 6.0};
constexpr double kTranslationTolerance = 0.00001;

// Display of a translation by the three decimals of "%5.3f".
struct DecimalFraction {
  const char* decimals;
  const char* text;
};
constexpr DecimalFraction kDisplayFractions[] = {
    {"000", "   "}, {"166", "1/6"}, {"167", "1/6"}, {"125", "1/8"}, {"250", "1/4"},
    {"333", "1/3"}, {"375", "3/8"}, {"500", "1/2"}, {"625", "5/8"}, {"666", "2/3"},
    {"667", "2/3"}, {"750", "3/4"}, {"833", "5/6"}, {"875", "7/8"}};

constexpr size_t kMaxFreeFormLength = 68;

// Reads an unsigned number at text[i]: digits with an optional decimal part and an optional
// "/denominator". Returns false when there is no number or the denominator is zero.
bool ReadNumber(std::string_view text, size_t& i, double& value) {
  const size_t start = i;
  while (i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.'))
    ++i;
  const std::optional<double> number = ParseDouble(text.substr(start, i - start));
  if (!number) return false;
  value = *number;
  size_t j = i;
  while (j < text.size() && text[j] == ' ') ++j;
  if (j < text.size() && text[j] == '/') {
    ++j;
    while (j < text.size() && text[j] == ' ') ++j;
    const size_t denominatorStart = j;
    while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
    if (j == denominatorStart) return false;
    const std::optional<double> denominator =
        ParseDouble(text.substr(denominatorStart, j - denominatorStart));
    if (!denominator || *denominator == 0.0) return false;
    value /= *denominator;
    i = j;
  }
  return true;
}

}  // namespace

CTSSymOp::CTSSymOp() : m_rotation{1, 0, 0, 0, 1, 0, 0, 0, 1}, m_text("+x +y +z") {}

CTSSymOp::CTSSymOp(const std::array<double, 9>& rotation, const VHTypes::CVector& translation)
    : m_rotation(rotation), m_translation(translation) {
  m_text = FixedText();
}

std::optional<CTSSymOp> CTSSymOp::Parse(std::string_view text) {
  if (text.size() > kMaxFreeFormLength) text = text.substr(0, kMaxFreeFormLength);
  CTSSymOp op;
  op.m_rotation.fill(0.0);
  op.m_text = std::string(text);
  // With commas, only commas separate components, so "x + 1/2, y, z" reads as meant.
  const bool commaSeparated = text.find(',') != std::string_view::npos;
  int component = 0;
  bool begun = false;  // the current component has content
  bool seen[3] = {false, false, false};
  double sign = 1.0;
  auto endComponent = [&] {
    if (begun) seen[component] = true;
    ++component;
    begun = false;
    sign = 1.0;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ',' || ((c == ' ' || c == '\t') && !commaSeparated && begun)) {
      if (component >= 2 && c == ',') return std::nullopt;
      endComponent();
      if (component > 2 && !commaSeparated) {
        // Trailing blanks after the third component are fine; anything else is not.
        for (size_t j = i; j < text.size(); ++j)
          if (text[j] != ' ' && text[j] != '\t') return std::nullopt;
        break;
      }
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\'' || c == '"') continue;
    if (component > 2) return std::nullopt;
    if (c == '+' || c == '-') {
      sign = c == '-' ? -1.0 : 1.0;
      begun = true;
    } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
      double value = 0.0;
      if (!ReadNumber(text, i, value)) return std::nullopt;
      --i;
      op.m_translation[component] += sign * value;
      sign = 1.0;
      begun = true;
    } else {
      const int axis = std::tolower(static_cast<unsigned char>(c)) - 'x';
      if (axis < 0 || axis > 2) return std::nullopt;
      op.m_rotation[component * 3 + axis] = sign;
      sign = 1.0;
      begun = true;
    }
  }
  if (component <= 2 && begun) seen[component] = true;
  if (!(seen[0] && seen[1] && seen[2])) return std::nullopt;
  for (int row = 0; row < 3; ++row) {
    if (op.m_rotation[row * 3] == 0 && op.m_rotation[row * 3 + 1] == 0 &&
        op.m_rotation[row * 3 + 2] == 0)
      return std::nullopt;  // a component without x, y or z
  }
  return op;
}

CTSSymOp CTSSymOp::FromCode(uint32_t code) {
  CTSSymOp op;
  op.m_text = CodeToFixedText(code);
  for (int row = 0; row < 3; ++row) {
    const uint32_t byte = (code >> (8 * (2 - row))) & 0xFF;
    const auto& rotation = kRotationRows[byte & 0x7];
    for (int column = 0; column < 3; ++column) op.m_rotation[row * 3 + column] = rotation[column];
    op.m_translation[row] = kTranslations[(byte >> 4) & 0x7];
  }
  return op;
}

VHTypes::CVector CTSSymOp::Apply(const VHTypes::CVector& p) const {
  const auto& r = m_rotation;
  return {r[0] * p.x + r[1] * p.y + r[2] * p.z + m_translation.x,
          r[3] * p.x + r[4] * p.y + r[5] * p.z + m_translation.y,
          r[6] * p.x + r[7] * p.y + r[8] * p.z + m_translation.z};
}

std::optional<uint32_t> CTSSymOp::Code() const {
  uint32_t code = 0;
  for (int row = 0; row < 3; ++row) {
    int rotationIndex = -1;
    for (int i = 0; i < 8 && rotationIndex < 0; ++i) {
      if (kRotationRows[i][0] == m_rotation[row * 3] &&
          kRotationRows[i][1] == m_rotation[row * 3 + 1] &&
          kRotationRows[i][2] == m_rotation[row * 3 + 2])
        rotationIndex = i;
    }
    double t = m_translation[row] - std::floor(m_translation[row]);
    if (t > 1.0 - kTranslationTolerance) t = 0.0;
    int translationIndex = -1;
    for (int i = 0; i < 8 && translationIndex < 0; ++i)
      if (std::abs(t - kTranslations[i]) < kTranslationTolerance) translationIndex = i;
    if (rotationIndex < 0 || translationIndex < 0) return std::nullopt;
    code = (code << 8) | static_cast<uint32_t>(translationIndex * 16 + rotationIndex);
  }
  return code;
}

std::string CTSSymOp::FixedText() const {
  const std::optional<uint32_t> code = Code();
  return code ? CodeToFixedText(*code) : DisplayText(false);
}

std::string CTSSymOp::DisplayText(bool compact) const {
  std::string coordinates[3];
  static constexpr const char* kAxisTerms[3][2] = {{"+x", "-x"}, {"+y", "-y"}, {"+z", "-z"}};
  for (int row = 0; row < 3; ++row) {
    double t = m_translation[row];
    if (t < 0.0) t += 1.0;
    const std::string printed = Formatted("%5.3f", t);
    const size_t point = printed.find('.');
    std::string& text = coordinates[row];
    if (point != std::string::npos) {
      const std::string_view decimals = std::string_view(printed).substr(point + 1);
      for (const auto& fraction : kDisplayFractions) {
        if (decimals == fraction.decimals) {
          text = fraction.text;
          break;
        }
      }
    }
    for (int column = 0; column < 3; ++column) {
      const double r = m_rotation[row * 3 + column];
      if (r != 0.0) text += kAxisTerms[column][r > 0.0 ? 0 : 1];
    }
    if (text.size() < 7) text.resize(7, ' ');
  }
  std::string joined = coordinates[0] + (compact ? "," : "  ") + coordinates[1] +
                       (compact ? "," : "  ") + coordinates[2];
  if (compact) std::erase(joined, ' ');
  return joined;
}

bool CTSSymOp::SameRotation(const CTSSymOp& other) const {
  for (int i = 0; i < 9; ++i)
    if (std::abs(m_rotation[i] - other.m_rotation[i]) >= kRotationTolerance) return false;
  return true;
}

bool CTSSymOp::IsInversion() const {
  static const CTSSymOp inversion = *Parse("-x,-y,-z");
  return SameRotation(inversion);
}

std::string CodeToFixedText(uint32_t code) {
  char text[32];
  const char* parts[6];
  for (int row = 0; row < 3; ++row) {
    const uint32_t byte = (code >> (8 * (2 - row))) & 0xFF;
    parts[row * 2] = kTranslationTexts[(byte >> 4) & 0x7];
    parts[row * 2 + 1] = kRotationTerms[byte & 0x7];
  }
  std::snprintf(text, sizeof text, "%3s%-4s  %3s%-4s  %3s%-4s", parts[0], parts[1], parts[2],
                parts[3], parts[4], parts[5]);
  return text;
}
