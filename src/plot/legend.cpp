#include "plot/legend.h"

#include <algorithm>
#include <string>

#include "errors/exception.h"
#include "patterns/pattern.h"
#include "plot/plotted_curves.h"

namespace {

using PlotMetrics::Scaled;

constexpr int kInset = 8;    // from the plot area's corner
constexpr int kPadding = 6;  // inside the box
constexpr int kSwatch = 28;  // length of the swatch line

// The rows the legend shows: every curve, or as many as fit with a last row saying how many
// more there are.
struct CLegendLayout {
  CRectF box;
  float rowHeight = 0.0f;
  size_t shown = 0;  // curves listed
  std::string more;  // the summing-up row, when curves are left out
};

CLegendLayout Layout(CCanvas& canvas, const CPlotGeometry& geometry,
                     const std::vector<CLegendEntry>& entries) {
  CLegendLayout layout;
  if (entries.empty()) return layout;
  const CFont font = geometry.LabelFont();
  const CRectF& area = geometry.Area();
  const float padding = Scaled(kPadding), inset = Scaled(kInset);
  layout.rowHeight = canvas.MeasureText("0.00", font).height;
  const float room = area.height - 2 * inset - 2 * padding;
  size_t rows =
      std::min(entries.size(), static_cast<size_t>(std::max(0.0f, room / layout.rowHeight)));
  if (rows == 0) return layout;
  layout.shown = rows;
  if (rows < entries.size()) {
    layout.shown = rows - 1;
    layout.more = Formatted("… %d more", static_cast<long long>(entries.size() - layout.shown));
  }
  float textWidth = canvas.MeasureText(layout.more, font).width;
  for (size_t row = 0; row < layout.shown; ++row)
    textWidth = std::max(textWidth, canvas.MeasureText(entries[row].name, font).width);
  const float width = 3 * padding + Scaled(kSwatch) + textWidth;
  const float height = 2 * padding + layout.rowHeight * static_cast<float>(rows);
  if (width > area.width - 2 * inset) return {};
  layout.box = {area.Right() - inset - width, area.top + inset, width, height};
  return layout;
}

}  // namespace

std::vector<CLegendEntry> LegendEntries(const std::vector<CTSPattern*>& patterns) {
  std::vector<CLegendEntry> entries;
  for (const CTSPattern* pattern : patterns)
    entries.push_back({pattern->DisplayName(), CurvePenOf(*pattern)});
  return entries;
}

CRectF LegendBox(CCanvas& canvas, const CPlotGeometry& geometry,
                 const std::vector<CLegendEntry>& entries) {
  return Layout(canvas, geometry, entries).box;
}

void DrawLegend(CCanvas& canvas, const CPlotGeometry& geometry,
                const std::vector<CLegendEntry>& entries) {
  const CLegendLayout layout = Layout(canvas, geometry, entries);
  if (layout.box.width <= 0.0f) return;
  const CFont font = geometry.LabelFont();
  const float padding = Scaled(kPadding), swatch = Scaled(kSwatch);
  const CColour text = geometry.Display().textColour;
  canvas.FillRect(layout.box, 0xE6FFFFFF);
  canvas.DrawRect(layout.box, CPen{0xFF909090, PlotMetrics::ScaledSize(0.75f)});
  const float left = layout.box.left + padding, textLeft = left + padding + swatch;
  const auto rowMiddle = [&](size_t row) {
    return layout.box.top + padding + layout.rowHeight * (static_cast<float>(row) + 0.5f);
  };
  for (size_t row = 0; row < layout.shown; ++row) {
    const CCurvePen& pen = entries[row].pen;
    const float middle = rowMiddle(row);
    if (pen.line != VHTypes::kLineNone)
      canvas.DrawLine({left, middle}, {left + swatch, middle},
                      CPen{pen.colour, PlotMetrics::ScaledSize(pen.width), DashOf(pen.line)});
    DrawMarker(canvas, {left + swatch / 2, middle}, pen.marker,
               PlotMetrics::ScaledSize(pen.markerSize), pen.colour);
    canvas.DrawText(entries[row].name, {textLeft, middle}, CTextAnchor::kLeftMiddle, font, text);
  }
  if (!layout.more.empty())
    canvas.DrawText(layout.more, {textLeft, rowMiddle(layout.shown)}, CTextAnchor::kLeftMiddle,
                    font, text);
}
