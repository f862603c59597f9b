#include "diffraction/reflexion_generator.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <new>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include <parallel/algorithm>  // libstdc++'s sorts on OpenMP threads

#include "app/cancellable.h"
#include "app/status.h"
#include "app/status_log.h"
#include "app/work_team.h"
#include "crystal/crystal.h"
#include "crystal/spacegroups.h"
#include "diffraction/reflexion.h"
#include "diffraction/reflexion_symmetry.h"
#include "errors/exceptions.h"
#include "radiation/radiation_spec.h"

namespace {

constexpr double kDefaultDLimit = 0.1;
constexpr double kMinimumDLimit = 0.009999999776482582;  // 0.01 in single precision
constexpr int32_t kMaxIndex = 32767;
constexpr uint64_t kMaxEstimate = 192153584101141162ull;
constexpr double kTighteningStep = 1.01;
// Equivalent reflexions merge only when their d-spacings agree this closely, so a cell that
// does not have the symmetry of its group keeps them apart.
constexpr double kSameD = 9.999999747378752e-06;
constexpr size_t kManyReflexions = 100000;
// Searches expected to find more candidates than this share the work between threads.
constexpr double kParallelCandidates = 200000.0;
// A reflexion as the list holds it: the record in its shared block, and the pointer.
constexpr double kBytesPerReflexion =
    sizeof(CTSReflexion) + 32.0 + sizeof(std::shared_ptr<CTSReflexion>);
constexpr double kBytesPerGigabyte = 1024.0 * 1024.0 * 1024.0;
constexpr const char* kCapWarningEnd = "Raise the limit, or lift it, to keep them all.";

// Progress texts.
constexpr unsigned kGeneratingText = 3706;
constexpr unsigned kMergingText = 3709;
constexpr unsigned kOptimisingText = 3710;
constexpr unsigned kSortingText = 3727;

// A triple that passed the d-spacing and absence tests; multiplicity 0 once merged away.
// Indices never exceed 32767 in magnitude and multiplicities stay in the hundreds, so the
// record packs into 16 bytes: a search touches far less memory.
struct CCandidate {
  int16_t h, k, l;
  int16_t multiplicity;
  double d;

  CHkl Hkl() const { return {h, k, l}; }
  void SetHkl(const CHkl& hkl) {
    h = static_cast<int16_t>(hkl.h);
    k = static_cast<int16_t>(hkl.k);
    l = static_cast<int16_t>(hkl.l);
  }
};

int32_t ClampedBound(double bound) {
  bound = std::floor(bound);
  if (!(bound >= 1.0)) return 1;  // NaN included
  if (bound > kMaxIndex) return kMaxIndex;
  return static_cast<int32_t>(bound);
}

// (2H+1)(2K+1)(2L+1) - 1 triples other than (0 0 0).
uint64_t Estimate(const CIndexBounds& bounds) {
  const uint64_t box = static_cast<uint64_t>(2 * bounds.h + 1) * static_cast<uint64_t>(2 * bounds.k + 1) *
                       static_cast<uint64_t>(2 * bounds.l + 1);
  return std::min(box - 1, kMaxEstimate);
}

// The space-group absence test during the enumeration. Summing cos and sin of every
// operator's phase is the costly part of the search, so the phases come from tables of
// exp(2 pi i h v) per operator and index, multiplied row by row. Those products agree with the
// direct sum to about 1e-15, far inside the 1.8e-12 threshold; a sum that comes out small is
// decided by the direct evaluation all the same, so the outcome is the direct rule's.
class CAbsenceTables {
 public:
  CAbsenceTables(const CReflexionSymmetry& symmetry, const CIndexBounds& bounds)
      : m_symmetry(symmetry), m_ops(symmetry.TrialImages().size()), m_h(bounds.h), m_k(bounds.k) {
    Fill(m_x, -bounds.h, bounds.h, 0);
    Fill(m_y, -bounds.k, bounds.k, 1);
    Fill(m_z, 0, bounds.l, 2);
    m_row.re.resize(m_ops);
    m_row.im.resize(m_ops);
  }

