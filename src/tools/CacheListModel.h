#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>

// One row of the cache viewer's file list.
struct CacheRow {
    QString text;     // the source address, or "用户:" + user name
    QString type;     // "TYPE"
    qint64 size = -1; // "SIZE(Byte)"; -1: empty
    QString filePath; // "FilePath"; empty when the document is not in a file
    // Current user's view: the entry file (read again when it is copied).
    QString entryFile;

    bool isUserFile() const { return text.startsWith(QStringLiteral("用户:")); }
};

// The rows of ListView1: columns "URL", "TYPE", "SIZE(Byte)", "FilePath".
class CacheListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Url, Type, Size, FilePath, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void clear();
    void append(const QList<CacheRow>& rows);
    const CacheRow& row(int i) const { return m_rows.at(i); }
    CacheRow& row(int i) { return m_rows[i]; }
    const QList<CacheRow>& rows() const { return m_rows; }
    // Rewrites the cells of row i after a change.
    void rowChanged(int i);

    // Sizes sort as numbers, every other column as text (letter case ignored);
    // rows that compare equal keep their order.
    void sortBy(int column, Qt::SortOrder order);

private:
    QList<CacheRow> m_rows;
};
