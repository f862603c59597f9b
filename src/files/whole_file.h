// A whole file written at once, for outputs without a format class of their own: two-column
// data, comma-separated tables, and pictures encoded in memory.
#pragma once

#include <string>
#include <string_view>

// Writes `contents` to `path`, replacing the file as a whole; a file that cannot be opened
// raises CVHXFileNotOpen with the system's reason, a failed write CVHXFile.
void WriteWholeFile(const std::string& path, std::string_view contents);
