// Where the plot area lies on the drawing surface and how data map to it. Rebuilt at the start
// of every drawing pass from a copy of the display fields, so no geometry outlives a change of
// size or of the plot specification.
#pragma once

#include <utility>

#include "patterns/plot_display.h"
#include "plot/canvas.h"

// The renderer's sizes in screen pixels; every use converts them to the output resolution.
namespace PlotMetrics {
inline constexpr int kOuterMargin = 6;      // left and bottom inset base
inline constexpr int kHitTolerance = 6;     // pointer distance of a hit
inline constexpr int kTopRightMargin = 30;  // top and right inset
inline constexpr int kTickGap = 2;          // between tick marks, labels and titles
// A size in screen pixels at the output resolution, in whole pixels as the layout needs them.
float Scaled(int screenPixels);
// A fractional size (pen widths, marker sizes) at the output resolution.
float ScaledSize(float screenPixels);
}  // namespace PlotMetrics

// Sizes at which a float is no longer a usable extent.
inline constexpr float kSmallestExtent = 1.1920929e-7f;

class CPlotGeometry {
 public:
  explicit CPlotGeometry(CPlotDisplay display) : m_display(std::move(display)) {}

  // Computes the plot area inside `surface` and both scales; false when no usable area is left
  // (nothing is drawn then).
  bool Layout(CCanvas& canvas, CRectF surface);

  const CPlotDisplay& Display() const { return m_display; }
  CPlotDisplay& Display() { return m_display; }
  const CRectF& Surface() const { return m_surface; }
  const CRectF& Area() const { return m_area; }
  double XScale() const { return m_xScale; }
  double YScale() const { return m_yScale; }

  // The label font, and the title font 1.4 times its size.
  CFont LabelFont() const;
  CFont TitleFont() const;

  // The pixel of a data point, and the data (x, y) of a pixel; y is 0 while the y scale is not
  // positive (nothing plotted).
  CPointF DataToPixel(double x, double y) const { return {XToPixel(x), YToPixel(y)}; }
  float XToPixel(double x) const {
    return static_cast<float>(m_area.left + (x - m_display.xMin) * m_xScale);
  }
  float YToPixel(double y) const {
    return static_cast<float>(
        m_area.Bottom() - (m_display.logarithmicY ? LogRise(y) : (y - m_display.yMin) * m_yScale));
  }
  std::pair<double, double> PixelToData(CPointF pixel) const;

 private:
  // Pixels above the baseline of intensity y on a logarithmic axis.
  double LogRise(double y) const;

  CPlotDisplay m_display;
  CRectF m_surface;
  CRectF m_area;
  double m_xScale = 0.0;
  double m_yScale = 0.0;
};
