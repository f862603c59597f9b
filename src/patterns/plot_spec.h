// The plot specification's radiation and instrument fields: the record every pattern is
// calculated against. It turns d-spacings into positions along any of the six x axes and back,
// converts peak widths between units and keeps the derived time-of-flight and energy factors in
// step with the fields they come from.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "patterns/types.h"

class CPreferences;
struct CTSReflexion;

class CPlotSpec {
 public:
  // Tag of the constructor that takes the built-in defaults.
  struct BuiltInDefaults {};

  explicit CPlotSpec(BuiltInDefaults);
  static CPlotSpec BuiltIn() { return CPlotSpec(BuiltInDefaults{}); }
  // Every field that has a preference takes it; the x range is the axis type's default range.
  // Defined with the preferences, which sit above the patterns.
  static CPlotSpec FromPreferences(const CPreferences& preferences);

  friend bool operator==(const CPlotSpec&, const CPlotSpec&) = default;

  VHTypes::TSSimulationType SimulationType() const { return m_simulationType; }
  void SetSimulationType(VHTypes::TSSimulationType type) { m_simulationType = type; }
  VHTypes::TSProfileType ProfileType() const { return m_profileType; }
  void SetProfileType(VHTypes::TSProfileType type) { m_profileType = type; }
  VHTypes::TSAxisType AxisType() const { return m_axisType; }
  // A different axis type also resets the x range to that type's default range.
  void SetAxisType(VHTypes::TSAxisType type);

  double XMin() const { return m_xMin; }
  double XMax() const { return m_xMax; }
  void SetXRange(double xMin, double xMax) { m_xMin = xMin, m_xMax = xMax; }

  // Reflexion generation: the user's d limit and the optional count limit.
  double DMin() const { return m_dMin; }
  void SetDMin(double dMin) { m_dMin = dMin; }
  bool RestrictMaxNumRefs() const { return m_restrictMaxNumRefs; }
  void SetRestrictMaxNumRefs(bool restrict) { m_restrictMaxNumRefs = restrict; }
  int32_t MaxNumRefs() const { return m_maxNumRefs; }
  void SetMaxNumRefs(int32_t count) { m_maxNumRefs = count; }

  uint64_t ProfilePoints() const { return m_profilePoints; }
  void SetProfilePoints(uint64_t points) { m_profilePoints = points; }

  // Angle-dispersive instrument: full width in degrees 2 theta, the K-alpha doublet (Angstrom)
  // and its intensity ratio r (weights r/(r+1) and 1/(r+1)).
  double TTHPeakWidth() const { return m_tthPeakWidth; }
  void SetTTHPeakWidth(double width) { m_tthPeakWidth = width; }
  bool Monochromatic() const { return m_monochromatic; }
  void SetMonochromatic(bool monochromatic) { m_monochromatic = monochromatic; }
  double Lambda() const { return m_lambda; }
  void SetLambda(double lambda) { m_lambda = lambda; }
  double Lambda2() const { return m_lambda2; }
  void SetLambda2(double lambda) { m_lambda2 = lambda; }
  double LambdaRatio() const { return m_lambdaRatio; }
  void SetLambdaRatio(double ratio) { m_lambdaRatio = ratio; }

  // Energy-dispersive detector: Bragg angle (radians) and full width (keV).
  double EDXTheta() const { return m_edxTheta; }
  void SetEDXTheta(double theta);
  double EDXPeakWidth() const { return m_edxPeakWidth; }
  void SetEDXPeakWidth(double width) { m_edxPeakWidth = width; }

  // Time-of-flight detector: Bragg angle (radians), flight path (m), resolution delta-d/d.
  double TOFTheta() const { return m_tofTheta; }
  void SetTOFTheta(double theta);
  double TOFDistance() const { return m_tofDistance; }
  void SetTOFDistance(double distance);
  double TOFResolution() const { return m_tofResolution; }
  void SetTOFResolution(double resolution) { m_tofResolution = resolution; }

  // Electron microscope: wavelength (Angstrom) and full width in 1/d.
  double LambdaTEM() const { return m_lambdaTEM; }
  void SetLambdaTEM(double lambda) { m_lambdaTEM = lambda; }
  double PeakWidthTEM() const { return m_peakWidthTEM; }
  void SetPeakWidthTEM(double width) { m_peakWidthTEM = width; }

  // Lorentzian fraction of the pseudo-Voigt shape.
  double Eta() const { return m_eta; }
  void SetEta(double eta) { m_eta = eta; }

  // Derived: time of flight (ms) per Angstrom of d, and energy (keV) times d.
  double TOFFactor() const { return m_tofFactor; }
  double EDXFactor() const { return m_edxFactor; }

  // The wavelength in effect: the electron wavelength for electrons, K-alpha-1 otherwise.
  double Wavelength() const;

  // Sets every reflexion's x position from its d-spacing for the axis type.
  void SetPositions(const std::vector<std::shared_ptr<CTSReflexion>>& reflexions) const;
  // One d-spacing to an x value and back, for readouts of the cursor and the tools. These use
  // the more precise hc/2 for the energy axis, so they differ from SetPositions there in the
  // last digits.
  double DToX(double d) const;
  double XToD(double x) const;
  // A width in unit `from` expressed in unit `to`, both taken at d = 3 Angstrom.
  double ConvertWidth(double width, VHTypes::TSAxisType from, VHTypes::TSAxisType to) const;

  // Axis texts of the current axis type.
  const char* XAxisTitle() const { return VHTypes::AxisTitle(m_axisType); }
  const char* XAxisUnit() const { return VHTypes::AxisUnit(m_axisType); }
  const char* YAxisTitle() const { return VHTypes::kYAxisTitle; }

 private:
  void UpdateDerivedFactors();
  double PositionOf(double d, double energyFactor) const;

  VHTypes::TSSimulationType m_simulationType = VHTypes::kSimulationXrays;
  VHTypes::TSProfileType m_profileType = VHTypes::kProfileGaussian;
  VHTypes::TSAxisType m_axisType = VHTypes::kAxisTwoTheta;
  double m_xMin = 0.0;
  double m_xMax = 180.0;
  double m_dMin = 0.7;
  bool m_restrictMaxNumRefs = true;
  int32_t m_maxNumRefs = 10000;
  uint64_t m_profilePoints = 72000;
  double m_tthPeakWidth = 0.1;
  bool m_monochromatic = true;
  double m_lambda = 1.5405;
  double m_lambda2 = 1.54434;
  double m_lambdaRatio = 2.0;
  double m_edxTheta = 0.06981;
  double m_edxPeakWidth = 0.1;
  double m_tofTheta = 1.57;
  double m_tofDistance = 100.0;
  double m_tofResolution = 0.001;
  double m_lambdaTEM = 0.037014;
  double m_peakWidthTEM = 0.02;
  double m_eta = 0.2;
  double m_tofFactor = 0.0;
  double m_edxFactor = 0.0;
};

// Electron wavelength (Angstrom) for a beam voltage in kV, relativistically corrected, and
// the voltage (kV) for a wavelength.
double ElectronWavelength(double kilovolts);
double ElectronVoltage(double wavelength);
