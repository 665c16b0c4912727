#include "tools/CacheListModel.h"

#include <algorithm>

int CacheListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int CacheListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CacheListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const CacheRow& r = m_rows.at(index.row());
    switch (index.column()) {
    case Url:
        return r.text;
    case Type:
        return r.type;
    case Size:
        return r.size < 0 ? QString() : QString::number(r.size);
    case FilePath:
        return r.filePath;
    default:
        return {};
    }
}

QVariant CacheListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Url:
        return QStringLiteral("URL");
    case Type:
        return QStringLiteral("TYPE");
    case Size:
        return QStringLiteral("SIZE(Byte)");
    case FilePath:
        return QStringLiteral("FilePath");
    default:
        return {};
    }
}

Qt::ItemFlags CacheListModel::flags(const QModelIndex& index) const {
    // Selectable, never editable.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void CacheListModel::clear() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void CacheListModel::append(const QList<CacheRow>& rows) {
    if (rows.isEmpty())
        return;
    const int first = int(m_rows.size());
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    m_rows.append(rows);
    endInsertRows();
}

void CacheListModel::rowChanged(int i) {
    emit dataChanged(index(i, 0), index(i, ColumnCount - 1));
}

void CacheListModel::sortBy(int column, Qt::SortOrder order) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QList<int> order_(m_rows.size());
    for (int i = 0; i < order_.size(); ++i)
        order_[i] = i;
    const auto less = [&](int a, int b) {
        const CacheRow& x = m_rows.at(a);
        const CacheRow& y = m_rows.at(b);
        if (column == Size)
            return qMax<qint64>(x.size, 0) < qMax<qint64>(y.size, 0);
        const QString& s = column == Url ? x.text : column == Type ? x.type : x.filePath;
        const QString& t = column == Url ? y.text : column == Type ? y.type : y.filePath;
        return s.compare(t, Qt::CaseInsensitive) < 0;
    };
    if (order == Qt::AscendingOrder)
        std::stable_sort(order_.begin(), order_.end(), less);
    else
        std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) { return less(b, a); });
    QList<CacheRow> sorted;
    sorted.reserve(m_rows.size());
    QList<int> newRowOf(m_rows.size());
    for (int i = 0; i < order_.size(); ++i) {
        sorted.append(m_rows.at(order_.at(i)));
        newRowOf[order_.at(i)] = i;
    }
    m_rows = std::move(sorted);
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before)
        after.append(index(newRowOf.at(old.row()), old.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
