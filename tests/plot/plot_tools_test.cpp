// Stacking and collapsing the curves, the hit test of background markers, and the formats of
// values in labels and readouts.
#include <gtest/gtest.h>

#include "crystal/crystal.h"
#include "diffraction/reflexion.h"
#include "plot/marker_hit_test.h"
#include "plot/peak_pick.h"
#include "plot/plot_fixtures.h"
#include "plot/stacking.h"
#include "plot/value_formats.h"

namespace {

// A flat curve from `low` with one point at `high`, over 0..100.
std::shared_ptr<CTSObservedPattern> Spanning(double low, double high) {
  return PlottedData({{0.0, low}, {50.0, high}, {100.0, low}});
}

TEST(Stacking, ThreeCurvesOneAboveTheOther) {
  const CPatternList patterns = {Spanning(5.0, 105.0), Spanning(0.0, 50.0), Spanning(10.0, 30.0)};
  CPlotDisplay display = DisplayOver(0.0, 100.0, 1.0);
  StackPatterns(patterns, display);
  EXPECT_DOUBLE_EQ(patterns[0]->YOffset(), 70.0);
  EXPECT_DOUBLE_EQ(patterns[1]->YOffset(), 20.0);
  EXPECT_DOUBLE_EQ(patterns[2]->YOffset(), 0.0);
  EXPECT_DOUBLE_EQ(display.yMin, 0.0);
  EXPECT_DOUBLE_EQ(display.yMax, 170.0);

  // Collapse puts every curve back and fits the tallest, plotted or not.
  patterns[2]->SetPlotted(false);
  patterns[2]->SetYScale(10.0);
  CollapsePatterns(patterns, display);
  for (const auto& pattern : patterns) EXPECT_EQ(pattern->YOffset(), 0.0);
  EXPECT_DOUBLE_EQ(display.yMax, 300.0);
  CollapsePatterns({}, display);
  EXPECT_EQ(display.yMax, 0.0);
}

TEST(Stacking, OnlyTheVisibleRangeCounts) {
  // The tall point at 50 lies outside 60..100, so only the flat part (span 0) counts.
  const CPatternList patterns = {Spanning(5.0, 105.0), PlottedData({{60.0, 0.0}, {80.0, 10.0}})};
  CPlotDisplay display = DisplayOver(60.0, 100.0, 1.0);
  StackPatterns(patterns, display);
  EXPECT_DOUBLE_EQ(display.yMax, 10.0);
  EXPECT_DOUBLE_EQ(patterns[0]->YOffset(), 10.0);
}

class MarkerHitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_data = PlottedData({{0.0, 0.0}, {100.0, 100.0}});
    m_data->SetSelected(true);
    m_data->SetControlPoints({CBackgroundControlPoint::Horizontal(20.0, 40.0, 5.0),
                              CBackgroundControlPoint::Horizontal(80.0, 40.0, 5.0)});
    m_patterns = {m_data};
    ASSERT_TRUE(m_geometry.Layout(m_canvas, kSurface));
  }

  std::shared_ptr<CTSObservedPattern> m_data;
  CPatternList m_patterns;
  CRecordingCanvas m_canvas;
  CPlotGeometry m_geometry{DisplayOver(0.0, 100.0, 100.0)};
  CMarkerHitTest m_test;
};

TEST_F(MarkerHitTest, HitWithinTheToleranceOnly) {
  const CPointF anchor = m_geometry.DataToPixel(80.0, 40.0);
  EXPECT_TRUE(m_test.Test(m_geometry, m_patterns, {anchor.x + 5.9f, anchor.y}, true));
  ASSERT_TRUE(m_test.Current());
  EXPECT_EQ(m_test.Current()->point, 1u);
  EXPECT_EQ(m_test.Current()->role, CHandleRole::kAnchor);
  EXPECT_TRUE(m_data->ControlPoints()[1].anchor.selected);
  EXPECT_FALSE(m_test.Test(m_geometry, m_patterns, {anchor.x + 6.5f, anchor.y}, true));
  EXPECT_FALSE(m_test.Current());
  EXPECT_FALSE(m_data->ControlPoints()[1].anchor.selected);  // a new search clears the last hit
  EXPECT_FALSE(m_test.Test(m_geometry, m_patterns, {anchor.x, anchor.y - 6.5f}, true));
}

