// The built-in space-group table: every setting of the 230 groups with its operator codes,
// the list of groups with two origin choices, and older spellings of some symbols.
#pragma once

#include <array>
#include <cstdint>
#include <span>

struct CSpaceGroupRow {
  int number;                     // 1-230; 231 marks the end row
  const char* schoenflies;        // "C2h(5)"; only on the first row of each number
  const char* shortSymbol;        // "P 21/c"
  const char* fullSymbol;         // "P 1 21/c 1"
  int settingCode;                // 0; monoclinic 11-33; orthorhombic 101-106; 111/112 for R
  int originChoice;               // 0, 1 or 2
  const char* originDescription;  // "-4 3 m", "centre (-3m)" for two-origin groups
  int operatorCount;              // primitive operators, 1-48
  std::array<uint32_t, 48> codes; // the first operatorCount are used
};

struct COriginChoiceRow {
  int number;
  const char* symbol;
  std::array<float, 3> shift;  // origin-2 coordinates = origin-1 coordinates + shift
};

struct CSpaceGroupAlias {
  int number;
  const char* symbol;       // as the table spells it
  const char* alternative;  // an older spelling
};

// Each table ends with a row numbered 231, which the spans below leave out.
std::span<const CSpaceGroupRow> SpaceGroupRows();
std::span<const COriginChoiceRow> OriginChoiceRows();
std::span<const CSpaceGroupAlias> SpaceGroupAliases();
