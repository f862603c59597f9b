#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <tuple>

#include "diffraction/reflexion.h"
#include "diffraction/reflexion_generator.h"
#include "diffraction/reflexion_symmetry.h"
#include "errors/alert.h"
#include "patterns/plot_spec.h"
#include "test_crystals.h"
#include "support/recorders.h"

namespace {

using test_crystals::Cubic;

constexpr double kLambdaHalf = 1.5405 / 2.0;

// Generation with a d limit and no cap.
std::vector<std::shared_ptr<CTSReflexion>> Generate(CTSCrystal& crystal, double dLimit,
                                                    std::optional<int32_t> cap = std::nullopt) {
  EXPECT_TRUE(GenerateReflexions(crystal, {dLimit, cap}));
  return crystal.reflexions;
}

std::tuple<int, int, int> Indices(const CTSReflexion& r) { return {r.h, r.k, r.l}; }

// Counts, by brute force, the lattice points (h k l) != 0 with d above the limit that
// `allowed` lets through, keyed by d rounded to 1e-9 Angstrom.
template <class Allowed>
std::map<long long, int> PointsByD(const CTSCrystal& crystal, double dLimit, int range, Allowed allowed) {
  std::map<long long, int> points;
  for (int h = -range; h <= range; ++h)
    for (int k = -range; k <= range; ++k)
      for (int l = -range; l <= range; ++l) {
        if (h == 0 && k == 0 && l == 0) continue;
        const double d = crystal.DSpacing(h, k, l);
        if (d > dLimit && allowed(h, k, l)) ++points[std::llround(d * 1e9)];
      }
  return points;
}

std::map<long long, int> MultiplicityByD(const std::vector<std::shared_ptr<CTSReflexion>>& list) {
  std::map<long long, int> sums;
  for (const auto& r : list) sums[std::llround(r->d * 1e9)] += r->multiplicity;
  return sums;
}

TEST(ReflexionLimits, WavelengthAxesUseHalfTheWavelengthUnlessDMinIsLarger) {
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  EXPECT_DOUBLE_EQ(ReflexionLimits(plotSpec).dLimit, 0.77025);  // lambda/2 beats DMin 0.7
  EXPECT_EQ(ReflexionLimits(plotSpec).cap, 10000);
  plotSpec.SetDMin(1.2);
  EXPECT_DOUBLE_EQ(ReflexionLimits(plotSpec).dLimit, 1.2);

  plotSpec.SetDMin(0.05);
  for (auto axis : {VHTypes::kAxisDSpacing, VHTypes::kAxisInverseD, VHTypes::kAxisQ}) {
    plotSpec.SetAxisType(axis);
    EXPECT_DOUBLE_EQ(ReflexionLimits(plotSpec).dLimit, 0.77025);
  }
  // Time of flight and energy ignore the wavelength.
  plotSpec.SetLambda(0.5);
  for (auto axis : {VHTypes::kAxisTimeOfFlight, VHTypes::kAxisEnergy}) {
    plotSpec.SetAxisType(axis);
    EXPECT_DOUBLE_EQ(ReflexionLimits(plotSpec).dLimit, 0.1);
  }
  plotSpec.SetDMin(0.7);
  EXPECT_DOUBLE_EQ(ReflexionLimits(plotSpec).dLimit, 0.7);

  // Electrons use their own wavelength.
  plotSpec.SetAxisType(VHTypes::kAxisTwoTheta);
  plotSpec.SetDMin(0.0);
  plotSpec.SetSimulationType(VHTypes::kSimulationElectrons);
  EXPECT_DOUBLE_EQ(ReflexionLimits(plotSpec).dLimit, 0.037014 / 2.0);
  plotSpec.SetRestrictMaxNumRefs(false);
  EXPECT_FALSE(ReflexionLimits(plotSpec).cap);
}

TEST(ReflexionGeneration, PrimitiveCubicMergesFormsWithTheirMultiplicities) {
  CTSCrystal crystal = Cubic("P m -3 m", 5.0);
  const auto list = Generate(crystal, kLambdaHalf);
  ASSERT_GE(list.size(), 3u);
  EXPECT_EQ(Indices(*list[0]), std::make_tuple(0, 0, 1));
  EXPECT_DOUBLE_EQ(list[0]->d, 5.0);
  EXPECT_EQ(list[0]->multiplicity, 6);
  EXPECT_EQ(list[0]->n, 1);
  EXPECT_EQ(Indices(*list[1]), std::make_tuple(0, 1, 1));
  EXPECT_EQ(list[1]->multiplicity, 12);
  EXPECT_EQ(Indices(*list[2]), std::make_tuple(1, 1, 1));
  EXPECT_EQ(list[2]->multiplicity, 8);
  EXPECT_NEAR(list[1]->d, 5.0 / std::sqrt(2.0), 1e-12);

  // Every lattice point inside the sphere is accounted for exactly once, shell by shell.
  EXPECT_EQ(MultiplicityByD(list), PointsByD(crystal, kLambdaHalf, 7, [](int, int, int) { return true; }));
  for (size_t i = 1; i < list.size(); ++i) EXPECT_GE(list[i - 1]->d, list[i]->d);
  for (const auto& r : list) {
    EXPECT_EQ(r->n, r->h * r->h + r->k * r->k + r->l * r->l);
    EXPECT_EQ(r->position, 0.0);
    EXPECT_EQ(r->intensity, 0.0);
  }
}

TEST(ReflexionGeneration, CentredLatticesLoseTheirAbsentReflexions) {
  CTSCrystal face = Cubic("F m -3 m", 5.0);
  const auto faceList = Generate(face, kLambdaHalf);
  EXPECT_FALSE(FindReflexion(face, {1, 0, 0}));
  EXPECT_FALSE(FindReflexion(face, {1, 1, 0}));
  ASSERT_TRUE(FindReflexion(face, {1, 1, 1}));
  EXPECT_EQ(Indices(*faceList[0]), std::make_tuple(1, 1, 1));
  EXPECT_EQ(faceList[0]->multiplicity, 8);
  auto allOddOrAllEven = [](int h, int k, int l) { return (h & 1) == (k & 1) && (k & 1) == (l & 1); };
  EXPECT_EQ(MultiplicityByD(faceList), PointsByD(face, kLambdaHalf, 7, allOddOrAllEven));

  CTSCrystal body = Cubic("I m -3 m", 5.0);
  const auto bodyList = Generate(body, kLambdaHalf);
  EXPECT_FALSE(FindReflexion(body, {1, 0, 0}));
  ASSERT_TRUE(FindReflexion(body, {1, 1, 0}));
  EXPECT_EQ(FindReflexion(body, {1, 1, 0})->multiplicity, 12);
  auto evenSum = [](int h, int k, int l) { return ((h + k + l) & 1) == 0; };
  EXPECT_EQ(MultiplicityByD(bodyList), PointsByD(body, kLambdaHalf, 7, evenSum));
}

TEST(ReflexionGeneration, ScrewAxesAndGlidesRemoveTheirZones) {
  // P 21/c: (0 k 0) needs k even, (h 0 l) needs l even.
  CTSCrystal crystal =
      test_crystals::MakeCrystal("P 21/c", 5.1, 6.3, 7.2, 90.0, 101.5, 90.0, {});
  const auto list = Generate(crystal, 1.0);
  for (const auto& r : list) {
    std::vector<CHkl> equivalents;
    CReflexionSymmetry(crystal).Equivalents({r->h, r->k, r->l}, true, equivalents);
    for (const CHkl& e : equivalents) {
      if (e.h == 0 && e.l == 0) {
        EXPECT_EQ(e.k % 2, 0) << e.h << e.k << e.l;
      }
      if (e.k == 0) {
        EXPECT_EQ(e.l % 2, 0) << e.h << e.k << e.l;
      }
    }
  }
  auto allowed = [](int h, int k, int l) {
    return !((h == 0 && l == 0 && k % 2 != 0) || (k == 0 && l % 2 != 0));
  };
  EXPECT_EQ(MultiplicityByD(list), PointsByD(crystal, 1.0, 8, allowed));
}

TEST(ReflexionGeneration, QuartzAgreesWithAnIndependentEnumeration) {
  CTSCrystal crystal = test_crystals::Quartz();
  const auto list = Generate(crystal, kLambdaHalf);
  // cctbx: 114 symmetry-unique reflexions with d > 0.77025 Angstrom in Laue class -3m1, whose
  // equivalents cover the 1024 lattice points outside the 00l (l != 3n) absences.
  EXPECT_EQ(list.size(), 114u);
  int sum = 0;
  for (const auto& r : list) sum += r->multiplicity;
  EXPECT_EQ(sum, 1024);
  EXPECT_FALSE(FindReflexion(crystal, {0, 0, 1}));
  EXPECT_FALSE(FindReflexion(crystal, {0, 0, 2}));
  ASSERT_TRUE(FindReflexion(crystal, {0, 0, 3}));
  // (1 0 1) and (1 0 -1) share d but are not equivalent: two entries of six each.
  const auto plus = FindReflexion(crystal, {1, 0, 1});
  const auto minus = FindReflexion(crystal, {1, 0, -1});
  ASSERT_TRUE(plus && minus);
  EXPECT_NE(plus, minus);
  EXPECT_EQ(plus->multiplicity, 6);
  EXPECT_EQ(minus->multiplicity, 6);
  EXPECT_NEAR(plus->d, 3.343425, 1e-6);
  // (1 1 0) and (-1 2 0) are Friedel mates of each other's equivalents: one entry.
  EXPECT_EQ(FindReflexion(crystal, {1, 1, 0})->multiplicity, 6);
  EXPECT_EQ(FindReflexion(crystal, {1, 1, 0}), FindReflexion(crystal, {-1, 2, 0}));
  // Hexagonal axes: (6 0 0) lies inside the sphere although 6 |a*| exceeds 1 / dLimit.
  EXPECT_EQ(IndexBounds(crystal, kLambdaHalf).h, 5);
  EXPECT_EQ(SearchBounds(crystal, kLambdaHalf).h, 6);
  ASSERT_TRUE(FindReflexion(crystal, {6, -3, 0}));
}

TEST(ReflexionGeneration, IdentityOnlyGivesTheWholeHalfSphereUnmerged) {
  CTSCrystal crystal = test_crystals::MakeCrystal("P 1", 4.1, 5.2, 6.3, 80.0, 95.0, 105.0, {});
  const auto list = Generate(crystal, 1.1);
  std::set<std::tuple<int, int, int>> seen;
  for (const auto& r : list) {
    EXPECT_EQ(r->multiplicity, 2);
    EXPECT_TRUE(seen.insert(Indices(*r)).second);
    EXPECT_FALSE(seen.count({-r->h, -r->k, -r->l}));
    EXPECT_DOUBLE_EQ(r->d, crystal.DSpacing(r->h, r->k, r->l));
  }
  const auto points = PointsByD(crystal, 1.1, 9, [](int, int, int) { return true; });
  size_t total = 0;
  for (const auto& [d, count] : points) total += count;
  EXPECT_EQ(list.size() * 2, total);
  // Of a triple and its negative, the label is the one with more non-negative indices or,
  // when they tie, with the larger h, k, l.
  ASSERT_TRUE(FindReflexion(crystal, {1, -2, 0}));
  EXPECT_EQ(Indices(*FindReflexion(crystal, {-1, 2, 0})), std::make_tuple(1, -2, 0));
  EXPECT_EQ(Indices(*FindReflexion(crystal, {-1, -1, -1})), std::make_tuple(1, 1, 1));
  EXPECT_EQ(Indices(*FindReflexion(crystal, {1, -1, -1})), std::make_tuple(-1, 1, 1));
}

// A search large enough to be shared between threads gives the list of one thread, triple
// for triple, screw-axis absences included.
TEST(ReflexionGeneration, ALargeSearchGivesTheSameListOnAnyNumberOfThreads) {
  const int threads = omp_get_max_threads();
  const CTSCrystal original =
      test_crystals::MakeCrystal("P 21 21 21", 43.0, 41.0, 45.0, 90.0, 90.0, 90.0, {});
  ASSERT_GT(EstimatedCandidates(original, 0.9), 2e5);
  std::vector<std::vector<std::tuple<int, int, int, int, double>>> lists;
  for (const int team : {1, 2}) {
    omp_set_num_threads(team);
    CTSCrystal crystal = original;
    auto& list = lists.emplace_back();
    for (const auto& r : Generate(crystal, 0.9, 1000000))
      list.emplace_back(r->h, r->k, r->l, r->multiplicity, r->d);
  }
  omp_set_num_threads(threads);
  EXPECT_EQ(lists[0], lists[1]);
  EXPECT_GT(lists[0].size(), 50000u);
}

TEST(ReflexionGeneration, TheCapKeepsTheLargestDSpacings) {
  CTSCrystal crystal = test_crystals::Quartz();
  const auto all = Generate(crystal, 0.5);
  ASSERT_GT(all.size(), 100u);
  const auto capped = Generate(crystal, 0.5, 100);
  ASSERT_EQ(capped.size(), 100u);
  for (size_t i = 0; i < 100; ++i) EXPECT_EQ(capped[i]->d, all[i]->d);
  EXPECT_GE(capped.back()->d, all[100]->d);

  // The cap also tightens the search before enumerating, never below what it keeps.
  const double tightened = CapTightenedDLimit(crystal, 0.5, 100);
  EXPECT_GT(tightened, 0.5);
  EXPECT_LT(tightened, capped.back()->d);
  EXPECT_EQ(CapTightenedDLimit(crystal, 0.5, 1000000), 0.5);
  // Caps too small for any search, or negative, still end.
  crystal.reflexions.clear();
  EXPECT_TRUE(GenerateReflexions(crystal, {0.5, 1}));
  EXPECT_EQ(crystal.reflexions.size(), 1u);
  EXPECT_FALSE(GenerateReflexions(crystal, {0.5, -3}));
}

// The warning of a list cut short counts what lies in range, not what the narrowed search found:
// the uncapped list of the same limit is the reference.
TEST(ReflexionGeneration, ACutListSaysHowManyLieInRange) {
  CTSCrystal crystal = test_crystals::Quartz();
  const size_t all = Generate(crystal, 0.5).size();
  ASSERT_GT(CapTightenedDLimit(crystal, 0.5, 100), 0.5);  // the search is narrowed
  CRecordingStatusLog log;
  Generate(crystal, 0.5, 100);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0], "Warning: 100 of the " + std::to_string(all) +
                              " reflexions in range are kept, those of largest d-spacing: their "
                              "number is limited. Raise the limit, or lift it, to keep them all.");
  EXPECT_TRUE(IsReflexionCapWarning(log.lines[0]));
  // A list within the cap says nothing.
  Generate(crystal, 0.5, static_cast<int32_t>(all));
  EXPECT_EQ(log.lines.size(), 1u);

  // Far more than a count could afford to enumerate (about 2 x 10^7 lattice points in a 100 A
  // cell): a lower bound, said as one, and below the estimate of all of them.
  CTSCrystal large = Cubic("P 1", 100.0);
  CRecordingStatusLog bounded;
  Generate(large, 0.5, 100);
  ASSERT_EQ(bounded.lines.size(), 1u);
  size_t lowerBound = 0;
  ASSERT_EQ(std::sscanf(bounded.lines[0].c_str(), "Warning: 100 of the more than %zu reflexions",
                        &lowerBound),
            1)
      << bounded.lines[0];
  EXPECT_GT(lowerBound, 1000000u);
  EXPECT_LT(static_cast<double>(lowerBound), EstimatedCandidates(large, 0.5));
}

