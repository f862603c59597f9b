// The reflexions list as a Qt table model over the core's list: the reflexions of the selected
// crystal pattern, sortable by any column; picking a row tells the other views which
// reflexion it was.
#pragma once

#include <QAbstractTableModel>

#include "document/reflexions_list.h"

class CReflexionsModel final : public QAbstractTableModel, public CDocumentView {
  Q_OBJECT

 public:
  explicit CReflexionsModel(CTessDoc& document, QObject* parent = nullptr);
  ~CReflexionsModel() override;

  const CReflexionsList& List() const { return m_list; }
  // The crystal whose reflexions are shown, for the dock's title; empty when none.
  QString PatternTitle() const;
  void SelectRow(int row) { m_list.SelectRow(static_cast<size_t>(row)); }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  void sort(int column, Qt::SortOrder order) override;

  void OnUpdate(const CUpdateHint& hint) override;

 signals:
  void patternChanged(const QString& title);
  // A reflexion picked elsewhere (on the plot) is the list's row `row`.
  void rowPicked(int row);

 private:
  CReflexionsList m_list;
};
