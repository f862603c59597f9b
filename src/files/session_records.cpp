#include "files/session_records.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "crystal/crystal.h"
#include "crystal/thermal.h"
#include "diffraction/reflexion.h"
#include "diffraction/scattering_table.h"
#include "errors/exceptions.h"
#include "files/crystal_checks.h"
#include "files/records.h"
#include "patterns/component_links.h"
#include "patterns/crystal_pattern.h"
#include "patterns/mixture_pattern.h"
#include "patterns/observed_pattern.h"

using VHTypes::CVector;

template <>
struct CRecordTag<VHTypes::TSAxisType> {
  static constexpr uint32_t kTag = kTagAxisType;
};
template <>
struct CRecordTag<VHTypes::TSSimulationType> {
  static constexpr uint32_t kTag = kTagSimulationType;
};
template <>
struct CRecordTag<VHTypes::TSProfileType> {
  static constexpr uint32_t kTag = kTagProfileType;
};
template <>
struct CRecordTag<VHTypes::TSFilmType> {
  static constexpr uint32_t kTag = kTagFilmType;
};
template <>
struct CRecordTag<VHTypes::TSLabelAlignment> {
  static constexpr uint32_t kTag = kTagLabelAlignment;
};

namespace VHSessionRecords {

namespace {

// Mixtures are never made of mixtures, but a file may nest them; this bounds the recursion a
// damaged file can ask for.
constexpr int kMaxNesting = 16;
// No space group has more general positions; a longer list is a damaged count.
constexpr uint32_t kMaxOperators = 192;

constexpr std::string_view kCrystalType = "Sim";
constexpr std::string_view kObservedType = "Obs";
constexpr std::string_view kMixtureType = "Mix";

// The smallest stored items, for checking counts against what a record can hold.
constexpr uint64_t kSpeciesBytes = 1 + 4;                    // empty symbol, occupancy
constexpr uint64_t kSiteBytes = 1 + 1 + 1 + 12 + 4 + 1 + 1;  // nothing optional
constexpr uint64_t kPositionBytes = 12;
constexpr uint64_t kOperatorBytes = 9 * 4 + 3 * 8;
constexpr uint64_t kReflexionBytes = 5 * 4 + 9 * 4;
constexpr uint64_t kPointBytes = 2 * 8;
constexpr uint64_t kNodeBytes = 6 * 8;
constexpr uint64_t kNameBytes = 4;

void WriteRecordHeader(CVHFile& file, uint32_t tag, uint32_t length) {
  file.WriteTag(tag);
  file.WriteValue(length);
}

void WriteInt32Record(CVHFile& file, uint32_t tag, int32_t value) {
  WriteUInt32Record(file, tag, static_cast<uint32_t>(value));
}

void WriteDoubles(CVHFile& file, std::initializer_list<double> values) {
  for (const double value : values) file.WriteValue(value);
}

void WriteFloats(CVHFile& file, std::initializer_list<double> values) {
  for (const double value : values) file.WriteValue(static_cast<float>(value));
}

// UTF-8 of at most 255 bytes behind its 8-bit length. Longer text, which no label or element
// symbol reaches, is cut at a character boundary.
void WriteShortText(CVHFile& file, std::string_view text) {
  size_t bytes = std::min<size_t>(text.size(), 255);
  while (bytes > 0 && bytes < text.size() && (static_cast<uint8_t>(text[bytes]) & 0xC0) == 0x80)
    --bytes;
  file.WriteValue(static_cast<uint8_t>(bytes));
  file.WriteUTF8(text.substr(0, bytes));
}

// Structured data of one record: every count is checked against the bytes left in it before
// anything is allocated, and numbers that are not finite are refused.
class CRecordData {
 public:
  CRecordData(CVHFile& file, uint64_t length) : m_file(file), m_end(file.GetPosition() + length) {}

  template <class T>
  T Read() {
    return m_file.ReadValue<T>();
  }
  double ReadFloat() { return Finite(m_file.ReadValue<float>()); }
  double ReadDouble() { return Finite(m_file.ReadValue<double>()); }
  CVector ReadFloatPoint() {
    CVector p;
    p.x = ReadFloat();
    p.y = ReadFloat();
    p.z = ReadFloat();
    return p;
  }
  CVector ReadDoublePoint() {
    CVector p;
    p.x = ReadDouble();
    p.y = ReadDouble();
    p.z = ReadDouble();
    return p;
  }
  std::string ReadText(uint64_t bytes) {
    RequireRoom(bytes, 1);
    return m_file.ReadUTF8(static_cast<size_t>(bytes));
  }
  std::string ReadShortText() { return ReadText(Read<uint8_t>()); }
  // Raises CVHXFileInvalid unless `count` items of at least `itemBytes` each fit in the rest.
  void RequireRoom(uint64_t count, uint64_t itemBytes) const {
    const uint64_t position = m_file.GetPosition();
    const uint64_t remaining = position < m_end ? m_end - position : 0;
    if (count > remaining / itemBytes) throw CVHXFileInvalid();
  }

 private:
  template <class T>
  static double Finite(T value) {
    if (!std::isfinite(value)) throw CVHXFileConversionErr();
    return value;
  }

