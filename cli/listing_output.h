// Where a command's listing goes: the standard output for "-", a file otherwise.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "files/listing_files.h"

// The program's message for a calculation that found no reflexions in range.
std::string_view NoReflexionsMessage();

void WriteListingOutput(const std::string& output, CListingKind kind, const std::vector<CListingBlock>& blocks,
                        const CPlotSpec& plotSpec, std::ostream& out);
