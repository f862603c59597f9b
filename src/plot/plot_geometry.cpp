#include "plot/plot_geometry.h"

#include <algorithm>
#include <cmath>

#include "plot/output_scale.h"

float PlotMetrics::Scaled(int screenPixels) {
  return static_cast<float>(OutputScale().Pixels(screenPixels));
}

float PlotMetrics::ScaledSize(float screenPixels) {
  return screenPixels * static_cast<float>(OutputScale().Ratio());
}

CFont CPlotGeometry::LabelFont() const {
  // Style bits as the platform keeps them: 1 bold, 2 italic.
  return {m_display.fontName, m_display.fontSize, (m_display.fontStyle & 1) != 0,
          (m_display.fontStyle & 2) != 0};
}

CFont CPlotGeometry::TitleFont() const {
  CFont font = LabelFont();
  font.points *= 1.4f;
  return font;
}

bool CPlotGeometry::Layout(CCanvas& canvas, CRectF surface) {
  m_surface = surface;
  m_area = {};
  m_xScale = m_yScale = 0.0;
  if (!(surface.width > kSmallestExtent) || !(surface.height > kSmallestExtent)) return false;

  using namespace PlotMetrics;
  const CSizeF label = canvas.MeasureText("0.00", LabelFont());
  float topInset = Scaled(kTopRightMargin);
  if (m_display.showTitle && !m_display.title.empty())
    topInset = std::max(topInset, 1.5f * canvas.MeasureText(m_display.title, TitleFont()).height);
  const float left = Scaled(kOuterMargin) + 3 * Scaled(kTickGap) + label.width + label.height;
  const float bottom = Scaled(kOuterMargin) + 3 * Scaled(kTickGap) + 2 * label.height;
  m_area = {surface.left + left, surface.top + topInset,
            surface.width - left - Scaled(kTopRightMargin), surface.height - topInset - bottom};

  m_xScale = m_area.width / (m_display.xMax - m_display.xMin);
  const double wholeHeight = std::floor(m_area.height);
  if (wholeHeight <= 0.0)
    m_yScale = wholeHeight;
  else if (m_display.logarithmicY)
    m_yScale = wholeHeight / std::log10((m_display.yMax + 1.0) / (m_display.yMin + 1.0));
  else
    m_yScale = wholeHeight / (m_display.yMax - m_display.yMin);
  return m_area.width > kSmallestExtent && m_area.height > kSmallestExtent;
}

double CPlotGeometry::LogRise(double y) const {
  return std::log10(std::max(0.0, y - m_display.yMin) + 1.0) * m_yScale;
}

std::pair<double, double> CPlotGeometry::PixelToData(CPointF pixel) const {
  const double x = (pixel.x - m_area.left) / m_xScale + m_display.xMin;
  if (!(m_yScale > 0.0)) return {x, 0.0};
  const double rise = m_area.Bottom() - pixel.y;
  const double y = m_display.logarithmicY ? std::pow(10.0, rise / m_yScale) + m_display.yMin - 1.0
                                          : rise / m_yScale + m_display.yMin;
  return {x, y};
}
