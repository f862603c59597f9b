// Where a command's listing goes: the standard output for "-", a file otherwise.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "files/listing_files.h"

void WriteListingOutput(const std::string& output, CListingKind kind, const std::vector<CListingBlock>& blocks,
                        const CPlotSpec& plotSpec, std::ostream& out);
