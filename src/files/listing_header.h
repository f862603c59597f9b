// The header that opens the program's text listings (profile, reflexion and structure-factor
// files): a line of asterisks, the title when there is one, the banner naming the program and
// its version, and the advice on fonts.
#pragma once

#include <string>
#include <string_view>

// The header text, ending in a newline; an empty title is left out with its empty line.
std::string ListingHeader(std::string_view title);
