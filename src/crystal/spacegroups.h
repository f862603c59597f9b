// Space-group lookup and symmetry: resolving a typed or stored symbol against the built-in
// table, building a crystal's operators from its symbol, identifying the group of an operator
// list read from a file, lattice centring, and expanding sites into equivalent positions.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "crystal/vector.h"
#include "resources/spacegroup_table.h"

class CTSCrystal;

enum class CrystalSystem {
  kUnknown = 0,
  kTriclinic = 1,
  kMonoclinic = 2,
  kOrthorhombic = 3,
  kTetragonal = 4,
  kTrigonal = 5,
  kRhombohedral = 6,
  kHexagonal = 7,
  kCubic = 8,
};

// "Cubic", "Hexagonal", ...; empty for kUnknown.
const char* CrystalSystemName(CrystalSystem system);

// Index into SpaceGroupRows() of the first row that a typed symbol names: a number ("14"), a
// Schoenflies symbol ("C2h(5)"), a Hermann-Mauguin symbol in any usual spelling ("P21/c",
// "p 21/c", "P 1 21/c 1", "F m 3 m") with an optional "[origin N]" suffix. `originChoice`
// receives the requested origin, kept only for groups with two origin choices.
std::optional<size_t> LookUpSpaceGroup(std::string_view text, int& originChoice);

// Like LookUpSpaceGroup, but a non-zero origin choice or setting code must equal the row's.
std::optional<size_t> FindSpaceGroupRow(std::string_view symbol, int originChoice = 0,
                                        int settingCode = 0);

// Resolves `symbol` (with the cell angles, for rhombohedral groups) and rewrites it in the
// table's spelling: the short symbol for a number or Schoenflies symbol, the full symbol for a
// Hermann-Mauguin symbol spelt otherwise. Returns false, leaving it unchanged, when unknown.
bool NormaliseSpaceGroupSymbol(std::string& symbol, int originChoice, const double angles[3],
                               CrystalSystem& system);

// The crystal system of space group `number`; rhombohedral for an R symbol in a cell whose
// three angles round to the same whole degree.
CrystalSystem CrystalSystemOf(int number, std::string_view symbol, const double angles[3]);

// The axes a symbol's CIF suffix asks for: rhombohedral for ":R", hexagonal for ":H" (either
// case); nothing without one.
std::optional<bool> RequestsRhombohedralAxes(std::string_view symbol);

// The shift between the two origins of a group with two origin choices.
std::optional<VHTypes::CVector> OriginShift(std::string_view symbol);

// The centring translations of a lattice letter, (0,0,0) first; their count is the centring
// multiplicity. Unknown letters count as P.
std::span<const VHTypes::CVector> CentringTranslations(char latticeLetter);

// True when the three cell angles round to the same whole degree (rhombohedral axes).
bool HasEqualAngles(const CTSCrystal& crystal);

// The table row of a crystal's symbol, refined by its origin choice and, for R groups, by
// its axes (rhombohedral when the three angles are equal, else hexagonal).
std::optional<size_t> SpaceGroupRowOf(const CTSCrystal& crystal);

// Fills the crystal's operator list and lattice letter from its symbol and origin choice;
// an unknown symbol gives P 1 with the identity.
void BuildOperators(CTSCrystal& crystal);

// Identifies the space group of the crystal's operator list, setting symbol, lattice letter
// and origin choice and rewriting the list in the fixed layout without centring repeats. When no table row matches, the symbol stays and
// the list loses the operators that repeat another one by a centring translation.
bool IdentifySpaceGroup(CTSCrystal& crystal);

// Makes a cell within a few parts in 10^4 of the metric of its space group's crystal system
// exact, so that reflexions its symmetry makes equivalent have equal d-spacings and merge:
// lengths the system makes equal are averaged, and so are equal angles; right angles and the
// 120 degrees of hexagonal axes are set. A cell further off, or of an unknown group, is left as
// it is. Logs the change; returns whether there was one.
bool MakeCellMetricExact(CTSCrystal& crystal);

// Expands every site into its symmetry-equivalent positions, the site's own first: its images
// under every operator and centring translation, each kept unless it lies within 0.05 Angstrom
// of one already listed, modulo lattice translations (under the crystal's legacy rules: within
// 0.00011 in every coordinate, without wrap-around). Records each position's rotation.
void GenerateSitePositions(CTSCrystal& crystal);

// A fractional coordinate brought into [0, 1), with values within 0.00001 of a cell edge set
// to 0.
double NormaliseCoordinate(double u);

// The display texts of the space-group module.
inline constexpr const char* kSpacegroupNotRecognised = "Spacegroup not recognised";
