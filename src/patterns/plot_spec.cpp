#include "patterns/plot_spec.h"

#include <tuple>

CPlotSpec::CPlotSpec(BuiltInDefaults) {
  std::tie(m_xMin, m_xMax) = VHTypes::DefaultAxisRange(AxisType());
}

void CPlotSpec::SetAxisType(VHTypes::TSAxisType type) {
  if (type == AxisType()) return;
  CRadiationSpec::SetAxisType(type);
  std::tie(m_xMin, m_xMax) = VHTypes::DefaultAxisRange(type);
}
