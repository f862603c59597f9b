// The pattern: one curve of the diffraction window. CTSPattern holds what every curve has —
// names, drawing style, label options, offsets and scale, and the cached profile — and defines
// the virtual operations that the crystal, mixture and observed patterns override. Patterns are
// always held through shared pointers.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "patterns/display_types.h"
#include "patterns/profile.h"
#include "radiation/types.h"

class CPlotSpec;
class CPreferences;
class CTSCrystal;
class CTSPattern;
class CTransferReader;
class CTransferWriter;
struct CTSReflexion;

using CPatternList = std::vector<std::shared_ptr<CTSPattern>>;
using CReflexionList = std::vector<std::shared_ptr<CTSReflexion>>;

// How a curve is drawn. Colours are 0xAARRGGBB; alpha 0 means that none has been assigned yet.
struct CCurveStyle {
  uint32_t colour = 0x00FFFFFF;
  VHTypes::TSLineStyle lineStyle = VHTypes::kLineSolid;
  VHTypes::TSMarkerStyle markerStyle = VHTypes::kMarkerNone;
  float lineWidth = 1.0f;
  float markerSize = 4.0f;
  bool useShadow = true;
  friend bool operator==(const CCurveStyle&, const CCurveStyle&) = default;
};

// Which reflexions get a label, what it says and how it is drawn.
struct CLabelOptions {
  VHTypes::TSLabelAlignment alignment = VHTypes::kLabelCentre;
  uint32_t colour = 0xFF000000;
  bool rotate = true;
  bool arrowhead = true;
  bool frame = false;
  bool outline = true;
  bool shadow = false;
  bool show = false;
  double threshold = 10.0;  // percent of the strongest peak
  bool dSpacing = false;
  bool hkl = false;
  bool phaseName = false;
  bool relativeIntensity = false;
  bool xUnits = false;
  friend bool operator==(const CLabelOptions&, const CLabelOptions&) = default;
};

// State the plot keeps with each pattern; copied with it, never interpreted here.
struct CDisplayState {
  std::array<uint64_t, 6> plotState{};
  uint32_t displayWord = 0;
  bool spareFlag = false;
  float displayValue = 0.1f;
  bool displayFlag = false;
  friend bool operator==(const CDisplayState&, const CDisplayState&) = default;
};

class CTSPattern {
 public:
  // Kind codes.
  enum Kind : uint32_t { kObserved = 1, kCrystal = 2, kMixture = 3 };

  // Tag of the constructors that take the built-in defaults rather than the preferences.
  struct BuiltInDefaults {};

  // --- Virtual operations, in slot order ---------------------------------------------------
  // 1. Reserved; does nothing in every class.
  virtual void Reserved() {}
  // 2.
  virtual ~CTSPattern();
  // 3, 4. The component patterns: none in the base; a mixture's list.
  virtual CPatternList* Components() { return nullptr; }
  virtual const CPatternList* Components() const { return nullptr; }
  // 5. Empties the profile so that the next request computes it again.
  virtual void ClearProfile() { m_profile.clear(); }
  // 6. A new pattern with every field copied, the cached reflexions and profile included.
  virtual std::shared_ptr<CTSPattern> Clone() const = 0;
  // 7, 8. The crystal of a crystal pattern; none in the base.
  virtual CTSCrystal* Crystal() { return nullptr; }
  virtual const CTSCrystal* Crystal() const { return nullptr; }
  // 9. Generates the reflexions and intensities of a crystal pattern; nothing in the base.
  virtual void CalculateReflexions(const CPlotSpec&) {}
  // 10. The name of the icon the patterns list shows for this kind of pattern.
  virtual const char* ListIcon() const = 0;
  // 11. The reflexions to label between x from and x to; the base has none.
  virtual void LabelsInRange(double xFrom, double xTo, CReflexionList& labels) const;
  // 12. Bytes that the transfer image (slot 21) takes.
  virtual size_t TransferSize() const;
  // 13.
  virtual bool ContainsCrystal() const { return false; }
  // 14. Whether there is anything to draw: reflexions, data points or (for a mixture) both
  // in every component.
  virtual bool HasReflexionsOrData() const = 0;
  // 15. A mixture's own flag; false in the base.
  virtual bool MixtureFlag() const { return false; }
  // 16, 17. The points the pattern shows; the base returns its profile whatever `raw` says.
  virtual CProfile& ProfilePoints(bool raw);
  virtual const CProfile& ProfilePoints(bool raw) const;
  // 18. Makes the pattern current for the plot specification: the base assigns an automatic
  // colour if it has none and clears the profile.
  virtual void Recalculate(const CPlotSpec& plotSpec);
  // 19. The profile, computed first (slot 20) when empty. The plot and mixtures use this.
  virtual const CProfile& GetProfile(const CPlotSpec& plotSpec);
  // 20. Computes the profile for the plot specification.
  virtual void ComputeProfile(const CPlotSpec& plotSpec) = 0;
  // 21. Writes the transfer image (kind code, base fields, then each class's own); returns the
  // bytes written.
  virtual size_t WriteTransferImage(CTransferWriter& cursor) const;
  // 22. Sets a mixture's flag; nothing in the base.
  virtual void SetMixtureFlag(bool) {}
  // 23. "%.2f  %s" with the mixture fraction and the title when the fraction is below 1,
  // else the title.
  virtual std::string DisplayName() const;
  // 24, 25. The x range the pattern covers by itself in the axis unit.
  virtual double NaturalXMin(VHTypes::TSAxisType axis) const = 0;
  virtual double NaturalXMax(VHTypes::TSAxisType axis) const = 0;
  // 26.
  virtual Kind GetKind() const = 0;

