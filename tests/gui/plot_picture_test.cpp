// Pictures of the plot as QPainter draws them, checked by their pixels and their structure
// rather than by hashes: the frame where the layout puts it, the strongest quartz peak in the
// pixel column of its 2θ, the film's darkest column at the same place; SVG with real text and
// PDF with one vector page.
#include "gui/plot_picture.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QXmlStreamReader>
#include <cmath>

#include "gui/painter_canvas.h"
#include "plot/plot_fixtures.h"
#include "plot/plot_renderer.h"
#include "plot/plotted_curves.h"
#include "plot/stacking.h"
#include "support/data_files.h"
#include "support/scratch_folder.h"

namespace {

const double kQuartzStrongest =
    2.0 * std::asin(1.5405 / (2.0 * 3.3434)) * 180.0 / std::acos(-1.0);  // (1 0 1)

// Quartz drawn over 5..90 degrees; the geometry of the last drawing pass is kept.
struct CQuartzPicture {
  CPlotSpec spec = CPlotSpec::BuiltIn();
  CPatternList patterns;
  CPlotDisplay display = DisplayOver(5.0, 90.0);
  CPlotGeometry geometry{display};

  CQuartzPicture() {
    display.legend = false;  // its swatch would be the curve's colour too
    spec.SetXRange(5.0, 90.0);
    auto quartz = PlottedCrystal("quartz.cif", spec);
    quartz->Style().colour = 0xFF1F77B4;
    patterns.push_back(quartz);
  }

