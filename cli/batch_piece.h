// What a batch run keeps of one finished input until the end of the run assembles its outputs:
// for each structure of the file its title, its profile file, its row of the intensity matrix
// and its peak-table rows (each empty when the run does not ask for it). A piece is written
// atomically before the manifest names its input, so a resumed run finds every finished input's
// piece whole.
#pragma once

#include <string>
#include <vector>

struct CStructurePiece {
  std::string title;
  std::string profile;  // the profile file, as simulate writes it
  std::string row;      // little-endian float32 intensities on the grid
  std::string peaks;    // rows of the peak table
};

void WritePiece(const std::string& path, const std::vector<CStructurePiece>& structures);
// Raises CVHXFileInvalid for a piece that is not whole, CVHXFileNotOpen when it cannot be read.
std::vector<CStructurePiece> ReadPiece(const std::string& path);
