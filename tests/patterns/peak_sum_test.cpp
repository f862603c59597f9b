// The vectorised peak sum against the scalar shapes, on every instruction set that Highway
// compiled and this processor runs, and on one thread against several.
#include "patterns/peak_sum.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <random>
#include <vector>

#include "support/instruction_sets.h"

namespace {

using namespace VHTypes;
using namespace VHProfile;
using VHTestSupport::OnEachInstructionSet;

// A grid of 10007 points (not a multiple of any vector length) from 5 to 95 degrees, x laid
// by repeated addition as the plot's grid is.
CProfile Grid() {
  CProfile grid(10007);
  double x = 5.0;
  for (CProfilePoint& point : grid) point.x = x, x += 90.0 / 10007;
  return grid;
}

// Peaks in random order over the whole grid, some with a companion line, some reaching past
// either end, and some reaching nothing.
std::vector<CGridPeak> RandomPeaks(size_t count, size_t points) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<CGridPeak> peaks(count);
  for (CGridPeak& peak : peaks) {
    peak.x1 = 5.0 + 90.0 * unit(random);
    peak.x2 = peak.x1 + 0.2 * unit(random);
    peak.halfWidth = 0.01 + 0.2 * unit(random);
    peak.weight1 = 1000.0 * unit(random);
    peak.weight2 = peak.weight1 / 2;
    peak.doublet = unit(random) < 0.5;
    const auto centre = static_cast<double>(points) * (peak.x1 - 5.0) / 90.0;
    const double reach = 300.0 * unit(random);
    peak.begin = static_cast<size_t>(std::max(0.0, centre - reach));
    peak.end = std::max(
        peak.begin, std::min(points, static_cast<size_t>(centre + reach + 20.0 * unit(random))));
  }
  peaks[3].end = peaks[3].begin;
  peaks[4].begin = 0;
  peaks[5].end = points;
  return peaks;
}

double Shape(TSProfileType type, double eta, double x, double x0, double w) {
  switch (type) {
    case kProfileDelta:
      return Delta(x, x0, w);
    case kProfileLorentzian:
      return Lorentzian(x, x0, w);
    case kProfileGaussian:
      return Gaussian(x, x0, w);
    case kProfilePseudoVoigt:
      return PseudoVoigt(x, x0, w, eta);
  }
  return 0.0;
}

// The sum point by point with the scalar shapes, and the sum of the terms' magnitudes that
// bounds its rounding.
struct COracle {
  std::vector<double> sum, magnitude;
};

COracle Oracle(TSProfileType type, double eta, const std::vector<CGridPeak>& peaks,
               const CProfile& grid) {
  COracle oracle{std::vector<double>(grid.size()), std::vector<double>(grid.size())};
  for (const CGridPeak& peak : peaks)
    for (size_t i = peak.begin; i < peak.end; ++i) {
      double term = peak.weight1 * Shape(type, eta, grid[i].x, peak.x1, peak.halfWidth);
      if (peak.doublet) term += peak.weight2 * Shape(type, eta, grid[i].x, peak.x2, peak.halfWidth);
      oracle.sum[i] += term;
      oracle.magnitude[i] += std::abs(term);
    }
  return oracle;
}

const TSProfileType kShapes[] = {kProfileDelta, kProfileLorentzian, kProfileGaussian,
                                 kProfilePseudoVoigt};

TEST(PeakSum, AgreesWithTheScalarShapesOnEachInstructionSet) {
  const CProfile empty = Grid();
  const std::vector<CGridPeak> peaks = RandomPeaks(400, empty.size());
  const double eta = 0.3;
  for (const TSProfileType type : kShapes) {
    SCOPED_TRACE(type);
    const COracle oracle = Oracle(type, eta, peaks, empty);
    OnEachInstructionSet(PeakSumInstructionSet, [&] {
      CProfile grid = empty;
      SumPeaks(type, eta, peaks, grid);
      double worst = 0.0;
      for (size_t i = 0; i < grid.size(); ++i) {
        ASSERT_EQ(grid[i].x, empty[i].x);
        // Points that no peak reaches stay exactly zero: lanes beyond a reach add nothing.
        if (oracle.magnitude[i] == 0.0) {
          ASSERT_EQ(grid[i].y, 0.0) << i;
        }
        worst = std::max(
            worst, std::abs(grid[i].y - oracle.sum[i]) / std::max(oracle.magnitude[i], 1e-300));
      }
      // One unit in the last place of the exponential, and the same additions in the same order.
      EXPECT_LT(worst, 1e-15);
    });
  }
}

TEST(PeakSum, AddsToWhatTheGridHoldsAndIgnoresPeaksThatReachNothing) {
  CProfile grid = Grid();
  for (CProfilePoint& point : grid) point.y = 2.5;
  CGridPeak peak{.x1 = 50.0,
                 .x2 = 50.0,
                 .weight1 = 1.0,
                 .weight2 = 0.0,
                 .halfWidth = 0.5,
                 .doublet = false,
                 .begin = 100,
                 .end = 100};
  SumPeaks(kProfileGaussian, 0.0, {peak}, grid);
  for (const CProfilePoint& point : grid) ASSERT_EQ(point.y, 2.5);
}

TEST(PeakSum, SameSumOnOneThreadAndOnSeveral) {
  const CProfile empty = Grid();
  // Enough work that the sum runs on a thread team.
  const std::vector<CGridPeak> peaks = RandomPeaks(4000, empty.size());
  const int threads = omp_get_max_threads();
  for (const TSProfileType type : kShapes) {
    SCOPED_TRACE(type);
    omp_set_num_threads(1);
    CProfile alone = empty;
    SumPeaks(type, 0.3, peaks, alone);
    omp_set_num_threads(std::max(threads, 3));
    CProfile team = empty;
    SumPeaks(type, 0.3, peaks, team);
    omp_set_num_threads(threads);
    EXPECT_EQ(alone, team);
  }
}

}  // namespace
