#include "errors/exception.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "errors/alert.h"
#include "resources/strings.h"

namespace {

// The flags, width and precision of one conversion.
struct CConversionSpec {
  bool left = false, zeros = false, plus = false, space = false, alternate = false;
  int width = -1, precision = -1;
};

// Appends sign and digits padded to the width as printf pads them: spaces before, zeros between
// sign and digits (where `zerosAllowed`), or spaces after for a left-adjusted field.
void AppendPadded(std::string& out, const CConversionSpec& spec, std::string_view sign,
                  std::string_view digits, bool zerosAllowed) {
  const size_t length = sign.size() + digits.size();
  const size_t padding =
      spec.width > 0 && static_cast<size_t>(spec.width) > length ? spec.width - length : 0;
  if (spec.left) {
    out.append(sign).append(digits).append(padding, ' ');
  } else if (spec.zeros && zerosAllowed) {
    out.append(sign).append(padding, '0').append(digits);
  } else {
    out.append(padding, ' ').append(sign).append(digits);
  }
}

std::string_view SignOf(bool negative, const CConversionSpec& spec) {
  return negative ? "-" : spec.plus ? "+" : spec.space ? " " : "";
}

// A real as printf would write it in the C locale, whatever locale the process runs in: the
// digits come from std::to_chars, which is specified to match printf and never uses a decimal
// comma.
void AppendReal(std::string& out, const CConversionSpec& spec, char conversion, double value) {
  const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(conversion)));
  const std::chars_format format = lower == 'f'   ? std::chars_format::fixed
                                   : lower == 'e' ? std::chars_format::scientific
                                   : lower == 'a' ? std::chars_format::hex
                                                  : std::chars_format::general;
  std::array<char, 1100> buffer;  // room for "0x" and the longest fixed double
  char* const digits = buffer.data() + 2;
  const double magnitude = std::abs(value);
  const auto result = spec.precision < 0 && lower == 'a'
                          ? std::to_chars(digits, buffer.data() + buffer.size(), magnitude, format)
                          : std::to_chars(digits, buffer.data() + buffer.size(), magnitude, format,
                                          spec.precision < 0 ? 6 : spec.precision);
  char* first = digits;
  if (lower == 'a') {
    first = buffer.data();
    std::copy_n("0x", 2, first);
  }
  if (conversion != lower)
    std::transform(first, result.ptr, first,
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  AppendPadded(out, spec, SignOf(std::signbit(value), spec), std::string_view(first, result.ptr),
               std::isfinite(value));
}

// A signed integer as printf's %d writes it: the precision is the least number of digits, and a
// precision turns the zero flag off.
void AppendInteger(std::string& out, const CConversionSpec& spec, long long value) {
  const unsigned long long magnitude =
      value < 0 ? 0ULL - static_cast<unsigned long long>(value) : value;
  std::array<char, 24> buffer;
  const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude).ptr;
  std::string_view digits(buffer.data(), end);
  if (spec.precision == 0 && magnitude == 0) digits = {};
  std::string withZeros;
  if (spec.precision > 0 && digits.size() < static_cast<size_t>(spec.precision)) {
    withZeros.assign(spec.precision - digits.size(), '0').append(digits);
    digits = withZeros;
  }
  AppendPadded(out, spec, SignOf(value < 0, spec), digits, spec.precision < 0);
}

// Other integer conversions are rare enough to go through the C library, which writes them
// the same in every locale.
template <class T>
void AppendPrintf(std::string& out, const CConversionSpec& spec, std::string_view conversion,
                  T value) {
  std::string directive = "%";
  for (const auto& [on, flag] : {std::pair{spec.left, '-'},
                                 {spec.zeros, '0'},
                                 {spec.plus, '+'},
                                 {spec.space, ' '},
                                 {spec.alternate, '#'}})
    if (on) directive += flag;
  if (spec.width >= 0) directive += std::to_string(spec.width);
  if (spec.precision >= 0) directive += "." + std::to_string(spec.precision);
  directive += conversion;
  const int length = std::snprintf(nullptr, 0, directive.c_str(), value);
  if (length <= 0) return;
  const size_t start = out.size();
  out.resize(start + static_cast<size_t>(length) + 1);
  std::snprintf(out.data() + start, static_cast<size_t>(length) + 1, directive.c_str(), value);
  out.pop_back();
}

