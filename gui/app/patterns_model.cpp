#include "gui/app/patterns_model.h"

#include <QIcon>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QUrl>

#include "patterns/pattern.h"

namespace {

// The row's icon: the pattern's kind as a shape in the pattern's colour, so that the list
// doubles as the plot's key. A crystal is a filled diamond, observed data a hollow one, a
// mixture a diamond within a diamond.
QIcon KindIcon(const CTSPattern& pattern) {
  constexpr int kSide = 32;
  QPixmap pixmap(kSide, kSide);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const uint32_t argb = pattern.Style().colour;
  const QColor colour = (argb >> 24) ? QColor::fromRgba(argb) : QColor(Qt::darkGray);
  const auto diamond = [](double half) {
    QPainterPath path;
    const double c = kSide / 2.0;
    path.moveTo(c, c - half);
    path.lineTo(c + half, c);
    path.lineTo(c, c + half);
    path.lineTo(c - half, c);
    path.closeSubpath();
    return path;
  };
  const std::string kind = pattern.ListIcon();
  painter.setPen(QPen(colour.darker(130), 2.5));
  if (kind == "observed") {
    painter.setBrush(Qt::white);
    painter.drawPath(diamond(12));
  } else if (kind == "mixture") {
    painter.setBrush(Qt::white);
    painter.drawPath(diamond(13));
    painter.setBrush(colour);
    painter.drawPath(diamond(6));
  } else {
    painter.setBrush(colour);
    painter.drawPath(diamond(12));
  }
  return QIcon(pixmap);
}

QString TitleOf(const CTSPattern& pattern) {
  return QString::fromStdString(pattern.Title());
}

}  // namespace

CPatternsModel::CPatternsModel(CTessDoc& document, QObject* parent)
    : QAbstractItemModel(parent), m_list(document) {
  // Registered after the list, so the list has its new rows when this model hears a hint.
  document.AddView(*this);
  Rebuild();
}

CPatternsModel::~CPatternsModel() {
  m_list.Document().RemoveView(*this);
}

void CPatternsModel::Rebuild() {
  const auto& rows = m_list.Rows();
  m_nodes.assign(rows.size(), {});
  m_topRows.clear();
  std::vector<int> openAtDepth;  // the last row seen at each depth
  for (size_t i = 0; i < rows.size(); ++i) {
    const int depth = rows[i].depth;
    openAtDepth.resize(static_cast<size_t>(depth) + 1);
    openAtDepth[static_cast<size_t>(depth)] = static_cast<int>(i);
    CNode& node = m_nodes[i];
    if (depth == 0) {
      node.position = static_cast<int>(m_topRows.size());
      m_topRows.push_back(static_cast<int>(i));
    } else {
      node.parent = openAtDepth[static_cast<size_t>(depth) - 1];
      auto& siblings = m_nodes[static_cast<size_t>(node.parent)].children;
      node.position = static_cast<int>(siblings.size());
      siblings.push_back(static_cast<int>(i));
    }
  }
}

void CPatternsModel::OnUpdate(const CUpdateHint&) {
  if (m_changing) return;
  beginResetModel();
  Rebuild();
  endResetModel();
  emit rowsRebuilt();
}

size_t CPatternsModel::RowOf(const QModelIndex& index) const {
  return static_cast<size_t>(index.internalId());
}

QModelIndex CPatternsModel::IndexOf(size_t row) const {
  if (row >= m_nodes.size()) return {};
  return createIndex(m_nodes[row].position, 0, static_cast<quintptr>(row));
}

QModelIndex CPatternsModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0) return {};
  const std::vector<int>& children = parent.isValid() ? m_nodes[RowOf(parent)].children : m_topRows;
  if (row >= static_cast<int>(children.size())) return {};
  return createIndex(row, 0, static_cast<quintptr>(children[static_cast<size_t>(row)]));
}

QModelIndex CPatternsModel::parent(const QModelIndex& index) const {
  if (!index.isValid()) return {};
  const int parentRow = m_nodes[RowOf(index)].parent;
  return parentRow < 0 ? QModelIndex() : IndexOf(static_cast<size_t>(parentRow));
}

int CPatternsModel::rowCount(const QModelIndex& parent) const {
  if (parent.column() > 0) return 0;
  return static_cast<int>(parent.isValid() ? m_nodes[RowOf(parent)].children.size()
                                           : m_topRows.size());
}

int CPatternsModel::columnCount(const QModelIndex&) const {
  return 1;
}

