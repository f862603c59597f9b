// The plot's canvas on a QPainter: the screen, a printer, an image, an SVG or a PDF. The only
// place where Qt draws the plot. Lines and rectangles along the pixel grid are put on pixel
// centres so that axes and gridlines stay crisp under anti-aliasing.
#pragma once

#include <QFont>
#include <QPainter>

#include "plot/canvas.h"

class CPainterCanvas final : public CCanvas {
 public:
  // Turns anti-aliasing on for the painter.
  explicit CPainterCanvas(QPainter& painter);

  CSizeF MeasureText(std::string_view text, const CFont& font) override;
  void DrawLine(CPointF from, CPointF to, const CPen& pen) override;
  void DrawPolyline(std::span<const CPointF> points, const CPen& pen) override;
  void DrawPolygon(std::span<const CPointF> points, CColour fill,
                   const std::optional<CPen>& outline) override;
  void DrawEllipse(CRectF bounds, CColour fill, const std::optional<CPen>& outline) override;
  void FillRect(CRectF rect, CColour colour) override;
  void DrawRect(CRectF rect, const CPen& pen) override;
  void DrawText(std::string_view text, CPointF anchor, CTextAnchor alignment, const CFont& font,
                CColour colour, float degrees) override;
  void SetClip(const std::optional<CRectF>& rect) override;

  // The Qt font for a plot font: the family asked for, else the fontconfig sans-serif (DejaVu
  // Sans where the setup installed it).
  static QFont ToQFont(const CFont& font);

 private:
  QPainter& m_painter;
};