  // Products of the h and k tables for one row of the search.
  void BeginRow(int32_t h, int32_t k) {
    const size_t x = m_ops * static_cast<size_t>(h + m_h), y = m_ops * static_cast<size_t>(k + m_k);
    const double *xr = &m_x.re[x], *xi = &m_x.im[x], *yr = &m_y.re[y], *yi = &m_y.im[y];
    double *rr = m_row.re.data(), *ri = m_row.im.data();
#pragma omp simd
    for (size_t j = 0; j < m_ops; ++j) {
      rr[j] = xr[j] * yr[j] - xi[j] * yi[j];
      ri[j] = xr[j] * yi[j] + xi[j] * yr[j];
    }
  }

  bool IsAbsent(const CHkl& hkl) const {
    const size_t z = m_ops * static_cast<size_t>(hkl.l);
    const double *zr = &m_z.re[z], *zi = &m_z.im[z];
    const double *rr = m_row.re.data(), *ri = m_row.im.data();
    double cosines = 0.0, sines = 0.0;
    // Only the size of the sums matters here, so they may be added in any order.
#pragma omp simd reduction(+ : cosines, sines)
    for (size_t j = 0; j < m_ops; ++j) {
      cosines += rr[j] * zr[j] - ri[j] * zi[j];
      sines += rr[j] * zi[j] + ri[j] * zr[j];
    }
    constexpr double kUndecided = 1e-9;
    if (std::abs(cosines) >= kUndecided || std::abs(sines) >= kUndecided) return false;
    return m_symmetry.IsSpaceGroupAbsent(hkl);
  }

 private:
  struct CTable {
    std::vector<double> re, im;  // exp(2 pi i n v) of the operators of one n side by side
  };

  // exp(2 pi i n v[axis]) for n = from..to.
  void Fill(CTable& table, int32_t from, int32_t to, int axis) {
    const size_t size = m_ops * static_cast<size_t>(to - from + 1);
    table.re.resize(size);
    table.im.resize(size);
    size_t at = 0;
    for (int32_t n = from; n <= to; ++n) {
      for (const VHTypes::CVector& v : m_symmetry.TrialImages()) {
        const double phi = VHTypes::kTwoPi * (n * v[axis]);
        table.re[at] = std::cos(phi);
        table.im[at++] = std::sin(phi);
      }
    }
  }

