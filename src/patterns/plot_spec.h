// The plot specification: the radiation and instrument record the crystals are calculated
// against, with the x range and the sampling of the calculated profiles, which follow the axis
// unit.
#pragma once

#include <cstdint>

#include "radiation/radiation_spec.h"
#include "radiation/types.h"

class CPreferences;

class CPlotSpec : public CRadiationSpec {
 public:
  // Tag of the constructor that takes the built-in defaults.
  struct BuiltInDefaults {};

  explicit CPlotSpec(BuiltInDefaults);
  static CPlotSpec BuiltIn() { return CPlotSpec(BuiltInDefaults{}); }
  // Every field that has a preference takes it; the x range is the axis type's default range.
  // Defined with the preferences, which sit above the patterns.
  static CPlotSpec FromPreferences(const CPreferences& preferences);

  friend bool operator==(const CPlotSpec&, const CPlotSpec&) = default;

  // A different axis type also resets the x range to that type's default range.
  void SetAxisType(VHTypes::TSAxisType type);

  double XMin() const { return m_xMin; }
  double XMax() const { return m_xMax; }
  void SetXRange(double xMin, double xMax) { m_xMin = xMin, m_xMax = xMax; }

  uint64_t ProfilePoints() const { return m_profilePoints; }
  void SetProfilePoints(uint64_t points) { m_profilePoints = points; }

  // Axis texts of the current axis type.
  const char* XAxisTitle() const { return VHTypes::AxisTitle(AxisType()); }
  const char* XAxisUnit() const { return VHTypes::AxisUnit(AxisType()); }
  const char* YAxisTitle() const { return VHTypes::kYAxisTitle; }

 private:
  double m_xMin = 0.0;
  double m_xMax = 180.0;
  uint64_t m_profilePoints = 72000;
};
