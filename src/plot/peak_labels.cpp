#include "plot/peak_labels.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "diffraction/reflexion.h"
#include "patterns/plot_spec.h"
#include "plot/plotted_curves.h"
#include "plot/value_formats.h"

namespace {

using PlotMetrics::Scaled;

// Pixels between the peak and its label, where the leader line runs.
constexpr int kLeader = 10;

bool Overlaps(const CRectF& a, const CRectF& b) {
  return a.left < b.Right() && b.left < a.Right() && a.top < b.Bottom() && b.top < a.Bottom();
}

bool Inside(const CRectF& box, const CRectF& area) {
  return box.left >= area.left && box.Right() <= area.Right() && box.top >= area.top &&
         box.Bottom() <= area.Bottom();
}

// The highest pixel of the curve within two pixels of column px (the smallest y on screen).
float PeakTop(const CPlotGeometry& geometry, const CProfile& points, const CPlacement& placement,
              float px) {
  const double reach = 2.0 / geometry.XScale();
  const auto [x, unused] = geometry.PixelToData({px, 0.0f});
  const double from = x - reach - placement.xOffset, to = x + reach - placement.xOffset;
  auto point = std::lower_bound(points.begin(), points.end(), from,
                                [](const CProfilePoint& p, double value) { return p.x < value; });
  double highest = -std::numeric_limits<double>::infinity();
  for (; point != points.end() && point->x <= to; ++point) highest = std::max(highest, point->y);
  if (!std::isfinite(highest)) highest = InterpolateAt(points, x - placement.xOffset);
  return std::max(geometry.Area().top,
                  geometry.YToPixel(highest * placement.yFactor + placement.yOffset));
}

struct CCandidate {
  const CTSReflexion* reflexion;
  CTSPattern* pattern;
};

std::vector<CCandidate> Candidates(const CPlotGeometry& geometry,
                                   const std::vector<CTSPattern*>& plotted, int perPattern) {
  std::vector<CCandidate> candidates;
  for (CTSPattern* pattern : plotted) {
    if (pattern->GetKind() != CTSPattern::kCrystal) continue;
    CReflexionList reflexions;
    pattern->LabelsInRange(geometry.Display().xMin, geometry.Display().xMax, reflexions);
    std::ranges::stable_sort(
        reflexions, [](const auto& a, const auto& b) { return a->intensity > b->intensity; });
    if (perPattern > 0 && reflexions.size() > static_cast<size_t>(perPattern))
      reflexions.resize(perPattern);
    for (const auto& reflexion : reflexions) candidates.push_back({reflexion.get(), pattern});
  }
  // Strongest first across the patterns, by the height at which they are drawn.
  std::ranges::stable_sort(candidates, [](const CCandidate& a, const CCandidate& b) {
    return a.reflexion->intensity * PlacementOf(*a.pattern).yFactor >
           b.reflexion->intensity * PlacementOf(*b.pattern).yFactor;
  });
  return candidates;
}

}  // namespace

std::string PeakLabelText(const CTSPattern& pattern, const CTSReflexion& reflexion,
                          const CPlotSpec& plotSpec) {
  const CLabelOptions& options = pattern.Labels();
  std::vector<std::string> parts;
  if (options.hkl) parts.push_back(FormatMiller(reflexion.h, reflexion.k, reflexion.l));
  if (options.dSpacing) parts.push_back(FormatAngstrom(reflexion.d));
  if (options.phaseName) parts.push_back(pattern.Title());
  if (options.relativeIntensity) parts.push_back(FormatPercent(reflexion.relativeIntensity));
  if (options.xUnits)
    parts.push_back(FormatXValue(reflexion.position + pattern.XOffset(), plotSpec.XAxisUnit()));
  if (parts.empty()) return FormatMiller(reflexion.h, reflexion.k, reflexion.l);
  std::string text;
  for (std::string& part : parts) {
    // The fixed-width formats pad small values on the left.
    const size_t first = part.find_first_not_of(' ');
    text += (text.empty() ? "" : ", ") + part.substr(first == std::string::npos ? 0 : first);
  }
  return text;
}