  const CReflexionSymmetry& m_symmetry;
  size_t m_ops;
  int32_t m_h, m_k;
  CTable m_x, m_y, m_z, m_row;
};

// The l values of row (h, k) that can lie inside the limiting sphere: the roots of the
// quadratic h^T G* h = 1/dLimit^2 in l, widened so that rounding never loses a triple (each is
// then tested exactly). The whole range when the metric gives no usable roots.
std::pair<int32_t, int32_t> LRange(const CTSCrystal& crystal, double dLimit, int32_t h, int32_t k,
                                   int32_t lMax) {
  const auto& g = crystal.reciprocalMetric;
  const double a = g[8];
  const double b = h * g[2] + k * g[5];
  const double c = h * (h * g[0]) + k * (k * g[4]) + 2.0 * h * (k * g[1]);
  const double target = (1.0 + 1e-9) / (dLimit * dLimit);
  const double discriminant = b * b - a * (c - target);
  if (!(a > 0.0) || !std::isfinite(a) || !std::isfinite(discriminant)) return {1, lMax};
  if (discriminant < 0.0) return {1, 0};
  const double root = std::sqrt(discriminant);
  const double top = lMax;
  const double low = std::clamp(std::floor((-b - root) / a) - 1.0, 1.0, top + 1.0);
  const double high = std::clamp(std::ceil((-b + root) / a) + 1.0, 0.0, top);
  return {static_cast<int32_t>(low), static_cast<int32_t>(high)};
}

// Appends the triples (h, k, l), l = lFrom..lTo, that are longer-spaced than the limit and not
// absent.
void AddRow(const CTSCrystal& crystal, const CReflexionSymmetry& symmetry, double dLimit,
            CAbsenceTables* tables, int32_t h, int32_t k, int32_t lFrom, int32_t lTo,
            std::vector<CCandidate>& candidates) {
  bool rowStarted = false;
  for (int32_t l = lFrom; l <= lTo; ++l) {
    const double d = crystal.DSpacing(h, k, l);
    if (!(d > dLimit)) continue;
    const CHkl hkl{h, k, l};
    if (symmetry.IsLatticeAbsent(hkl)) continue;
    if (tables) {
      if (!rowStarted) tables->BeginRow(h, k);
      rowStarted = true;
      if (tables->IsAbsent(hkl)) continue;
    }
    candidates.push_back(
        {static_cast<int16_t>(h), static_cast<int16_t>(k), static_cast<int16_t>(l), 2, d});
  }
}

// Every triple of one half of reciprocal space inside the bounds that is longer-spaced than
// the limit and not absent, in the order (h,0,0), (h,k,0), (h,k,l) with l > 0. Many triples
// are searched by a team of threads, slice by slice of h, and the slices joined in order: the
// same list for any team.
std::vector<CCandidate> Enumerate(const CTSCrystal& crystal, const CReflexionSymmetry& symmetry,
                                  double dLimit, const CIndexBounds& bounds) {
  const double expected = EstimatedCandidates(crystal, dLimit);
  const bool parallel = expected > kParallelCandidates;
  std::vector<CCandidate> candidates;
  // The box of the bounds can hold many times the points of the sphere in an oblique cell.
  if (!parallel)
    candidates.reserve(
        static_cast<size_t>(std::min(1.1 * expected, static_cast<double>(bounds.estimate / 2))) +
        16);
  std::optional<CAbsenceTables> tables;
  if (symmetry.HasSpaceGroupAbsences()) tables.emplace(symmetry, bounds);

  const int32_t hMax = bounds.h, kMax = bounds.k, lMax = bounds.l;
  for (int32_t h = 1; h <= hMax; ++h)
    AddRow(crystal, symmetry, dLimit, tables ? &*tables : nullptr, h, 0, 0, 0, candidates);
  for (int32_t h = -hMax; h <= hMax; ++h)
    for (int32_t k = 1; k <= kMax; ++k)
      AddRow(crystal, symmetry, dLimit, tables ? &*tables : nullptr, h, k, 0, 0, candidates);

  std::vector<std::vector<CCandidate>> slices(static_cast<size_t>(2 * hMax + 1));
  CWorkLimitPoll limit;
  const CWorkTeam team(parallel);
#pragma omp parallel num_threads(team.Size()) if (team.Size() > 1) firstprivate(tables)
  {
#pragma omp for schedule(dynamic, 1)
    for (int32_t h = -hMax; h <= hMax; ++h) {
      if (limit.Stop()) continue;
      std::vector<CCandidate>& slice = slices[static_cast<size_t>(h + hMax)];
      for (int32_t k = -kMax; k <= kMax; ++k) {
        const auto [lFrom, lTo] = LRange(crystal, dLimit, h, k, lMax);
        AddRow(crystal, symmetry, dLimit, tables ? &*tables : nullptr, h, k, lFrom, lTo, slice);
      }
    }
  }
  limit.Finish();
  size_t total = candidates.size();
  for (const std::vector<CCandidate>& slice : slices) total += slice.size();
  candidates.reserve(total);
  for (std::vector<CCandidate>& slice : slices) {
    candidates.insert(candidates.end(), slice.begin(), slice.end());
    std::vector<CCandidate>().swap(slice);
  }
  return candidates;
}

// Where each candidate stands in the enumeration, looked up by its indices: the plane l = 0
// holds at most one candidate per (h, k); above it each row (h, k) is one run of the list in
// ascending l.
class CCandidateIndex {
 public:
  CCandidateIndex(const CIndexBounds& bounds, const std::vector<CCandidate>& candidates)
      : m_candidates(candidates), m_h(bounds.h), m_k(bounds.k), m_l(bounds.l) {
    if (candidates.size() >= std::numeric_limits<uint32_t>::max()) throw std::bad_alloc();
    const size_t columns = static_cast<size_t>(2 * m_h + 1);
    m_plane.assign(columns * static_cast<size_t>(m_k + 1), 0);
    m_rows.assign(columns * static_cast<size_t>(2 * m_k + 1), CRow{0, 0});
    for (size_t i = 0; i < candidates.size(); ++i) {
      const CCandidate& c = candidates[i];
      if (c.l == 0) {
        m_plane[PlaneSlot(c.h, c.k)] = static_cast<uint32_t>(i + 1);
        continue;
      }
      CRow& row = m_rows[RowSlot(c.h, c.k)];
      if (row.begin == row.end) row.begin = static_cast<uint32_t>(i);
      row.end = static_cast<uint32_t>(i + 1);
    }
  }

