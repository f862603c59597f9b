// A whole text written to a file at once, for outputs without a format class of their own
// (two-column data, comma-separated tables).
#pragma once

#include <string>
#include <string_view>

// Writes `text` to `path`, replacing the file; a file that cannot be opened raises
// CVHXFileNotOpen with the system's reason, a failed write CVHXFile.
void WriteTextFile(const std::string& path, std::string_view text);
