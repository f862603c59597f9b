#include "files/crystal_checks.h"

#include <cmath>
#include <string>

#include "crystal/crystal.h"
#include "errors/exceptions.h"

namespace {

constexpr double kLargestOccupancy = 10.0;

bool Finite(const VHTypes::CVector& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

std::string Shown(double value) {
  return Formatted("%g", value);
}

void CheckSite(const CTSSite& site) {
  if (!Finite({site.x, site.y, site.z}))
    throw CVHXFileNotFinite(kSeverityMessage, 0, 0, std::string("position"), site.label);
  for (const CTSAtom& atom : site.atoms) {
    if (!std::isfinite(atom.occupancy))
      throw CVHXFileNotFinite(kSeverityMessage, 0, 0, std::string("occupancy"), site.label);
    // A little over 1 is a rounding of refined values; ten atoms on one site is no crystal, and
    // intensities go with the square of occupancy, where 1e200 becomes infinite.
    if (atom.occupancy < 0.0 || atom.occupancy > kLargestOccupancy)
      throw CVHXFileImpossibleOccupancy(kSeverityMessage, 0, 0, atom.symbol, site.label,
                                        Shown(atom.occupancy));
  }
  if (!site.displacement) return;
  bool finite = std::isfinite(site.displacement->U());
  // Asked of the record rather than found by dynamic_cast, which compares type names: this
  // runs for every site of a large file.
  if (site.displacement->IsAnisotropic())
    for (const double beta :
         static_cast<const CTSAnisoThermalEllipsoid&>(*site.displacement).Beta())
      finite = finite && std::isfinite(beta);
  if (!finite)
    throw CVHXFileNotFinite(kSeverityMessage, 0, 0, std::string("displacement parameter"),
                            site.label);
}

}  // namespace

void CheckCrystal(const CTSCrystal& crystal) {
  if (!IsPossibleCell(crystal))
    throw CVHXFileImpossibleCell(kSeverityMessage, 0, 0, Shown(crystal.a), Shown(crystal.b),
                                 Shown(crystal.c), Shown(crystal.alpha), Shown(crystal.beta),
                                 Shown(crystal.gamma));
  if (!Finite(crystal.originOffset))
    throw CVHXFileNotFinite(kSeverityMessage, 0, 0, std::string("origin shift"), std::string());
  for (const CTSSite& site : crystal.sites) CheckSite(site);
}
