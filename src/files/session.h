// What a session file holds: the state of the diffraction window, the plot specification with
// its display fields, and the pattern list. Readers fill a CSession and writers take one; the
// document owns the one in use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "patterns/pattern.h"
#include "patterns/plot_display.h"
#include "patterns/plot_spec.h"

// The main window's rectangle in screen units; all zero when none was saved.
struct CWindowRect {
  double left = 0.0;
  double top = 0.0;
  double right = 0.0;
  double bottom = 0.0;
  bool Empty() const { return !(right > left && bottom > top); }
  friend bool operator==(const CWindowRect&, const CWindowRect&) = default;
};

// The diffraction window's panes and placement.
struct CWindowState {
  bool showPatterns = true;    // the patterns list
  bool showParameters = true;  // the inspector
  bool showReflexions = false;
  int32_t patternsWidth = 200;     // pixels
  double reflexionsHeight = 0.25;  // of the window's height
  int32_t inspectorTab = 0;
  std::vector<std::string> visiblePanes;  // the inspector's open panes, by name
  CWindowRect rect;
  friend bool operator==(const CWindowState&, const CWindowState&) = default;
};

struct CSession {
  CWindowState window;
  CPlotSpec plotSpec = CPlotSpec::BuiltIn();
  CPlotDisplay display;
  CPatternList patterns;
};
