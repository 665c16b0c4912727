#include "search/ArticleListKeeper.h"

#include "download/RecordSources.h"

namespace {
// The columns, in the order of columns().
enum Cell : int { Title, Type, State, SaveFolder, Layout, Link, PageAddress, PdfAddress, Record };

QList<KeptList::Column> columns() {
    const QString text = QStringLiteral("TEXT");
    return QList<KeptList::Column>{
               {QStringLiteral("title"), text},        {QStringLiteral("type"), text},
               {QStringLiteral("state"), text},        {QStringLiteral("save_folder"), text},
               {QStringLiteral("layout"), text},       {QStringLiteral("link"), text},
               {QStringLiteral("page_address"), text}, {QStringLiteral("pdf_address"), text}} +
           RecordKeptColumns();
}
} // namespace

ArticleListKeeper::ArticleListKeeper(ArticleListModel& model, KeptDatabase& db, QObject* parent)
    : KeptList(model, db, QStringLiteral("articles"), columns(), parent), m_model(model) {}

QString ArticleListKeeper::restoredState(const QString& state) {
    if (state == ArticleState::Analysing || state == ArticleState::Downloading)
        return {};
    return state;
}

qint64 ArticleListKeeper::idAt(int row) const {
    return m_model.at(row).id;
}

QVariantList ArticleListKeeper::valuesAt(int row) const {
    const ArticleEntry& e = m_model.at(row);
    return QVariantList{e.title,  e.type, e.state,       e.saveFolder,
                        e.layout, e.link, e.pageAddress, e.pdfAddress} +
           RecordKeptValues(e.record);
}

int ArticleListKeeper::appendKept(const QList<Row>& rows, QList<qint64>& changed) {
    QVector<ArticleEntry> entries;
    entries.reserve(rows.size());
    for (const Row& row : rows) {
        const QVariantList& v = row.values;
        ArticleEntry e;
        e.id = row.id;
        e.title = v.at(Title).toString();
        e.type = v.at(Type).toString();
        e.state = v.at(State).toString();
        e.saveFolder = v.at(SaveFolder).toString();
        e.layout = v.at(Layout).toString();
        e.link = v.at(Link).toString();
        e.pageAddress = v.at(PageAddress).toString();
        e.pdfAddress = v.at(PdfAddress).toString();
        e.record = RecordFromKept(v, Record);
        const QString state = restoredState(e.state);
        if (state != e.state) {
            e.state = state;
            changed.append(e.id);
        }
        entries.append(std::move(e));
    }
    return m_model.restoreRows(std::move(entries));
}

void ArticleListKeeper::followModel() {
    ArticleListModel* model = &m_model;
    connect(model, &ArticleListModel::rowFactsChanged, this, &ArticleListKeeper::touch);
    connect(model, &ArticleListModel::rowsDropped, this, &ArticleListKeeper::dropped);
    connect(model, &ArticleListModel::listCleared, this, &ArticleListKeeper::cleared);
}
