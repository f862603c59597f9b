#include "files/listing_files.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "app/status.h"
#include "crystal/crystal.h"
#include "crystal/vector.h"
#include "diffraction/reflexion.h"
#include "errors/exceptions.h"
#include "files/listing_header.h"
#include "patterns/plot_spec.h"

namespace {

const CTessFile::CRegistrar kListingRegistrar({CTSListingFile::kTypeId}, nullptr, &CTessFile::Make<CTSListingFile>);
const CTessFile::CRegistrar kStructFacRegistrar({CTSStructFacFile::kTypeId}, nullptr,
                                                &CTessFile::Make<CTSStructFacFile>);

const std::string kSeparator = std::string(88, '*') + "\n";

constexpr const char* kReflexionHeading =
    "  h   k   l   d(hkl)    2-Theta     Intensity  I/Imax   m     N        Lp";
constexpr const char* kStructureFactorHeading =
    "ref no.   h   k   l   d(hkl)    Phase       Lp     F(Re)    F(Im)  Intensity";

// Appends one printf-formatted line, written the same in every locale.
template <class... Values>
void AppendLine(std::string& text, std::string_view format, const Values&... values) {
  text += Formatted(format, values...);
  text += '\n';
}

void AppendReflexionLines(std::string& text, const CTSCrystal& crystal, const CPlotSpec& twoTheta) {
  for (const auto& pointer : crystal.reflexions) {
    const CTSReflexion& r = *pointer;
    AppendLine(text, "%3d %3d %3d %9.5f  %8.4f  %12.5e %6.1f%% %3d  %4d  %8.3f", r.h, r.k, r.l, r.d,
               twoTheta.DToX(r.d), r.intensity, 100.0 * r.relativeIntensity, r.multiplicity, r.n, r.lp);
  }
}

void AppendStructureFactorLines(std::string& text, const CTSCrystal& crystal) {
  int number = 0;
  for (const auto& pointer : crystal.reflexions) {
    const CTSReflexion& r = *pointer;
    AppendLine(text, "[%4d] %4d%4d%4d %8.4f %8.3f %8.2f %8.2f %8.2f %12.5e", ++number, r.h, r.k, r.l, r.d,
               ListedPhaseDegrees(r.phase), r.lp, r.fReal, r.fImaginary, r.intensity);
  }
}

}  // namespace

std::string ListingText(CListingKind kind, const std::vector<CListingBlock>& blocks, const CPlotSpec& plotSpec,
                        std::string_view title) {
  if (blocks.empty()) return {};
  // The reflexion listing always shows 2θ: the positions for the plot's own axis will not do.
  CPlotSpec twoTheta = plotSpec;
  twoTheta.SetAxisType(VHTypes::kAxisTwoTheta);

  std::string text = ListingHeader(title);
  for (const CListingBlock& block : blocks) {
    text.append(block.title).append("\n");
    text.append(kind == CListingKind::kReflexions ? kReflexionHeading : kStructureFactorHeading).append("\n\n");
    if (kind == CListingKind::kReflexions) {
      AppendReflexionLines(text, block.crystal, twoTheta);
    } else {
      AppendStructureFactorLines(text, block.crystal);
    }
    text += kSeparator;
  }
  return text;
}

double ListedPhaseDegrees(double phase) {
  double degrees = std::fmod(phase * VHTypes::kRadiansToDegrees, 360.0);
  if (degrees < 0.0) degrees += 360.0;
  // Just below a full turn the three printed decimals would round up to 360.000.
  return degrees >= 359.9995 ? 0.0 : degrees;
}

CTSReflexionListingFile::CTSReflexionListingFile(unsigned typeId, CListingKind kind, const char* statusText)
    : m_kind(kind), m_statusText(statusText) {
  SetKind(typeId);
}

void CTSReflexionListingFile::WriteListing(const std::vector<CListingBlock>& blocks, const CPlotSpec& plotSpec,
                                           std::string_view title) {
  CStatus status(m_statusText);
  WriteString(ListingText(m_kind, blocks, plotSpec, title));
}

CTSListingFile::CTSListingFile()
    : CTSReflexionListingFile(kTypeId, CListingKind::kReflexions, "Writing reflexions listing file...") {}

CTSStructFacFile::CTSStructFacFile()
    : CTSReflexionListingFile(kTypeId, CListingKind::kStructureFactors, "Writing structure factors file...") {}

void WriteListingFile(const std::string& path, CListingKind kind, const std::vector<CListingBlock>& blocks,
                      const CPlotSpec& plotSpec, std::string_view title) {
  std::unique_ptr<CTSReflexionListingFile> file;
  if (kind == CListingKind::kReflexions) {
    file = std::make_unique<CTSListingFile>();
  } else {
    file = std::make_unique<CTSStructFacFile>();
  }
  CFileError openError;
  if (!file->Open(path, CFile::kModeWrite | CFile::kModeCreate | CFile::kTypeText, &openError))
    throw CVHXFileNotOpen(kSeverityMessage, openError.code);
  file->WriteListing(blocks, plotSpec, title);
  file->Close();
}
