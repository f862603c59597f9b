// Peak profiles: the four peak shapes, the peak-width model (instrument, crystallite size and
// strain), and the sampling of a crystal's reflexions into an intensity curve on a fixed grid of
// points, with the optional K-alpha-2 doublet.
#pragma once

#include <memory>
#include <vector>

#include "radiation/types.h"

class CPlotSpec;
class CTSCrystal;
struct CTSReflexion;

// One sample of a curve: x in axis units, y an intensity.
struct CProfilePoint {
  double x = 0.0;
  double y = 0.0;
  friend bool operator==(const CProfilePoint&, const CProfilePoint&) = default;
};

// A curve: points with strictly increasing x.
using CProfile = std::vector<CProfilePoint>;

namespace VHProfile {

// ln 2 rounded to single precision and widened; the shapes and the strain term use this value.
inline constexpr double kLn2 = 0.6931471824645996;
// The height of the unit-area Gaussian of half width 1, sqrt(ln 2 / pi).
extern const double kGaussianNorm;
// exp(a) below exp(-30) is left out of the Gaussian, whatever the reach.
inline constexpr double kGaussianFloor = -30.0;

// The shapes at x for a peak at x0 of half width at half maximum w. The Gaussian and the
// Lorentzian have unit area, the Delta triangle unit height; eta is the Lorentzian fraction.
double Delta(double x, double x0, double w);
double Lorentzian(double x, double x0, double w);
double Gaussian(double x, double x0, double w);
double PseudoVoigt(double x, double x0, double w, double eta);

// How many half widths a peak of the shape reaches; 0 for a value that names no shape.
double CutOffFactor(VHTypes::TSProfileType type, double eta);

// Full widths at position x in the plot's axis unit: the instrument's (by radiation), and the
// crystallite-size and strain broadening of a sample of size `size` (Angstrom, clamped to
// 0-10000) and isotropic strain `strain` (clamped to 0-1).
double InstrumentWidth(const CPlotSpec& plotSpec, double x);
double SizeWidth(const CPlotSpec& plotSpec, double size, double x);
double StrainWidth(const CPlotSpec& plotSpec, double strain, double x);
// The three combined for the profile type: linear for the Lorentzian, in quadrature for the
// Gaussian, mixed by eta for the pseudo-Voigt, and 0 for the Delta (whose width the sampling
// fixes) and for unknown types.
double TotalWidth(VHTypes::TSProfileType type, double eta, double instrument, double size, double strain);

// Writes the half width of every reflexion of the crystal at its x position.
void ComputeWidths(const CTSCrystal& crystal, const CPlotSpec& plotSpec);

// The empty grid of the plot: N points from x minimum, each the previous x plus the step
// (x maximum - x minimum) / N, every y 0. Mixtures and observed data resample onto it too.
CProfile LayGrid(const CPlotSpec& plotSpec);

// The straight line through p1 and p2 at x, ((x - x1) y2 + (x2 - x) y1) / (x2 - x1); 0 when x1
// equals x2.
double Interpolate(const CProfilePoint& p1, const CProfilePoint& p2, double x);

// A curve of points in increasing x, shifted along x by `xOffset`, on the grid of the plot: a grid
// point between the first and the last shifted x takes the line through the first shifted point
// beyond it and the point before that; every other grid point, and the last x itself, gets 0.
// Fewer than two points give an empty profile.
CProfile Resample(const CProfile& points, double xOffset, const CPlotSpec& plotSpec);

// Sums the peaks of the reflexions (x positions and half widths already set) into the grid.
// Each peak touches only the points within its reach, so the cost grows with the number of
// reflexions times the reach, not times N. No reflexions give an empty profile.
CProfile SampleProfile(const std::vector<std::shared_ptr<CTSReflexion>>& reflexions,
                       const CPlotSpec& plotSpec);

// The whole profile of a crystal whose reflexions have their x positions: widths, then the
// sampling.
CProfile BuildProfile(const CTSCrystal& crystal, const CPlotSpec& plotSpec);

}  // namespace VHProfile
