#include "patterns/mixture_pattern.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/status.h"
#include "errors/exceptions.h"
#include "patterns/observed_pattern.h"
#include "patterns/plot_spec.h"
#include "patterns/profile.h"
#include "patterns/transfer_image.h"

namespace {

// Mixtures are made by the user from patterns, never from a file; and from transfer images.
const CTSPattern::CRegistrar kRegistrar(
    CTSPattern::kMixture, {},
    [] {
      return std::shared_ptr<CTSPattern>(
          std::make_shared<CTSMixturePattern>(CTSPattern::BuiltInDefaults{}));
    },
    [](CTransferReader& reader) {
      return std::shared_ptr<CTSPattern>(std::make_shared<CTSMixturePattern>(reader));
    });

constexpr double kHighestNaturalMinimum = 999.9;

// Sets a flag for the lifetime of the object and clears it again.
class CFlagScope {
 public:
  explicit CFlagScope(bool& flag) : m_flag(flag) { m_flag = true; }
  ~CFlagScope() { m_flag = false; }
  CFlagScope(const CFlagScope&) = delete;
  CFlagScope& operator=(const CFlagScope&) = delete;

 private:
  bool& m_flag;
};

bool IsComponentOfAnyMixture(const CTSPattern& pattern, const CPatternList& patterns) {
  return std::any_of(
      patterns.begin(), patterns.end(), [&](const std::shared_ptr<CTSPattern>& candidate) {
        const CPatternList* components = candidate->Components();
        if (!components) return false;
        const bool direct =
            std::any_of(components->begin(), components->end(),
                        [&](const std::shared_ptr<CTSPattern>& c) { return c.get() == &pattern; });
        return direct || IsComponentOfAnyMixture(pattern, *components);
      });
}

}  // namespace

CTSMixturePattern::CTSMixturePattern(BuiltInDefaults tag) : CTSPattern(tag, "New Mixture") {
  Labels().phaseName = true;
}

CTSMixturePattern::CTSMixturePattern(CTransferReader& reader) : CTSPattern(reader) {
  m_fillUp = reader.Read<bool>();
  m_mixtureFlag = reader.Read<bool>();
  m_spareFlag = reader.Read<bool>();
  m_components.resize(reader.ReadCount(1));
  for (auto& component : m_components) component = NewPatternFromTransferImage(reader);
}

std::shared_ptr<CTSPattern> CTSMixturePattern::Clone() const {
  auto clone = std::shared_ptr<CTSMixturePattern>(new CTSMixturePattern(*this));
  for (auto& component : clone->m_components) component = component->Clone();
  clone->m_rebalancing = false;
  return clone;
}

void CTSMixturePattern::CalculateReflexions(const CPlotSpec& plotSpec) {
  for (const auto& component : m_components) component->CalculateReflexions(plotSpec);
  ClearProfile();
}

bool CTSMixturePattern::ContainsCrystal() const {
  return std::any_of(m_components.begin(), m_components.end(),
                     [](const std::shared_ptr<CTSPattern>& c) { return c->ContainsCrystal(); });
}

bool CTSMixturePattern::HasReflexionsOrData() const {
  return std::all_of(m_components.begin(), m_components.end(),
                     [](const std::shared_ptr<CTSPattern>& c) { return c->HasReflexionsOrData(); });
}

void CTSMixturePattern::Recalculate(const CPlotSpec& plotSpec) {
  for (const auto& component : m_components) component->Recalculate(plotSpec);
  CTSPattern::Recalculate(plotSpec);
}

void CTSMixturePattern::ComputeProfile(const CPlotSpec& plotSpec) {
  if (!ProfilePoints(false).empty()) return;
  CStatus status("Generating profile for %s...", Title());
  CProfile grid = VHProfile::LayGrid(plotSpec);
  const auto n = static_cast<int64_t>(grid.size());
  const double step =
      (plotSpec.XMax() - plotSpec.XMin()) / static_cast<double>(plotSpec.ProfilePoints());
  for (const auto& component : m_components) {
    const CProfile& profile = component->GetProfile(plotSpec);
    if (profile.empty()) {
      std::fprintf(stderr, "Mixture component %s returned a nil profile and was skipped\n",
                   component->Title().c_str());
      continue;
    }
    // The components share the mixture's grid, so an x offset moves a curve by whole steps.
    const auto shift = static_cast<int64_t>(std::trunc(component->XOffset() / step));
    const double weight = component->YScale() * component->MixtureFraction();
    const auto points = static_cast<int64_t>(profile.size());
    for (int64_t i = std::max<int64_t>(shift, 0); i < n && i - shift < points; ++i)
      grid[static_cast<size_t>(i)].y += profile[static_cast<size_t>(i - shift)].y * weight;
  }
  ProfilePoints(false) = std::move(grid);
}

