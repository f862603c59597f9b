// Tick steps, axis labels and titles, and the mappings between data and pixels, against the
// worked figures of the plot's rules and against invariants of the layout.
#include "plot/axes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "plot/output_scale.h"
#include "plot/plot_fixtures.h"
#include "plot/plot_renderer.h"

namespace {

std::vector<std::string> LabelTexts(const CAxisTicks& ticks) {
  std::vector<std::string> texts;
  for (const CAxisLabel& label : ticks.labels) texts.push_back(label.text);
  return texts;
}

TEST(TickSteps, FourHundredPixelsOverTenToHundredDegrees) {
  const double scale = 400.0 / 90.0;  // 4.44 px per degree
  // Spacings 4.4, 8.9, 22, 44, 89 and 222 px: 20 degrees (89 px) is nearest 100.
  EXPECT_DOUBLE_EQ(MajorTickStep(90.0, scale), 20.0);
  // 10 degrees (44 px) is nearest 40 px, then 1 degree (4.4 px) nearest 5 px.
  const CTickSteps steps = TickSteps(90.0, scale);
  EXPECT_DOUBLE_EQ(steps.medium, 10.0);
  EXPECT_DOUBLE_EQ(steps.minor, 1.0);
}

TEST(TickSteps, RangesAcrossDecades) {
  // 0.05 over 800 px: base 0.001, spacings 16, 32, 80, 160 ... px: 0.005.
  EXPECT_NEAR(MajorTickStep(0.05, 800.0 / 0.05), 0.005, 1e-15);
  // 5000 over 400 px: base 100, spacings 8, 16, 40, 80, 160, 400 px: 1000.
  EXPECT_DOUBLE_EQ(MajorTickStep(5000.0, 400.0 / 5000.0), 1000.0);
  // 1.2e6 over 1000 px: base 1e5, spacings 83, 167, 417, 833 px (wider ones exceed the axis).
  EXPECT_DOUBLE_EQ(MajorTickStep(1.2e6, 1000.0 / 1.2e6), 1e5);
  // No positive scale, or an axis too short for two ticks: no ticks.
  EXPECT_EQ(MajorTickStep(90.0, 0.0), 0.0);
  EXPECT_EQ(MajorTickStep(90.0, -3.0), 0.0);
  EXPECT_EQ(MajorTickStep(1.0, 2.0), 0.0);
  // A finer step always divides the coarser one.
  const CTickSteps steps = TickSteps(0.05, 800.0 / 0.05);
  EXPECT_NEAR(std::remainder(steps.major, steps.medium), 0.0, 1e-15);
  EXPECT_NEAR(std::remainder(steps.medium, steps.minor), 0.0, 1e-15);
}

TEST(TickSteps, MinimumSpacingFollowsTheOutputResolution) {
  // At twice the screen's resolution the 4-pixel minimum becomes 8 pixels, so a 4.4-pixel minor
  // step of 1 degree is too fine and 2 degrees (8.9 px) takes its place.
  COutputScaleScope twice(800, 400);
  EXPECT_EQ(OutputScale().outputDpi, 192);
  EXPECT_DOUBLE_EQ(FinerTickStep(10.0, 400.0 / 90.0, 5.0), 2.0);
}

TEST(PlotAxes, XLabelsAndTheirDecimals) {
  CRecordingCanvas canvas;
  CPlotGeometry geometry(DisplayOver(10.0, 100.0));
  ASSERT_TRUE(geometry.Layout(canvas, kSurface));
  const CAxisTicks whole = XAxisTicks(geometry, canvas);
  EXPECT_EQ(LabelTexts(whole), (std::vector<std::string>{"10", "20", "30", "40", "50", "60", "70",
                                                         "80", "90", "100"}));
  EXPECT_FLOAT_EQ(whole.labels.front().pixel, geometry.Area().left);
  EXPECT_FLOAT_EQ(whole.labels.back().pixel, geometry.Area().Right());

  // A narrow range labels tenths with one decimal, hundredths with two.
  geometry.Display().xMin = 26.0, geometry.Display().xMax = 27.0;
  ASSERT_TRUE(geometry.Layout(canvas, kSurface));
  const CAxisTicks tenths = XAxisTicks(geometry, canvas);
  EXPECT_DOUBLE_EQ(tenths.labelStep, 0.1);
  EXPECT_EQ(tenths.labels.front().text, "26.0");
  EXPECT_EQ(tenths.labels[3].text, "26.3");
  geometry.Display().xMin = 26.6, geometry.Display().xMax = 26.7;
  ASSERT_TRUE(geometry.Layout(canvas, kSurface));
  EXPECT_EQ(XAxisTicks(geometry, canvas).labels.front().text, "26.60");
}

TEST(PlotAxes, IntensityLabelsWithExponentScaling) {
  CRecordingCanvas canvas;
  CPlotGeometry geometry(DisplayOver(0.0, 90.0, 5000.0));
  ASSERT_TRUE(geometry.Layout(canvas, kSurface));
  const CAxisTicks large = YAxisTicks(geometry, canvas);
  EXPECT_EQ(large.exponent, 3);
  EXPECT_EQ(std::stod(large.labels.back().text), 5.0);  // 5000
  EXPECT_EQ(YAxisTitle(geometry.Display(), large.exponent), "Intensity × 10⁻³");

  geometry.Display().yMax = 50.0;
  ASSERT_TRUE(geometry.Layout(canvas, kSurface));
  const CAxisTicks medium = YAxisTicks(geometry, canvas);
  EXPECT_EQ(medium.exponent, 0);
  EXPECT_EQ(medium.labels.back().text, "50");
  EXPECT_EQ(YAxisTitle(geometry.Display(), medium.exponent), "Intensity");

  geometry.Display().yMax = 0.5;
  ASSERT_TRUE(geometry.Layout(canvas, kSurface));
  const CAxisTicks small = YAxisTicks(geometry, canvas);
  EXPECT_EQ(small.exponent, -1);
  EXPECT_EQ(std::stod(small.labels.back().text), 5.0);  // 0.5
  EXPECT_EQ(YAxisTitle(geometry.Display(), small.exponent), "Intensity × 10¹");
  EXPECT_EQ(YAxisTitle(geometry.Display(), 12), "Intensity × 10⁻¹²");  // every digit raised
}

TEST(PlotAxes, Titles) {
  CPlotDisplay display = DisplayOver(0.0, 1.0);
  EXPECT_EQ(XAxisTitle(display), "2θ [°]");
  display.xAxisUnit.clear();
  EXPECT_EQ(XAxisTitle(display), "2θ");
  display.logarithmicY = true;
  EXPECT_EQ(YAxisTitle(display, 3), "log(Intensity)");

  // The plot title, or "Untitled" for an empty one, above the plot area.
  CRecordingCanvas canvas;
  CPlotGeometry geometry(display);
  geometry.Display().showTitle = true;
  ASSERT_TRUE(geometry.Layout(canvas, kSurface));
  DrawFrame(canvas, geometry);
  const std::vector<std::string> texts = canvas.Texts();
  EXPECT_NE(std::ranges::find(texts, "Untitled"), texts.end());
}

TEST(PlotGeometry, LinearAndLogarithmicMappingsRoundTrip) {
  CRecordingCanvas canvas;
  CPlotGeometry geometry(DisplayOver(10.0, 100.0, 1000.0));
  ASSERT_TRUE(geometry.Layout(canvas, kSurface));
  const CRectF area = geometry.Area();
  EXPECT_FLOAT_EQ(geometry.XToPixel(10.0), area.left);
  EXPECT_FLOAT_EQ(geometry.YToPixel(0.0), area.Bottom());
  EXPECT_NEAR(geometry.YToPixel(1000.0), area.top, 1.0);  // the height in whole pixels
  for (const bool logarithmic : {false, true}) {
    geometry.Display().logarithmicY = logarithmic;
    ASSERT_TRUE(geometry.Layout(canvas, kSurface));
    for (const double y : {0.0, 1.0, 37.5, 999.0}) {
      const auto [x, back] = geometry.PixelToData(geometry.DataToPixel(55.0, y));
      EXPECT_NEAR(x, 55.0, 1e-4);
      EXPECT_NEAR(back, y, 1e-4 * (1.0 + y)) << logarithmic;
    }
  }
  // Intensities at or below the axis minimum sit on the baseline of a logarithmic axis rather
  // than failing the logarithm.
  EXPECT_FLOAT_EQ(geometry.YToPixel(-50.0), area.Bottom());
  EXPECT_FLOAT_EQ(geometry.YToPixel(0.0), area.Bottom());
}

TEST(PlotGeometry, LogarithmicAxisIsTickedInLogValues) {
  CRecordingCanvas canvas;
  CPlotDisplay display = DisplayOver(0.0, 90.0, 9999.0);
  display.logarithmicY = true;
  CPlotGeometry geometry(display);
  ASSERT_TRUE(geometry.Layout(canvas, kSurface));
  const CAxisTicks ticks = YAxisTicks(geometry, canvas);
  ASSERT_FALSE(ticks.labels.empty());
  EXPECT_EQ(std::stod(ticks.labels.back().text), 4.0);  // log10(9999 + 1)
  EXPECT_NEAR(ticks.labels.back().pixel, geometry.YToPixel(9999.0), 0.5);
}

TEST(PlotGeometry, NoAreaNoDrawing) {
  CRecordingCanvas canvas;
  CPlotGeometry geometry(DisplayOver(0.0, 90.0));
  const std::vector<std::shared_ptr<CTSPattern>> none;
  const CPlotSpec spec = CPlotSpec::BuiltIn();
  EXPECT_FALSE(DrawPlot(canvas, geometry, {0, 0, 800, 0}, {none, spec}));
  EXPECT_TRUE(canvas.Operations().empty());
  // A surface too small for the margins leaves a plot height of no pixels: the y scale is not
  // positive and every pointer maps to intensity 0.
  EXPECT_FALSE(geometry.Layout(canvas, {0, 0, 800, 40}));
  EXPECT_LE(geometry.YScale(), 0.0);
  EXPECT_EQ(geometry.PixelToData({100.0f, 10.0f}).second, 0.0);
}

TEST(PlotGeometry, ExportAtAnotherResolutionKeepsTheLayout) {
  // The same plot on the screen (800 px) and exported at twice the width: every size doubles,
  // so the labels are the same and stand at twice the distance.
  const std::vector<std::shared_ptr<CTSPattern>> none;
  const CPlotSpec spec = CPlotSpec::BuiltIn();
  CRecordingCanvas screen, image;
  CPlotGeometry onScreen(DisplayOver(5.0, 90.0, 1000.0)), exported(DisplayOver(5.0, 90.0, 1000.0));
  ASSERT_TRUE(DrawPlot(screen, onScreen, kSurface, {none, spec}));
  {
    COutputScaleScope scope(1600, 800);
    ASSERT_TRUE(DrawPlot(image, exported, {0, 0, 1600, 1000}, {none, spec}));
  }
  EXPECT_EQ(screen.Texts(), image.Texts());
  EXPECT_NEAR(exported.Area().left, 2 * onScreen.Area().left, 1.0);
  EXPECT_NEAR(exported.Area().width, 2 * onScreen.Area().width, 2.0);
  EXPECT_EQ(OutputScale().outputDpi, OutputScale().screenDpi);  // restored
}

}  // namespace
