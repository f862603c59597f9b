// A canvas that draws nothing and remembers every call: the tests read the plot off it, and the
// benchmarks time the plot's own work without a painter. Text is measured with a fixed metric
// (each character 0.55 of the font's pixel size wide, lines 1.2 of it high, a point being
// 1/72 inch at the output resolution) so that layouts are the same on every machine.
#pragma once

#include <string>
#include <vector>

#include "plot/canvas.h"

class CRecordingCanvas final : public CCanvas {
 public:
  enum class CKind : uint8_t {
    kLine,
    kPolyline,
    kPolygon,
    kEllipse,
    kFillRect,
    kRect,
    kText,
    kClip
  };

  struct COperation {
    CKind kind;
    std::vector<CPointF> points{};  // line ends, polyline and polygon points, rectangle corners
    CColour colour = 0;             // pen, fill or text colour
    float width = 0.0f;             // pen width
    std::string text{};
    CTextAnchor anchor = CTextAnchor::kCentre;
    float degrees = 0.0f;
    float fontPoints = 0.0f;  // font size of a text
    CRectF rect{};            // rectangle, ellipse bounds, clip
  };

  // Pixels per point at the current output resolution.
  static float PixelsPerPoint();

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

  const std::vector<COperation>& Operations() const { return m_operations; }
  void Clear() { m_operations.clear(); }
  // The texts drawn, in order.
  std::vector<std::string> Texts() const;
  // The box a drawn text covers (unturned texts; turned ones by their turned box).
  CRectF TextBox(const COperation& text) const;

 private:
  std::vector<COperation> m_operations;
};
