// Numbers in lines of text, read as the C conversion "%f" reads them: white space before a
// number is skipped and the longest prefix that forms a number is taken, whatever follows it;
// and written as std::to_chars writes them. Never the locale: files write a decimal point
// whatever the user's settings.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "patterns/profile.h"

// The longest prefix of `text` that is a decimal number ("1.5", "-2e-3", "+4", ".5", "1."),
// with the count of characters it takes; nothing when `text` does not begin with one or its
// value is not finite. The value is always the one std::from_chars gives (correctly rounded);
// the short decimals that fill data files take a quicker exact road to it.
std::optional<double> ScanDecimal(std::string_view text, size_t& length);

// Reads the number at `text` and moves `text` past it. Without a finite number there (infinity
// and NaN would poison every sum taken over the data), returns false and leaves `text` alone.
bool ScanNumber(const char*& text, double& value);

// Two numbers at `text`, as "%f %f" reads them, with `text` moved past the second.
std::optional<CProfilePoint> ScanPoint(const char*& text);

// The text std::to_chars writes for `value` with `decimals` digits after the point ("%.*f"), at
// `out`, which has room for it; returns its end. Values of a few significant digits, the points
// of profiles, take a quicker road to the same characters.
char* WriteFixed(char* out, double value, int decimals);
// The same for "%.*e" with `digits` after the point.
char* WriteScientific(char* out, double value, int digits);
