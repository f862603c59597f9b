// The chemical elements H to Cf, and the hydrogen isotopes D and T that files name like
// elements: symbol, atomic number and standard atomic weight.
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

// The element named by the one or two leading letters of a label or type ("Fe2+", "FE1",
// "Ca12"), taking two letters only when they name an element; nullptr when neither does.
const CElement* LeadingElement(std::string_view text);
