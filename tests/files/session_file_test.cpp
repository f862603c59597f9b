// Session files: every test structure, observed data and a mixture written and read back give
// the same patterns and, recalculated, the same profiles; the layout holds every record with its
// stored size; damaged, truncated, too new and foreign files are refused with their alerts, and
// a refused file leaves the session as it was; a save killed part-way leaves the old or the new
// file whole; the legacy format reads, and refuses its faults.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "crystal/crystal.h"
#include "crystal/thermal.h"
#include "diffraction/reflexion.h"
#include "errors/exceptions.h"
#include "app/crc32.h"
#include "files/crystal_files.h"
#include "files/session_file.h"
#include "files/session_file_builder.h"
#include "patterns/crystal_pattern.h"
#include "patterns/mixture_pattern.h"
#include "patterns/observed_pattern.h"
#include "support/data_files.h"
#include "support/recorders.h"
#include "support/scratch_folder.h"

namespace {

using VHTypes::CVector;

CPlotSpec TestPlotSpec() {
  CPlotSpec spec = CPlotSpec::BuiltIn();
  spec.SetXRange(5.0, 120.0);
  spec.SetProfilePoints(6000);
  spec.SetMaxNumRefs(3000);
  spec.SetTTHPeakWidth(0.15);
  return spec;
}

std::vector<std::filesystem::path> TestStructures() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(TestDataPath("")))
    if (entry.path().extension() == ".cif" || entry.path().extension() == ".vhtx")
      files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

std::shared_ptr<CTSCrystalPattern> CrystalPattern(const std::filesystem::path& path,
                                                  const CPlotSpec& spec) {
  auto pattern = std::make_shared<CTSCrystalPattern>(CTSPattern::BuiltInDefaults{});
  CCrystalFile file = ReadCrystalFile(path.string());
  *pattern->Crystal() = std::move(file.crystal);
  pattern->SetTitle(file.title);
  pattern->SetPath(path.string());
  pattern->Recalculate(spec);
  return pattern;
}

// Peaks on a sloping background with a little structure, background control points, smoothing
// and an error per point.
std::shared_ptr<CTSObservedPattern> ObservedPattern(size_t count, bool background = true) {
  auto pattern = std::make_shared<CTSObservedPattern>(CTSPattern::BuiltInDefaults{});
  CProfile points(count);
  std::vector<double> errors(count);
  for (size_t i = 0; i < count; ++i) {
    const double x = 10.0 + 100.0 * static_cast<double>(i) / static_cast<double>(count);
    const double y = 50.0 + 0.1 * x + 900.0 * std::exp(-std::pow((x - 26.6) / 0.2, 2)) +
                     400.0 * std::exp(-std::pow((x - 50.1) / 0.3, 2)) + 3.0 * std::sin(7.0 * x);
    points[i] = {x, y};
    errors[i] = std::sqrt(y);
  }
  pattern->SetData(std::move(points), std::move(errors));
  pattern->SetTitle("Measured quartz");
  pattern->SetPath("/data/quartz.xye");
  pattern->Smoothing().radius = 2;
  pattern->Smoothing().overlay = true;
  pattern->SetAutoYScale(false);
  if (background) {
    pattern->SetBackgroundInUse(true);
    pattern->SetBackgroundPreview(false);
    pattern->SetControlPoints(
        ControlPointsThrough({{10.0, 48.0}, {60.0, 55.0}, {109.0, 60.0}}, 0.1));
    pattern->Smoothing().smooth = true;
    pattern->Smooth();
  }
  pattern->SetXOffset(0.25);
  pattern->Style().colour = 0xFF336699;
  pattern->BackgroundStyle().colour = 0xFF00AA00;
  pattern->SmoothedStyle().markerSize = 3.5f;
  return pattern;
}

// Every test structure, one observed pattern and a mixture of two crystals and the data, each
// with fields of its own.
CSession TestSession() {
  CSession session;
  session.plotSpec = TestPlotSpec();
  int i = 0;
  for (const auto& path : TestStructures()) {
    auto pattern = CrystalPattern(path, session.plotSpec);
    pattern->Style().colour = 0xFF000000u | (0x1F3D5Bu * static_cast<uint32_t>(i + 1) & 0xFFFFFF);
    pattern->Style().lineWidth = 1.5f + static_cast<float>(i);
    pattern->SetXOffset(0.125 * i);
    pattern->SetYOffset(10.0 * i);
    pattern->SetYScale(1.0 + 0.5 * i);
    pattern->SetSelected(i % 2 == 0);
    pattern->SetPlotted(i % 3 != 0);
    pattern->Labels().show = i % 2 == 1;
    pattern->Labels().threshold = 5.0 + i;
    pattern->Overlay().show = true;
    pattern->Overlay().colour = 0xFF0000FF;
    session.patterns.push_back(pattern);
    ++i;
  }
  session.patterns.push_back(ObservedPattern(4000));
  auto mixture = std::make_shared<CTSMixturePattern>(CTSPattern::BuiltInDefaults{});
  mixture->SetTitle("Quartz and corundum");
  mixture->Style().colour = 0xFFAA5500;
  mixture->SetFillUp(false);
  for (const char* name : {"quartz.cif", "corundum.cif"}) {
    auto component = CrystalPattern(TestDataPath(name), session.plotSpec);
    component->Style().colour = 0xFF202020;
    mixture->Components()->push_back(component);
  }
  mixture->Components()->push_back(ObservedPattern(500, false));
  (*mixture->Components())[0]->SetMixtureFraction(0.5);
  (*mixture->Components())[1]->SetMixtureFraction(0.375);
  (*mixture->Components())[1]->SetXOffset(0.5);
  (*mixture->Components())[2]->SetMixtureFraction(0.125);
  session.patterns.push_back(mixture);
  return session;
}

double F(double value) {
  return static_cast<float>(value);
}

// The largest difference between two curves over the same grid, relative to the first's top.
double RelativeDifference(const CProfile& a, const CProfile& b) {
  EXPECT_EQ(a.size(), b.size());
  if (a.size() != b.size() || a.empty()) return a.size() == b.size() ? 0.0 : 1.0;
  double top = 0.0, largest = 0.0;
  for (size_t i = 0; i < a.size(); ++i) {
    top = std::max(top, std::abs(a[i].y));
    largest = std::max(largest, std::abs(a[i].y - b[i].y));
    if (std::abs(a[i].x - b[i].x) > 1e-9 * std::max(1.0, std::abs(a[i].x))) return 1.0;
  }
  return top > 0.0 ? largest / top : largest;
}

