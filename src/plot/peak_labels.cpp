#include "plot/peak_labels.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "diffraction/reflexion.h"
#include "patterns/crystal_pattern.h"
#include "patterns/plot_spec.h"
#include "plot/curves.h"
#include "plot/plotted_curves.h"
#include "plot/value_formats.h"

namespace {

using PlotMetrics::Scaled;

// Pixels between the peak and its label, where the leader line runs.
constexpr int kLeader = 10;
// How many of the next peaks a label keeps clear of when it can.
constexpr size_t kLookAhead = 8;

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

// Every reflexion that may be labelled; how many of them get a label depends on the room.
std::vector<CCandidate> Candidates(const CPlotGeometry& geometry,
                                   const std::vector<CTSPattern*>& plotted) {
  std::vector<CCandidate> candidates;
  const CPlotDisplay& display = geometry.Display();
  for (CTSPattern* pattern : plotted) {
    if (pattern->GetKind() != CTSPattern::kCrystal) continue;
    CReflexionList reflexions;
    // The plot's switch shows them without changing the pattern's own choice.
    if (pattern->Labels().show || display.peakLabels)
      static_cast<const CTSCrystalPattern*>(pattern)->LabelledReflexions(display.xMin, display.xMax,
                                                                         reflexions);
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
  const std::vector<CCandidate> candidates = Candidates(geometry, plotted);
  if (candidates.empty()) return {};
  const CSkyline skyline(geometry, plotted, plotSpec);
  std::vector<CPeakLabel> placed;
  std::vector<std::pair<const CTSPattern*, int>> counts;
  const auto crystals = std::ranges::count_if(plotted, [](const CTSPattern* pattern) {
    return pattern->GetKind() == CTSPattern::kCrystal;
  });
  std::ptrdiff_t finished = 0;
  const auto count = [&counts](const CTSPattern* pattern) -> int& {
    const auto found =
        std::ranges::find(counts, pattern, &std::pair<const CTSPattern*, int>::first);
    return found != counts.end() ? found->second : counts.emplace_back(pattern, 0).second;
  };
  std::vector<float> columns;
  for (const CCandidate& candidate : candidates)
    columns.push_back(
        geometry.XToPixel(candidate.reflexion->position + PlacementOf(*candidate.pattern).xOffset));
  for (size_t index = 0; index < candidates.size(); ++index) {
    const CCandidate& candidate = candidates[index];
    const CTSPattern& pattern = *candidate.pattern;
    if (perPattern > 0 && count(&pattern) >= perPattern) continue;
    const CPlacement placement = PlacementOf(pattern);
    const float px = columns[index];
    // Reflexions under one peak (equal d) share its label: the strongest speaks for them.
    if (std::ranges::any_of(placed, [&](const CPeakLabel& other) {
          return other.pattern == &pattern && std::abs(other.peak.x - px) < 1.0f;
        }))
      continue;
    const float peakTop =
        PeakTop(geometry, CurvePoints(*candidate.pattern, plotSpec), placement, px);
    CPeakLabel label{PeakLabelText(pattern, *candidate.reflexion, plotSpec),
                     {px, peakTop},
                     {},
                     false,
                     // Labels the plot's switch shows speak for their phase by its colour.
                     pattern.Labels().show ? pattern.Labels().colour : pattern.Style().colour,
                     &pattern};
    const CSizeF size = canvas.MeasureText(label.text, font);
    float left = px - size.width / 2;
    if (pattern.Labels().alignment == VHTypes::kLabelLeft) left = px - size.width;
    if (pattern.Labels().alignment == VHTypes::kLabelRight) left = px;
    // A label at the edge of the plot moves inward, its leader still on the peak.
    const auto inward = [&](float boxLeft, float width) {
      return std::clamp(boxLeft, area.left, std::max(area.left, area.Right() - width));
    };
    const auto flat = [&](float bottom, float boxLeft) {
      return CRectF{inward(boxLeft, size.width), bottom - size.height, size.width, size.height};
    };
    // Off centre, the leader near one end, where a neighbour's label or leader is in the way.
    const float reach = std::min(gap, size.width / 2);
    const float toRight = px - reach, toLeft = px + reach - size.width;
    const auto upright = [&](float bottom) {
      return CRectF{inward(px - size.height / 2, size.height), bottom - size.width, size.height,
                    size.width};
    };
    // Standing on the leader above the peak or, where a neighbouring curve rises into that
    // place, above the curves.
    const auto raised = [&](const CRectF& box) {
      const float bottom =
          std::min(box.Bottom(), skyline.HighestWithin(box.left, box.Right()) - leader / 2);
      return CRectF{box.left, bottom - box.height, box.width, box.height};
    };
    // Neither label may cover the other's leader, the line from its box down to its peak.
    const auto crosses = [](const CRectF& box, const CPeakLabel& label) {
      return label.peak.x > box.left && label.peak.x < box.Right() && box.top < label.peak.y &&
             box.Bottom() > label.box.Bottom();
    };
    const auto fits = [&](const CRectF& box) {
      const CPeakLabel self{{}, label.peak, box};
      return Inside(box, area) && box.Bottom() <= skyline.HighestWithin(box.left, box.Right()) &&
             std::ranges::none_of(placed,
                                  [&](const CPeakLabel& other) {
                                    return Overlaps(box, other.box, gap) || crosses(box, other) ||
                                           crosses(other.box, self);
                                  }) &&
             std::ranges::none_of(
                 obstacles, [&box](const CRectF& obstacle) { return Overlaps(box, obstacle); });
    };
    const bool rotate = pattern.Labels().rotate;
    const float natural = peakTop - leader;
    // Beside the top of a peak that leaves no room above it (it reaches the frame).
    const auto beside = [&](bool right) {
      const float top = std::max(area.top, peakTop);
      return CRectF{right ? px + gap : px - gap - size.width, top, size.width, size.height};
    };
    // Flat where it fits, centred or off centre, else upright (narrow, so crowded peaks keep
    // their labels), else raised over the curves, else beside the peak, else over the labels in
    // its way.
    std::vector<std::pair<CRectF, bool>> choices = {
        {flat(natural, left), false},           {flat(natural, toRight), false},
        {flat(natural, toLeft), false},         {upright(natural), true},
        {raised(flat(natural, left)), false},   {raised(flat(natural, toRight)), false},
        {raised(flat(natural, toLeft)), false}, {raised(upright(natural)), true}};
    if (natural - size.height < area.top)
      choices.insert(choices.end(), {{beside(true), false}, {beside(false), false}});
    const auto stacked = static_cast<std::ptrdiff_t>(choices.size());
    for (const CPeakLabel& other : placed)
      for (const bool turned : {false, true}) {
        const CRectF base = raised(turned ? upright(natural) : flat(natural, left));
        if (base.left >= other.box.Right() + gap || other.box.left >= base.Right() + gap) continue;
        const float bottom = std::min(base.Bottom(), other.box.top - gap);
        choices.push_back(
            {CRectF{base.left, bottom - base.height, base.width, base.height}, turned});
      }
    // Lowest first among the stacked choices, flat before upright at the same height.
    std::stable_sort(choices.begin() + stacked, choices.end(), [](const auto& a, const auto& b) {
      return a.first.Bottom() > b.first.Bottom();
    });
    // A flat label over a peak still to be labelled would leave that peak no room for its
    // leader: a flat place at the peak that keeps clear of the next peaks is taken first.
    const auto clearOfPeaks = [&](const CRectF& box) {
      const size_t last = std::min(candidates.size(), index + 1 + kLookAhead);
      for (size_t next = index + 1; next < last; ++next)
        if (std::abs(columns[next] - px) >= 1.0f && columns[next] > box.left &&
            columns[next] < box.Right())
          return false;
      return true;
    };
    const auto atThePeak = choices.begin() + 3;
    auto choice = std::find_if(choices.begin(), atThePeak, [&](const auto& c) {
      return clearOfPeaks(c.first) && fits(c.first);
    });
    if (choice == atThePeak)
      choice = std::ranges::find_if(
          choices, [&](const auto& c) { return (rotate || !c.second) && fits(c.first); });
    if (choice != choices.end()) {
      label.box = choice->first;
      label.turned = choice->second;
      // Big cells offer thousands of reflexions: stop once every pattern has its labels.
      if (++count(&pattern) == perPattern) ++finished;
      placed.push_back(std::move(label));
    }
    if (finished == crystals) break;
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
