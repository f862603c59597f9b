// The plain-text scattering-factor table file that users import and export: comment lines
// beginning with "!", one record per line (symbol, Z, W, nine coefficients, optional neutron
// length, optional quoted note).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "crystal/scattering_record.h"

// Reads a table file. Raises CVHXFileASFNotFound or CVHXFileASFNotOpen naming the path,
// CVHXFileASFBadLine naming the line, and CVHXFileNoData when no line holds a record.
std::vector<CVHASF> ReadScatteringFactorFile(const std::string& path);
// Writes a table file (see FormatScatteringFactorFile); CVHXFileNotOpen when it cannot be created.
void WriteScatteringFactorFile(const std::string& path, std::span<const CVHASF> records);

// One line of a table file: nothing for a blank or comment line, the record for a data line;
// a malformed data line raises CVHXFileASFBadLine with `lineNumber`.
std::optional<CVHASF> ParseScatteringFactorLine(std::string_view line, int lineNumber);

// The whole file as written: heading, description, column heading, one line per record.
std::string FormatScatteringFactorFile(std::span<const CVHASF> records);