TEST(ReflexionGeneration, IndexBoundsFollowTheReciprocalAxes) {
  CTSCrystal crystal = Cubic("P 1", 10.0);
  const CIndexBounds bounds = IndexBounds(crystal, 0.77025);
  EXPECT_EQ(bounds.h, 12);  // floor(10 / 0.77025)
  EXPECT_EQ(bounds.l, 12);
  EXPECT_EQ(bounds.estimate, 25u * 25u * 25u - 1u);
  const CIndexBounds clamped = IndexBounds(crystal, 1e-6);
  EXPECT_EQ(clamped.h, 32767);
  EXPECT_EQ(IndexBounds(crystal, 1000.0).h, 1);
}

TEST(ReflexionGeneration, ManyReflexionsWithoutACapAskBeforeGoingOn) {
  CTSCrystal crystal = Cubic("P 1", 30.0);
  CRecordingAlertPresenter truncate(CAlertPresenter::kSecondButton);
  EXPECT_TRUE(GenerateReflexions(crystal, {kLambdaHalf, std::nullopt}));
  ASSERT_EQ(truncate.shown.size(), 1u);
  EXPECT_EQ(truncate.shown[0].title, "Many Reflexions");
  EXPECT_EQ(truncate.shown[0].firstButton, "Continue");
  EXPECT_EQ(truncate.shown[0].secondButton, "Truncate");
  EXPECT_EQ(truncate.shown[0].explanation, "You may truncate to a reasonable number (0.1 million).");
  EXPECT_EQ(crystal.reflexions.size(), 100000u);

  CRecordingAlertPresenter goOn(CAlertPresenter::kFirstButton);
  EXPECT_TRUE(GenerateReflexions(crystal, {kLambdaHalf, std::nullopt}));
  EXPECT_GT(crystal.reflexions.size(), 100000u);
}

