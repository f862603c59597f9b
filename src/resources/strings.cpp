#include "resources/strings.h"

#include <algorithm>
#include <iterator>

namespace {

struct StringEntry {
  unsigned id;
  std::string_view text;
};

// Sorted by id.
constexpr StringEntry kStrings[] = {
    {20480, "|An unexpected error (^0) has occurred."},
    {20481, "|An unknown error (^0) has occurred."},
    {23030, "Invalid Data|Invalid displacement parameters for site %s|Please change the Uij "
            "(anisotropic) value, or choose a different parameter type."},
    {23031, "Invalid Data|Invalid displacement parameters for site %s|Please change the Uiso "
            "(isotropic) value, or choose a different parameter type."},
    {23032, "Invalid Data|Invalid spacegroup.|Please enter a valid spacegroup symbol in the "
            "Spacegroup box."},
    {23035, "Invalid Data|Invalid site occupancy.|The site occupancy specification you entered "
            "contains invalid characters. Please correct it."},
    {23036, "Invalid Data|Invalid site occupancy.|The sum of the site occupancy ratios must be "
            "1.0. Please correct your entry."},
};

static_assert(std::is_sorted(std::begin(kStrings), std::end(kStrings),
                             [](const StringEntry& a, const StringEntry& b) { return a.id < b.id; }));

}  // namespace

std::string_view ResourceString(unsigned id) {
  const auto* found = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                                       [](const StringEntry& e, unsigned value) { return e.id < value; });
  return found != std::end(kStrings) && found->id == id ? found->text : std::string_view();
}