  std::optional<size_t> Find(const CHkl& hkl) const {
    const auto [h, k, l] = hkl;
    if (h < -m_h || h > m_h || k < -m_k || k > m_k || l < 0 || l > m_l) return std::nullopt;
    if (l == 0) {
      if (k < 0 || (k == 0 && h <= 0)) return std::nullopt;  // the other half
      const uint32_t slot = m_plane[PlaneSlot(h, k)];
      if (slot == 0) return std::nullopt;
      return slot - 1;
    }
    const CRow& row = m_rows[RowSlot(h, k)];
    const auto begin = m_candidates.begin() + row.begin, end = m_candidates.begin() + row.end;
    const auto found = std::lower_bound(begin, end, l, [](const CCandidate& c, int32_t value) { return c.l < value; });
    if (found == end || found->l != l) return std::nullopt;
    return static_cast<size_t>(found - m_candidates.begin());
  }

 private:
  struct CRow {
    uint32_t begin, end;
  };

  size_t PlaneSlot(int32_t h, int32_t k) const {
    return static_cast<size_t>(h + m_h) * static_cast<size_t>(m_k + 1) + static_cast<size_t>(k);
  }
  size_t RowSlot(int32_t h, int32_t k) const {
    return static_cast<size_t>(h + m_h) * static_cast<size_t>(2 * m_k + 1) + static_cast<size_t>(k + m_k);
  }

  const std::vector<CCandidate>& m_candidates;
  int32_t m_h, m_k, m_l;
  std::vector<uint32_t> m_plane;  // candidate position + 1, 0 for none
  std::vector<CRow> m_rows;
};

// Merges into each candidate the later candidates that are its equivalents, or (in a crystal
// without inversion) their Friedel mates, of equal d-spacing; returns the number of unique
// reflexions. A Friedel mate scatters as its reflexion does, and counting it in the multiplicity
// keeps the multiplicity equal to the number of equivalents that the preferred-orientation
// correction sums over.
size_t Merge(std::vector<CCandidate>& candidates, const CReflexionSymmetry& symmetry,
             const CIndexBounds& bounds) {
  CStatus status(kMergingText);
  const CCandidateIndex index(bounds, candidates);
  const bool mates = !symmetry.HasInversion();
  size_t unique = 0;
  std::vector<CHkl> images;
  for (size_t i = 0; i < candidates.size(); ++i) {
    CCandidate& candidate = candidates[i];
    if (candidate.multiplicity == 0) continue;
    ++unique;
    const CHkl self = candidate.Hkl();
    auto merge = [&](const CHkl& e) {
      if (e == self || e == -self) return;
      const std::optional<size_t> j = index.Find(e);
      if (!j || *j <= i) return;
      CCandidate& other = candidates[*j];
      if (std::abs(candidate.d - other.d) >= kSameD) return;
      if (IsBetterIndexTriple(e, candidate.Hkl())) candidate.SetHkl(e);
      candidate.multiplicity = static_cast<int16_t>(candidate.multiplicity + other.multiplicity);
      other.multiplicity = 0;
      other.d = 0.0;
    };
    symmetry.Images(self, images);
    for (const CHkl& e : images) {
      merge(e);
      if (mates) merge(-e);
    }
  }
  return unique;
}

int NonNegativeExcess(const CHkl& a) {
  return (a.h >= 0 ? 1 : -1) + (a.k >= 0 ? 1 : -1) + (a.l >= 0 ? 1 : -1);
}

}  // namespace

