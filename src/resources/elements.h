// The chemical elements H to Cf: symbol, atomic number and standard atomic weight.
#pragma once

#include <span>
#include <string_view>

struct CElement {
  const char* symbol;
  int z;
  double weight;
};

std::span<const CElement> Elements();  // ordered by atomic number
// The element of this symbol (case-sensitive, "Fe"), or nullptr.
const CElement* FindElement(std::string_view symbol);