  // --- Making patterns -----------------------------------------------------------------------
  // A new, unread pattern of the kind registered for a file type; empty when no kind of pattern
  // takes that type. Telling a file's type from its content is the file layer's business.
  static std::shared_ptr<CTSPattern> NewPatternOfFileType(unsigned fileType);
  // A new pattern of the kind the image holds, read back from a transfer image. A damaged
  // image raises CVHXFileEOF or CVHXFileInvalid.
  static std::shared_ptr<CTSPattern> NewPatternFromTransferImage(CTransferReader& reader);
  static std::shared_ptr<CTSPattern> NewPatternFromTransferImage(std::span<const std::byte> image);
  // The whole image of a pattern in a buffer of its own.
  static std::vector<std::byte> TransferImage(const CTSPattern& pattern);

  // Each kind of pattern registers, from its own source, how it is made: empty for the file
  // types it reads, and from a transfer image. The latest registration of a kind or a file type
  // wins.
  using CCreate = std::shared_ptr<CTSPattern> (*)();
  using CRead = std::shared_ptr<CTSPattern> (*)(CTransferReader& reader);
  class CRegistrar {
   public:
    CRegistrar(Kind kind, std::initializer_list<unsigned> fileTypes, CCreate create, CRead read);
    CRegistrar(const CRegistrar&) = delete;
    CRegistrar& operator=(const CRegistrar&) = delete;
    ~CRegistrar();

   private:
    uint64_t m_handle;
  };

  // --- Automatic colours ---------------------------------------------------------------------
  // The process-wide palette; a pattern without a colour takes the entry at the process-wide
  // index, which then advances (modulo the palette's size).
  static std::span<const uint32_t> AutomaticColours();
  void AssignAutomaticColour();

  // --- Fields --------------------------------------------------------------------------------
  const std::string& Path() const { return m_path; }
  void SetPath(std::string path) { m_path = std::move(path); }
  const std::string& Title() const { return m_title; }
  void SetTitle(std::string title) { m_title = std::move(title); }
  // Set while the curve has not been calculated for the current plot specification.
  bool NeedsCalculation() const { return m_needsCalculation != 0; }
  void SetNeedsCalculation(bool needs) { m_needsCalculation = needs ? 1 : 0; }
  bool Selected() const { return m_selected; }
  void SetSelected(bool selected) { m_selected = selected; }
  bool Plotted() const { return m_plotted; }
  void SetPlotted(bool plotted) { m_plotted = plotted; }

  CCurveStyle& Style() { return m_style; }
  const CCurveStyle& Style() const { return m_style; }
  CLabelOptions& Labels() { return m_labels; }
  const CLabelOptions& Labels() const { return m_labels; }
  CDisplayState& Display() { return m_display; }
  const CDisplayState& Display() const { return m_display; }

  // Placement of the curve: shifts along x (axis units) and y, the weight inside a mixture and
  // the intensity scale.
  double XOffset() const { return m_xOffset; }
  void SetXOffset(double offset) { m_xOffset = offset; }
  double YOffset() const { return m_yOffset; }
  void SetYOffset(double offset) { m_yOffset = offset; }
  double MixtureFraction() const { return m_mixtureFraction; }
  void SetMixtureFraction(double fraction) { m_mixtureFraction = fraction; }
  double YScale() const { return m_yScale; }
  void SetYScale(double scale) { m_yScale = scale; }

  // --- Plotted values ------------------------------------------------------------------------
  // Where a point of the curve is drawn: x + x offset, y * y scale * mixture fraction + y offset.
  CProfilePoint PlottedPoint(const CProfilePoint& point) const;
  // The largest and smallest plotted intensity of the shown points whose shifted x lies in
  // [xFrom, xTo]; a range of 0 to 0 means the whole curve. 0 when no point is in range.
  double LargestPlottedIntensity(double xFrom, double xTo) const;
  double SmallestPlottedIntensity(double xFrom, double xTo) const;

 protected:
  // `title` is the kind's default title.
  CTSPattern(BuiltInDefaults, std::string title);
  // The curve style of the crystal keys and the label options of the preferences. Defined with
  // the preferences, which sit above the patterns.
  CTSPattern(const CPreferences& preferences, std::string title);
  CTSPattern(const CTSPattern&) = default;
  CTSPattern& operator=(const CTSPattern&) = delete;
  // The base part of a transfer image, after the kind code.
  explicit CTSPattern(CTransferReader& reader);

 private:
  std::string m_path;
  CDisplayState m_display;
  uint32_t m_needsCalculation = 0;
  std::string m_title;
  bool m_selected = false;
  bool m_plotted = false;
  CCurveStyle m_style;
  CLabelOptions m_labels;
  double m_xOffset = 0.0;
  double m_yOffset = 0.0;
  double m_mixtureFraction = 1.0;
  double m_yScale = 1.0;
  CProfile m_profile;
};

// Calls visit(pattern) for every pattern of the list in list order, each followed by its
// components at any depth.
void ForEachPattern(const CPatternList& patterns, const std::function<void(CTSPattern&)>& visit);

// Orders of a pattern list.
enum class TSPatternOrder {
  kTitle,            // natural order of the titles
  kVisibility,       // plotted patterns first
  kKind,             // by kind code
  kMixtureFraction,  // smallest fraction first
};

// Sorts the list stably, then the component list of each pattern in it, at any depth.
void SortPatterns(CPatternList& patterns, TSPatternOrder order);

// Compares titles as people read them: runs of digits by their value ("Phase 2" before
// "Phase 10"), letters without regard to case. Negative, 0 or positive.
int NaturalCompare(std::string_view a, std::string_view b);
