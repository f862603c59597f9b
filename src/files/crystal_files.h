// Crystal structures from and to files of any supported crystal format: the type is found
// from the extension and, where that is ambiguous, from the content.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "crystal/crystal.h"

struct CCrystalFile {
  CTSCrystal crystal;
  unsigned type = 0;  // the file type id that read it
  std::string title;  // the file name without folder and extension
};

// Every crystal structure of a file (a CIF may hold several data blocks), each titled by the
// name the file gives it when there are several, else by the file's name. Raises as
// ReadCrystalFile does.
std::vector<CCrystalFile> ReadCrystalFiles(const std::string& path);

// Reads the crystal structure of a file (the first, where it holds several). Raises
// CVHXFileNotFound for a missing file, CVHXFileUnsupportedType for a file no crystal format takes,
// CVHXFileNotOpen when it cannot be opened, and the format's own errors for a damaged file.
CCrystalFile ReadCrystalFile(const std::string& path);

// Writes a crystal in the format of the path's extension, ".cif" or ".vhtx"; another extension
// raises CVHXFileSaveAsBadExt.
void WriteCrystalFile(const std::string& path, const CTSCrystal& crystal, std::string_view title);

// The name of a file without folder and extension ("/data/quartz.vhdf" gives "quartz").
std::string FileTitle(const std::string& path);