TEST(ReflexionGeneration, FindLooksThroughEquivalentsAndFriedelMates) {
  CTSCrystal crystal = Cubic("P m -3 m", 5.0);
  Generate(crystal, kLambdaHalf);
  EXPECT_EQ(FindReflexion(crystal, {0, -1, 0}), crystal.reflexions[0]);
  EXPECT_EQ(FindReflexion(crystal, {-1, 1, 0}), crystal.reflexions[1]);
  EXPECT_FALSE(FindReflexion(crystal, {9, 9, 9}));
}

TEST(ReflexionGeneration, DegenerateCellsGiveNothingAndEnd) {
  CTSCrystal flat = Cubic("P m -3 m", 5.0);
  flat.c = 0.0;
  flat.UpdateCell();
  EXPECT_FALSE(GenerateReflexions(flat, {kLambdaHalf, 10000}));
  CTSCrystal undefined = Cubic("P m -3 m", 5.0);
  undefined.a = std::nan("");
  undefined.UpdateCell();
  EXPECT_FALSE(GenerateReflexions(undefined, {kLambdaHalf, 10000}));
  CTSCrystal tiny = Cubic("P 1", 5.0);
  EXPECT_FALSE(GenerateReflexions(tiny, {100.0, std::nullopt}));
}

// Angles refined apart in the third decimal still describe rhombohedral axes, where the
// hexagonal centring absences do not apply.
TEST(ReflexionGeneration, RhombohedralAxesNeedOnlyAnglesEqualWhenRounded) {
  auto reflexionCount = [](double gamma) {
    CTSCrystal crystal = test_crystals::MakeCrystal("R -3 m", 5.0, 5.0, 5.0, 51.683, 51.683, gamma,
                                                    {{"Fe", 0.0, 0.0, 0.0}});
    int count = 0;
    for (const auto& r : Generate(crystal, 1.0)) count += r->multiplicity;
    return count;
  };
  const int exact = reflexionCount(51.683);
  EXPECT_GT(exact, 50);
  EXPECT_EQ(reflexionCount(51.685), exact);
}

