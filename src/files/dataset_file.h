// The observed-data file: one measured point per line, x and y as two numbers separated by white
// space (read as "%f %f" reads them). Lines that do not give two numbers, such as headings and
// the "#" and "!" comments of .xy files, are passed over. A third number on a line is the
// point's error, as .xye files give it.
#pragma once

#include <string>

#include "files/stdio_file.h"
#include "files/tess_file.h"

class CTSDatasetFile : public CVHStdioFile<CTessFile> {
 public:
  static constexpr unsigned kTypeId = 12;

  CTSDatasetFile() { SetKind(kTypeId); }

  // The content probe: reads lines until one gives two numbers.
  static unsigned Recognise(const std::string& path);

  // Reads the points of the open file under the status "Reading data from file...", with their
  // errors when every point has one. No point at all raises CVHXFileNoData.
  void ReadObservedData(CObservedData& data) override;
};