CReflexionLimits ReflexionLimits(const CRadiationSpec& radiation) {
  CReflexionLimits limits;
  switch (radiation.AxisType()) {
    case VHTypes::kAxisTwoTheta:
    case VHTypes::kAxisDSpacing:
    case VHTypes::kAxisInverseD:
    case VHTypes::kAxisQ:
      limits.dLimit = radiation.Wavelength() / 2.0;
      break;
    default:
      limits.dLimit = kDefaultDLimit;
      break;
  }
  if (radiation.DMin() > limits.dLimit) limits.dLimit = radiation.DMin();
  if (radiation.RestrictMaxNumRefs()) limits.cap = radiation.MaxNumRefs();
  return limits;
}

CIndexBounds IndexBounds(const CTSCrystal& crystal, double dLimit) {
  const double s = 1.0 / dLimit;
  const auto& g = crystal.reciprocalMetric;
  CIndexBounds bounds{ClampedBound(s / std::sqrt(g[0])), ClampedBound(s / std::sqrt(g[4])),
                      ClampedBound(s / std::sqrt(g[8])), 0};
  bounds.estimate = Estimate(bounds);
  return bounds;
}

CIndexBounds SearchBounds(const CTSCrystal& crystal, double dLimit) {
  // |h| = |d* . a| <= |d*| |a| < s |a|; the margin covers the rounding of the product.
  const double s = (1.0 + 1e-9) / dLimit;
  const auto& g = crystal.directMetric;
  CIndexBounds bounds = IndexBounds(crystal, dLimit);
  bounds.h = std::max(bounds.h, ClampedBound(s * std::sqrt(g[0])));
  bounds.k = std::max(bounds.k, ClampedBound(s * std::sqrt(g[4])));
  bounds.l = std::max(bounds.l, ClampedBound(s * std::sqrt(g[8])));
  bounds.estimate = Estimate(bounds);
  return bounds;
}

double CapTightenedDLimit(const CTSCrystal& crystal, double dLimit, int32_t cap) {
  const auto& ops = crystal.symmetryOperators;
  const bool centric = std::any_of(ops.begin(), ops.end(), [](const CTSSymOp& op) { return op.IsInversion(); });
  const double operators = static_cast<double>(ops.size()) - (centric ? 1.0 : 0.0);
  const double bound = 2.0 * CentringMultiplicity(crystal) * operators * cap;
  auto exceeds = [bound](const CIndexBounds& b) { return static_cast<double>(b.estimate / 2) > bound; };

  CIndexBounds current = IndexBounds(crystal, dLimit);
  // Stops as well when the bounds cannot shrink any further, which a tiny cap would never
  // reach otherwise.
  while (exceeds(current) && !(current.h == 1 && current.k == 1 && current.l == 1)) {
    const double tried = kTighteningStep * dLimit;
    if (!std::isfinite(tried)) break;
    const CIndexBounds triedBounds = IndexBounds(crystal, tried);
    if (!exceeds(triedBounds)) break;  // one step further would leave too few
    dLimit = tried;
    current = triedBounds;
  }
  return dLimit;
}

bool IsBetterIndexTriple(const CHkl& a, const CHkl& b) {
  if (std::abs(a.h) != std::abs(b.h)) return std::abs(a.h) < std::abs(b.h);
  if (std::abs(a.k) != std::abs(b.k)) return std::abs(a.k) < std::abs(b.k);
  if (std::abs(a.l) != std::abs(b.l)) return std::abs(a.l) < std::abs(b.l);
  if (NonNegativeExcess(a) != NonNegativeExcess(b)) return NonNegativeExcess(a) > NonNegativeExcess(b);
  if (a.h != b.h) return a.h > b.h;
  if (a.k != b.k) return a.k > b.k;
  return a.l > b.l;
}

double EstimatedCandidates(const CTSCrystal& crystal, double dLimit) {
  const double s = 1.0 / dLimit;
  const double centring = static_cast<double>(CentringTranslations(crystal.latticeLetter).size());
  const double points = 2.0 / 3.0 * VHTypes::kPi * s * s * s * crystal.volume / centring;
  return std::isfinite(points) && points > 0.0 ? points : 0.0;  // a degenerate cell has none
}

