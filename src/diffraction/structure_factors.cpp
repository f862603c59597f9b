#include "diffraction/structure_factors.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>

#include "app/status.h"
#include "crystal/crystal.h"
#include "diffraction/intensity_factors.h"
#include "diffraction/reflexion.h"
#include "errors/exceptions.h"
#include "radiation/radiation_spec.h"

namespace {

constexpr unsigned kIndexingText = 3708;
constexpr const char* kCalculatingText = "Calculating intensities for %d reflexions...";
constexpr double kZeroIntensity = 1.8189894035458565e-12;
// Below this many terms a loop runs on the calling thread alone: waking the other threads
// would cost more than it saves.
constexpr size_t kParallelWork = 20000;
// A site with this many positions fills several vectors of any width on its own.
constexpr size_t kAlonePositions = 32;

std::string_view FirstCharacters(std::string_view symbol) {
  return symbol.substr(0, CVHASF::kMaxSymbolLength);
}

bool SameSpecies(const CTSSite& a, const CTSSite& b) {
  if (a.atoms.size() != b.atoms.size()) return false;
  for (size_t i = 0; i < a.atoms.size(); ++i)
    if (a.atoms[i].symbol != b.atoms[i].symbol || a.atoms[i].occupancy != b.atoms[i].occupancy)
      return false;
  return true;
}

// Appends the bytes of a value, so that equal contents give equal keys.
template <class T>
void AppendBytes(std::string& key, const T& value) {
  key.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// Equal for species whose scattering factors are equal for every reflexion: the same records
// and occupancies atom by atom.
std::string ScatteringKey(const CTSSite& site) {
  std::string key;
  for (const CTSAtom& atom : site.atoms) {
    const CVHASF& record = atom.scattering;
    key.append(record.symbol).append(1, '\0').append(record.notes).append(1, '\0');
    AppendBytes(key, record.z);
    AppendBytes(key, record.w);
    AppendBytes(key, record.f);
    AppendBytes(key, record.b);
    AppendBytes(key, atom.occupancy);
  }
  return key;
}

// R or -R, whichever has its first non-zero entry positive: (h R) beta (h R)^T does not
// change when R changes sign.
VHTypes::CRotation SignFree(VHTypes::CRotation r) {
  const auto first = std::find_if(r.begin(), r.end(), [](int8_t v) { return v != 0; });
  if (first != r.end() && *first < 0)
    for (int8_t& v : r) v = static_cast<int8_t>(-v);
  return r;
}

// Equal for displacements whose factors are equal for every reflexion.
std::string DisplacementKey(const CTSThermalEllipsoid& ellipsoid,
                            const VHTypes::CRotation& rotation) {
  std::string key(1, ellipsoid.IsAnisotropic() ? 'a' : 'i');
  AppendBytes(key, ellipsoid.U());
  if (const auto* anisotropic = dynamic_cast<const CTSAnisoThermalEllipsoid*>(&ellipsoid))
    AppendBytes(key, anisotropic->Beta());
  AppendBytes(key, rotation);
  return key;
}

// The index of an entry with `key` in `list`, appending `item` when there is none: a crystal
// of many sites with one species or displacement each stays linear in their number.
template <class T>
size_t Interned(std::vector<T>& list, std::unordered_map<std::string, size_t>& index,
                std::string key, const T& item) {
  const auto [found, added] = index.try_emplace(std::move(key), list.size());
  if (added) list.push_back(item);
  return found->second;
}

// The record's exponent for the images made by `rotation` as coefficients of the monomials
// (h^2, k^2, l^2, hk, hl, kl, s^2): the images see the indices (h k l) R, so an anisotropic
// tensor beta acts as R beta R^T on the reflexion's own indices; an isotropic U gives
// -8 pi^2 U s^2.
std::array<double, CDisplacementTerms::kMonomials> MonomialCoefficients(
    const CTSThermalEllipsoid& ellipsoid, const VHTypes::CRotation& r) {
  if (!ellipsoid.IsAnisotropic())
    return {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, -8.0 * VHTypes::kPi * VHTypes::kPi * ellipsoid.U()};
  const auto& beta = static_cast<const CTSAnisoThermalEllipsoid&>(ellipsoid).Beta();
  auto turned = [&](int a, int b) {
    double sum = 0.0;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) sum += r[3 * a + i] * beta[3 * i + j] * r[3 * b + j];
    return sum;
  };
  return {-turned(0, 0),
          -turned(1, 1),
          -turned(2, 2),
          -2.0 * turned(0, 1),
          -2.0 * turned(0, 2),
          -2.0 * turned(1, 2),
          0.0};
}

}  // namespace

