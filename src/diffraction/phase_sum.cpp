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

// The per-reflexion constants: the indices times four, so that the phase comes out in quarter
// turns.
template <class D>
struct CIndices {
  hn::Vec<D> h, k, l;
};

// Adds w cos 2 pi p and w sin 2 pi p of one vector of positions to the sums.
template <bool kWeighted, class D, class V = hn::Vec<D>>
HWY_INLINE void AddTerms(D d, const CIndices<D>& hkl, V x, V y, V z, V w, V& sumCos, V& sumSin) {
  const hn::RebindToSigned<D> di;
  // The phase in quarter turns, split into a whole number q and the rest v in [-1/2, 1/2]; the
  // subtraction is exact, so only the products and sums of the phase itself round.
  const V quarters = hn::MulAdd(hkl.l, z, hn::MulAdd(hkl.k, y, hn::Mul(hkl.h, x)));
  const V shifted = hn::Add(quarters, hn::Set(d, kRoundingShift));
  const V v = hn::Sub(quarters, hn::Sub(shifted, hn::Set(d, kRoundingShift)));
  const V v2 = hn::Mul(v, v);
  const V sine = hn::Mul(v, Polynomial(d, v2, kSine));
  const V cosine = hn::MulAdd(v2, Polynomial(d, v2, kCosine), hn::Set(d, 1.0));
  // Turning by q quarter turns: odd q swaps cosine and sine; the cosine changes sign for q mod
  // 4 in {1, 2}, the sine for q mod 4 in {2, 3}, that is by bit 1 of q, and by bit 0 xor bit 1.
  const auto q = hn::BitCast(di, shifted);
  const auto odd = hn::RebindMask(d, hn::TestBit(q, hn::Set(di, 1)));
  const auto sinSign = hn::And(hn::ShiftLeft<62>(q), hn::Set(di, INT64_MIN));
  const auto cosSign = hn::Xor(sinSign, hn::ShiftLeft<63>(q));
  const V c = hn::Xor(hn::IfThenElse(odd, sine, cosine), hn::BitCast(d, cosSign));
  const V s = hn::Xor(hn::IfThenElse(odd, cosine, sine), hn::BitCast(d, sinSign));
  if constexpr (kWeighted) {
    sumCos = hn::MulAdd(c, w, sumCos);
    sumSin = hn::MulAdd(s, w, sumSin);
  } else {
    sumCos = hn::Add(sumCos, c);
    sumSin = hn::Add(sumSin, s);
  }
}

template <bool kWeighted>
std::pair<double, double> Sum(const CPhaseTerms& t, const CHkl& hkl) {
  using D = hn::ScalableTag<double>;
  const D d;
  const size_t lanes = hn::Lanes(d);
  const CIndices<D> indices{hn::Set(d, 4.0 * hkl.h), hn::Set(d, 4.0 * hkl.k),
                            hn::Set(d, 4.0 * hkl.l)};
  auto weight = [&](size_t m) { return kWeighted ? hn::LoadU(d, t.weights + m) : hn::Zero(d); };
  // Two pairs of sums, so that consecutive vectors do not wait for each other's additions.
  auto cos0 = hn::Zero(d), sin0 = hn::Zero(d), cos1 = hn::Zero(d), sin1 = hn::Zero(d);
  size_t m = 0;
  for (; m + 2 * lanes <= t.count; m += 2 * lanes) {
    AddTerms<kWeighted>(d, indices, hn::LoadU(d, t.x + m), hn::LoadU(d, t.y + m),
                        hn::LoadU(d, t.z + m), weight(m), cos0, sin0);
    const size_t n = m + lanes;
    AddTerms<kWeighted>(d, indices, hn::LoadU(d, t.x + n), hn::LoadU(d, t.y + n),
                        hn::LoadU(d, t.z + n), weight(n), cos1, sin1);
  }
  for (; m + lanes <= t.count; m += lanes)
    AddTerms<kWeighted>(d, indices, hn::LoadU(d, t.x + m), hn::LoadU(d, t.y + m),
                        hn::LoadU(d, t.z + m), weight(m), cos0, sin0);
  if (m < t.count) {
    // The last partial vector from copies, padded with weight 0: loads never reach past the
    // caller's arrays.
    constexpr size_t kMaxLanes = HWY_MAX_BYTES / sizeof(double);
    HWY_ALIGN double x[kMaxLanes] = {}, y[kMaxLanes] = {}, z[kMaxLanes] = {}, w[kMaxLanes] = {};
    for (size_t i = 0; m + i < t.count; ++i) {
      x[i] = t.x[m + i], y[i] = t.y[m + i], z[i] = t.z[m + i];
      w[i] = kWeighted ? t.weights[m + i] : 1.0;
    }
    AddTerms<true>(d, indices, hn::Load(d, x), hn::Load(d, y), hn::Load(d, z), hn::Load(d, w), cos1,
                   sin1);
  }
  return {hn::GetLane(hn::SumOfLanes(d, hn::Add(cos0, cos1))),
          hn::GetLane(hn::SumOfLanes(d, hn::Add(sin0, sin1)))};
}

std::pair<double, double> SumPhaseFactors(const CPhaseTerms& terms, const CHkl& hkl) {
  return terms.weights ? Sum<true>(terms, hkl) : Sum<false>(terms, hkl);
}

// The factors of records t to t + lanes - 1.
template <class D, class V = hn::Vec<D>>
HWY_INLINE V Factors(D d, const CDisplacementTerms& terms, size_t t,
                     const std::array<double, CDisplacementTerms::kMonomials>& monomials) {
  V exponent = hn::Zero(d);
  for (size_t j = 0; j < CDisplacementTerms::kMonomials; ++j)
    exponent =
        hn::MulAdd(hn::LoadU(d, terms.coefficients[j] + t), hn::Set(d, monomials[j]), exponent);
  return hn::Exp(d, exponent);
}

void DisplacementFactors(const CDisplacementTerms& terms,
                         const std::array<double, CDisplacementTerms::kMonomials>& monomials,
                         double* factors) {
  using D = hn::ScalableTag<double>;
  const D d;
  const size_t lanes = hn::Lanes(d);
  size_t t = 0;
  for (; t + lanes <= terms.count; t += lanes)
    hn::StoreU(Factors(d, terms, t, monomials), d, factors + t);
  if (t < terms.count) {
    // The last partial vector from copies padded with zeros: loads never reach past the
    // caller's arrays.
    constexpr size_t kMaxLanes = HWY_MAX_BYTES / sizeof(double);
    HWY_ALIGN double rest[CDisplacementTerms::kMonomials][kMaxLanes] = {};
    CDisplacementTerms last;
    for (size_t j = 0; j < CDisplacementTerms::kMonomials; ++j) {
      std::copy(terms.coefficients[j] + t, terms.coefficients[j] + terms.count, rest[j]);
      last.coefficients[j] = rest[j];
    }
    HWY_ALIGN double out[kMaxLanes];
    hn::Store(Factors(d, last, 0, monomials), d, out);
    std::copy(out, out + (terms.count - t), factors + t);
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
HWY_EXPORT(InstructionSet);
}  // namespace phase_sum

std::pair<double, double> SumPhaseFactors(const CPhaseTerms& terms, const CHkl& hkl) {
  return HWY_DYNAMIC_DISPATCH(phase_sum::SumPhaseFactors)(terms, hkl);
}

void DisplacementFactors(const CDisplacementTerms& terms,
                         const std::array<double, CDisplacementTerms::kMonomials>& monomials,
                         double* factors) {
  HWY_DYNAMIC_DISPATCH(phase_sum::DisplacementFactors)(terms, monomials, factors);
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
