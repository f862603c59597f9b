#include "plot/axes.h"

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>

#include "errors/exception.h"

namespace {

using PlotMetrics::Scaled;
using PlotMetrics::ScaledSize;

// No axis ever carries more ticks than this, whatever the range: a guard against a range that
// the scale cannot resolve.
constexpr long kMostTicks = 100000;

constexpr CColour kAxisColour = 0xFF000000;
constexpr float kBaseWidth = 1.0f;  // screen pixels

// The range of the intensity axis as it is ticked: log10(y + 1) on a logarithmic axis.
struct CTickedRange {
  double min = 0.0, max = 0.0;
};

CTickedRange YTickedRange(const CPlotDisplay& display) {
  if (display.logarithmicY) return {std::log10(display.yMin + 1.0), std::log10(display.yMax + 1.0)};
  return {display.yMin, display.yMax};
}

// Whether a tick value lies within min..max, allowing for the rounding of k * step (0.5 is
// 10 * 0.05 only approximately).
bool WithinRange(double value, double min, double max, double step) {
  const double slack = step * 1e-9;
  return value >= min - slack && value <= max + slack;
}

// Calls visit(value) at k * step from the first multiple at or above min while below limit.
void ForEachMultiple(double step, double min, double limit,
                     const std::function<void(double)>& visit) {
  if (!(step > 0.0)) return;
  const double first = std::ceil(min / step - 1e-9);
  for (long k = 0; k < kMostTicks; ++k) {
    const double value = (first + static_cast<double>(k)) * step;
    if (!(value < limit)) break;
    visit(value);
  }
}

std::string XLabelFormat(double step) {
  const int e = static_cast<int>(std::floor(std::log10(step)));
  return e < 0 ? Formatted("%%.%df", -e) : "%.0f";
}

const char* YLabelFormat(double scaledStep) {
  if (scaledStep >= 1.0) return "%.0f";
  if (scaledStep >= 0.1) return "%.1f";
  return "%.2f";
}

// Lines across the plot area at the multiples of the minor, medium and major steps, each at the
// width of the coarsest step it belongs to.
void DrawGridlines(const CPlotGeometry& geometry, const CTickSteps& steps, double min, double max,
                   const std::function<void(double, const CPen&)>& line) {
  const float base = ScaledSize(kBaseWidth);
  const CColour colour = geometry.Display().gridColour;
  const struct {
    double step;
    float width;
  } levels[] = {{steps.minor, 0.25f * base}, {steps.medium, 0.5f * base}, {steps.major, base}};
  for (const auto& level : levels)
    ForEachMultiple(level.step, min, max, [&](double value) {
      line(value, CPen{colour, level.width});
    });
}

}  // namespace

CAxisTicks XAxisTicks(const CPlotGeometry& geometry, CCanvas& canvas) {
  const CPlotDisplay& display = geometry.Display();
  CAxisTicks ticks;
  ticks.steps = TickSteps(display.xMax - display.xMin, geometry.XScale());
  const float labelWidth = canvas.MeasureText("0.00", geometry.LabelFont()).width;
  if (ticks.steps.medium > 0.0 && ticks.steps.medium * geometry.XScale() > 2.0 * labelWidth)
    ticks.labelStep = ticks.steps.medium;
  else
    ticks.labelStep = ticks.steps.major;
  if (!(ticks.labelStep > 0.0)) return ticks;
  const std::string format = XLabelFormat(ticks.labelStep);
  ForEachMultiple(ticks.labelStep, display.xMin, display.xMax * 1.01, [&](double value) {
    if (WithinRange(value, display.xMin, display.xMax, ticks.labelStep))
      ticks.labels.push_back({value, Formatted(format, value), geometry.XToPixel(value)});
  });
  return ticks;
}

CAxisTicks YAxisTicks(const CPlotGeometry& geometry, CCanvas& canvas) {
  const CTickedRange range = YTickedRange(geometry.Display());
  const double scale = geometry.YScale();
  CAxisTicks ticks;
  ticks.steps = TickSteps(range.max - range.min, scale);
  const float labelHeight = canvas.MeasureText("0.00", geometry.LabelFont()).height;
  if (ticks.steps.medium >= 0.1 && ticks.steps.medium * scale > 1.5 * labelHeight)
    ticks.labelStep = ticks.steps.medium;
  else
    ticks.labelStep = ticks.steps.major;
  if (!(ticks.labelStep > 0.0)) return ticks;

  // Labels of large or small intensities are written as multiples of a power of ten.
  if (range.max > 0.0) {
    const int e = static_cast<int>(std::floor(std::log10(range.max)));
    if (e < 0 || e >= 2) ticks.exponent = e;
  }
  const double divisor = std::pow(10.0, ticks.exponent);
  const char* format = YLabelFormat(ticks.labelStep / divisor);
  const float bottom = geometry.Area().Bottom();
  ForEachMultiple(ticks.labelStep, range.min, range.max * 1.01, [&](double value) {
    // Below the baseline lie the reflexion rows and the difference curve, not intensities.
    if (WithinRange(value, range.min, range.max, ticks.labelStep) &&
        value > -ticks.labelStep * 1e-9)
      ticks.labels.push_back({value, Formatted(format, value / divisor),
                              static_cast<float>(bottom - (value - range.min) * scale)});
  });
  return ticks;
}

