#include "plot/curves.h"

#include <algorithm>
#include <cmath>
#include <limits>

using PlotMetrics::ScaledSize;

std::vector<CPointF> ReduceToColumns(std::span<const CPointF> points) {
  std::vector<CPointF> reduced;
  reduced.reserve(std::min<size_t>(points.size(), 4096));
  size_t begin = 0;
  while (begin < points.size()) {
    const float column = std::floor(points[begin].x);
    size_t end = begin + 1, lowest = begin, highest = begin;
    for (; end < points.size() && std::floor(points[end].x) == column; ++end) {
      if (points[end].y < points[lowest].y) lowest = end;
      if (points[end].y > points[highest].y) highest = end;
    }
    // First, the extremes in their own order, last; each once.
    size_t keep[] = {begin, std::min(lowest, highest), std::max(lowest, highest), end - 1};
    size_t previous = points.size();
    for (const size_t index : keep) {
      if (index == previous) continue;
      reduced.push_back(points[index]);
      previous = index;
    }
    begin = end;
  }
  return reduced;
}

std::vector<CPointF> VisiblePixels(const CPlotGeometry& geometry, const CProfile& points,
                                   const CPlacement& placement) {
  const double xMin = geometry.Display().xMin - placement.xOffset;
  const double xMax = geometry.Display().xMax - placement.xOffset;
  auto first = std::lower_bound(points.begin(), points.end(), xMin,
                                [](const CProfilePoint& point, double x) { return point.x < x; });
  auto last = std::upper_bound(first, points.end(), xMax,
                               [](double x, const CProfilePoint& point) { return x < point.x; });
  if (first != points.begin()) --first;
  if (last != points.end()) ++last;
  std::vector<CPointF> pixels;
  pixels.reserve(static_cast<size_t>(last - first));
  for (auto point = first; point != last; ++point)
    pixels.push_back(geometry.DataToPixel(point->x + placement.xOffset,
                                          point->y * placement.yFactor + placement.yOffset));
  return pixels;
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

void DrawCurve(CCanvas& canvas, std::span<const CPointF> pixels, const CCurvePen& pen) {
  if (pixels.empty()) return;
  if (pen.line != VHTypes::kLineNone) {
    const std::vector<CPointF> reduced = ReduceToColumns(pixels);
    canvas.DrawPolyline(reduced, CPen{pen.colour, ScaledSize(pen.width), DashOf(pen.line)});
  }
  if (pen.marker == VHTypes::kMarkerNone) return;
  const float size = ScaledSize(pen.markerSize);
  float lastX = -std::numeric_limits<float>::infinity();
  for (const CPointF& pixel : pixels) {
    if (pixel.x - lastX < size) continue;
    DrawMarker(canvas, pixel, pen.marker, size, pen.colour);
    lastX = pixel.x;
  }
}
