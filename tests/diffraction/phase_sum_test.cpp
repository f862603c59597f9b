// The vectorised phase-factor sum against its term-by-term oracle, on every instruction set
// that Highway compiled and this processor runs: the widest and the baseline among them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "crystal/crystal.h"
#include "crystal/thermal.h"
#include "diffraction/phase_sum.h"
#include "diffraction/reflexion.h"
#include "diffraction/reflexion_generator.h"
#include "diffraction/structure_factors.h"
#include "files/crystal_files.h"
#include "support/data_files.h"
#include "support/instruction_sets.h"
#include "test_crystals.h"

namespace {

using VHTestSupport::OnEachInstructionSet;

struct CPositions {
  std::vector<double> x, y, z, w;
  CPhaseTerms Terms(bool weighted) const {
    CPhaseTerms terms{x.data(), y.data(), z.data()};
    terms.weights = weighted ? w.data() : nullptr;
    terms.count = x.size();
    return terms;
  }
};

CPositions RandomPositions(size_t count, unsigned stream) {
  std::mt19937 random(stream);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  CPositions p;
  for (size_t m = 0; m < count; ++m) {
    p.x.push_back(unit(random)), p.y.push_back(unit(random)), p.z.push_back(unit(random));
    p.w.push_back(unit(random) - 0.25);
  }
  return p;
}

double SumOfWeights(const CPositions& p, bool weighted) {
  double sum = 0.0;
  for (const double w : p.w) sum += weighted ? std::abs(w) : 1.0;
  return sum;
}

TEST(PhaseSum, AgreesWithTheOracleForEveryLengthAndLargeIndices) {
  OnEachInstructionSet(PhaseSumInstructionSet, [] {
    // Lengths through several vectors and every partial one; indices up to those of a
    // 0.3 Angstrom limit in a 60 Angstrom cell.
    for (size_t count = 0; count <= 37; ++count) {
      const CPositions p = RandomPositions(count, static_cast<unsigned>(count));
      for (const CHkl hkl :
           {CHkl{0, 0, 0}, CHkl{1, -2, 3}, CHkl{-17, 40, 5}, CHkl{211, -190, 97}}) {
        for (const bool weighted : {false, true}) {
          const auto [c, s] = SumPhaseFactors(p.Terms(weighted), hkl);
          const auto [oracleC, oracleS] = SumPhaseFactorsByTerms(p.Terms(weighted), hkl);
          const double bound = 4e-16 * (std::abs(hkl.h) + std::abs(hkl.k) + std::abs(hkl.l) + 1) *
                               SumOfWeights(p, weighted);
          ASSERT_NEAR(c, oracleC, bound) << count << " " << hkl.h << " " << weighted;
          ASSERT_NEAR(s, oracleS, bound) << count << " " << hkl.h << " " << weighted;
        }
      }
    }
  });
}

// Along a row each sum of a reflexion comes from the one before it; the weights change as
// displacement factors do, exp(a + b j + c j^2). Every reflexion of the row against the oracle
// with the weights it should have, for rows of every length and several steps.
TEST(PhaseSum, RowsAgreeWithTheOracleAtEveryStep) {
  OnEachInstructionSet(PhaseSumInstructionSet, [] {
    const CPositions p = RandomPositions(29, 3);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> exponent(-0.05, 0.01);
    std::vector<double> a, b, c, ratios, ratioSteps;
    for (size_t m = 0; m < p.x.size(); ++m) {
      a.push_back(20.0 * exponent(random)), b.push_back(exponent(random));
      c.push_back(0.1 * exponent(random));
      ratios.push_back(std::exp(b[m] + c[m])), ratioSteps.push_back(std::exp(2.0 * c[m]));
    }
    for (const CHkl first : {CHkl{0, 0, -7}, CHkl{3, -1, 2}, CHkl{-40, 25, -60}})
      for (const int step : {1, 2, 5})
        for (size_t count = 1; count <= CPhaseRow::kMaxCount; ++count)
          for (const bool weighted : {false, true}) {
            std::vector<double> w0(p.x.size());
            for (size_t m = 0; m < w0.size(); ++m) w0[m] = p.w[m] * std::exp(a[m]);
            CPhaseTerms terms = p.Terms(false);
            if (weighted) {
              terms.weights = w0.data();
              terms.ratios = ratios.data(), terms.ratioSteps = ratioSteps.data();
            }
            double sumCos[CPhaseRow::kMaxCount], sumSin[CPhaseRow::kMaxCount];
            SumPhaseFactors(terms, CPhaseRow{first, step, count}, sumCos, sumSin);
            for (size_t j = 0; j < count; ++j) {
              const double jj = static_cast<double>(j);
              std::vector<double> wj(w0.size());
              double magnitudes = 0.0;
              for (size_t m = 0; m < wj.size(); ++m) {
                wj[m] = weighted ? w0[m] * std::exp(b[m] * jj + c[m] * jj * jj) : 1.0;
                magnitudes += std::abs(wj[m]);
              }
              const CHkl hkl{first.h, first.k, first.l + static_cast<int>(j) * step};
              CPhaseTerms oracleTerms = p.Terms(false);
              oracleTerms.weights = wj.data();
              const auto [oracleC, oracleS] = SumPhaseFactorsByTerms(oracleTerms, hkl);
              const double bound =
                  4e-16 * (std::abs(hkl.h) + std::abs(hkl.k) + std::abs(hkl.l) + 2.0 * jj + 1.0) *
                  magnitudes;
              ASSERT_NEAR(sumCos[j], oracleC, bound) << count << " " << j << " " << weighted;
              ASSERT_NEAR(sumSin[j], oracleS, bound) << count << " " << j << " " << weighted;
            }
          }
  });
}

TEST(PhaseSum, QuarterTurnsAreExactAndFriedelMatesConjugate) {
  OnEachInstructionSet(PhaseSumInstructionSet, [] {
    // Phases of 0, 1/4, 1/2, 3/4 turn and their negatives, also beyond the first cell.
    const double quarters[][2] = {{0.0, 1.0},  {0.25, 0.0},  {0.5, -1.0},
                                  {0.75, 0.0}, {-0.25, 0.0}, {2.5, -1.0}};
    for (const auto& [x, cosine] : quarters) {
      const double zero = 0.0;
      CPhaseTerms one{&x, &zero, &zero};
      one.count = 1;
      const auto [c, s] = SumPhaseFactors(one, {1, 0, 0});
      EXPECT_EQ(c, cosine) << x;
      EXPECT_EQ(std::abs(s), cosine == 0.0 ? 1.0 : 0.0) << x;
      // sin of 1/4 and -3/4 turn is +1, of 3/4 and -1/4 turn -1.
      if (cosine == 0.0) {
        EXPECT_EQ(s, std::fmod(x + 4.0, 1.0) == 0.25 ? 1.0 : -1.0) << x;
      }
    }
    // (-h -k -l) gives the conjugate exactly.
    const CPositions p = RandomPositions(29, 5);
    for (const CHkl hkl : {CHkl{1, 2, 3}, CHkl{-9, 4, 30}}) {
      const auto [c, s] = SumPhaseFactors(p.Terms(true), hkl);
      const auto [mateC, mateS] = SumPhaseFactors(p.Terms(true), {-hkl.h, -hkl.k, -hkl.l});
      EXPECT_EQ(c, mateC);
      EXPECT_EQ(s, -mateS);
    }
  });
}

// The largest difference in F^2 between the vectorised sum and the oracle over the reflexions
// of `crystal` to `dLimit`, relative to F^2 where that is at least a millionth of the strongest
// possible (the square of the sum of |f|), else to that millionth.
double LargestF2Difference(CTSCrystal crystal, double dLimit, CScatteringKind kind) {
  if (!GenerateReflexions(crystal, {dLimit, std::nullopt})) return 1.0;
  AssignScatteringGroups(crystal);
  const CStructureFactorSum sum(crystal, kind);
  auto scratch = sum.NewScratch();
  const auto f = test_crystals::RowSums(sum, crystal.reflexions);
  double largest = 0.0;
  for (size_t i = 0; i < f.size(); ++i) {
    const auto& r = crystal.reflexions[i];
    double magnitudes = 0.0;
    for (const CTSSite& site : crystal.sites)
      for (const CTSAtom& atom : site.atoms)
        magnitudes += std::abs(ScatteringFactor(atom.scattering, atom.occupancy, r->d, kind)) *
                      static_cast<double>(site.positions.size());
    const auto [a, b] = f[i];
    const auto [oracleA, oracleB] = sum.EvaluateByTerms(*r, scratch);
    const double f2 = a * a + b * b, oracle = oracleA * oracleA + oracleB * oracleB;
    largest =
        std::max(largest, std::abs(f2 - oracle) / std::max(oracle, 1e-6 * magnitudes * magnitudes));
  }
  return largest;
}

// A triclinic cell of random atoms, a third of them vibrating anisotropically.
CTSCrystal LargeRandomCell(int atoms) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const char* elements[] = {"O", "Si", "Fe", "Ba", "H", "C"};
  std::vector<test_crystals::SiteData> sites;
  for (int i = 0; i < atoms; ++i)
    sites.push_back({elements[i % 6], unit(random), unit(random), unit(random),
                     0.5 + 0.5 * unit(random), i % 3 == 0 ? -1.0 : 0.02 * unit(random)});
  CTSCrystal crystal =
      test_crystals::MakeCrystal("P 1", 21.3, 24.1, 19.7, 84.0, 97.0, 103.0, sites);
  for (size_t i = 2; i < crystal.sites.size(); i += 3)
    crystal.sites[i].displacement = std::make_unique<CTSAnisoThermalEllipsoid>(
        CTSAnisoThermalEllipsoid::Uij{0.02 * unit(random), 0.02 * unit(random), 0.02 * unit(random),
                                      0.004 * unit(random), -0.003 * unit(random),
                                      0.002 * unit(random)},
        crystal.aStar, crystal.bStar, crystal.cStar);
  crystal.GeneratePositions();
  return crystal;
}

TEST(PhaseSum, StructureFactorsAgreeWithTheOracleOnEachInstructionSet) {
  std::vector<std::pair<std::string, CTSCrystal>> crystals;
  for (const char* name : {"corundum", "halite", "quartz", "rutile", "silicon"})
    crystals.emplace_back(
        name, ReadCrystalFile(TestDataPath(std::string(name) + ".cif").string()).crystal);
  crystals.emplace_back("rutile, legacy rules", crystals[3].second);
  crystals.back().second.legacyRules = true;
  OnEachInstructionSet(PhaseSumInstructionSet, [&] {
    for (const auto& [name, crystal] : crystals)
      for (const auto kind :
           {CScatteringKind::kXray, CScatteringKind::kNeutron, CScatteringKind::kElectron})
        EXPECT_LT(LargestF2Difference(crystal, 0.7, kind), 1e-12)
            << name << " " << static_cast<int>(kind);
    EXPECT_LT(LargestF2Difference(LargeRandomCell(240), 2.0, CScatteringKind::kXray), 1e-12);
  });
}

}  // namespace
