// The inner loop of the profile: peaks of one shape summed onto the grid of the plot. The sum
// runs on the widest vector instructions the processor has, chosen when it is first called,
// and over blocks of the grid on every thread when the work is large; the shapes' scalar
// functions in profile.h are the oracle it answers to.
#pragma once

#include <cstddef>
#include <vector>

#include "patterns/profile.h"

// One peak on the grid: its line at x1 and, for a K-alpha doublet, the companion line at x2,
// both of half width `halfWidth`, weighted by weight1 and weight2. It reaches the grid points
// begin to end - 1 (begin <= end) and no others.
struct CGridPeak {
  double x1 = 0.0;
  double x2 = 0.0;
  double weight1 = 0.0;
  double weight2 = 0.0;
  double halfWidth = 0.0;
  bool doublet = false;
  size_t begin = 0;
  size_t end = 0;
};

namespace VHProfile {

// Adds the peaks to the y of the grid: y += weight1 f(x - x1) (+ weight2 f(x - x2)), f the
// shape of `type` (and eta for the pseudo-Voigt) at the peak's half width. Every point adds its
// terms in the order of the peaks, so the sum does not depend on the number of threads; the
// exponential of the bell shapes is within one unit in the last place of the standard
// library's, so the sum agrees with the scalar shapes to about 1e-15 of its value.
void SumPeaks(VHTypes::TSProfileType type, double eta, const std::vector<CGridPeak>& peaks,
              CProfile& grid);

// The instruction set SumPeaks runs on now, as Highway names it ("AVX3", "AVX2", ...).
const char* PeakSumInstructionSet();

}  // namespace VHProfile
