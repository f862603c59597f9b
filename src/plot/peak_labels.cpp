#include "plot/peak_labels.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "diffraction/reflexion.h"
#include "patterns/plot_spec.h"
#include "plot/curves.h"
#include "plot/plotted_curves.h"
#include "plot/value_formats.h"

namespace {

using PlotMetrics::Scaled;

// Pixels between the peak and its label, where the leader line runs.
constexpr int kLeader = 10;

// Whether two boxes come closer than `gap` to each other.
bool Overlaps(const CRectF& a, const CRectF& b, float gap = 0.0f) {
  return a.left < b.Right() + gap && b.left < a.Right() + gap && a.top < b.Bottom() + gap &&
         b.top < a.Bottom() + gap;
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

// The highest pixel row any plotted curve reaches in each pixel column of the plot area, so that
// labels can keep clear of the curves.
class CSkyline {
 public:
  CSkyline(const CPlotGeometry& geometry, const std::vector<CTSPattern*>& plotted,
           const CPlotSpec& plotSpec)
      : m_left(geometry.Area().left),
        m_rows(static_cast<size_t>(std::max(0.0f, std::ceil(geometry.Area().width))) + 1,
               geometry.Area().Bottom()) {
    for (CTSPattern* pattern : plotted)
      for (const CPointF& pixel :
           ReducedPixels(geometry, CurvePoints(*pattern, plotSpec), PlacementOf(*pattern))) {
        const float column = std::floor(pixel.x - m_left);
        if (column >= 0.0f && column < static_cast<float>(m_rows.size()))
          m_rows[static_cast<size_t>(column)] =
              std::min(m_rows[static_cast<size_t>(column)], pixel.y);
      }
  }

  // The highest row between the pixel columns at x `from` and `to`.
  float HighestWithin(float from, float to) const {
    float highest = std::numeric_limits<float>::infinity();
    const auto first = static_cast<long>(std::max(0.0f, std::floor(from - m_left)));
    const auto last =
        std::min(static_cast<long>(m_rows.size()) - 1, static_cast<long>(std::floor(to - m_left)));
    for (long column = first; column <= last; ++column)
      highest = std::min(highest, m_rows[static_cast<size_t>(column)]);
    return highest;
  }

 private:
  float m_left;
  std::vector<float> m_rows;
};

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
  // Labels keep a little space between them so that neighbours never read as one.
  const float gap = Scaled(PlotMetrics::kTickGap) * 2;
  const std::vector<CCandidate> candidates = Candidates(geometry, plotted, perPattern);
  if (candidates.empty()) return {};
  const CSkyline skyline(geometry, plotted, plotSpec);
  std::vector<CPeakLabel> placed;
  for (const CCandidate& candidate : candidates) {
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
    float left = px - size.width / 2;
    if (pattern.Labels().alignment == VHTypes::kLabelLeft) left = px - size.width;
    if (pattern.Labels().alignment == VHTypes::kLabelRight) left = px;
    // Flat or turned upright, standing on the leader above the peak or, where a neighbouring
    // curve rises into that place, above the curves.
    const auto flat = [&](float bottom) {
      return CRectF{left, bottom - size.height, size.width, size.height};
    };
    const auto upright = [&](float bottom) {
      return CRectF{px - size.height / 2, bottom - size.width, size.height, size.width};
    };
    const auto raised = [&](const CRectF& box) {
      const float bottom =
          std::min(box.Bottom(), skyline.HighestWithin(box.left, box.Right()) - leader / 2);
      return CRectF{box.left, bottom - box.height, box.width, box.height};
    };
    const auto fits = [&](const CRectF& box) {
      return Inside(box, area) && box.Bottom() <= skyline.HighestWithin(box.left, box.Right()) &&
             std::ranges::none_of(
                 placed, [&](const CPeakLabel& other) { return Overlaps(box, other.box, gap); }) &&
             std::ranges::none_of(
                 obstacles, [&box](const CRectF& obstacle) { return Overlaps(box, obstacle); });
    };
    const bool rotate = pattern.Labels().rotate;
    const float natural = peakTop - leader;
    for (const auto& [box, turned] : {std::pair{flat(natural), false},
                                      {upright(natural), true},
                                      {raised(flat(natural)), false},
                                      {raised(upright(natural)), true}}) {
      if ((turned && !rotate) || !fits(box)) continue;
      label.box = box;
      label.turned = turned;
      placed.push_back(std::move(label));
      break;
    }
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