void ExpectSameCrystal(const CTSCrystal& a, const CTSCrystal& b) {
  for (auto field :
       {&CTSCrystal::a, &CTSCrystal::b, &CTSCrystal::c, &CTSCrystal::alpha, &CTSCrystal::beta,
        &CTSCrystal::gamma, &CTSCrystal::particleSize, &CTSCrystal::isotropicStrain,
        &CTSCrystal::preferredOrientationAlignment, &CTSCrystal::maximumIntensity})
    EXPECT_EQ(F(a.*field), b.*field);
  EXPECT_EQ(a.spaceGroupSymbol, b.spaceGroupSymbol);
  EXPECT_EQ(a.latticeLetter, b.latticeLetter);
  EXPECT_EQ(a.originOffset, b.originOffset);
  EXPECT_EQ(a.originChoice, b.originChoice);
  EXPECT_EQ(a.centrosymmetric, b.centrosymmetric);
  EXPECT_EQ(a.legacyRules, b.legacyRules);
  EXPECT_EQ(a.hasDisplacementParameters, b.hasDisplacementParameters);
  EXPECT_EQ(a.useDisplacementParameters, b.useDisplacementParameters);
  EXPECT_EQ(a.usePreferredOrientation, b.usePreferredOrientation);
  EXPECT_EQ(a.preferredOrientationVector, b.preferredOrientationVector);
  ASSERT_EQ(a.symmetryOperators.size(), b.symmetryOperators.size());
  for (size_t i = 0; i < a.symmetryOperators.size(); ++i) {
    EXPECT_EQ(a.symmetryOperators[i].Rotation(), b.symmetryOperators[i].Rotation()) << i;
    EXPECT_EQ(a.symmetryOperators[i].Translation(), b.symmetryOperators[i].Translation()) << i;
  }
  ASSERT_EQ(a.sites.size(), b.sites.size());
  for (size_t i = 0; i < a.sites.size(); ++i) {
    const CTSSite &s = a.sites[i], &t = b.sites[i];
    SCOPED_TRACE(s.label);
    EXPECT_EQ(s.label, t.label);
    EXPECT_EQ(s.flag, t.flag);
    EXPECT_EQ(s.included, t.included);
    EXPECT_EQ(F(s.x), t.x);
    EXPECT_EQ(F(s.y), t.y);
    EXPECT_EQ(F(s.z), t.z);
    ASSERT_EQ(s.atoms.size(), t.atoms.size());
    for (size_t j = 0; j < s.atoms.size(); ++j) {
      EXPECT_EQ(s.atoms[j].symbol, t.atoms[j].symbol);
      EXPECT_EQ(s.atoms[j].scattering.symbol, t.atoms[j].scattering.symbol);
      EXPECT_EQ(F(s.atoms[j].occupancy), t.atoms[j].occupancy);
    }
    ASSERT_EQ(s.positions.size(), t.positions.size());
    for (size_t j = 0; j < s.positions.size(); ++j)
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(s.positions[j][k], t.positions[j][k], 1e-6);
    EXPECT_EQ(s.rotations, t.rotations);
    ASSERT_EQ(s.displacement == nullptr, t.displacement == nullptr);
    if (!s.displacement) continue;
    EXPECT_EQ(F(s.displacement->U()), t.displacement->U());
    const auto* u = dynamic_cast<const CTSAnisoThermalEllipsoid*>(s.displacement.get());
    const auto* v = dynamic_cast<const CTSAnisoThermalEllipsoid*>(t.displacement.get());
    ASSERT_EQ(u == nullptr, v == nullptr);
    if (u) {
      EXPECT_EQ(u->Beta(), v->Beta());
    }
  }
  ASSERT_EQ(a.reflexions.size(), b.reflexions.size());
  for (size_t i = 0; i < a.reflexions.size(); ++i) {
    const CTSReflexion &r = *a.reflexions[i], &q = *b.reflexions[i];
    EXPECT_EQ(std::make_tuple(r.h, r.k, r.l, r.multiplicity, r.n),
              std::make_tuple(q.h, q.k, q.l, q.multiplicity, q.n));
    EXPECT_EQ(F(r.d), q.d);
    EXPECT_EQ(F(r.intensity), q.intensity);
  }
}

void ExpectSamePattern(const CTSPattern& a, const CTSPattern& b) {
  SCOPED_TRACE(a.Title());
  ASSERT_EQ(a.GetKind(), b.GetKind());
  EXPECT_EQ(a.Title(), b.Title());
  EXPECT_EQ(a.Path(), b.Path());
  EXPECT_EQ(a.Style(), b.Style());
  EXPECT_EQ(a.Labels(), b.Labels());
  EXPECT_EQ(a.Selected(), b.Selected());
  EXPECT_EQ(a.Plotted(), b.Plotted());
  EXPECT_EQ(a.Display().spareFlag, b.Display().spareFlag);
  EXPECT_EQ(a.Display().displayFlag, b.Display().displayFlag);
  EXPECT_EQ(F(a.XOffset()), b.XOffset());
  EXPECT_EQ(F(a.YOffset()), b.YOffset());
  EXPECT_EQ(F(a.YScale()), b.YScale());
  EXPECT_EQ(F(a.MixtureFraction()), b.MixtureFraction());
  if (a.Crystal()) {
    EXPECT_EQ(static_cast<const CTSCrystalPattern&>(a).Overlay(),
              static_cast<const CTSCrystalPattern&>(b).Overlay());
    ExpectSameCrystal(*a.Crystal(), *b.Crystal());
  }
  if (const auto* o = dynamic_cast<const CTSObservedPattern*>(&a)) {
    const auto& p = static_cast<const CTSObservedPattern&>(b);
    EXPECT_EQ(o->RawPoints(), p.RawPoints());
    EXPECT_EQ(o->Errors(), p.Errors());
    EXPECT_EQ(o->ControlPoints(), p.ControlPoints());
    EXPECT_EQ(o->Smoothing(), p.Smoothing());
    EXPECT_EQ(o->SmoothedPoints(), p.SmoothedPoints());
    EXPECT_EQ(o->SubtractedPoints(), p.SubtractedPoints());
    EXPECT_EQ(o->BackgroundStyle(), p.BackgroundStyle());
    EXPECT_EQ(o->SmoothedStyle(), p.SmoothedStyle());
    EXPECT_EQ(o->AutoYScale(), p.AutoYScale());
    EXPECT_EQ(o->BackgroundInUse(), p.BackgroundInUse());
    EXPECT_EQ(o->BackgroundPreview(), p.BackgroundPreview());
    EXPECT_EQ(o->DisplayName(), p.DisplayName());
  }
  if (const auto* m = dynamic_cast<const CTSMixturePattern*>(&a)) {
    const auto& n = static_cast<const CTSMixturePattern&>(b);
    EXPECT_EQ(m->FillUp(), n.FillUp());
    EXPECT_EQ(m->MixtureFlag(), n.MixtureFlag());
    ASSERT_EQ(m->Components()->size(), n.Components()->size());
    for (size_t i = 0; i < m->Components()->size(); ++i)
      ExpectSamePattern(*(*m->Components())[i], *(*n.Components())[i]);
  }
}

