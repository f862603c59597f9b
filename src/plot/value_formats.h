// How the plot, its tips and its readouts write values: lengths in Angstrom, x values with the
// axis unit, percentages and Miller indices. Every number is written the same under any locale.
#pragma once

#include <string>
#include <string_view>

// A length such as a wavelength: fewer decimals the larger it is, followed by "Å".
std::string FormatAngstrom(double value);

// An x value followed by the axis unit text, with the decimals of FormatAngstrom except that
// exactly 1 already takes three.
std::string FormatXValue(double value, std::string_view unit);

// A fraction as a percentage ("25%", "2.5%"); a fraction of 0 shows `fallback` instead.
std::string FormatPercent(double fraction, double fallback = 0.0);

// Miller indices "1 ¯2 0": the absolute values with an overbar (U+00AF) before a negative one.
std::string FormatMiller(int h, int k, int l);
