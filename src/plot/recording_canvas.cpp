#include "plot/recording_canvas.h"

#include <cmath>

#include "plot/output_scale.h"

namespace {

size_t Characters(std::string_view text) {
  size_t count = 0;
  for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

}  // namespace

float CRecordingCanvas::PixelsPerPoint() {
  return static_cast<float>(OutputScale().outputDpi) / 72.0f;
}

CSizeF CRecordingCanvas::MeasureText(std::string_view text, const CFont& font) {
  const float pixels = font.points * PixelsPerPoint();
  return {0.55f * pixels * static_cast<float>(Characters(text)), 1.2f * pixels};
}

void CRecordingCanvas::DrawLine(CPointF from, CPointF to, const CPen& pen) {
  m_operations.push_back(
      {.kind = CKind::kLine, .points = {from, to}, .colour = pen.colour, .width = pen.width});
}

void CRecordingCanvas::DrawPolyline(std::span<const CPointF> points, const CPen& pen) {
  m_operations.push_back({.kind = CKind::kPolyline,
                          .points = {points.begin(), points.end()},
                          .colour = pen.colour,
                          .width = pen.width});
}

void CRecordingCanvas::DrawPolygon(std::span<const CPointF> points, CColour fill,
                                   const std::optional<CPen>&) {
  m_operations.push_back(
      {.kind = CKind::kPolygon, .points = {points.begin(), points.end()}, .colour = fill});
}

void CRecordingCanvas::DrawEllipse(CRectF bounds, CColour fill, const std::optional<CPen>&) {
  m_operations.push_back({.kind = CKind::kEllipse, .colour = fill, .rect = bounds});
}

void CRecordingCanvas::FillRect(CRectF rect, CColour colour) {
  m_operations.push_back({.kind = CKind::kFillRect, .colour = colour, .rect = rect});
}

void CRecordingCanvas::DrawRect(CRectF rect, const CPen& pen) {
  m_operations.push_back(
      {.kind = CKind::kRect, .colour = pen.colour, .width = pen.width, .rect = rect});
}

void CRecordingCanvas::DrawText(std::string_view text, CPointF anchor, CTextAnchor alignment,
                                const CFont& font, CColour colour, float degrees) {
  m_operations.push_back({.kind = CKind::kText,
                          .points = {anchor},
                          .colour = colour,
                          .text = std::string(text),
                          .anchor = alignment,
                          .degrees = degrees,
                          .fontPoints = font.points});
}

void CRecordingCanvas::SetClip(const std::optional<CRectF>& rect) {
  m_operations.push_back({.kind = CKind::kClip, .rect = rect.value_or(CRectF{})});
}

std::vector<std::string> CRecordingCanvas::Texts() const {
  std::vector<std::string> texts;
  for (const COperation& operation : m_operations)
    if (operation.kind == CKind::kText) texts.push_back(operation.text);
  return texts;
}

CRectF CRecordingCanvas::TextBox(const COperation& text) const {
  const float pixels = text.fontPoints * PixelsPerPoint();
  float width = 0.55f * pixels * static_cast<float>(Characters(text.text)), height = 1.2f * pixels;
  // Of the unturned box, relative to the anchor.
  const auto [left, top] = TextBoxCorner(text.anchor, {width, height});
  const CPointF at = text.points.front();
  if (std::abs(std::fmod(text.degrees, 180.0f)) == 90.0f) {
    // A quarter turn: the box turns about the anchor.
    std::swap(width, height);
    const float turnedLeft = text.degrees > 0 ? top : -top - width;
    const float turnedTop = text.degrees > 0 ? -left - height : left;
    return {at.x + turnedLeft, at.y + turnedTop, width, height};
  }
  return {at.x + left, at.y + top, width, height};
}
