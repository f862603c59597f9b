#include <gtest/gtest.h>
#include <omp.h>

#include <chrono>
#include <cmath>
#include <random>
#include <set>

#include "app/cancellable.h"
#include "app/work_team.h"
#include "diffraction/calculate.h"
#include "diffraction/intensity_factors.h"
#include "diffraction/reflexion.h"
#include "diffraction/reflexion_generator.h"
#include "diffraction/reflexion_symmetry.h"
#include "diffraction/structure_factors.h"
#include "errors/alert.h"
#include "patterns/plot_spec.h"
#include "support/recorders.h"
#include "test_crystals.h"

namespace {

using test_crystals::SiteData;

const double kPi = std::acos(-1.0);

double FormFactor(const char* symbol, double d) {
  return XrayFormFactor(*CScatteringFactorTable::Instance().Find(symbol), 1.0 / (4.0 * d * d));
}

// F = A + iB summed term by term as the rule states it, for checking the grouped sums.
std::pair<double, double> DirectF(const CTSCrystal& crystal, const CTSReflexion& r, CScatteringKind kind) {
  double a = 0.0, b = 0.0;
  for (const CTSSite& site : crystal.sites) {
    if (!site.included) continue;
    double f = 0.0;
    for (const CTSAtom& atom : site.atoms) f += ScatteringFactor(atom.scattering, atom.occupancy, r.d, kind);
    if (crystal.useDisplacementParameters && site.displacement) f *= site.displacement->Factor(r.h, r.k, r.l, r.d);
    for (const auto& p : site.positions) {
      const double phi = 2.0 * kPi * (r.h * p.x + r.k * p.y + r.l * p.z);
      const double half = std::sin(phi / 2.0);
      double c = 1.0 - 2.0 * half * half, s = std::sin(phi);
      if (std::abs(c) < 1.1368683772161603e-13) c = 0.0;
      if (std::abs(s) < 1.1368683772161603e-13) s = 0.0;
      a += f * c;
      b += f * s;
    }
  }
  return {a, b};
}

double SumOfMagnitudes(const CTSCrystal& crystal, const CTSReflexion& r, CScatteringKind kind) {
  double sum = 0.0;
  for (const CTSSite& site : crystal.sites)
    for (const CTSAtom& atom : site.atoms)
      sum += std::abs(ScatteringFactor(atom.scattering, atom.occupancy, r.d, kind)) * site.positions.size();
  return sum;
}

// A triclinic cell full of random atoms with displacement parameters.
CTSCrystal RandomStructure(int atoms, unsigned stream) {
  std::mt19937 random(stream);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const char* elements[] = {"O", "Si", "Fe", "Ba", "H"};
  std::vector<SiteData> sites;
  for (int i = 0; i < atoms; ++i)
    sites.push_back({elements[i % 5], unit(random), unit(random), unit(random), 0.5 + 0.5 * unit(random),
                     i % 3 == 0 ? -1.0 : 0.02 * unit(random)});
  return test_crystals::MakeCrystal("P 1", 9.1, 10.3, 11.7, 84.0, 97.0, 103.0, sites);
}

CPlotSpec PlotSpecFor(VHTypes::TSSimulationType type = VHTypes::kSimulationXrays) {
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  plotSpec.SetSimulationType(type);
  return plotSpec;
}

TEST(StructureFactors, RockSaltByHand) {
  CTSCrystal crystal = test_crystals::NaCl();
  ASSERT_TRUE(CalculateReflexions(crystal, PlotSpecFor()));
  const double lambda = 1.5405, volume = std::pow(5.6402, 3);
  for (auto [h, k, l, sign] : {std::tuple{1, 1, 1, -1.0}, {0, 0, 2, 1.0}, {0, 2, 2, 1.0}, {1, 1, 3, -1.0}}) {
    const auto r = FindReflexion(crystal, {h, k, l});
    ASSERT_TRUE(r) << h << k << l;
    const double d = 5.6402 / std::sqrt(h * h + k * k + l * l);
    const double f = 4.0 * (FormFactor("Na", d) + sign * FormFactor("Cl", d));
    EXPECT_NEAR(r->fReal, f, 1e-12 * std::abs(f)) << h << k << l;
    EXPECT_EQ(r->fImaginary, 0.0);
    EXPECT_EQ(r->phase, f > 0 ? 0.0 : kPi);
    const double theta = std::asin(lambda / (2.0 * d));
    const double lp = (1.0 + std::pow(std::cos(2.0 * theta), 2)) / 2.0 / (std::sin(2.0 * theta) * std::sin(theta));
    EXPECT_NEAR(r->lp, lp, 1e-12 * lp);
    const double intensity = f * f * std::pow(lambda, 3) * lp * r->multiplicity / (volume * volume);
    EXPECT_NEAR(r->intensity, intensity, 1e-11 * intensity);
  }
  // The strongest is (2 0 0); every relative intensity is scaled to it.
  const auto strongest = FindReflexion(crystal, {0, 0, 2});
  EXPECT_EQ(strongest->relativeIntensity, 1.0);
  EXPECT_EQ(crystal.maximumIntensity, strongest->intensity);
  for (const auto& r : crystal.reflexions) EXPECT_LE(r->relativeIntensity, 1.0);
}

TEST(StructureFactors, QuartzAgreesWithCctbx) {
  // |F|^2 from cctbx (direct summation, it1992 X-ray fits, Sears neutron lengths, no
  // displacement); the table holds the coefficients in single precision.
  struct Expected {
    CHkl hkl;
    int multiplicity;
    double xray, neutron;
  };
  const Expected expected[] = {
      {{1, 0, 0}, 6, 262.0863710456076, 66.05219986373284},
      {{1, 0, 1}, 6, 668.0965389605203, 197.25071453401375},
      {{1, 0, -1}, 6, 1558.2579010115996, 512.6190523967942},
      {{1, 1, 0}, 6, 329.6931481644295, 259.6184153011947},
      {{1, 0, 2}, 6, 330.1758282060414, 34.49256047982919},
      {{1, 0, -2}, 6, 62.79488138103284, 350.1228903439091},
      {{1, 1, 1}, 12, 91.60737984122937, 167.506082469285},
      {{2, 0, 0}, 6, 328.19428792568294, 8.113080897477975},
  };
  for (auto type : {VHTypes::kSimulationXrays, VHTypes::kSimulationNeutrons}) {
    CTSCrystal crystal = test_crystals::Quartz();
    ASSERT_TRUE(CalculateReflexions(crystal, PlotSpecFor(type)));
    for (const Expected& e : expected) {
      const auto r = FindReflexion(crystal, e.hkl);
      ASSERT_TRUE(r);
      EXPECT_EQ(r->multiplicity, e.multiplicity);
      const double f2 = r->fReal * r->fReal + r->fImaginary * r->fImaginary;
      const double reference = type == VHTypes::kSimulationXrays ? e.xray : e.neutron;
      EXPECT_NEAR(f2, reference, 2e-6 * reference) << e.hkl.h << e.hkl.k << e.hkl.l;
    }
  }
}

TEST(StructureFactors, SumsAgreeWithTheRuleTermByTerm) {
  for (CTSCrystal crystal : {test_crystals::Quartz(), RandomStructure(40, 7)}) {
    ASSERT_TRUE(GenerateReflexions(crystal, {0.6, std::nullopt}));
    AssignScatteringGroups(crystal);
    for (auto kind : {CScatteringKind::kXray, CScatteringKind::kNeutron, CScatteringKind::kElectron}) {
      const CStructureFactorSum sum(crystal, kind);
      const auto f = test_crystals::RowSums(sum, crystal.reflexions);
      for (size_t i = 0; i < f.size(); ++i) {
        const auto& r = crystal.reflexions[i];
        const auto [a, b] = f[i];
        const auto [directA, directB] = DirectF(crystal, *r, kind);
        const double scale = SumOfMagnitudes(crystal, *r, kind);
        ASSERT_NEAR(a, directA, 1e-12 * scale) << r->h << " " << r->k << " " << r->l;
        ASSERT_NEAR(b, directB, 1e-12 * scale) << r->h << " " << r->k << " " << r->l;
      }
    }
  }
}

// Rows hold every reflexion once, each on its row's steps, and run as long as the list
// allows: in an F-centred cell l steps by two along a row.
TEST(StructureFactors, ReflexionRowsCoverTheListOnTheirSteps) {
  CTSCrystal crystal = test_crystals::NaCl();
  ASSERT_TRUE(GenerateReflexions(crystal, {0.25, std::nullopt}));
  std::vector<CTSReflexion*> reflexions;
  for (const auto& r : crystal.reflexions) reflexions.push_back(r.get());
  const std::vector<CReflexionRow> rows = ReflexionRows(reflexions);
  std::set<const CTSReflexion*> seen;
  size_t longest = 0;
  for (const CReflexionRow& row : rows) {
    const CPhaseRow& p = row.phases;
    ASSERT_LE(p.count, CPhaseRow::kMaxCount);
    for (const CTSReflexion* r : row.reflexions) {
      EXPECT_TRUE(seen.insert(r).second);
      EXPECT_EQ(r->h, p.first.h);
      EXPECT_EQ(r->k, p.first.k);
      EXPECT_EQ((r->l - p.first.l) % p.step, 0);
      EXPECT_LT((r->l - p.first.l) / p.step, static_cast<int>(p.count));
    }
    EXPECT_EQ(row.reflexions.back()->l, p.first.l + static_cast<int>(p.count - 1) * p.step);
    if (row.reflexions.size() > 1) {
      EXPECT_EQ(p.step, 2);
    }
    longest = std::max(longest, row.reflexions.size());
  }
  EXPECT_EQ(seen.size(), crystal.reflexions.size());
  EXPECT_GT(longest, 4u);
}

TEST(StructureFactors, FriedelMatesAreComplexConjugates) {
  CTSCrystal crystal = RandomStructure(25, 3);
  ASSERT_TRUE(GenerateReflexions(crystal, {0.9, std::nullopt}));
  AssignScatteringGroups(crystal);
  const CStructureFactorSum sum(crystal, CScatteringKind::kXray);
  auto scratch = sum.NewScratch();
  for (const auto& r : crystal.reflexions) {
    CTSReflexion mate = *r;
    mate.h = -r->h, mate.k = -r->k, mate.l = -r->l;
    const auto [a, b] = sum.Evaluate(*r, scratch);
    const auto [mateA, mateB] = sum.Evaluate(mate, scratch);
    EXPECT_EQ(a, mateA);
    EXPECT_EQ(b, -mateB);
  }
}

TEST(StructureFactors, EmptyExcludedAndVacantSitesScatterNothing) {
  CTSCrystal plain = test_crystals::NaCl();
  ASSERT_TRUE(CalculateReflexions(plain, PlotSpecFor()));
  CTSCrystal extra = test_crystals::NaCl();
  extra.sites.push_back(test_crystals::MakeSite({"O", 0.25, 0.25, 0.25, 0.0}));
  extra.sites.push_back(test_crystals::MakeSite({"Ba", 0.1, 0.2, 0.3}));
  extra.sites.back().included = false;
  extra.GeneratePositions();
  ASSERT_TRUE(CalculateReflexions(extra, PlotSpecFor()));
  ASSERT_EQ(plain.reflexions.size(), extra.reflexions.size());
  for (size_t i = 0; i < plain.reflexions.size(); ++i) {
    EXPECT_NEAR(extra.reflexions[i]->fReal, plain.reflexions[i]->fReal, 1e-12 * std::abs(plain.reflexions[i]->fReal));
    EXPECT_NEAR(extra.reflexions[i]->fImaginary, 0.0, 1e-12);
  }
}

TEST(StructureFactors, DisplacementDampsEachSite) {
  CTSCrystal cold = test_crystals::NaCl();
  CTSCrystal warm = test_crystals::Cubic("F m -3 m", 5.6402, {{"Na", 0, 0, 0, 1.0, 0.02}, {"Cl", 0.5, 0.5, 0.5, 1.0, 0.01}});
  ASSERT_TRUE(CalculateReflexions(cold, PlotSpecFor()));
  ASSERT_TRUE(CalculateReflexions(warm, PlotSpecFor()));
  const auto r = FindReflexion(warm, {1, 1, 1});
  const double s2 = 1.0 / (4.0 * r->d * r->d);
  const double expected = 4.0 * (FormFactor("Na", r->d) * std::exp(-8.0 * kPi * kPi * 0.02 * s2) -
                                 FormFactor("Cl", r->d) * std::exp(-8.0 * kPi * kPi * 0.01 * s2));
  EXPECT_NEAR(r->fReal, expected, 1e-12 * std::abs(expected));
  warm.useDisplacementParameters = false;
  ASSERT_TRUE(CalculateReflexions(warm, PlotSpecFor()));
  EXPECT_NEAR(FindReflexion(warm, {1, 1, 1})->fReal, FindReflexion(cold, {1, 1, 1})->fReal, 1e-12);
}

TEST(StructureFactors, SpecialPositionExtinctionsAreDroppedAfterTheIntensities) {
  // Two equal atoms at 0 and the body centre: a body-centred crystal described in P m -3 m.
  CTSCrystal crystal = test_crystals::Cubic("P m -3 m", 3.0, {{"Fe", 0, 0, 0}, {"Fe", 0.5, 0.5, 0.5}});
  ASSERT_TRUE(GenerateReflexions(crystal, ReflexionLimits(PlotSpecFor())));
  EXPECT_TRUE(FindReflexion(crystal, {1, 0, 0}));
  ASSERT_TRUE(CalculateReflexions(crystal, PlotSpecFor()));
  EXPECT_FALSE(FindReflexion(crystal, {1, 0, 0}));
  EXPECT_FALSE(FindReflexion(crystal, {1, 1, 1}));
  EXPECT_TRUE(FindReflexion(crystal, {1, 1, 0}));
  for (const auto& r : crystal.reflexions) EXPECT_EQ((r->h + r->k + r->l) % 2, 0);
}

TEST(StructureFactors, ASingleReflexionIsItsOwnMaximum) {
  CTSCrystal crystal = test_crystals::Cubic("P m -3 m", 5.0, {{"Fe", 0, 0, 0}});
  CPlotSpec plotSpec = PlotSpecFor();
  plotSpec.SetDMin(4.0);
  ASSERT_TRUE(CalculateReflexions(crystal, plotSpec));
  ASSERT_EQ(crystal.reflexions.size(), 1u);
  EXPECT_EQ(crystal.reflexions[0]->relativeIntensity, 1.0);
  EXPECT_EQ(crystal.maximumIntensity, crystal.reflexions[0]->intensity);
  // Nothing left: a limit beyond the largest spacing.
  plotSpec.SetDMin(6.0);
  EXPECT_FALSE(CalculateReflexions(crystal, plotSpec));
  EXPECT_TRUE(crystal.reflexions.empty());
}

TEST(StructureFactors, ResultsDoNotDependOnTheThreadCount) {
  const int threads = omp_get_max_threads();
  for (const CTSCrystal& original : {test_crystals::Quartz(), RandomStructure(60, 11)}) {
    CTSCrystal one = original, two = original;
    CPlotSpec plotSpec = PlotSpecFor();
    plotSpec.SetDMin(0.8);
    omp_set_num_threads(1);
    ASSERT_TRUE(CalculateReflexions(one, plotSpec));
    omp_set_num_threads(2);
    ASSERT_TRUE(CalculateReflexions(two, plotSpec));
    // A worker of a batch pool: one thread of its own, and teams of the threads its pool lends.
    CTSCrystal lent = original;
    {
      omp_set_num_threads(1);
      CThreadLender lender(2);
      lender.Idle();
      const CThreadLenderScope scope(lender);
      ASSERT_TRUE(CalculateReflexions(lent, plotSpec));
    }
    for (const CTSCrystal* other : {&two, &lent}) {
      ASSERT_EQ(one.reflexions.size(), other->reflexions.size());
      for (size_t i = 0; i < one.reflexions.size(); ++i) {
        const CTSReflexion &a = *one.reflexions[i], &b = *other->reflexions[i];
        EXPECT_EQ(a.fReal, b.fReal);
        EXPECT_EQ(a.fImaginary, b.fImaginary);
        EXPECT_EQ(a.intensity, b.intensity);
        EXPECT_EQ(a.relativeIntensity, b.relativeIntensity);
        EXPECT_EQ(a.phase, b.phase);
      }
    }
  }
  omp_set_num_threads(threads);
}

// A calculation whose time limit has passed gives up at its next poll, alone or in a team, and
// raises; one within its limit is the calculation without a limit.
TEST(StructureFactors, WorkPastItsTimeLimitIsAbandonedAndWorkWithinItIsUnchanged) {
  const int threads = omp_get_max_threads();
  const CTSCrystal original = RandomStructure(60, 11);
  CPlotSpec plotSpec = PlotSpecFor();
  plotSpec.SetDMin(0.8);
  CTSCrystal unlimited = original;
  ASSERT_TRUE(CalculateReflexions(unlimited, plotSpec));
  for (const int team : {1, 2}) {
    SCOPED_TRACE(team);
    omp_set_num_threads(team);
    {
      const CWorkLimit passed(CWorkLimit::CClock::now() - std::chrono::seconds(1));
      CTSCrystal crystal = original;
      EXPECT_THROW(CalculateReflexions(crystal, plotSpec), CWorkAbandoned);
      CTSCrystal listed = unlimited;
      EXPECT_THROW(CalculateIntensities(listed, plotSpec), CWorkAbandoned);
    }
    const CWorkLimit ahead(CWorkLimit::CClock::now() + std::chrono::hours(1));
    CTSCrystal crystal = original;
    ASSERT_TRUE(CalculateReflexions(crystal, plotSpec));
    ASSERT_EQ(crystal.reflexions.size(), unlimited.reflexions.size());
    for (size_t i = 0; i < crystal.reflexions.size(); ++i)
      EXPECT_EQ(crystal.reflexions[i]->intensity, unlimited.reflexions[i]->intensity);
  }
  omp_set_num_threads(threads);
  // Outside every limit nothing is abandoned.
  CTSCrystal crystal = original;
  EXPECT_TRUE(CalculateReflexions(crystal, plotSpec));
}

TEST(StructureFactors, PositionsFollowBraggsLaw) {
  CTSCrystal crystal = test_crystals::Quartz();
  ASSERT_TRUE(CalculateReflexions(crystal, PlotSpecFor()));
  for (const auto& r : crystal.reflexions)
    EXPECT_NEAR(2.0 * r->d * std::sin(r->position / 2.0 * kPi / 180.0), 1.5405, 1e-12);
}

TEST(IntensityFactors, PolarisationAndLorentzByRadiation) {
  const double lambda = 1.5405;
  const double d90 = lambda / std::sqrt(2.0);  // 2 theta = 90 degrees
  const auto xray = GeometryFactors(PlotSpecFor(), d90);
  const auto neutron = GeometryFactors(PlotSpecFor(VHTypes::kSimulationNeutrons), d90);
  EXPECT_DOUBLE_EQ(xray.k, lambda * lambda * lambda);
  EXPECT_DOUBLE_EQ(neutron.k, xray.k);
  EXPECT_DOUBLE_EQ(neutron.lp, std::sqrt(2.0));  // 1 / (sin 90 sin 45)
  EXPECT_EQ(xray.lp, neutron.lp / 2.0);          // P = 1/2 exactly
  // Beyond the sphere of reflexion: L = 1 and theta = 90 degrees.
  EXPECT_EQ(GeometryFactors(PlotSpecFor(), 0.5).lp, 1.0);

  // Electrons: the electron wavelength, no polarisation.
  const auto electron = GeometryFactors(PlotSpecFor(VHTypes::kSimulationElectrons), 2.0);
  EXPECT_DOUBLE_EQ(electron.k, std::pow(0.037014, 3));
  EXPECT_DOUBLE_EQ(electron.lp, 2.0 * 2.0 / 0.037014);

  // Energy-dispersive: the detector angle picks the wavelength 2 d sin theta.
  CPlotSpec edx = PlotSpecFor(VHTypes::kSimulationEnergyDispersive);
  const double theta = edx.EDXTheta(), d = 2.5;
  const auto energy = GeometryFactors(edx, d);
  EXPECT_NEAR(energy.k, 2.0 * std::pow(2.0 * d * std::sin(theta), 3), 1e-15);
  const double p = (1.0 + std::pow(std::cos(2.0 * theta), 2)) / 2.0;
  EXPECT_NEAR(energy.lp, p / (std::sin(2.0 * theta) * std::sin(theta)), 1e-9);

  const auto tof = GeometryFactors(PlotSpecFor(VHTypes::kSimulationTimeOfFlight), d);
  EXPECT_EQ(tof.k, 1.0);
  EXPECT_DOUBLE_EQ(tof.lp, std::pow(d, 4) * std::sin(1.57));
}

TEST(IntensityFactors, PhaseAgreesWithTheArcTangentOfFAndHandlesZeros) {
  std::mt19937 random(5);
  std::uniform_real_distribution<double> value(-10.0, 10.0);
  for (int i = 0; i < 1000; ++i) {
    const double a = value(random), b = value(random);
    const double expected = std::fmod(std::atan2(b, a) + 2.0 * kPi, 2.0 * kPi);
    EXPECT_NEAR(StructureFactorPhase(a, b), expected, 1e-14);
  }
  EXPECT_EQ(StructureFactorPhase(0.0, 0.0), 0.0);
  EXPECT_EQ(StructureFactorPhase(0.0, 2.0), kPi / 2.0);
  EXPECT_EQ(StructureFactorPhase(0.0, -2.0), 3.0 * kPi / 2.0);
  EXPECT_EQ(StructureFactorPhase(-3.0, 1e-13), kPi);
  EXPECT_EQ(StructureFactorPhase(3.0, -1e-13), 0.0);
}

TEST(PreferredOrientation, RandomPowderLeavesTheMultiplicities) {
  EXPECT_NEAR(CPreferredOrientation::Normalisation(0.0), 1.0, 1e-14);
  CTSCrystal random = test_crystals::Quartz();
  CTSCrystal oriented = random;
  oriented.usePreferredOrientation = true;
  oriented.preferredOrientationAlignment = 0.0;
  ASSERT_TRUE(CalculateReflexions(random, PlotSpecFor()));
  ASSERT_TRUE(CalculateReflexions(oriented, PlotSpecFor()));
  ASSERT_EQ(random.reflexions.size(), oriented.reflexions.size());
  for (size_t i = 0; i < random.reflexions.size(); ++i)
    EXPECT_NEAR(oriented.reflexions[i]->intensity, random.reflexions[i]->intensity,
                1e-13 * random.reflexions[i]->intensity);
}

TEST(PreferredOrientation, PlatesFavourTheirOwnPlaneNormal) {
  CTSCrystal crystal = test_crystals::Cubic("P m -3 m", 5.0, {{"Fe", 0, 0, 0}});
  crystal.usePreferredOrientation = true;
  crystal.preferredOrientationAlignment = 0.5;
  crystal.preferredOrientationNormalisation = CPreferredOrientation::Normalisation(0.5);
  ASSERT_TRUE(GenerateReflexions(crystal, {0.8, std::nullopt}));
  const CPreferredOrientation orientation(crystal);
  std::vector<CHkl> scratch;
  // {1 0 0}: two normals along the axis (r^-3 each) and four across it (r^1.5 each).
  const double r = 0.5;
  const double n = crystal.preferredOrientationNormalisation;
  EXPECT_NEAR(orientation.Factor(*crystal.reflexions[0], scratch), n * (2.0 / (r * r * r) + 4.0 * std::pow(r, 1.5)),
              1e-12);
  // The normalisation by an independent fine quadrature of the same integrand.
  double integral = 0.0;
  const int steps = 200000;
  for (int i = 0; i < steps; ++i) {
    const double alpha = (i + 0.5) * (kPi / 2.0) / steps;
    integral += std::pow(r * r * std::cos(alpha) * std::cos(alpha) + std::pow(std::sin(alpha), 2) / r, -1.5);
  }
  EXPECT_NEAR(n, kPi / (2.0 * integral * (kPi / 2.0) / steps), 1e-6);

  // In a cubic cell the direction [1 1 0] is the normal of (1 1 0).
  crystal.preferredOrientationVector = {1.0, 1.0, 0.0};
  const CPreferredOrientation normal(crystal);
  crystal.preferredOrientationVectorType = CTSCrystal::kLatticeVector;
  const CPreferredOrientation direction(crystal);
  for (const auto& reflexion : crystal.reflexions)
    EXPECT_NEAR(normal.Factor(*reflexion, scratch), direction.Factor(*reflexion, scratch), 1e-12);
  // Needles invert the ratio; no axis at all leaves the multiplicity.
  crystal.preferredOrientationGeometry = CTSCrystal::kNeedles;
  crystal.preferredOrientationVector = {0.0, 0.0, 0.0};
  EXPECT_EQ(CPreferredOrientation(crystal).Factor(*crystal.reflexions[0], scratch), 6.0);
}

TEST(ScatteringFactorCheck, NamesEachUnmatchedSymbolOnceAndGoesOn) {
  CRecordingAlertPresenter presenter;
  CTSCrystal crystal = test_crystals::Cubic("P m -3 m", 5.0, {{"Xx", 0, 0, 0}, {"Fe", 0.5, 0, 0}, {"Yy", 0.5, 0.5, 0}, {"Xx", 0.5, 0.5, 0.5}});
  presenter.shown.clear();  // the matching's own alerts
  EXPECT_TRUE(CalculateReflexions(crystal, PlotSpecFor()));
  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].message, "Missing scattering factor data.");
  EXPECT_EQ(presenter.shown[0].explanation,
            "Cannot find atomic scattering factor values for the following atom type(s) in this structure:\n\nXx, Yy");
}

