// Tick steps of a plot axis: a major step near 100 pixels apart in a 1-2-5 series, and finer
// steps that divide a coarser one, near a target spacing.
#pragma once

// The major step of an axis spanning `range` data units at `scale` pixels per unit: base 10^e / 10
// (e the decade of the range) times the first of 1, 2, 5, 10, 20, 50 whose spacing in pixels lies
// between the minimum tick spacing and the axis length and is nearest 100 pixels. 0 for no ticks.
double MajorTickStep(double range, double scale);

// A finer step than `coarser`: 10^e (e its decade) times the first of 0.1, 0.2, 0.5, 1, 2, 5, 10
// that divides `coarser` exactly and whose spacing lies between the minimum tick spacing and the
// coarser spacing, nearest `targetPixels`. 0 when none does.
double FinerTickStep(double coarser, double scale, double targetPixels);

// The three steps of an axis: major, medium (target 40 pixels) and minor (target 5 pixels).
struct CTickSteps {
  double major = 0.0, medium = 0.0, minor = 0.0;
};
CTickSteps TickSteps(double range, double scale);
