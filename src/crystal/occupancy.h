// The species of a site as typed in the crystal editor: element symbols each followed by an
// optional occupancy, a decimal or a fraction ("Fe0.5Mg0.5", "Si2/3Al1/3").
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct CSpeciesOccupancy {
  std::string symbol;
  double occupancy = 1.0;
  friend bool operator==(const CSpeciesOccupancy&, const CSpeciesOccupancy&) = default;
};

// Parses the text, raising CVHXInvalidSiteOcc for text that is neither a symbol nor a number
// and CVHXSiteOccSumNotOne for a total above 1 (a total below 1 leaves a vacancy). Empty text
// gives `siteElement` with occupancy 1.
std::vector<CSpeciesOccupancy> ParseSiteOccupancy(std::string_view text,
                                                  std::string_view siteElement);
