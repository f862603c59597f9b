// What a batch run keeps of one finished input until the end of the run assembles its outputs:
// for each structure of the file its title, its profile file, its row of the intensity matrix
// and its peak-table rows (each empty when the run does not ask for it). A piece is whole before
// the manifest names its input, so a resumed run finds every finished input's piece whole.
#pragma once

#include <string>
#include <vector>

#include "cli/batch_record.h"

struct CStructurePiece {
  std::string title;
  std::string profile;  // the profile file, as simulate writes it
  std::string row;      // little-endian float32 intensities on the grid
  std::string peaks;    // rows of the peak table
};

// Writes the piece under a temporary name and renames it, so that nobody finds it half written;
// it is not put on the disc here: the manifest syncs the folder's file system before the line
// that names the input, which costs one sync a second instead of two a structure.
void WritePiece(const std::string& path, const std::vector<CStructurePiece>& structures);
// Raises CVHXFileInvalid for a piece that is not whole, CVHXFileNotOpen when it cannot be read.
std::vector<CStructurePiece> ReadPiece(const std::string& path);

// One input worked out, as it travels from the process that calculated it to the one that
// writes: its record, the run's x grid as float64 when this input is the first to tell it, and
// its structures.
struct CBatchOutcome {
  CBatchRecord record;
  std::string grid;
  std::vector<CStructurePiece> structures;
};

std::string OutcomeText(const CBatchOutcome& outcome);
// Raises CVHXFileInvalid for a text that OutcomeText did not write.
CBatchOutcome OutcomeOfText(const std::string& text);
