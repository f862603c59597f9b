// The graph as drawn on the recording canvas: curves where their data map, reduced per pixel
// column without losing a peak, labels that never overlap, the legend, reflexion rows, the
// difference curve and the intensity range that makes room for them.
#include "plot/plot_renderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "diffraction/reflexion.h"
#include "patterns/mixture_pattern.h"
#include "plot/curves.h"
#include "plot/legend.h"
#include "plot/peak_labels.h"
#include "plot/plot_fixtures.h"
#include "plot/plotted_curves.h"
#include "plot/reflexion_marks.h"

namespace {

using Kind = CRecordingCanvas::CKind;

CPlotSpec QuartzSpec() {
  CPlotSpec spec = CPlotSpec::BuiltIn();
  spec.SetXRange(5.0, 90.0);
  return spec;
}

// The polylines drawn in a colour.
std::vector<const CRecordingCanvas::COperation*> Polylines(const CRecordingCanvas& canvas,
                                                           CColour colour) {
  std::vector<const CRecordingCanvas::COperation*> found;
  for (const auto& operation : canvas.Operations())
    if (operation.kind == Kind::kPolyline && operation.colour == colour)
      found.push_back(&operation);
  return found;
}

bool Overlap(const CRectF& a, const CRectF& b) {
  return a.left < b.Right() && b.left < a.Right() && a.top < b.Bottom() && b.top < a.Bottom();
}

TEST(CurveReduction, KeepsEveryColumnsExtremesAndEnds) {
  // 72000 noisy points with one sharp peak: at most four per pixel column, nothing of the peak
  // or of the ends lost, and x never going back.
  CProfile points;
  for (int i = 0; i < 72000; ++i) {
    const double x = i * 180.0 / 72000;
    points.push_back(
        {x, 100.0 + 900.0 * std::exp(-std::pow(x - 61.7, 2) / 0.001) + std::sin(i * 1.0)});
  }
  CRecordingCanvas canvas;
  CPlotGeometry geometry(DisplayOver(0.0, 180.0, 1000.0));
  ASSERT_TRUE(geometry.Layout(canvas, kSurface));
  const CPlacement placement{0.5, 0.9, 20.0};
  const std::vector<CPointF> all = VisiblePixels(geometry, points, placement);
  const std::vector<CPointF> reduced = ReducedPixels(geometry, points, placement);
  EXPECT_LE(reduced.size(), 4 * static_cast<size_t>(geometry.Area().width + 2));
  EXPECT_EQ(reduced.front(), all.front());
  EXPECT_EQ(reduced.back(), all.back());
  EXPECT_EQ(std::ranges::min(reduced, {}, &CPointF::y), std::ranges::min(all, {}, &CPointF::y));
  EXPECT_EQ(std::ranges::max(reduced, {}, &CPointF::y), std::ranges::max(all, {}, &CPointF::y));
  EXPECT_TRUE(std::ranges::is_sorted(reduced, {}, &CPointF::x));
  // Points further apart than a pixel pass through untouched.
  const CProfile sparse = {{1.0, 5.0}, {10.0, 900.0}, {11.0, 0.0}, {170.0, 2.0}};
  EXPECT_EQ(ReducedPixels(geometry, sparse, {}), VisiblePixels(geometry, sparse, {}));
}

TEST(GraphDrawing, StrongestQuartzPeakInItsPixelColumn) {
  const CPlotSpec spec = QuartzSpec();
  auto quartz = PlottedCrystal("quartz.cif", spec);
  quartz->Style().colour = 0xFF1060C0;
  const CPatternList patterns = {quartz};
  CRecordingCanvas canvas;
  CPlotGeometry geometry(DisplayOver(5.0, 90.0));
  FitIntensityRange(canvas, geometry, kSurface, {patterns, spec});
  ASSERT_TRUE(DrawPlot(canvas, geometry, kSurface, {patterns, spec}));

  const auto curves = Polylines(canvas, 0xFF1060C0);
  ASSERT_EQ(curves.size(), 1u);
  const std::vector<CPointF>& curve = curves[0]->points;
  EXPECT_LE(curve.size(), 4 * static_cast<size_t>(geometry.Area().width) + 8);
  const CPointF top = std::ranges::min(curve, {}, &CPointF::y);
  // The (1 0 1) reflexion: d = 3.3434 Angstrom, 2 theta = 26.64 degrees at 1.5405 Angstrom.
  const double twoTheta = 2.0 * std::asin(1.5405 / (2.0 * 3.3434)) * 180.0 / std::acos(-1.0);
  EXPECT_NEAR(top.x, geometry.XToPixel(twoTheta), 1.5);
  // Scaled to fit with a little air above.
  EXPECT_GT(top.y, geometry.Area().top);
  EXPECT_LT(top.y, geometry.Area().top + 0.1f * geometry.Area().height);
}

TEST(NaturalRange, FollowsThePeaksOnEveryAxisAndDataOnTheirOwn) {
  // Quartz's peaks lie between d = 0.77 Å (λ/2) and 4.26 Å, a sliver of the computed 0..100 Å.
  for (const VHTypes::TSAxisType axis :
       {VHTypes::kAxisTwoTheta, VHTypes::kAxisDSpacing, VHTypes::kAxisQ, VHTypes::kAxisInverseD}) {
    CPlotSpec spec = CPlotSpec::BuiltIn();
    spec.SetAxisType(axis);
    auto quartz = PlottedCrystal("quartz.cif", spec);
    quartz->GetProfile(spec);
    double low = HUGE_VAL, high = -HUGE_VAL;
    for (const auto& reflexion : quartz->Crystal()->reflexions)
      if (reflexion->relativeIntensity > 0.01)
        low = std::min(low, reflexion->position), high = std::max(high, reflexion->position);
    CPlotDisplay display;
    FitXRange({quartz}, spec, display);
    EXPECT_LT(display.xMin, low) << axis;
    EXPECT_GT(display.xMax, high) << axis;
    EXPECT_GE(display.xMin, spec.XMin()) << axis;
    EXPECT_LE(display.xMax, spec.XMax()) << axis;
    // The peaks fill most of the width: no quarter of the plot is left empty on either side.
    EXPECT_GT((high - low) / (display.xMax - display.xMin), 0.75) << axis;

    // Data read in 2θ are followed while they are the data's axis; asked to follow the
    // calculated patterns (after a change of axis) the range ignores them.
    const CPatternList withData = {PlottedData({{10.0, 1.0}, {80.0, 1.0}}), quartz};
    FitXRange(withData, spec, display);
    EXPECT_EQ(display.xMin, 10.0);
    EXPECT_EQ(display.xMax, 80.0);
    CPlotDisplay calculated;
    FitXRange(withData, spec, calculated, TSXFit::kCalculated);
    FitXRange({quartz}, spec, display);
    EXPECT_EQ(calculated.xMin, display.xMin);
    EXPECT_EQ(calculated.xMax, display.xMax);
  }
  // Nothing calculated: the computed range.
  CPlotDisplay display;
  FitXRange({}, CPlotSpec::BuiltIn(), display);
  EXPECT_EQ(display.xMin, CPlotSpec::BuiltIn().XMin());
  EXPECT_EQ(display.xMax, CPlotSpec::BuiltIn().XMax());
}

TEST(GraphDrawing, PeakLabelsNeverOverlap) {
  const CPlotSpec spec = QuartzSpec();
  auto quartz = PlottedCrystal("quartz.cif", spec);
  quartz->Labels().show = true;
  quartz->Labels().hkl = true;
  quartz->Labels().dSpacing = true;
  quartz->Labels().threshold = 0.0;
  const CPatternList patterns = {quartz};
  CRecordingCanvas canvas;
  CPlotGeometry geometry(DisplayOver(5.0, 90.0));
  FitIntensityRange(canvas, geometry, kSurface, {patterns, spec});
  ASSERT_TRUE(geometry.Layout(canvas, kSurface));
  const std::vector<CTSPattern*> plotted = PlottedPatterns(patterns);
  const CRectF legend = LegendBox(canvas, geometry, LegendEntries(plotted));
  const std::vector<CPeakLabel> labels =
      PlacePeakLabels(canvas, geometry, plotted, spec, 0, {&legend, 1});
  ASSERT_GE(labels.size(), 5u);
  // The strongest, (1 0 1) or an equivalent, comes first.
  EXPECT_TRUE(labels.front().text.ends_with(", 3.343Å")) << labels.front().text;
  size_t turned = 0;
  for (size_t i = 0; i < labels.size(); ++i) {
    turned += labels[i].turned;
    EXPECT_FALSE(Overlap(labels[i].box, legend)) << labels[i].text;
    EXPECT_GE(labels[i].box.top, geometry.Area().top);
    EXPECT_LE(labels[i].box.Bottom(), labels[i].peak.y);  // above its peak
    for (size_t j = 0; j < i; ++j)
      EXPECT_FALSE(Overlap(labels[i].box, labels[j].box))
          << labels[i].text << " / " << labels[j].text;
  }
  EXPECT_GT(turned, 0u);  // crowded peaks are turned upright rather than dropped
  // At most the asked number per pattern.
  EXPECT_LE(PlacePeakLabels(canvas, geometry, plotted, spec, 3).size(), 3u);
}

TEST(GraphDrawing, AskedLabelsFindRoomEvenAtTheEdge) {
  const CPlotSpec spec = QuartzSpec();
  auto quartz = PlottedCrystal("quartz.cif", spec);
  quartz->Labels().show = quartz->Labels().hkl = true;
  quartz->Labels().threshold = 0.0;
  const CPatternList patterns = {quartz};
  const std::vector<CTSPattern*> plotted = PlottedPatterns(patterns);
  const auto place = [&](double xMin, double xMax, int count) {
    CRecordingCanvas canvas;
    CPlotGeometry geometry(DisplayOver(xMin, xMax));
    FitIntensityRange(canvas, geometry, kSurface, {patterns, spec, {.labelsPerPattern = count}});
    EXPECT_TRUE(geometry.Layout(canvas, kSurface));
    const CRectF legend = LegendBox(canvas, geometry, LegendEntries(plotted));
    std::vector<CPeakLabel> labels =
        PlacePeakLabels(canvas, geometry, plotted, spec, count, {&legend, 1});
    for (size_t i = 0; i < labels.size(); ++i) {
      const CPeakLabel& label = labels[i];
      EXPECT_GE(label.box.left, geometry.Area().left) << label.text;
      EXPECT_LE(label.box.Right(), geometry.Area().Right()) << label.text;
      for (size_t j = 0; j < labels.size(); ++j) {
        if (i == j) continue;
        EXPECT_FALSE(Overlap(label.box, labels[j].box)) << label.text << " / " << labels[j].text;
        // No label stands on another's leader.
        const CPeakLabel& other = labels[j];
        EXPECT_FALSE(other.peak.x > label.box.left && other.peak.x < label.box.Right() &&
                     label.box.top < other.peak.y && label.box.Bottom() > other.box.Bottom())
            << label.text << " on the leader of " << other.text;
      }
    }
    return labels;
  };
  // Fifteen asked for over 5..90 degrees: quartz has more than enough peaks, and an 800-pixel
  // plot room for them.
  EXPECT_EQ(place(5.0, 90.0, 15).size(), 15u);
  // The strongest peak right at the left edge keeps its label, moved inward.
  const std::vector<CPeakLabel> edge = place(26.5, 60.0, 3);
  ASSERT_FALSE(edge.empty());
  EXPECT_EQ(edge.front().text, "0 1 1");
  EXPECT_LT(edge.front().peak.x, edge.front().box.left + 10.0f);
  EXPECT_GT(edge.front().peak.x, edge.front().box.left);
}

TEST(GraphDrawing, LabelTextsFollowTheOptions) {
  const CPlotSpec spec = QuartzSpec();
  auto quartz = PlottedCrystal("quartz.cif", spec);
  CTSReflexion reflexion;
  reflexion.h = 1, reflexion.k = -1, reflexion.l = 2;
  reflexion.d = 2.2816;
  reflexion.relativeIntensity = 0.0725;
  reflexion.position = 39.47;
  CLabelOptions& options = quartz->Labels();
  options = CLabelOptions{};
  EXPECT_EQ(PeakLabelText(*quartz, reflexion, spec), "1 ¯1 2");  // hkl when nothing is chosen
  options.dSpacing = options.phaseName = options.relativeIntensity = options.xUnits = true;
  EXPECT_EQ(PeakLabelText(*quartz, reflexion, spec), "2.282Å, quartz.cif, 7.2%, 39.47°");
}

TEST(GraphDrawing, LegendListsDisplayNamesWithMixtureFractions) {
  const CPlotSpec spec = QuartzSpec();
  auto mixture = std::make_shared<CTSMixturePattern>(CTSPattern::BuiltInDefaults{});
  for (const char* file : {"quartz.cif", "corundum.cif"}) {
    auto phase = PlottedCrystal(file, spec);
    phase->SetMixtureFraction(0.5);
    mixture->Components()->push_back(phase);
  }
  mixture->SetTitle("sand");
  mixture->SetPlotted(true);
  mixture->Recalculate(spec);
  const CPatternList patterns = {mixture};
  CRecordingCanvas canvas;
  CPlotGeometry geometry(DisplayOver(5.0, 90.0));
  FitIntensityRange(canvas, geometry, kSurface, {patterns, spec});
  ASSERT_TRUE(DrawPlot(canvas, geometry, kSurface, {patterns, spec}));
  const std::vector<std::string> texts = canvas.Texts();
  for (const char* name : {"sand", "0.50  quartz.cif", "0.50  corundum.cif"})
    EXPECT_NE(std::ranges::find(texts, name), texts.end()) << name;
  // The sum is drawn, and each component at its share.
  EXPECT_EQ(Polylines(canvas, mixture->Style().colour).size(), 1u);
}

TEST(GraphDrawing, APhaseThatIsARowAndAComponentIsDrawnOnce) {
  // A mixture made of two rows of the list holds those very patterns.
  const CPlotSpec spec = QuartzSpec();
  auto quartz = PlottedCrystal("quartz.cif", spec), corundum = PlottedCrystal("corundum.cif", spec);
  auto mixture = std::make_shared<CTSMixturePattern>(CTSPattern::BuiltInDefaults{});
  *mixture->Components() = {quartz, corundum};
  mixture->EqualiseFractions();
  mixture->SetTitle("sand");
  mixture->SetPlotted(true);
  mixture->Recalculate(spec);
  const CPatternList patterns = {quartz, corundum, mixture};
  EXPECT_EQ(PlottedPatterns(patterns),
            (std::vector<CTSPattern*>{mixture.get(), quartz.get(), corundum.get()}));

  for (const bool film : {false, true}) {
    CRecordingCanvas canvas;
    CPlotDisplay display = DisplayOver(5.0, 90.0);
    display.film = film;
    CPlotGeometry geometry(display);
    FitIntensityRange(canvas, geometry, kSurface, {patterns, spec});
    ASSERT_TRUE(DrawPlot(canvas, geometry, kSurface, {patterns, spec}));
    // Named once: in the legend, or on the film's one band per pattern.
    const std::vector<std::string> texts = canvas.Texts();
    for (const char* name : {"sand", "0.50  quartz.cif", "0.50  corundum.cif"})
      EXPECT_EQ(std::ranges::count(texts, name), 1) << name << (film ? " on the film" : "");
    if (!film) {
      EXPECT_EQ(Polylines(canvas, quartz->Style().colour).size(), 1u);
    }
  }
}

TEST(GraphDrawing, LegendSumsUpCurvesThatDoNotFit) {
  CPatternList patterns;
  for (int i = 0; i < 40; ++i) patterns.push_back(PlottedData({{0.0, 1.0}, {90.0, 1.0}}));
  CRecordingCanvas canvas;
  CPlotGeometry geometry(DisplayOver(0.0, 90.0));
  ASSERT_TRUE(geometry.Layout(canvas, kSurface));
  const std::vector<CTSPattern*> plotted = PlottedPatterns(patterns);
  const CRectF box = LegendBox(canvas, geometry, LegendEntries(plotted));
  EXPECT_LE(box.Bottom(), geometry.Area().Bottom());
  DrawLegend(canvas, geometry, LegendEntries(plotted));
  const std::vector<std::string> texts = canvas.Texts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back().rfind("… ", 0), 0u) << texts.back();
  EXPECT_EQ(texts.size() - 1 + std::stoul(texts.back().substr(std::string("… ").size())), 40u);
}

