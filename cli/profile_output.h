// What simulate writes for each pattern: its profile in the format the output's extension
// names, and its peak table.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "patterns/profile.h"

class CPlotSpec;
class CTSPattern;
struct CTSReflexion;

// The profile within the plot's x range, as the pattern displays it: ".xy" two columns under
// '#' lines naming program, radiation, axis and profile; ".xye" the same with the errors of
// observed data as a third column (when they are known); ".csv" a header row and comma-separated
// columns; any other extension the profile file; "-" the profile file on `out`. `errors` holds
// one error per profile point, or none.
void WriteProfileOutput(const std::string& path, const CTSPattern& pattern, const CProfile& profile,
                        const std::vector<double>& errors, const CPlotSpec& plot,
                        std::ostream& out);

// The reflexions within the plot's x range as a comma-separated table: h, k, l, d, position,
// intensity, intensity relative to the strongest in range, multiplicity.
void WritePeakTable(const std::string& path,
                    const std::vector<std::shared_ptr<CTSReflexion>>& reflexions,
                    const CPlotSpec& plot, std::ostream& out);

// The reflexions whose positions lie within the plot's x range, in list order.
std::vector<std::shared_ptr<CTSReflexion>> ReflexionsInRange(
    const std::vector<std::shared_ptr<CTSReflexion>>& reflexions, const CPlotSpec& plot);
