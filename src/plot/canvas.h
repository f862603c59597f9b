// The drawing surface the plot draws on: lines, polylines, filled shapes, rectangles and text
// in any colour with alpha, clipping, and text measurement. The desktop application draws through
// QPainter, the tests through a recording canvas; the plot itself never knows which.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// A point in drawing units (pixels, single precision).
struct CPointF {
  float x = 0.0f;
  float y = 0.0f;
  friend bool operator==(const CPointF&, const CPointF&) = default;
};

struct CSizeF {
  float width = 0.0f;
  float height = 0.0f;
};

struct CRectF {
  float left = 0.0f, top = 0.0f, width = 0.0f, height = 0.0f;
  float Right() const { return left + width; }
  float Bottom() const { return top + height; }
  bool Contains(CPointF p) const {
    return p.x >= left && p.x <= Right() && p.y >= top && p.y <= Bottom();
  }
  friend bool operator==(const CRectF&, const CRectF&) = default;
};

// Colours are 0xAARRGGBB.
using CColour = uint32_t;

enum class CDash : uint8_t { kSolid, kDashed, kDotted, kDashDotted };

struct CPen {
  CColour colour = 0xFF000000;
  float width = 1.0f;
  CDash dash = CDash::kSolid;
};

struct CFont {
  std::string family;
  float points = 8.0f;  // size in points at the output resolution
  bool bold = false;
  bool italic = false;
};

// Where a text stands relative to its anchor point.
enum class CTextAnchor : uint8_t {
  kCentre,        // centred on the point
  kTopCentre,     // hanging below the point, centred
  kBottomCentre,  // standing on the point, centred
  kRightMiddle,   // ending at the point, centred vertically
  kLeftMiddle,    // starting at the point, centred vertically
  kBottomLeft,    // standing on the point, starting at it
};

// The top-left corner of a text's box of `size` relative to its anchor point, before turning.
inline CPointF TextBoxCorner(CTextAnchor anchor, CSizeF size) {
  switch (anchor) {
    case CTextAnchor::kCentre:
      return {-size.width / 2, -size.height / 2};
    case CTextAnchor::kTopCentre:
      return {-size.width / 2, 0.0f};
    case CTextAnchor::kBottomCentre:
      return {-size.width / 2, -size.height};
    case CTextAnchor::kRightMiddle:
      return {-size.width, -size.height / 2};
    case CTextAnchor::kLeftMiddle:
      return {0.0f, -size.height / 2};
    case CTextAnchor::kBottomLeft:
      return {0.0f, -size.height};
  }
  return {};
}

class CCanvas {
 public:
  virtual ~CCanvas() = default;

  // The extent of a line of text in the font (height: the font's line height).
  virtual CSizeF MeasureText(std::string_view text, const CFont& font) = 0;

  virtual void DrawLine(CPointF from, CPointF to, const CPen& pen) = 0;
  virtual void DrawPolyline(std::span<const CPointF> points, const CPen& pen) = 0;
  // A closed shape, filled (when the fill colour's alpha is not 0) and outlined (when given).
  virtual void DrawPolygon(std::span<const CPointF> points, CColour fill,
                           const std::optional<CPen>& outline) = 0;
  virtual void DrawEllipse(CRectF bounds, CColour fill, const std::optional<CPen>& outline) = 0;
  virtual void FillRect(CRectF rect, CColour colour) = 0;
  virtual void DrawRect(CRectF rect, const CPen& pen) = 0;
  // Text at `anchor`, turned by `degrees` (counter-clockwise as seen, about the anchor).
  virtual void DrawText(std::string_view text, CPointF anchor, CTextAnchor alignment,
                        const CFont& font, CColour colour, float degrees = 0.0f) = 0;
  // Drawing is confined to `rect` until the clip is lifted with nothing.
  virtual void SetClip(const std::optional<CRectF>& rect) = 0;
};
