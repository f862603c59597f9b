#include "files/number_text.h"

#include <cmath>
#include <cstdlib>

bool ScanNumber(const char*& text, double& value) {
  char* end = nullptr;
  const double number = std::strtod(text, &end);
  if (end == text || !std::isfinite(number)) return false;
  value = number;
  text = end;
  return true;
}

std::optional<CProfilePoint> ScanPoint(const char*& text) {
  const char* cursor = text;
  CProfilePoint point;
  if (!ScanNumber(cursor, point.x) || !ScanNumber(cursor, point.y)) return std::nullopt;
  text = cursor;
  return point;
}