void CheckScatteringFactors(const CTSCrystal& crystal) {
  CStatus status(kIndexingText);
  std::vector<std::string> missing;
  for (const CTSSite& site : crystal.sites) {
    for (const CTSAtom& atom : site.atoms) {
      const bool own = !atom.symbol.empty() &&
                       FirstCharacters(atom.symbol) == FirstCharacters(atom.scattering.symbol);
      if (!own && std::find(missing.begin(), missing.end(), atom.symbol) == missing.end())
        missing.push_back(atom.symbol);
    }
  }
  if (missing.empty()) return;
  std::string symbols;
  for (const std::string& symbol : missing) symbols += (symbols.empty() ? "" : ", ") + symbol;
  CVHXDiffractNoASF(kSeverityMessage, 0, 0, symbols).Report();
}

void AssignScatteringGroups(CTSCrystal& crystal) {
  int64_t group = 0;
  for (size_t i = 0; i < crystal.sites.size(); ++i) {
    if (i > 0 && !SameSpecies(crystal.sites[i], crystal.sites[i - 1])) ++group;
    crystal.sites[i].scatteringGroup = group;
  }
}

CStructureFactorSum::CStructureFactorSum(const CTSCrystal& crystal, CScatteringKind kind)
    : m_kind(kind) {
  // A run of included sites of one group takes its scattering factor from the run's first
  // site; equal species and equal displacement records then share one evaluation per
  // reflexion.
  using CGroupKey = std::tuple<size_t, int, bool>;  // composition, displacement, weighted
  std::map<CGroupKey, std::vector<std::pair<const VHTypes::CVector*, int32_t>>> groups;
  std::vector<CGroupKey> order;  // groups in order of first appearance
  std::unordered_map<std::string, size_t> compositionIndex, displacementIndex;
  const CTSSite* runSource = nullptr;
  int64_t runGroup = 0;
  size_t composition = 0;
  for (const CTSSite& site : crystal.sites) {
    if (!site.included) continue;
    if (!runSource || site.scatteringGroup != runGroup) runSource = &site;
    runGroup = site.scatteringGroup;
    if (runSource == &site)
      composition = Interned(m_compositions, compositionIndex, ScatteringKey(site), runSource);
    const CTSThermalEllipsoid* ellipsoid =
        crystal.useDisplacementParameters ? site.displacement.get() : nullptr;
    const bool turns = ellipsoid && ellipsoid->IsAnisotropic() && !crystal.legacyRules &&
                       site.rotations.size() == site.positions.size();
    auto entry = [&](const VHTypes::CRotation& rotation) {
      return static_cast<int32_t>(Interned(m_displacements, displacementIndex,
                                           DisplacementKey(*ellipsoid, rotation),
                                           {ellipsoid, rotation}));
    };
    const int displacement = ellipsoid ? entry(VHTypes::kIdentityRotation) : -1;
    const bool weighted = turns || site.positions.size() < kAlonePositions;
    const CGroupKey key =
        weighted ? CGroupKey{composition, -1, true} : CGroupKey{composition, displacement, false};
    auto [group, added] = groups.try_emplace(key);
    if (added) order.push_back(key);
    for (size_t i = 0; i < site.positions.size(); ++i)
      group->second.emplace_back(&site.positions[i],
                                 turns ? entry(SignFree(site.rotations[i])) : displacement);
  }
  const auto none = static_cast<int32_t>(m_displacements.size());

  for (const CDisplacement& displacement : m_displacements) {
    const auto coefficients = MonomialCoefficients(*displacement.ellipsoid, displacement.rotation);
    for (size_t j = 0; j < coefficients.size(); ++j)
      m_displacementCoefficients[j].push_back(coefficients[j]);
  }

  for (const CGroupKey& key : order) {
    const auto& positions = groups[key];
    const auto [composition, displacement, weighted] = key;
    m_scatterers.push_back(
        {composition, displacement, m_positionCount, m_positionCount + positions.size(), weighted});
    m_positionCount += positions.size();
    for (const auto& [p, entry] : positions) {
      for (int axis = 0; axis < 3; ++axis)
        m_coordinates[axis].push_back((*p)[axis] - std::nearbyint((*p)[axis]));
      m_positionDisplacements.push_back(entry < 0 ? none : entry);
    }
  }
}

