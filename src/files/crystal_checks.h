// What every crystal reader checks before it hands a crystal over: a cell that can exist, and
// finite numbers wherever the calculation reads them, so that no file can put a NaN into a
// pattern.
#pragma once

class CTSCrystal;

// Raises CVHXFileImpossibleCell for a cell that cannot exist and CVHXFileNotFinite, naming the
// site, for a coordinate, occupancy or displacement parameter that is not a finite number;
// CVHXFileImpossibleOccupancy for an occupancy below 0 or above 10.
void CheckCrystal(const CTSCrystal& crystal);
