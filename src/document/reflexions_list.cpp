#include "document/reflexions_list.h"

#include <algorithm>

#include "crystal/crystal.h"
#include "diffraction/reflexion.h"
#include "errors/exception.h"

namespace {

double SortValue(const CTSReflexion& r, CReflexionsList::CColumn column) {
  using C = CReflexionsList::CColumn;
  switch (column) {
    case C::kH:
      return r.h;
    case C::kK:
      return r.k;
    case C::kL:
      return r.l;
    case C::kD:
      return r.d;
    case C::kPosition:
      return r.position;
    case C::kIntensity:
      return r.intensity;
    case C::kRelativeIntensity:
      return r.relativeIntensity;
    case C::kMultiplicity:
      return r.multiplicity;
  }
  return 0.0;
}

}  // namespace

CReflexionsList::CReflexionsList(CTessDoc& document) : m_document(document) {
  m_document.AddView(*this);
  Rebuild();
}

CReflexionsList::~CReflexionsList() {
  m_document.RemoveView(*this);
}

void CReflexionsList::OnUpdate(const CUpdateHint& hint) {
  // Its own pick changes nothing in the list; every other change may.
  if (hint.Code() != HintCode::kReflexionSelected) Rebuild();
}

void CReflexionsList::Rebuild() {
  m_pattern = nullptr;
  for (const auto& pattern : m_document.Patterns()) {
    // The shared pointer of the first selected crystal, at any depth.
    std::vector<std::shared_ptr<CTSPattern>> stack{pattern};
    while (!stack.empty() && !m_pattern) {
      const std::shared_ptr<CTSPattern> candidate = stack.back();
      stack.pop_back();
      if (candidate->Selected() && candidate->GetKind() == CTSPattern::kCrystal)
        m_pattern = candidate;
      if (const CPatternList* components = candidate->Components())
        stack.insert(stack.end(), components->rbegin(), components->rend());
    }
    if (m_pattern) break;
  }
  m_rows =
      m_pattern ? m_pattern->Crystal()->reflexions : std::vector<std::shared_ptr<CTSReflexion>>{};
  ApplyOrder();
}

void CReflexionsList::SortBy(CColumn column, bool ascending) {
  m_sortColumn = column;
  m_ascending = ascending;
  ApplyOrder();
}

void CReflexionsList::ApplyOrder() {
  std::ranges::stable_sort(m_rows, [&](const auto& a, const auto& b) {
    const double x = SortValue(*a, m_sortColumn), y = SortValue(*b, m_sortColumn);
    return m_ascending ? x < y : x > y;
  });
}

std::string CReflexionsList::ColumnTitle(CColumn column) const {
  const CPlotSpec& plot = m_document.PlotSpec();
  switch (column) {
    case CColumn::kH:
      return "h";
    case CColumn::kK:
      return "k";
    case CColumn::kL:
      return "l";
    case CColumn::kD:
      return "d (Å)";
    case CColumn::kPosition:
      return std::string(plot.XAxisTitle()) + " (" + plot.XAxisUnit() + ")";
    case CColumn::kIntensity:
      return "Intensity";
    case CColumn::kRelativeIntensity:
      return "I/Imax";
    case CColumn::kMultiplicity:
      return "m";
  }
  return {};
}

std::string CReflexionsList::CellText(size_t row, CColumn column) const {
  const CTSReflexion& r = Row(row);
  switch (column) {
    case CColumn::kH:
      return std::to_string(r.h);
    case CColumn::kK:
      return std::to_string(r.k);
    case CColumn::kL:
      return std::to_string(r.l);
    case CColumn::kD:
      return Formatted("%.5f", r.d);
    case CColumn::kPosition:
      return Formatted("%.4f", r.position);
    case CColumn::kIntensity:
      return Formatted("%.5g", r.intensity);
    case CColumn::kRelativeIntensity:
      return Formatted("%.1f%%", 100.0 * r.relativeIntensity);
    case CColumn::kMultiplicity:
      return std::to_string(r.multiplicity);
  }
  return {};
}

void CReflexionsList::SelectRow(size_t row) {
  m_document.Broadcast(CUHReflexionSelected(&m_document, this, m_pattern, m_rows.at(row)));
}
