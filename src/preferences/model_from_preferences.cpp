// The model objects' constructors from the preferences. They live here, above the models,
// because only this layer knows the preferences' keys.
#include <algorithm>
#include <cstdint>

#include "crystal/crystal.h"
#include "patterns/crystal_pattern.h"
#include "patterns/observed_pattern.h"
#include "patterns/plot_display.h"
#include "patterns/plot_spec.h"
#include "preferences/preferences.h"

namespace {

CCurveStyle CurveStyle(CCurveStyle style, const CPrefScalar<VHTypes::TSLineStyle>& lineStyle,
                       const CPrefScalar<double>& lineWidth,
                       const CPrefScalar<VHTypes::TSMarkerStyle>& markerStyle,
                       const CPrefScalar<double>& markerSize, const CPrefScalar<bool>& useShadow) {
  style.lineStyle = lineStyle.Get();
  style.lineWidth = static_cast<float>(lineWidth.Get());
  style.markerStyle = markerStyle.Get();
  style.markerSize = static_cast<float>(markerSize.Get());
  style.useShadow = useShadow.Get();
  return style;
}

CLabelOptions LabelOptions(const CPreferences& p) {
  CLabelOptions labels;
  labels.alignment = p.labelAlignment.Get();
  labels.colour = p.labelColor.Get().argb;
  labels.rotate = p.rotateLabels.Get();
  labels.arrowhead = p.showLabelArrowhead.Get();
  labels.frame = p.showLabelFrame.Get();
  labels.outline = p.showLabelOutline.Get();
  labels.shadow = p.showLabelShadow.Get();
  labels.show = p.showLabels.Get();
  labels.threshold = p.labelThreshold.Get();
  labels.dSpacing = p.labelDSpacing.Get();
  labels.hkl = p.labelHKL.Get();
  labels.phaseName = p.labelPhaseName.Get();
  labels.relativeIntensity = p.labelRelIntensity.Get();
  labels.xUnits = p.labelXUnits.Get();
  return labels;
}

}  // namespace

CPlotSpec CPlotSpec::FromPreferences(const CPreferences& p) {
  CPlotSpec plot = BuiltIn();
  plot.SetSimulationType(p.simulationType.Get());
  plot.SetProfileType(p.profileType.Get());
  plot.SetAxisType(p.axisType.Get());
  plot.SetDMin(p.dMin.Get());
  plot.SetRestrictMaxNumRefs(p.restrictMaxNumRefs.Get());
  plot.SetMaxNumRefs(static_cast<int32_t>(std::min<uint32_t>(p.maxNumRefs.Get(), INT32_MAX)));
  plot.SetTTHPeakWidth(p.tthPeakWidth.Get());
  plot.SetMonochromatic(p.monochromatic.Get());
  plot.SetLambda(p.lambda.Get());
  plot.SetLambda2(p.lambda2.Get());
  plot.SetLambdaRatio(p.lambdaRatio.Get());
  plot.SetEDXTheta(p.edxTheta.Get());
  plot.SetEDXPeakWidth(p.edxPeakWidth.Get());
  plot.SetTOFTheta(p.tofTheta.Get());
  plot.SetTOFDistance(p.tofDistance.Get());
  plot.SetTOFResolution(p.tofResolution.Get());
  plot.SetLambdaTEM(p.lambdaTEM.Get());
  plot.SetPeakWidthTEM(p.peakWidthTEM.Get());
  plot.SetEta(p.eta.Get());
  return plot;
}

CPlotDisplay CPlotDisplay::FromPreferences(const CPreferences& p) {
  CPlotDisplay display;
  display.fontName = p.fontName.Get();
  display.fontSize = p.fontSize.Get();
  display.fontStyle = p.fontStyle.Get();
  display.textColour = p.fontColor.Get().argb;
  display.gridColour = p.gridColor.Get().argb;
  display.graphBackgroundColour = p.solidBackgroundColour.Get().argb;
  display.graphBackground = p.useSolidBackground.Get();
  display.logarithmicY = p.logarithmicYAxis.Get();
  display.gridlines = p.showGrid.Get();
  display.legend = p.showLegend.Get();
  display.showTitle = p.showPlotTitle.Get();
  display.peakTips = p.showPeakTips.Get();
  display.film = p.filmMode.Get();
  display.filmType = p.filmType.Get();
  display.filmGamma = p.filmGamma.Get();
  display.showOverlay = p.showOverlay.Get();
  return display;
}

CTSCrystal CTSCrystal::FromPreferences(const CPreferences& p) {
  CTSCrystal crystal;
  crystal.particleSize = p.particleSize.Get();
  crystal.isotropicStrain = p.isotropicStrain.Get();
  crystal.useDisplacementParameters = p.useThermalEllipsoids.Get();
  crystal.usePreferredOrientation = p.usePreferredOrientation.Get();
  crystal.preferredOrientationGeometry = p.preferredOrientationGeometry.Get();
  const CPrefVector vector = p.preferredOrientationVector.Get();
  crystal.preferredOrientationVector = {vector.x, vector.y, vector.z};
  crystal.preferredOrientationVectorType = p.preferredOrientationVectorType.Get();
  crystal.preferredOrientationAlignment = p.preferredOrientationAlignment.Get();
  return crystal;
}

CTSPattern::CTSPattern(const CPreferences& p, std::string title)
    : CTSPattern(BuiltInDefaults{}, std::move(title)) {
  m_style = CurveStyle(m_style, p.crystalLineStyle, p.crystalLineWidth, p.crystalMarkerStyle,
                       p.crystalMarkerSize, p.crystalUseShadow);
  m_labels = LabelOptions(p);
}

CTSCrystalPattern::CTSCrystalPattern(const CPreferences& p)
    : CTSPattern(p, "New Crystal"), m_crystal(CTSCrystal::FromPreferences(p)) {
  m_overlay.show = p.showOverlay.Get();
  m_overlay.colour = p.overlayColor.Get().argb;
  m_overlay.lineStyle = p.overlayLineStyle.Get();
  m_overlay.lineWidth = static_cast<float>(p.overlayLineWidth.Get());
}

CTSObservedPattern::CTSObservedPattern(const CPreferences& p) : CTSPattern(p, "New Data") {
  Style() = CurveStyle(Style(), p.observedLineStyle, p.observedLineWidth, p.observedMarkerStyle,
                       p.observedMarkerSize, p.observedUseShadow);
  m_autoYScale = p.observedAutoSetYScale.Get();
  m_backgroundStyle.colour = p.backgroundColor.Get().argb;
  m_backgroundStyle.lineStyle = p.backgroundLineStyle.Get();
  m_backgroundStyle.lineWidth = static_cast<float>(p.backgroundLineWidth.Get());
  m_backgroundStyle.useShadow = p.backgroundUseShadow.Get();
}
