#include "diffraction/phase_sum.h"

#include <algorithm>
#include <cmath>

// Highway compiles the part between HWY_BEFORE_NAMESPACE and HWY_AFTER_NAMESPACE once per
// instruction set by including this file again for each.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "diffraction/phase_sum.cpp"
#include <hwy/foreach_target.h>  // must come before highway.h
#include <hwy/highway.h>

#include <hwy/contrib/math/math-inl.h>

HWY_BEFORE_NAMESPACE();
namespace phase_sum {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// sin(pi v / 2) = v S(v^2) and cos(pi v / 2) = 1 + v^2 C(v^2) for |v| <= 1/2, a quarter turn
// being at most pi/4 either way: polynomials interpolating at Chebyshev nodes, from
// tools/phase_sum_coefficients.py. Rounded to double they are within 2.6e-17 of the sine and
// 1.9e-17 of the cosine, well below the rounding of their evaluation; v = 0 gives 0 and 1
// exactly.
constexpr double kSine[] = {0x1.921fb54442d18p+0,  -0x1.4abbce625be41p-1, 0x1.466bc677587f8p-4,
                            -0x1.32d2cce2e5b19p-8, 0x1.50782fda12d96p-13, -0x1.e30071afc3e59p-19,
                            0x1.e3f38399551bfp-25};
constexpr double kCosine[] = {-0x1.3bd3cc9be45dep+0, 0x1.03c1f081b5ac0p-2,   -0x1.55d3c7e3cb241p-6,
                              0x1.e1f5068688d5bp-11, -0x1.a6d1eef479be1p-16, 0x1.f9ce245cada0bp-22,
                              -0x1.b2f3eb054afcdp-28};
// Added to a number of magnitude below 2^51, rounds it to an integer whose low bits then stand
// in the low bits of the sum's representation.
constexpr double kRoundingShift = 0x1.8p52;

template <size_t kCount, class D, class V = hn::Vec<D>>
HWY_INLINE V Polynomial(D d, V z, const double (&coefficients)[kCount]) {
  V value = hn::Set(d, coefficients[kCount - 1]);
  for (size_t i = kCount - 1; i-- > 0;) value = hn::MulAdd(value, z, hn::Set(d, coefficients[i]));
  return value;
}

// cos and sin of 2 pi p for a phase p given in quarter turns (4 p).
template <class D, class V = hn::Vec<D>>
HWY_INLINE void CosSin(D d, V quarters, V& cosine, V& sine) {
  const hn::RebindToSigned<D> di;
  // Split into a whole number q and the rest v in [-1/2, 1/2]; the subtraction is exact, so
  // only the products and sums of the phase itself round.
  const V shifted = hn::Add(quarters, hn::Set(d, kRoundingShift));
  const V v = hn::Sub(quarters, hn::Sub(shifted, hn::Set(d, kRoundingShift)));
  const V v2 = hn::Mul(v, v);
  const V s = hn::Mul(v, Polynomial(d, v2, kSine));
  const V c = hn::MulAdd(v2, Polynomial(d, v2, kCosine), hn::Set(d, 1.0));
  // Turning by q quarter turns: odd q swaps cosine and sine; the cosine changes sign for q mod
  // 4 in {1, 2}, the sine for q mod 4 in {2, 3}, that is by bit 1 of q, and by bit 0 xor bit 1.
  const auto q = hn::BitCast(di, shifted);
  const auto odd = hn::RebindMask(d, hn::TestBit(q, hn::Set(di, 1)));
  const auto sinSign = hn::And(hn::ShiftLeft<62>(q), hn::Set(di, INT64_MIN));
  const auto cosSign = hn::Xor(sinSign, hn::ShiftLeft<63>(q));
  cosine = hn::Xor(hn::IfThenElse(odd, s, c), hn::BitCast(d, cosSign));
  sine = hn::Xor(hn::IfThenElse(odd, c, s), hn::BitCast(d, sinSign));
}

// How the terms are weighted: all alike, by a weight per position, or by one that changes
// along the row.
enum class CWeights { kNone, kFixed, kChanging };

// The row's indices times four, so that phases come out in quarter turns.
template <class D>
struct CRowIndices {
  hn::Vec<D> h, k, l, step;
  size_t count;
};

// One vector of positions with their weights, and their terms' phase factors at a reflexion
// of the row with the step to the next.
template <class D>
struct CTermVector {
  hn::Vec<D> x, y, z, w, ratio, ratioStep;
  hn::Vec<D> cosine, sine, stepCos, stepSin;
};

template <CWeights kWeights, class D>
HWY_INLINE CTermVector<D> LoadTerms(D d, const CPhaseTerms& t, size_t m) {
  const bool changing = kWeights == CWeights::kChanging;
  CTermVector<D> v;
  v.x = hn::LoadU(d, t.x + m), v.y = hn::LoadU(d, t.y + m), v.z = hn::LoadU(d, t.z + m);
  v.w = kWeights == CWeights::kNone ? hn::Zero(d) : hn::LoadU(d, t.weights + m);
  v.ratio = changing ? hn::LoadU(d, t.ratios + m) : hn::Zero(d);
  v.ratioStep = changing ? hn::LoadU(d, t.ratioSteps + m) : hn::Zero(d);
  return v;
}

template <class D>
HWY_INLINE void StartRow(D d, const CRowIndices<D>& row, CTermVector<D>& v) {
  CosSin(d, hn::MulAdd(row.l, v.z, hn::MulAdd(row.k, v.y, hn::Mul(row.h, v.x))), v.cosine, v.sine);
  v.stepCos = hn::Set(d, 1.0), v.stepSin = hn::Zero(d);
  if (row.count > 1) CosSin(d, hn::Mul(row.step, v.z), v.stepCos, v.stepSin);
}

template <CWeights kWeights, class D, class V = hn::Vec<D>>
HWY_INLINE void Step(CTermVector<D>& v) {
  const V next = hn::NegMulAdd(v.sine, v.stepSin, hn::Mul(v.cosine, v.stepCos));
  v.sine = hn::MulAdd(v.cosine, v.stepSin, hn::Mul(v.sine, v.stepCos));
  v.cosine = next;
  if constexpr (kWeights == CWeights::kChanging) {
    v.w = hn::Mul(v.w, v.ratio);
    v.ratio = hn::Mul(v.ratio, v.ratioStep);
  }
}

// Adds the terms of two vectors of positions along the row to `sums`: for each reflexion j of
// the row, one vector of cosine sums and one of sine sums. Two at a time, so that each sum is
// loaded and stored once for both, and the steps of one wait less for those of the other.
template <CWeights kWeights, class D>
HWY_INLINE void AddRow(D d, const CRowIndices<D>& row, CTermVector<D> a, CTermVector<D> b,
                       double* HWY_RESTRICT sums) {
  const size_t lanes = hn::Lanes(d);
  StartRow(d, row, a);
  StartRow(d, row, b);
  for (size_t j = 0;; ++j) {
    double* HWY_RESTRICT sumC = sums + 2 * j * lanes;
    double* HWY_RESTRICT sumS = sumC + lanes;
    if constexpr (kWeights == CWeights::kNone) {
      hn::Store(hn::Add(hn::Add(hn::Load(d, sumC), a.cosine), b.cosine), d, sumC);
      hn::Store(hn::Add(hn::Add(hn::Load(d, sumS), a.sine), b.sine), d, sumS);
    } else {
      hn::Store(hn::MulAdd(b.cosine, b.w, hn::MulAdd(a.cosine, a.w, hn::Load(d, sumC))), d, sumC);
      hn::Store(hn::MulAdd(b.sine, b.w, hn::MulAdd(a.sine, a.w, hn::Load(d, sumS))), d, sumS);
    }
    if (j + 1 == row.count) break;
    Step<kWeights>(a);
    Step<kWeights>(b);
  }
}

template <CWeights kWeights>
void SumRow(const CPhaseTerms& t, const CPhaseRow& phaseRow, double* sumCos, double* sumSin) {
  using D = hn::ScalableTag<double>;
  const D d;
  const size_t lanes = hn::Lanes(d);
  constexpr size_t kMaxLanes = HWY_MAX_BYTES / sizeof(double);
  const CHkl& first = phaseRow.first;
  const CRowIndices<D> row{hn::Set(d, 4.0 * first.h), hn::Set(d, 4.0 * first.k),
                           hn::Set(d, 4.0 * first.l), hn::Set(d, 4.0 * phaseRow.step),
                           phaseRow.count};
  HWY_ALIGN double sums[2 * CPhaseRow::kMaxCount * kMaxLanes];
  std::fill(sums, sums + 2 * row.count * lanes, 0.0);
  size_t m = 0;
  for (; m + 2 * lanes <= t.count; m += 2 * lanes)
    AddRow<kWeights>(d, row, LoadTerms<kWeights>(d, t, m), LoadTerms<kWeights>(d, t, m + lanes),
                     sums);
  if (m < t.count) {
    // The last positions from copies, padded with weight 0: loads never reach past the
    // caller's arrays.
    HWY_ALIGN double x[2 * kMaxLanes] = {}, y[2 * kMaxLanes] = {}, z[2 * kMaxLanes] = {},
                           w[2 * kMaxLanes] = {}, ratio[2 * kMaxLanes], ratioStep[2 * kMaxLanes];
    std::fill(std::begin(ratio), std::end(ratio), 1.0);
    std::fill(std::begin(ratioStep), std::end(ratioStep), 1.0);
    constexpr bool kChanging = kWeights == CWeights::kChanging;
    for (size_t i = 0; m + i < t.count; ++i) {
      x[i] = t.x[m + i], y[i] = t.y[m + i], z[i] = t.z[m + i];
      w[i] = kWeights == CWeights::kNone ? 1.0 : t.weights[m + i];
      if (kChanging) ratio[i] = t.ratios[m + i], ratioStep[i] = t.ratioSteps[m + i];
    }
    constexpr CWeights kPadded = kChanging ? CWeights::kChanging : CWeights::kFixed;
    const CPhaseTerms rest{x, y, z, w, ratio, ratioStep, 2 * lanes};
    AddRow<kPadded>(d, row, LoadTerms<kPadded>(d, rest, 0), LoadTerms<kPadded>(d, rest, lanes),
                    sums);
  }
  for (size_t j = 0; j < row.count; ++j) {
    sumCos[j] = hn::GetLane(hn::SumOfLanes(d, hn::Load(d, sums + 2 * j * lanes)));
    sumSin[j] = hn::GetLane(hn::SumOfLanes(d, hn::Load(d, sums + (2 * j + 1) * lanes)));
  }
}

void SumPhaseFactors(const CPhaseTerms& terms, const CPhaseRow& row, double* sumCos,
                     double* sumSin) {
  if (!terms.weights)
    SumRow<CWeights::kNone>(terms, row, sumCos, sumSin);
  else if (!terms.ratios || row.count == 1)
    SumRow<CWeights::kFixed>(terms, row, sumCos, sumSin);
  else
    SumRow<CWeights::kChanging>(terms, row, sumCos, sumSin);
}

// The factors of records t to t + lanes - 1 along the row. The exponent at reflexion j is
// e(l + j s) = e(l) + j (s (2 c_ll l + c_hl h + c_kl k) + s^2 c_ll) + j (j - 1) s^2 c_ll, so
// the ratio of consecutive factors starts at the exponential of the bracket and grows by
// exp(2 s^2 c_ll) at each step.
template <class D, class V = hn::Vec<D>>
HWY_INLINE void RowFactors(D d, const CDisplacementTerms& terms, size_t t, const CPhaseRow& row,
                           double* factors, double* ratios, double* ratioSteps) {
  const double h = row.first.h, k = row.first.k, l = row.first.l, s = row.step;
  const std::array<double, CDisplacementTerms::kMonomials> monomials{h * h, k * k, l * l,
                                                                     h * k, h * l, k * l};
  V exponent = hn::Zero(d);
  for (size_t i = 0; i < CDisplacementTerms::kMonomials; ++i)
    exponent =
        hn::MulAdd(hn::LoadU(d, terms.coefficients[i] + t), hn::Set(d, monomials[i]), exponent);
  hn::StoreU(hn::Exp(d, exponent), d, factors + t);
  if (row.count < 2) return;
  const V cll = hn::LoadU(d, terms.coefficients[2] + t);
  const V first =
      hn::MulAdd(cll, hn::Set(d, s * (2.0 * l + s)),
                 hn::MulAdd(hn::LoadU(d, terms.coefficients[4] + t), hn::Set(d, s * h),
                            hn::Mul(hn::LoadU(d, terms.coefficients[5] + t), hn::Set(d, s * k))));
  hn::StoreU(hn::Exp(d, first), d, ratios + t);
  hn::StoreU(hn::Exp(d, hn::Mul(cll, hn::Set(d, 2.0 * s * s))), d, ratioSteps + t);
}

void DisplacementFactors(const CDisplacementTerms& terms, const CPhaseRow& row, double* factors,
                         double* ratios, double* ratioSteps) {
  using D = hn::ScalableTag<double>;
  const D d;
  const size_t lanes = hn::Lanes(d);
  size_t t = 0;
  for (; t + lanes <= terms.count; t += lanes)
    RowFactors(d, terms, t, row, factors, ratios, ratioSteps);
  if (t < terms.count) {
    // The last partial vector from copies padded with zeros: loads never reach past the
    // caller's arrays.
    constexpr size_t kMaxLanes = HWY_MAX_BYTES / sizeof(double);
    HWY_ALIGN double rest[CDisplacementTerms::kMonomials][kMaxLanes] = {};
    CDisplacementTerms last;
    for (size_t i = 0; i < CDisplacementTerms::kMonomials; ++i) {
      std::copy(terms.coefficients[i] + t, terms.coefficients[i] + terms.count, rest[i]);
      last.coefficients[i] = rest[i];
    }
    HWY_ALIGN double out[3][kMaxLanes];
    RowFactors(d, last, 0, row, out[0], out[1], out[2]);
    const size_t n = terms.count - t;
    std::copy(out[0], out[0] + n, factors + t);
    if (row.count > 1) {
      std::copy(out[1], out[1] + n, ratios + t);
      std::copy(out[2], out[2] + n, ratioSteps + t);
    }
  }
}

void GaussianTerms(const double* a, const double* b, size_t count, double s2, double* terms) {
  using D = hn::ScalableTag<double>;
  const D d;
  const size_t lanes = hn::Lanes(d);
  const auto minusS2 = hn::Set(d, -s2);
  size_t i = 0;
  for (; i + lanes <= count; i += lanes)
    hn::StoreU(hn::Mul(hn::LoadU(d, a + i), hn::Exp(d, hn::Mul(hn::LoadU(d, b + i), minusS2))), d,
               terms + i);
  if (i < count) {
    // The last partial vector from copies: loads never reach past the caller's arrays.
    constexpr size_t kMaxLanes = HWY_MAX_BYTES / sizeof(double);
    HWY_ALIGN double restA[kMaxLanes] = {}, restB[kMaxLanes] = {}, out[kMaxLanes];
    std::copy(a + i, a + count, restA);
    std::copy(b + i, b + count, restB);
    hn::Store(hn::Mul(hn::Load(d, restA), hn::Exp(d, hn::Mul(hn::Load(d, restB), minusS2))), d,
              out);
    std::copy(out, out + (count - i), terms + i);
  }
}

const char* InstructionSet() {
  return hwy::TargetName(HWY_TARGET);
}

}  // namespace HWY_NAMESPACE
}  // namespace phase_sum
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace phase_sum {
HWY_EXPORT(SumPhaseFactors);
HWY_EXPORT(DisplacementFactors);
HWY_EXPORT(GaussianTerms);
HWY_EXPORT(InstructionSet);
}  // namespace phase_sum