double EstimatedReflexionMemory(double candidates, std::optional<int32_t> cap) {
  const double listed =
      cap ? std::min(candidates, static_cast<double>(std::max(*cap, 0))) : candidates;
  return candidates * sizeof(CCandidate) + listed * kBytesPerReflexion;
}

namespace {

double QuarterOfTheMachine() {
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return 4.0 * kBytesPerGigabyte;
  return static_cast<double>(pages) * static_cast<double>(pageSize) / 4.0;
}

std::atomic<double> reflexionMemoryBudget{QuarterOfTheMachine()};

}  // namespace

double ReflexionMemoryBudget() {
  return reflexionMemoryBudget.load(std::memory_order_relaxed);
}
void SetReflexionMemoryBudget(double bytes) {
  reflexionMemoryBudget.store(bytes, std::memory_order_relaxed);
}
double DefaultReflexionMemoryBudget() {
  return QuarterOfTheMachine();
}

namespace {

// The limit the search runs to: never below the smallest the generator takes, and raised as
// far as the cap allows.
double SearchDLimit(const CTSCrystal& crystal, const CReflexionLimits& limits) {
  double dLimit = limits.dLimit;
  if (!(dLimit >= kMinimumDLimit)) dLimit = kMinimumDLimit;
  if (limits.cap) dLimit = CapTightenedDLimit(crystal, dLimit, *limits.cap);
  return dLimit;
}

// The unique reflexions longer-spaced than `dLimit`, merged; multiplicity 0 marks those merged
// away. The second member is their number.
std::pair<std::vector<CCandidate>, size_t> UniqueCandidates(const CTSCrystal& crystal,
                                                            const CReflexionSymmetry& symmetry,
                                                            double dLimit) {
  const CIndexBounds bounds = SearchBounds(crystal, dLimit);
  std::vector<CCandidate> candidates = Enumerate(crystal, symmetry, dLimit, bounds);
  const size_t unique =
      symmetry.HasSpaceGroupAbsences() ? Merge(candidates, symmetry, bounds) : candidates.size();
  return {std::move(candidates), unique};
}

// The most candidates a count of a capped list's full range may examine: a few tens of
// megabytes and well under a second, beside a search the cap kept small.
constexpr double kCountableCandidates = 2e6;

// How many unique reflexions lie within the limit before the cap raised it, and whether that
// is the whole number. Counting them all would cost what the cap was set to avoid when there
// are very many; then those within the largest range that stays cheap give a lower bound.
std::pair<size_t, bool> ReflexionsInFullRange(const CTSCrystal& crystal,
                                              const CReflexionSymmetry& symmetry, double fullDLimit,
                                              size_t foundWithinCap) {
  const double candidates = EstimatedCandidates(crystal, fullDLimit);
  double dLimit = fullDLimit;
  // The estimate grows with the cube of 1/d.
  if (candidates > kCountableCandidates) dLimit *= std::cbrt(candidates / kCountableCandidates);
  const size_t counted = UniqueCandidates(crystal, symmetry, dLimit).second;
  return {std::max(counted, foundWithinCap), dLimit == fullDLimit};
}

}  // namespace

namespace {

// The alert that refuses a list beyond the memory budget, naming its size; none when it fits.
std::optional<CVHXReflexionMemory> MemoryRefusal(const CTSCrystal& crystal,
                                                 const CReflexionLimits& limits) {
  const double expected = EstimatedCandidates(crystal, SearchDLimit(crystal, limits));
  const double memory = EstimatedReflexionMemory(expected, limits.cap);
  if (memory <= ReflexionMemoryBudget()) return std::nullopt;
  return CVHXReflexionMemory(kSeverityMessage, 0, 0, expected / 1e6, memory / kBytesPerGigabyte,
                             ReflexionMemoryBudget() / kBytesPerGigabyte);
}

}  // namespace

bool ExceedsReflexionMemoryBudget(const CTSCrystal& crystal, const CReflexionLimits& limits) {
  return MemoryRefusal(crystal, limits).has_value();
}

