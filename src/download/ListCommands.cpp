#include "download/ListCommands.h"

#include "download/PdfCheck.h"

#include "download/Naming.h"
#include "platform/PartFile.h"

#include "download/DownloadListModel.h"
#include "download/Naming.h"
#include "shell/FileNames.h"

#include <QCollator>
#include <QDateTime>
#include <QHash>
#include <QLocale>
#include <QSaveFile>
#include <QSet>
#include <algorithm>
#include <cmath>

namespace {

bool finishedOrFailed(const DownloadItem& row) {
    return row.state == ItemState::Finished || row.state == ItemState::Failed;
}

bool completeAndSmaller(const DownloadItem& row, float limit) {
    if (!finishedOrFailed(row))
        return false;
    const QString comma = QStringLiteral(",");
    const std::optional<double> size = CellNumber(row.size, comma);
    const std::optional<double> received = CellNumber(row.received, comma);
    if (!size || !received || *size != *received)
        return false;
    return static_cast<float>(*size) < limit;
}

} // namespace

// ---------------------------------------------------------------- re-download

bool RedownloadSelects(RedownloadRule rule, const DownloadItem& row, bool selected, float limit) {
    switch (rule) {
    case RedownloadRule::Selected:
        return selected && finishedOrFailed(row);
    case RedownloadRule::Failed:
        return row.state == ItemState::Failed;
    case RedownloadRule::WebPages:
        return IsWebPageOrXmlType(row.type) && finishedOrFailed(row);
    case RedownloadRule::FailedOrWebPages:
        return row.state == ItemState::Failed ||
               (DownloadListModel::isWebPageType(row.type) && finishedOrFailed(row));
    case RedownloadRule::CompleteAndSmaller:
        return completeAndSmaller(row, limit);
    case RedownloadRule::CheckMarked:
        return IsMarkedRow(row);
    }
    return false;
}

bool RedownloadForcesPlaceholderType(RedownloadRule rule) {
    return rule == RedownloadRule::WebPages;
}

QList<int> RowsToRedownload(const QList<DownloadItem>& rows, RedownloadRule rule,
                            const QList<bool>& selected, float limit) {
    QList<int> picked;
    for (int i = 0; i < rows.size(); ++i) {
        const bool mark = i < selected.size() && selected.at(i);
        if (RedownloadSelects(rule, rows.at(i), mark, limit))
            picked.append(i);
    }
    return picked;
}

std::optional<double> CellNumber(const QString& cell, const QString& ignored) {
    QString text = cell.trimmed();
    for (const QChar c : ignored)
        text.remove(c);
    text = text.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<float> ParseSizeLimit(const std::optional<QString>& answer) {
    if (!answer)
        return std::nullopt;
    const std::optional<double> n = CellNumber(*answer, QStringLiteral(","));
    if (!n)
        return std::nullopt;
    return static_cast<float>(*n);
}

// ---------------------------------------------------------------- clear, delete

bool ClearSelects(ClearRule rule, const DownloadItem& row, bool selected) {
    switch (rule) {
    case ClearRule::Selected:
        return selected;
    case ClearRule::Failed:
        return row.state == ItemState::Failed;
    case ClearRule::Finished:
        return row.state == ItemState::Finished;
    case ClearRule::All:
        return true;
    }
    return false;
}

bool DeleteFileSelects(DeleteFileRule rule, const DownloadItem& row) {
    switch (rule) {
    case DeleteFileRule::WebPages:
        return IsWebPageOrXmlType(row.type) && finishedOrFailed(row);
    case DeleteFileRule::Failed:
        return row.state == ItemState::Failed;
    }
    return false;
}

bool IsWebPageOrXmlType(const QString& type) {
    return DownloadListModel::isWebPageType(type) ||
           type.compare(QLatin1String("xml"), Qt::CaseInsensitive) == 0;
}

// ---------------------------------------------------------------- order

QList<int> SortedOrder(const QList<DownloadItem>& rows, int column, Qt::SortOrder order) {
    const int n = static_cast<int>(rows.size());
    QList<int> result(n);
    for (int i = 0; i < n; ++i)
        result[i] = i;
    const auto cell = [&](int i) { return DownloadListModel::cellText(rows.at(i), column); };
    const bool descending = order == Qt::DescendingOrder;

    const bool numeric = column == DownloadListModel::ColSize ||
                         column == DownloadListModel::ColReceived ||
                         column == DownloadListModel::ColPercent;
    // The user's collation; the bare C locale knows no letter case rules, so
    // it is read as English.
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);

    if (numeric) {
        // Tier 0: empty cells; 1: numbers by value; 2: status texts by text.
        struct Key {
            int tier;
            double value;
            QCollatorSortKey text;
        };
        const QString ignored =
            column == DownloadListModel::ColPercent ? QStringLiteral("%") : QStringLiteral(",");
        QList<Key> keys;
        keys.reserve(n);
        for (int i = 0; i < n; ++i) {
            const QString& c = cell(i);
            if (c.trimmed().isEmpty()) {
                keys.append({0, 0, collator.sortKey(QString())});
            } else if (const std::optional<double> v = CellNumber(c, ignored)) {
                keys.append({1, *v, collator.sortKey(QString())});
            } else {
                keys.append({2, 0, collator.sortKey(c)});
            }
        }
        const auto less = [&](int a, int b) {
            const Key& ka = keys.at(a);
            const Key& kb = keys.at(b);
            if (ka.tier != kb.tier)
                return ka.tier < kb.tier;
            if (ka.tier == 1)
                return ka.value < kb.value;
            if (ka.tier == 2)
                return ka.text.compare(kb.text) < 0;
            return false;
        };
        std::stable_sort(result.begin(), result.end(),
                         [&](int a, int b) { return descending ? less(b, a) : less(a, b); });
        return result;
    }

    QList<QCollatorSortKey> keys;
    keys.reserve(n);
    for (int i = 0; i < n; ++i)
        keys.append(collator.sortKey(cell(i)));
    std::stable_sort(result.begin(), result.end(), [&](int a, int b) {
        return descending ? keys.at(b).compare(keys.at(a)) < 0 : keys.at(a).compare(keys.at(b)) < 0;
    });
    return result;
}

