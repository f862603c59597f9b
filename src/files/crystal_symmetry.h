// What a crystal file says about symmetry (a space-group symbol, its number, a list of
// operators, a lattice letter) and how that becomes the crystal's symmetry. Shared by the
// crystal readers so that every format resolves conflicts the same way.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "crystal/symop.h"

class CTSCrystal;

struct CFileSymmetry {
  std::string symbol;              // as written; empty when the file gives none
  std::string hall;                // Hall symbol as written; empty when the file gives none
  std::optional<int> number;       // International Tables number
  std::vector<CTSSymOp> operators; // as listed, centring translations included or not
  char latticeLetter = 0;          // when the file states one
};

enum class CSymmetrySource { kOperators, kHall, kSymbol, kNumber, kNone };

// Gives the crystal its symbol, lattice letter, origin choice and operators. A listed operator
// set wins when it is consistent: it is identified against the table, and a symbol that names
// another group is reported (21097, or 21096 when only the lattice differs). A list that is
// only part of the symbol's group (centring translations left out, or the identity alone)
// gives way to the symbol.
// Without operators, a Hall symbol that reads gives them (it fixes setting and origin, which a
// Hermann-Mauguin symbol may leave open); a Hermann-Mauguin symbol that names another setting
// is logged.
// An unknown symbol or number is reported (22830, 22833) and the other is used, else P 1.
// A cell a few parts in 10^4 off the metric of the group is then made exact.
// Returns where the symmetry came from; kNone leaves P 1 and the caller decides what to say.
CSymmetrySource ApplyFileSymmetry(const CFileSymmetry& symmetry, CTSCrystal& crystal);

// What a file says its cell holds, which tells the two origins of a group apart.
struct CExpectedContent {
  std::vector<std::optional<int>> multiplicities;  // per site, where the file gives one
  std::map<std::string, double> atoms;             // atoms per cell by element, from the formula
};

// For a group with two origin choices that the file leaves open: takes the origin under which
// the generated cell agrees better with what the file expects (its current one on a tie) and
// logs the choice. Positions are generated anew.
void ChooseOriginByContent(CTSCrystal& crystal, const CExpectedContent& expected);
