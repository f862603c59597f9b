#include "preferences/preferences.h"

#include "diffraction/reflexion_generator.h"
#include "patterns/crystal_pattern.h"
#include "patterns/mixture_pattern.h"
#include "patterns/observed_pattern.h"
#include "patterns/plot_display.h"
#include "patterns/plot_spec.h"

// Model objects with their built-in defaults: where the factory defaults come from.
struct CBuiltInModels {
  CPlotSpec plot = CPlotSpec::BuiltIn();
  CTSCrystal crystal;
  CTSCrystalPattern crystalPattern{CTSPattern::BuiltInDefaults{}};
  CTSObservedPattern observedPattern{CTSPattern::BuiltInDefaults{}};
  CTSMixturePattern mixturePattern{CTSPattern::BuiltInDefaults{}};
  CCurveStyle mixtureStyle = mixturePattern.Style();
  CPlotDisplay display;
};

namespace {

// The version before which ShowParameters was kept as ParametersWndVisible.
constexpr uint32_t kParametersKeyChange = 8;

// A wheel notch.
constexpr int32_t kWheelDelta = 120;

constexpr CPrefColour kBlack{0xFF000000};
constexpr CPrefColour kWhite{0xFFFFFFFF};

CPrefColour Colour(uint32_t argb) {
  return CPrefColour{argb};
}

CPrefVector Vector(const VHTypes::CVector& vector) {
  return {vector.x, vector.y, vector.z};
}

void HandOnMemoryBudget(double bytes) {
  SetReflexionMemoryBudget(bytes > 0.0 ? bytes : DefaultReflexionMemoryBudget());
}

}  // namespace

CPreferences::CPreferences(CPrefStorage& storage) : CPreferences(storage, DefaultsOnly{}) {
  Load();
  Save(kSaveAll);
}

CPreferences::CPreferences(CPrefStorage& storage, DefaultsOnly)
    : CPreferences(storage, CBuiltInModels{}) {}