std::string FileBytes(const std::string& path) {
  return ReadWholeFile(path);
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A small session for the refusal tests: one crystal, one observed pattern.
CSession SmallSession() {
  CSession session;
  session.plotSpec = TestPlotSpec();
  session.patterns.push_back(CrystalPattern(TestDataPath("silicon.cif"), session.plotSpec));
  session.patterns.push_back(ObservedPattern(50, false));
  return session;
}

// The session read through the current format's reader, whatever the file's name.
CSession ReadCurrent(const std::string& path, const CSession& current = {}) {
  CTSSessionFile file;
  EXPECT_TRUE(file.Open(path, CFile::kModeRead));
  CSession session{current.window, current.plotSpec, current.display, {}};
  file.ReadSession(session);
  return session;
}

// --- Round trips ------------------------------------------------------------------------------

TEST(SessionFileRoundTrip, EveryStructureObservedDataAndAMixtureComeBackAndRecalculateAlike) {
  CRecordingAlertPresenter alerts;
  CScratchFolder folder;
  const std::string path = folder / "all.diffract";
  const CSession written = TestSession();
  ASSERT_GE(written.patterns.size(), 8u);
  WriteSessionFile(path, written);
  alerts.shown.clear();  // the structure files' own notes
  const CSession read = ReadSessionFile(path);
  EXPECT_TRUE(alerts.shown.empty());

  ASSERT_EQ(read.patterns.size(), written.patterns.size());
  for (size_t i = 0; i < written.patterns.size(); ++i)
    ExpectSamePattern(*written.patterns[i], *read.patterns[i]);

  // The reflexions as stored draw the same curves before any recalculation, and again after it
  // with the plot specification read back.
  CPlotSpec spec = read.plotSpec;
  for (size_t i = 0; i < written.patterns.size(); ++i) {
    SCOPED_TRACE(written.patterns[i]->Title());
    const CProfile before = written.patterns[i]->GetProfile(written.plotSpec);
    ASSERT_FALSE(before.empty());
    EXPECT_LT(RelativeDifference(before, read.patterns[i]->GetProfile(spec)), 2e-4);
    read.patterns[i]->Recalculate(spec);
    EXPECT_LT(RelativeDifference(before, read.patterns[i]->GetProfile(spec)), 2e-4);
  }
}

// Components that stand in the list are stored twice (in the list and under their mixture); read
// back they must be the list's objects again, or an edit of the row would miss the mixture and
// the next save would store two diverging copies. Equal copies each keep their own row, and a
// component the list does not hold stays the mixture's own.
TEST(SessionFileRoundTrip, MixtureComponentsStandingInTheListAreTheListsPatternsAgain) {
  CScratchFolder folder;
  CSession written;
  written.plotSpec = TestPlotSpec();
  const auto quartz = CrystalPattern(TestDataPath("quartz.cif"), written.plotSpec);
  const auto corundum = CrystalPattern(TestDataPath("corundum.cif"), written.plotSpec);
  const auto twin = CrystalPattern(TestDataPath("quartz.cif"), written.plotSpec);
  written.patterns = {quartz, corundum, twin};
  written.patterns.push_back(NewMixture({quartz, corundum}, written.patterns));
  auto second = std::make_shared<CTSMixturePattern>(CTSPattern::BuiltInDefaults{});
  second->SetTitle("Quartz and data");
  *second->Components() = {twin, ObservedPattern(300, false)};
  second->EqualiseFractions();
  written.patterns.push_back(second);

  // Read back, and read back again after a save: the stored 32-bit values settle after the first
  // reading, so from then on a save is the same file byte for byte.
  std::string path = folder / "0.tessaline";
  WriteSessionFile(path, written);
  std::vector<std::string> saved;
  CSession read;
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    read = ReadSessionFile(path);
    ASSERT_EQ(read.patterns.size(), 5u);
    const CPatternList& list = read.patterns;
    ASSERT_EQ(list[3]->Components()->size(), 2u);
    EXPECT_EQ((*list[3]->Components())[0], list[0]);
    EXPECT_EQ((*list[3]->Components())[1], list[1]);
    ASSERT_EQ(list[4]->Components()->size(), 2u);
    EXPECT_EQ((*list[4]->Components())[0], list[2]);
    EXPECT_EQ(std::ranges::find(list, (*list[4]->Components())[1]), list.end());
    path = folder / (std::to_string(round) + ".tessaline");
    WriteSessionFile(path, read);
    saved.push_back(FileBytes(path));
  }
  EXPECT_EQ(saved[1], saved[0]);
  const CPatternList& list = read.patterns;

  // A change to the row reaches the mixture.
  list[1]->SetTitle("Sapphire");
  EXPECT_EQ((*list[3]->Components())[1]->Title(), "Sapphire");
}

