// Observed data from files of any observed-data format (the two-column data file with its .xy
// and .xye forms, the Rigaku file, the profile file): the type is found from the extension and,
// where that is ambiguous, from the content.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "patterns/profile.h"

class CTSObservedPattern;

// Measured points in file order and, when every point of the file carries one, their errors.
struct CObservedData {
  CProfile points;
  std::vector<double> errors;
};

struct CObservedFile {
  CObservedData data;
  unsigned type = 0;  // the file type id that read it
  std::string title;  // the file name without folder and extension
};

// Whether files of a type hold observed data.
bool IsObservedDataType(unsigned typeId);

// Reads the data of a file. Raises CVHXFileNotFound for a missing file, CVHXFileUnsupportedType
// for a file no observed-data format takes, CVHXFileNotOpen when it cannot be opened, and the
// format's own errors for a damaged file.
CObservedFile ReadObservedFile(const std::string& path);

// A new observed pattern holding the data of a file, with its path and titled after the file.
// Raises what ReadObservedFile raises.
std::shared_ptr<CTSObservedPattern> ReadObservedPattern(const std::string& path);