TEST(GraphDrawing, ReflexionRowsAndDifferenceUnderTheCurves) {
  const CPlotSpec spec = QuartzSpec();
  auto quartz = PlottedCrystal("quartz.cif", spec);
  // The palette's first entry is black like the axes; a colour of its own tells the ticks apart.
  quartz->Style().colour = 0xFF2A6FB0;
  // "Measured" data: the calculated profile itself, every 10th point, plus a bump at 60.
  CProfile data;
  const CProfile& profile = quartz->GetProfile(spec);
  for (size_t i = 0; i < profile.size(); i += 10)
    data.push_back(
        {profile[i].x, profile[i].y + (std::abs(profile[i].x - 60.0) < 0.05 ? 500.0 : 0.0)});
  auto observed = PlottedData(data);
  const CPatternList patterns = {observed, quartz};
  const CPlotContent content{patterns, spec, {.reflexionRows = true, .difference = true}};

  CRecordingCanvas canvas;
  CPlotGeometry geometry(DisplayOver(5.0, 90.0));
  FitIntensityRange(canvas, geometry, kSurface, content);
  EXPECT_LT(geometry.Display().yMin, 0.0);
  ASSERT_TRUE(DrawPlot(canvas, geometry, kSurface, content));

  // One tick per reflexion in range, in the crystal's colour, below the baseline.
  size_t inRange = 0;
  for (const auto& reflexion : quartz->Crystal()->reflexions)
    inRange += reflexion->position >= 5.0 && reflexion->position <= 90.0;
  size_t ticks = 0;
  const float baseline = geometry.YToPixel(0.0);
  for (const auto& operation : canvas.Operations())
    if (operation.kind == Kind::kLine && operation.colour == quartz->Style().colour &&
        operation.points[0].x == operation.points[1].x) {
      ++ticks;
      EXPECT_GT(operation.points[0].y, baseline);
      EXPECT_LT(operation.points[1].y, geometry.Area().Bottom());
    }
  EXPECT_EQ(ticks, inRange);

  // The difference is flat but for the bump, and lies below the rows inside the plot area.
  const auto difference = Polylines(canvas, 0xFF808080);
  ASSERT_EQ(difference.size(), 1u);
  const std::vector<CPointF>& curve = difference[0]->points;
  const CPointF bump = std::ranges::min(curve, {}, &CPointF::y);
  EXPECT_NEAR(bump.x, geometry.XToPixel(60.0), 2.0);
  EXPECT_GT(bump.y, baseline + ReflexionRowHeight());
  EXPECT_LT(std::ranges::max(curve, {}, &CPointF::y).y, geometry.Area().Bottom() + 0.5f);
  // The legend names it, and its zero line runs across the plot between the rows and the curve.
  const std::vector<std::string> texts = canvas.Texts();
  EXPECT_NE(std::ranges::find(texts, "Difference"), texts.end());
  const float rows = baseline + ReflexionRowHeight();
  EXPECT_TRUE(std::ranges::any_of(canvas.Operations(), [&](const auto& operation) {
    return operation.kind == Kind::kLine && operation.points[0].y == operation.points[1].y &&
           operation.points[0].y > rows && operation.points[0].y < geometry.Area().Bottom() &&
           operation.points[1].x - operation.points[0].x >= geometry.Area().width - 1.0f;
  }));
  // The strip under the baseline holds rows and the difference, not intensities: no negative
  // intensity is labelled.
  for (const std::string& text : texts) EXPECT_NE(text.rfind("-", 0), 0u) << text;
}

}  // namespace
