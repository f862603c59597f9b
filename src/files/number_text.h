// Numbers in lines of text, read as the C conversion "%f" reads them: white space before a
// number is skipped and the longest prefix that forms a number is taken, whatever follows it.
#pragma once

#include <optional>

#include "patterns/profile.h"

// Reads the number at `text` and moves `text` past it. Without a finite number there (infinity
// and NaN would poison every sum taken over the data), returns false and leaves `text` alone.
bool ScanNumber(const char*& text, double& value);

// Two numbers at `text`, as "%f %f" reads them, with `text` moved past the second.
std::optional<CProfilePoint> ScanPoint(const char*& text);
