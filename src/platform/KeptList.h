#pragma once

#include "platform/KeptDatabase.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QVariant>
#include <memory>

class QAbstractItemModel;
class QSqlQuery;

// A list that the kept database keeps: rows with a stable id and a place in
// the list, in a table of the list's own (id, position, then its columns).
//
// Every row is kept whole under its id: appended rows take the next place,
// removals leave the others alone, and only a new order of the whole list
// (sorting, shuffling) rewrites the places. The list follows its model's
// notices and notes which rows changed, with their values as they were then;
// the database's batch writes only those, so a change costs the same however
// long the list is. A row about to place its file can be written at once,
// before the rename.
//
// A list's keeper derives from this and says only what is its own: its
// columns, how a row becomes their values and back, its restore rules, and
// which of its model's notices mean what (touch, dropped, cleared, reordered,
// placing).
class KeptList : public QObject, public KeptWriter {
    Q_OBJECT
public:
    // A column after id and position; its values are never NULL. A column
    // that a kept table lacks is added to it, empty (0 or ''), so a list
    // kept by an earlier program comes back; add columns, never rename them.
    struct Column {
        QString name;
        QString type; // "TEXT" or "INTEGER"
    };
    // A row as it was kept: its id and its columns' values, in their order.
    struct Row {
        qint64 id = 0;
        QVariantList values;
    };

    ~KeptList() override;

    bool isKeeping() const { return m_active; }
    // Appends the kept rows to the model (empty until now) and follows it
    // from then on; returns how many rows came back.
    int restore();
    // Writes what is pending and stops following the model: what the window
    // does to its rows while it closes (failing the rows under way) is not
    // kept, so the next run finds them as a crash would have left them.
    void finish();

    // --- KeptWriter ---
    bool writePending(QSqlDatabase& db) override;
    void pendingWritten() override;

protected:
    // Keeps model's rows in table when db keeps; does nothing otherwise.
    KeptList(QAbstractItemModel& model, KeptDatabase& db, const QString& table,
             const QList<Column>& columns, QObject* parent);

    // The id of the model's row, and the values of its columns.
    virtual qint64 idAt(int row) const = 0;
    virtual QVariantList valuesAt(int row) const = 0;
    // Appends the kept rows to the model in one insertion, each after the
    // list's restore rules; notes in changed the ids of the rows those rules
    // changed. Returns how many rows the model took.
    virtual int appendKept(const QList<Row>& rows, QList<qint64>& changed) = 0;
    // Connects the model's own notices to the calls below.
    virtual void followModel() = 0;

    // A row's values changed.
    void touch(int row);
    // These rows (by id) went.
    void dropped(const QList<qint64>& ids);
    // The list was emptied.
    void cleared();
    // The rows took a new order: every place is written again with the next batch.
    void reordered();
    // The row is about to place its file: it goes to the disk now.
    void placing(int row);

private:
    struct Pending {
        QVariantList values;
        qint64 position = -1; // the place of a row not yet kept; -1 for one that is
    };
    bool isRow(int row) const;
    bool addMissingColumns(KeptDatabase& db, const QList<Column>& columns);
    void follow();
    void inserted(int first, int last);
    bool prepareUpsert(QSqlQuery& q) const;
    bool upsert(QSqlQuery& q, qint64 id, const Pending& p) const;

    QAbstractItemModel& m_model;
    QPointer<KeptDatabase> m_db;
    const QString m_table;
    QString m_columns; // id, position and the list's columns, comma-separated
    QString m_upsert;
    qsizetype m_columnCount = 0;
    bool m_active = false;
    bool m_following = false;
    QHash<qint64, Pending> m_pending;
    QSet<qint64> m_dropped;
    bool m_cleared = false;
    QList<qint64> m_order; // the ids in their new order after a reorder; empty otherwise
    bool m_reordered = false;
    bool m_structural = false; // rows came, went or moved since the last batch
    qint64 m_nextPosition = 0;
    std::unique_ptr<QSqlQuery> m_placing; // the statement of the write before a rename
};
