#include "gui/painter_canvas.h"

#include <QFontMetricsF>
#include <QLineF>
#include <QPolygonF>
#include <QString>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QColor ToQColor(CColour colour) {
  return QColor::fromRgba(colour);
}

QPen ToQPen(const CPen& pen) {
  QPen qpen(ToQColor(pen.colour), pen.width);
  switch (pen.dash) {
    case CDash::kSolid:
      qpen.setStyle(Qt::SolidLine);
      break;
    case CDash::kDashed:
      qpen.setStyle(Qt::DashLine);
      break;
    case CDash::kDotted:
      qpen.setStyle(Qt::DotLine);
      break;
    case CDash::kDashDotted:
      qpen.setStyle(Qt::DashDotLine);
      break;
  }
  qpen.setCapStyle(Qt::FlatCap);
  qpen.setJoinStyle(Qt::RoundJoin);
  return qpen;
}

// A coordinate of an odd-width line along the pixel grid, moved to the middle of its pixel so
// that anti-aliasing does not smear it over two.
float OnPixelCentre(float coordinate, float width) {
  const long whole = std::lround(width);
  if (whole < 1 || std::abs(width - static_cast<float>(whole)) > 0.01f || whole % 2 == 0)
    return coordinate;
  return std::floor(coordinate) + 0.5f;
}

QPolygonF ToPolygon(std::span<const CPointF> points) {
  QPolygonF polygon;
  polygon.reserve(static_cast<qsizetype>(points.size()));
  for (const CPointF& point : points) polygon.append(QPointF(point.x, point.y));
  return polygon;
}

// The polyline without the points inside level runs: a calculated pattern is flat between its
// peaks, where every pixel column adds points on one row, and each segment costs the rasteriser
// as much as a steep one. A point between two neighbours on its row (to a twentieth of a pixel,
// which anti-aliasing does not show), and between them along it, changes no pixel.
std::vector<CPointF> WithoutLevelRuns(std::span<const CPointF> points) {
  constexpr float kLevel = 0.05f;
  std::vector<CPointF> kept;
  kept.reserve(points.size());
  for (size_t i = 0; i < points.size(); ++i) {
    if (!kept.empty() && i + 1 < points.size()) {
      const CPointF &before = kept.back(), &point = points[i], &after = points[i + 1];
      const bool level =
          std::abs(point.y - before.y) < kLevel && std::abs(after.y - before.y) < kLevel;
      if (level && (point.x - before.x) * (after.x - point.x) >= 0.0f) continue;
    }
    kept.push_back(points[i]);
  }
  return kept;
}

}  // namespace

CPainterCanvas::CPainterCanvas(QPainter& painter) : m_painter(painter) {
  m_painter.setRenderHint(QPainter::Antialiasing, true);
  m_painter.setRenderHint(QPainter::TextAntialiasing, true);
}

QFont CPainterCanvas::ToQFont(const CFont& font) {
  QFont qfont;
  qfont.setFamilies({QString::fromStdString(font.family), QStringLiteral("DejaVu Sans")});
  qfont.setStyleHint(QFont::SansSerif);
  qfont.setPointSizeF(font.points > 0.0f ? font.points : 8.0);
  qfont.setBold(font.bold);
  qfont.setItalic(font.italic);
  return qfont;
}

CSizeF CPainterCanvas::MeasureText(std::string_view text, const CFont& font) {
  const QFontMetricsF metrics(ToQFont(font), m_painter.device());
  return {static_cast<float>(metrics.horizontalAdvance(ToQString(text))),
          static_cast<float>(metrics.height())};
}

void CPainterCanvas::DrawLine(CPointF from, CPointF to, const CPen& pen) {
  if (from.x == to.x) from.x = to.x = OnPixelCentre(from.x, pen.width);
  if (from.y == to.y) from.y = to.y = OnPixelCentre(from.y, pen.width);
  m_painter.setPen(ToQPen(pen));
  m_painter.drawLine(QPointF(from.x, from.y), QPointF(to.x, to.y));
}

