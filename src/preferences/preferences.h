// The application's preferences: the framework's store with the application's keys, each a
// public value named after its key, in construction order. Factory defaults are taken from
// model objects built with their built-in defaults, so that a model object made from factory
// preferences and one made with built-in defaults are the same.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "app/vh_preferences.h"
#include "crystal/crystal.h"
#include "patterns/display_types.h"
#include "preferences/scattering_factor_preference.h"
#include "radiation/types.h"

template <>
inline constexpr const char* kPrefTypeName<VHTypes::TSSimulationType> = "TSSimulationType";
template <>
inline constexpr const char* kPrefTypeName<VHTypes::TSProfileType> = "TSProfileType";
template <>
inline constexpr const char* kPrefTypeName<VHTypes::TSAxisType> = "TSAxisType";
template <>
inline constexpr const char* kPrefTypeName<VHTypes::TSFilmType> = "TSFilmType";
template <>
inline constexpr const char* kPrefTypeName<VHTypes::TSLineStyle> = "TSLineStyle";
template <>
inline constexpr const char* kPrefTypeName<VHTypes::TSMarkerStyle> = "TSMarkerStyle";
template <>
inline constexpr const char* kPrefTypeName<VHTypes::TSLabelAlignment> = "TSLabelAlignment";
template <>
inline constexpr const char* kPrefTypeName<CTSCrystal::PreferredOrientationType> =
    "PreferredOrientationType";
template <>
inline constexpr const char* kPrefTypeName<CTSCrystal::TSVectorType> = "TSVectorType";

struct CBuiltInModels;

class CPreferences : public CVHPreferences {
 public:
  static constexpr uint32_t kVersion = 9;
  static constexpr uint32_t kBaseVersion = 9;

  // Tag of the constructor that leaves the storage alone: every value at its factory default.
  struct DefaultsOnly {};

  // Loads what the storage holds, then saves every group (mask 4093).
  explicit CPreferences(CPrefStorage& storage);
  CPreferences(CPrefStorage& storage, DefaultsOnly);

 private:
  CPreferences(CPrefStorage& storage, const CBuiltInModels& models);

 public:
  // --- Window and pane state (group 64) --------------------------------------------------------
  CPrefScalar<CPrefRect> mainFrameRect;
  CPrefScalar<bool> mainFrameMaximized;
  CPrefScalar<bool> showOverlay;
  CPrefScalar<bool> showPeakTips;
  CPrefScalar<double> relScaleXFactInc;
  CPrefScalar<double> relScaleYFactInc;
  CPrefScalar<int32_t> minWheelZDelta;
  CPrefScalar<int32_t> minHWheelZDelta;
  CPrefScalar<bool> showStructures;
  CPrefScalar<bool> showParameters;
  CPrefScalar<bool> showReflexions;
  CPrefScalar<bool> showPlotTitle;
  CPrefScalar<double> reflexionsRelHeight;
  CPrefScalar<bool> scatteringFactorsVisible;
  CPrefScalar<CPrefRect> scatteringFactorsWinRect;
  CPrefScalar<int32_t> structuresWinWidth;
  CPrefScalar<bool> paramOpenBackground;
  CPrefScalar<bool> paramOpenFilm;
  CPrefScalar<bool> paramOpenGraph;
  CPrefScalar<bool> paramOpenGraphOptions;
  CPrefScalar<bool> paramOpenInstrument;
  CPrefScalar<bool> paramOpenLabels;
  CPrefScalar<bool> paramOpenMixture;
  CPrefScalar<bool> paramOpenOccupancy;
  CPrefScalar<bool> paramOpenPattern;
  CPrefScalar<bool> paramOpenPeakOverlay;
  CPrefScalar<bool> paramOpenPreferredOrientation;
  CPrefScalar<bool> paramOpenSample;
  CPrefScalar<bool> paramOpenSmoothing;
  CPrefScalar<bool> paramOpenText;
  CPrefScalar<bool> paramOpenUnitCell;
  CPrefScalar<bool> paramTabChoice;

  // --- Saved often (group 16) ------------------------------------------------------------------
  CPrefScalar<std::filesystem::path> helperAppVisualisePath;
  CPrefScalar<bool> filmMode;
  CPrefScatteringFactors asf;