  CVHFile& m_file;
  uint64_t m_end;
};

// A record of a known tag whose value is not what its tag stores.
void RequireLength(uint32_t length, uint32_t expected) {
  if (length != expected) throw CVHXFileInvalid();
}

double RequireFinite(double value) {
  if (!std::isfinite(value)) throw CVHXFileConversionErr();
  return value;
}

}  // namespace

// --- Window state -----------------------------------------------------------------------------

void WriteWindowRecords(CVHFile& file, const CWindowState& window) {
  WriteBoolRecord(file, MakeTag("*PAT"), window.showPatterns);
  WriteBoolRecord(file, MakeTag("*PRM"), window.showParameters);
  WriteBoolRecord(file, MakeTag("*REF"), window.showReflexions);
  WriteInt32Record(file, MakeTag("PATW"), window.patternsWidth);
  WriteFloatRecord(file, MakeTag("REFH"), window.reflexionsHeight);
  WriteInt32Record(file, MakeTag("ITab"), window.inspectorTab);
  const uint64_t panes = file.BeginBlock(MakeTag("VPAN"));
  file.WriteValue(static_cast<uint32_t>(window.visiblePanes.size()));
  for (const std::string& name : window.visiblePanes) {
    file.WriteValue(static_cast<uint32_t>(name.size()));
    file.WriteUTF8(name);
  }
  file.BackPatchLength(panes);
  WriteRecordHeader(file, MakeTag("RECT"), 32);
  WriteDoubles(file, {window.rect.left, window.rect.top, window.rect.right, window.rect.bottom});
}

void ReadWindowBlock(CVHFile& file, uint64_t length, CWindowState& window) {
  CWindowState read = window;
  CRecordMapReader reader(file);
  reader.Add<bool>(MakeTag("*PAT"), &read.showPatterns);
  reader.Add<bool>(MakeTag("*PRM"), &read.showParameters);
  reader.Add<bool>(MakeTag("*REF"), &read.showReflexions);
  reader.Add<int, int>(MakeTag("PATW"), &read.patternsWidth);
  reader.Add<double, float>(MakeTag("REFH"), &read.reflexionsHeight);
  reader.Add<int, int>(MakeTag("ITab"), &read.inspectorTab);
  reader.AddHandler(MakeTag("VPAN"), [&](uint32_t bytes) {
    CRecordData data(file, bytes);
    const auto count = data.Read<uint32_t>();
    data.RequireRoom(count, kNameBytes);
    // Grown as names are read: an empty name takes far fewer bytes in the file than in memory.
    std::vector<std::string> names;
    for (uint32_t i = 0; i < count; ++i) names.push_back(data.ReadText(data.Read<uint32_t>()));
    read.visiblePanes = std::move(names);
  });
  reader.AddHandler(MakeTag("RECT"), [&](uint32_t bytes) {
    RequireLength(bytes, 32);
    CRecordData data(file, bytes);
    read.rect = {data.ReadDouble(), data.ReadDouble(), data.ReadDouble(), data.ReadDouble()};
  });
  reader.ReadBlock(length);
  RequireFinite(read.reflexionsHeight);
  window = std::move(read);
}

// --- Plot specification -----------------------------------------------------------------------

void WritePlotRecords(CVHFile& file, const CPlotSpec& spec, const CPlotDisplay& display) {
  WriteTextRecord(file, MakeTag("TXNM"), display.fontName);
  WriteFloatRecord(file, MakeTag("TXSZ"), display.fontSize);
  WriteColorRecord(file, MakeTag("TXCL"), display.textColour);
  WriteTextRecord(file, MakeTag("XLBL"), display.xAxisName);
  WriteTextRecord(file, MakeTag("XUni"), display.xAxisUnit);
  WriteTextRecord(file, MakeTag("YLBL"), display.intensityName);
  WriteTextRecord(file, MakeTag("TITL"), display.title);
  WriteColorRecord(file, MakeTag("GRCL"), display.gridColour);
  WriteColorRecord(file, MakeTag("GBCL"), display.graphBackgroundColour);
  WriteBoolRecord(file, MakeTag("*GBk"), display.graphBackground);
  WriteBoolRecord(file, MakeTag("LOG?"), display.logarithmicY);
  WriteBoolRecord(file, MakeTag("*GRD"), display.gridlines);
  WriteBoolRecord(file, MakeTag("*LGD"), display.legend);
  WriteBoolRecord(file, MakeTag("*TIT"), display.showTitle);
  WriteBoolRecord(file, MakeTag("*TIP"), display.peakTips);
  WriteBoolRecord(file, MakeTag("FLM?"), display.film);
  WriteFloatRecord(file, MakeTag("FLMG"), display.filmGamma);
  WriteFloatRecord(file, MakeTag("XMIN"), display.xMin);
  WriteFloatRecord(file, MakeTag("XMAX"), display.xMax);
  WriteFloatRecord(file, MakeTag("YMIN"), display.yMin);
  WriteFloatRecord(file, MakeTag("YMAX"), display.yMax);
  WriteFloatRecord(file, MakeTag("LMIN"), spec.XMin());
  WriteFloatRecord(file, MakeTag("LMAX"), spec.XMax());
  WriteFloatRecord(file, MakeTag("DMIN"), spec.DMin());
  WriteBoolRecord(file, MakeTag("MAX?"), spec.RestrictMaxNumRefs());
  WriteInt32Record(file, MakeTag("MAXR"), spec.MaxNumRefs());
  WriteUInt32Record(file, MakeTag("NPTS"),
                    static_cast<uint32_t>(std::min<uint64_t>(spec.ProfilePoints(), UINT32_MAX)));
  WriteFloatRecord(file, MakeTag("FTTH"), spec.TTHPeakWidth());
  WriteBoolRecord(file, MakeTag("MON?"), spec.Monochromatic());
  WriteFloatRecord(file, MakeTag("LAM1"), spec.Lambda());
  WriteFloatRecord(file, MakeTag("LAM2"), spec.Lambda2());
  WriteFloatRecord(file, MakeTag("LAMR"), spec.LambdaRatio());
  WriteFloatRecord(file, MakeTag("TEDX"), spec.EDXTheta());
  WriteFloatRecord(file, MakeTag("FEDX"), spec.EDXPeakWidth());
  WriteFloatRecord(file, MakeTag("TTOF"), spec.TOFTheta());
  WriteFloatRecord(file, MakeTag("DTOF"), spec.TOFDistance());
  WriteFloatRecord(file, MakeTag("RTOF"), spec.TOFResolution());
  WriteFloatRecord(file, MakeTag("eLAM"), spec.LambdaTEM());
  WriteFloatRecord(file, MakeTag("FTEM"), spec.PeakWidthTEM());
  WriteFloatRecord(file, MakeTag("PETA"), spec.Eta());
  WriteFloatRecord(file, MakeTag("XCUR"), display.cursorX);
  WriteFloatRecord(file, MakeTag("LUMg"), display.loupeMagnification);
  WriteBoolRecord(file, MakeTag("!OVL"), display.showOverlay);
  WriteBoolRecord(file, MakeTag("!PLB"), display.peakLabels);
  WriteEnumRecord(file, spec.AxisType());
  WriteEnumRecord(file, spec.SimulationType());
  WriteEnumRecord(file, spec.ProfileType());
  WriteEnumRecord(file, display.filmType);
  // Known to every reader of the format, though the list above leaves them out.
  WriteFloatRecord(file, MakeTag("FWHM"), display.fwhm);
  WriteRecordHeader(file, MakeTag("LUPt"), 8);
  WriteFloats(file, {display.loupePoint.x, display.loupePoint.y});
  WriteRecordHeader(file, MakeTag("LUSz"), 8);
  WriteFloats(file, {display.loupeSize.x, display.loupeSize.y});
  // Ours: the label font's style.
  WriteUInt32Record(file, MakeTag("TXST"), display.fontStyle);
}

void ReadPlotBlock(CVHFile& file, uint64_t length, CPlotSpec& plotSpec, CPlotDisplay& display) {
  // The radiation fields are set through the plot specification's setters once all are read,
  // so that its derived factors follow them.
  struct CStaged {
    VHTypes::TSSimulationType simulation;
    VHTypes::TSProfileType profile;
    VHTypes::TSAxisType axis;
    std::optional<double> xMin, xMax;
    double dMin;
    bool restrict;
    int maxRefs;
    uint32_t points;
    double tthWidth;
    bool monochromatic;
    double lambda, lambda2, ratio, edxTheta, edxWidth, tofTheta, tofDistance, tofResolution;
    double lambdaTEM, widthTEM, eta;
  } s{plotSpec.SimulationType(),
      plotSpec.ProfileType(),
      plotSpec.AxisType(),
      {},
      {},
      plotSpec.DMin(),
      plotSpec.RestrictMaxNumRefs(),
      plotSpec.MaxNumRefs(),
      static_cast<uint32_t>(std::min<uint64_t>(plotSpec.ProfilePoints(), UINT32_MAX)),
      plotSpec.TTHPeakWidth(),
      plotSpec.Monochromatic(),
      plotSpec.Lambda(),
      plotSpec.Lambda2(),
      plotSpec.LambdaRatio(),
      plotSpec.EDXTheta(),
      plotSpec.EDXPeakWidth(),
      plotSpec.TOFTheta(),
      plotSpec.TOFDistance(),
      plotSpec.TOFResolution(),
      plotSpec.LambdaTEM(),
      plotSpec.PeakWidthTEM(),
      plotSpec.Eta()};
  CPlotDisplay d = display;

  CRecordMapReader reader(file);
  const auto text = [&](std::string& destination) {
    return [&file, &destination](uint32_t bytes) { destination = file.ReadUTF8(bytes); };
  };
  const auto optionalFloat = [&](std::optional<double>& destination) {
    return [&file, &destination](uint32_t bytes) {
      RequireLength(bytes, 4);
      destination = file.ReadValue<float>();
    };
  };
  const auto point = [&](VHTypes::CPointT<float>& destination) {
    return [&file, &destination](uint32_t bytes) {
      RequireLength(bytes, 8);
      destination.x = file.ReadValue<float>();
      destination.y = file.ReadValue<float>();
    };
  };
  reader.AddHandler(MakeTag("TXNM"), text(d.fontName));
  reader.Add<float>(MakeTag("TXSZ"), &d.fontSize);
  reader.Add<CColor>(MakeTag("TXCL"), &d.textColour);
  reader.AddHandler(MakeTag("XLBL"), text(d.xAxisName));
  reader.AddHandler(MakeTag("XUni"), text(d.xAxisUnit));
  reader.AddHandler(MakeTag("YLBL"), text(d.intensityName));
  reader.AddHandler(MakeTag("TITL"), text(d.title));
  reader.Add<CColor>(MakeTag("GRCL"), &d.gridColour);
  reader.Add<CColor>(MakeTag("GBCL"), &d.graphBackgroundColour);
  reader.Add<bool>(MakeTag("*GBk"), &d.graphBackground);
  reader.Add<bool>(MakeTag("LOG?"), &d.logarithmicY);
  reader.Add<bool>(MakeTag("*GRD"), &d.gridlines);
  reader.Add<bool>(MakeTag("*LGD"), &d.legend);
  reader.Add<bool>(MakeTag("*TIT"), &d.showTitle);
  reader.Add<bool>(MakeTag("*TIP"), &d.peakTips);
  reader.Add<bool>(MakeTag("FLM?"), &d.film);
  reader.Add<double, float>(MakeTag("FLMG"), &d.filmGamma);
  reader.Add<double, float>(MakeTag("XMIN"), &d.xMin);
  reader.Add<double, float>(MakeTag("XMAX"), &d.xMax);
  reader.Add<double, float>(MakeTag("YMIN"), &d.yMin);
  reader.Add<double, float>(MakeTag("YMAX"), &d.yMax);
  reader.AddHandler(MakeTag("LMIN"), optionalFloat(s.xMin));
  reader.AddHandler(MakeTag("LMAX"), optionalFloat(s.xMax));
  reader.Add<double, float>(MakeTag("DMIN"), &s.dMin);
  reader.Add<bool>(MakeTag("MAX?"), &s.restrict);
  reader.Add<int, unsigned>(MakeTag("MAXR"), &s.maxRefs);
  reader.Add<unsigned>(MakeTag("NPTS"), &s.points);
  reader.Add<double, float>(MakeTag("FTTH"), &s.tthWidth);
  reader.Add<bool>(MakeTag("MON?"), &s.monochromatic);
  reader.Add<double, float>(MakeTag("LAM1"), &s.lambda);
  reader.Add<double, float>(MakeTag("LAM2"), &s.lambda2);
  reader.Add<double, float>(MakeTag("LAMR"), &s.ratio);
  reader.Add<double, float>(MakeTag("TEDX"), &s.edxTheta);
  reader.Add<double, float>(MakeTag("FEDX"), &s.edxWidth);
  reader.Add<double, float>(MakeTag("TTOF"), &s.tofTheta);
  reader.Add<double, float>(MakeTag("DTOF"), &s.tofDistance);
  reader.Add<double, float>(MakeTag("RTOF"), &s.tofResolution);
  reader.Add<double, float>(MakeTag("eLAM"), &s.lambdaTEM);
  reader.Add<double, float>(MakeTag("FTEM"), &s.widthTEM);
  reader.Add<double, float>(MakeTag("PETA"), &s.eta);
  reader.Add<double, float>(MakeTag("XCUR"), &d.cursorX);
  reader.Add<double, float>(MakeTag("LUMg"), &d.loupeMagnification);
  reader.Add<bool>(MakeTag("!OVL"), &d.showOverlay);
  reader.Add<bool>(MakeTag("!PLB"), &d.peakLabels);
  reader.Add<VHTypes::TSAxisType, uint8_t>(kTagAxisType, &s.axis);
  reader.Add<VHTypes::TSSimulationType, uint8_t>(kTagSimulationType, &s.simulation);
  reader.Add<VHTypes::TSProfileType, uint8_t>(kTagProfileType, &s.profile);
  reader.Add<VHTypes::TSFilmType, uint8_t>(kTagFilmType, &d.filmType);
  reader.Add<double, float>(MakeTag("FWHM"), &d.fwhm);
  reader.AddHandler(MakeTag("LUPt"), point(d.loupePoint));
  reader.AddHandler(MakeTag("LUSz"), point(d.loupeSize));
  reader.Add<unsigned>(MakeTag("TXST"), &d.fontStyle);
  reader.ReadBlock(length);

  // Every number the calculation or the plot computes with must be one.
  for (const double value : {s.dMin,
                             s.tthWidth,
                             s.lambda,
                             s.lambda2,
                             s.ratio,
                             s.edxTheta,
                             s.edxWidth,
                             s.tofTheta,
                             s.tofDistance,
                             s.tofResolution,
                             s.lambdaTEM,
                             s.widthTEM,
                             s.eta,
                             d.filmGamma,
                             d.xMin,
                             d.xMax,
                             d.yMin,
                             d.yMax,
                             d.cursorX,
                             d.loupeMagnification,
                             d.fwhm,
                             s.xMin.value_or(0.0),
                             s.xMax.value_or(0.0)})
    RequireFinite(value);

  CPlotSpec spec = plotSpec;
  spec.SetSimulationType(s.simulation);
  spec.SetProfileType(s.profile);
  spec.SetAxisType(s.axis);  // a new axis brings its own range, unless the file gives one
  spec.SetXRange(s.xMin.value_or(spec.XMin()), s.xMax.value_or(spec.XMax()));
  spec.SetDMin(s.dMin);
  spec.SetRestrictMaxNumRefs(s.restrict);
  spec.SetMaxNumRefs(s.maxRefs);
  spec.SetProfilePoints(s.points);
  spec.SetTTHPeakWidth(s.tthWidth);
  spec.SetMonochromatic(s.monochromatic);
  spec.SetLambda(s.lambda);
  spec.SetLambda2(s.lambda2);
  spec.SetLambdaRatio(s.ratio);
  spec.SetEDXTheta(s.edxTheta);
  spec.SetEDXPeakWidth(s.edxWidth);
  spec.SetTOFTheta(s.tofTheta);
  spec.SetTOFDistance(s.tofDistance);
  spec.SetTOFResolution(s.tofResolution);
  spec.SetLambdaTEM(s.lambdaTEM);
  spec.SetPeakWidthTEM(s.widthTEM);
  spec.SetEta(s.eta);
  plotSpec = spec;
  display = std::move(d);
}

// --- Crystal ----------------------------------------------------------------------------------

namespace {

void WriteCrystalBlock(CVHFile& file, const CTSCrystal& crystal) {
  const uint64_t block = file.BeginBlock(kTagCrystal);
  WriteFloatRecord(file, MakeTag("DENS"), crystal.density);
  WriteBoolRecord(file, MakeTag("ELL?"), crystal.useDisplacementParameters);
  WriteFloatRecord(file, MakeTag("IMAX"), crystal.maximumIntensity);
  WriteFloatRecord(file, MakeTag("SIZE"), crystal.particleSize);
  WriteBoolRecord(file, MakeTag("CEN?"), crystal.centrosymmetric);
  WriteFloatRecord(file, MakeTag("STRN"), crystal.isotropicStrain);
  WriteFloatRecord(file, MakeTag("DVOL"), crystal.volume);
  WriteInt32Record(file, MakeTag("POC#"), crystal.preferredOrientationGeometry);
  WriteBoolRecord(file, MakeTag("POC?"), crystal.usePreferredOrientation);
  WriteInt32Record(file, MakeTag("POV#"), crystal.preferredOrientationVectorType);
  WriteRecordHeader(file, MakeTag("POVe"), 24);
  const CVector& v = crystal.preferredOrientationVector;
  WriteDoubles(file, {v.x, v.y, v.z});
  WriteFloatRecord(file, MakeTag("POAm"), crystal.preferredOrientationAlignment);
  // Ours: what the list above leaves to be derived, and the rules the positions follow.
  WriteFloatRecord(file, MakeTag("PONm"), crystal.preferredOrientationNormalisation);
  WriteInt32Record(file, MakeTag("KIND"), crystal.kind);
  WriteByteRecord(file, kTagOrigin, static_cast<uint8_t>(crystal.originChoice));
  WriteByteRecord(file, MakeTag("LATC"), static_cast<uint8_t>(crystal.latticeLetter));
  WriteBoolRecord(file, MakeTag("ADP?"), crystal.hasDisplacementParameters);
  WriteBoolRecord(file, MakeTag("LGCY"), crystal.legacyRules);

  WriteRecordHeader(file, MakeTag("DCEL"), 24);
  WriteFloats(file, {crystal.a, crystal.b, crystal.c, crystal.alpha, crystal.beta, crystal.gamma});
  WriteRecordHeader(file, MakeTag("RCEL"), 24);
  WriteFloats(file, {crystal.aStar, crystal.bStar, crystal.cStar, crystal.alphaStar,
                     crystal.betaStar, crystal.gammaStar});
  WriteRecordHeader(file, MakeTag("OSHF"), 24);
  const CVector& o = crystal.originOffset;
  WriteDoubles(file, {o.x, o.y, o.z});
  WriteTextRecord(file, MakeTag("SPGR"), crystal.spaceGroupSymbol);

  // Counts beyond what their fields hold: no crystal comes near them.
  if (crystal.symmetryOperators.size() > UINT16_MAX) throw CVHXFile(kSeverityMessage, EOVERFLOW);
  const uint64_t operators = file.BeginBlock(MakeTag("GEPS"));
  file.WriteValue(static_cast<uint16_t>(crystal.symmetryOperators.size()));
  for (const CTSSymOp& op : crystal.symmetryOperators) {
    for (const double r : op.Rotation()) file.WriteValue(static_cast<int32_t>(std::lround(r)));
    const CVector& t = op.Translation();
    WriteDoubles(file, {t.x, t.y, t.z});
  }
  file.BackPatchLength(operators);

  const uint64_t sites = file.BeginBlock(MakeTag("AUNI"));
  file.WriteValue(static_cast<uint32_t>(crystal.sites.size()));
  for (const CTSSite& site : crystal.sites) {
    if (site.atoms.size() > UINT8_MAX) throw CVHXFile(kSeverityMessage, EOVERFLOW);
    file.WriteValue(static_cast<uint8_t>(site.atoms.size()));
    for (const CTSAtom& atom : site.atoms) {
      WriteShortText(file, atom.symbol);
      file.WriteValue(static_cast<float>(atom.occupancy));
    }
    file.WriteValue<uint8_t>(site.flag ? 1 : 0);
    WriteShortText(file, site.label);
    WriteFloats(file, {site.x, site.y, site.z});
    file.WriteValue(static_cast<uint32_t>(site.positions.size()));
    for (const CVector& p : site.positions) WriteFloats(file, {p.x, p.y, p.z});
    file.WriteValue<uint8_t>(site.included ? 1 : 0);
    file.WriteValue<uint8_t>(site.displacement ? 1 : 0);
    if (!site.displacement) continue;
    file.WriteValue(static_cast<float>(site.displacement->U()));
    const auto* anisotropic =
        dynamic_cast<const CTSAnisoThermalEllipsoid*>(site.displacement.get());
    file.WriteValue<uint8_t>(anisotropic ? 1 : 0);
    if (anisotropic)
      for (const double beta : anisotropic->Beta()) file.WriteValue(beta);
  }
  file.BackPatchLength(sites);

  const uint64_t reflexions = file.BeginBlock(MakeTag("REFS"));
  file.WriteValue(static_cast<uint32_t>(crystal.reflexions.size()));
  for (const auto& reflexion : crystal.reflexions) {
    const CTSReflexion& r = *reflexion;
    for (const int32_t value : {r.h, r.k, r.l, r.multiplicity, r.n}) file.WriteValue(value);
    WriteFloats(file, {r.d, r.position, r.intensity, r.relativeIntensity, r.phase, r.fReal,
                       r.fImaginary, r.lp, r.halfWidth});
  }
  file.BackPatchLength(reflexions);
  file.BackPatchLength(block);
}

// A site as "AUNI" stores it.
CTSSite ReadSite(CRecordData& data, CScatteringMatcher& matcher) {
  CTSSite site;
  const auto species = data.Read<uint8_t>();
  data.RequireRoom(species, kSpeciesBytes);
  site.atoms.resize(species);
  for (CTSAtom& atom : site.atoms) {
    atom.symbol = data.ReadShortText();
    atom.occupancy = data.ReadFloat();
    matcher.Match(atom);
  }
  site.flag = data.Read<uint8_t>() != 0;
  site.label = data.ReadShortText();
  const CVector p = data.ReadFloatPoint();
  site.x = p.x, site.y = p.y, site.z = p.z;
  const auto positions = data.Read<uint32_t>();
  data.RequireRoom(positions, kPositionBytes);
  site.positions.resize(positions);
  for (CVector& position : site.positions) position = data.ReadFloatPoint();
  site.included = data.Read<uint8_t>() != 0;
  const auto hasDisplacement = data.Read<uint8_t>();
  if (hasDisplacement > 1) throw CVHXFileInvalid();
  if (hasDisplacement == 0) return site;
  const double u = data.ReadFloat();
  if (data.Read<uint8_t>() == 0) {
    site.displacement = std::make_unique<CTSThermalEllipsoid>(u);
  } else {
    std::array<double, 9> beta;
    for (double& value : beta) value = data.ReadDouble();
    site.displacement =
        std::make_unique<CTSAnisoThermalEllipsoid>(CTSAnisoThermalEllipsoid::FromTensor(u, beta));
  }
  return site;
}

CTSSymOp ReadOperator(CRecordData& data) {
  std::array<double, 9> rotation;
  for (double& value : rotation) {
    // Rotations of crystallographic operators in the cell's basis; anything else is damage.
    const auto entry = data.Read<int32_t>();
    if (entry < -1 || entry > 1) throw CVHXFileInvalid();
    value = entry;
  }
  const CVector translation = data.ReadDoublePoint();
  return CTSSymOp(rotation, translation, std::string());
}

// A number stored in `order` at `p`.
template <class T>
T Decode(const uint8_t* p, bool littleEndian) {
  using U = std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>;
  U bits;
  std::memcpy(&bits, p, sizeof bits);
  if (littleEndian != (std::endian::native == std::endian::little))
    bits = sizeof(T) == 4 ? __builtin_bswap32(bits) : __builtin_bswap64(bits);
  return std::bit_cast<T>(bits);
}

// The reflexion list in one read, decoded from memory: sessions hold thousands of them.
CReflexionList ReadReflexions(CRecordData& data, CVHFile& file) {
  const auto count = data.Read<uint32_t>();
  data.RequireRoom(count, kReflexionBytes);
  std::vector<uint8_t> bytes(count * kReflexionBytes);
  if (!bytes.empty()) file.ReadExact(bytes.data(), bytes.size());  // an empty vector has no data
  const bool little = file.IsLittleEndian();
  CReflexionList reflexions;
  reflexions.reserve(count);
  for (const uint8_t* p = bytes.data(); p != bytes.data() + bytes.size(); p += kReflexionBytes) {
    auto r = std::make_shared<CTSReflexion>();
    int32_t* indices[] = {&r->h, &r->k, &r->l, &r->multiplicity, &r->n};
    for (int i = 0; i < 5; ++i) *indices[i] = Decode<int32_t>(p + 4 * i, little);
    double* values[] = {&r->d,     &r->position,   &r->intensity, &r->relativeIntensity, &r->phase,
                        &r->fReal, &r->fImaginary, &r->lp,        &r->halfWidth};
    for (int i = 0; i < 9; ++i) {
      const auto value = Decode<float>(p + 20 + 4 * i, little);
      if (!std::isfinite(value)) throw CVHXFileConversionErr();
      *values[i] = value;
    }
    reflexions.push_back(std::move(r));
  }
  return reflexions;
}

bool IsLatticeLetter(char letter) {
  return letter != 0 && std::strchr("PABCFIR", letter);
}

void ReadCrystalBlock(CVHFile& file, uint64_t length, CTSCrystal& destination) {
  CTSCrystal crystal;
  CScatteringMatcher matcher;
  CRecordMapReader reader(file);
  // A record of a fixed number of f32 (`single`) or f64 values.
  const auto doubles = [&](std::initializer_list<double*> destinations, bool single) {
    return [&file, values = std::vector<double*>(destinations), single](uint32_t bytes) {
      RequireLength(bytes, static_cast<uint32_t>(values.size() * (single ? 4 : 8)));
      CRecordData data(file, bytes);
      for (double* value : values) *value = single ? data.ReadFloat() : data.ReadDouble();
    };
  };
  reader.Add<double, float>(MakeTag("DENS"), &crystal.density);
  reader.Add<bool>(MakeTag("ELL?"), &crystal.useDisplacementParameters);
  reader.Add<double, float>(MakeTag("IMAX"), &crystal.maximumIntensity);
  reader.Add<double, float>(MakeTag("SIZE"), &crystal.particleSize);
  reader.Add<bool>(MakeTag("CEN?"), &crystal.centrosymmetric);
  reader.Add<double, float>(MakeTag("STRN"), &crystal.isotropicStrain);
  reader.Add<double, float>(MakeTag("DVOL"), &crystal.volume);
  reader.Add<CTSCrystal::PreferredOrientationType, int32_t>(MakeTag("POC#"),
                                                            &crystal.preferredOrientationGeometry);
  reader.Add<bool>(MakeTag("POC?"), &crystal.usePreferredOrientation);
  reader.Add<CTSCrystal::TSVectorType, int32_t>(MakeTag("POV#"),
                                                &crystal.preferredOrientationVectorType);
  CVector& v = crystal.preferredOrientationVector;
  reader.AddHandler(MakeTag("POVe"), doubles({&v.x, &v.y, &v.z}, false));
  reader.Add<double, float>(MakeTag("POAm"), &crystal.preferredOrientationAlignment);
  reader.Add<double, float>(MakeTag("PONm"), &crystal.preferredOrientationNormalisation);
  reader.Add<int, int>(MakeTag("KIND"), &crystal.kind);
  reader.Add<int, uint8_t>(kTagOrigin, &crystal.originChoice);
  char letter = 0;
  reader.Add<char, uint8_t>(MakeTag("LATC"), &letter);
  reader.Add<bool>(MakeTag("ADP?"), &crystal.hasDisplacementParameters);
  reader.Add<bool>(MakeTag("LGCY"), &crystal.legacyRules);
  reader.AddHandler(MakeTag("DCEL"), doubles({&crystal.a, &crystal.b, &crystal.c, &crystal.alpha,
                                              &crystal.beta, &crystal.gamma},
                                             true));
  // The reciprocal cell follows from the direct one; it is read to be checked and passed over.
  double reciprocal[6];
  reader.AddHandler(MakeTag("RCEL"), doubles({&reciprocal[0], &reciprocal[1], &reciprocal[2],
                                              &reciprocal[3], &reciprocal[4], &reciprocal[5]},
                                             true));
  CVector& o = crystal.originOffset;
  reader.AddHandler(MakeTag("OSHF"), doubles({&o.x, &o.y, &o.z}, false));
  reader.AddHandler(MakeTag("SPGR"),
                    [&](uint32_t bytes) { crystal.spaceGroupSymbol = file.ReadUTF8(bytes); });
  reader.AddHandler(MakeTag("GEPS"), [&](uint32_t bytes) {
    CRecordData data(file, bytes);
    const auto count = data.Read<uint16_t>();
    if (count > kMaxOperators) throw CVHXFileInvalid();
    data.RequireRoom(count, kOperatorBytes);
    std::vector<CTSSymOp> operators;
    operators.reserve(count);
    for (int i = 0; i < count; ++i) operators.push_back(ReadOperator(data));
    crystal.symmetryOperators = std::move(operators);
  });
  reader.AddHandler(MakeTag("AUNI"), [&](uint32_t bytes) {
    CRecordData data(file, bytes);
    const auto count = data.Read<uint32_t>();
    data.RequireRoom(count, kSiteBytes);
    // Grown as sites are read, for the same reason.
    std::vector<CTSSite> sites;
    for (uint32_t i = 0; i < count; ++i) sites.push_back(ReadSite(data, matcher));
    crystal.sites = std::move(sites);
  });
  reader.AddHandler(MakeTag("REFS"), [&](uint32_t bytes) {
    CRecordData data(file, bytes);
    crystal.reflexions = ReadReflexions(data, file);
  });
  reader.ReadBlock(length);

  for (const double value :
       {crystal.maximumIntensity, crystal.particleSize, crystal.isotropicStrain,
        crystal.preferredOrientationAlignment, crystal.preferredOrientationNormalisation})
    RequireFinite(value);
  CheckCrystal(crystal);
  if (crystal.originChoice > 2) throw CVHXFileInvalid();
  for (const CTSSite& site : crystal.sites)
    crystal.hasDisplacementParameters = crystal.hasDisplacementParameters || site.displacement;
  // Files that do not say give the letter the symbol begins with.
  if (!IsLatticeLetter(letter))
    letter = !crystal.spaceGroupSymbol.empty() && IsLatticeLetter(crystal.spaceGroupSymbol[0])
                 ? crystal.spaceGroupSymbol[0]
                 : 'P';
  crystal.latticeLetter = letter;
  // Stored positions are what the earlier rules made of the sites; under the physical rules
  // they are generated again, and with them the rotation of each image.
  if (!crystal.legacyRules) crystal.GeneratePositions();
  crystal.UpdateCell();
  destination = std::move(crystal);
}

// --- Patterns ---------------------------------------------------------------------------------

std::string_view TypeName(CTSPattern::Kind kind) {
  switch (kind) {
    case CTSPattern::kCrystal:
      return kCrystalType;
    case CTSPattern::kObserved:
      return kObservedType;
    case CTSPattern::kMixture:
      return kMixtureType;
  }
  throw CVHXFileUnsupportedType();
}

// The tag of a field of a marked curve's style: two letters naming the curve, two the field.
uint32_t CurveTag(const char (&curve)[3], const char (&field)[3]) {
  const char tag[5] = {curve[0], curve[1], field[0], field[1], '\0'};
  return MakeTag(tag);
}

void WriteMarkedCurve(CVHFile& file, const char (&prefix)[3], const CMarkedCurveStyle& style) {
  const auto tag = [&prefix](char a, char b) { return CurveTag(prefix, {a, b, '\0'}); };
  WriteColorRecord(file, tag('C', 'l'), style.colour);
  WriteByteRecord(file, tag('L', '#'), static_cast<uint8_t>(style.lineStyle));
  WriteFloatRecord(file, tag('L', 'W'), style.lineWidth);
  WriteFloatRecord(file, tag('M', 'S'), style.markerSize);
  WriteByteRecord(file, tag('M', '#'), static_cast<uint8_t>(style.markerStyle));
}

void AddMarkedCurve(CRecordMapReader& reader, const char (&prefix)[3], CMarkedCurveStyle& style) {
  const auto tag = [&prefix](char a, char b) { return CurveTag(prefix, {a, b, '\0'}); };
  reader.Add<CColor>(tag('C', 'l'), &style.colour);
  reader.Add<VHTypes::TSLineStyle, uint8_t>(tag('L', '#'), &style.lineStyle);
  reader.Add<float>(tag('L', 'W'), &style.lineWidth);
  reader.Add<float>(tag('M', 'S'), &style.markerSize);
  reader.Add<VHTypes::TSMarkerStyle, uint8_t>(tag('M', '#'), &style.markerStyle);
}

void WritePattern(CVHFile& file, const CTSPattern& pattern);

void WriteEntries(CVHFile& file, const CPatternList& patterns) {
  for (const auto& pattern : patterns) {
    WriteTextRecord(file, kTagType, TypeName(pattern->GetKind()));
    WritePattern(file, *pattern);
  }
}

void WriteCrystalPatternRecords(CVHFile& file, const CTSCrystalPattern& pattern) {
  const COverlayStyle& overlay = pattern.Overlay();
  WriteColorRecord(file, MakeTag("OVCL"), overlay.colour);
  WriteByteRecord(file, MakeTag("OVL#"), static_cast<uint8_t>(overlay.lineStyle));
  WriteFloatRecord(file, MakeTag("OVLW"), overlay.lineWidth);
  WriteBoolRecord(file, MakeTag("*OVL"), overlay.show);
  WriteCrystalBlock(file, *pattern.Crystal());
}

void WriteObservedPatternRecords(CVHFile& file, const CTSObservedPattern& pattern) {
  const CBackgroundStyle& background = pattern.BackgroundStyle();
  WriteBoolRecord(file, MakeTag("ASYS"), pattern.AutoYScale());
  WriteColorRecord(file, MakeTag("BKCL"), background.colour);
  WriteByteRecord(file, MakeTag("BKL#"), static_cast<uint8_t>(background.lineStyle));
  WriteFloatRecord(file, MakeTag("BKLW"), background.lineWidth);
  const uint64_t nodes = file.BeginBlock(MakeTag("BNOD"));
  file.WriteValue(static_cast<uint32_t>(pattern.ControlPoints().size()));
  for (const CBackgroundControlPoint& node : pattern.ControlPoints())
    WriteDoubles(file,
                 {node.anchor.x, node.anchor.y, node.in.x, node.in.y, node.out.x, node.out.y});
  file.BackPatchLength(nodes);
  WriteBoolRecord(file, MakeTag("RMBK"), pattern.BackgroundInUse());
  WriteBoolRecord(file, MakeTag("*BkS"), background.useShadow);
  WriteBoolRecord(file, MakeTag("PVBK"), pattern.BackgroundPreview());
  WriteBoolRecord(file, MakeTag("SMTH"), pattern.Smoothing().smooth);
  WriteBoolRecord(file, MakeTag("SMPV"), pattern.Smoothing().overlay);
  WriteMarkedCurve(file, "MP", background.controlPoints);
  WriteMarkedCurve(file, "SP", pattern.SmoothedStyle());
  // Ours: the smoothing radius, the handles' length and the points' errors.
  WriteInt32Record(file, MakeTag("SMRA"), pattern.Smoothing().radius);
  WriteFloatRecord(file, MakeTag("BKHF"), pattern.HandleFraction());
  if (!pattern.Errors().empty()) {
    const uint64_t errors = file.BeginBlock(MakeTag("ERRS"));
    file.WriteValue(static_cast<uint32_t>(pattern.Errors().size()));
    for (const double error : pattern.Errors()) file.WriteValue(error);
    file.BackPatchLength(errors);
  }
  const CProfile& points = pattern.RawPoints();
  const uint64_t data = file.BeginBlock(MakeTag("PNTS"));
  file.WriteValue(static_cast<uint32_t>(points.size()));
  for (const CProfilePoint& point : points) {
    file.WriteValue(point.x);
    file.WriteValue(point.y);
  }
  file.BackPatchLength(data);
}

void WriteMixtureRecords(CVHFile& file, const CTSMixturePattern& pattern) {
  // Ours: the mixture's own flags.
  WriteBoolRecord(file, MakeTag("FLUP"), pattern.FillUp());
  WriteBoolRecord(file, MakeTag("MIX?"), pattern.MixtureFlag());
  WriteBoolRecord(file, MakeTag("MSP?"), pattern.SpareFlag());
  const uint64_t components = file.BeginBlock(kTagComponents);
  WriteEntries(file, *pattern.Components());
  file.BackPatchLength(components);
}

void WritePattern(CVHFile& file, const CTSPattern& pattern) {
  const uint64_t block = file.BeginBlock(kTagPattern);
  const CCurveStyle& style = pattern.Style();
  const CLabelOptions& labels = pattern.Labels();
  WriteTextRecord(file, MakeTag("BASE"), pattern.Path());
  WriteColorRecord(file, MakeTag("COLR"), style.colour);
  WriteBoolRecord(file, MakeTag("FLL?"), pattern.Display().spareFlag);
  WriteByteRecord(file, MakeTag("LIN#"), static_cast<uint8_t>(style.lineStyle));
  WriteFloatRecord(file, MakeTag("LNSZ"), style.lineWidth);
  WriteByteRecord(file, MakeTag("MRK#"), static_cast<uint8_t>(style.markerStyle));
  WriteFloatRecord(file, MakeTag("MKSZ"), style.markerSize);
  WriteFloatRecord(file, MakeTag("OPAC"), pattern.Display().displayValue);
  WriteFloatRecord(file, MakeTag("RELS"), pattern.YScale());
  WriteFloatRecord(file, MakeTag("XMIX"), pattern.MixtureFraction());
  WriteFloatRecord(file, MakeTag("XOFF"), pattern.XOffset());
  WriteFloatRecord(file, MakeTag("YOFF"), pattern.YOffset());
  WriteBoolRecord(file, MakeTag("ROL?"), labels.rotate);
  WriteBoolRecord(file, MakeTag("SEL?"), pattern.Selected());
  WriteBoolRecord(file, MakeTag("SHD?"), style.useShadow);
  WriteBoolRecord(file, MakeTag("VIS?"), pattern.Plotted());
  WriteBoolRecord(file, MakeTag("CON?"), pattern.Display().displayFlag);
  WriteBoolRecord(file, MakeTag("CRY?"), pattern.ContainsCrystal());  // for the reader's eyes only
  WriteBoolRecord(file, MakeTag("*LAH"), labels.arrowhead);
  WriteColorRecord(file, MakeTag("LBCL"), labels.colour);
  WriteBoolRecord(file, MakeTag("*LOU"), labels.outline);
  WriteBoolRecord(file, MakeTag("*LSH"), labels.shadow);
  WriteBoolRecord(file, MakeTag("*LFR"), labels.frame);
  WriteTextRecord(file, MakeTag("TITL"), pattern.Title());
  WriteEnumRecord(file, labels.alignment);
  // What the labels say; the crystal pattern's records, kept for every pattern since mixtures
  // label the reflexions of their components.
  WriteBoolRecord(file, MakeTag("DSP?"), labels.dSpacing);
  WriteBoolRecord(file, MakeTag("HKL?"), labels.hkl);
  WriteBoolRecord(file, MakeTag("NAM?"), labels.phaseName);
  WriteBoolRecord(file, MakeTag("INT?"), labels.relativeIntensity);
  WriteBoolRecord(file, MakeTag("TTH?"), labels.xUnits);
  WriteFloatRecord(file, MakeTag("LMIN"), labels.threshold);
  WriteBoolRecord(file, MakeTag("*LBL"), labels.show);
  if (const auto* crystal = dynamic_cast<const CTSCrystalPattern*>(&pattern)) {
    WriteCrystalPatternRecords(file, *crystal);
  } else if (const auto* observed = dynamic_cast<const CTSObservedPattern*>(&pattern)) {
    WriteObservedPatternRecords(file, *observed);
  } else if (const auto* mixture = dynamic_cast<const CTSMixturePattern*>(&pattern)) {
    WriteMixtureRecords(file, *mixture);
  }
  file.BackPatchLength(block);
}

class CPatternReader {
 public:
  CPatternReader(CVHFile& file, const std::string& fileName) : m_file(file), m_fileName(fileName) {}

