// The display fields of the plot specification: how the plot is drawn rather than what is
// calculated (the radiation fields are CPlotSpec's). Fonts, texts, colours, the display flags,
// the film, the visible ranges and the state of the plot's tools. The document keeps one beside
// its plot specification, session files store it, and the plot draws from a copy.
#pragma once

#include <cstdint>
#include <string>

#include "crystal/vector.h"
#include "patterns/display_types.h"

namespace VHTypes {

template <class T>
struct CPointT {
  T x{};
  T y{};
  friend bool operator==(const CPointT&, const CPointT&) = default;
};

}  // namespace VHTypes

class CPreferences;

struct CPlotDisplay {
  // The display keys of the preferences over the built-in defaults; what no key holds (texts,
  // ranges, the tools' state) keeps its default.
  static CPlotDisplay FromPreferences(const CPreferences& preferences);

  // Label font; the style is the platform's font style bits, 0 regular.
  std::string fontName = "MS Shell Dlg 2";
  float fontSize = 8.0f;  // points
  uint32_t fontStyle = 0;
  uint32_t textColour = 0xFF000000;  // ARGB

  std::string xAxisName;
  std::string xAxisUnit;
  std::string intensityName;
  std::string title;

  uint32_t gridColour = 0xFFC0C0C0;
  uint32_t graphBackgroundColour = 0xFFFFFFFF;

  // The seven display flags, in their order.
  bool graphBackground = false;  // fill the plot area with the background colour
  bool logarithmicY = false;
  bool gridlines = true;
  bool legend = true;
  bool showTitle = false;
  bool peakTips = false;
  bool film = false;

  VHTypes::TSFilmType filmType = VHTypes::kFilmPositive;
  double filmGamma = 1.0;

  // The visible range, within the computed range of the plot specification.
  double xMin = 0.0;
  double xMax = 80.0;
  double yMin = 0.0;
  double yMax = 1.0;

  // Tools: the cursor's x, the loupe's magnification, point and size, and the width the
  // cursor last measured.
  double cursorX = 0.0;
  double loupeMagnification = 2.0;
  VHTypes::CPointT<float> loupePoint;
  VHTypes::CPointT<float> loupeSize{100.0f, 100.0f};
  double fwhm = 0.0;

  bool showOverlay = false;  // reflexion markers over the crystal curves
  // Labels over the peaks of every crystal pattern, as each pattern's label options say, as if
  // each had its labels shown.
  bool peakLabels = false;

  friend bool operator==(const CPlotDisplay&, const CPlotDisplay&) = default;
};