  void Write(const std::string& path, CPictureFormat format, CPictureSize size = {800, 500, 96}) {
    WritePicture(path, format, size, [&](CCanvas& canvas, CRectF surface) {
      geometry = CPlotGeometry(display);
      FitIntensityRange(canvas, geometry, surface, {patterns, spec});
      DrawPlot(canvas, geometry, surface, {patterns, spec});
    });
  }
};

bool Dark(QRgb pixel) {
  return qGray(pixel) < 100;
}

TEST(PlotPicture, FormatsByExtension) {
  EXPECT_EQ(PictureFormatOf("a.png"), CPictureFormat::kPng);
  EXPECT_EQ(PictureFormatOf("dir.v2/A.SVG"), CPictureFormat::kSvg);
  EXPECT_EQ(PictureFormatOf("a.Pdf"), CPictureFormat::kPdf);
  EXPECT_FALSE(PictureFormatOf("a.jpg"));
  EXPECT_FALSE(PictureFormatOf("dir.png/plot"));
  EXPECT_FALSE(PictureFormatOf("png"));
}

TEST(PlotPicture, PngFrameAndStrongestPeakWhereTheLayoutPutsThem) {
  CScratchFolder folder;
  CQuartzPicture picture;
  picture.Write(folder / "quartz.png", CPictureFormat::kPng);
  QImage image;
  ASSERT_TRUE(image.load(QString::fromStdString(folder / "quartz.png")));
  ASSERT_EQ(image.width(), 800);
  ASSERT_EQ(image.height(), 500);

  // The frame: dark along the whole left edge and bottom of the plot area.
  const CRectF area = picture.geometry.Area();
  const int left = static_cast<int>(area.left), bottom = static_cast<int>(area.Bottom());
  for (int y = static_cast<int>(area.top) + 2; y < bottom - 2; y += 7)
    EXPECT_TRUE(Dark(image.pixel(left, y))) << "left edge at row " << y;
  for (int x = left + 2; x < static_cast<int>(area.Right()) - 2; x += 11)
    EXPECT_TRUE(Dark(image.pixel(x, bottom))) << "bottom edge at column " << x;
  // Outside the frame, beside the axis labels, the picture is white.
  EXPECT_EQ(image.pixel(image.width() - 3, image.height() / 2), qRgb(255, 255, 255));

  // The highest point of the curve's colour lies in the pixel column of the strongest peak.
  int topRow = image.height(), topColumn = -1;
  for (int x = left + 1; x < static_cast<int>(area.Right()); ++x)
    for (int y = static_cast<int>(area.top); y < bottom - 1; ++y) {
      const QColor colour = image.pixelColor(x, y);
      if (colour.blue() > 120 && colour.red() < 120 && colour.blue() - colour.red() > 60) {
        if (y < topRow) topRow = y, topColumn = x;
        break;
      }
    }
  EXPECT_NEAR(topColumn, picture.geometry.XToPixel(kQuartzStrongest), 1.5);
  EXPECT_LT(topRow, area.top + 0.1 * area.height);
}

TEST(PlotPicture, FilmDarkestColumnIsTheStrongestPeak) {
  CScratchFolder folder;
  CQuartzPicture picture;
  picture.display.film = true;
  picture.display.filmType = VHTypes::kFilmNegative;
  picture.Write(folder / "film.png", CPictureFormat::kPng);
  QImage image;
  ASSERT_TRUE(image.load(QString::fromStdString(folder / "film.png")));
  const CRectF area = picture.geometry.Area();
  const int row = static_cast<int>(area.top + area.height * 0.6);
  int darkest = 256, darkestColumn = -1;
  for (int x = static_cast<int>(area.left) + 2; x < static_cast<int>(area.Right()) - 2; ++x)
    if (qGray(image.pixel(x, row)) < darkest)
      darkest = qGray(image.pixel(x, row)), darkestColumn = x;
  EXPECT_LT(darkest, 40);
  EXPECT_NEAR(darkestColumn, picture.geometry.XToPixel(kQuartzStrongest), 1.5);
  // The unexposed film is the negative ramp's pale grey.
  EXPECT_NEAR(qGray(image.pixel(static_cast<int>(area.left) + 30, row)), 242, 2);
}

TEST(PlotPicture, SvgIsXmlWithTheAxisTitlesAsText) {
  CScratchFolder folder;
  CQuartzPicture picture;
  picture.Write(folder / "quartz.svg", CPictureFormat::kSvg);
  QFile file(QString::fromStdString(folder / "quartz.svg"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QXmlStreamReader xml(&file);
  QStringList texts;
  bool inText = false;
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement()) inText = xml.name() == QStringLiteral("text");
    if (xml.isCharacters() && inText) texts << xml.text().toString().trimmed();
  }
  ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  EXPECT_TRUE(texts.contains(QStringLiteral("2θ [°]"))) << texts.join('|').toStdString();
  EXPECT_TRUE(std::ranges::any_of(
      texts, [](const QString& t) { return t.startsWith(QStringLiteral("Intensity")); }));
}

TEST(PlotPicture, CurvesLevelBetweenPeaksLoseNoPixel) {
  // A peak between two flat stretches of many points, and a level stretch that turns back on
  // itself: the canvas leaves out points, never a part of the line.
  std::vector<CPointF> points;
  for (int x = 10; x <= 100; ++x) points.push_back({static_cast<float>(x) + 0.5f, 80.5f});
  points.push_back({105.5f, 20.5f});
  for (int x = 110; x <= 190; ++x) points.push_back({static_cast<float>(x) + 0.5f, 80.5f});
  for (int x = 190; x >= 30; --x) points.push_back({static_cast<float>(x) + 0.5f, 60.5f});
  points.push_back({150.5f, 60.5f});
  const auto draw = [&](bool throughCanvas, float width) {
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    const CPen pen{0xFF000000, width};
    if (throughCanvas) {
      CPainterCanvas canvas(painter);
      canvas.DrawPolyline(points, pen);
    } else {
      // Every point drawn, as the canvas draws the line otherwise.
      painter.setRenderHint(QPainter::Antialiasing, true);
      QPen qpen(Qt::black, width);
      qpen.setCapStyle(width > 1.0f ? Qt::SquareCap : Qt::FlatCap);
      qpen.setJoinStyle(Qt::RoundJoin);
      painter.setPen(qpen);
      for (size_t i = 1; i < points.size(); ++i)
        painter.drawLine(QPointF(points[i - 1].x, points[i - 1].y),
                         QPointF(points[i].x, points[i].y));
    }
    return image;
  };
  for (const float width : {1.0f, 3.0f}) {
    const QImage canvas = draw(true, width), whole = draw(false, width);
    int differing = 0;
    for (int y = 0; y < canvas.height(); ++y)
      for (int x = 0; x < canvas.width(); ++x)
        differing += std::abs(qGray(canvas.pixel(x, y)) - qGray(whole.pixel(x, y))) > 64;
    EXPECT_LE(differing, 4) << width;
    // The stretch that turns back at x = 30 reaches it.
    EXPECT_LT(qGray(canvas.pixel(40, 60)), 128) << width;
  }
}

TEST(PlotPicture, PdfIsOneVectorPage) {
  CScratchFolder folder;
  CQuartzPicture picture;
  picture.Write(folder / "quartz.pdf", CPictureFormat::kPdf, {1600, 1000, 192});
  const std::string pdf = ReadWholeFile(folder / "quartz.pdf");
  ASSERT_EQ(pdf.rfind("%PDF-", 0), 0u);
  size_t pages = 0;
  for (size_t at = pdf.find("/Type /Page"); at != std::string::npos;
       at = pdf.find("/Type /Page", at + 1))
    pages += pdf.compare(at, 12, "/Type /Pages") != 0;
  EXPECT_EQ(pages, 1u);
  EXPECT_EQ(pdf.find("/Subtype /Image"), std::string::npos);  // drawn, not a picture of a drawing
  // A page of 1600 x 1000 pixels at 192 dpi is 600 x 375 points.
  EXPECT_NE(pdf.find("/MediaBox [0 0 600.000000 375.000000]"), std::string::npos);
  // Viewers name the document by the file when the plot has no title (as UTF-16 text).
  std::string name = "\xFE\xFF";
  for (const char c : std::string("quartz.pdf")) name += {'\0', c};
  const size_t title = pdf.find("/Title");
  ASSERT_NE(title, std::string::npos);
  EXPECT_NE(pdf.find(name, title), std::string::npos);
}

}  // namespace