TEST(SessionFileRoundTrip, PositionsAreKeptUnderTheEarlierRulesAndGeneratedUnderThePhysicalOnes) {
  CScratchFolder folder;
  CSession session;
  for (const bool legacy : {true, false}) {
    const CLegacyRulesScope rules(legacy);
    auto pattern = std::make_shared<CTSCrystalPattern>(CTSPattern::BuiltInDefaults{});
    *pattern->Crystal() = ReadCrystalFile(TestDataPath("quartz.cif").string()).crystal;
    session.patterns.push_back(pattern);
  }
  const std::string path = folder / "rules.diffract";
  for (const bool legacyDefault : {false, true}) {
    // What the crystals were made under counts, not the rules in force when reading.
    const CLegacyRulesScope rules(legacyDefault);
    WriteSessionFile(path, session);
    const CSession read = ReadSessionFile(path);
    const CTSCrystal &legacy = *read.patterns[0]->Crystal(),
                     &physical = *read.patterns[1]->Crystal();
    EXPECT_TRUE(legacy.legacyRules);
    EXPECT_FALSE(physical.legacyRules);
    for (const CTSSite& site : legacy.sites) EXPECT_TRUE(site.rotations.empty());
    for (const CTSSite& site : physical.sites)
      EXPECT_EQ(site.rotations.size(), site.positions.size());
    ExpectSameCrystal(*session.patterns[1]->Crystal(), physical);
    const CTSCrystal& stored = *session.patterns[0]->Crystal();
    for (size_t i = 0; i < stored.sites.size(); ++i)
      for (size_t j = 0; j < stored.sites[i].positions.size(); ++j)
        for (int k = 0; k < 3; ++k)
          EXPECT_EQ(F(stored.sites[i].positions[j][k]), legacy.sites[i].positions[j][k]);
  }
}

TEST(SessionFileRoundTrip, WindowStatePlotSpecificationAndDisplayFieldsComeBack) {
  CScratchFolder folder;
  CSession session;
  session.window = {false,
                    true,
                    true,
                    321,
                    0.375,
                    4,
                    {"Instrument", "Labels", "Unit Cell"},
                    {10.0, 20.0, 1210.5, 860.0}};
  CPlotSpec& spec = session.plotSpec;
  spec.SetSimulationType(VHTypes::kSimulationTimeOfFlight);
  spec.SetProfileType(VHTypes::kProfilePseudoVoigt);
  spec.SetAxisType(VHTypes::kAxisTimeOfFlight);
  spec.SetXRange(12.5, 430.0);
  spec.SetDMin(0.55);
  spec.SetRestrictMaxNumRefs(false);
  spec.SetMaxNumRefs(123456);
  spec.SetProfilePoints(50000);
  spec.SetTTHPeakWidth(0.07);
  spec.SetMonochromatic(false);
  spec.SetLambda(0.7093);
  spec.SetLambda2(0.71359);
  spec.SetLambdaRatio(1.9);
  spec.SetEDXTheta(0.1);
  spec.SetEDXPeakWidth(0.3);
  spec.SetTOFTheta(1.2);
  spec.SetTOFDistance(12.0);
  spec.SetTOFResolution(0.002);
  spec.SetLambdaTEM(0.0251);
  spec.SetPeakWidthTEM(0.01);
  spec.SetEta(0.45);
  CPlotDisplay& d = session.display;
  d = {"DejaVu Sans",
       9.5f,
       2,
       0xFF102030,
       "Time-of-Flight",
       "ms",
       "Counts",
       "Ünïcödé títle",
       0x80FF0000,
       0xFFEEEEEE,
       true,
       true,
       false,
       false,
       true,
       true,
       true,
       VHTypes::kFilmFire,
       1.5,
       20.0,
       70.5,
       -5.0,
       1234.5,
       33.25,
       4.0,
       {12.5f, 7.0f},
       {200.0f, 150.0f},
       0.125,
       true,
       true};  // peak labels
  const std::string path = folder / "fields.tessaline";
  WriteSessionFile(path, session);
  const CSession read = ReadSessionFile(path);

  CWindowState window = session.window;
  window.reflexionsHeight = F(window.reflexionsHeight);
  EXPECT_EQ(read.window, window);
  CPlotDisplay display = d;
  for (double* value :
       {&display.filmGamma, &display.xMin, &display.xMax, &display.yMin, &display.yMax,
        &display.cursorX, &display.loupeMagnification, &display.fwhm})
    *value = F(*value);
  EXPECT_EQ(read.display, display);
  const CPlotSpec& r = read.plotSpec;
  EXPECT_EQ(r.SimulationType(), spec.SimulationType());
  EXPECT_EQ(r.ProfileType(), spec.ProfileType());
  EXPECT_EQ(r.AxisType(), spec.AxisType());
  EXPECT_EQ(r.RestrictMaxNumRefs(), spec.RestrictMaxNumRefs());
  EXPECT_EQ(r.Monochromatic(), spec.Monochromatic());
  EXPECT_EQ(r.MaxNumRefs(), spec.MaxNumRefs());
  EXPECT_EQ(r.ProfilePoints(), spec.ProfilePoints());
  // The getters belong to the radiation record and to the plot specification, so the list
  // cannot deduce its type.
  using CGetter = double (CPlotSpec::*)() const;
  for (const CGetter get : std::initializer_list<CGetter>{
           &CPlotSpec::XMin, &CPlotSpec::XMax, &CPlotSpec::DMin, &CPlotSpec::TTHPeakWidth,
           &CPlotSpec::Lambda, &CPlotSpec::Lambda2, &CPlotSpec::LambdaRatio, &CPlotSpec::EDXTheta,
           &CPlotSpec::EDXPeakWidth, &CPlotSpec::TOFTheta, &CPlotSpec::TOFDistance,
           &CPlotSpec::TOFResolution, &CPlotSpec::LambdaTEM, &CPlotSpec::PeakWidthTEM,
           &CPlotSpec::Eta})
    EXPECT_EQ(F((spec.*get)()), (r.*get)());
  // The derived factors follow the fields read.
  CPlotSpec expected = CPlotSpec::BuiltIn();
  expected.SetTOFTheta(F(1.2));
  expected.SetTOFDistance(F(12.0));
  EXPECT_EQ(r.TOFFactor(), expected.TOFFactor());
}

TEST(SessionFileRoundTrip, WhatTheFileDoesNotHoldKeepsItsCurrentValue) {
  CScratchFolder folder;
  const std::string path = folder / "partial.diffract";
  WriteSessionFile(path, SmallSession());
  CSessionRecords records(FileBytes(path));
  auto& plot = records.Find(MakeTag("PLOT"))->children;
  std::erase_if(plot, [](const CSessionRecord& r) {
    return r.tag == MakeTag("LAM1") || r.tag == MakeTag("TITL");
  });
  WriteBytes(path, records.Bytes());
  CSession current;
  current.plotSpec.SetLambda(0.5594);
  current.display.title = "Kept";
  const CSession read = ReadSessionFile(path, current);
  EXPECT_EQ(read.plotSpec.Lambda(), 0.5594);
  EXPECT_EQ(read.display.title, "Kept");
  EXPECT_EQ(read.plotSpec.XMax(), 120.0);  // which the file does hold
}