QVariant CPatternsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const CStructuresList::CRow& row = m_list.Rows().at(RowOf(index));
  const CTSPattern& pattern = *row.pattern;
  switch (role) {
    case Qt::DisplayRole:
      // A component shows its share of the mixture before its title.
      if (row.depth > 0)
        return QStringLiteral("%1  %2")
            .arg(pattern.MixtureFraction(), 0, 'f', 2)
            .arg(TitleOf(pattern));
      return TitleOf(pattern);
    case Qt::EditRole:
      return TitleOf(pattern);
    case Qt::ToolTipRole:
      return pattern.Path().empty() ? TitleOf(pattern)
                                    : QStringLiteral("%1\n%2").arg(
                                          TitleOf(pattern), QString::fromStdString(pattern.Path()));
    case Qt::DecorationRole:
      return KindIcon(pattern);
    case Qt::CheckStateRole:
      return pattern.Plotted() ? Qt::Checked : Qt::Unchecked;
    default:
      return {};
  }
}

bool CPatternsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid()) return false;
  const size_t row = RowOf(index);
  if (role == Qt::CheckStateRole) {
    m_list.SetPlotChecked(row, value.toInt() == Qt::Checked);
    return true;
  }
  if (role == Qt::EditRole) {
    const QString title = value.toString().trimmed();
    if (title.isEmpty()) return false;
    m_list.Rename(row, title.toStdString());
    return true;
  }
  return false;
}

Qt::ItemFlags CPatternsModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::ItemIsDropEnabled;
  Qt::ItemFlags flags =
      Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEditable;
  // Only the session's own patterns are reordered; components follow their mixture.
  if (m_list.Rows().at(RowOf(index)).depth == 0) flags |= Qt::ItemIsDragEnabled;
  return flags;
}

void CPatternsModel::SetSelection(const QModelIndexList& indexes) {
  std::vector<size_t> rows;
  for (const QModelIndex& index : indexes)
    if (index.isValid()) rows.push_back(RowOf(index));
  m_list.Select(rows);
  // Choosing rows changes nothing to save; the views that show the selection follow.
  CTessDoc& document = m_list.Document();
  const bool modified = document.Modified();
  m_changing = true;
  document.Broadcast(HintCode::kPatternsPane, this);
  m_changing = false;
  document.SetModified(modified);
}

QItemSelection CPatternsModel::SelectedRows() const {
  QItemSelection selection;
  for (size_t row = 0; row < m_list.Rows().size(); ++row)
    if (m_list.Rows()[row].pattern->Selected()) selection.select(IndexOf(row), IndexOf(row));
  return selection;
}

Qt::DropActions CPatternsModel::supportedDropActions() const {
  return Qt::MoveAction | Qt::CopyAction;
}

QStringList CPatternsModel::mimeTypes() const {
  return {QString::fromLatin1(kRowMimeType), QStringLiteral("text/uri-list")};
}

QMimeData* CPatternsModel::mimeData(const QModelIndexList& indexes) const {
  if (indexes.isEmpty()) return nullptr;
  auto* data = new QMimeData;
  data->setData(QString::fromLatin1(kRowMimeType),
                QByteArray::number(static_cast<qulonglong>(RowOf(indexes.first()))));
  return data;
}

bool CPatternsModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int,
                                     const QModelIndex& parent) const {
  if (data->hasUrls()) return true;
  // Rows move among the session's own patterns only.
  return data->hasFormat(QString::fromLatin1(kRowMimeType)) && !parent.isValid();
}

bool CPatternsModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int,
                                  const QModelIndex& parent) {
  if (action == Qt::IgnoreAction) return true;
  if (data->hasUrls()) {
    QStringList paths;
    for (const QUrl& url : data->urls())
      if (url.isLocalFile()) paths << url.toLocalFile();
    if (!paths.isEmpty()) emit filesDropped(paths);
    return false;  // nothing of the list itself moved
  }
  if (parent.isValid() || !data->hasFormat(QString::fromLatin1(kRowMimeType))) return false;
  const size_t from = data->data(QString::fromLatin1(kRowMimeType)).toULongLong();
  if (from >= m_list.Rows().size()) return false;
  // Dropped after the last row, or between two rows: the place of the row that follows.
  const size_t to = row < 0 || row >= static_cast<int>(m_topRows.size())
                        ? static_cast<size_t>(m_topRows.back())
                        : static_cast<size_t>(m_topRows[static_cast<size_t>(row)]);
  m_list.Move(from, to);
  // The core moved the row; the list is rebuilt from the hint, so Qt must not remove a source.
  return false;
}
