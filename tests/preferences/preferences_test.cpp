// The application's preferences: their keys in order, their factory defaults against the model
// objects and the published defaults, the model objects made from them, the store's edge cases,
// and the settings the process follows (scattering factors, rules, memory budget).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/memory_pref_storage.h"
#include "diffraction/reflexion_generator.h"
#include "diffraction/scattering_table.h"
#include "document/document_ui.h"
#include "document/tess_doc.h"
#include "patterns/crystal_pattern.h"
#include "patterns/mixture_pattern.h"
#include "patterns/observed_pattern.h"
#include "patterns/plot_display.h"
#include "patterns/plot_spec.h"
#include "preferences/preferences.h"
#include "support/recorders.h"

namespace {

using namespace VHTypes;

template <class T>
void Store(CPrefStorage& storage, const std::string& key, const T& value) {
  std::vector<std::byte> bytes(sizeof(T));
  std::memcpy(bytes.data(), &value, sizeof(T));
  storage.WriteBytes(key, bytes);
}

// The 131 keys of the application in construction order, then the two it added since.
const std::vector<std::string> kApplicationKeys = {
    // Window and pane state.
    "MainFrameRect", "MainFrameMaximized", "ShowOverlay", "ShowPeakTips", "RelScaleXFactInc",
    "RelScaleYFactInc", "MinWheelZDelta", "MinHWheelZDelta", "ShowStructures", "ShowParameters",
    "ShowReflexions", "ShowPlotTitle", "ReflexionsRelHeight", "ScatteringFactorsVisible",
    "ScatteringFactorsWinRect", "StructuresWinWidth", "ParamOpenBackground", "ParamOpenFilm",
    "ParamOpenGraph", "ParamOpenGraphOptions", "ParamOpenInstrument", "ParamOpenLabels",
    "ParamOpenMixture", "ParamOpenOccupancy", "ParamOpenPattern", "ParamOpenPeakOverlay",
    "ParamOpenPreferredOrientation", "ParamOpenSample", "ParamOpenSmoothing", "ParamOpenText",
    "ParamOpenUnitCell", "ParamTabChoice",
    // Saved often.
    "HelperAppVisualisePath", "FilmMode", "ASF",
    // The preferences proper.
    "WinBackColor", "GraphPaperColor", "FrameColor", "PeakTipClick", "ShowScroller", "PrefsWinRect",
    "PrefsTabChoice", "ObservedAutoSetYScale", "SimulationType", "Lambda", "Lambda2", "LambdaRatio",
    "Monochromatic", "TTHPeakWidth", "TOFTheta", "TOFDistance", "TOFResolution", "EDXTheta",
    "EDXPeakWidth", "LambdaTEM", "PeakWidthTEM", "UseSolidBackground", "SolidBackgroundColour",
    "ProfileType", "Eta", "DMin", "RestrictMaxNumRefs", "MaxNumRefs", "AutoColor", "FixedColor",
    "AxisType", "FilmGamma", "FilmType", "FontColor", "FontName", "FontSize", "FontStyle",
    "TitleSize", "GridColor", "LogarithmicYAxis", "ShowGrid", "ShowLegend", "CrystalLineStyle",
    "CrystalLineWidth", "CrystalMarkerStyle", "CrystalMarkerSize", "CrystalUseShadow",
    "MixtureLineStyle", "MixtureLineWidth", "MixtureMarkerStyle", "MixtureMarkerSize",
    "MixtureUseShadow", "ObservedLineStyle", "ObservedLineWidth", "ObservedMarkerStyle",
    "ObservedMarkerSize", "ObservedUseShadow", "OverlayColor", "OverlayLineStyle",
    "OverlayLineWidth", "BackgroundColor", "BackgroundLineStyle", "BackgroundLineWidth",
    "BackgroundUseShadow", "ParticleSize", "IsotropicStrain", "UseThermalEllipsoids",
    "UsePreferredOrientation", "PreferredOrientationGeometry", "PreferredOrientationVector",
    "PreferredOrientationVectorType", "PreferredOrientationAlignment", "ShowLabels",
    "LabelThreshold", "LabelHKL", "LabelDSpacing", "LabelXUnits", "LabelRelIntensity",
    "LabelPhaseName", "LabelColor", "LabelAlignment", "RotateLabels", "ShowLabelArrowhead",
    "ShowLabelOutline", "ShowLabelShadow", "ShowLabelFrame", "HideOverlappingLabels", "CursorColor",
    "CursorVisible", "LoupeVisible", "RulerOffset", "RulerColor", "RulerVisible", "RulerLocked",
    "RulerLength", "RulerNumDivisions",
    // Added.
    "LegacyRules", "ReflexionMemoryBudget"};

constexpr size_t kFrameworkKeys = 26;

// The process-wide settings the store hands values to, put back after each test.
class Preferences : public testing::Test {
 protected:
  void TearDown() override {
    CScatteringFactorTable::Instance().Install(m_records);
    SetLegacyRulesDefault(m_legacy);
    SetReflexionMemoryBudget(m_budget);
  }

