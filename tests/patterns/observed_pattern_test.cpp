#include "patterns/observed_pattern.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>

#include "errors/exceptions.h"
#include "patterns/plot_spec.h"
#include "patterns/transfer_image.h"
#include "support/recorders.h"

namespace {

using namespace VHTypes;

// n points from x0 in steps of dx with intensities f(i).
template <class F>
CProfile Points(size_t n, double x0, double dx, F f) {
  CProfile points(n);
  for (size_t i = 0; i < n; ++i) points[i] = {x0 + dx * static_cast<double>(i), f(i)};
  return points;
}

std::shared_ptr<CTSObservedPattern> Observed(CProfile points) {
  auto pattern = std::make_shared<CTSObservedPattern>(CTSPattern::BuiltInDefaults{});
  pattern->SetData(std::move(points));
  return pattern;
}

void SmoothWith(CTSObservedPattern& pattern, int radius) {
  pattern.Smoothing().smooth = true;
  pattern.Smoothing().radius = radius;
  pattern.Smooth();
}

// A grid of `n` points from `from` to `to` for the auxiliary points.
CPlotSpec Grid(double from, double to, uint64_t n) {
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  plotSpec.SetXRange(from, to);
  plotSpec.SetProfilePoints(n);
  return plotSpec;
}

TEST(ObservedPattern, EmptyPatternAndNaturalRange) {
  const CTSObservedPattern empty{CTSPattern::BuiltInDefaults{}};
  EXPECT_EQ(empty.Title(), "New Data");
  EXPECT_EQ(empty.GetKind(), CTSPattern::kObserved);
  EXPECT_FALSE(empty.HasReflexionsOrData());
  EXPECT_FALSE(empty.ContainsCrystal());
  EXPECT_EQ(empty.NaturalXMin(kAxisTwoTheta), 999.9);
  EXPECT_EQ(empty.NaturalXMax(kAxisTwoTheta), 0.0);

  EXPECT_EQ(Observed({{12, 1}, {5, 2}, {30, 3}})->NaturalXMin(kAxisTwoTheta), 5.0);
  EXPECT_EQ(Observed({{12, 1}, {5, 2}, {30, 3}})->NaturalXMax(kAxisTwoTheta), 30.0);
  EXPECT_EQ(Observed({{1500, 1}, {2000, 2}})->NaturalXMin(kAxisTimeOfFlight), 999.9);
  EXPECT_EQ(Observed({{-20, 1}, {-10, 2}})->NaturalXMax(kAxisEnergy), 0.0);
}

TEST(ObservedSmoothing, WindowWeighsTriangularlyAndShortensAtTheEnds) {
  // A spike of 16 spreads as 16 (1 - |j|/4) / 4 = 4, 3, 2, 1 either side.
  const auto pattern =
      Observed(Points(100, 10.0, 0.1, [](size_t i) { return i == 50 || i == 0 ? 16.0 : 0.0; }));
  SmoothWith(*pattern, 3);
  const CProfile& smoothed = pattern->SmoothedPoints();
  ASSERT_EQ(smoothed.size(), 100u);
  for (size_t i = 0; i < smoothed.size(); ++i) EXPECT_EQ(smoothed[i].x, pattern->RawPoints()[i].x);
  for (const int j : {-4, -3, -2, -1, 0, 1, 2, 3, 4})
    EXPECT_DOUBLE_EQ(smoothed[static_cast<size_t>(50 + j)].y, std::max(0, 4 - std::abs(j))) << j;
  // At the first point only the window's right half exists: weights 1, 3/4, 1/2, 1/4.
  EXPECT_DOUBLE_EQ(smoothed[0].y, 16.0 / 2.5);
  EXPECT_DOUBLE_EQ(smoothed[2].y, 16.0 * 0.5 / 3.75);

  SmoothWith(*pattern, 34);  // more than a third of the points
  EXPECT_TRUE(pattern->SmoothedPoints().empty());
  SmoothWith(*pattern, 0);
  EXPECT_TRUE(pattern->SmoothedPoints().empty());
  SmoothWith(*pattern, 33);
  EXPECT_EQ(pattern->SmoothedPoints().size(), 100u);
}

TEST(ObservedData, PointsOutOfOrderAreSortedWithTheirErrors) {
  CRecordingStatusLog log;
  CTSObservedPattern pattern(CTSPattern::BuiltInDefaults{});
  pattern.SetData({{30, 3}, {10, 1}, {20, 2}}, {0.3, 0.1, 0.2});
  EXPECT_EQ(pattern.RawPoints(), (CProfile{{10, 1}, {20, 2}, {30, 3}}));
  EXPECT_EQ(pattern.Errors(), (std::vector<double>{0.1, 0.2, 0.3}));
  EXPECT_TRUE(
      log.Contains("Warning: The data points are not in order of rising x; they are sorted."));
}

TEST(ObservedSmoothing, ConstantSignalUnchanged) {
  for (const int radius : {1, 2, 3, 7, 33}) {
    const auto pattern = Observed(Points(100, 0.0, 1.0, [](size_t) { return 417.3; }));
    SmoothWith(*pattern, radius);
    ASSERT_FALSE(pattern->SmoothedPoints().empty());
    for (const CProfilePoint& point : pattern->SmoothedPoints()) EXPECT_NEAR(point.y, 417.3, 1e-12) << radius;
  }
}

TEST(ObservedSmoothing, ShownPointsAndDisplayName) {
  const auto pattern = Observed(Points(30, 0.0, 1.0, [](size_t i) { return static_cast<double>(i % 3); }));
  pattern->SetTitle("Scan");
  pattern->Smoothing().radius = 2;
  pattern->Smoothing().smooth = true;
  EXPECT_EQ(&pattern->ProfilePoints(false), &pattern->RawPoints());  // not smoothed yet
  EXPECT_EQ(pattern->DisplayName(), "Scan");
  pattern->Smooth();
  EXPECT_EQ(&pattern->ProfilePoints(false), &pattern->SmoothedPoints());
  EXPECT_EQ(&pattern->ProfilePoints(true), &pattern->RawPoints());
  EXPECT_EQ(pattern->DisplayName(), "Scan + smoothing");
  pattern->Smoothing().overlay = true;  // drawn over the data, which are shown themselves
  EXPECT_EQ(&pattern->ProfilePoints(false), &pattern->RawPoints());
  EXPECT_EQ(pattern->DisplayName(), "Scan");

  pattern->Smoothing().overlay = false;
  pattern->ResetBackground();
  pattern->SetBackgroundInUse(true);
  EXPECT_EQ(&pattern->ProfilePoints(false), &pattern->SubtractedPoints());
  EXPECT_EQ(pattern->DisplayName(), "Scan + smoothing");  // previewed
  pattern->SetBackgroundPreview(false);
  pattern->SetMixtureFraction(0.5);
  EXPECT_EQ(pattern->DisplayName(), "0.50  Scan + smoothing - background");
}

TEST(ObservedBackground, ResetGivesAFlatBackgroundAtTheSmallestIntensity) {
  const auto pattern =
      Observed(Points(200, 10.0, 0.05, [](size_t i) { return 5.0 + std::sin(0.1 * i) * std::sin(0.1 * i) * 80.0; }));
  pattern->ResetBackground();
  ASSERT_EQ(pattern->ControlPoints().size(), 2u);
  const CBackgroundControlPoint& first = pattern->ControlPoints()[0];
  EXPECT_EQ(first.anchor, (CBackgroundHandle{10.0, 5.0}));
  EXPECT_NEAR(first.out.x - first.anchor.x, 0.1 * 9.95, 1e-12);
  EXPECT_EQ(first.in.y, 5.0);
  EXPECT_EQ(pattern->BackgroundCurve().Samples().size(), 102u);
  for (const CProfilePoint& sample : pattern->BackgroundCurve().Samples()) EXPECT_DOUBLE_EQ(sample.y, 5.0);

  const CProfile& subtracted = pattern->SubtractedPoints();
  ASSERT_EQ(subtracted.size(), 200u);
  for (size_t i = 0; i < subtracted.size(); ++i) {
    EXPECT_EQ(subtracted[i].x, pattern->RawPoints()[i].x);
    EXPECT_NEAR(subtracted[i].y, pattern->RawPoints()[i].y - 5.0, 1e-12) << i;
  }
  EXPECT_EQ(pattern->BackgroundAt(9.99), 0.0);  // outside the anchors
  EXPECT_EQ(pattern->BackgroundAt(19.96), 0.0);

  // With the data smoothed in their place, the background comes off the smoothed points.
  SmoothWith(*pattern, 2);
  ASSERT_EQ(pattern->SubtractedPoints().size(), 200u);
  EXPECT_NEAR(pattern->SubtractedPoints()[0].y, pattern->SmoothedPoints()[0].y - 5.0, 1e-12);
}

TEST(ObservedBackground, SamplesFollowTheBezierCurve) {
  // Handles a third of the way along a straight line make the curve that line, run at even
  // speed: sample k of the first segment lies at 3k/101 on it.
  const auto pattern = Observed(Points(10, 0.0, 1.0, [](size_t i) { return i * 1.0; }));
  pattern->SetControlPoints({{{0, 0}, {-1, -1}, {1, 1}}, {{3, 3}, {2, 2}, {4, 4}}, {{6, 3}, {5, 3}, {7, 3}}});
  const CProfile& samples = pattern->BackgroundCurve().Samples();
  ASSERT_EQ(samples.size(), 203u);
  for (const size_t k : {1u, 17u, 50u, 100u}) {
    EXPECT_NEAR(samples[k].x, 3.0 * static_cast<double>(k) / 101.0, 1e-12);
    EXPECT_NEAR(samples[k].y, samples[k].x, 1e-12);
  }
  EXPECT_EQ(samples[101], (CProfilePoint{3, 3}));
  EXPECT_EQ(samples[202], (CProfilePoint{6, 3}));
  // Between samples the background is interpolated linearly; at the first anchor the sample
  // before it counts as (0, 0).
  EXPECT_NEAR(pattern->BackgroundAt(1.0), 1.0, 1e-12);
  EXPECT_EQ(pattern->BackgroundAt(0.0), 0.0);
  EXPECT_DOUBLE_EQ(pattern->BackgroundAt(6.0), 3.0);
}

TEST(ObservedBackground, CurveThatTurnsBackTakesTheFirstSampleNotBelowX) {
  // Handles reaching past the neighbours make x run backwards within the segments.
  const CBackgroundCurve curve = CBackgroundCurve::Sample(
      {{{0, 10}, {-9, 10}, {9, 10}}, {{4, 20}, {-5, 20}, {13, 20}}, {{8, 5}, {-1, 5}, {17, 5}}});
  const CProfile& samples = curve.Samples();
  ASSERT_FALSE(std::ranges::is_sorted(samples, {}, &CProfilePoint::x));
  for (double x = 0.0; x <= 8.0; x += 0.01) {
    const auto found = std::ranges::find_if(samples, [x](const CProfilePoint& p) { return p.x >= x; });
    ASSERT_NE(found, samples.end());
    const CProfilePoint before = found == samples.begin() ? CProfilePoint{} : *(found - 1);
    EXPECT_EQ(curve.At(x), VHProfile::Interpolate(before, *found, x)) << x;
  }
}

TEST(ObservedBackground, SamplingIsTheSameWithOneOrTwoThreads) {
  CControlPoints points;
  for (int i = 0; i < 40; ++i) {
    const double x = 10.0 * i, y = std::cos(i) * 50.0;
    points.push_back({{x, y}, {x - 3.0, y + std::sin(i) * 20.0}, {x + 4.0, y - std::sin(i) * 20.0}});
  }
  const int threads = omp_get_max_threads();
  omp_set_num_threads(1);
  const CBackgroundCurve one = CBackgroundCurve::Sample(points);
  omp_set_num_threads(2);
  const CBackgroundCurve two = CBackgroundCurve::Sample(points);
  omp_set_num_threads(threads);
  ASSERT_EQ(one.Samples().size(), 39u * 101u + 1u);
  EXPECT_EQ(one.Samples(), two.Samples());
}

TEST(ObservedBackground, AddingAndRemovingControlPoints) {
  const auto pattern = Observed(Points(101, 0.0, 1.0, [](size_t i) { return 10.0 + (i % 7); }));
  pattern->ResetBackground();
  pattern->AddControlPoint();
  pattern->AddControlPoint();
  ASSERT_EQ(pattern->ControlPoints().size(), 4u);
  for (size_t k = 0; k < 4; ++k) EXPECT_NEAR(pattern->ControlPoints()[k].anchor.x, 100.0 * k / 3.0, 1e-12);
  // Handles move with their anchors.
  EXPECT_NEAR(pattern->ControlPoints()[1].out.x - pattern->ControlPoints()[1].anchor.x, 10.0, 1e-12);
  EXPECT_EQ(pattern->BackgroundCurve().Samples().size(), 304u);

  // None selected: the last goes; otherwise the first selected.
  pattern->RemoveControlPoint();
  ASSERT_EQ(pattern->ControlPoints().size(), 3u);
  EXPECT_NEAR(pattern->ControlPoints().back().anchor.x, 200.0 / 3.0, 1e-12);
  CControlPoints selected = pattern->ControlPoints();
  selected[1].in.selected = true;
  pattern->SetControlPoints(selected);
  pattern->RemoveControlPoint();
  ASSERT_EQ(pattern->ControlPoints().size(), 2u);
  EXPECT_NEAR(pattern->ControlPoints()[1].anchor.x, 200.0 / 3.0, 1e-12);
  EXPECT_EQ(pattern->BackgroundCurve().Samples().size(), 102u);

  // One of two removed: no background at all.
  pattern->SetBackgroundInUse(true);
  pattern->RemoveControlPoint();
  EXPECT_TRUE(pattern->ControlPoints().empty());
  EXPECT_TRUE(pattern->BackgroundCurve().Empty());
  EXPECT_TRUE(pattern->SubtractedPoints().empty());
  EXPECT_EQ(&pattern->ProfilePoints(false), &pattern->RawPoints());
  pattern->AddControlPoint();  // needs two points
  EXPECT_TRUE(pattern->ControlPoints().empty());
}

TEST(ObservedPattern, ScalingXRebuildsTheDerivedPoints) {
  const auto pattern = Observed(Points(60, 10.0, 0.5, [](size_t i) { return 3.0 + (i % 4); }));
  SmoothWith(*pattern, 2);
  pattern->ResetBackground();
  const CPlotSpec plotSpec = Grid(0.0, 100.0, 1000);
  ASSERT_FALSE(pattern->GetProfile(plotSpec).empty());

  pattern->ScaleXValues(2.0);
  for (size_t i = 0; i < 60; ++i) EXPECT_EQ(pattern->RawPoints()[i].x, 2.0 * (10.0 + 0.5 * i));
  EXPECT_TRUE(pattern->SmoothedPoints().empty());
  EXPECT_TRUE(pattern->SubtractedPoints().empty());
  EXPECT_TRUE(pattern->AuxiliaryPoints().empty());

  pattern->Smooth();
  EXPECT_EQ(pattern->SmoothedPoints().front().x, 20.0);
  EXPECT_EQ(pattern->SubtractedPoints().back().x, 2.0 * (10.0 + 0.5 * 59));
  // The smoothed points now run from 20 to 79, ends included; the grid steps by 0.1.
  const CProfile& grid = pattern->GetProfile(plotSpec);
  EXPECT_EQ(grid[195].y, 0.0);
  EXPECT_NE(grid[205].y, 0.0);
  EXPECT_NE(grid[785].y, 0.0);
  EXPECT_EQ(grid[795].y, 0.0);
}

TEST(ObservedPattern, AuxiliaryPointsOnTheGrid) {
  // y = x from 10 to 20, shifted by 1 along x: y = x - 1 on the grid from 11 up to (not at) 21.
  const auto pattern = Observed(Points(11, 10.0, 1.0, [](size_t i) { return 10.0 + i; }));
  pattern->SetXOffset(1.0);
  const CPlotSpec plotSpec = Grid(0.0, 30.0, 60);
  const CProfile& grid = pattern->GetProfile(plotSpec);
  ASSERT_EQ(grid.size(), 60u);
  for (const CProfilePoint& point : grid) {
    const bool inside = point.x >= 11.0 && point.x < 21.0;
    EXPECT_NEAR(point.y, inside ? point.x - 1.0 : 0.0, 1e-12) << point.x;
  }
  EXPECT_EQ(grid[42].y, 0.0);  // x = 21, the last point: nothing lies beyond it

  // Cached until the settings change.
  EXPECT_EQ(&pattern->GetProfile(Grid(0.0, 30.0, 7)), &grid);
  EXPECT_EQ(grid.size(), 60u);
  pattern->Recalculate(plotSpec);
  EXPECT_TRUE(pattern->AuxiliaryPoints().empty());
  EXPECT_EQ(pattern->RawPoints().size(), 11u);  // clearing the profile keeps the data
  EXPECT_NE(pattern->Style().colour & 0xFF000000u, 0u);

  EXPECT_TRUE(Observed({{15.0, 3.0}})->GetProfile(plotSpec).empty());
  EXPECT_TRUE(Observed({})->GetProfile(plotSpec).empty());
}

TEST(ObservedPattern, TransferImageCarriesEveryField) {
  const auto pattern = Observed(Points(40, 5.0, 0.25, [](size_t i) { return 100.0 + i * i; }));
  pattern->SetData(pattern->RawPoints(), std::vector<double>(40, 1.5));
  pattern->SetTitle("Scan");
  pattern->SetAutoYScale(false);
  pattern->SmoothedStyle().markerSize = 3.5f;
  pattern->BackgroundStyle().useShadow = false;
  pattern->SetHandleFraction(0.2);
  SmoothWith(*pattern, 4);
  pattern->Smoothing().overlay = true;
  pattern->ResetBackground();
  pattern->AddControlPoint();
  CControlPoints points = pattern->ControlPoints();
  points[1].out.selected = true;
  pattern->SetControlPoints(points);
  pattern->SetBackgroundInUse(true);
  pattern->SetBackgroundPreview(false);
  pattern->GetProfile(Grid(0.0, 20.0, 500));

  const std::vector<std::byte> image = CTSPattern::TransferImage(*pattern);
  EXPECT_EQ(image.size(), pattern->TransferSize());
  const auto copy = std::dynamic_pointer_cast<CTSObservedPattern>(CTSPattern::NewPatternFromTransferImage(image));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->Title(), "Scan");
  EXPECT_EQ(copy->RawPoints(), pattern->RawPoints());
  EXPECT_EQ(copy->Errors(), pattern->Errors());
  EXPECT_FALSE(copy->AutoYScale());
  EXPECT_EQ(copy->Smoothing(), pattern->Smoothing());
  EXPECT_EQ(copy->SmoothedStyle(), pattern->SmoothedStyle());
  EXPECT_EQ(copy->BackgroundStyle(), pattern->BackgroundStyle());
  EXPECT_EQ(copy->HandleFraction(), 0.2);
  EXPECT_TRUE(copy->BackgroundInUse());
  EXPECT_FALSE(copy->BackgroundPreview());
  EXPECT_EQ(copy->ControlPoints(), pattern->ControlPoints());
  EXPECT_EQ(copy->BackgroundCurve().Samples(), pattern->BackgroundCurve().Samples());
  EXPECT_EQ(copy->SmoothedPoints(), pattern->SmoothedPoints());
  EXPECT_EQ(copy->SubtractedPoints(), pattern->SubtractedPoints());
  EXPECT_EQ(copy->AuxiliaryPoints(), pattern->AuxiliaryPoints());
  EXPECT_EQ(copy->BackgroundAt(6.0), pattern->BackgroundAt(6.0));

  const auto clone = std::dynamic_pointer_cast<CTSObservedPattern>(pattern->Clone());
  clone->ScaleXValues(3.0);
  EXPECT_EQ(pattern->RawPoints()[1].x, 5.25);  // the clone has its own data

  for (const size_t cut : {image.size() - 1, image.size() / 2})
    EXPECT_THROW(CTSPattern::NewPatternFromTransferImage(std::span(image).first(cut)), CVHXFileEOF) << cut;
}

}  // namespace
