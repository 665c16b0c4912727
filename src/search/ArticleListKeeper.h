#pragma once

#include "platform/KeptList.h"
#include "search/ArticleListModel.h"

// What the search window's article list keeps across runs: each article's
// title, link and the other cells, and what the analysis found (nothing yet,
// the PDF address, or that it failed), under the row's id in list order (see
// KeptList). An article whose analysis was cut off (the program ended while
// it was "正在分析" or "正在下载") comes back not analysed, so "分析未分析项"
// takes it up again.
class ArticleListKeeper : public KeptList {
    Q_OBJECT
public:
    ArticleListKeeper(ArticleListModel& model, KeptDatabase& db, QObject* parent = nullptr);

    // The state a kept row comes back with.
    static QString restoredState(const QString& state);

protected:
    qint64 idAt(int row) const override;
    QVariantList valuesAt(int row) const override;
    int appendKept(const QList<Row>& rows, QList<qint64>& changed) override;
    void followModel() override;

private:
    ArticleListModel& m_model;
};
