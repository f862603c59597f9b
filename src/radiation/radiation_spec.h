// The radiation and instrument record every crystal is calculated against: the radiation, the
// x-axis unit, the limits of reflexion generation, each instrument's wavelengths, geometry and
// peak widths, and the peak shape. It turns d-spacings into positions along any of the six x
// axes and back, converts peak widths between units and keeps the derived time-of-flight and
// energy factors in step with the fields they come from.
#pragma once

#include <cstdint>

#include "radiation/types.h"

class CRadiationSpec {
 public:
  // The built-in defaults.
  CRadiationSpec();

  friend bool operator==(const CRadiationSpec&, const CRadiationSpec&) = default;

  VHTypes::TSSimulationType SimulationType() const { return m_simulationType; }
  void SetSimulationType(VHTypes::TSSimulationType type) { m_simulationType = type; }
  VHTypes::TSProfileType ProfileType() const { return m_profileType; }
  void SetProfileType(VHTypes::TSProfileType type) { m_profileType = type; }
  VHTypes::TSAxisType AxisType() const { return m_axisType; }

  // Reflexion generation: the user's d limit and the optional count limit.
  double DMin() const { return m_dMin; }
  void SetDMin(double dMin) { m_dMin = dMin; }
  bool RestrictMaxNumRefs() const { return m_restrictMaxNumRefs; }
  void SetRestrictMaxNumRefs(bool restrict) { m_restrictMaxNumRefs = restrict; }
  int32_t MaxNumRefs() const { return m_maxNumRefs; }
  void SetMaxNumRefs(int32_t count) { m_maxNumRefs = count; }

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

  // The x position of a reflexion of spacing d, as the calculated profile places it.
  double ReflexionPosition(double d) const { return PositionOf(d, m_edxFactor); }
  // One d-spacing to an x value and back, for readouts of the cursor and the tools. These use
  // the more precise hc/2 for the energy axis, so they differ from ReflexionPosition there in
  // the last digits.
  double DToX(double d) const;
  double XToD(double x) const;
  // A width in unit `from` expressed in unit `to`, both taken at d = 3 Angstrom.
  double ConvertWidth(double width, VHTypes::TSAxisType from, VHTypes::TSAxisType to) const;

 protected:
  // Only the plot specification changes the axis, because its x range goes with it.
  void SetAxisType(VHTypes::TSAxisType type) { m_axisType = type; }

 private:
  void UpdateDerivedFactors();
  double PositionOf(double d, double energyFactor) const;

  VHTypes::TSSimulationType m_simulationType = VHTypes::kSimulationXrays;
  VHTypes::TSProfileType m_profileType = VHTypes::kProfileGaussian;
  VHTypes::TSAxisType m_axisType = VHTypes::kAxisTwoTheta;
  double m_dMin = 0.7;
  bool m_restrictMaxNumRefs = true;
  int32_t m_maxNumRefs = 10000;
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