  CMemoryPrefStorage storage;

 private:
  std::vector<CVHASF> m_records = CScatteringFactorTable::Instance().Records();
  bool m_legacy = LegacyRulesDefault();
  double m_budget = ReflexionMemoryBudget();
};

TEST_F(Preferences, ApplicationKeysInConstructionOrderAndTheirGroups) {
  const CPreferences preferences(storage, CPreferences::DefaultsOnly{});
  const auto& values = preferences.Values();
  ASSERT_EQ(values.size(), kFrameworkKeys + 133);
  EXPECT_EQ(kApplicationKeys.size(), 133u);
  for (size_t i = 0; i < kApplicationKeys.size(); ++i) {
    const CPrefValue& value = *values[kFrameworkKeys + i];
    SCOPED_TRACE(kApplicationKeys[i]);
    EXPECT_EQ(value.Key(), kApplicationKeys[i]);
    const uint16_t group = i < 32 ? 64 : i < 35 ? 16 : 8;
    EXPECT_EQ(value.Groups(), group);
    EXPECT_EQ(preferences.Find(value.Key()), &value);
  }
}

TEST_F(Preferences, KeysHoldTheirTypes) {
  const CPreferences p(storage, CPreferences::DefaultsOnly{});
  const std::vector<std::pair<std::string, std::string>> types = {
      {"MainFrameRect", "rect"},
      {"MinWheelZDelta", "int"},
      {"RelScaleXFactInc", "double"},
      {"ParamTabChoice", "bool"},
      {"HelperAppVisualisePath", "path"},
      {"ASF", "scattering-factor record list"},
      {"WinBackColor", "colour"},
      {"SimulationType", "TSSimulationType"},
      {"MaxNumRefs", "unsigned"},
      {"FilmType", "TSFilmType"},
      {"FontName", "string"},
      {"FontSize", "float"},
      {"FontStyle", "unsigned"},
      {"CrystalLineStyle", "TSLineStyle"},
      {"MixtureMarkerStyle", "TSMarkerStyle"},
      {"ObservedLineWidth", "double"},
      {"PreferredOrientationGeometry", "PreferredOrientationType"},
      {"PreferredOrientationVector", "vector"},
      {"PreferredOrientationVectorType", "TSVectorType"},
      {"LabelAlignment", "TSLabelAlignment"},
      {"RulerOffset", "point"},
      {"RulerNumDivisions", "int"},
      {"LegacyRules", "bool"},
      {"ReflexionMemoryBudget", "double"},
      {"CustomColors", "colour list"},
      {"ToolbarState", "byte list"},
      {"PrefsVersion", "unsigned"}};
  for (const auto& [key, type] : types) {
    SCOPED_TRACE(key);
    ASSERT_NE(p.Find(key), nullptr);
    EXPECT_EQ(p.Find(key)->TypeName(), type);
  }
  // Sizes of the stored bytes: one for a bool, four for 32-bit values, eight for a double.
  EXPECT_EQ(p.mainFrameMaximized.Size(), 1u);
  EXPECT_EQ(p.simulationType.Size(), 4u);
  EXPECT_EQ(p.fontSize.Size(), 4u);
  EXPECT_EQ(p.lambda.Size(), 8u);
  EXPECT_EQ(p.preferredOrientationVector.Size(), 24u);
  EXPECT_EQ(p.mainFrameRect.Size(), 16u);
  EXPECT_EQ(p.rulerOffset.Size(), 8u);
}

TEST_F(Preferences, FactoryDefaultsAreThePublishedOnes) {
  const CPreferences p(storage, CPreferences::DefaultsOnly{});
  const std::vector<std::pair<std::string, std::string>> defaults = {
      {"ObservedAutoSetYScale", "true"},
      {"SimulationType", "1"},
      {"Lambda", "1.5405"},
      {"Lambda2", "1.54434"},
      {"LambdaRatio", "2"},
      {"Monochromatic", "true"},
      {"TTHPeakWidth", "0.1"},
      {"TOFTheta", "1.57"},
      {"TOFDistance", "100"},
      {"TOFResolution", "0.001"},
      {"EDXTheta", "0.06981"},
      {"EDXPeakWidth", "0.1"},
      {"LambdaTEM", "0.037014"},
      {"PeakWidthTEM", "0.02"},
      {"ProfileType", "3"},
      {"Eta", "0.2"},
      {"DMin", "0.7"},
      {"RestrictMaxNumRefs", "true"},
      {"MaxNumRefs", "10000"},
      {"AxisType", "1"},
      {"FilmGamma", "1"},
      {"FontColor", "0xFF000000"},
      {"FontName", "MS Shell Dlg 2"},
      {"FontSize", "8"},
      {"LogarithmicYAxis", "false"},
      {"ShowGrid", "true"},
      {"GridColor", "0xFFC0C0C0"},
      {"ShowPeakTips", "false"},
      {"ShowLegend", "true"},
      {"UseSolidBackground", "false"},
      {"SolidBackgroundColour", "0xFFFFFFFF"},
      {"FilmType", "1"},
      {"FontStyle", "0"},
      {"ShowPlotTitle", "false"},
      {"FilmMode", "false"},
      {"CrystalLineStyle", "1"},
      {"CrystalLineWidth", "1"},
      {"CrystalMarkerStyle", "0"},
      {"CrystalMarkerSize", "4"},
      {"CrystalUseShadow", "true"},
      {"MixtureLineStyle", "1"},
      {"MixtureLineWidth", "1"},
      {"MixtureMarkerStyle", "0"},
      {"MixtureMarkerSize", "4"},
      {"MixtureUseShadow", "true"},
      {"ObservedLineStyle", "1"},
      {"ObservedLineWidth", "1"},
      {"ObservedMarkerStyle", "0"},
      {"ObservedMarkerSize", "4"},
      {"ObservedUseShadow", "true"},
      {"ShowOverlay", "false"},
      {"OverlayColor", "0xFF000000"},
      {"OverlayLineStyle", "2"},
      {"OverlayLineWidth", "0.5"},
      {"BackgroundLineStyle", "1"},
      {"BackgroundLineWidth", "2"},
      {"BackgroundUseShadow", "true"},
      {"ParticleSize", "10000"},
      {"IsotropicStrain", "0"},
      {"UseThermalEllipsoids", "true"},
      {"UsePreferredOrientation", "false"},
      {"PreferredOrientationGeometry", "1"},
      {"PreferredOrientationVector", "0,0,1"},
      {"PreferredOrientationVectorType", "1"},
      {"PreferredOrientationAlignment", "0.9"},
      {"ShowLabels", "false"},
      {"LabelThreshold", "10"},
      {"LabelHKL", "true"},
      {"LabelDSpacing", "false"},
      {"LabelXUnits", "false"},
      {"LabelRelIntensity", "false"},
      {"LabelPhaseName", "false"},
      {"LabelColor", "0xFF000000"},
      {"LabelAlignment", "3"},
      {"RotateLabels", "true"},
      {"ShowLabelArrowhead", "true"},
      {"ShowLabelOutline", "true"},
      {"ShowLabelShadow", "false"},
      {"ShowLabelFrame", "false"},
      {"LegacyRules", "false"},
      {"ReflexionMemoryBudget", "0"},
      {"PrefsVersion", "9"},
      {"BasePrefsVersion", "9"}};
  for (const auto& [key, text] : defaults) {
    SCOPED_TRACE(key);
    ASSERT_NE(p.Find(key), nullptr);
    EXPECT_EQ(p.Find(key)->Text(), text);
  }
  EXPECT_EQ(p.asf.Default(), BuiltInScatteringFactors());
}

TEST_F(Preferences, FactoryDefaultsAreTheModelObjectsBuiltInValues) {
  const CPreferences p(storage, CPreferences::DefaultsOnly{});
  // The plot specification's every field, compared whole.
  EXPECT_EQ(CPlotSpec::FromPreferences(p), CPlotSpec::BuiltIn());
  // So is the plot's display, every field compared; its colours spelled out as well, since a
  // default that drifted on both sides would pass the comparison.
  EXPECT_EQ(CPlotDisplay::FromPreferences(p), CPlotDisplay{});
  EXPECT_EQ(p.gridColor.Get().argb, CPlotDisplay{}.gridColour);
  EXPECT_EQ(p.showPeakTips.Get(), CPlotDisplay{}.peakTips);

  const CTSCrystal fromPreferences = CTSCrystal::FromPreferences(p);
  const CTSCrystal builtIn;
  EXPECT_EQ(fromPreferences.particleSize, builtIn.particleSize);
  EXPECT_EQ(fromPreferences.isotropicStrain, builtIn.isotropicStrain);
  EXPECT_EQ(fromPreferences.useDisplacementParameters, builtIn.useDisplacementParameters);
  EXPECT_EQ(fromPreferences.usePreferredOrientation, builtIn.usePreferredOrientation);
  EXPECT_EQ(fromPreferences.preferredOrientationGeometry, builtIn.preferredOrientationGeometry);
  EXPECT_EQ(fromPreferences.preferredOrientationVector, builtIn.preferredOrientationVector);
  EXPECT_EQ(fromPreferences.preferredOrientationVectorType, builtIn.preferredOrientationVectorType);
  EXPECT_EQ(fromPreferences.preferredOrientationAlignment, builtIn.preferredOrientationAlignment);

  const CTSCrystalPattern crystal(p);
  const CTSCrystalPattern crystalBuiltIn{CTSPattern::BuiltInDefaults{}};
  EXPECT_EQ(crystal.Style(), crystalBuiltIn.Style());
  EXPECT_EQ(crystal.Labels(), crystalBuiltIn.Labels());
  EXPECT_EQ(crystal.Overlay(), crystalBuiltIn.Overlay());
  EXPECT_EQ(crystal.Title(), crystalBuiltIn.Title());

  const CTSObservedPattern observed(p);
  const CTSObservedPattern observedBuiltIn{CTSPattern::BuiltInDefaults{}};
  EXPECT_EQ(observed.Style(), observedBuiltIn.Style());
  EXPECT_EQ(observed.BackgroundStyle(), observedBuiltIn.BackgroundStyle());
  EXPECT_EQ(observed.AutoYScale(), observedBuiltIn.AutoYScale());
  EXPECT_EQ(observed.Title(), observedBuiltIn.Title());
  // Observed patterns label what the preferences say, which for hkl is the crystal's default.
  EXPECT_EQ(observed.Labels(), crystalBuiltIn.Labels());

  const CCurveStyle mixture = CTSMixturePattern(CTSPattern::BuiltInDefaults{}).Style();
  EXPECT_EQ(p.mixtureLineStyle.Get(), mixture.lineStyle);
  EXPECT_EQ(p.mixtureLineWidth.Get(), mixture.lineWidth);
  EXPECT_EQ(p.mixtureMarkerStyle.Get(), mixture.markerStyle);
  EXPECT_EQ(p.mixtureMarkerSize.Get(), mixture.markerSize);
  EXPECT_EQ(p.mixtureUseShadow.Get(), mixture.useShadow);
}

TEST_F(Preferences, ThePlotSpecificationTakesEveryKeyOfItsOwn) {
  CPreferences p(storage, CPreferences::DefaultsOnly{});
  p.simulationType.Set(kSimulationNeutrons);
  p.profileType.Set(kProfilePseudoVoigt);
  p.axisType.Set(kAxisDSpacing);
  p.dMin.Set(0.5);
  p.restrictMaxNumRefs.Set(false);
  p.maxNumRefs.Set(500);
  p.tthPeakWidth.Set(0.05);
  p.monochromatic.Set(false);
  p.lambda.Set(1.2);
  p.lambda2.Set(1.3);
  p.lambdaRatio.Set(1.5);
  p.edxTheta.Set(0.1);
  p.edxPeakWidth.Set(0.2);
  p.tofTheta.Set(1.0);
  p.tofDistance.Set(50.0);
  p.tofResolution.Set(0.002);
  p.lambdaTEM.Set(0.025);
  p.peakWidthTEM.Set(0.03);
  p.eta.Set(0.6);
  const CPlotSpec plot = CPlotSpec::FromPreferences(p);
  EXPECT_EQ(plot.SimulationType(), kSimulationNeutrons);
  EXPECT_EQ(plot.ProfileType(), kProfilePseudoVoigt);
  EXPECT_EQ(plot.AxisType(), kAxisDSpacing);
  EXPECT_EQ(plot.XMin(), 0.0);
  EXPECT_EQ(plot.XMax(), 100.0) << "the d-spacing axis's range";
  EXPECT_EQ(plot.DMin(), 0.5);
  EXPECT_FALSE(plot.RestrictMaxNumRefs());
  EXPECT_EQ(plot.MaxNumRefs(), 500);
  EXPECT_EQ(plot.TTHPeakWidth(), 0.05);
  EXPECT_FALSE(plot.Monochromatic());
  EXPECT_EQ(plot.Lambda(), 1.2);
  EXPECT_EQ(plot.Lambda2(), 1.3);
  EXPECT_EQ(plot.LambdaRatio(), 1.5);
  EXPECT_EQ(plot.EDXTheta(), 0.1);
  EXPECT_EQ(plot.EDXPeakWidth(), 0.2);
  EXPECT_EQ(plot.TOFTheta(), 1.0);
  EXPECT_EQ(plot.TOFDistance(), 50.0);
  EXPECT_EQ(plot.TOFResolution(), 0.002);
  EXPECT_EQ(plot.LambdaTEM(), 0.025);
  EXPECT_EQ(plot.PeakWidthTEM(), 0.03);
  EXPECT_EQ(plot.Eta(), 0.6);
  // The factors derived from the instrument follow it.
  EXPECT_DOUBLE_EQ(plot.TOFFactor(), 2.0 * 50.0 * 0.2527776062488556 * std::sin(1.0));
  EXPECT_DOUBLE_EQ(plot.EDXFactor(), 6.19921 / std::sin(0.1));

  // A count beyond what the plot can hold is held at its largest.
  p.maxNumRefs.Set(4000000000u);
  EXPECT_EQ(CPlotSpec::FromPreferences(p).MaxNumRefs(), INT32_MAX);
}

TEST_F(Preferences, ThePlotDisplayTakesEveryKeyOfItsOwn) {
  CPreferences p(storage, CPreferences::DefaultsOnly{});
  p.fontName.Set("DejaVu Sans");
  p.fontSize.Set(11.0f);
  p.fontStyle.Set(2);
  p.fontColor.Set(CPrefColour{0xFF112233});
  p.gridColor.Set(CPrefColour{0xFF445566});
  p.solidBackgroundColour.Set(CPrefColour{0xFF778899});
  p.useSolidBackground.Set(true);
  p.logarithmicYAxis.Set(true);
  p.showGrid.Set(false);
  p.showLegend.Set(false);
  p.showPlotTitle.Set(true);
  p.showPeakTips.Set(true);
  p.filmMode.Set(true);
  p.filmType.Set(VHTypes::kFilmNegative);
  p.filmGamma.Set(0.5);
  p.showOverlay.Set(true);
  CPlotDisplay expected;
  expected.fontName = "DejaVu Sans";
  expected.fontSize = 11.0f;
  expected.fontStyle = 2;
  expected.textColour = 0xFF112233;
  expected.gridColour = 0xFF445566;
  expected.graphBackgroundColour = 0xFF778899;
  expected.graphBackground = expected.logarithmicY = true;
  expected.gridlines = expected.legend = false;
  expected.showTitle = expected.peakTips = expected.film = true;
  expected.filmType = VHTypes::kFilmNegative;
  expected.filmGamma = 0.5;
  expected.showOverlay = true;
  EXPECT_EQ(CPlotDisplay::FromPreferences(p), expected);

  // The desktop's document starts from them, and so does every new session of it.
  CDocumentUi ui;
  CTessDoc document(ui, &p);
  EXPECT_EQ(document.Session().display, expected);
  document.Reset();
  EXPECT_EQ(document.Session().display, expected);
}

TEST_F(Preferences, CrystalsAndPatternsTakeEveryKeyOfTheirs) {
  CPreferences p(storage, CPreferences::DefaultsOnly{});
  p.particleSize.Set(500.0);
  p.isotropicStrain.Set(0.01);
  p.useThermalEllipsoids.Set(false);
  p.usePreferredOrientation.Set(true);
  p.preferredOrientationGeometry.Set(CTSCrystal::kNeedles);
  p.preferredOrientationVector.Set({1, 1, 0});
  p.preferredOrientationVectorType.Set(CTSCrystal::kLatticeVector);
  p.preferredOrientationAlignment.Set(0.7);
  p.crystalLineStyle.Set(TSLineStyle{3});
  p.crystalLineWidth.Set(2.5);
  p.crystalMarkerStyle.Set(TSMarkerStyle{2});
  p.crystalMarkerSize.Set(6.0);
  p.crystalUseShadow.Set(false);
  p.showLabels.Set(true);
  p.labelThreshold.Set(25.0);
  p.labelHKL.Set(false);
  p.labelDSpacing.Set(true);
  p.labelXUnits.Set(true);
  p.labelRelIntensity.Set(true);
  p.labelPhaseName.Set(true);
  p.labelColor.Set({0xFF112233});
  p.labelAlignment.Set(TSLabelAlignment{1});
  p.rotateLabels.Set(false);
  p.showLabelArrowhead.Set(false);
  p.showLabelOutline.Set(false);
  p.showLabelShadow.Set(true);
  p.showLabelFrame.Set(true);
  p.showOverlay.Set(true);
  p.overlayColor.Set({0xFF00FF00});
  p.overlayLineStyle.Set(TSLineStyle{1});
  p.overlayLineWidth.Set(1.5);
  p.observedLineStyle.Set(TSLineStyle{4});
  p.observedLineWidth.Set(0.75);
  p.observedMarkerStyle.Set(TSMarkerStyle{1});
  p.observedMarkerSize.Set(3.0);
  p.observedUseShadow.Set(false);
  p.observedAutoSetYScale.Set(false);
  p.backgroundColor.Set({0xFF0000FF});
  p.backgroundLineStyle.Set(TSLineStyle{3});
  p.backgroundLineWidth.Set(1.0);
  p.backgroundUseShadow.Set(false);

  const CTSCrystalPattern crystalPattern(p);
  const CTSCrystal& crystal = *crystalPattern.Crystal();
  EXPECT_EQ(crystal.particleSize, 500.0);
  EXPECT_EQ(crystal.isotropicStrain, 0.01);
  EXPECT_FALSE(crystal.useDisplacementParameters);
  EXPECT_TRUE(crystal.usePreferredOrientation);
  EXPECT_EQ(crystal.preferredOrientationGeometry, CTSCrystal::kNeedles);
  EXPECT_EQ(crystal.preferredOrientationVector, (CVector{1, 1, 0}));
  EXPECT_EQ(crystal.preferredOrientationVectorType, CTSCrystal::kLatticeVector);
  EXPECT_EQ(crystal.preferredOrientationAlignment, 0.7);

  CCurveStyle crystalStyle;
  crystalStyle.lineStyle = TSLineStyle{3};
  crystalStyle.lineWidth = 2.5f;
  crystalStyle.markerStyle = TSMarkerStyle{2};
  crystalStyle.markerSize = 6.0f;
  crystalStyle.useShadow = false;
  EXPECT_EQ(crystalPattern.Style(), crystalStyle);
  const CLabelOptions labels{TSLabelAlignment{1},
                             0xFF112233,
                             false,
                             false,
                             true,
                             false,
                             true,
                             true,
                             25.0,
                             true,
                             false,
                             true,
                             true,
                             true};
  EXPECT_EQ(crystalPattern.Labels(), labels);
  EXPECT_EQ(crystalPattern.Overlay(), (COverlayStyle{true, 0xFF00FF00, TSLineStyle{1}, 1.5f}));

  const CTSObservedPattern observed(p);
  CCurveStyle observedStyle;
  observedStyle.lineStyle = TSLineStyle{4};
  observedStyle.lineWidth = 0.75f;
  observedStyle.markerStyle = TSMarkerStyle{1};
  observedStyle.markerSize = 3.0f;
  observedStyle.useShadow = false;
  EXPECT_EQ(observed.Style(), observedStyle);
  EXPECT_EQ(observed.Labels(), labels);
  EXPECT_FALSE(observed.AutoYScale());
  CBackgroundStyle background;
  background.colour = 0xFF0000FF;
  background.lineStyle = TSLineStyle{3};
  background.lineWidth = 1.0f;
  background.useShadow = false;
  EXPECT_EQ(observed.BackgroundStyle(), background);
}

TEST_F(Preferences, AnEmptyStoreGivesTheFactoryDefaultsAndTheFirstSaveWritesEverything) {
  CRecordingAlertPresenter alerts;
  const CPreferences defaults(storage, CPreferences::DefaultsOnly{});
  const CPreferences preferences(storage);
  EXPECT_TRUE(alerts.shown.empty());
  for (size_t i = 0; i < preferences.Values().size(); ++i) {
    const CPrefValue& value = *preferences.Values()[i];
    SCOPED_TRACE(value.Key());
    EXPECT_EQ(value.Text(), defaults.Values()[i]->Text());
    EXPECT_NE(storage.Find(value.Key()), nullptr) << "written by the first save";
  }
  EXPECT_EQ(storage.WriteCount(), preferences.Values().size());
  // Empty texts are written and read back as missing, keeping their default.
  EXPECT_EQ(std::get<std::string>(*storage.Find("HelperAppVisualisePath")), "");
}

TEST_F(Preferences, ValuesWrittenByOneStoreAreReadByTheNext) {
  {
    CPreferences first(storage);
    first.lambda.Set(1.78897);
    first.fontName.Set("DejaVu Sans");
    first.mainFrameRect.Set({10, 20, 800, 600});
    first.preferredOrientationVector.Set({1, 0, 0});
    first.customColors.Set({{0xFF123456}});
    first.Save(CPreferences::kSaveAll);
  }
  const CPreferences second(storage);
  EXPECT_EQ(second.lambda.Get(), 1.78897);
  EXPECT_EQ(second.fontName.Get(), "DejaVu Sans");
  EXPECT_EQ(second.mainFrameRect.Get(), (CPrefRect{10, 20, 800, 600}));
  EXPECT_EQ(second.preferredOrientationVector.Get(), (CPrefVector{1, 0, 0}));
  EXPECT_EQ(second.customColors.Get(), (std::vector<CPrefColour>{{0xFF123456}}));
}

TEST_F(Preferences, AnOlderStoredVersionIsIgnoredWhole) {
  Store(storage, "PrefsVersion", uint32_t{8});
  Store(storage, "Lambda", 0.7093);
  Store(storage, "ShowGrid", false);
  Store(storage, "ParametersWndVisible", false);
  CRecordingAlertPresenter alerts;
  const CPreferences preferences(storage);
  EXPECT_EQ(preferences.lambda.Get(), 1.5405);
  EXPECT_TRUE(preferences.showGrid.Get());
  EXPECT_TRUE(preferences.showParameters.Get());
  EXPECT_TRUE(alerts.shown.empty());
  // The start-up save replaces them with what this version writes.
  CPrefScalar<uint32_t> version(0, "PrefsVersion", nullptr, 0);
  CPrefScalar<double> lambda(0, "Lambda", nullptr, 0.0);
  version.Read(storage);
  lambda.Read(storage);
  EXPECT_EQ(version.Get(), 9u);
  EXPECT_EQ(lambda.Get(), 1.5405);
}

TEST_F(Preferences, ALambdaOfFourBytesKeepsItsDefaultAndTheOthersAreRead) {
  Store(storage, "PrefsVersion", uint32_t{9});
  Store(storage, "Lambda", 1.25f);
  Store(storage, "Lambda2", 1.3);
  Store(storage, "ShowGrid", false);
  storage.WriteText("FontName", "DejaVu Sans");
  CRecordingAlertPresenter alerts;
  const CPreferences preferences(storage);
  EXPECT_EQ(preferences.lambda.Get(), 1.5405);
  EXPECT_EQ(preferences.lambda2.Get(), 1.3);
  EXPECT_FALSE(preferences.showGrid.Get());
  EXPECT_EQ(preferences.fontName.Get(), "DejaVu Sans");
  ASSERT_EQ(alerts.shown.size(), 1u);
  EXPECT_EQ(alerts.shown[0].title, "Preferences");
  EXPECT_EQ(alerts.shown[0].message, "Error reading preferences.");
  EXPECT_EQ(alerts.shown[0].explanation,
            "Some of your preferences could not be read and have been set to default values.");
}

TEST_F(Preferences, SavingGroupEightTwiceWithoutAChangeWritesOnce) {
  CPreferences preferences(storage);
  const size_t started = storage.WriteCount();
  EXPECT_TRUE(preferences.Save(CPreferences::kSavePreferences));
  const size_t written = storage.WriteCount() - started;
  size_t inGroup = 0;
  for (const CPrefValue* value : preferences.Values()) inGroup += value->InGroups(8);
  EXPECT_EQ(written, inGroup);
  EXPECT_EQ(inGroup, 98u);
  EXPECT_FALSE(preferences.Save(CPreferences::kSavePreferences));
  EXPECT_EQ(storage.WriteCount() - started, written);
  preferences.eta.Set(0.5);
  EXPECT_TRUE(preferences.Save(CPreferences::kSavePreferences));
  EXPECT_EQ(storage.WriteCount() - started, 2 * written);
}

TEST_F(Preferences, ANewerBaseVersionIsIncompatible) {
  Store(storage, "PrefsVersion", uint32_t{10});
  Store(storage, "BasePrefsVersion", uint32_t{10});
  Store(storage, "Lambda", 0.7093);
  CRecordingAlertPresenter alerts;
  const CPreferences preferences(storage);
  EXPECT_EQ(preferences.lambda.Get(), 1.5405);
  ASSERT_EQ(alerts.shown.size(), 1u);
  EXPECT_EQ(alerts.shown[0].title, "Preferences");
  EXPECT_EQ(alerts.shown[0].message, "Incompatible preferences.");
  EXPECT_EQ(alerts.shown[0].explanation,
            "This version of Tessaline is not able to read the current saved preferences. "
            "Tessaline will continue with default preferences.");
}

TEST_F(Preferences, ANewerVersionWithOurBaseIsRead) {
  Store(storage, "PrefsVersion", uint32_t{10});
  Store(storage, "BasePrefsVersion", uint32_t{9});
  Store(storage, "Lambda", 0.7093);
  CRecordingAlertPresenter alerts;
  const CPreferences preferences(storage);
  EXPECT_EQ(preferences.lambda.Get(), 0.7093);
  EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(Preferences, TheScatteringFactorTableIsThePreference) {
  CScatteringFactorTable& table = CScatteringFactorTable::Instance();
  CVHASF custom = *table.Find("Fe");
  custom.symbol = "Fe2";
  custom.notes = "refined";
  custom.f[8] = 1.25;
  {
    CPreferences preferences(storage);
    table.Install({custom, *table.Find("O")});
    // Saving takes the records from the table.
    preferences.Save(CPreferences::kSaveSmall);
  }
  table.RestoreBuiltIn();
  CPreferences loaded(storage);
  // Loading installs the stored records in the table.
  ASSERT_EQ(table.Records().size(), 2u);
  EXPECT_EQ(table.Records()[0], custom);
  EXPECT_EQ(loaded.asf.Count(), 2u);
  EXPECT_EQ(loaded.asf.Text(), "2 entries");

  // Restoring the factory defaults brings back the built-in table.
  loaded.RestoreFactoryDefaults();
  EXPECT_EQ(table.Records(), BuiltInScatteringFactors());
}

TEST_F(Preferences, ADamagedTableLeavesTheTableAlone) {
  const std::vector<CVHASF> records = {*CScatteringFactorTable::Instance().Find("Si")};
  std::vector<std::byte> bytes = CPrefArray<CVHASF>::Encode(records);
  bytes.pop_back();
  Store(storage, "PrefsVersion", uint32_t{9});
  storage.WriteBytes("ASF", bytes);
  CRecordingAlertPresenter alerts;
  const CPreferences preferences(storage);
  EXPECT_EQ(CScatteringFactorTable::Instance().Records(), BuiltInScatteringFactors());
  EXPECT_EQ(alerts.shown.size(), 1u);
}

TEST_F(Preferences, TheRulesAndTheMemoryBudgetFollowTheStore) {
  Store(storage, "PrefsVersion", uint32_t{9});
  Store(storage, "LegacyRules", true);
  Store(storage, "ReflexionMemoryBudget", 123456.0);
  SetLegacyRulesDefault(false);
  CPreferences preferences(storage);
  EXPECT_TRUE(LegacyRulesDefault());
  EXPECT_TRUE(CTSCrystal().legacyRules);
  EXPECT_EQ(ReflexionMemoryBudget(), 123456.0);

  preferences.legacyRules.Set(false);
  EXPECT_FALSE(CTSCrystal().legacyRules);
  // No budget of its own means a quarter of the machine.
  preferences.reflexionMemoryBudget.Set(0.0);
  EXPECT_EQ(ReflexionMemoryBudget(), DefaultReflexionMemoryBudget());
  EXPECT_GT(ReflexionMemoryBudget(), 0.0);
}

TEST_F(Preferences, ValuesCanBeSetWhileAnotherThreadSaves) {
  CPreferences preferences(storage);
  std::thread setter([&] {
    for (int i = 1; i <= 200; ++i) {
      preferences.lambda.Set(i);
      preferences.fontName.Set("Font " + std::to_string(i));
    }
  });
  for (int i = 0; i < 200; ++i) preferences.Save(CPreferences::kSavePreferences);
  setter.join();
  preferences.Save(CPreferences::kSavePreferences);
  const CPreferences reread(storage);
  EXPECT_EQ(reread.lambda.Get(), 200.0);
  EXPECT_EQ(reread.fontName.Get(), "Font 200");
}

}  // namespace
