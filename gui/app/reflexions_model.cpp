#include "gui/app/reflexions_model.h"

#include <QLocale>

#include "patterns/pattern.h"

namespace {

using CColumn = CReflexionsList::CColumn;

CColumn ColumnOf(int section) {
  return static_cast<CColumn>(section);
}

bool IsIndex(CColumn column) {
  return column == CColumn::kH || column == CColumn::kK || column == CColumn::kL;
}

}  // namespace

CReflexionsModel::CReflexionsModel(CTessDoc& document, QObject* parent)
    : QAbstractTableModel(parent), m_list(document) {
  // Registered after the list, so the list has its new rows when this model hears a hint.
  document.AddView(*this);
}

CReflexionsModel::~CReflexionsModel() {
  m_list.Document().RemoveView(*this);
}

QString CReflexionsModel::PatternTitle() const {
  return m_list.Pattern() ? QString::fromStdString(m_list.Pattern()->Title()) : QString();
}

void CReflexionsModel::OnUpdate(const CUpdateHint& hint) {
  if (hint.Code() == HintCode::kReflexionSelected) {
    const auto& picked = static_cast<const CUHReflexionSelected&>(hint).reflexion;
    for (size_t row = 0; row < m_list.RowCount(); ++row)
      if (&m_list.Row(row) == picked.get()) emit rowPicked(static_cast<int>(row));
    return;
  }
  beginResetModel();
  endResetModel();
  emit patternChanged(PatternTitle());
}

int CReflexionsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_list.RowCount());
}

int CReflexionsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(CReflexionsList::kColumns);
}

QVariant CReflexionsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const CColumn column = ColumnOf(index.column());
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  if (role != Qt::DisplayRole) return {};
  // The listing's formats, with the decimal separator of the user's locale: numbers on screen
  // read as the desktop writes them, files never change.
  QString text = QString::fromStdString(m_list.CellText(static_cast<size_t>(index.row()), column));
  if (!IsIndex(column)) text.replace(QLatin1Char('.'), QLocale().decimalPoint());
  return text;
}

QVariant CReflexionsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return QString::fromStdString(m_list.ColumnTitle(ColumnOf(section)));
}

void CReflexionsModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= columnCount()) return;
  emit layoutAboutToBeChanged();
  m_list.SortBy(ColumnOf(column), order == Qt::AscendingOrder);
  emit layoutChanged();
}
