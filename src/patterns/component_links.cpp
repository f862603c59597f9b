#include "patterns/component_links.h"

#include <algorithm>
#include <cstddef>
#include <optional>

CComponentPlaces ComponentPlacesByIdentity(const CPatternList& patterns) {
  CComponentPlaces places(patterns.size());
  for (size_t i = 0; i < patterns.size(); ++i)
    if (const CPatternList* components = patterns[i]->Components())
      for (const auto& component : *components) {
        const auto found = std::ranges::find(patterns, component);
        places[i].push_back(found == patterns.end() ? -1
                                                    : static_cast<int>(found - patterns.begin()));
      }
  return places;
}

CComponentPlaces ComponentPlacesByEquality(const CPatternList& patterns) {
  CComponentPlaces places(patterns.size());
  // Images are taken only of candidates whose kind and title already match, and once each: an
  // observed pattern's image can run to megabytes.
  std::vector<std::optional<std::vector<std::byte>>> images(patterns.size());
  // A pattern is a component of one mixture at most, so a list pattern claimed once is no
  // candidate again: equal copies in the list keep standing for their own components.
  std::vector<bool> taken(patterns.size(), false);
  for (size_t m = 0; m < patterns.size(); ++m) {
    const CPatternList* components = patterns[m]->Components();
    if (!components) continue;
    for (const auto& component : *components) {
      std::optional<std::vector<std::byte>> own;
      int place = -1;
      for (size_t i = 0; i < patterns.size() && place < 0; ++i) {
        const CTSPattern& candidate = *patterns[i];
        if (taken[i] || candidate.Components() || candidate.GetKind() != component->GetKind() ||
            candidate.Title() != component->Title())
          continue;
        if (!own) own = CTSPattern::TransferImage(*component);
        if (!images[i]) images[i] = CTSPattern::TransferImage(candidate);
        if (*images[i] == *own) place = static_cast<int>(i);
      }
      if (place >= 0) taken[static_cast<size_t>(place)] = true;
      places[m].push_back(place);
    }
  }
  return places;
}

void LinkComponents(CPatternList& patterns, const CComponentPlaces& places) {
  for (size_t i = 0; i < patterns.size() && i < places.size(); ++i) {
    CPatternList* components = patterns[i]->Components();
    if (!components) continue;
    for (size_t k = 0; k < components->size() && k < places[i].size(); ++k)
      if (places[i][k] >= 0) (*components)[k] = patterns[static_cast<size_t>(places[i][k])];
  }
}