TEST(ReflexionGeneration, TheCandidateEstimateCountsTheHalfSphere) {
  // An oblique P 1 cell and a face-centred one, against the candidates actually enumerated.
  for (CTSCrystal crystal :
       {test_crystals::MakeCrystal("P 1", 7.1, 8.3, 9.7, 77.0, 101.0, 113.0, {}),
        Cubic("F m -3 m", 11.0)}) {
    SCOPED_TRACE(crystal.spaceGroupSymbol);
    int candidates = 0;
    for (const auto& r : Generate(crystal, 0.8)) candidates += r->multiplicity / 2;
    EXPECT_NEAR(EstimatedCandidates(crystal, 0.8), candidates, 0.05 * candidates);
  }
}

TEST(ReflexionGeneration, AListBeyondTheMemoryBudgetIsRefusedBeforehand) {
  const double budget = ReflexionMemoryBudget();
  SetReflexionMemoryBudget(1e6);
  CTSCrystal crystal = Cubic("P 1", 40.0);
  CRecordingAlertPresenter alerts;
  EXPECT_FALSE(GenerateReflexions(crystal, {0.5, std::nullopt}));
  EXPECT_TRUE(crystal.reflexions.empty());
  ASSERT_EQ(alerts.shown.size(), 1u);
  EXPECT_EQ(alerts.shown[0].message, "This calculation needs 1.1 million reflexions.");
  EXPECT_NE(alerts.shown[0].explanation.find("more than the 0.0 GB allowed"), std::string::npos);
  // A cap keeps the list within the budget.
  EXPECT_TRUE(GenerateReflexions(crystal, {0.5, 1000}));
  EXPECT_EQ(crystal.reflexions.size(), 1000u);
  SetReflexionMemoryBudget(budget);
}

}  // namespace
