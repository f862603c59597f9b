#include "diffraction/structure_factors.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <numeric>
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
// Per-term cosines and sines below this are zero, so that positions that cancel by symmetry
// cancel exactly.
constexpr double kZeroTerm = 1.1368683772161603e-13;
constexpr double kZeroIntensity = 1.8189894035458565e-12;
// Below this many terms a loop runs on the calling thread alone: waking the other threads
// would cost more than it saves.
constexpr size_t kParallelWork = 20000;

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

// Sum over positions m of exp(2 pi i (h x_m + k y_m + l z_m)), each term's cosine and sine
// set to zero below 2^-43. The phase factors are products of the three axis tables (E(-n) is
// the conjugate of E(n), hence the signs). Terms go into eight partial sums, position m into
// sum m mod 8, which are added in a fixed order at the end: the lanes stay in vector registers,
// and the result depends neither on the compiler's choices nor on the thread.
struct CTermRows {
  const double *xr, *xi, *yr, *yi, *zr, *zi;
  double sx, sy, sz;
};

// Two lanes: one SSE2 register, which every x86-64 processor has.
using CPair = double __attribute__((vector_size(2 * sizeof(double))));

CPair LoadPair(const double* p) {
  CPair v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Adds the terms of positions m and m + 1 into the lanes c and s, weighted by w[m] and w[m + 1]
// when there are weights.
template <bool kWeighted>
inline void AddPair(const CTermRows& t, const double* w, size_t m, CPair& c, CPair& s) {
  const CPair xr = LoadPair(t.xr + m), xi = t.sx * LoadPair(t.xi + m);
  const CPair yr = LoadPair(t.yr + m), yi = t.sy * LoadPair(t.yi + m);
  const CPair zr = LoadPair(t.zr + m), zi = t.sz * LoadPair(t.zi + m);
  const CPair pr = xr * yr - xi * yi, pi = xr * yi + xi * yr;
  CPair cosine = pr * zr - pi * zi, sine = pr * zi + pi * zr;
  cosine = (cosine < kZeroTerm && cosine > -kZeroTerm) ? 0.0 : cosine;
  sine = (sine < kZeroTerm && sine > -kZeroTerm) ? 0.0 : sine;
  if constexpr (kWeighted) {
    const CPair weight = LoadPair(w + m);
    cosine *= weight;
    sine *= weight;
  }
  c += cosine;
  s += sine;
}

// The sum over positions begin..end; `w` is indexed by position like the tables.
template <bool kWeighted>
std::pair<double, double> SumTerms(const CTermRows& t, const double* w, size_t begin, size_t end) {
  CPair c0{}, c1{}, c2{}, c3{}, s0{}, s1{}, s2{}, s3{};
  size_t m = begin;
  for (; m + 8 <= end; m += 8) {
    AddPair<kWeighted>(t, w, m, c0, s0);
    AddPair<kWeighted>(t, w, m + 2, c1, s1);
    AddPair<kWeighted>(t, w, m + 4, c2, s2);
    AddPair<kWeighted>(t, w, m + 6, c3, s3);
  }
  double c[8] = {c0[0], c0[1], c1[0], c1[1], c2[0], c2[1], c3[0], c3[1]};
  double s[8] = {s0[0], s0[1], s1[0], s1[1], s2[0], s2[1], s3[0], s3[1]};
  for (size_t lane = 0; m < end; ++m, ++lane) {
    const double xr = t.xr[m], xi = t.sx * t.xi[m], yr = t.yr[m], yi = t.sy * t.yi[m];
    const double zr = t.zr[m], zi = t.sz * t.zi[m];
    const double pr = xr * yr - xi * yi, pi = xr * yi + xi * yr;
    double cosine = pr * zr - pi * zi, sine = pr * zi + pi * zr;
    cosine = std::abs(cosine) < kZeroTerm ? 0.0 : cosine;
    sine = std::abs(sine) < kZeroTerm ? 0.0 : sine;
    if constexpr (kWeighted) cosine *= w[m], sine *= w[m];
    c[lane] += cosine;
    s[lane] += sine;
  }
  return {((c[0] + c[1]) + (c[2] + c[3])) + ((c[4] + c[5]) + (c[6] + c[7])),
          ((s[0] + s[1]) + (s[2] + s[3])) + ((s[4] + s[5]) + (s[6] + s[7]))};
}

// Reflexions ordered by their absolute indices, so that consecutive ones read the same rows
// of the phase tables while they are still in the cache.
std::vector<size_t> TableFriendlyOrder(const std::vector<std::shared_ptr<CTSReflexion>>& reflexions) {
  std::vector<size_t> order(reflexions.size());
  std::iota(order.begin(), order.end(), size_t{0});
  auto key = [&](size_t i) {
    const CTSReflexion& r = *reflexions[i];
    return std::make_tuple(std::abs(r.h), std::abs(r.k), std::abs(r.l));
  };
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return key(a) < key(b); });
  return order;
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

