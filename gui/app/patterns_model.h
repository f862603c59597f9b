// The patterns list as a Qt item model over the core's list: a tree whose rows are the session's
// patterns with a mixture's components under it, each with its icon (kind and colour), its
// title (editable in place) and its plot check box. Every change the user makes goes to the
// core's list, which asks and tells the document; the model only mirrors the rows it rebuilds.
#pragma once

#include <QAbstractItemModel>
#include <QItemSelection>
#include <vector>

#include "document/structures_list.h"

class CPatternsModel final : public QAbstractItemModel, public CDocumentView {
  Q_OBJECT

 public:
  // The mime type of rows dragged within the list.
  static constexpr const char* kRowMimeType = "application/x-tessaline-pattern-row";

  explicit CPatternsModel(CTessDoc& document, QObject* parent = nullptr);
  ~CPatternsModel() override;

  CStructuresList& List() { return m_list; }
  // The core list's row of an index, and back.
  size_t RowOf(const QModelIndex& index) const;
  QModelIndex IndexOf(size_t row) const;

  // The list's selection as the user made it: the patterns' selected flags follow, and the
  // views that show the selection hear of it.
  void SetSelection(const QModelIndexList& indexes);
  // The rows whose patterns are selected, to restore the view's selection after a rebuild.
  QItemSelection SelectedRows() const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& index) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  Qt::DropActions supportedDropActions() const override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                       const QModelIndex& parent) const override;
  bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                    const QModelIndex& parent) override;

  void OnUpdate(const CUpdateHint& hint) override;

 signals:
  void filesDropped(const QStringList& paths);
  // The rows were rebuilt; the view restores its selection from the patterns.
  void rowsRebuilt();

 private:
  // The rows' tree: each row's parent (-1 at the top) and children, from the rows' depths.
  struct CNode {
    int parent = -1;
    int position = 0;  // among its parent's children
    std::vector<int> children;
  };
  void Rebuild();

  CStructuresList m_list;
  std::vector<CNode> m_nodes;
  std::vector<int> m_topRows;
  bool m_changing = false;  // the model itself changes the list: the rows follow at the end
};
