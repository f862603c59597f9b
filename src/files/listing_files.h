// The two listings of calculated reflexions: the reflexion listing (indices, d-spacing, 2θ,
// intensities, multiplicity, Lp) and the structure-factor listing (phase, real and imaginary
// parts of F). Each opens with the listing header and holds one block per crystal, in the
// order given. Both formats are written only.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "files/stdio_file.h"
#include "files/tess_file.h"

class CPlotSpec;
class CTSCrystal;

// One crystal of a listing: the title its block is headed with and the crystal, whose
// reflexion list has been calculated against the plot specification given with the blocks.
struct CListingBlock {
  std::string title;
  std::reference_wrapper<const CTSCrystal> crystal;
};

enum class CListingKind { kReflexions, kStructureFactors };

// The whole text of a listing: the header, then per block its title, the column heading, an
// empty line, one line per reflexion and a closing separator. Empty when there are no blocks.
// The 2θ column is computed from d and the plot specification's wavelength in effect,
// whatever its axis.
std::string ListingText(CListingKind kind, const std::vector<CListingBlock>& blocks, const CPlotSpec& plotSpec,
                        std::string_view title = {});

// A phase in radians as the structure-factor listing prints it: degrees in [0, 360), where a
// value that would print as 360.000 prints as 0.000.
double ListedPhaseDegrees(double phase);

// The file of one listing kind. WriteListing raises CVHXFileNotOpen on a file that is not open;
// failures of the platform stream come from the text layer as system errors (CVHXMFC).
class CTSReflexionListingFile : public CVHStdioFile<CTessFile> {
 public:
  void WriteListing(const std::vector<CListingBlock>& blocks, const CPlotSpec& plotSpec,
                    std::string_view title = {});

 protected:
  CTSReflexionListingFile(unsigned typeId, CListingKind kind, const char* statusText);

 private:
  CListingKind m_kind;
  const char* m_statusText;
};

class CTSListingFile final : public CTSReflexionListingFile {
 public:
  static constexpr unsigned kTypeId = 14;
  CTSListingFile();
};

class CTSStructFacFile final : public CTSReflexionListingFile {
 public:
  static constexpr unsigned kTypeId = 15;
  CTSStructFacFile();
};

// Writes a listing into a new file at `path`, replacing any file there. Raises CVHXFileNotOpen
// with the system's error code when the file cannot be created.
void WriteListingFile(const std::string& path, CListingKind kind, const std::vector<CListingBlock>& blocks,
                      const CPlotSpec& plotSpec, std::string_view title = {});