size_t CTSMixturePattern::WriteTransferImage(CTransferWriter& cursor) const {
  const size_t start = cursor.Position();
  CTSPattern::WriteTransferImage(cursor);
  cursor.Write(m_fillUp);
  cursor.Write(m_mixtureFlag);
  cursor.Write(m_spareFlag);
  cursor.Write<uint64_t>(m_components.size());
  for (const auto& component : m_components) component->WriteTransferImage(cursor);
  return cursor.Position() - start;
}

double CTSMixturePattern::NaturalXMin(VHTypes::TSAxisType axis) const {
  double minimum = kHighestNaturalMinimum;
  for (const auto& component : m_components)
    minimum = std::min(minimum, component->NaturalXMin(axis));
  return minimum;
}

double CTSMixturePattern::NaturalXMax(VHTypes::TSAxisType axis) const {
  double maximum = 0.0;
  for (const auto& component : m_components)
    maximum = std::max(maximum, component->NaturalXMax(axis));
  return maximum;
}

double CTSMixturePattern::SumOfFractions() const {
  double sum = 0.0;
  for (const auto& component : m_components) sum += component->MixtureFraction();
  return sum;
}

bool CTSMixturePattern::RemoveComponent(const std::shared_ptr<CTSPattern>& pattern) {
  const auto found = std::find(m_components.begin(), m_components.end(), pattern);
  const bool removed = found != m_components.end();
  if (removed) m_components.erase(found);
  EqualiseFractions();
  return removed;
}

void CTSMixturePattern::EqualiseFractions() {
  const double share = 1.0 / static_cast<double>(m_components.size());
  for (const auto& component : m_components) {
    component->SetMixtureFraction(share);
    // An observed phase must keep the scale it has in the mixture rather than fit the plot.
    if (auto* observed = dynamic_cast<CTSObservedPattern*>(component.get())) {
      observed->SetAutoYScale(false);
      observed->Display().displayFlag = true;
    }
  }
  ClearProfile();
}

void CTSMixturePattern::RebalanceAfterChange(const CTSPattern& changed) {
  if (m_rebalancing) return;
  const CFlagScope rebalancing(m_rebalancing);
  const size_t n = m_components.size();
  const double sum = SumOfFractions();
  if (n >= 2 && sum > 1.0) {
    double excess = sum - 1.0;
    if (n == 2) {
      CTSPattern& other = m_components[0].get() == &changed ? *m_components[1] : *m_components[0];
      other.SetMixtureFraction(std::max(other.MixtureFraction() - excess, 0.0));
    } else {
      // From the smallest fraction up, each of the others gives an equal share of what is left.
      CPatternList order = m_components;
      std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
        return a->MixtureFraction() < b->MixtureFraction();
      });
      auto others = static_cast<double>(n - 1);
      for (const auto& component : order) {
        if (component.get() == &changed) continue;
        const double fraction = component->MixtureFraction();
        if (fraction > 0.0) {
          const double reduced = std::max(fraction - excess / others, 0.0);
          excess -= fraction - reduced;
          component->SetMixtureFraction(reduced);
        }
        others -= 1.0;
      }
    }
  } else if (n >= 2 && sum < 1.0 && m_fillUp) {
    const double gain = (1.0 - sum) / static_cast<double>(n - 1);
    for (const auto& component : m_components)
      if (component.get() != &changed)
        component->SetMixtureFraction(component->MixtureFraction() + gain);
  }
  ClearProfile();
}

std::shared_ptr<CTSMixturePattern> NewMixture(const CPatternList& selected,
                                              const CPatternList& session) {
  for (const auto& pattern : selected)
    if (pattern->GetKind() == CTSPattern::kMixture) throw CVHXStructuresInvalidMixture();
  for (const auto& pattern : selected)
    if (IsComponentOfAnyMixture(*pattern, session)) throw CVHXStructuresNestedMixture();
  auto mixture = std::make_shared<CTSMixturePattern>(CTSPattern::BuiltInDefaults{});
  *mixture->Components() = selected;
  mixture->EqualiseFractions();
  return mixture;
}