  void ReadEntries(uint64_t length, CPatternList& patterns, int depth) {
    if (depth > kMaxNesting) throw CVHXFileInvalid();
    constexpr uint64_t kHeaderBytes = 8;
    uint64_t consumed = 0;
    while (consumed < length) {
      const CRecordHeader type = ReadHeader(length - consumed);
      if (type.tag != kTagType)
        throw CVHXFileSessionDataExpected(kSeverityMessage, 0, 0, m_fileName);
      const CTSPattern::Kind kind = KindOf(m_file.ReadUTF8(type.length));
      consumed += kHeaderBytes + type.length;
      // The entry's block follows its type.
      if (length - consumed < kHeaderBytes)
        throw CVHXFileSessionDataExpected(kSeverityMessage, 0, 0, m_fileName);
      const CRecordHeader block = ReadHeader(length - consumed);
      patterns.push_back(ReadPattern(kind, block.length, depth));
      consumed += kHeaderBytes + block.length;
    }
  }

 private:
  // A record header that must fit in the `available` bytes of its block.
  CRecordHeader ReadHeader(uint64_t available) {
    if (available < 8) throw CVHXFileInvalid();
    const CRecordHeader header = ReadRecordHeader(m_file);
    if (header.length > available - 8) throw CVHXFileInvalid();
    return header;
  }