long long AsInteger(const CFormatArgument* argument) {
  if (!argument) return 0;
  if (const auto* integer = std::get_if<long long>(argument)) return *integer;
  if (const auto* real = std::get_if<double>(argument)) return static_cast<long long>(*real);
  return std::strtoll(std::get<std::string>(*argument).c_str(), nullptr, 10);
}

double AsReal(const CFormatArgument* argument) {
  if (!argument) return 0.0;
  if (const auto* real = std::get_if<double>(argument)) return *real;
  if (const auto* integer = std::get_if<long long>(argument)) return static_cast<double>(*integer);
  const std::string& text = std::get<std::string>(*argument);
  double value = 0.0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

std::string AsText(const CFormatArgument* argument) {
  if (!argument) return {};
  if (const auto* text = std::get_if<std::string>(argument)) return *text;
  if (const auto* integer = std::get_if<long long>(argument)) return std::to_string(*integer);
  std::string text;
  AppendReal(text, {}, 'g', std::get<double>(*argument));
  return text;
}

std::vector<std::string> SplitPieces(const std::string& text) {
  std::vector<std::string> pieces(1);
  for (char c : text) {
    if (c == '|') {
      pieces.emplace_back();
    } else {
      pieces.back() += c;
    }
  }
  pieces.resize(6);
  return pieces;
}

void ReplaceAll(std::string& text, std::string_view what, const std::string& with) {
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
}

const char* DefaultTitle(unsigned severity) {
  switch (severity) {
    case kSeverityInternal:
      return "Internal Error";
    case kSeverityMessage:
      return "Message from Tessaline";
    case kSeverityQuestion:
      return "User Action Required";
    default:
      return "Fatal Error";
  }
}

}  // namespace

std::string FormatPrintf(std::string_view format, const CFormatArguments& arguments) {
  std::string out;
  out.reserve(format.size() + 16 * arguments.size());
  size_t next = 0;
  auto take = [&]() -> const CFormatArgument* {
    return next < arguments.size() ? &arguments[next++] : nullptr;
  };
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      const size_t end = std::min(format.find('%', i), format.size());
      out.append(format.substr(i, end - i));
      i = end - 1;
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    CConversionSpec spec;
    size_t j = i + 1;
    for (; j < format.size(); ++j) {
      const char flag = format[j];
      if (flag == '-')
        spec.left = true;
      else if (flag == '0')
        spec.zeros = true;
      else if (flag == '+')
        spec.plus = true;
      else if (flag == ' ')
        spec.space = true;
      else if (flag == '#')
        spec.alternate = true;
      else
        break;
    }
    // A number from the format, or from the arguments for '*'; none when neither is there.
    auto number = [&]() -> std::optional<long long> {
      if (j < format.size() && format[j] == '*') {
        ++j;
        return AsInteger(take());
      }
      int value = 0;
      const auto [end, error] =
          std::from_chars(format.data() + j, format.data() + format.size(), value);
      if (error != std::errc()) return std::nullopt;
      j = static_cast<size_t>(end - format.data());
      return value;
    };
    constexpr long long kLongestField = 1 << 20;
    if (const auto width = number()) {
      // As in printf, a negative width from the arguments means a left-adjusted field.
      if (*width < 0) spec.left = true;
      spec.width = static_cast<int>(std::min(std::abs(*width), kLongestField));
    }
    if (j < format.size() && format[j] == '.') {
      ++j;
      // A precision of only a point is zero; a negative one from the arguments is none.
      const long long precision = number().value_or(0);
      spec.precision = precision < 0 ? -1 : static_cast<int>(std::min(precision, kLongestField));
    }
    while (j < format.size() && std::string_view("hlLqjzt").find(format[j]) != std::string_view::npos)
      ++j;  // the argument's own type decides the length
    if (j >= format.size()) {
      out.append(format.substr(i));
      break;
    }
    const char conversion = format[j];
    switch (conversion) {
      case 'd':
      case 'i':
        AppendInteger(out, spec, AsInteger(take()));
        break;
      case 'u':
      case 'o':
      case 'x':
      case 'X':
        AppendPrintf(out, spec, std::string("ll") + conversion,
                     static_cast<unsigned long long>(AsInteger(take())));
        break;
      case 'c':
        AppendPrintf(out, spec, "c", static_cast<int>(AsInteger(take())));
        break;
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
      case 'a':
      case 'A':
        AppendReal(out, spec, conversion, AsReal(take()));
        break;
      case 's': {
        std::string text = AsText(take());
        if (spec.precision >= 0 && text.size() > static_cast<size_t>(spec.precision))
          text.resize(spec.precision);
        AppendPadded(out, spec, "", text, false);
        break;
      }
      default:  // not a conversion: keep the text as it stands
        out.append(format.substr(i, j - i + 1));
        break;
    }
    i = j;
  }
  return out;
}

