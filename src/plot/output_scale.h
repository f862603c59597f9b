// The output scale: the screen's resolution and the resolution of the current output (the screen
// itself, or a printer or an image being exported). Every size of the plot is given in screen
// pixels and converted with whole-number arithmetic, so that an exported picture is laid out as
// the screen would lay it out at that size.
#pragma once

struct COutputScale {
  int screenDpi = 96;
  int outputDpi = 96;

  // k screen pixels at the output resolution: k * output / screen, in whole pixels.
  int Pixels(int k) const { return k * outputDpi / (screenDpi > 0 ? screenDpi : 1); }
  // The factor from screen pixels to output pixels.
  double Ratio() const { return static_cast<double>(outputDpi) / (screenDpi > 0 ? screenDpi : 1); }
};

// The process-wide scale, read by every drawing pass.
COutputScale& OutputScale();

// Sets the output resolution for an output `targetWidth` pixels wide that the screen shows
// `screenWidth` pixels wide (or to `outputDpi` itself), and restores the previous scale
// afterwards.
class COutputScaleScope {
 public:
  COutputScaleScope(int targetWidth, int screenWidth);
  explicit COutputScaleScope(int outputDpi);
  ~COutputScaleScope();
  COutputScaleScope(const COutputScaleScope&) = delete;
  COutputScaleScope& operator=(const COutputScaleScope&) = delete;

 private:
  COutputScale m_previous;
};