  // --- The preferences proper (group 8) ---------------------------------------------------------
  // Plot colours and behaviour.
  CPrefScalar<CPrefColour> winBackColor;
  CPrefScalar<CPrefColour> graphPaperColor;
  CPrefScalar<CPrefColour> frameColor;
  CPrefScalar<bool> peakTipClick;
  CPrefScalar<bool> showScroller;
  CPrefScalar<CPrefRect> prefsWinRect;
  CPrefScalar<int32_t> prefsTabChoice;
  CPrefScalar<bool> observedAutoSetYScale;
  // Radiation and instrument.
  CPrefScalar<VHTypes::TSSimulationType> simulationType;
  CPrefScalar<double> lambda;
  CPrefScalar<double> lambda2;
  CPrefScalar<double> lambdaRatio;
  CPrefScalar<bool> monochromatic;
  CPrefScalar<double> tthPeakWidth;
  CPrefScalar<double> tofTheta;
  CPrefScalar<double> tofDistance;
  CPrefScalar<double> tofResolution;
  CPrefScalar<double> edxTheta;
  CPrefScalar<double> edxPeakWidth;
  CPrefScalar<double> lambdaTEM;
  CPrefScalar<double> peakWidthTEM;
  CPrefScalar<bool> useSolidBackground;
  CPrefScalar<CPrefColour> solidBackgroundColour;
  CPrefScalar<VHTypes::TSProfileType> profileType;
  CPrefScalar<double> eta;
  CPrefScalar<double> dMin;
  CPrefScalar<bool> restrictMaxNumRefs;
  CPrefScalar<uint32_t> maxNumRefs;
  CPrefScalar<bool> autoColor;
  CPrefScalar<CPrefColour> fixedColor;
  CPrefScalar<VHTypes::TSAxisType> axisType;
  CPrefScalar<double> filmGamma;
  CPrefScalar<VHTypes::TSFilmType> filmType;
  // Plot text and grid.
  CPrefScalar<CPrefColour> fontColor;
  CPrefScalar<std::string> fontName;
  CPrefScalar<float> fontSize;
  CPrefScalar<uint32_t> fontStyle;
  CPrefScalar<float> titleSize;
  CPrefScalar<CPrefColour> gridColor;
  CPrefScalar<bool> logarithmicYAxis;
  CPrefScalar<bool> showGrid;
  CPrefScalar<bool> showLegend;
  // Curve styles of each kind of pattern.
  CPrefScalar<VHTypes::TSLineStyle> crystalLineStyle;
  CPrefScalar<double> crystalLineWidth;
  CPrefScalar<VHTypes::TSMarkerStyle> crystalMarkerStyle;
  CPrefScalar<double> crystalMarkerSize;
  CPrefScalar<bool> crystalUseShadow;
  CPrefScalar<VHTypes::TSLineStyle> mixtureLineStyle;
  CPrefScalar<double> mixtureLineWidth;
  CPrefScalar<VHTypes::TSMarkerStyle> mixtureMarkerStyle;
  CPrefScalar<double> mixtureMarkerSize;
  CPrefScalar<bool> mixtureUseShadow;
  CPrefScalar<VHTypes::TSLineStyle> observedLineStyle;
  CPrefScalar<double> observedLineWidth;
  CPrefScalar<VHTypes::TSMarkerStyle> observedMarkerStyle;
  CPrefScalar<double> observedMarkerSize;
  CPrefScalar<bool> observedUseShadow;
  // The reflexion overlay of crystal patterns and the background curve of observed ones.
  CPrefScalar<CPrefColour> overlayColor;
  CPrefScalar<VHTypes::TSLineStyle> overlayLineStyle;
  CPrefScalar<double> overlayLineWidth;
  CPrefScalar<CPrefColour> backgroundColor;
  CPrefScalar<VHTypes::TSLineStyle> backgroundLineStyle;
  CPrefScalar<double> backgroundLineWidth;
  CPrefScalar<bool> backgroundUseShadow;
  // The crystal's sample settings.
  CPrefScalar<double> particleSize;
  CPrefScalar<double> isotropicStrain;
  CPrefScalar<bool> useThermalEllipsoids;
  CPrefScalar<bool> usePreferredOrientation;
  CPrefScalar<CTSCrystal::PreferredOrientationType> preferredOrientationGeometry;
  CPrefScalar<CPrefVector> preferredOrientationVector;
  CPrefScalar<CTSCrystal::TSVectorType> preferredOrientationVectorType;
  CPrefScalar<double> preferredOrientationAlignment;
  // Reflexion labels.
  CPrefScalar<bool> showLabels;
  CPrefScalar<double> labelThreshold;
  CPrefScalar<bool> labelHKL;
  CPrefScalar<bool> labelDSpacing;
  CPrefScalar<bool> labelXUnits;
  CPrefScalar<bool> labelRelIntensity;
  CPrefScalar<bool> labelPhaseName;
  CPrefScalar<CPrefColour> labelColor;
  CPrefScalar<VHTypes::TSLabelAlignment> labelAlignment;
  CPrefScalar<bool> rotateLabels;
  CPrefScalar<bool> showLabelArrowhead;
  CPrefScalar<bool> showLabelOutline;
  CPrefScalar<bool> showLabelShadow;
  CPrefScalar<bool> showLabelFrame;
  CPrefScalar<bool> hideOverlappingLabels;
  // Plot tools.
  CPrefScalar<CPrefColour> cursorColor;
  CPrefScalar<bool> cursorVisible;
  CPrefScalar<bool> loupeVisible;
  CPrefScalar<CPrefPoint> rulerOffset;
  CPrefScalar<CPrefColour> rulerColor;
  CPrefScalar<bool> rulerVisible;
  CPrefScalar<bool> rulerLocked;
  CPrefScalar<double> rulerLength;
  CPrefScalar<int32_t> rulerNumDivisions;
  // Calculation limits the process follows: the earlier rules for equivalent positions and
  // anisotropic displacement, and the memory a reflexion list may take in bytes (0 for a
  // quarter of the machine's memory).
  CPrefForwarded<bool> legacyRules;
  CPrefForwarded<double> reflexionMemoryBudget;
};
