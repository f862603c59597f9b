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

#include "app/cancellable.h"
#include "app/status.h"
#include "app/work_team.h"
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
// Gaussians of an X-ray form factor.
constexpr size_t kGaussians = 4;
// Teams opened in turn over a section calculated with borrowed threads.
constexpr int64_t kBorrowingSegments = 16;
// This many positions fill several vectors of any width on their own.
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

// Equal for records whose scattering factors are equal for every reflexion.
std::string RecordKey(const CVHASF& record) {
  std::string key;
  key.append(record.symbol).append(1, '\0').append(record.notes).append(1, '\0');
  AppendBytes(key, record.z);
  AppendBytes(key, record.w);
  AppendBytes(key, record.f);
  AppendBytes(key, record.b);
  return key;
}

// Equal for species whose scattering factors are equal for every reflexion: the same records
// and occupancies atom by atom.
std::string ScatteringKey(const CTSSite& site) {
  std::string key;
  for (const CTSAtom& atom : site.atoms) {
    key += RecordKey(atom.scattering);
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
// (h^2, k^2, l^2, hk, hl, kl): the images see the indices (h k l) R, so an anisotropic tensor
// beta acts as R beta R^T on the reflexion's own indices; an isotropic U gives
// -8 pi^2 U s^2 = -2 pi^2 U (h k l) G* (h k l)^T.
std::array<double, CDisplacementTerms::kMonomials> MonomialCoefficients(
    const CTSThermalEllipsoid& ellipsoid, const VHTypes::CRotation& r,
    const std::array<double, 9>& reciprocalMetric) {
  if (!ellipsoid.IsAnisotropic()) {
    const double scale = -2.0 * VHTypes::kPi * VHTypes::kPi * ellipsoid.U();
    const auto& g = reciprocalMetric;
    return {scale * g[0],       scale * g[4],       scale * g[8],
            2.0 * scale * g[1], 2.0 * scale * g[2], 2.0 * scale * g[5]};
  }
  const auto& beta = static_cast<const CTSAnisoThermalEllipsoid&>(ellipsoid).Beta();
  auto turned = [&](int a, int b) {
    double sum = 0.0;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) sum += r[3 * a + i] * beta[3 * i + j] * r[3 * b + j];
    return sum;
  };
  return {-turned(0, 0),       -turned(1, 1),       -turned(2, 2),
          -2.0 * turned(0, 1), -2.0 * turned(0, 2), -2.0 * turned(1, 2)};
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
  // reflexion. Positions are collected by species and by the displacement record that acts on
  // them (an anisotropic tensor turns with each image).
  using CRecordKey = std::pair<size_t, int32_t>;  // composition, displacement (-1 none)
  std::map<CRecordKey, std::vector<const VHTypes::CVector*>> byRecord;
  std::vector<CRecordKey> order;  // in order of first appearance
  std::unordered_map<std::string, size_t> compositionIndex, recordIndex, displacementIndex;
  const CTSSite* runSource = nullptr;
  int64_t runGroup = 0;
  size_t composition = 0;
  for (const CTSSite& site : crystal.sites) {
    if (!site.included) continue;
    if (!runSource || site.scatteringGroup != runGroup) runSource = &site;
    runGroup = site.scatteringGroup;
    if (runSource == &site) {
      const size_t known = m_compositions.size();
      composition = Interned(m_compositions, compositionIndex, ScatteringKey(site), {});
      if (composition == known) {
        // Atoms of no occupancy scatter nothing.
        for (const CTSAtom& atom : site.atoms)
          if (atom.occupancy > 0.0)
            m_compositions.back().emplace_back(
                Interned(m_records, recordIndex, RecordKey(atom.scattering), &atom.scattering),
                atom.occupancy);
      }
    }
    const CTSThermalEllipsoid* ellipsoid =
        crystal.useDisplacementParameters ? site.displacement.get() : nullptr;
    const bool turns = ellipsoid && ellipsoid->IsAnisotropic() && !crystal.legacyRules &&
                       site.rotations.size() == site.positions.size();
    auto entry = [&](const VHTypes::CRotation& rotation) {
      return static_cast<int32_t>(Interned(m_displacements, displacementIndex,
                                           DisplacementKey(*ellipsoid, rotation),
                                           {ellipsoid, rotation}));
    };
    const int32_t displacement = ellipsoid ? entry(VHTypes::kIdentityRotation) : -1;
    for (size_t i = 0; i < site.positions.size(); ++i) {
      const CRecordKey key{composition, turns ? entry(SignFree(site.rotations[i])) : displacement};
      auto [group, added] = byRecord.try_emplace(key);
      if (added) order.push_back(key);
      group->second.push_back(&site.positions[i]);
    }
  }

  // Enough positions of one species and record sum alone and take their factors once; the
  // rest share one sum per species with each term weighted by its own position's record, so
  // that sums stay long enough to fill the vectors.
  using CGroupKey = std::tuple<size_t, int, bool>;  // composition, displacement, weighted
  std::map<CGroupKey, std::vector<std::pair<const VHTypes::CVector*, int32_t>>> groups;
  std::vector<CGroupKey> groupOrder;
  for (const CRecordKey& key : order) {
    const auto& positions = byRecord[key];
    const auto [species, displacement] = key;
    const bool weighted = positions.size() < kAlonePositions;
    const CGroupKey groupKey{species, weighted ? -1 : displacement, weighted};
    auto [group, added] = groups.try_emplace(groupKey);
    if (added) groupOrder.push_back(groupKey);
    for (const VHTypes::CVector* p : positions) group->second.emplace_back(p, displacement);
  }
  for (const CVHASF* record : m_records)
    for (size_t g = 0; g < kGaussians; ++g) {
      m_gaussianA.push_back(record->f[2 * g]);
      m_gaussianB.push_back(record->f[2 * g + 1]);
    }
  const auto none = static_cast<int32_t>(m_displacements.size());

  for (const CDisplacement& displacement : m_displacements) {
    const auto coefficients = MonomialCoefficients(*displacement.ellipsoid, displacement.rotation,
                                                   crystal.reciprocalMetric);
    for (size_t j = 0; j < coefficients.size(); ++j)
      m_displacementCoefficients[j].push_back(coefficients[j]);
  }
  for (size_t j = 0; j < CDisplacementTerms::kMonomials; ++j)
    m_displacementTerms.coefficients[j] = m_displacementCoefficients[j].data();
  m_displacementTerms.count = m_displacements.size();

  for (const CGroupKey& key : groupOrder) {
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
  scratch.gaussians.resize(m_gaussianA.size());
  scratch.recordFactors.resize(m_records.size());
  scratch.compositionFactors.resize(CPhaseRow::kMaxCount * m_compositions.size());
  for (auto* records :
       {&scratch.displacementFactors, &scratch.displacementRatios, &scratch.displacementRatioSteps})
    records->resize(m_displacements.size() + 1, 1.0);
  for (auto* positions : {&scratch.weights, &scratch.ratios, &scratch.ratioSteps})
    positions->resize(m_positionCount);
  return scratch;
}

void CStructureFactorSum::RecordFactors(double d, CScratch& scratch) const {
  const double s2 = 1.0 / (4.0 * d * d);
  const bool xray = m_kind != CScatteringKind::kNeutron;
  if (xray)
    GaussianTerms(m_gaussianA.data(), m_gaussianB.data(), m_gaussianA.size(), s2,
                  scratch.gaussians.data());
  for (size_t r = 0; r < m_records.size(); ++r) {
    // Added in the order XrayFormFactor adds them.
    const double* g = scratch.gaussians.data() + kGaussians * r;
    const double form = xray ? g[0] + g[1] + g[2] + g[3] + m_records[r]->f[8] : 0.0;
    scratch.recordFactors[r] = ScatteringFactorOf(*m_records[r], form, s2, m_kind);
  }
}

void CStructureFactorSum::CompositionFactors(const CScratch& scratch, double* factors) const {
  for (size_t c = 0; c < m_compositions.size(); ++c) {
    double f = 0.0;
    for (const auto& [record, occupancy] : m_compositions[c])
      f += scratch.recordFactors[record] * occupancy;
    factors[c] = f;
  }
}

CPhaseTerms CStructureFactorSum::Terms(const CScatterers& scatterers,
                                       const CScratch* weighted) const {
  const size_t begin = scatterers.begin;
  CPhaseTerms terms{m_coordinates[0].data() + begin, m_coordinates[1].data() + begin,
                    m_coordinates[2].data() + begin};
  terms.count = scatterers.end - begin;
  if (weighted) {
    terms.weights = weighted->weights.data() + begin;
    terms.ratios = weighted->ratios.data() + begin;
    terms.ratioSteps = weighted->ratioSteps.data() + begin;
  }
  return terms;
}

void CStructureFactorSum::Evaluate(const CReflexionRow& row, CScratch& scratch,
                                   std::pair<double, double>* f) const {
  const CPhaseRow& phases = row.phases;
  const size_t compositions = m_compositions.size();
  for (size_t i = 0; i < row.reflexions.size(); ++i) {
    RecordFactors(row.reflexions[i]->d, scratch);
    CompositionFactors(scratch, scratch.compositionFactors.data() + i * compositions);
    f[i] = {0.0, 0.0};
  }
  DisplacementFactors(m_displacementTerms, phases, scratch.displacementFactors.data(),
                      scratch.displacementRatios.data(), scratch.displacementRatioSteps.data());

  double sumCos[CPhaseRow::kMaxCount], sumSin[CPhaseRow::kMaxCount];
  double displacement[CPhaseRow::kMaxCount];
  for (const CScatterers& scatterers : m_scatterers) {
    if (scatterers.weighted) {
      for (size_t m = scatterers.begin; m < scatterers.end; ++m) {
        const auto t = static_cast<size_t>(m_positionDisplacements[m]);
        scratch.weights[m] = scratch.displacementFactors[t];
        if (phases.count == 1) continue;
        scratch.ratios[m] = scratch.displacementRatios[t];
        scratch.ratioSteps[m] = scratch.displacementRatioSteps[t];
      }
    }
    SumPhaseFactors(Terms(scatterers, scatterers.weighted ? &scratch : nullptr), phases, sumCos,
                    sumSin);
    // An unweighted group's one factor along the row, carried as the weights are.
    double factor = 1.0, ratio = 1.0, ratioStep = 1.0;
    if (!scatterers.weighted && scatterers.displacement >= 0) {
      const auto t = static_cast<size_t>(scatterers.displacement);
      factor = scratch.displacementFactors[t];
      ratio = scratch.displacementRatios[t];
      ratioStep = scratch.displacementRatioSteps[t];
    }
    for (size_t j = 0; j < phases.count; ++j) {
      displacement[j] = factor;
      factor *= ratio;
      ratio *= ratioStep;
    }
    for (size_t i = 0; i < row.reflexions.size(); ++i) {
      const auto j = static_cast<size_t>((row.reflexions[i]->l - phases.first.l) / phases.step);
      const double scale =
          scratch.compositionFactors[i * compositions + scatterers.composition] * displacement[j];
      f[i].first += scale * sumCos[j];
      f[i].second += scale * sumSin[j];
    }
  }
}

std::pair<double, double> CStructureFactorSum::Evaluate(const CTSReflexion& reflexion,
                                                        CScratch& scratch) const {
  CTSReflexion* const one[] = {const_cast<CTSReflexion*>(&reflexion)};
  std::pair<double, double> f;
  Evaluate({CPhaseRow{{reflexion.h, reflexion.k, reflexion.l}}, one}, scratch, &f);
  return f;
}

std::pair<double, double> CStructureFactorSum::EvaluateByTerms(const CTSReflexion& reflexion,
                                                               CScratch& scratch) const {
  const int h = reflexion.h, k = reflexion.k, l = reflexion.l;
  for (size_t t = 0; t < m_displacements.size(); ++t) {
    const auto& r = m_displacements[t].rotation;
    scratch.displacementFactors[t] = m_displacements[t].ellipsoid->Factor(
        h * r[0] + k * r[3] + l * r[6], h * r[1] + k * r[4] + l * r[7],
        h * r[2] + k * r[5] + l * r[8], reflexion.d);
  }
  for (size_t r = 0; r < m_records.size(); ++r)
    scratch.recordFactors[r] = ScatteringFactor(*m_records[r], 1.0, reflexion.d, m_kind);
  CompositionFactors(scratch, scratch.compositionFactors.data());
  double a = 0.0, b = 0.0;
  for (const CScatterers& scatterers : m_scatterers) {
    double f = scratch.compositionFactors[scatterers.composition];
    if (scatterers.weighted) {
      for (size_t m = scatterers.begin; m < scatterers.end; ++m)
        scratch.weights[m] =
            scratch.displacementFactors[static_cast<size_t>(m_positionDisplacements[m])];
    } else if (scatterers.displacement >= 0) {
      f *= scratch.displacementFactors[static_cast<size_t>(scatterers.displacement)];
    }
    CPhaseTerms terms = Terms(scatterers, scatterers.weighted ? &scratch : nullptr);
    terms.ratios = terms.ratioSteps = nullptr;
    const auto [sumCos, sumSin] = SumPhaseFactorsByTerms(terms, {h, k, l});
    a += f * sumCos;
    b += f * sumSin;
  }
  return {a, b};
}

std::vector<CReflexionRow> ReflexionRows(std::vector<CTSReflexion*>& reflexions) {
  std::sort(reflexions.begin(), reflexions.end(), [](const CTSReflexion* a, const CTSReflexion* b) {
    return std::tie(a->h, a->k, a->l) < std::tie(b->h, b->k, b->l);
  });
  std::vector<CReflexionRow> rows;
  for (size_t begin = 0, end = 0; begin < reflexions.size(); begin = end) {
    const CTSReflexion& first = *reflexions[begin];
    CPhaseRow phases{{first.h, first.k, first.l}};
    auto onRow = [&](const CTSReflexion& r) {
      if (r.h != first.h || r.k != first.k) return false;
      const int distance = r.l - first.l;
      if (distance <= 0) return false;
      if (phases.count == 1) phases.step = distance;
      return distance % phases.step == 0 &&
             static_cast<size_t>(distance / phases.step) < CPhaseRow::kMaxCount;
    };
    for (end = begin + 1; end < reflexions.size() && onRow(*reflexions[end]); ++end)
      phases.count = static_cast<size_t>((reflexions[end]->l - first.l) / phases.step) + 1;
    rows.push_back({phases, std::span(reflexions).subspan(begin, end - begin)});
  }
  return rows;
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
  std::vector<CStructureFactorSum::CScratch> scratches(static_cast<size_t>(CWorkTeam::Largest()));
  std::vector<std::vector<CHkl>> equivalents(scratches.size());
  for (size_t t = 0; t < scratches.size(); ++t) {
    scratches[t] = sum.NewScratch();
    if (orientation) equivalents[t].reserve(orientation->MaxEquivalents());
  }

  std::vector<CTSReflexion*> sorted(reflexions.size());
  std::transform(reflexions.begin(), reflexions.end(), sorted.begin(),
                 [](const auto& r) { return r.get(); });
  const std::vector<CReflexionRow> rows = ReflexionRows(sorted);

  const auto count = static_cast<int64_t>(rows.size());
  const bool parallel = reflexions.size() * sum.PositionCount() > kParallelWork;
  CWorkLimitPoll limit;
  // Borrowed threads are taken when a team opens: the rows go in several teams in turn, so that
  // threads freed meanwhile join the next. Each row is worked out alone, the same in any team.
  const int64_t segments = parallel && CWorkTeam::Borrowing() ? kBorrowingSegments : 1;
  for (int64_t segment = 0; segment < segments; ++segment) {
    const int64_t begin = count * segment / segments, end = count * (segment + 1) / segments;
    const CWorkTeam team(parallel);
#pragma omp parallel for schedule(dynamic, 1) num_threads(team.Size()) if (team.Size() > 1)
    for (int64_t i = begin; i < end; ++i) {
      if (limit.Stop()) continue;
      const auto thread = static_cast<size_t>(omp_get_thread_num());
      const CReflexionRow& row = rows[static_cast<size_t>(i)];
      std::pair<double, double> f[CPhaseRow::kMaxCount];
      sum.Evaluate(row, scratches[thread], f);
      for (size_t j = 0; j < row.reflexions.size(); ++j) {
        CTSReflexion& r = *row.reflexions[j];
        const auto [a, b] = f[j];
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
  }
  limit.Finish();
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
