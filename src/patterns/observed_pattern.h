// The observed pattern: measured (x, intensity) points from a data file. It can smooth them,
// subtract a background curve drawn through control points, rescale their x values, and
// resample whichever points it shows onto the calculation grid so that they can be compared
// point by point with simulated patterns.
#pragma once

#include <vector>

#include "patterns/background.h"
#include "patterns/pattern.h"

// How a secondary curve and its points are drawn.
struct CMarkedCurveStyle {
  uint32_t colour = 0xFF444444;
  VHTypes::TSLineStyle lineStyle = VHTypes::kLineSolid;
  float lineWidth = 0.5f;
  VHTypes::TSMarkerStyle markerStyle = VHTypes::kMarkerNone;
  float markerSize = 2.0f;
  friend bool operator==(const CMarkedCurveStyle&, const CMarkedCurveStyle&) = default;
};

struct CBackgroundStyle {
  uint32_t colour = 0xFFCC0000;
  VHTypes::TSLineStyle lineStyle = VHTypes::kLineSolid;
  float lineWidth = 2.0f;
  bool useShadow = true;
  CMarkedCurveStyle controlPoints{0xFF7F7F7F};
  friend bool operator==(const CBackgroundStyle&, const CBackgroundStyle&) = default;
};

struct CSmoothingOptions {
  bool smooth = false;
  // Draw the smoothed curve over the data rather than in their place.
  bool overlay = false;
  // Half width of the averaging window, in points.
  int32_t radius = 3;
  friend bool operator==(const CSmoothingOptions&, const CSmoothingOptions&) = default;
};

class CTSObservedPattern : public CTSPattern {
 public:
  // Title "New Data", no data.
  explicit CTSObservedPattern(BuiltInDefaults);
  // Title "New Data", no data; labels, the observed curve style, the background curve's style and
  // the automatic y scale from the preferences.
  explicit CTSObservedPattern(const CPreferences& preferences);
  CTSObservedPattern(const CTSObservedPattern&) = default;
  // The rest of a transfer image after the kind code.
  explicit CTSObservedPattern(CTransferReader& reader);

  // --- Pattern operations ----------------------------------------------------------------------
  std::shared_ptr<CTSPattern> Clone() const override;
  // Empties the auxiliary points; the data stay.
  void ClearProfile() override { m_auxiliary.clear(); }
  const char* ListIcon() const override { return "observed"; }
  bool HasReflexionsOrData() const override { return !RawPoints().empty(); }
  // With `raw`, the data. Otherwise what is shown: the background-subtracted points when a
  // background is in use and they exist; else the data when not smoothing or when the smoothed
  // curve is an overlay; else the smoothed points when they exist; else the data.
  CProfile& ProfilePoints(bool raw) override;
  const CProfile& ProfilePoints(bool raw) const override;
  // The auxiliary points: the shown points with the x offset, resampled onto the plot's grid
  // under the status "Generating auxiliary points for %s..."; computed when empty. Fewer than two
  // shown points give none.
  const CProfile& GetProfile(const CPlotSpec& plotSpec) override;
  // Nothing: GetProfile resamples.
  void ComputeProfile(const CPlotSpec&) override {}
  size_t WriteTransferImage(CTransferWriter& cursor) const override;
  // The base name, then " + smoothing" while the smoothed points replace the data, then
  // " - background" while a background is subtracted and not previewed.
  std::string DisplayName() const override;
  // The smallest data x, but not above 999.9 (999.9 without data); the largest, not below 0.
  double NaturalXMin(VHTypes::TSAxisType axis) const override;
  double NaturalXMax(VHTypes::TSAxisType axis) const override;
  Kind GetKind() const override { return kObserved; }

  // --- Data ------------------------------------------------------------------------------------
  const CProfile& RawPoints() const { return CTSPattern::ProfilePoints(true); }
  // Replaces the data and empties every sequence derived from them. `errors` holds one error per
  // point (the third column of .xye files) or none; they are kept with the data for later use.
  void SetData(CProfile points, std::vector<double> errors = {});
  const std::vector<double>& Errors() const { return m_errors; }
  // Multiplies every data x by `factor` and empties the derived sequences, so that they are
  // derived again from the scaled data. Control points keep their place.
  void ScaleXValues(double factor);

