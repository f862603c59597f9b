// The Rigaku-Scintag ASCII file: a header of keyword lines ("*START = 10.0", keywords in any
// case, the value after the keyword and an optional "=", or alone on the next line), of which
// *COUNT, *START, *STEP and *STOP place the points along x, then the intensities, separated by
// white space or commas, up to *END. Point i lies at start + i * step.
#pragma once

#include <string>

#include "files/stdio_file.h"
#include "files/tess_file.h"

class CTSRigakuFile : public CVHStdioFile<CTessFile> {
 public:
  static constexpr unsigned kTypeId = 34;

  CTSRigakuFile() { SetKind(kTypeId); }

  // The content probe: all four keywords appear in the header.
  static unsigned Recognise(const std::string& path);

  // Reads the points of the open file under the status "Reading data from file...".
  // A value that is not an integer of at least 1 after *COUNT raises CVHXFileRigakuBadCount, one
  // that is not a number after *START, *STEP or *STOP CVHXFileRigakuBadStart, BadStep or BadStop;
  // a file that ends before all four are given raises CVHXFileRigakuDataset; a step of 0, a start
  // equal to the stop, a count other than round((stop - start) / step) + 1 (halves away from 0),
  // or more intensities than the count raise CVHXFileRigakuBadRange; an intensity that is not a
  // number, or fewer intensities than the count, raise CVHXFileRigakuBadYValue.
  void ReadObservedData(CObservedData& data) override;
};
