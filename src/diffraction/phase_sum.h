// The inner loops of the structure factor: sums of phase factors exp(2 pi i (h x + k y + l z))
// over positions, each weighted or all alike, for a row of reflexions (h k l), (h k l+s),
// (h k l+2s)...; and the exponentials of the displacement factors along such a row. They run
// on the widest vector instructions the processor has, chosen when first called; the same sum
// taken term by term with the standard library's cosine and sine is the oracle they answer to.
//
// Along a row each phase factor is the one before it times exp(2 pi i s z): a complex product
// instead of a sine and cosine, which is what makes the sum fast. Rows are short (kMaxCount),
// so the rounding that such a product adds at each step stays a few units in the last place.
#pragma once

#include <array>
#include <cstddef>
#include <utility>

#include "diffraction/reflexion_symmetry.h"

// Reflexions (h, k, l + j step) for j < count.
struct CPhaseRow {
  static constexpr size_t kMaxCount = 16;
  CHkl first;
  int step = 1;
  size_t count = 1;
};

// Positions 0..count-1 as three arrays of fractional coordinates, and their weights. A weight
// that changes along a row as exp(a + b j + c j^2) does, as displacement factors do, is given
// by its value at the row's first reflexion, the ratio of the second's to the first's, and the
// factor by which that ratio grows from one reflexion to the next.
struct CPhaseTerms {
  const double* x = nullptr;
  const double* y = nullptr;
  const double* z = nullptr;
  const double* weights = nullptr;     // none: every weight is 1
  const double* ratios = nullptr;      // none: weights stay along the row
  const double* ratioSteps = nullptr;  // with ratios
  size_t count = 0;
};

// sumCos[j] and sumSin[j], j < row.count: sums of w cos 2 pi p and w sin 2 pi p over the
// positions, p = h x + k y + (l + j step) z.
// The first reflexion's terms are within about 2.5e-16 |w| of the cosine and sine of their
// phase as rounded; the phase rounds at its own size, by at most 2^-53 3 (|h| + |k| + |l|) max
// |coordinate| turns. Each step along the row adds about 2^-53 3 to each term's relative error,
// and the weights' steps 2^-53 (j + 1) more. Those errors do not line up in practice: sums come
// within 4e-16 (|h| + |k| + |l| + 2 j + 1) of the sum of |w| (the tests hold them to that).
// At j = 0, phases on exact quarter turns give exact zeros and ones, so that positions that
// cancel by symmetry cancel exactly, and (-h -k -l) gives the exact conjugate. The order of
// summation is fixed for each instruction set: equal input, equal result.
void SumPhaseFactors(const CPhaseTerms& terms, const CPhaseRow& row, double* sumCos,
                     double* sumSin);

// The sums of one reflexion, a row of one.
inline std::pair<double, double> SumPhaseFactors(const CPhaseTerms& terms, const CHkl& hkl) {
  double sumCos = 0.0, sumSin = 0.0;
  SumPhaseFactors(terms, CPhaseRow{hkl}, &sumCos, &sumSin);
  return {sumCos, sumSin};
}

// The same sum for one reflexion term by term, with the weights as given: the phase in long
// double, reduced to less than half a turn, then std::cos and std::sin in double and the terms
// added in long double. The oracle that the vectorised sum is tested and measured against; far
// slower.
std::pair<double, double> SumPhaseFactorsByTerms(const CPhaseTerms& terms, const CHkl& hkl);

// Displacement records as the structure factor needs them: record t multiplies its positions
// by exp(sum over i of coefficients[i][t] m[i]), where m are the reflexion's monomials (h^2,
// k^2, l^2, hk, hl, kl). An anisotropic tensor turned with its images and an isotropic U (by
// the reciprocal metric) thus share one form.
struct CDisplacementTerms {
  static constexpr size_t kMonomials = 6;
  std::array<const double*, kMonomials> coefficients{};
  size_t count = 0;
};

// Each record's factor at the row's first reflexion, within a few units in the last place of
// std::exp of the same sum; for a longer row also the ratios and ratio steps that carry it
// along the row, as CPhaseTerms takes them.
void DisplacementFactors(const CDisplacementTerms& terms, const CPhaseRow& row, double* factors,
                         double* ratios, double* ratioSteps);

// terms[i] = a[i] exp(-b[i] s2) for i < count, each within a few units in the last place of
// std::exp: the Gaussians of many X-ray form factors at one reflexion.
void GaussianTerms(const double* a, const double* b, size_t count, double s2, double* terms);

// The instruction set SumPhaseFactors and DisplacementFactors run on now, as Highway names it
// ("AVX3", "AVX2", "SSE4", "EMU128", ...).
const char* PhaseSumInstructionSet();