// Keys whose model objects are not in the core (the windows, the plot's tools) take their factory
// defaults here.
CPreferences::CPreferences(CPrefStorage& storage, const CBuiltInModels& models)
    : CVHPreferences(storage, kVersion, kBaseVersion),
      mainFrameRect(kGroupWindows, "MainFrameRect", this, {}),
      mainFrameMaximized(kGroupWindows, "MainFrameMaximized", this, false),
      showOverlay(kGroupWindows, "ShowOverlay", this, models.crystalPattern.Overlay().show),
      showPeakTips(kGroupWindows, "ShowPeakTips", this, models.display.peakTips),
      relScaleXFactInc(kGroupWindows, "RelScaleXFactInc", this, 1.1),
      relScaleYFactInc(kGroupWindows, "RelScaleYFactInc", this, 1.1),
      minWheelZDelta(kGroupWindows, "MinWheelZDelta", this, kWheelDelta),
      minHWheelZDelta(kGroupWindows, "MinHWheelZDelta", this, kWheelDelta),
      showStructures(kGroupWindows, "ShowStructures", this, true),
      showParameters(kGroupWindows, "ShowParameters", this, true),
      showReflexions(kGroupWindows, "ShowReflexions", this, false),
      showPlotTitle(kGroupWindows, "ShowPlotTitle", this, models.display.showTitle),
      reflexionsRelHeight(kGroupWindows, "ReflexionsRelHeight", this, 0.25),
      scatteringFactorsVisible(kGroupWindows, "ScatteringFactorsVisible", this, false),
      scatteringFactorsWinRect(kGroupWindows, "ScatteringFactorsWinRect", this, {}),
      structuresWinWidth(kGroupWindows, "StructuresWinWidth", this, 240),
      paramOpenBackground(kGroupWindows, "ParamOpenBackground", this, false),
      paramOpenFilm(kGroupWindows, "ParamOpenFilm", this, false),
      paramOpenGraph(kGroupWindows, "ParamOpenGraph", this, false),
      paramOpenGraphOptions(kGroupWindows, "ParamOpenGraphOptions", this, false),
      paramOpenInstrument(kGroupWindows, "ParamOpenInstrument", this, true),
      paramOpenLabels(kGroupWindows, "ParamOpenLabels", this, false),
      paramOpenMixture(kGroupWindows, "ParamOpenMixture", this, false),
      paramOpenOccupancy(kGroupWindows, "ParamOpenOccupancy", this, false),
      paramOpenPattern(kGroupWindows, "ParamOpenPattern", this, true),
      paramOpenPeakOverlay(kGroupWindows, "ParamOpenPeakOverlay", this, false),
      paramOpenPreferredOrientation(kGroupWindows, "ParamOpenPreferredOrientation", this, false),
      paramOpenSample(kGroupWindows, "ParamOpenSample", this, false),
      paramOpenSmoothing(kGroupWindows, "ParamOpenSmoothing", this, false),
      paramOpenText(kGroupWindows, "ParamOpenText", this, false),
      paramOpenUnitCell(kGroupWindows, "ParamOpenUnitCell", this, false),
      paramTabChoice(kGroupWindows, "ParamTabChoice", this, false),
      helperAppVisualisePath(kGroupSmall, "HelperAppVisualisePath", this, {}),
      filmMode(kGroupSmall, "FilmMode", this, models.display.film),
      asf(kGroupSmall, this),
      winBackColor(kGroupPreferences, "WinBackColor", this, kWhite),
      graphPaperColor(kGroupPreferences, "GraphPaperColor", this, kWhite),
      frameColor(kGroupPreferences, "FrameColor", this, kBlack),
      peakTipClick(kGroupPreferences, "PeakTipClick", this, false),
      showScroller(kGroupPreferences, "ShowScroller", this, true),
      prefsWinRect(kGroupPreferences, "PrefsWinRect", this, {}),
      prefsTabChoice(kGroupPreferences, "PrefsTabChoice", this, 0),
      observedAutoSetYScale(kGroupPreferences, "ObservedAutoSetYScale", this,
                            models.observedPattern.AutoYScale()),
      simulationType(kGroupPreferences, "SimulationType", this, models.plot.SimulationType()),
      lambda(kGroupPreferences, "Lambda", this, models.plot.Lambda()),
      lambda2(kGroupPreferences, "Lambda2", this, models.plot.Lambda2()),
      lambdaRatio(kGroupPreferences, "LambdaRatio", this, models.plot.LambdaRatio()),
      monochromatic(kGroupPreferences, "Monochromatic", this, models.plot.Monochromatic()),
      tthPeakWidth(kGroupPreferences, "TTHPeakWidth", this, models.plot.TTHPeakWidth()),
      tofTheta(kGroupPreferences, "TOFTheta", this, models.plot.TOFTheta()),
      tofDistance(kGroupPreferences, "TOFDistance", this, models.plot.TOFDistance()),
      tofResolution(kGroupPreferences, "TOFResolution", this, models.plot.TOFResolution()),
      edxTheta(kGroupPreferences, "EDXTheta", this, models.plot.EDXTheta()),
      edxPeakWidth(kGroupPreferences, "EDXPeakWidth", this, models.plot.EDXPeakWidth()),
      lambdaTEM(kGroupPreferences, "LambdaTEM", this, models.plot.LambdaTEM()),
      peakWidthTEM(kGroupPreferences, "PeakWidthTEM", this, models.plot.PeakWidthTEM()),
      useSolidBackground(kGroupPreferences, "UseSolidBackground", this,
                         models.display.graphBackground),
      solidBackgroundColour(kGroupPreferences, "SolidBackgroundColour", this,
                            Colour(models.display.graphBackgroundColour)),
      profileType(kGroupPreferences, "ProfileType", this, models.plot.ProfileType()),
      eta(kGroupPreferences, "Eta", this, models.plot.Eta()),
      dMin(kGroupPreferences, "DMin", this, models.plot.DMin()),
      restrictMaxNumRefs(kGroupPreferences, "RestrictMaxNumRefs", this,
                         models.plot.RestrictMaxNumRefs()),
      maxNumRefs(kGroupPreferences, "MaxNumRefs", this,
                 static_cast<uint32_t>(models.plot.MaxNumRefs())),
      autoColor(kGroupPreferences, "AutoColor", this, true),
      fixedColor(kGroupPreferences, "FixedColor", this, kBlack),
      axisType(kGroupPreferences, "AxisType", this, models.plot.AxisType()),
      filmGamma(kGroupPreferences, "FilmGamma", this, models.display.filmGamma),
      filmType(kGroupPreferences, "FilmType", this, models.display.filmType),
      fontColor(kGroupPreferences, "FontColor", this, Colour(models.display.textColour)),
      fontName(kGroupPreferences, "FontName", this, models.display.fontName),
      fontSize(kGroupPreferences, "FontSize", this, models.display.fontSize),
      fontStyle(kGroupPreferences, "FontStyle", this, models.display.fontStyle),
      titleSize(kGroupPreferences, "TitleSize", this, 12.0f),
      gridColor(kGroupPreferences, "GridColor", this, Colour(models.display.gridColour)),
      logarithmicYAxis(kGroupPreferences, "LogarithmicYAxis", this, models.display.logarithmicY),
      showGrid(kGroupPreferences, "ShowGrid", this, models.display.gridlines),
      showLegend(kGroupPreferences, "ShowLegend", this, models.display.legend),
      crystalLineStyle(kGroupPreferences, "CrystalLineStyle", this,
                       models.crystalPattern.Style().lineStyle),
      crystalLineWidth(kGroupPreferences, "CrystalLineWidth", this,
                       models.crystalPattern.Style().lineWidth),
      crystalMarkerStyle(kGroupPreferences, "CrystalMarkerStyle", this,
                         models.crystalPattern.Style().markerStyle),
      crystalMarkerSize(kGroupPreferences, "CrystalMarkerSize", this,
                        models.crystalPattern.Style().markerSize),
      crystalUseShadow(kGroupPreferences, "CrystalUseShadow", this,
                       models.crystalPattern.Style().useShadow),
      mixtureLineStyle(kGroupPreferences, "MixtureLineStyle", this, models.mixtureStyle.lineStyle),
      mixtureLineWidth(kGroupPreferences, "MixtureLineWidth", this, models.mixtureStyle.lineWidth),
      mixtureMarkerStyle(kGroupPreferences, "MixtureMarkerStyle", this,
                         models.mixtureStyle.markerStyle),
      mixtureMarkerSize(kGroupPreferences, "MixtureMarkerSize", this,
                        models.mixtureStyle.markerSize),
      mixtureUseShadow(kGroupPreferences, "MixtureUseShadow", this, models.mixtureStyle.useShadow),
      observedLineStyle(kGroupPreferences, "ObservedLineStyle", this,
                        models.observedPattern.Style().lineStyle),
      observedLineWidth(kGroupPreferences, "ObservedLineWidth", this,
                        models.observedPattern.Style().lineWidth),
      observedMarkerStyle(kGroupPreferences, "ObservedMarkerStyle", this,
                          models.observedPattern.Style().markerStyle),
      observedMarkerSize(kGroupPreferences, "ObservedMarkerSize", this,
                         models.observedPattern.Style().markerSize),
      observedUseShadow(kGroupPreferences, "ObservedUseShadow", this,
                        models.observedPattern.Style().useShadow),
      overlayColor(kGroupPreferences, "OverlayColor", this,
                   Colour(models.crystalPattern.Overlay().colour)),
      overlayLineStyle(kGroupPreferences, "OverlayLineStyle", this,
                       models.crystalPattern.Overlay().lineStyle),
      overlayLineWidth(kGroupPreferences, "OverlayLineWidth", this,
                       models.crystalPattern.Overlay().lineWidth),
      backgroundColor(kGroupPreferences, "BackgroundColor", this,
                      Colour(models.observedPattern.BackgroundStyle().colour)),
      backgroundLineStyle(kGroupPreferences, "BackgroundLineStyle", this,
                          models.observedPattern.BackgroundStyle().lineStyle),
      backgroundLineWidth(kGroupPreferences, "BackgroundLineWidth", this,
                          models.observedPattern.BackgroundStyle().lineWidth),
      backgroundUseShadow(kGroupPreferences, "BackgroundUseShadow", this,
                          models.observedPattern.BackgroundStyle().useShadow),
      particleSize(kGroupPreferences, "ParticleSize", this, models.crystal.particleSize),
      isotropicStrain(kGroupPreferences, "IsotropicStrain", this, models.crystal.isotropicStrain),
      useThermalEllipsoids(kGroupPreferences, "UseThermalEllipsoids", this,
                           models.crystal.useDisplacementParameters),
      usePreferredOrientation(kGroupPreferences, "UsePreferredOrientation", this,
                              models.crystal.usePreferredOrientation),
      preferredOrientationGeometry(kGroupPreferences, "PreferredOrientationGeometry", this,
                                   models.crystal.preferredOrientationGeometry),
      preferredOrientationVector(kGroupPreferences, "PreferredOrientationVector", this,
                                 Vector(models.crystal.preferredOrientationVector)),
      preferredOrientationVectorType(kGroupPreferences, "PreferredOrientationVectorType", this,
                                     models.crystal.preferredOrientationVectorType),
      preferredOrientationAlignment(kGroupPreferences, "PreferredOrientationAlignment", this,
                                    models.crystal.preferredOrientationAlignment),
      showLabels(kGroupPreferences, "ShowLabels", this, models.crystalPattern.Labels().show),
      labelThreshold(kGroupPreferences, "LabelThreshold", this,
                     models.crystalPattern.Labels().threshold),
      labelHKL(kGroupPreferences, "LabelHKL", this, models.crystalPattern.Labels().hkl),
      labelDSpacing(kGroupPreferences, "LabelDSpacing", this,
                    models.crystalPattern.Labels().dSpacing),
      labelXUnits(kGroupPreferences, "LabelXUnits", this, models.crystalPattern.Labels().xUnits),
      labelRelIntensity(kGroupPreferences, "LabelRelIntensity", this,
                        models.crystalPattern.Labels().relativeIntensity),
      labelPhaseName(kGroupPreferences, "LabelPhaseName", this,
                     models.crystalPattern.Labels().phaseName),
      labelColor(kGroupPreferences, "LabelColor", this,
                 Colour(models.crystalPattern.Labels().colour)),
      labelAlignment(kGroupPreferences, "LabelAlignment", this,
                     models.crystalPattern.Labels().alignment),
      rotateLabels(kGroupPreferences, "RotateLabels", this, models.crystalPattern.Labels().rotate),
      showLabelArrowhead(kGroupPreferences, "ShowLabelArrowhead", this,
                         models.crystalPattern.Labels().arrowhead),
      showLabelOutline(kGroupPreferences, "ShowLabelOutline", this,
                       models.crystalPattern.Labels().outline),
      showLabelShadow(kGroupPreferences, "ShowLabelShadow", this,
                      models.crystalPattern.Labels().shadow),
      showLabelFrame(kGroupPreferences, "ShowLabelFrame", this,
                     models.crystalPattern.Labels().frame),
      hideOverlappingLabels(kGroupPreferences, "HideOverlappingLabels", this, true),
      cursorColor(kGroupPreferences, "CursorColor", this, Colour(0xFFCC0000)),
      cursorVisible(kGroupPreferences, "CursorVisible", this, true),
      loupeVisible(kGroupPreferences, "LoupeVisible", this, false),
      rulerOffset(kGroupPreferences, "RulerOffset", this, {}),
      rulerColor(kGroupPreferences, "RulerColor", this, Colour(0xFF0000CC)),
      rulerVisible(kGroupPreferences, "RulerVisible", this, false),
      rulerLocked(kGroupPreferences, "RulerLocked", this, false),
      rulerLength(kGroupPreferences, "RulerLength", this, 10.0),
      rulerNumDivisions(kGroupPreferences, "RulerNumDivisions", this, 10),
      legacyRules(kGroupPreferences, "LegacyRules", this, false, SetLegacyRulesDefault),
      reflexionMemoryBudget(kGroupPreferences, "ReflexionMemoryBudget", this, 0.0,
                            HandOnMemoryBudget) {
  AddFormerKey(showParameters, "ParametersWndVisible", kParametersKeyChange);
}