TEST(SessionFileLayout, HoldsEveryRecordInOrderWithItsStoredSize) {
  CScratchFolder folder;
  const std::string path = folder / "layout.diffract";
  WriteSessionFile(path, TestSession());
  const std::string bytes = FileBytes(path);
  // Little-endian numbers and a trailer over everything before it.
  EXPECT_EQ(bytes.substr(bytes.size() - 8, 4), "CRCK");
  EXPECT_EQ(bytes.substr(bytes.size() - 4),
            LittleEndian32(CCRC32::Of(bytes.data(), bytes.size() - 8)));

  CSessionRecords records(bytes);
  std::vector<std::string> top;
  for (const CSessionRecord& r : records.root.children) top.push_back(TagText(r.tag));
  EXPECT_EQ(top, (std::vector<std::string>{"TSDF", "VERS", "PLAT", "FVER", "WINS", "PLOT", "PATS",
                                           "STOP"}));
  EXPECT_EQ(records.root.children[0].data, "Tessaline");
  EXPECT_EQ(records.root.children[1].data, std::string(TESSALINE_VERSION) + " for Windows");
  EXPECT_EQ(records.root.children[2].data, "Win");
  EXPECT_EQ(records.root.children[3].data, LittleEndian32(6));
  EXPECT_EQ(records.root.children[7].data, "");

  // Each plot record with the size its stored type takes.
  const auto size = [](const char* tags, size_t each) {
    std::vector<std::pair<std::string, size_t>> sizes;
    for (const char* t = tags; *t; t += 4) sizes.emplace_back(std::string(t, 4), each);
    return sizes;
  };
  std::vector<std::pair<std::string, size_t>> expected;
  for (const auto& group :
       {size("TXSZFLMGXMINXMAXYMINYMAXLMINLMAXDMINMAXRNPTSFTTHLAM1LAM2LAMRTEDXFEDXTTOFDTOFRTOF"
             "eLAMFTEMPETAXCURLUMg",
             4),
        size("TXCLGRCLGBCL", 16),
        size("*GBkLOG?*GRD*LGD*TIT*TIPFLM?MAX?MON?!OVLAXS#SIM#PRO#FLM#", 1)})
    expected.insert(expected.end(), group.begin(), group.end());
  CSessionRecord* plot = records.Find(MakeTag("PLOT"));
  for (const auto& [tag, bytes] : expected) {
    const CSessionRecord* record = plot->Find(TagOf(tag));
    ASSERT_NE(record, nullptr) << tag;
    EXPECT_EQ(record->data.size(), bytes) << tag;
  }
  for (const char* text : {"TXNM", "XLBL", "XUni", "YLBL", "TITL"})
    EXPECT_NE(plot->Find(TagOf(text)), nullptr) << text;
  CSessionRecord* window = records.Find(MakeTag("WINS"));
  EXPECT_EQ(window->Find(MakeTag("RECT"))->data.size(), 32u);
  for (const char* flag : {"*PAT", "*PRM", "*REF"})
    EXPECT_EQ(window->Find(TagOf(flag))->data.size(), 1u);

  // Entries of a type and a block; the mixture's components nested in it.
  std::vector<std::string> types;
  for (const CSessionRecord& r : records.Find(MakeTag("PATS"))->children)
    if (r.tag == MakeTag("TYPE")) types.push_back(r.data);
  EXPECT_EQ(types,
            (std::vector<std::string>{"Sim", "Sim", "Sim", "Sim", "Sim", "Sim", "Obs", "Mix"}));
  EXPECT_EQ(records.Find(MakeTag("CHLD"))->FindAll(MakeTag("TYPE")).size(), 3u);
  // Structured records of the crystal block: cells of six floats, shifts of three doubles.
  CSessionRecord* crystal = records.Find(MakeTag("CRYS"));
  for (const char* tag : {"DCEL", "RCEL", "OSHF", "POVe"})
    EXPECT_EQ(crystal->Find(TagOf(tag))->data.size(), 24u) << tag;
  const std::string& geps = crystal->Find(MakeTag("GEPS"))->data;
  const size_t operators = static_cast<uint8_t>(geps[0]) | static_cast<uint8_t>(geps[1]) << 8;
  EXPECT_EQ(geps.size(), 2 + operators * 60);
  const std::string& refs = crystal->Find(MakeTag("REFS"))->data;
  EXPECT_EQ(refs.size(), 4 + LittleEndianValue(refs, 0) * 56u);
  const std::string& points = records.Find(MakeTag("PNTS"))->data;
  EXPECT_EQ(points.size(), 4 + 4000 * 16u);
}

// --- Refusals ---------------------------------------------------------------------------------

class SessionFileRefusals : public testing::Test {
 protected:
  void SetUp() override {
    WriteSessionFile(m_path, m_written);
    m_bytes = FileBytes(m_path);
  }
  // Reads `bytes` as a session file named like the one written.
  void ReadBytes(const std::string& bytes) {
    WriteBytes(m_path, bytes);
    ReadCurrent(m_path);
  }
  // The alert of reading the file with one change to its records.
  template <class Change>
  std::string Edited(Change change) {
    CSessionRecords records(m_bytes);
    change(records);
    return records.Bytes();
  }

  CScratchFolder m_folder;
  const std::string m_path = m_folder / "small.diffract";
  const CSession m_written = SmallSession();
  std::string m_bytes;
};

TEST_F(SessionFileRefusals, OneChangedByteIsRefusedAsCorrupted) {
  for (const size_t at :
       {size_t{5}, size_t{40}, m_bytes.size() / 2, m_bytes.size() - 9, m_bytes.size() - 1}) {
    std::string damaged = m_bytes;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x10);
    EXPECT_THROW(ReadBytes(damaged), CVHXFileCRCFailed) << at;
  }
}

TEST_F(SessionFileRefusals, TruncatedFilesAreRefused) {
  for (size_t length = 0; length < m_bytes.size(); length += 1 + length / 3) {
    WriteBytes(m_path, m_bytes.substr(0, length));
    EXPECT_THROW(ReadCurrent(m_path), CVHException) << length;
  }
  // Cut and given a trailer of its own, so that only the structure can tell.
  for (const size_t length : {size_t{100}, m_bytes.size() / 2, m_bytes.size() - 16})
    EXPECT_THROW(ReadBytes(WithFreshTrailer(m_bytes.substr(0, length) + "CRCK0000")), CVHException)
        << length;
}