TEST_F(MarkerHitTest, FollowsTheDisplayTransformAndTheSelection) {
  m_data->SetXOffset(10.0);
  m_data->SetYScale(2.0);
  m_data->SetYOffset(-20.0);
  const CPointF handle =
      m_geometry.DataToPixel(25.0 + 10.0, 40.0 * 2.0 - 20.0);  // out-handle of the first
  EXPECT_TRUE(m_test.Test(m_geometry, m_patterns, handle, true));
  EXPECT_EQ(m_test.Current()->role, CHandleRole::kOut);
  EXPECT_EQ(m_test.Current()->point, 0u);
  // A search that is not new reports the hit but changes nothing.
  m_data->ClearHandleSelection();
  EXPECT_TRUE(m_test.Test(m_geometry, m_patterns, handle, false));
  EXPECT_FALSE(m_data->ControlPoints()[0].out.selected);
  // Unselected or hidden data are not searched.
  m_data->SetSelected(false);
  EXPECT_FALSE(m_test.Test(m_geometry, m_patterns, handle, true));
}

TEST(ValueFormats, LengthsPositionsPercentagesAndIndices) {
  EXPECT_EQ(FormatAngstrom(1.0), "1.0000Å");
  EXPECT_EQ(FormatAngstrom(1.5406), "1.541Å");
  EXPECT_EQ(FormatAngstrom(12.3456), "12.35Å");
  EXPECT_EQ(FormatAngstrom(123.456), "123.5Å");
  EXPECT_EQ(FormatAngstrom(0.5), "0.5000Å");
  EXPECT_EQ(FormatXValue(1.0, "°"), "1.000°");
  EXPECT_EQ(FormatXValue(0.25, "Å⁻¹"), "0.2500Å⁻¹");
  EXPECT_EQ(FormatPercent(0.25), "25%");
  EXPECT_EQ(FormatPercent(0.025), "2.5%");
  EXPECT_EQ(FormatPercent(0.0, 0.5), "50%");
  EXPECT_EQ(FormatMiller(1, -2, 0), "1 ¯2 0");
  EXPECT_EQ(FormatMiller(-10, 0, -3), "¯10 0 ¯3");
}

}  // namespace

TEST(PeakPick, TheStrongestReflexionUnderThePointerAndItsTip) {
  const CPlotSpec spec = CPlotSpec::BuiltIn();
  const auto quartz = PlottedCrystal("quartz.cif", spec);
  CRecordingCanvas canvas;
  CPlotGeometry geometry(DisplayOver(20.0, 30.0, 1.0));
  ASSERT_TRUE(geometry.Layout(canvas, kSurface));
  const float middle = geometry.Area().top + geometry.Area().height / 2;

  // The strongest quartz line, (0 1 1) at 26.64°, shares its position with (0 1 -1).
  const auto picked = PickPeak({quartz}, geometry, {geometry.XToPixel(26.64), middle});
  ASSERT_TRUE(picked);
  EXPECT_EQ(picked->pattern, quartz);
  EXPECT_DOUBLE_EQ(picked->reflexion->relativeIntensity, 1.0);
  EXPECT_EQ(PeakTip(*picked, spec), "quartz.cif\n(0 1 1)\nd = 3.343Å\n2θ = 26.64°\nI = 100%");

  // Between the lines, outside the area, or off the plot: nothing.
  EXPECT_FALSE(PickPeak({quartz}, geometry, {geometry.XToPixel(24.0), middle}));
  EXPECT_FALSE(PickPeak({quartz}, geometry, {geometry.XToPixel(26.64), geometry.Area().top - 5}));
  quartz->SetPlotted(false);
  EXPECT_FALSE(PickPeak({quartz}, geometry, {geometry.XToPixel(26.64), middle}));
}