void SumPhaseFactors(const CPhaseTerms& terms, const CPhaseRow& row, double* sumCos,
                     double* sumSin) {
  HWY_DYNAMIC_DISPATCH(phase_sum::SumPhaseFactors)(terms, row, sumCos, sumSin);
}

void DisplacementFactors(const CDisplacementTerms& terms, const CPhaseRow& row, double* factors,
                         double* ratios, double* ratioSteps) {
  HWY_DYNAMIC_DISPATCH(phase_sum::DisplacementFactors)(terms, row, factors, ratios, ratioSteps);
}

void GaussianTerms(const double* a, const double* b, size_t count, double s2, double* terms) {
  HWY_DYNAMIC_DISPATCH(phase_sum::GaussianTerms)(a, b, count, s2, terms);
}

std::pair<double, double> SumPhaseFactorsByTerms(const CPhaseTerms& terms, const CHkl& hkl) {
  constexpr long double kTwoPi = 6.283185307179586476925286766559005768L;
  long double sumCos = 0.0L, sumSin = 0.0L;
  for (size_t m = 0; m < terms.count; ++m) {
    const long double p = static_cast<long double>(hkl.h) * terms.x[m] +
                          static_cast<long double>(hkl.k) * terms.y[m] +
                          static_cast<long double>(hkl.l) * terms.z[m];
    const auto angle = static_cast<double>(kTwoPi * (p - std::nearbyint(p)));
    const long double w = terms.weights ? terms.weights[m] : 1.0;
    sumCos += w * std::cos(angle);
    sumSin += w * std::sin(angle);
  }
  return {static_cast<double>(sumCos), static_cast<double>(sumSin)};
}

const char* PhaseSumInstructionSet() {
  return HWY_DYNAMIC_DISPATCH(phase_sum::InstructionSet)();
}

#endif  // HWY_ONCE