CStructureFactorSum::CScratch CStructureFactorSum::NewScratch() const {
  CScratch scratch;
  scratch.compositionFactors.resize(m_compositions.size());
  scratch.displacementFactors.resize(m_displacements.size() + 1, 1.0);
  scratch.weights.resize(m_positionCount);
  return scratch;
}

std::pair<double, double> CStructureFactorSum::Evaluate(const CTSReflexion& reflexion,
                                                        CScratch& scratch) const {
  CDisplacementTerms terms;
  for (size_t j = 0; j < terms.coefficients.size(); ++j)
    terms.coefficients[j] = m_displacementCoefficients[j].data();
  terms.count = m_displacements.size();
  const double h = reflexion.h, k = reflexion.k, l = reflexion.l;
  DisplacementFactors(
      terms, {h * h, k * k, l * l, h * k, h * l, k * l, 1.0 / (4.0 * reflexion.d * reflexion.d)},
      scratch.displacementFactors.data());
  return SumWith(SumPhaseFactors, reflexion, scratch);
}

std::pair<double, double> CStructureFactorSum::EvaluateByTerms(const CTSReflexion& reflexion,
                                                               CScratch& scratch) const {
  for (size_t t = 0; t < m_displacements.size(); ++t) {
    const auto& r = m_displacements[t].rotation;
    const int h = reflexion.h, k = reflexion.k, l = reflexion.l;
    scratch.displacementFactors[t] = m_displacements[t].ellipsoid->Factor(
        h * r[0] + k * r[3] + l * r[6], h * r[1] + k * r[4] + l * r[7],
        h * r[2] + k * r[5] + l * r[8], reflexion.d);
  }
  return SumWith(SumPhaseFactorsByTerms, reflexion, scratch);
}

std::pair<double, double> CStructureFactorSum::SumWith(CPhaseSum phaseSum,
                                                       const CTSReflexion& reflexion,
                                                       CScratch& scratch) const {
  for (size_t c = 0; c < m_compositions.size(); ++c) {
    double f = 0.0;
    for (const CTSAtom& atom : m_compositions[c]->atoms)
      f += ScatteringFactor(atom.scattering, atom.occupancy, reflexion.d, m_kind);
    scratch.compositionFactors[c] = f;
  }

  const CHkl hkl{reflexion.h, reflexion.k, reflexion.l};
  auto terms = [this](const CScatterers& scatterers, const double* weights) {
    const size_t begin = scatterers.begin;
    return CPhaseTerms{m_coordinates[0].data() + begin, m_coordinates[1].data() + begin,
                       m_coordinates[2].data() + begin, weights ? weights + begin : nullptr,
                       scatterers.end - begin};
  };

  double a = 0.0, b = 0.0;
  for (const CScatterers& scatterers : m_scatterers) {
    double f = scratch.compositionFactors[scatterers.composition];
    std::pair<double, double> sum;
    if (scatterers.weighted) {
      double* weights = scratch.weights.data();
      for (size_t m = scatterers.begin; m < scatterers.end; ++m)
        weights[m] = scratch.displacementFactors[static_cast<size_t>(m_positionDisplacements[m])];
      sum = phaseSum(terms(scatterers, weights), hkl);
    } else {
      if (scatterers.displacement >= 0)
        f *= scratch.displacementFactors[static_cast<size_t>(scatterers.displacement)];
      sum = phaseSum(terms(scatterers, nullptr), hkl);
    }
    a += f * sum.first;
    b += f * sum.second;
  }
  return {a, b};
}

