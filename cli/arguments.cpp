#include "cli/arguments.h"

#include <cctype>
#include <charconv>
#include <cmath>

CArguments::CArguments(std::span<const std::string> arguments, const std::vector<COptionSpec>& declared) {
  auto findSpec = [&](const std::string& name) -> const COptionSpec* {
    for (const COptionSpec& option : declared)
      if (option.name == name || (!option.shortName.empty() && option.shortName == name)) return &option;
    return nullptr;
  };
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-' ||
        (argument[1] != '-' && std::isdigit(static_cast<unsigned char>(argument[1])))) {
      m_positionals.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    const size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    const COptionSpec* option = findSpec(name);
    if (!option) throw CUsageError("unknown option '" + name + "'");
    if (!option->takesValue) {
      if (equals != std::string::npos) throw CUsageError("option '" + name + "' takes no value");
      m_options[option->name] = "";
    } else if (equals != std::string::npos) {
      m_options[option->name] = argument.substr(equals + 1);
    } else if (i + 1 < arguments.size()) {
      m_options[option->name] = arguments[++i];
    } else {
      throw CUsageError("option '" + name + "' needs a value");
    }
  }
}

std::optional<std::string> CArguments::Value(const std::string& name) const {
  const auto found = m_options.find(name);
  if (found == m_options.end()) return std::nullopt;
  return found->second;
}

std::optional<double> CArguments::Double(const std::string& name) const {
  const std::optional<std::string> value = Value(name);
  if (!value) return std::nullopt;
  const std::optional<double> number = ParseDouble(*value);
  if (!number) throw CUsageError("invalid number for " + name + ": '" + *value + "'");
  return number;
}

std::optional<long long> CArguments::Integer(const std::string& name) const {
  const std::optional<std::string> value = Value(name);
  if (!value) return std::nullopt;
  const std::optional<long long> number = ParseInteger(*value);
  if (!number) throw CUsageError("invalid integer for " + name + ": '" + *value + "'");
  return number;
}

std::optional<std::vector<double>> CArguments::Doubles(const std::string& name, size_t count) const {
  const std::optional<std::string> value = Value(name);
  if (!value) return std::nullopt;
  std::vector<double> numbers;
  size_t start = 0;
  while (true) {
    const size_t comma = value->find(',', start);
    const std::optional<double> number = ParseDouble(value->substr(start, comma - start));
    if (!number) break;
    numbers.push_back(*number);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (numbers.size() != count || (start > 0 && value->back() == ','))
    throw CUsageError(name + " needs " + std::to_string(count) + " comma-separated numbers, not '" +
                      *value + "'");
  return numbers;
}

std::optional<std::string> CArguments::Choice(const std::string& name,
                                              const std::vector<std::string>& choices) const {
  const std::optional<std::string> value = Value(name);
  if (!value) return std::nullopt;
  for (const std::string& choice : choices)
    if (Lowercase(*value) == Lowercase(choice)) return choice;
  std::string list;
  for (const std::string& choice : choices) list += (list.empty() ? "" : "|") + choice;
  throw CUsageError("invalid value for " + name + ": '" + *value + "' (expected " + list + ")");
}

std::optional<long long> ParseInteger(const std::string& text) {
  const size_t sign = !text.empty() && text.front() == '+' ? 1 : 0;
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data() + sign, text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.size() == sign)
    return std::nullopt;
  return value;
}
