// The inner loops of the structure factor: sums of phase factors exp(2 pi i (h x + k y + l z))
// over positions, each weighted or all alike, and the exponentials of the displacement factors
// of one reflexion. They run on the widest vector instructions
// the processor has, chosen when it is first called; the same sum taken term by term with the
// standard library's cosine and sine is the oracle it answers to.
#pragma once

#include <array>
#include <cstddef>
#include <utility>

#include "diffraction/reflexion_symmetry.h"

// Positions 0..count-1 as three arrays of fractional coordinates, and their weights.
struct CPhaseTerms {
  const double* x = nullptr;
  const double* y = nullptr;
  const double* z = nullptr;
  const double* weights = nullptr;  // one per position; none: every weight is 1
  size_t count = 0;
};

// (sum of w cos 2 pi p, sum of w sin 2 pi p) over the positions, p = h x + k y + l z.
// Each term is within about 2.5e-16 |w| of the cosine and sine of its phase as rounded; the
// phase rounds at its own size, by at most 2^-53 3 (|h| + |k| + |l|) max |coordinate| turns.
// Those errors do not line up in practice: sums come within 4e-16 (|h| + |k| + |l| + 1) of the
// sum of |w| (the tests hold them to that). Phases on exact quarter turns give exact zeros and
// ones, so that positions that cancel by symmetry cancel exactly, and (-h -k -l) gives the
// exact conjugate. The order of summation is fixed for each instruction set: equal input,
// equal result.
std::pair<double, double> SumPhaseFactors(const CPhaseTerms& terms, const CHkl& hkl);

// The same sum term by term: the phase in long double, reduced to less than half a turn, then
// std::cos and std::sin in double and the terms added in long double. The oracle that the
// vectorised sum is tested and measured against; far slower.
std::pair<double, double> SumPhaseFactorsByTerms(const CPhaseTerms& terms, const CHkl& hkl);

// Displacement records as the structure factor of a reflexion needs them: record t multiplies
// its positions by exp(sum over j of coefficients[j][t] m[j]), where m are the reflexion's
// monomials (h^2, k^2, l^2, hk, hl, kl, s^2). An anisotropic tensor turned with its images and an
// isotropic U thus share one form.
struct CDisplacementTerms {
  static constexpr size_t kMonomials = 7;
  std::array<const double*, kMonomials> coefficients{};
  size_t count = 0;
};

// The factor of every record for the monomials, within a few units in the last place of
// std::exp of the same sum.
void DisplacementFactors(const CDisplacementTerms& terms,
                         const std::array<double, CDisplacementTerms::kMonomials>& monomials,
                         double* factors);

// The instruction set SumPhaseFactors and DisplacementFactors run on now, as Highway names it
// ("AVX3", "AVX2", "SSE4", "EMU128", ...).
const char* PhaseSumInstructionSet();
