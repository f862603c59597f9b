#include "crystal/occupancy.h"

#include <cstdlib>

#include "app/text.h"
#include "errors/exceptions.h"
#include "resources/elements.h"

namespace {

constexpr std::string_view kNumberCharacters = "0123456789./";
// A sum may exceed 1 by rounding of typed decimals ("0.1 + 0.2 + 0.7").
constexpr double kSumTolerance = 1e-9;
constexpr double kNegligibleTotal = 0.0001;

bool IsNumberCharacter(char c) {
  return kNumberCharacters.find(c) != std::string_view::npos;
}

// A decimal or a fraction; nothing when the text is not one.
bool ParseAmount(std::string_view text, double& value) {
  const size_t slash = text.find('/');
  if (slash == std::string_view::npos) {
    const std::optional<double> amount = ParseDouble(text);
    if (amount) value = *amount;
    return amount.has_value();
  }
  const std::optional<double> n = ParseDouble(text.substr(0, slash)),
                              d = ParseDouble(text.substr(slash + 1));
  if (!n || !d || *d == 0.0) return false;
  value = *n / *d;
  return true;
}

}  // namespace

std::vector<CSpeciesOccupancy> ParseSiteOccupancy(std::string_view text,
                                                  std::string_view siteElement) {
  std::vector<CSpeciesOccupancy> species;
  text = TrimWhiteSpace(text);
  size_t i = 0;
  while (i < text.size()) {
    const size_t symbolStart = i;
    while (i < text.size() && !IsNumberCharacter(text[i])) ++i;
    const std::string_view symbol = TrimWhiteSpace(text.substr(symbolStart, i - symbolStart));
    const size_t numberStart = i;
    while (i < text.size() && IsNumberCharacter(text[i])) ++i;
    const std::string_view number = text.substr(numberStart, i - numberStart);
    if (symbol.empty()) throw CVHXInvalidSiteOcc();  // a number that belongs to no symbol
    double occupancy = 1.0;
    if (number.empty()) {
      if (!FindElement(symbol)) throw CVHXInvalidSiteOcc();
    } else if (!ParseAmount(number, occupancy)) {
      occupancy = 1.0;
    }
    species.push_back({std::string(symbol), occupancy});
  }
  if (species.empty()) {
    if (!FindElement(siteElement)) throw CVHXInvalidSiteOcc();
    return {{std::string(siteElement), 1.0}};
  }
  double total = 0.0;
  for (const CSpeciesOccupancy& s : species) total += s.occupancy;
  if (total > 1.0 + kSumTolerance) throw CVHXSiteOccSumNotOne();
  if (total < kNegligibleTotal) species.front().occupancy = 1.0;
  return species;
}