CVHException::CVHException(unsigned severity, long long code, unsigned location)
    : CVHException(Deferred{}, severity, code, location) {
  Initialise(kResourceId, {});
}

CVHException::CVHException(Deferred, unsigned severity, long long code, unsigned location)
    : m_code(code), m_severity(severity), m_location(location) {}

std::unique_ptr<CVHException> CVHException::Clone() const {
  return std::make_unique<CVHException>(*this);
}

void CVHException::Initialise(unsigned resourceId, const CFormatArguments& arguments) {
  m_resourceId = resourceId;
  try {
    Format(arguments);
  } catch (...) {
    // A failure to format must never replace the failure being reported: keep what we have.
  }
}

void CVHException::Format(const CFormatArguments& arguments) {
  std::string text(ResourceString(m_resourceId));
  if (!arguments.empty()) text = FormatPrintf(text, arguments);
  std::vector<std::string> pieces = SplitPieces(text);
  if (pieces[1].empty()) {
    pieces = SplitPieces(std::string(ResourceString(CVHException::kResourceId)));
    if (pieces[1].empty()) return;
  }
  const std::string code = Formatted("%4d", m_code);
  ReplaceAll(pieces[1], "^0", code);
  ReplaceAll(pieces[2], "^0", code);
  if (pieces[0].empty()) pieces[0] = DefaultTitle(m_severity);
  m_title = pieces[0];
  m_message = pieces[1];
  m_explanation = pieces[2];
  m_firstButton = pieces[3];
  m_secondButton = pieces[4];
  m_defaultButton = pieces[5];

  const unsigned id = m_resourceId & 0xFFFF;
  const unsigned code16 = static_cast<unsigned>(m_code) & 0xFFFF;
  char line[32];
  if (m_location != 0) {
    std::snprintf(line, sizeof line, "%04x:%04x:%04x", id, code16, m_location & 0xFFFF);
  } else {
    std::snprintf(line, sizeof line, "%04x:%04x", id, code16);
  }
  m_codeLine = line;
}

bool CVHException::Report() {
  if (m_reported) return true;
  if (m_severity == kSeveritySilent) return true;
  CAlertPresenter::Answer answer = CAlertPresenter::kFirstButton;
  try {
    CVHAlertContent alert;
    alert.type = m_severity == kSeverityMessage    ? CVHAlertContent::kInformation
                 : m_severity == kSeverityQuestion ? CVHAlertContent::kQuestion
                                                   : CVHAlertContent::kError;
    alert.title = m_title;
    alert.message = m_message;
    alert.explanation = m_explanation;
    alert.firstButton = m_firstButton.empty() ? "OK" : m_firstButton;
    alert.secondButton = m_secondButton.empty() ? "Cancel" : m_secondButton;
    alert.codeLine = m_codeLine;
    alert.sourceLine = m_sourceLine;
    alert.systemCode = m_code;
    alert.firstButtonIsDefault = !m_defaultButton.empty() && m_defaultButton == alert.firstButton;
    alert.suppression = m_suppression;
    if (!(m_suppression && *m_suppression)) answer = CurrentAlertPresenter().Present(alert);
  } catch (...) {
    // Reporting must not raise a second failure; the alert is simply lost.
  }
  m_reported = true;
  switch (m_severity) {
    case kSeverityMessage:
      return true;
    case kSeverityQuestion:
      return answer == CAlertPresenter::kFirstButton;
    default:
      return false;
  }
}