void CPainterCanvas::DrawPolyline(std::span<const CPointF> all, const CPen& pen) {
  const std::vector<CPointF> points = WithoutLevelRuns(all);
  m_painter.setBrush(Qt::NoBrush);
  QPen qpen = ToQPen(pen);
  if (pen.dash != CDash::kSolid || pen.width <= 1.0f) {
    // A dash pattern must run on along the whole curve, and a hairline is cheap as one outline.
    m_painter.setPen(qpen);
    m_painter.drawPolyline(ToPolygon(points));
    return;
  }
  // QPainter strokes a wide polyline as one outline filled by winding, which grows far faster
  // than the number of points when a curve doubles back on itself, as a diffraction pattern does
  // in every pixel column. Separate segments cost in proportion to the points; square ends
  // close the joints between them.
  qpen.setCapStyle(Qt::SquareCap);
  m_painter.setPen(qpen);
  std::vector<QLineF> segments;
  segments.reserve(points.size());
  for (size_t i = 1; i < points.size(); ++i)
    segments.emplace_back(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y);
  m_painter.drawLines(segments.data(), static_cast<int>(segments.size()));
}

void CPainterCanvas::DrawPolygon(std::span<const CPointF> points, CColour fill,
                                 const std::optional<CPen>& outline) {
  m_painter.setPen(outline ? ToQPen(*outline) : QPen(Qt::NoPen));
  m_painter.setBrush(fill >> 24 != 0 ? QBrush(ToQColor(fill)) : QBrush(Qt::NoBrush));
  m_painter.drawPolygon(ToPolygon(points));
}

void CPainterCanvas::DrawEllipse(CRectF bounds, CColour fill, const std::optional<CPen>& outline) {
  m_painter.setPen(outline ? ToQPen(*outline) : QPen(Qt::NoPen));
  m_painter.setBrush(fill >> 24 != 0 ? QBrush(ToQColor(fill)) : QBrush(Qt::NoBrush));
  m_painter.drawEllipse(QRectF(bounds.left, bounds.top, bounds.width, bounds.height));
}

void CPainterCanvas::FillRect(CRectF rect, CColour colour) {
  m_painter.fillRect(QRectF(rect.left, rect.top, rect.width, rect.height), ToQColor(colour));
}

void CPainterCanvas::DrawRect(CRectF rect, const CPen& pen) {
  const float left = OnPixelCentre(rect.left, pen.width), top = OnPixelCentre(rect.top, pen.width);
  const float right = OnPixelCentre(rect.Right(), pen.width),
              bottom = OnPixelCentre(rect.Bottom(), pen.width);
  m_painter.setPen(ToQPen(pen));
  m_painter.setBrush(Qt::NoBrush);
  m_painter.drawRect(QRectF(left, top, right - left, bottom - top));
}

void CPainterCanvas::DrawText(std::string_view text, CPointF anchor, CTextAnchor alignment,
                              const CFont& font, CColour colour, float degrees) {
  const QFont qfont = ToQFont(font);
  const QFontMetricsF metrics(qfont, m_painter.device());
  const QString qtext = ToQString(text);
  const CSizeF size{static_cast<float>(metrics.horizontalAdvance(qtext)),
                    static_cast<float>(metrics.height())};
  const CPointF corner = TextBoxCorner(alignment, size);  // before turning
  m_painter.save();
  m_painter.translate(anchor.x, anchor.y);
  // Qt turns clockwise as seen; the canvas counts counter-clockwise.
  if (degrees != 0.0f) m_painter.rotate(-degrees);
  m_painter.setFont(qfont);
  m_painter.setPen(ToQColor(colour));
  m_painter.drawText(QPointF(corner.x, corner.y + metrics.ascent()), qtext);
  m_painter.restore();
}

void CPainterCanvas::SetClip(const std::optional<CRectF>& rect) {
  // A clip on whole pixels: QPainter clips fractional rectangles as paths, which costs far more
  // than the drawing itself.
  if (rect)
    m_painter.setClipRect(QRectF(rect->left, rect->top, rect->width, rect->height).toAlignedRect());
  else
    m_painter.setClipping(false);
}
