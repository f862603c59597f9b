// Hall space-group symbols ("-P 2ybc", "P 31 2c (0 0 1)", "-F 4vw 2vw 3"): the symbol names
// the generators of the group explicitly, so it fixes the setting and origin as well as the
// group, and CIF files carry it beside or instead of the Hermann-Mauguin symbol.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "crystal/symop.h"

// Every operator of the space group that a Hall symbol names: the group the generators make,
// centring translations included, with translations in [0, 1): the identity, the rest of the
// primitive part, then the same again shifted by each further centring translation.
//
// The symbol: a lattice symbol (P A B C I R S T F, with a leading '-' for a centre of symmetry
// at the origin), one to four blank-separated matrix symbols, and an optional change of basis.
// A matrix symbol is the order 1 2 3 4 6 ('-' in front for the improper operation), an
// optional screw digit (31 = a threefold screw with c/3), an axis x y z, ' or " (the twofold
// axes along the face diagonals a-b and a+b, or their analogues about the preceding axis) or
// * (the threefold axis along a+b+c), and translation letters a b c n u v w d, added up.
// Left-out axes follow the usual defaults: c for the first symbol; for a second twofold, a
// after a twofold or fourfold and a-b after a threefold or sixfold; a+b+c for a later
// threefold. The change of basis is a shift in whole twelfths of the cell edges, "(0 0 1)", or
// an operator "(x,y,z+1/4)", "(x+z,-x+y+z,-y+z)" taking the symbol's coordinates to the wanted
// ones (fractions only there, so "(1/2 0 0)" is refused rather than guessed at); a new cell may
// be smaller or larger than the symbol's as long as its edges are translations of the group.
//
// Case, extra blanks, underscores for blanks and CIF quotes around the symbol do not matter; a
// leftover closing quote is dropped when the symbol does not read with it as an axis. Returns
// nothing for text that is no Hall symbol, or whose group is not finite or has more than 192
// operators.
std::optional<std::vector<CTSSymOp>> OperatorsOfHallSymbol(std::string_view hall);
