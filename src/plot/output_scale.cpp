#include "plot/output_scale.h"

COutputScale& OutputScale() {
  static COutputScale scale;
  return scale;
}

COutputScaleScope::COutputScaleScope(int targetWidth, int screenWidth) : m_previous(OutputScale()) {
  if (screenWidth > 0) OutputScale().outputDpi = targetWidth * m_previous.screenDpi / screenWidth;
}

COutputScaleScope::COutputScaleScope(int outputDpi) : m_previous(OutputScale()) {
  if (outputDpi > 0) OutputScale().outputDpi = outputDpi;
}

COutputScaleScope::~COutputScaleScope() {
  OutputScale() = m_previous;
}