std::string XAxisTitle(const CPlotDisplay& display) {
  if (display.xAxisUnit.empty()) return display.xAxisName;
  return Formatted("%s [%s]", display.xAxisName, display.xAxisUnit);
}

std::string YAxisTitle(const CPlotDisplay& display, int exponent) {
  if (display.logarithmicY) return Formatted("log(%s)", display.intensityName);
  if (exponent == 0) return display.intensityName;
  // The power as a figure prints it, raised: every font the plot uses has these characters.
  static constexpr const char* kRaised[] = {"⁰", "¹", "²", "³", "⁴", "⁵", "⁶", "⁷", "⁸", "⁹"};
  std::string power = -exponent < 0 ? "⁻" : "";
  for (const char digit : std::to_string(std::abs(exponent))) power += kRaised[digit - '0'];
  return display.intensityName + " × 10" + power;
}

void DrawFrame(CCanvas& canvas, const CPlotGeometry& geometry) {
  const CPlotDisplay& display = geometry.Display();
  const CRectF& area = geometry.Area();
  const CFont font = geometry.LabelFont();
  const float gap = Scaled(PlotMetrics::kTickGap);
  const float tick = 2 * gap;
  const float lineHeight = canvas.MeasureText("0.00", font).height;
  const CPen axisPen{kAxisColour, ScaledSize(kBaseWidth)};
  const bool grid = display.gridlines && !display.film;

  if (display.graphBackground) canvas.FillRect(area, display.graphBackgroundColour);

  const CAxisTicks x = XAxisTicks(geometry, canvas);
  if (grid)
    DrawGridlines(geometry, x.steps, display.xMin, display.xMax,
                  [&](double value, const CPen& pen) {
                    const float px = geometry.XToPixel(value);
                    canvas.DrawLine({px, area.top}, {px, area.Bottom()}, pen);
                  });
  for (const CAxisLabel& label : x.labels) {
    canvas.DrawLine({label.pixel, area.Bottom()}, {label.pixel, area.Bottom() + tick}, axisPen);
    canvas.DrawText(label.text, {label.pixel, area.Bottom() + tick + gap}, CTextAnchor::kTopCentre,
                    font, display.textColour);
  }
  canvas.DrawText(XAxisTitle(display),
                  {area.left + area.width / 2, area.Bottom() + tick + 2 * gap + lineHeight},
                  CTextAnchor::kTopCentre, font, display.textColour);

  if (!display.film) {
    const CAxisTicks y = YAxisTicks(geometry, canvas);
    const CTickedRange range = YTickedRange(display);
    if (grid)
      DrawGridlines(geometry, y.steps, range.min, range.max, [&](double value, const CPen& pen) {
        const float py =
            static_cast<float>(area.Bottom() - (value - range.min) * geometry.YScale());
        canvas.DrawLine({area.left, py}, {area.Right(), py}, pen);
      });
    for (const CAxisLabel& label : y.labels) {
      canvas.DrawLine({area.left - tick, label.pixel}, {area.left, label.pixel}, axisPen);
      canvas.DrawText(label.text, {area.left - tick - gap, label.pixel}, CTextAnchor::kRightMiddle,
                      font, display.textColour);
    }
    // Read from below, along the left edge of the surface.
    const float titleX =
        geometry.Surface().left + Scaled(PlotMetrics::kOuterMargin) + lineHeight / 2;
    canvas.DrawText(YAxisTitle(display, y.exponent), {titleX, area.top + area.height / 2},
                    CTextAnchor::kCentre, font, display.textColour, 90.0f);
  }

  canvas.DrawRect(area, axisPen);

  if (display.showTitle) {
    const CFont titleFont = geometry.TitleFont();
    const float middle = (geometry.Surface().top + area.top) / 2;
    canvas.DrawText(display.title.empty() ? "Untitled" : display.title,
                    {area.left + area.width / 2, middle}, CTextAnchor::kCentre, titleFont,
                    display.textColour);
  }
}