TEST(ScatteringGroups, RunsOfEqualSpeciesShareAGroup) {
  CTSCrystal crystal = test_crystals::Cubic(
      "P 1", 5.0, {{"Fe", 0, 0, 0}, {"Fe", 0.1, 0, 0}, {"O", 0.2, 0, 0}, {"Fe", 0.3, 0, 0, 0.5}, {"Fe", 0.4, 0, 0, 0.5}, {"Fe", 0.5, 0, 0}});
  AssignScatteringGroups(crystal);
  std::vector<int64_t> groups;
  for (const CTSSite& site : crystal.sites) groups.push_back(site.scatteringGroup);
  EXPECT_EQ(groups, (std::vector<int64_t>{0, 0, 1, 2, 2, 3}));
}

TEST(Calculate, BuildsMissingOperatorsAndSurvivesBadInput) {
  CTSCrystal crystal = test_crystals::NaCl();
  crystal.symmetryOperators.clear();
  ASSERT_TRUE(CalculateReflexions(crystal, PlotSpecFor()));
  EXPECT_EQ(crystal.symmetryOperators.size(), 48u);
  EXPECT_TRUE(crystal.centrosymmetric);
  EXPECT_FALSE(FindReflexion(crystal, {1, 0, 0}));

  CPlotSpec plotSpec = PlotSpecFor();
  plotSpec.SetMaxNumRefs(100);
  plotSpec.SetLambda(std::nan(""));
  EXPECT_TRUE(CalculateReflexions(crystal, plotSpec));  // the 0.01 Angstrom floor, then the cap
  EXPECT_LE(crystal.reflexions.size(), 100u);
  crystal.a = 0.0;
  EXPECT_FALSE(CalculateReflexions(crystal, plotSpec));
  EXPECT_TRUE(crystal.reflexions.empty());
}

