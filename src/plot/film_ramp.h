// The colour ramps of the film display: each film type's stops from intensity 0 to 1, and the
// lookup that blends the two stops around an intensity.
#pragma once

#include <span>
#include <vector>

#include "patterns/plot_display.h"
#include "plot/canvas.h"

// The ramp of a film type; empty for a value that names no film.
std::vector<CColour> FilmRamp(VHTypes::TSFilmType type);

// The colour at `t` in 0..1 of a ramp whose stops are spaced evenly; opaque black for an empty
// ramp, the end stops at (and beyond) the ends.
CColour RampColour(std::span<const CColour> ramp, double t);
