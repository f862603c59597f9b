// The mixture: a pattern whose curve is the weighted sum of its components' curves, as a sample
// of several phases diffracts. Components are ordinary patterns shared with the document; each
// one's weight is its own mixture fraction.
#pragma once

#include "patterns/pattern.h"

class CTSMixturePattern : public CTSPattern {
 public:
  // Title "New Mixture", labels naming the phase, fill-up on, no components.
  explicit CTSMixturePattern(BuiltInDefaults);
  // The rest of a transfer image after the kind code, components included.
  explicit CTSMixturePattern(CTransferReader& reader);

  // A copy with copies of the components, so that it mixes patterns of its own.
  std::shared_ptr<CTSPattern> Clone() const override;
  CPatternList* Components() override { return &m_components; }
  const CPatternList* Components() const override { return &m_components; }
  // Every component's reflexions, then the mixture's profile is cleared.
  void CalculateReflexions(const CPlotSpec& plotSpec) override;
  const char* ListIcon() const override { return "mixture"; }
  // A crystal among the components, at any depth.
  bool ContainsCrystal() const override;
  // Every component has something to draw; true for an empty mixture.
  bool HasReflexionsOrData() const override;
  bool MixtureFlag() const override { return m_mixtureFlag; }
  void SetMixtureFlag(bool flag) override { m_mixtureFlag = flag; }
  // Recalculates every component, then colours the mixture if it has no colour yet.
  void Recalculate(const CPlotSpec& plotSpec) override;
  // The weighted sum on the plot's grid, under "Generating profile for %s...": each component's
  // profile times its y scale and mixture fraction (not its y offset), moved by its x offset in
  // whole grid steps. A component without a profile is skipped with a diagnostic line. Cached.
  void ComputeProfile(const CPlotSpec& plotSpec) override;
  size_t WriteTransferImage(CTransferWriter& cursor) const override;
  // The widest of the components' natural ranges; 999.9 and 0 without components.
  double NaturalXMin(VHTypes::TSAxisType axis) const override;
  double NaturalXMax(VHTypes::TSAxisType axis) const override;
  Kind GetKind() const override { return kMixture; }

  // The sum of the components' mixture fractions.
  double SumOfFractions() const;
  // Removes the first entry holding `pattern`; the fractions are made equal either way. Returns
  // whether the pattern was a component.
  bool RemoveComponent(const std::shared_ptr<CTSPattern>& pattern);
  // Gives every component the fraction 1/n; an observed component also stops scaling its y
  // axis by itself and is flagged for display. The profile is cleared.
  void EqualiseFractions();
  // Brings the other fractions in line after `changed`'s fraction was changed: an excess over 1
  // is taken from the others (from the smallest fraction up, none below 0), a shortfall is
  // spread over them when fill-up is on. Does nothing while a rebalance is under way.
  void RebalanceAfterChange(const CTSPattern& changed);

  bool FillUp() const { return m_fillUp; }
  void SetFillUp(bool fillUp) { m_fillUp = fillUp; }
  bool SpareFlag() const { return m_spareFlag; }
  void SetSpareFlag(bool flag) { m_spareFlag = flag; }

 private:
  CTSMixturePattern(const CTSMixturePattern&) = default;

  bool m_fillUp = true;
  bool m_mixtureFlag = true;
  CPatternList m_components;
  bool m_spareFlag = false;
  bool m_rebalancing = false;
};

// A new mixture of the selected patterns, in their order and with equal fractions. Refused with
// CVHXStructuresInvalidMixture when one of them is a mixture, and with
// CVHXStructuresNestedMixture when one of them is already a component of a mixture of the
// session (at any depth).
std::shared_ptr<CTSMixturePattern> NewMixture(const CPatternList& selected,
                                              const CPatternList& session);
