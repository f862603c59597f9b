// A mixture's components may be patterns of the list itself (the desktop mixes the list's rows),
// so that editing or removing a row reaches the mixture. A copy of the list (an undo state, a
// session read back) holds components of its own; these functions find the list patterns the
// components stood for and put the list's objects back in their places, so that both ways of
// rebuilding a list link alike.
#pragma once

#include <vector>

#include "patterns/pattern.h"

// For each pattern of a list, the list position of each of its components; -1 for a component
// the list does not hold.
using CComponentPlaces = std::vector<std::vector<int>>;

// The places of components that are the list's own objects.
CComponentPlaces ComponentPlacesByIdentity(const CPatternList& patterns);
// The places of components equal to a list pattern (of its kind and title, with the same transfer
// image): what a copy that kept no identities can tell. A list pattern stands for one component
// at most, in list order, so equal copies in the list each keep one.
CComponentPlaces ComponentPlacesByEquality(const CPatternList& patterns);
// Puts the list's patterns in the places given (lists of another length are left as they are).
void LinkComponents(CPatternList& patterns, const CComponentPlaces& places);
