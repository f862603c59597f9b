// The plain-text scattering-factor table file that users import and export: comment lines
// beginning with "!", one record per line (symbol, Z, W, nine coefficients, optional neutron
// length, optional quoted note).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "diffraction/asf.h"

// One line of a table file: nothing for a blank or comment line, the record for a data line;
// a malformed data line raises CVHXFileASFBadLine with `lineNumber`.
std::optional<CVHASF> ParseScatteringFactorLine(std::string_view line, int lineNumber);

// The whole file as written: heading, description, column heading, one line per record.
std::string FormatScatteringFactorFile(std::span<const CVHASF> records);