TEST_F(SessionFileRefusals, FormatVersion7IsTooNewAndVersion5IsNoCurrentSession) {
  const auto version = [&](uint32_t format) {
    return Edited(
        [format](CSessionRecords& r) { r.Find(MakeTag("FVER"))->data = LittleEndian32(format); });
  };
  WriteBytes(m_path, version(7));
  EXPECT_EQ(CTSSessionFile::Recognise(m_path), CTSSessionFile::kTypeId);
  EXPECT_THROW(ReadSessionFile(m_path), CVHXFileTooNew);
  WriteBytes(m_path, version(5));
  EXPECT_EQ(CTSSessionFile::Recognise(m_path), 0u);
  EXPECT_EQ(CTSSessionPre6File::Recognise(m_path), 0u);
  EXPECT_THROW(ReadSessionFile(m_path), CVHXFileUnsupportedType);
  EXPECT_THROW(ReadCurrent(m_path), CVHXFileUnsupportedType);
}

TEST_F(SessionFileRefusals, AnUnknownPatternTypeIsRefusedNamingTheFile) {
  try {
    ReadBytes(Edited([](CSessionRecords& r) { r.FindAll(MakeTag("TYPE"))[1]->data = "Sym"; }));
    FAIL() << "read";
  } catch (const CVHXFileSessionUnknownPattern& error) {
    EXPECT_EQ(error.Message(), "Unknown pattern type.");
    EXPECT_NE(error.Explanation().find("'small.diffract'"), std::string::npos)
        << error.Explanation();
  }
}

TEST_F(SessionFileRefusals, AMissingBlockRaisesItsAlertNamingTheFile) {
  const auto without = [&](const char* tag) {
    return Edited([tag](CSessionRecords& r) {
      std::erase_if(r.root.children,
                    [tag](const CSessionRecord& c) { return TagText(c.tag) == tag; });
    });
  };
  const auto expectAlert = [&](const std::string& bytes, const char* text) {
    try {
      ReadBytes(bytes);
      ADD_FAILURE() << text;
    } catch (const CVHXTSFile& error) {
      EXPECT_NE(error.Explanation().find(text), std::string::npos) << error.Explanation();
      EXPECT_NE(error.Explanation().find("'small.diffract'"), std::string::npos);
    }
  };
  expectAlert(without("WINS"), "missing window state information");
  expectAlert(without("PLOT"), "missing plot specification information");
  expectAlert(without("PATS"), "missing pattern information");
  expectAlert(without("STOP"), "missing data;");
  EXPECT_THROW(ReadBytes(without("WINS")), CVHXFileSessionWinDataExpected);
  EXPECT_THROW(ReadBytes(without("PLOT")), CVHXFileSessionPlotDataExpected);
  EXPECT_THROW(ReadBytes(without("PATS")), CVHXFileSessionPatDataExpected);
  EXPECT_THROW(ReadBytes(without("STOP")), CVHXFileSessionDataExpected);
  // A pattern entry without its type, and one without its block.
  EXPECT_THROW(ReadBytes(Edited([](CSessionRecords& r) {
                 std::erase_if(r.Find(MakeTag("PATS"))->children,
                               [](const CSessionRecord& c) { return c.tag == MakeTag("TYPE"); });
               })),
               CVHXFileSessionDataExpected);
  EXPECT_THROW(
      ReadBytes(Edited([](CSessionRecords& r) { r.Find(MakeTag("PATS"))->children.pop_back(); })),
      CVHXFileSessionDataExpected);
  // Records after "STOP" where the trailer belongs.
  EXPECT_THROW(ReadBytes(Edited([](CSessionRecords& r) {
                 r.root.children.push_back(CSessionRecord::Plain(MakeTag("XTRA"), "1"));
               })),
               CVHXFileSessionDataExpected);
  // A file of this edition without its trailer.
  EXPECT_THROW(ReadBytes(CSessionRecords(m_bytes).Bytes(false)), CVHXFileSessionDataExpected);
}

TEST_F(SessionFileRefusals, UnknownTagsInsideBlocksArePassedOver) {
  const std::string extended = Edited([](CSessionRecords& r) {
    for (const char* block : {"WINS", "PLOT", "PATN", "CRYS"})
      for (CSessionRecord* record : r.FindAll(TagOf(block)))
        record->children.insert(record->children.begin() + 1,
                                CSessionRecord::Plain(MakeTag("ZZZZ"), std::string(13, 'z')));
  });
  ASSERT_GT(extended.size(), m_bytes.size());
  WriteBytes(m_path, extended);
  const CSession read = ReadCurrent(m_path);
  ASSERT_EQ(read.patterns.size(), 2u);
  for (size_t i = 0; i < 2; ++i) ExpectSamePattern(*m_written.patterns[i], *read.patterns[i]);
}

TEST_F(SessionFileRefusals, StructuredRecordsAndBlocksMustAddUpExactly) {
  const auto grown = [&](const char* tag, const std::string& extra) {
    return Edited([tag, extra](CSessionRecords& r) { r.Find(TagOf(tag))->data += extra; });
  };
  for (const char* tag : {"DCEL", "RCEL", "OSHF", "POVe", "GEPS", "AUNI", "REFS", "PNTS", "BNOD",
                          "RECT", "VPAN", "COLR", "XOFF", "LUPt"}) {
    EXPECT_THROW(ReadBytes(grown(tag, std::string(4, '\0'))), CVHXFileInvalid) << tag;
    EXPECT_THROW(ReadBytes(Edited([tag](CSessionRecords& r) {
                   std::string& data = r.Find(TagOf(tag))->data;
                   data.pop_back();
                 })),
                 CVHXFile)
        << tag;
  }
  // A count that the record cannot hold is refused before anything is made of it.
  EXPECT_THROW(ReadBytes(Edited([](CSessionRecords& r) {
                 r.Find(MakeTag("PNTS"))->data.replace(0, 4, LittleEndian32(0x7FFFFFFF));
               })),
               CVHXFileInvalid);
  // A block whose stated length is one byte longer than its records.
  std::string bytes = CSessionRecords(m_bytes).Bytes(false);
  const size_t plot = bytes.find("PLOT");
  bytes[plot + 4] = static_cast<char>(bytes[plot + 4] + 1);
  bytes.insert(bytes.find("PATS"), 1, '\0');
  EXPECT_THROW(ReadBytes(WithFreshTrailer(bytes + "CRCK0000")), CVHXFileInvalid);
}

