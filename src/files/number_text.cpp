#include "files/number_text.h"

#include <string_view>

#include "app/text.h"

bool ScanNumber(const char*& text, double& value) {
  const char* start = text;
  while (*start == ' ' || *start == '\t' || *start == '\r' || *start == '\n' || *start == '\v' ||
         *start == '\f')
    ++start;
  size_t length = 0;
  const std::optional<double> number = ScanDouble(std::string_view(start), length);
  if (!number) return false;
  value = *number;
  text = start + length;
  return true;
}

std::optional<CProfilePoint> ScanPoint(const char*& text) {
  const char* cursor = text;
  CProfilePoint point;
  if (!ScanNumber(cursor, point.x) || !ScanNumber(cursor, point.y)) return std::nullopt;
  text = cursor;
  return point;
}
