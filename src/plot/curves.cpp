#include "plot/curves.h"

#include <algorithm>
#include <cmath>
#include <utility>

using PlotMetrics::ScaledSize;

namespace {

// The part of `points` whose placed x lies in the visible range, with one more on each side.
std::span<const CProfilePoint> VisibleSpan(const CPlotGeometry& geometry, const CProfile& points,
                                           const CPlacement& placement) {
  const double xMin = geometry.Display().xMin - placement.xOffset;
  const double xMax = geometry.Display().xMax - placement.xOffset;
  auto first = std::lower_bound(points.begin(), points.end(), xMin,
                                [](const CProfilePoint& point, double x) { return point.x < x; });
  auto last = std::upper_bound(first, points.end(), xMax,
                               [](double x, const CProfilePoint& point) { return x < point.x; });
  if (first != points.begin()) --first;
  if (last != points.end()) ++last;
  return {first, last};
}

// The first point at or after `from` whose x is not below x. A column's points lie close
// together, so the search gallops out from `from` before it bisects, staying in cached memory.
std::span<const CProfilePoint>::iterator GallopTo(std::span<const CProfilePoint>::iterator from,
                                                  std::span<const CProfilePoint>::iterator end,
                                                  double x) {
  const auto below = [](const CProfilePoint& point, double value) { return point.x < value; };
  ptrdiff_t reach = 1;
  while (reach < end - from && from[reach - 1].x < x) reach *= 2;
  return std::lower_bound(from + reach / 2, from + std::min(reach, end - from), x, below);
}

}  // namespace

std::vector<CPointF> VisiblePixels(const CPlotGeometry& geometry, const CProfile& points,
                                   const CPlacement& placement) {
  const std::span<const CProfilePoint> visible = VisibleSpan(geometry, points, placement);
  std::vector<CPointF> pixels;
  pixels.reserve(visible.size());
  for (const CProfilePoint& point : visible)
    pixels.push_back(geometry.DataToPixel(point.x + placement.xOffset,
                                          point.y * placement.yFactor + placement.yOffset));
  return pixels;
}

std::vector<CPointF> ReducedPixels(const CPlotGeometry& geometry, const CProfile& points,
                                   const CPlacement& placement) {
  const std::span<const CProfilePoint> visible = VisibleSpan(geometry, points, placement);
  const auto pixel = [&](const CProfilePoint& point) {
    return geometry.DataToPixel(point.x + placement.xOffset,
                                point.y * placement.yFactor + placement.yOffset);
  };
  // The data x at which pixel column `column` begins, in the curve's own x.
  const double left = geometry.Area().left, xMin = geometry.Display().xMin;
  const auto columnStart = [&](double column) {
    return (column - left) / geometry.XScale() + xMin - placement.xOffset;
  };
  std::vector<CPointF> reduced;
  reduced.reserve(
      std::min<size_t>(visible.size(), 4 * static_cast<size_t>(geometry.Area().width + 4)));
  for (auto first = visible.begin(); first != visible.end();) {
    const double column = std::floor(pixel(*first).x);
    auto end = GallopTo(first + 1, visible.end(), columnStart(column + 1));
    // The mapping of intensities to pixel rows is monotonic on either axis, so the extremes of
    // the data are the extremes on screen.
    auto lowest = first, highest = first;
    double lowestY = first->y, highestY = first->y;
    // Written as selections rather than branches: over the rising and falling sides of peaks a
    // branch is guessed wrong too often, and this loop sees every point of every curve.
    for (auto point = first + 1; point != end; ++point) {
      const double y = point->y;
      const bool lower = y<lowestY, higher = y> highestY;
      lowest = lower ? point : lowest;
      lowestY = lower ? y : lowestY;
      highest = higher ? point : highest;
      highestY = higher ? y : highestY;
    }
    const auto early = std::min(lowest, highest), late = std::max(lowest, highest);
    auto previous = visible.end();
    for (const auto point : {first, early, late, end - 1}) {
      if (point == previous) continue;
      reduced.push_back(pixel(*point));
      previous = point;
    }
    first = end;
  }
  return reduced;
}

CDash DashOf(VHTypes::TSLineStyle style) {
  switch (style) {
    case VHTypes::kLineDashed:
      return CDash::kDashed;
    case VHTypes::kLineDotted:
      return CDash::kDotted;
    case VHTypes::kLineDashDotted:
      return CDash::kDashDotted;
    default:
      return CDash::kSolid;
  }
}

void DrawMarker(CCanvas& canvas, CPointF at, VHTypes::TSMarkerStyle style, float size,
                CColour colour) {
  const float r = size / 2;
  const CPen pen{colour, std::max(1.0f, size / 6)};
  switch (style) {
    case VHTypes::kMarkerNone:
      break;
    case VHTypes::kMarkerCircle:
      canvas.DrawEllipse({at.x - r, at.y - r, size, size}, 0, pen);
      break;
    case VHTypes::kMarkerSquare:
      canvas.DrawRect({at.x - r, at.y - r, size, size}, pen);
      break;
    case VHTypes::kMarkerDiamond: {
      const CPointF corners[] = {
          {at.x, at.y - r}, {at.x + r, at.y}, {at.x, at.y + r}, {at.x - r, at.y}};
      canvas.DrawPolygon(corners, 0, pen);
      break;
    }
    case VHTypes::kMarkerTriangle: {
      const CPointF corners[] = {{at.x, at.y - r}, {at.x + r, at.y + r}, {at.x - r, at.y + r}};
      canvas.DrawPolygon(corners, 0, pen);
      break;
    }
    case VHTypes::kMarkerCross:
      canvas.DrawLine({at.x - r, at.y - r}, {at.x + r, at.y + r}, pen);
      canvas.DrawLine({at.x - r, at.y + r}, {at.x + r, at.y - r}, pen);
      break;
    case VHTypes::kMarkerPlus:
      canvas.DrawLine({at.x - r, at.y}, {at.x + r, at.y}, pen);
      canvas.DrawLine({at.x, at.y - r}, {at.x, at.y + r}, pen);
      break;
  }
}

void DrawCurve(CCanvas& canvas, const CPlotGeometry& geometry, const CProfile& points,
               const CPlacement& placement, const CCurvePen& pen) {
  const std::vector<CPointF> reduced = ReducedPixels(geometry, points, placement);
  if (reduced.empty()) return;
  if (pen.line != VHTypes::kLineNone)
    canvas.DrawPolyline(reduced, CPen{pen.colour, ScaledSize(pen.width), DashOf(pen.line)});
  // Markers at the reduced points: every point of sparse data, and the extremes of each pixel
  // column of dense data, so that no peak loses its top.
  if (pen.marker == VHTypes::kMarkerNone) return;
  for (const CPointF& pixel : reduced)
    DrawMarker(canvas, pixel, pen.marker, ScaledSize(pen.markerSize), pen.colour);
}
