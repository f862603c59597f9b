// The enumerations that choose the radiation, the x-axis unit and the peak shape, with the
// names the choosers and menus show, the axis titles and unit strings, and each axis's default
// range. Values are stored as 32-bit unsigned numbers (one byte in files), so a value read from
// a file that names no enumerator is representable and answered with empty texts.
#pragma once

#include <cstdint>
#include <span>
#include <utility>

namespace VHTypes {

enum TSSimulationType : uint32_t {
  kSimulationXrays = 1,             // angle-dispersive X-rays
  kSimulationNeutrons = 2,          // angle-dispersive neutrons
  kSimulationEnergyDispersive = 3,  // energy-dispersive X-rays
  kSimulationTimeOfFlight = 4,      // time-of-flight neutrons
  kSimulationElectrons = 5,         // transmission electron microscope
};

enum TSAxisType : uint32_t {
  kAxisTwoTheta = 1,      // degrees
  kAxisDSpacing = 2,      // Angstrom
  kAxisInverseD = 3,      // 1/d, reciprocal Angstrom
  kAxisTimeOfFlight = 4,  // ms
  kAxisEnergy = 5,        // keV
  kAxisQ = 6,             // 2 pi / d, reciprocal Angstrom
};

enum TSProfileType : uint32_t {
  kProfileDelta = 1,
  kProfileLorentzian = 2,
  kProfileGaussian = 3,
  kProfilePseudoVoigt = 4,
};

// One row of a chooser or menu: the text shown and the value it stands for.
struct CChoice {
  const char* name;
  uint32_t value;
};

// Radiation: the chooser name ("" for electrons, which only the menu offers) and the
// Diffraction menu item.
const char* SimulationChooserName(TSSimulationType type);
const char* SimulationMenuItem(TSSimulationType type);
// The radiation chooser's full list (energy-dispersive, neutrons, time-of-flight, X-rays) or its
// short list (X-rays, neutrons), and the menu's radiation items in menu order.
std::span<const CChoice> SimulationChoices(bool full);
std::span<const CChoice> SimulationMenuItems();

// Axis: chooser name, axis title, unit string and menu item; all "" outside the six units.
const char* AxisChooserName(TSAxisType type);
const char* AxisTitle(TSAxisType type);
const char* AxisUnit(TSAxisType type);
const char* AxisMenuItem(TSAxisType type);
std::span<const CChoice> AxisChoices();
// (0, upper end) of the axis's default x range; (0, 0) outside the six units.
std::pair<double, double> DefaultAxisRange(TSAxisType type);
inline constexpr const char* kYAxisTitle = "Intensity";
// Whether the radiation can be plotted against the axis: time of flight and energy are the axes
// of their own radiations only, and neither of those has a 2θ to plot against.
bool AxisFitsRadiation(TSAxisType axis, TSSimulationType radiation);

// Peak shape: chooser name ("" for an unknown value), the chooser list (Delta, Gaussian,
// Lorentzian, Pseudo-Voigt) and the "Peak Function" menu (Delta, Lorentzian, Gaussian,
// Pseudo-Voigt).
const char* ProfileChooserName(TSProfileType type);
std::span<const CChoice> ProfileChoices();
std::span<const CChoice> ProfileMenuItems();

}  // namespace VHTypes
