// The patterns list as a view model: one row per pattern of the session, a mixture's components
// in rows below it, one level deeper; the commands of the list's buttons, check boxes and menu.
// The desktop application's list widget shows these rows and forwards the user's actions.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "document/tess_doc.h"

class CStructuresList : public CDocumentView {
 public:
  struct CRow {
    std::shared_ptr<CTSPattern> pattern;
    int depth = 0;  // 0 for the session's own patterns, 1 for a mixture's components, ...
  };

  // Registers with the document for its lifetime.
  explicit CStructuresList(CTessDoc& document);
  ~CStructuresList() override;
  CStructuresList(const CStructuresList&) = delete;
  CStructuresList& operator=(const CStructuresList&) = delete;

  CTessDoc& Document() { return m_document; }
  const std::vector<CRow>& Rows() const { return m_rows; }
  // The name of the row's icon: its pattern's kind.
  std::string Icon(size_t row) const;

  // The rows the user selected; every pattern's selected flag follows.
  void Select(const std::vector<size_t>& rows);

  // Plots the selected patterns not yet plotted; more than 20 ask first.
  void PlotSelected();
  // Asks, then removes the selected patterns from the session.
  void RemoveSelected();
  void RemoveAll();
  void RemoveUnplotted();
  // A mixture of the selected patterns, in list order.
  void MixSelected();
  // The row's plot check box: checked plots the pattern, cleared takes it off the plot and keeps
  // it in the session.
  void SetPlotChecked(size_t row, bool checked);
  // A title edited in place.
  void Rename(size_t row, std::string title);
  // Drags a row of the session's own patterns to the place of another.
  void Move(size_t fromRow, size_t toRow);
  void Sort(TSPatternOrder order);

  void OnUpdate(const CUpdateHint& hint) override;

 private:
  void Rebuild();
  CPatternList SelectedPatterns() const;
  // Asks the question, removes the patterns and tells the views when any went.
  void Remove(const CVHException& question, const CPatternList& patterns);
  void Changed(int32_t code);

  CTessDoc& m_document;
  std::vector<CRow> m_rows;
};
