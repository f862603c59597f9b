#include "document/structures_list.h"

#include <algorithm>
#include <new>

#include "errors/exceptions.h"

namespace {

constexpr unsigned kRemoveAllText = 23630;
constexpr unsigned kRemoveUnplottedText = 23632;

void AddRows(const CPatternList& patterns, int depth, std::vector<CStructuresList::CRow>& rows) {
  for (const auto& pattern : patterns) {
    rows.push_back({pattern, depth});
    if (const CPatternList* components = pattern->Components())
      AddRows(*components, depth + 1, rows);
  }
}

}  // namespace

CStructuresList::CStructuresList(CTessDoc& document) : m_document(document) {
  m_document.AddView(*this);
  Rebuild();
}

CStructuresList::~CStructuresList() {
  m_document.RemoveView(*this);
}

std::string CStructuresList::Icon(size_t row) const {
  return m_rows.at(row).pattern->ListIcon();
}

void CStructuresList::Rebuild() {
  m_rows.clear();
  try {
    AddRows(m_document.Patterns(), 0, m_rows);
  } catch (const std::bad_alloc&) {
    // A list that cannot hold its rows shows none rather than some, and says why.
    std::vector<CRow>().swap(m_rows);
    m_document.Ui().Alert(CVHXStructuresMemErr());
  }
}

void CStructuresList::OnUpdate(const CUpdateHint& hint) {
  switch (hint.Code()) {
    case HintCode::kPatternListChanged:
    case HintCode::kPlottedSetChanged:
    case HintCode::kTitleChanged:
    case HintCode::kMixtureChanged:
      Rebuild();
      break;
    default:
      break;
  }
}

void CStructuresList::Changed(int32_t code) {
  Rebuild();
  m_document.Broadcast(code, this);
}

void CStructuresList::Select(const std::vector<size_t>& rows) {
  ForEachPattern(m_document.Patterns(), [](CTSPattern& pattern) { pattern.SetSelected(false); });
  for (size_t row : rows) m_rows.at(row).pattern->SetSelected(true);
}

CPatternList CStructuresList::SelectedPatterns() const {
  CPatternList selected;
  for (const CRow& row : m_rows)
    if (row.pattern->Selected() && std::ranges::find(selected, row.pattern) == selected.end())
      selected.push_back(row.pattern);
  return selected;
}

void CStructuresList::PlotSelected() {
  CPatternList unplotted = SelectedPatterns();
  std::erase_if(unplotted, [](const auto& pattern) { return pattern->Plotted(); });
  if (unplotted.empty()) return;
  if (unplotted.size() > CTessDoc::kManyItems &&
      !m_document.Ui().Confirm(CVHXStructuresAddLots(kSeverityQuestion)))
    return;
  m_document.PlotPatterns(unplotted);
}

void CStructuresList::Remove(const CVHException& question, const CPatternList& patterns) {
  if (!m_document.Ui().Confirm(question)) return;
  if (m_document.RemovePatterns(patterns)) Changed(HintCode::kPatternListChanged);
}

void CStructuresList::RemoveSelected() {
  Remove(CVHXStructuresDestroySelected(kSeverityQuestion), SelectedPatterns());
}

void CStructuresList::RemoveAll() {
  Remove(CVHXAlertText(kRemoveAllText, kSeverityQuestion), m_document.Patterns());
}

void CStructuresList::RemoveUnplotted() {
  CPatternList unplotted = m_document.Patterns();
  std::erase_if(unplotted, [](const auto& pattern) { return pattern->Plotted(); });
  Remove(CVHXAlertText(kRemoveUnplottedText, kSeverityQuestion), unplotted);
}

void CStructuresList::MixSelected() {
  if (m_document.CreateMixture(SelectedPatterns())) Rebuild();
}

void CStructuresList::SetPlotChecked(size_t row, bool checked) {
  const std::shared_ptr<CTSPattern> pattern = m_rows.at(row).pattern;
  if (checked)
    m_document.PlotPatterns({pattern});
  else
    m_document.UnplotPatterns({pattern});
}

void CStructuresList::Rename(size_t row, std::string title) {
  CTSPattern& pattern = *m_rows.at(row).pattern;
  if (title.empty() || title == pattern.Title()) return;
  pattern.SetTitle(std::move(title));
  Changed(HintCode::kTitleChanged);
}

void CStructuresList::Move(size_t fromRow, size_t toRow) {
  const CRow& from = m_rows.at(fromRow);
  const CRow& to = m_rows.at(toRow);
  if (from.depth != 0 || to.depth != 0 || fromRow == toRow) return;
  const CPatternList& patterns = m_document.Patterns();
  const auto index = std::ranges::find(patterns, to.pattern) - patterns.begin();
  m_document.MovePattern(from.pattern, static_cast<size_t>(index));
  Changed(HintCode::kPatternListChanged);
}

void CStructuresList::Sort(TSPatternOrder order) {
  m_document.SortPatterns(order);
  Changed(HintCode::kPatternListChanged);
}
