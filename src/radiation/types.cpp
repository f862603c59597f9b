#include "radiation/types.h"

#include "crystal/vector.h"

namespace VHTypes {

namespace {

struct CAxisTexts {
  const char* chooser;
  const char* title;
  const char* unit;
  const char* menu;
};

constexpr CAxisTexts kAxisTexts[] = {
    {"2θ", "2θ", "°", "2 theta"},
    {"d-Spacing", "d-Spacing", "Å", "d-Spacing"},
    {"1/d", "1/d", "Å⁻¹", "1/d"},
    {"Time-of-flight", "Time-of-Flight", "ms", "Time-of-flight"},
    {"Energy", "Energy", "keV", "Energy"},
    {"2π/d", "2π/d", "Å⁻¹", "Q-space"},
};
constexpr CAxisTexts kNoAxisTexts = {"", "", "", ""};

const CAxisTexts& AxisTextsOf(TSAxisType type) {
  return type >= kAxisTwoTheta && type <= kAxisQ ? kAxisTexts[type - 1] : kNoAxisTexts;
}

constexpr CChoice kSimulationFull[] = {{"Energy-Dispersive X-rays", kSimulationEnergyDispersive},
                                       {"Neutrons", kSimulationNeutrons},
                                       {"Time-of-Flight Neutrons", kSimulationTimeOfFlight},
                                       {"X-rays", kSimulationXrays}};
constexpr CChoice kSimulationShort[] = {{"X-rays", kSimulationXrays},
                                        {"Neutrons", kSimulationNeutrons}};
constexpr CChoice kSimulationMenu[] = {{"X-Rays", kSimulationXrays},
                                       {"Neutrons", kSimulationNeutrons},
                                       {"Electrons", kSimulationElectrons},
                                       {"Energy-Dispersive X-Rays", kSimulationEnergyDispersive},
                                       {"Time-of-Flight Neutrons", kSimulationTimeOfFlight}};

constexpr CChoice kAxisChoices[] = {{"2θ", kAxisTwoTheta},   {"d-Spacing", kAxisDSpacing},
                                    {"1/d", kAxisInverseD},  {"Time-of-flight", kAxisTimeOfFlight},
                                    {"Energy", kAxisEnergy}, {"2π/d", kAxisQ}};

constexpr CChoice kProfileChoices[] = {{"Delta", kProfileDelta},
                                       {"Gaussian", kProfileGaussian},
                                       {"Lorentzian", kProfileLorentzian},
                                       {"Pseudo-Voigt", kProfilePseudoVoigt}};
constexpr CChoice kProfileMenu[] = {{"Delta", kProfileDelta},
                                    {"Lorentzian", kProfileLorentzian},
                                    {"Gaussian", kProfileGaussian},
                                    {"Pseudo-Voigt", kProfilePseudoVoigt}};

const char* FindName(std::span<const CChoice> choices, uint32_t value) {
  for (const CChoice& choice : choices)
    if (choice.value == value) return choice.name;
  return "";
}

}  // namespace

const char* SimulationChooserName(TSSimulationType type) {
  return FindName(kSimulationFull, type);
}

const char* SimulationMenuItem(TSSimulationType type) {
  return FindName(kSimulationMenu, type);
}

std::span<const CChoice> SimulationChoices(bool full) {
  return full ? std::span<const CChoice>(kSimulationFull)
              : std::span<const CChoice>(kSimulationShort);
}

std::span<const CChoice> SimulationMenuItems() {
  return kSimulationMenu;
}

const char* AxisChooserName(TSAxisType type) {
  return AxisTextsOf(type).chooser;
}
const char* AxisTitle(TSAxisType type) {
  return AxisTextsOf(type).title;
}
const char* AxisUnit(TSAxisType type) {
  return AxisTextsOf(type).unit;
}
const char* AxisMenuItem(TSAxisType type) {
  return AxisTextsOf(type).menu;
}
std::span<const CChoice> AxisChoices() {
  return kAxisChoices;
}

std::pair<double, double> DefaultAxisRange(TSAxisType type) {
  switch (type) {
    case kAxisTwoTheta:
      return {0.0, 180.0};
    case kAxisDSpacing:
      return {0.0, 100.0};
    case kAxisInverseD:
      return {0.0, 5.0};
    case kAxisTimeOfFlight:
      return {0.0, 500.0};
    case kAxisEnergy:
      return {0.0, 180.0};
    case kAxisQ:
      return {0.0, 10.0 * kPi};
  }
  return {0.0, 0.0};
}

const char* ProfileChooserName(TSProfileType type) {
  return FindName(kProfileChoices, type);
}
std::span<const CChoice> ProfileChoices() {
  return kProfileChoices;
}
std::span<const CChoice> ProfileMenuItems() {
  return kProfileMenu;
}

bool AxisFitsRadiation(TSAxisType axis, TSSimulationType radiation) {
  switch (axis) {
    case kAxisTimeOfFlight:
      return radiation == kSimulationTimeOfFlight;
    case kAxisEnergy:
      return radiation == kSimulationEnergyDispersive;
    case kAxisTwoTheta:
      return radiation != kSimulationTimeOfFlight && radiation != kSimulationEnergyDispersive;
    default:
      return true;
  }
}

}  // namespace VHTypes