void RefuseBeyondReflexionMemoryBudget(const CTSCrystal& crystal, const CReflexionLimits& limits) {
  if (std::optional<CVHXReflexionMemory> refusal = MemoryRefusal(crystal, limits)) throw *refusal;
}

bool IsReflexionCapWarning(std::string_view line) {
  return line.find(kCapWarningEnd) != std::string_view::npos;
}

bool GenerateReflexions(CTSCrystal& crystal, const CReflexionLimits& limits) {
  CStatus status(kGeneratingText);
  crystal.reflexions.clear();

  const double dLimit = SearchDLimit(crystal, limits);

  // Refused before anything is allocated, rather than after the machine has begun to swap.
  if (std::optional<CVHXReflexionMemory> refusal = MemoryRefusal(crystal, limits)) {
    refusal->Report();
    return false;
  }

  const CReflexionSymmetry symmetry(crystal);
  auto [candidates, unique] = UniqueCandidates(crystal, symmetry, dLimit);

  {
    CStatus sorting(kSortingText, candidates.size());
    std::erase_if(candidates, [](const CCandidate& c) { return c.multiplicity == 0; });
    // Equal d-spacings keep their enumeration order, so the list is the same on every platform
    // and for any number of threads sorting it.
    auto longerSpaced = [](const CCandidate& a, const CCandidate& b) { return a.d > b.d; };
    __gnu_parallel::stable_sort(candidates.begin(), candidates.end(), longerSpaced);
  }
  {
    CStatus optimising(kOptimisingText, unique);
    for (CCandidate& candidate : candidates) {
      const CHkl negative = -candidate.Hkl();
      if (IsBetterIndexTriple(negative, candidate.Hkl())) candidate.SetHkl(negative);
    }
  }

  size_t count = candidates.size();
  if (limits.cap) {
    count = std::min(count, static_cast<size_t>(std::max(*limits.cap, 0)));
    // A list cut short changes the pattern at its high-angle end: never without a word, and
    // with the number the user would get without the cap, not the number of the narrowed search.
    if (count < candidates.size()) {
      const double fullDLimit = std::max(limits.dLimit, kMinimumDLimit);
      const auto [inRange, whole] =
          dLimit > fullDLimit
              ? ReflexionsInFullRange(crystal, symmetry, fullDLimit, candidates.size())
              : std::pair{candidates.size(), true};
      LogStatus(
          Formatted("Warning: %zu of the %s%zu reflexions in range are kept, those of "
                    "largest d-spacing: their number is limited. %s",
                    count, whole ? "" : "more than ", inRange, kCapWarningEnd));
    }
  } else if (count > kManyReflexions) {
    CVHXLotsOfRefs question(kSeverityQuestion, 0, 0, static_cast<double>(count) / 1e6,
                            static_cast<double>(kManyReflexions) / 1e6);
    if (!question.Report()) count = kManyReflexions;  // "Truncate"
  }

  crystal.reflexions.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const CCandidate& c = candidates[i];
    auto reflexion = std::make_shared<CTSReflexion>();
    reflexion->h = c.h;
    reflexion->k = c.k;
    reflexion->l = c.l;
    reflexion->multiplicity = c.multiplicity;
    const int64_t n = int64_t{c.h} * c.h + int64_t{c.k} * c.k + int64_t{c.l} * c.l;
    reflexion->n = static_cast<int32_t>(n);
    reflexion->d = c.d;
    crystal.reflexions.push_back(std::move(reflexion));
  }
  return !crystal.reflexions.empty();
}

std::shared_ptr<CTSReflexion> FindReflexion(const CTSCrystal& crystal, const CHkl& hkl) {
  const CReflexionSymmetry symmetry(crystal);
  std::vector<CHkl> equivalents;
  symmetry.Equivalents(hkl, true, equivalents);
  for (const auto& reflexion : crystal.reflexions) {
    const CHkl indices{reflexion->h, reflexion->k, reflexion->l};
    if (std::find(equivalents.begin(), equivalents.end(), indices) != equivalents.end())
      return reflexion;
  }
  return nullptr;
}
