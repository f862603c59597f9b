// The profile file: a pattern's curve as two columns of text (x with as many decimals as the
// grid needs, at least 4, a tab, the intensity in exponent form) under the listing header. Written
// from any pattern; read back as points, which become an observed pattern.
#pragma once

#include <string>

#include "files/stdio_file.h"
#include "files/tess_file.h"
#include "patterns/profile.h"

class CPlotSpec;
class CTSPattern;

// The decimals that tell neighbouring x values of a profile apart: enough for a tenth of its
// step, and at least 4 (at 72000 points a 1/d grid steps by 0.00002, where 4 decimals would
// write runs of equal x).
int ProfileXDecimals(const CProfile& profile);

class CTSProfileFile : public CVHStdioFile<CTessFile> {
 public:
  static constexpr unsigned kTypeId = 13;

  CTSProfileFile() { SetKind(kTypeId); }

  // The content probe: a line that contains "intensity" (in any case), followed by lines of two
  // numbers.
  static unsigned Recognise(const std::string& path);

  // The file's text for a pattern: the header with the pattern's title, then every point of the
  // profile whose x lies within the plot's x range (limits included), with the intensity as the
  // pattern displays it (scaled, weighted and offset). A profile of 4 points or fewer raises
  // CVHXFileProfileTooFewPoints.
  static std::string ProfileText(const CTSPattern& pattern, const CPlotSpec& plotSpec);
  // The same for other points of the pattern, such as its profile on the calculation grid.
  static std::string ProfileText(const CTSPattern& pattern, const CProfile& profile, const CPlotSpec& plotSpec);
  // Writes that text to the open file, under the status "Writing profile file...".
  void WriteProfile(const CTSPattern& pattern, const CPlotSpec& plotSpec);
  void WriteProfile(const CTSPattern& pattern, const CProfile& profile, const CPlotSpec& plotSpec);

  // Reads the points of the open file, under the status "Reading from Profile file...": every
  // line that gives two numbers, the header of a file of ours passed over. No point at all
  // raises CVHXFileNoData.
  CProfile ReadPoints();
  // The points as observed data, without errors.
  void ReadObservedData(CObservedData& data) override;
};
