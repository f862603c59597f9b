// The blocks of the current session format: window state, plot specification and patterns,
// written with the record writers and read with the record-map reader. Used by the session file;
// the header, the order of the blocks and the trailer are its own.
#pragma once

#include <cstdint>
#include <string>

#include "files/session.h"
#include "files/vhfile.h"

namespace VHSessionRecords {

inline constexpr uint32_t kTagWindow = MakeTag("WINS");
inline constexpr uint32_t kTagPlot = MakeTag("PLOT");
inline constexpr uint32_t kTagPatterns = MakeTag("PATS");
inline constexpr uint32_t kTagType = MakeTag("TYPE");
inline constexpr uint32_t kTagPattern = MakeTag("PATN");
inline constexpr uint32_t kTagComponents = MakeTag("CHLD");
inline constexpr uint32_t kTagCrystal = MakeTag("CRYS");

// The contents of the blocks; the caller writes and back-patches the block's own record.
void WriteWindowRecords(CVHFile& file, const CWindowState& window);
void WritePlotRecords(CVHFile& file, const CPlotSpec& plotSpec, const CPlotDisplay& display);
// One entry per pattern: "TYPE" and the pattern's block, a mixture's components nested in it.
void WritePatternEntries(CVHFile& file, const CPatternList& patterns);

// Read a block's records from the current position: `length` bytes that must add up exactly.
// Fields the block does not hold keep what they had.
void ReadWindowBlock(CVHFile& file, uint64_t length, CWindowState& window);
void ReadPlotBlock(CVHFile& file, uint64_t length, CPlotSpec& plotSpec, CPlotDisplay& display);
// Appends the patterns of the entries. An entry that does not begin with "TYPE" raises
// CVHXFileSessionDataExpected and an unknown type CVHXFileSessionUnknownPattern, both naming
// `fileName`.
void ReadPatternEntries(CVHFile& file, uint64_t length, const std::string& fileName,
                        CPatternList& patterns);

}  // namespace VHSessionRecords