  CTSPattern::Kind KindOf(std::string_view type) const {
    if (type == kCrystalType) return CTSPattern::kCrystal;
    if (type == kObservedType) return CTSPattern::kObserved;
    if (type == kMixtureType) return CTSPattern::kMixture;
    throw CVHXFileSessionUnknownPattern(kSeverityMessage, 0, 0, m_fileName);
  }

  std::shared_ptr<CTSPattern> ReadPattern(CTSPattern::Kind kind, uint64_t length, int depth) {
    const CTSPattern::BuiltInDefaults defaults;
    std::shared_ptr<CTSPattern> pattern;
    std::shared_ptr<CTSCrystalPattern> crystal;
    std::shared_ptr<CTSObservedPattern> observed;
    std::shared_ptr<CTSMixturePattern> mixture;
    switch (kind) {
      case CTSPattern::kCrystal:
        pattern = crystal = std::make_shared<CTSCrystalPattern>(defaults);
        break;
      case CTSPattern::kObserved:
        pattern = observed = std::make_shared<CTSObservedPattern>(defaults);
        break;
      case CTSPattern::kMixture:
        pattern = mixture = std::make_shared<CTSMixturePattern>(defaults);
        break;
    }

    struct CBase {
      std::string path, title;
      bool selected, plotted;
      double xOffset, yOffset, fraction, yScale;
    } base{pattern->Path(),    pattern->Title(),   pattern->Selected(),        pattern->Plotted(),
           pattern->XOffset(), pattern->YOffset(), pattern->MixtureFraction(), pattern->YScale()};
    bool containsCrystal = false;  // derived from the contents; read and left aside
    CCurveStyle& style = pattern->Style();
    CLabelOptions& labels = pattern->Labels();
    CDisplayState& display = pattern->Display();

    CRecordMapReader reader(m_file);
    reader.AddHandler(MakeTag("BASE"), [&](uint32_t bytes) { base.path = m_file.ReadUTF8(bytes); });
    reader.Add<CColor>(MakeTag("COLR"), &style.colour);
    reader.Add<bool>(MakeTag("FLL?"), &display.spareFlag);
    reader.Add<VHTypes::TSLineStyle, uint8_t>(MakeTag("LIN#"), &style.lineStyle);
    reader.Add<float>(MakeTag("LNSZ"), &style.lineWidth);
    reader.Add<VHTypes::TSMarkerStyle, uint8_t>(MakeTag("MRK#"), &style.markerStyle);
    reader.Add<float>(MakeTag("MKSZ"), &style.markerSize);
    reader.Add<float>(MakeTag("OPAC"), &display.displayValue);
    reader.Add<double, float>(MakeTag("RELS"), &base.yScale);
    reader.Add<double, float>(MakeTag("XMIX"), &base.fraction);
    reader.Add<double, float>(MakeTag("XOFF"), &base.xOffset);
    reader.Add<double, float>(MakeTag("YOFF"), &base.yOffset);
    reader.Add<bool>(MakeTag("ROL?"), &labels.rotate);
    reader.Add<bool>(MakeTag("SEL?"), &base.selected);
    reader.Add<bool>(MakeTag("SHD?"), &style.useShadow);
    reader.Add<bool>(MakeTag("VIS?"), &base.plotted);
    reader.Add<bool>(MakeTag("CON?"), &display.displayFlag);
    reader.Add<bool>(MakeTag("CRY?"), &containsCrystal);
    reader.Add<bool>(MakeTag("*LAH"), &labels.arrowhead);
    reader.Add<CColor>(MakeTag("LBCL"), &labels.colour);
    reader.Add<bool>(MakeTag("*LOU"), &labels.outline);
    reader.Add<bool>(MakeTag("*LSH"), &labels.shadow);
    reader.Add<bool>(MakeTag("*LFR"), &labels.frame);
    reader.AddHandler(MakeTag("TITL"),
                      [&](uint32_t bytes) { base.title = m_file.ReadUTF8(bytes); });
    reader.Add<VHTypes::TSLabelAlignment, uint8_t>(kTagLabelAlignment, &labels.alignment);
    reader.Add<bool>(MakeTag("DSP?"), &labels.dSpacing);
    reader.Add<bool>(MakeTag("HKL?"), &labels.hkl);
    reader.Add<bool>(MakeTag("NAM?"), &labels.phaseName);
    reader.Add<bool>(MakeTag("INT?"), &labels.relativeIntensity);
    reader.Add<bool>(MakeTag("TTH?"), &labels.xUnits);
    reader.Add<double, float>(MakeTag("LMIN"), &labels.threshold);
    reader.Add<bool>(MakeTag("*LBL"), &labels.show);

    if (crystal) {
      COverlayStyle& overlay = crystal->Overlay();
      reader.Add<CColor>(MakeTag("OVCL"), &overlay.colour);
      reader.Add<VHTypes::TSLineStyle, uint8_t>(MakeTag("OVL#"), &overlay.lineStyle);
      reader.Add<float>(MakeTag("OVLW"), &overlay.lineWidth);
      reader.Add<bool>(MakeTag("*OVL"), &overlay.show);
      reader.AddHandler(kTagCrystal, [&](uint32_t bytes) {
        ReadCrystalBlock(m_file, bytes, *crystal->Crystal());
      });
    }

    // An observed pattern's data and background are set once all its options are known, so
    // that what derives from them is derived once, from the options the file holds.
    struct CObserved {
      bool autoYScale = true, backgroundInUse = false, preview = true;
      double handleFraction = 0.1;
      CProfile points;
      std::vector<double> errors;
      CControlPoints nodes;
    } data;
    if (observed) {
      CBackgroundStyle& background = observed->BackgroundStyle();
      CSmoothingOptions& smoothing = observed->Smoothing();
      data.autoYScale = observed->AutoYScale();
      data.backgroundInUse = observed->BackgroundInUse();
      data.preview = observed->BackgroundPreview();
      data.handleFraction = observed->HandleFraction();
      reader.Add<bool>(MakeTag("ASYS"), &data.autoYScale);
      reader.Add<CColor>(MakeTag("BKCL"), &background.colour);
      reader.Add<VHTypes::TSLineStyle, uint8_t>(MakeTag("BKL#"), &background.lineStyle);
      reader.Add<float>(MakeTag("BKLW"), &background.lineWidth);
      reader.AddHandler(MakeTag("BNOD"), [&](uint32_t bytes) {
        CRecordData record(m_file, bytes);
        const auto count = record.Read<uint32_t>();
        record.RequireRoom(count, kNodeBytes);
        CControlPoints nodes(count);
        for (CBackgroundControlPoint& node : nodes)
          for (CBackgroundHandle* handle : {&node.anchor, &node.in, &node.out}) {
            handle->x = record.ReadDouble();
            handle->y = record.ReadDouble();
          }
        data.nodes = std::move(nodes);
      });
      reader.Add<bool>(MakeTag("RMBK"), &data.backgroundInUse);
      reader.Add<bool>(MakeTag("*BkS"), &background.useShadow);
      reader.Add<bool>(MakeTag("PVBK"), &data.preview);
      reader.Add<bool>(MakeTag("SMTH"), &smoothing.smooth);
      reader.Add<bool>(MakeTag("SMPV"), &smoothing.overlay);
      AddMarkedCurve(reader, "MP", background.controlPoints);
      AddMarkedCurve(reader, "SP", observed->SmoothedStyle());
      reader.Add<int, int>(MakeTag("SMRA"), &smoothing.radius);
      reader.Add<double, float>(MakeTag("BKHF"), &data.handleFraction);
      reader.AddHandler(MakeTag("ERRS"), [&](uint32_t bytes) {
        CRecordData record(m_file, bytes);
        const auto count = record.Read<uint32_t>();
        record.RequireRoom(count, 8);
        std::vector<double> errors(count);
        for (double& error : errors) error = record.ReadDouble();
        data.errors = std::move(errors);
      });
      reader.AddHandler(MakeTag("PNTS"), [&](uint32_t bytes) {
        CRecordData record(m_file, bytes);
        const auto count = record.Read<uint32_t>();
        record.RequireRoom(count, kPointBytes);
        CProfile points(count);
        for (CProfilePoint& point : points) {
          point.x = record.ReadDouble();
          point.y = record.ReadDouble();
        }
        data.points = std::move(points);
      });
    }

    CPatternList components;
    if (mixture) {
      bool fillUp = mixture->FillUp(), flag = mixture->MixtureFlag(), spare = mixture->SpareFlag();
      reader.Add<bool>(MakeTag("FLUP"), &fillUp);
      reader.Add<bool>(MakeTag("MIX?"), &flag);
      reader.Add<bool>(MakeTag("MSP?"), &spare);
      reader.AddHandler(kTagComponents, [&](uint32_t bytes) {
        CPatternList read;
        ReadEntries(bytes, read, depth + 1);
        components = std::move(read);
      });
      reader.ReadBlock(length);
      mixture->SetFillUp(fillUp);
      mixture->SetMixtureFlag(flag);
      mixture->SetSpareFlag(spare);
      *mixture->Components() = std::move(components);
    } else {
      reader.ReadBlock(length);
    }

    for (const double value : {base.xOffset, base.yOffset, base.fraction, base.yScale,
                               labels.threshold, data.handleFraction})
      RequireFinite(value);
    pattern->SetPath(std::move(base.path));
    pattern->SetTitle(std::move(base.title));
    pattern->SetSelected(base.selected);
    pattern->SetPlotted(base.plotted);
    pattern->SetXOffset(base.xOffset);
    pattern->SetYOffset(base.yOffset);
    pattern->SetMixtureFraction(base.fraction);
    pattern->SetYScale(base.yScale);
    if (observed) {
      if (!data.errors.empty() && data.errors.size() != data.points.size()) throw CVHXFileInvalid();
      observed->SetAutoYScale(data.autoYScale);
      observed->SetBackgroundInUse(data.backgroundInUse);
      observed->SetBackgroundPreview(data.preview);
      observed->SetHandleFraction(data.handleFraction);
      observed->SetData(std::move(data.points), std::move(data.errors));
      observed->SetControlPoints(std::move(data.nodes));
      if (observed->Smoothing().smooth) observed->Smooth();
    }
    return pattern;
  }

  CVHFile& m_file;
  const std::string& m_fileName;
};

}  // namespace

void WritePatternEntries(CVHFile& file, const CPatternList& patterns) {
  WriteEntries(file, patterns);
}

void ReadPatternEntries(CVHFile& file, uint64_t length, const std::string& fileName,
                        CPatternList& patterns) {
  CPatternList read;
  CPatternReader(file, fileName).ReadEntries(length, read, 0);
  // A component that stands in the list is stored whole twice, in the list and under its mixture;
  // read back, the mixture must hold the list's object again, or editing or removing the row
  // would miss the mixture.
  LinkComponents(read, ComponentPlacesByEquality(read));
  patterns.insert(patterns.end(), read.begin(), read.end());
}

}  // namespace VHSessionRecords
