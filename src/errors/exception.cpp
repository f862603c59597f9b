#include "errors/exception.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "errors/alert.h"
#include "resources/strings.h"

namespace {

// A real as printf would write it in the C locale, whatever locale the process runs in: the
// digits come from std::to_chars, which is specified to match printf and never uses a decimal
// comma; flags, width and precision are applied here.
std::string FormatReal(std::string_view flags, int width, int precision, char conversion,
                       double value) {
  const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(conversion)));
  const std::chars_format format = lower == 'f'   ? std::chars_format::fixed
                                   : lower == 'e' ? std::chars_format::scientific
                                   : lower == 'a' ? std::chars_format::hex
                                                  : std::chars_format::general;
  std::array<char, 1100> buffer;  // room for the longest fixed double
  const double magnitude = std::abs(value);
  const auto result =
      precision < 0 && lower == 'a'
          ? std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude, format)
          : std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude, format,
                          precision < 0 ? 6 : precision);
  std::string digits(buffer.data(), result.ptr);
  if (lower == 'a') digits = "0x" + digits;
  if (conversion != lower)
    std::transform(digits.begin(), digits.end(), digits.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  const auto has = [&](char flag) { return flags.find(flag) != std::string_view::npos; };
  const std::string sign = std::signbit(value) ? "-" : has('+') ? "+" : has(' ') ? " " : "";
  const size_t length = sign.size() + digits.size();
  const size_t padding =
      width > 0 && static_cast<size_t>(width) > length ? static_cast<size_t>(width) - length : 0;
  if (has('-')) return sign + digits + std::string(padding, ' ');
  if (has('0') && std::isfinite(value)) return sign + std::string(padding, '0') + digits;
  return std::string(padding, ' ') + sign + digits;
}

std::string Printf(const std::string& directive, auto value) {
  const int length = std::snprintf(nullptr, 0, directive.c_str(), value);
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), directive.c_str(), value);
  text.pop_back();
  return text;
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
  return FormatReal("", -1, -1, 'g', std::get<double>(*argument));
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
  size_t next = 0;
  auto take = [&]() -> const CFormatArgument* {
    return next < arguments.size() ? &arguments[next++] : nullptr;
  };
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    // Copy flags, width and precision; a '*' takes its value from the arguments.
    std::string directive = "%";
    size_t j = i + 1;
    while (j < format.size() && std::string_view("-+ #0").find(format[j]) != std::string_view::npos)
      directive += format[j++];
    const std::string flags = directive.substr(1);
    auto copyNumber = [&]() -> int {
      std::string digits;
      if (j < format.size() && format[j] == '*') {
        digits = std::to_string(AsInteger(take()));
        ++j;
      }
      while (j < format.size() && format[j] >= '0' && format[j] <= '9') digits += format[j++];
      directive += digits;
      return digits.empty() ? -1 : std::atoi(digits.c_str());
    };
    const int width = copyNumber();
    int precision = -1;
    if (j < format.size() && format[j] == '.') {
      directive += format[j++];
      precision = std::max(copyNumber(), 0);
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
        out += Printf(directive + "lld", AsInteger(take()));
        break;
      case 'u':
      case 'o':
      case 'x':
      case 'X':
        out += Printf(directive + "ll" + conversion, static_cast<unsigned long long>(AsInteger(take())));
        break;
      case 'c':
        out += Printf(directive + "c", static_cast<int>(AsInteger(take())));
        break;
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
      case 'a':
      case 'A':
        out += FormatReal(flags, width, precision, conversion, AsReal(take()));
        break;
      case 's':
        out += Printf(directive + "s", AsText(take()).c_str());
        break;
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
  const std::string code = Printf("%4lld", m_code);
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