  bool AutoYScale() const { return m_autoYScale; }
  void SetAutoYScale(bool autoScale) { m_autoYScale = autoScale; }

  // --- Smoothing -------------------------------------------------------------------------------
  // Change the options, then call Smooth.
  CSmoothingOptions& Smoothing() { return m_smoothing; }
  const CSmoothingOptions& Smoothing() const { return m_smoothing; }
  // Recomputes the smoothed points with the triangular average of the options' radius (none
  // when the radius does not fit the data), subtracting the background from them when it is in
  // use and the smoothed curve is an overlay; then updates the background from them.
  void Smooth();
  const CProfile& SmoothedPoints() const { return m_smoothed; }
  CMarkedCurveStyle& SmoothedStyle() { return m_smoothedStyle; }
  const CMarkedCurveStyle& SmoothedStyle() const { return m_smoothedStyle; }

  // --- Background ------------------------------------------------------------------------------
  bool BackgroundInUse() const { return m_backgroundInUse; }
  void SetBackgroundInUse(bool inUse);
  // While set, the display name does not say that a background is subtracted.
  bool BackgroundPreview() const { return m_backgroundPreview; }
  void SetBackgroundPreview(bool preview) { m_backgroundPreview = preview; }
  const CControlPoints& ControlPoints() const { return m_controlPoints; }
  // Replaces the control points and updates the background; fewer than two clear it.
  void SetControlPoints(CControlPoints points);
  const CBackgroundCurve& BackgroundCurve() const { return m_background; }
  const CProfile& SubtractedPoints() const { return m_subtracted; }
  double BackgroundAt(double x) const { return m_background.At(x); }
  // Samples the curve of the control points again and subtracts it from the data (the smoothed
  // points when they replace the data); nothing without control points.
  void UpdateBackground();
  // Two control points at the first and the last data x, both at the smallest intensity, with
  // horizontal handles of the handle fraction times the data's x span: a flat background.
  // Needs two data points.
  void ResetBackground();
  // Spreads the control points evenly over their span again with one more point at its end,
  // at the height of the old last one. Needs two control points and a sampled curve.
  void AddControlPoint();
  // Removes the first control point with a selected anchor or handle, else the last one.
  void RemoveControlPoint();
  // Selection of the control points' anchors and handles, as the plot's pointer sets it; it
  // does not change the background.
  void ClearHandleSelection();
  void SelectHandle(size_t point, CHandleRole role);
  // Length of new handles as a fraction of the x span.
  double HandleFraction() const { return m_handleFraction; }
  void SetHandleFraction(double fraction) { m_handleFraction = fraction; }
  CBackgroundStyle& BackgroundStyle() { return m_backgroundStyle; }
  const CBackgroundStyle& BackgroundStyle() const { return m_backgroundStyle; }

  const CProfile& AuxiliaryPoints() const { return m_auxiliary; }

 private:
  // Calls visit(field) for every field of the transfer image after the base part, in order.
  template <class Self, class Visit>
  static void VisitImageFields(Self& self, Visit&& visit);
  // The background from the control points as they are: sampled and subtracted with two or
  // more, cleared with fewer.
  void ApplyControlPoints();

  bool m_autoYScale = true;
  CSmoothingOptions m_smoothing;
  CMarkedCurveStyle m_smoothedStyle;
  bool m_backgroundInUse = false;
  bool m_backgroundPreview = true;
  CControlPoints m_controlPoints;
  CBackgroundCurve m_background;
  CBackgroundStyle m_backgroundStyle;
  CProfile m_smoothed;
  CProfile m_subtracted;
  CProfile m_auxiliary;
  double m_handleFraction = 0.1;
  std::vector<double> m_errors;
};