ListShuffler::ListShuffler() {
    std::random_device device;
    const auto now = static_cast<std::uint64_t>(QDateTime::currentMSecsSinceEpoch());
    std::seed_seq seeds{device(),
                        device(),
                        device(),
                        device(),
                        static_cast<std::uint32_t>(now),
                        static_cast<std::uint32_t>(now >> 32)};
    m_random.seed(seeds);
}

QList<int> ListShuffler::order(int n) {
    QList<int> result(qMax(0, n));
    for (int i = 0; i < result.size(); ++i)
        result[i] = i;
    std::shuffle(result.begin(), result.end(), m_random);
    return result;
}

// ---------------------------------------------------------------- names

QString ExportNamesText(const QList<DownloadItem>& rows, bool unfinishedOnly) {
    QString text;
    for (const DownloadItem& r : rows) {
        if (unfinishedOnly && r.state == ItemState::Finished)
            continue;
        text += r.name;
        text += QLatin1String("\r\n");
    }
    return text;
}

QString WriteTextFile(const QString& path, const QString& text) {
    QSaveFile file(LocalPath(path));
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

// ---------------------------------------------------------------- files

int MarkMissingFiles(DownloadListModel& list) {
    int marked = 0;
    for (int i = 0; i < list.count(); ++i) {
        if (FileExists(RowFilePath(list.item(i))))
            continue;
        list.setPercent(i, QStringLiteral("不存在"));
        ++marked;
    }
    return marked;
}

DoubleClickAction DoubleClickActionFor(ItemState state) {
    switch (state) {
    case ItemState::Finished:
        return DoubleClickAction::OpenFile;
    case ItemState::Failed:
        return DoubleClickAction::Requeue;
    default:
        return DoubleClickAction::Nothing;
    }
}

// ---------------------------------------------------------------- addresses

QString ReplaceIgnoringCase(const QString& text, const QString& find, const QString& replacement) {
    if (find.isEmpty())
        return text;
    QString out;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(find, from, Qt::CaseInsensitive);
        if (at < 0)
            break;
        out += QStringView(text).mid(from, at - from);
        out += replacement;
        from = at + find.size();
    }
    out += QStringView(text).mid(from);
    return out;
}

AddressReplaceResult ReplaceInAddresses(DownloadListModel& list, const QString& find,
                                        const QString& replacement) {
    AddressReplaceResult result;
    const int n = list.count();
    QList<QString> keys(n);
    QList<bool> moved(n, false);
    QList<bool> held(n, false); // keeps its old address list and referer
    for (int i = 0; i < n; ++i) {
        const QString& old = list.item(i).key;
        keys[i] = ReplaceIgnoringCase(old, find, replacement);
        moved[i] = keys.at(i) != old;
        if (moved.at(i) && keys.at(i).trimmed().isEmpty()) {
            keys[i] = old;
            moved[i] = false;
            held[i] = true;
        }
    }
    // A row whose new key another row also ends up with keeps its old one. That
    // can make its old key collide with a third row's new key, so repeat until
    // no key is held twice; each round sends at least one row back.
    for (;;) {
        QHash<QString, int> holders;
        holders.reserve(n);
        for (int i = 0; i < n; ++i)
            ++holders[keys.at(i)];
        bool reverted = false;
        for (int i = 0; i < n; ++i) {
            if (moved.at(i) && holders.value(keys.at(i)) > 1) {
                keys[i] = list.item(i).key;
                moved[i] = false;
                held[i] = true;
                reverted = true;
            }
        }
        if (!reverted)
            break;
    }
    QHash<int, QString> newKeys;
    for (int i = 0; i < n; ++i)
        if (moved.at(i))
            newKeys.insert(i, keys.at(i));
    list.setKeys(newKeys);
    // A part kept for a resume came from the old address: no use any more.
    for (auto it = newKeys.cbegin(); it != newKeys.cend(); ++it)
        ForgetRowPart(list.item(it.key()));
    for (int i = 0; i < n; ++i) {
        if (held.at(i)) {
            ++result.kept;
            continue;
        }
        const bool tagChanged =
            list.setTag(i, ReplaceIgnoringCase(list.item(i).tag, find, replacement));
        if (moved.at(i) || tagChanged)
            ++result.changed;
    }
    return result;
}

void ForgetRowPart(const DownloadItem& row) {
    if (row.folder.isEmpty())
        return;
    PartFile::removeStaleParts(LocalPath(RowFilePath(row)));
}