std::vector<CPeakLabel> PlacePeakLabels(CCanvas& canvas, const CPlotGeometry& geometry,
                                        const std::vector<CTSPattern*>& plotted,
                                        const CPlotSpec& plotSpec, int perPattern,
                                        std::span<const CRectF> obstacles) {
  const CRectF& area = geometry.Area();
  const CFont font = geometry.LabelFont();
  const float leader = Scaled(kLeader);
  std::vector<CPeakLabel> placed;
  for (const CCandidate& candidate : Candidates(geometry, plotted, perPattern)) {
    const CTSPattern& pattern = *candidate.pattern;
    const CPlacement placement = PlacementOf(pattern);
    const float px = geometry.XToPixel(candidate.reflexion->position + placement.xOffset);
    const float peakTop =
        PeakTop(geometry, CurvePoints(*candidate.pattern, plotSpec), placement, px);
    CPeakLabel label{PeakLabelText(pattern, *candidate.reflexion, plotSpec),
                     {px, peakTop},
                     {},
                     false,
                     pattern.Labels().colour,
                     &pattern};
    const CSizeF size = canvas.MeasureText(label.text, font);
    const float bottom = peakTop - leader;
    float left = px - size.width / 2;
    if (pattern.Labels().alignment == VHTypes::kLabelLeft) left = px - size.width;
    if (pattern.Labels().alignment == VHTypes::kLabelRight) left = px;
    const CRectF flat{left, bottom - size.height, size.width, size.height};
    const CRectF upright{px - size.height / 2, bottom - size.width, size.height, size.width};
    const auto fits = [&](const CRectF& box) {
      return Inside(box, area) &&
             std::ranges::none_of(
                 placed, [&box](const CPeakLabel& other) { return Overlaps(box, other.box); }) &&
             std::ranges::none_of(
                 obstacles, [&box](const CRectF& obstacle) { return Overlaps(box, obstacle); });
    };
    if (fits(flat)) {
      label.box = flat;
    } else if (pattern.Labels().rotate && fits(upright)) {
      label.box = upright;
      label.turned = true;
    } else {
      continue;
    }
    placed.push_back(std::move(label));
  }
  return placed;
}

void DrawPeakLabels(CCanvas& canvas, const CPlotGeometry& geometry,
                    const std::vector<CPeakLabel>& labels) {
  const CFont font = geometry.LabelFont();
  const float gap = Scaled(PlotMetrics::kTickGap);
  for (const CPeakLabel& label : labels) {
    const CLabelOptions& options = label.pattern->Labels();
    const CPen pen{label.colour, PlotMetrics::ScaledSize(0.75f)};
    const CPointF leaderTop{label.peak.x, label.box.Bottom()};
    const CPointF leaderEnd{label.peak.x, label.peak.y - gap};
    if (leaderEnd.y > leaderTop.y) canvas.DrawLine(leaderTop, leaderEnd, pen);
    if (options.arrowhead) {
      const float r = 1.5f * gap;
      const CPointF head[] = {leaderEnd,
                              {leaderEnd.x - r, leaderEnd.y - 2 * r},
                              {leaderEnd.x + r, leaderEnd.y - 2 * r}};
      canvas.DrawPolygon(head, label.colour, std::nullopt);
    }
    // A light halo keeps the text readable over gridlines and curves.
    if (options.outline) canvas.FillRect(label.box, 0xC0FFFFFF);
    if (options.frame) canvas.DrawRect(label.box, pen);
    const CPointF centre{label.box.left + label.box.width / 2,
                         label.box.top + label.box.height / 2};
    canvas.DrawText(label.text, centre, CTextAnchor::kCentre, font, label.colour,
                    label.turned ? 90.0f : 0.0f);
  }
}