// Quartz whose oxygen, on a general position, vibrates anisotropically.
CTSCrystal AnisotropicQuartz(bool legacy) {
  const CLegacyRulesScope rules(legacy);
  CTSCrystal quartz = test_crystals::Quartz();
  quartz.sites[1].displacement = std::make_unique<CTSAnisoThermalEllipsoid>(
      CTSAnisoThermalEllipsoid::Uij{0.016, 0.012, 0.014, 0.009, -0.003, -0.005}, quartz.aStar,
      quartz.bStar, quartz.cStar);
  quartz.GeneratePositions();
  return quartz;
}

// |F|² of every equivalent of (h k l), Friedel mates included.
std::vector<double> F2OfEquivalents(const CTSCrystal& crystal, const CHkl& hkl) {
  std::vector<CHkl> equivalents;
  CReflexionSymmetry(crystal).Equivalents(hkl, true, equivalents);
  std::vector<std::shared_ptr<CTSReflexion>> reflexions;
  for (const CHkl& e : equivalents) {
    auto r = std::make_shared<CTSReflexion>();
    r->h = e.h, r->k = e.k, r->l = e.l;
    r->d = crystal.DSpacing(e.h, e.k, e.l);
    reflexions.push_back(r);
  }
  const CStructureFactorSum sum(crystal, CScatteringKind::kXray);
  CStructureFactorSum::CScratch scratch = sum.NewScratch();
  std::vector<double> f2;
  for (const auto& r : reflexions) {
    const auto [a, b] = sum.Evaluate(*r, scratch);
    f2.push_back(a * a + b * b);
  }
  return f2;
}

