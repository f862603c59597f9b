// The reflexions list as a view model: the reflexions of the selected crystal pattern, one row
// each, sortable by any column; picking a row tells the other views which reflexion it was.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "document/tess_doc.h"

class CReflexionsList : public CDocumentView {
 public:
  enum class CColumn { kH, kK, kL, kD, kPosition, kIntensity, kRelativeIntensity, kMultiplicity };
  static constexpr size_t kColumns = 8;

  explicit CReflexionsList(CTessDoc& document);
  ~CReflexionsList() override;
  CReflexionsList(const CReflexionsList&) = delete;
  CReflexionsList& operator=(const CReflexionsList&) = delete;

  CTessDoc& Document() { return m_document; }
  // The crystal pattern shown: the first selected one (components of mixtures included), else
  // none.
  const std::shared_ptr<CTSPattern>& Pattern() const { return m_pattern; }
  size_t RowCount() const { return m_rows.size(); }
  const CTSReflexion& Row(size_t row) const { return *m_rows.at(row); }
  // The column's title, with the x axis's name and unit for the position.
  std::string ColumnTitle(CColumn column) const;
  std::string CellText(size_t row, CColumn column) const;

  // Sorts the rows by the column; equal values keep their order. The order stays through
  // updates until another is asked.
  void SortBy(CColumn column, bool ascending);
  // Broadcasts the row's reflexion as the selected one.
  void SelectRow(size_t row);

  void OnUpdate(const CUpdateHint& hint) override;

 private:
  void Rebuild();
  void ApplyOrder();

  CTessDoc& m_document;
  std::shared_ptr<CTSPattern> m_pattern;
  std::vector<std::shared_ptr<CTSReflexion>> m_rows;
  CColumn m_sortColumn = CColumn::kD;
  bool m_ascending = false;  // the largest d first, as the listings run
};
