// Crystals for the diffraction tests, built in code from published cells and coordinates,
// with scattering-factor records matched from the built-in table.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "crystal/crystal.h"
#include "crystal/spacegroups.h"
#include "crystal/thermal.h"
#include "diffraction/reflexion.h"
#include "diffraction/scattering_table.h"
#include "diffraction/structure_factors.h"

namespace test_crystals {

struct SiteData {
  std::string symbol;
  double x, y, z;
  double occupancy = 1.0;
  double uIso = -1.0;  // negative: no displacement record
};

inline CTSSite MakeSite(const SiteData& data) {
  CTSSite site;
  site.label = data.symbol;
  site.x = data.x, site.y = data.y, site.z = data.z;
  CTSAtom atom;
  atom.symbol = data.symbol;
  atom.occupancy = data.occupancy;
  MatchScatteringFactor(atom);
  site.atoms.push_back(atom);
  if (data.uIso >= 0.0) site.displacement = std::make_unique<CTSThermalEllipsoid>(data.uIso);
  return site;
}

// A crystal of the given group and cell with its operators built and positions generated.
inline CTSCrystal MakeCrystal(const std::string& group, double a, double b, double c, double alpha,
                              double beta, double gamma, const std::vector<SiteData>& sites) {
  CTSCrystal crystal;
  crystal.spaceGroupSymbol = group;
  crystal.a = a, crystal.b = b, crystal.c = c;
  crystal.alpha = alpha, crystal.beta = beta, crystal.gamma = gamma;
  for (const SiteData& data : sites) crystal.sites.push_back(MakeSite(data));
  BuildOperators(crystal);
  crystal.GeneratePositions();
  crystal.UpdateCell();
  return crystal;
}

inline CTSCrystal Cubic(const std::string& group, double a, const std::vector<SiteData>& sites = {}) {
  return MakeCrystal(group, a, a, a, 90.0, 90.0, 90.0, sites);
}

// Rock salt, a = 5.6402 Angstrom.
inline CTSCrystal NaCl() {
  return Cubic("F m -3 m", 5.6402, {{"Na", 0.0, 0.0, 0.0}, {"Cl", 0.5, 0.5, 0.5}});
}

// Alpha quartz, a = 4.9134, c = 5.4052 Angstrom, P 32 2 1: Si on 3a at x = 0.4697, O on 6c at
// (0.4133, 0.2672, 0.1188). Those coordinates refer to an origin 2/3 c below the one of the
// table's setting, so z is shifted by 2/3 here.
inline CTSCrystal Quartz() {
  return MakeCrystal("P 32 2 1", 4.9134, 4.9134, 5.4052, 90.0, 90.0, 120.0,
                     {{"Si", 0.4697, 0.0, 2.0 / 3.0}, {"O", 0.4133, 0.2672, 0.1188 + 2.0 / 3.0}});
}

// F of every reflexion of the list in list order, evaluated along rows as the calculation
// evaluates them.
inline std::vector<std::pair<double, double>> RowSums(
    const CStructureFactorSum& sum, const std::vector<std::shared_ptr<CTSReflexion>>& list) {
  std::vector<CTSReflexion*> reflexions;
  std::unordered_map<const CTSReflexion*, size_t> index;
  for (const auto& r : list)
    index.emplace(r.get(), reflexions.size()), reflexions.push_back(r.get());
  CStructureFactorSum::CScratch scratch = sum.NewScratch();
  std::vector<std::pair<double, double>> f(list.size());
  std::pair<double, double> row[CPhaseRow::kMaxCount];
  for (const CReflexionRow& r : ReflexionRows(reflexions)) {
    sum.Evaluate(r, scratch, row);
    for (size_t i = 0; i < r.reflexions.size(); ++i) f[index.at(r.reflexions[i])] = row[i];
  }
  return f;
}

}  // namespace test_crystals