TEST_F(SessionFileRefusals, SessionsOfTheMacEditionBeforeVersion5CannotBeRead) {
  const auto mac = [&](const std::string& version) {
    return Edited([version](CSessionRecords& r) {
      r.Find(MakeTag("PLAT"))->data = "Mac";
      r.Find(MakeTag("VERS"))->data = version;
    });
  };
  EXPECT_THROW(ReadBytes(mac("4.9.2")), CVHXFileObsoleteMac5);
  EXPECT_THROW(ReadBytes(mac("5.0.0b3")), CVHXFileObsoleteMac5);
  EXPECT_NO_THROW(ReadBytes(mac("5.0.1")));
  EXPECT_THROW(ReadBytes(mac("five")), CVHXFileBadVersion);
}

TEST_F(SessionFileRefusals, AFailedReadLeavesTheSessionAsItWas) {
  CSession session = SmallSession();
  session.window.patternsWidth = 77;
  session.display.title = "Before";
  const CPatternList before = session.patterns;
  const CPlotSpec spec = session.plotSpec;
  std::string damaged =
      Edited([](CSessionRecords& r) { r.FindAll(MakeTag("TYPE")).back()->data = "???"; });
  WriteBytes(m_path, damaged);
  CTSSessionFile file;
  ASSERT_TRUE(file.Open(m_path, CFile::kModeRead));
  EXPECT_THROW(file.ReadSession(session), CVHXFileSessionUnknownPattern);
  EXPECT_EQ(session.patterns, before);
  EXPECT_EQ(session.plotSpec, spec);
  EXPECT_EQ(session.window.patternsWidth, 77);
  EXPECT_EQ(session.display.title, "Before");
}

TEST_F(SessionFileRefusals, TheTypeOfAFileComesFromItsContent) {
  const std::string renamed = m_folder / "session.dat";
  std::filesystem::copy_file(m_path, renamed);
  EXPECT_EQ(CTessFile::DetermineType(m_path), CTSSessionFile::kTypeId);
  EXPECT_EQ(CTessFile::DetermineType(renamed, true), CTSSessionFile::kTypeId);
  EXPECT_EQ(ReadSessionFile(renamed).patterns.size(), 2u);
  EXPECT_THROW(ReadSessionFile(TestDataPath("quartz.cif").string()), CVHXFileUnsupportedType);
  EXPECT_THROW(ReadSessionFile(m_folder / "absent.diffract"), CVHXFileNotFound);
  // A session opened as another type is not read as one.
  CTSSessionFile file(CTSSessionPre6File::kTypeId);
  ASSERT_TRUE(file.Open(m_path, CFile::kModeRead));
  CSession session;
  EXPECT_THROW(file.ReadSession(session), CVHXFileUnsupportedType);
}

// --- Saving -----------------------------------------------------------------------------------

TEST(SessionFileSaving, ASaveKilledPartWayLeavesTheOldOrTheNewFileWhole) {
  CScratchFolder folder;
  const std::string target = folder / "session.diffract";
  CSession before;
  before.patterns.push_back(ObservedPattern(10, false));
  before.patterns[0]->SetTitle("old");
  CSession after;
  after.patterns.push_back(ObservedPattern(1'000'000, false));
  after.patterns[0]->SetTitle("new");
  int seenOld = 0, seenNew = 0;
  for (const int delay : {1, 20, 60, 150, 300, 600, 1000}) {
    WriteSessionFile(target, before);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      try {
        for (;;) WriteSessionFile(target, after);
      } catch (...) {
      }
      ::_exit(1);
    }
    ::usleep(static_cast<useconds_t>(delay) * 1000);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the saving process ended by itself";
    const CSession read = ReadSessionFile(target);
    ASSERT_EQ(read.patterns.size(), 1u);
    const auto& observed = static_cast<const CTSObservedPattern&>(*read.patterns[0]);
    if (observed.Title() == "old") {
      ++seenOld;
      EXPECT_EQ(observed.RawPoints().size(), 10u);
    } else {
      ++seenNew;
      EXPECT_EQ(observed.Title(), "new");
      EXPECT_EQ(observed.RawPoints(),
                static_cast<const CTSObservedPattern&>(*after.patterns[0]).RawPoints());
    }
  }
  EXPECT_EQ(seenOld + seenNew, 7);
}

TEST(SessionFileSaving, SmallBuffersWriteAndReadTheSameFile) {
  CScratchFolder folder;
  CSession session = SmallSession();
  session.patterns.push_back(ObservedPattern(20000));
  const std::string whole = folder / "whole.diffract", pieces = folder / "pieces.diffract";
  WriteSessionFile(whole, session);
  {
    // Blocks longer than the window are back-patched outside it.
    CTSSessionFile file;
    file.SetBufferLimit(4096);
    ASSERT_TRUE(file.Open(pieces, CFile::kModeWrite | CFile::kModeCreate));
    file.WriteSession(session);
    file.Close();
  }
  EXPECT_EQ(FileBytes(whole), FileBytes(pieces));
  CTSSessionFile file;
  file.SetMappingAllowed(false);
  file.SetBufferLimit(4096);
  ASSERT_TRUE(file.Open(pieces, CFile::kModeRead));
  CSession read;
  file.ReadSession(read);
  ASSERT_EQ(read.patterns.size(), session.patterns.size());
  for (size_t i = 0; i < read.patterns.size(); ++i)
    ExpectSamePattern(*session.patterns[i], *read.patterns[i]);
}

TEST(SessionFileSaving, AFileThatCannotBeWrittenIsReportedAndTheOldOneStays) {
  CScratchFolder folder;
  const std::string target = folder / "kept.diffract";
  WriteSessionFile(target, SmallSession());
  const std::string bytes = FileBytes(target);
  EXPECT_THROW(WriteSessionFile(folder / "missing-folder/new.diffract", SmallSession()),
               CVHXFileNotOpen);
  // A pattern that the format cannot hold stops the save before the file is replaced.
  CSession session = SmallSession();
  session.patterns[0]->Crystal()->sites[0].atoms.resize(300);
  EXPECT_THROW(WriteSessionFile(target, session), CVHException);
  EXPECT_EQ(FileBytes(target), bytes);
}

