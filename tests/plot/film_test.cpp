// The film's colour ramps and the shade of an intensity, and where the film puts a peak.
#include "plot/film.h"

#include <gtest/gtest.h>

#include "plot/film_ramp.h"
#include "plot/plot_fixtures.h"
#include "plot/plot_renderer.h"

namespace {

using namespace VHTypes;

struct CChannels {
  int a, r, g, b;
};

CChannels Split(CColour colour) {
  return {static_cast<int>(colour >> 24), static_cast<int>(colour >> 16 & 0xFF),
          static_cast<int>(colour >> 8 & 0xFF), static_cast<int>(colour & 0xFF)};
}

TEST(FilmRamp, EndsOfEveryRamp) {
  // Intensity 0 and 1 of each film, as its stops were published (bytes of 255 times a fraction).
  const struct {
    TSFilmType type;
    CColour zero, one;
  } cases[] = {
      {kFilmPositive, 0xFF020202, 0xFFFFFFFF},
      {kFilmNegative, 0xFFF2F2F2, 0xFF000000},
      {kFilmFire, 0xFF000019, 0xFFFFFF19},
      {kFilmRainbow, 0xFF3200C8, 0xFFFF0000},
  };
  for (const auto& c : cases) {
    const std::vector<CColour> ramp = FilmRamp(c.type);
    EXPECT_EQ(RampColour(ramp, 0.0), c.zero) << c.type;
    EXPECT_EQ(RampColour(ramp, 1.0), c.one) << c.type;
    EXPECT_EQ(RampColour(ramp, 7.0), c.one) << c.type;
    EXPECT_EQ(RampColour(ramp, -1.0), c.zero) << c.type;
  }
  EXPECT_EQ(FilmRamp(kFilmRainbow).size(), 33u);
  // Ice runs from a near-white blue through pure blue to a very dark blue.
  const std::vector<CColour> ice = FilmRamp(kFilmIce);
  ASSERT_EQ(ice.size(), 3u);
  const CChannels pale = Split(ice[0]);
  EXPECT_EQ(pale.b, 255);
  EXPECT_NEAR(pale.r, 250, 1);
  EXPECT_EQ(pale.r, pale.g);
  EXPECT_EQ(ice[1], 0xFF0000FFu);
  EXPECT_EQ(ice[2], 0xFF00000Cu);  // value 0.05: 12.75, truncated
  // A value that names no film gives an empty ramp, and an empty ramp opaque black.
  EXPECT_TRUE(FilmRamp(static_cast<TSFilmType>(9)).empty());
  EXPECT_EQ(RampColour({}, 0.5), 0xFF000000u);
}

TEST(FilmRamp, MiddleOfFireFallsBetweenItsSecondAndThirdStops) {
  // Stops at 0, 1/3, 2/3 and 1; t = 0.5 weighs (178, 0, 25) and (229, 114, 25) equally.
  const CChannels middle = Split(RampColour(FilmRamp(kFilmFire), 0.5));
  EXPECT_EQ(middle.a, 255);
  EXPECT_EQ(middle.r, 203);  // 203.5, truncated
  EXPECT_NEAR(middle.g, 57, 1);
  EXPECT_EQ(middle.b, 25);
  // A ramp of one stop is that colour everywhere.
  const CColour single[] = {0x80112233};
  EXPECT_EQ(RampColour(single, 0.7), 0x80112233u);
}

TEST(FilmShade, ScaleLogarithmAndGamma) {
  CPlotDisplay display = DisplayOver(0.0, 90.0, 100.0);
  EXPECT_DOUBLE_EQ(FilmShade(display, 25.0), 0.25);
  EXPECT_DOUBLE_EQ(FilmShade(display, 400.0), 1.0);
  EXPECT_DOUBLE_EQ(FilmShade(display, -5.0), 0.0);
  display.filmGamma = 2.0;
  EXPECT_DOUBLE_EQ(FilmShade(display, 25.0), 0.5);
  display.filmGamma = 1.0;
  display.logarithmicY = true;
  EXPECT_NEAR(FilmShade(display, 100.0), 1.0, 1e-15);
  EXPECT_NEAR(FilmShade(display, 9.0), 1.0 / std::log10(101.0), 1e-15);
  display.yMax = 0.0;  // nothing to scale by: no shade rather than NaN
  display.logarithmicY = false;
  EXPECT_EQ(FilmShade(display, 0.0), 0.0);
}

TEST(FilmDisplay, DarkestColumnOfANegativeFilmIsThePeak) {
  // A sharp peak at 40 in 0..100 on a negative film: the darkest column is the peak's pixel.
  CProfile points;
  for (int i = 0; i <= 1000; ++i) {
    const double x = i * 0.1;
    points.push_back({x, std::exp(-(x - 40.0) * (x - 40.0) / 0.5)});
  }
  const CPatternList patterns = {PlottedData(points), PlottedData(points)};
  CPlotDisplay display = DisplayOver(0.0, 100.0, 1.0);
  display.film = true;
  display.filmType = kFilmNegative;
  CPlotGeometry geometry(display);
  CRecordingCanvas canvas;
  const CPlotSpec spec = CPlotSpec::BuiltIn();
  ASSERT_TRUE(DrawPlot(canvas, geometry, kSurface, {patterns, spec}));

  // Each band's columns are one-pixel-wide rectangles; find the darkest in the first band.
  float darkestX = -1.0f;
  int darkest = 256;
  size_t columns = 0;
  const float firstBandBottom = geometry.Area().top + geometry.Area().height / 2;
  for (const auto& operation : canvas.Operations()) {
    if (operation.kind != CRecordingCanvas::CKind::kFillRect || operation.rect.width != 1.0f)
      continue;
    if (operation.rect.Bottom() > firstBandBottom) continue;
    ++columns;
    const int grey = Split(operation.colour).r;
    if (grey < darkest) darkest = grey, darkestX = operation.rect.left + 0.5f;
  }
  EXPECT_EQ(columns, static_cast<size_t>(geometry.Area().width));
  EXPECT_LE(darkest, 5);
  EXPECT_NEAR(darkestX, geometry.XToPixel(40.0), 1.0);
  // No y axis on a film: the only texts are the x labels and the x title.
  for (const std::string& text : canvas.Texts())
    EXPECT_EQ(text.find("Intensity"), std::string::npos);
}

}  // namespace