CStructureFactorSum::CStructureFactorSum(const CTSCrystal& crystal, CScatteringKind kind,
                                         const std::vector<std::shared_ptr<CTSReflexion>>& reflexions)
    : m_kind(kind) {
  // A run of included sites of one group takes its scattering factor from the run's first
  // site; equal species and equal displacement records then share one evaluation per
  // reflexion, and their positions one weighted sum.
  using CGroupKey = std::tuple<size_t, int, bool>;  // composition, displacement, turns
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
    const CGroupKey key{composition, displacement, turns};
    auto [group, added] = groups.try_emplace(key);
    if (added) order.push_back(key);
    for (size_t i = 0; i < site.positions.size(); ++i)
      group->second.emplace_back(&site.positions[i],
                                 turns ? entry(SignFree(site.rotations[i])) : displacement);
  }

  std::vector<double> coordinates[3];
  for (const CGroupKey& key : order) {
    const auto& positions = groups[key];
    const auto [composition, displacement, turns] = key;
    m_scatterers.push_back({composition, turns ? -1 : displacement, m_positionCount,
                            m_positionCount + positions.size(), turns});
    m_positionCount += positions.size();
    for (const auto& [p, entry] : positions) {
      for (int axis = 0; axis < 3; ++axis) coordinates[axis].push_back((*p)[axis]);
      m_positionDisplacements.push_back(entry);
    }
  }

  int32_t maximum[3] = {0, 0, 0};
  for (const auto& r : reflexions) {
    maximum[0] = std::max(maximum[0], std::abs(r->h));
    maximum[1] = std::max(maximum[1], std::abs(r->k));
    maximum[2] = std::max(maximum[2], std::abs(r->l));
  }
  for (int axis = 0; axis < 3; ++axis) m_tables[axis] = BuildTable(coordinates[axis], maximum[axis]);
}

CStructureFactorSum::CPhaseTable CStructureFactorSum::BuildTable(const std::vector<double>& coordinates,
                                                                 int32_t maximum) const {
  CPhaseTable table;
  const size_t count = coordinates.size();
  const size_t rows = static_cast<size_t>(maximum) + 1;
  table.re.resize(rows * count);
  table.im.resize(rows * count);
#pragma omp parallel for schedule(dynamic, 1) if (rows * count > kParallelWork)
  for (int32_t n = 0; n <= maximum; ++n) {
    // Pointer arithmetic rather than indexing: a crystal without positions has empty tables.
    double* re = table.re.data() + static_cast<size_t>(n) * count;
    double* im = table.im.data() + static_cast<size_t>(n) * count;
    for (size_t m = 0; m < count; ++m) {
      const double phi = VHTypes::kTwoPi * (n * coordinates[m]);
      re[m] = std::cos(phi);
      im[m] = std::sin(phi);
    }
  }
  return table;
}

CStructureFactorSum::CScratch CStructureFactorSum::NewScratch() const {
  CScratch scratch;
  scratch.compositionFactors.resize(m_compositions.size());
  scratch.displacementFactors.resize(m_displacements.size());
  scratch.weights.resize(m_positionCount);
  return scratch;
}

std::pair<double, double> CStructureFactorSum::Evaluate(const CTSReflexion& reflexion,
                                                        CScratch& scratch) const {
  const double d = reflexion.d;
  for (size_t c = 0; c < m_compositions.size(); ++c) {
    double f = 0.0;
    for (const CTSAtom& atom : m_compositions[c]->atoms)
      f += ScatteringFactor(atom.scattering, atom.occupancy, d, m_kind);
    scratch.compositionFactors[c] = f;
  }
  for (size_t t = 0; t < m_displacements.size(); ++t) {
    const auto& r = m_displacements[t].rotation;
    const int h = reflexion.h, k = reflexion.k, l = reflexion.l;
    scratch.displacementFactors[t] = m_displacements[t].ellipsoid->Factor(
        h * r[0] + k * r[3] + l * r[6], h * r[1] + k * r[4] + l * r[7],
        h * r[2] + k * r[5] + l * r[8], d);
  }

  auto row = [this](int axis, int32_t index, const double*& re, const double*& im, double& sign) {
    const size_t offset = static_cast<size_t>(std::abs(index)) * m_positionCount;
    re = m_tables[axis].re.data() + offset;
    im = m_tables[axis].im.data() + offset;
    sign = index < 0 ? -1.0 : 1.0;
  };
  CTermRows rows;
  row(0, reflexion.h, rows.xr, rows.xi, rows.sx);
  row(1, reflexion.k, rows.yr, rows.yi, rows.sy);
  row(2, reflexion.l, rows.zr, rows.zi, rows.sz);

  double a = 0.0, b = 0.0;
  for (const CScatterers& scatterers : m_scatterers) {
    double f = scratch.compositionFactors[scatterers.composition];
    std::pair<double, double> sum;
    if (scatterers.turns) {
      double* weights = scratch.weights.data();
      for (size_t m = scatterers.begin; m < scatterers.end; ++m)
        weights[m] = scratch.displacementFactors[static_cast<size_t>(m_positionDisplacements[m])];
      sum = SumTerms<true>(rows, weights, scatterers.begin, scatterers.end);
    } else {
      if (scatterers.displacement >= 0)
        f *= scratch.displacementFactors[static_cast<size_t>(scatterers.displacement)];
      sum = SumTerms<false>(rows, nullptr, scatterers.begin, scatterers.end);
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
  const CStructureFactorSum sum(crystal, ScatteringKindOf(radiation.SimulationType()), reflexions);
  const double volumeSquared = crystal.volume * crystal.volume;
  const std::vector<size_t> order = TableFriendlyOrder(reflexions);

  // Working space for every thread is made here: nothing inside the parallel loop allocates,
  // so nothing in it can throw.
  std::vector<CStructureFactorSum::CScratch> scratches(static_cast<size_t>(omp_get_max_threads()));
  std::vector<std::vector<CHkl>> equivalents(scratches.size());
  for (size_t t = 0; t < scratches.size(); ++t) {
    scratches[t] = sum.NewScratch();
    if (orientation) equivalents[t].reserve(orientation->MaxEquivalents());
  }

  const auto count = static_cast<int64_t>(order.size());
  const bool parallel = order.size() * sum.PositionCount() > kParallelWork;
#pragma omp parallel for schedule(dynamic, 1) if (parallel)
  for (int64_t i = 0; i < count; ++i) {
    const auto thread = static_cast<size_t>(omp_get_thread_num());
    CTSReflexion& r = *reflexions[order[static_cast<size_t>(i)]];
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