// --- Legacy format ----------------------------------------------------------------------------

class LegacySessionFile : public testing::Test {
 protected:
  CSession Session() const {
    CSession session;
    session.plotSpec = TestPlotSpec();
    session.plotSpec.SetLambda(1.78897);
    for (const char* name : {"quartz.cif", "rutile.cif"}) {
      auto pattern = CrystalPattern(TestDataPath(name), session.plotSpec);
      pattern->SetXOffset(0.5);
      pattern->Style().colour = 0xFF0000CC;
      pattern->SetPlotted(true);
      session.patterns.push_back(pattern);
    }
    auto observed = ObservedPattern(300, false);
    observed->SetSelected(true);
    session.patterns.push_back(observed);
    session.display.title = "Old session";
    session.display.yMax = 5000.0;
    session.window.rect = {20.0, 30.0, 820.0, 630.0};
    session.window.showReflexions = true;
    return session;
  }
  CSession Read() const { return ReadSessionFile(m_path); }

  CScratchFolder m_folder;
  const std::string m_path = m_folder / "old.tsdf";
};

TEST_F(LegacySessionFile, ReadsPatternsPlotAndWindow) {
  const CSession written = Session();
  CLegacySessionBuilder().Write(written, m_path);
  EXPECT_EQ(CTessFile::DetermineType(m_path, true), CTSSessionPre6File::kTypeId);
  EXPECT_EQ(CTSSessionFile::Recognise(m_path), 0u);
  const CSession read = Read();
  ASSERT_EQ(read.patterns.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    const CTSPattern &a = *written.patterns[i], &b = *read.patterns[i];
    EXPECT_EQ(a.GetKind(), b.GetKind());
    EXPECT_EQ(a.Title(), b.Title());
    EXPECT_EQ(a.Style().colour, b.Style().colour);
    EXPECT_EQ(a.Plotted(), b.Plotted());
    EXPECT_EQ(a.Selected(), b.Selected());
    EXPECT_EQ(F(a.XOffset()), b.XOffset());
  }
  for (size_t i = 0; i < 2; ++i) {
    const CTSCrystal &a = *written.patterns[i]->Crystal(), &b = *read.patterns[i]->Crystal();
    EXPECT_EQ(F(a.a), b.a);
    EXPECT_EQ(F(a.c), b.c);
    ASSERT_EQ(a.sites.size(), b.sites.size());
    for (size_t j = 0; j < a.sites.size(); ++j) {
      EXPECT_EQ(a.sites[j].label, b.sites[j].label);
      EXPECT_EQ(a.sites[j].positions.size(), b.sites[j].positions.size());
      ASSERT_EQ(a.sites[j].displacement == nullptr, b.sites[j].displacement == nullptr);
      if (a.sites[j].displacement) {
        EXPECT_NEAR(a.sites[j].displacement->U(), b.sites[j].displacement->U(), 1e-6);
      }
    }
    // The crystal simulates as it did.
    read.patterns[i]->Recalculate(read.plotSpec);
    EXPECT_LT(RelativeDifference(written.patterns[i]->GetProfile(written.plotSpec),
                                 read.patterns[i]->GetProfile(read.plotSpec)),
              1e-3);
  }
  EXPECT_EQ(static_cast<const CTSObservedPattern&>(*read.patterns[2]).RawPoints().size(), 300u);
  EXPECT_EQ(read.plotSpec.Lambda(), F(1.78897));
  EXPECT_EQ(read.plotSpec.XMax(), 120.0);
  EXPECT_EQ(read.display.title, "Old session");
  EXPECT_EQ(read.display.yMax, 5000.0);
  EXPECT_EQ(read.window.rect, written.window.rect);
  EXPECT_TRUE(read.window.showReflexions);
}

TEST_F(LegacySessionFile, RefusesItsFaults) {
  const CSession session = Session();
  const auto refused = [&](CLegacySessionOptions options) {
    CLegacySessionBuilder(options).Write(session, m_path);
    Read();
  };
  EXPECT_THROW(refused({.countChange = 1}), CVHXFileSessionNumPatterns);
  EXPECT_THROW(refused({.countChange = -1}), CVHXFileSessionNumPatterns);
  EXPECT_THROW(refused({.listCountChange = 1}), CVHXFileSessionNumPatterns);
  EXPECT_THROW(refused({.displacementChange = 1}), CVHXFileSessionADPMismatch);
  EXPECT_THROW(refused({.platform = 'M', .version = "5.0.3"}), CVHXFileObsoleteMac5);

  // A kind the format does not know, and a kind without the common fields before it.
  CLegacySessionBuilder builder;
  builder.Begin(m_path);
  builder.WriteCount(1);
  builder.WriteCommon(*session.patterns[0]);
  builder.WriteKind(3);
  builder.Finish();
  try {
    Read();
    ADD_FAILURE() << "read";
  } catch (const CVHXFileSessionUnknownPattern& error) {
    EXPECT_EQ(error.Message(), "Unknown pattern type.");
    EXPECT_NE(error.Explanation().find("'old.tsdf'"), std::string::npos);
  }
  builder.Begin(m_path);
  builder.WriteCount(1);
  builder.WriteObserved({{1.0, 2.0}, {2.0, 3.0}});
  builder.Finish();
  EXPECT_THROW(Read(), CVHXFileSessionDataExpected);
  // Unknown chunks are passed over; a chunk read short of its length is damage.
  builder.Begin(m_path);
  builder.WriteChunk("NOTE", "written long ago");
  builder.WriteCount(0);
  builder.Finish();
  EXPECT_TRUE(Read().patterns.empty());
  builder.Begin(m_path);
  builder.WriteChunk("nPAT", std::string(8, '\0'));
  builder.Finish();
  EXPECT_THROW(Read(), CVHXFileInvalid);
  // Cut short anywhere.
  CLegacySessionBuilder().Write(session, m_path);
  const std::string bytes = FileBytes(m_path);
  for (size_t length = 0; length < bytes.size(); length += 1 + length / 4) {
    WriteBytes(m_path, bytes.substr(0, length));
    CTSSessionPre6File file;
    ASSERT_TRUE(file.Open(m_path, CFile::kModeRead));
    CSession read;
    EXPECT_THROW(file.ReadSession(read), CVHException) << length;
  }
}

}  // namespace
