// A small command-line parser: options declared up front ("--origin" taking a value, "--list"
// a flag, "-o" as a short name), everything else positional. Bad usage raises CUsageError.
#pragma once

#include "app/text.h"  // ParseDouble

#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

class CUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct COptionSpec {
  COptionSpec(std::string name, bool takesValue = false, std::string shortName = {})
      : name(std::move(name)), takesValue(takesValue), shortName(std::move(shortName)) {}

  std::string name;       // "--origin"
  bool takesValue;
  std::string shortName;  // "-o", optional
};

class CArguments {
 public:
  // Parses `arguments` (without the program and command names). "--name=value" and
  // "--name value" both work; "--" ends the options; "-" alone is positional.
  CArguments(std::span<const std::string> arguments, const std::vector<COptionSpec>& declared);

  bool Has(const std::string& name) const { return m_options.count(name) != 0; }
  std::optional<std::string> Value(const std::string& name) const;
  const std::vector<std::string>& Positionals() const { return m_positionals; }

  // Typed values; a value that does not parse raises CUsageError naming the option.
  std::optional<double> Double(const std::string& name) const;
  std::optional<long long> Integer(const std::string& name) const;
  // Comma-separated numbers, exactly `count` of them.
  std::optional<std::vector<double>> Doubles(const std::string& name, size_t count) const;
  // One of `choices`, as the list spells it; the value may be written in any case.
  std::optional<std::string> Choice(const std::string& name,
                                    const std::vector<std::string>& choices) const;

 private:
  std::map<std::string, std::string> m_options;
  std::vector<std::string> m_positionals;
};

// Strict number parsing for option values: the whole text must be the number (ParseDouble of
// app/text.h for decimals).
std::optional<long long> ParseInteger(const std::string& text);