void CalculateIntensities(CTSCrystal& crystal, const CRadiationSpec& radiation) {
  const auto& reflexions = crystal.reflexions;
  CStatus status(kCalculatingText, reflexions.size());
  AssignScatteringGroups(crystal);
  std::optional<CPreferredOrientation> orientation;
  if (crystal.usePreferredOrientation) {
    crystal.preferredOrientationNormalisation =
        CPreferredOrientation::Normalisation(crystal.preferredOrientationAlignment);
    orientation.emplace(crystal);
  }
  const CStructureFactorSum sum(crystal, ScatteringKindOf(radiation.SimulationType()));
  const double volumeSquared = crystal.volume * crystal.volume;

  // Working space for every thread is made here: nothing inside the parallel loop allocates,
  // so nothing in it can throw.
  std::vector<CStructureFactorSum::CScratch> scratches(static_cast<size_t>(omp_get_max_threads()));
  std::vector<std::vector<CHkl>> equivalents(scratches.size());
  for (size_t t = 0; t < scratches.size(); ++t) {
    scratches[t] = sum.NewScratch();
    if (orientation) equivalents[t].reserve(orientation->MaxEquivalents());
  }

  const auto count = static_cast<int64_t>(reflexions.size());
  const bool parallel = reflexions.size() * sum.PositionCount() > kParallelWork;
#pragma omp parallel for schedule(dynamic, 1) if (parallel)
  for (int64_t i = 0; i < count; ++i) {
    const auto thread = static_cast<size_t>(omp_get_thread_num());
    CTSReflexion& r = *reflexions[static_cast<size_t>(i)];
    const auto [a, b] = sum.Evaluate(r, scratches[thread]);
    r.fReal = a;
    r.fImaginary = b;
    r.phase = StructureFactorPhase(a, b);
    const CGeometryFactors geometry = GeometryFactors(radiation, r.d);
    r.lp = geometry.lp;
    const double intensity = (a * a + b * b) * geometry.k * geometry.lp / volumeSquared;
    r.intensity = intensity * (orientation ? orientation->Factor(r, equivalents[thread])
                                           : static_cast<double>(r.multiplicity));
  }
}

void DropZeroIntensities(CTSCrystal& crystal) {
  // Zero next to the strongest: every intensity of a large cell is tiny (they fall with the
  // square of the volume), so an absolute threshold would drop them all.
  double strongest = 0.0;
  for (const auto& r : crystal.reflexions) strongest = std::max(strongest, std::abs(r->intensity));
  const double threshold = kZeroIntensity * strongest;
  std::erase_if(crystal.reflexions, [threshold](const std::shared_ptr<CTSReflexion>& r) {
    return std::abs(r->intensity) < threshold || r->intensity == 0.0;
  });
}

void NormaliseIntensities(CTSCrystal& crystal) {
  const auto& reflexions = crystal.reflexions;
  const auto count = static_cast<int64_t>(reflexions.size());
  crystal.maximumIntensity = 0.0;
  if (count == 0) return;
  double maximum = -std::numeric_limits<double>::infinity();
#pragma omp parallel for schedule(dynamic, 1) reduction(max : maximum) if (reflexions.size() > kParallelWork)
  for (int64_t i = 0; i < count; ++i) maximum = std::max(maximum, reflexions[static_cast<size_t>(i)]->intensity);
  crystal.maximumIntensity = maximum;
#pragma omp parallel for schedule(dynamic, 1) if (reflexions.size() > kParallelWork)
  for (int64_t i = 0; i < count; ++i) {
    CTSReflexion& r = *reflexions[static_cast<size_t>(i)];
    r.relativeIntensity = r.intensity / maximum;
  }
}