// An anisotropic atom's images vibrate along axes turned with them, so equivalent reflexions
// scatter alike; one tensor for every image (the legacy rules) breaks that.
TEST(StructureFactors, AnisotropicDisplacementTurnsWithEachImage) {
  const CTSCrystal physical = AnisotropicQuartz(false), legacy = AnisotropicQuartz(true);
  double legacySpread = 0.0;
  for (const CHkl hkl : {CHkl{1, 0, 1}, CHkl{2, 1, 3}, CHkl{3, -1, 2}, CHkl{4, 2, 5}}) {
    SCOPED_TRACE(testing::Message() << hkl.h << " " << hkl.k << " " << hkl.l);
    const std::vector<double> f2 = F2OfEquivalents(physical, hkl);
    ASSERT_GE(f2.size(), 6u);
    for (const double value : f2) EXPECT_NEAR(value, f2.front(), 1e-10 * f2.front());
    const std::vector<double> unturned = F2OfEquivalents(legacy, hkl);
    const auto [low, high] = std::minmax_element(unturned.begin(), unturned.end());
    legacySpread = std::max(legacySpread, (*high - *low) / *high);
  }
  EXPECT_GT(legacySpread, 0.01);
}

TEST(StructureFactors, ADisplacementTensorTakesTheSymmetryOfItsSite) {
  // An atom on the cubic site m-3m cannot vibrate more along one axis than along another.
  auto crystal = [](bool legacy) {
    const CLegacyRulesScope rules(legacy);
    CTSCrystal iron = test_crystals::Cubic("P m -3 m", 3.0, {{"Fe", 0, 0, 0}});
    iron.sites[0].displacement = std::make_unique<CTSAnisoThermalEllipsoid>(
        CTSAnisoThermalEllipsoid::Uij{0.01, 0.02, 0.03, 0, 0, 0}, iron.aStar, iron.bStar,
        iron.cStar);
    iron.GeneratePositions();
    return iron;
  };
  CRecordingStatusLog log;
  const CTSCrystal physical = crystal(false);
  EXPECT_TRUE(log.Contains(
      "Warning: The anisotropic displacement parameters of site 'Fe' lack the symmetry"));
  const auto* tensor =
      dynamic_cast<const CTSAnisoThermalEllipsoid*>(physical.sites[0].displacement.get());
  ASSERT_TRUE(tensor);
  const auto u = tensor->ToUij(physical.aStar, physical.bStar, physical.cStar);
  for (const double diagonal : {u.u11, u.u22, u.u33}) EXPECT_NEAR(diagonal, 0.02, 1e-15);
  EXPECT_NEAR(tensor->U(), 0.02, 1e-15);
  const CTSCrystal legacy = crystal(true);
  const auto* given =
      dynamic_cast<const CTSAnisoThermalEllipsoid*>(legacy.sites[0].displacement.get());
  EXPECT_NEAR(given->ToUij(physical.aStar, physical.bStar, physical.cStar).u11, 0.01, 1e-15);
}

// Intensities fall with the square of the cell volume: a huge cell's are all tiny, and only those
// that vanish next to the strongest are zero.
TEST(StructureFactors, NegligibleIntensitiesAreJudgedAgainstTheStrongest) {
  CTSCrystal huge = test_crystals::Cubic("P m -3 m", 1e4, {{"Fe", 0, 0, 0}, {"Fe", 0.5, 0.5, 0.5}});
  CPlotSpec plotSpec = PlotSpecFor();
  plotSpec.SetMaxNumRefs(60);
  ASSERT_TRUE(CalculateReflexions(huge, plotSpec));
  // About half of the capped list remains: the body centre cancels every odd h + k + l.
  EXPECT_GE(huge.reflexions.size(), 25u);
  size_t belowAnAbsoluteZero = 0;
  for (const auto& r : huge.reflexions) {
    EXPECT_EQ((r->h + r->k + r->l) % 2, 0);
    if (r->intensity < 1.8189894035458565e-12) ++belowAnAbsoluteZero;
  }
  EXPECT_GT(belowAnAbsoluteZero, huge.reflexions.size() / 2);
}

}  // namespace
