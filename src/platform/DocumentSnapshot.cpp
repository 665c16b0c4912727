#include "platform/DocumentSnapshot.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace {

// Rows are arrays rather than objects: a result page has tens of thousands of
// elements, and the text to build, move and parse is then about half as long.
enum Column { Tag, Class, Id, Name, Type, Value, Checked, Text, Href, Parent, ColumnCount };

// Fills `end` and cuts parent links that could not come from a pre-order walk,
// so every reader can rely on descendants being a contiguous range.
void linkTree(QVector<SnapshotElement>& elements) {
    const int n = int(elements.size());
    for (int i = 0; i < n; ++i) {
        SnapshotElement& e = elements[i];
        e.index = i;
        e.end = i + 1;
        if (e.parent < 0 || e.parent >= i)
            e.parent = -1;
    }
    // In a pre-order walk an element's parent is its nearest earlier ancestor
    // still open; a parent link that skips an open element would make subtree
    // ranges overlap. Check with the stack of open elements.
    QVector<int> open;
    for (int i = 0; i < n; ++i) {
        SnapshotElement& e = elements[i];
        while (!open.isEmpty() && open.last() != e.parent)
            open.removeLast();
        if (open.isEmpty())
            e.parent = -1;
        open.append(i);
    }
    for (int i = n - 1; i >= 0; --i) {
        const int p = elements[i].parent;
        if (p >= 0 && elements[p].end < elements[i].end)
            elements[p].end = elements[i].end;
    }
}

QString jsonText(const QJsonValue& v) {
    return v.isString() ? v.toString() : QString();
}

} // namespace

bool DocumentSnapshot::hasTag(int i, const QString& tag) const {
    return i >= 0 && i < elements.size() &&
           elements.at(i).tag.compare(tag, Qt::CaseInsensitive) == 0;
}

QVector<int> DocumentSnapshot::elementsByTag(int root, const QString& tag) const {
    QVector<int> found;
    const int first = root < 0 ? 0 : root + 1;
    const int last = root < 0 ? size() : (root < size() ? elements.at(root).end : first);
    for (int i = first; i < last; ++i) {
        if (elements.at(i).tag.compare(tag, Qt::CaseInsensitive) == 0)
            found.append(i);
    }
    return found;
}

int DocumentSnapshot::firstByTag(int root, const QString& tag) const {
    const int first = root < 0 ? 0 : root + 1;
    const int last = root < 0 ? size() : (root < size() ? elements.at(root).end : first);
    for (int i = first; i < last; ++i) {
        if (elements.at(i).tag.compare(tag, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

int DocumentSnapshot::elementById(const QString& wanted) const {
    for (int i = 0; i < size(); ++i) {
        if (elements.at(i).id == wanted)
            return i;
    }
    return -1;
}

QString DocumentSnapshot::readScript() {
    // Runs in the isolated world: page scripts can neither see this code nor
    // replace the DOM functions it calls.
    static const QString script = QStringLiteral(R"JS(
(function () {
  try {
    var doc = document;
    if (!doc || !doc.documentElement || doc.readyState === 'loading') return null;
    var MAX = %1;
    var noText = { HTML: 1, HEAD: 1, BODY: 1, SCRIPT: 1, STYLE: 1, NOSCRIPT: 1 };
    var hasValue = { BUTTON: 1, SELECT: 1, OPTION: 1, TEXTAREA: 1, OUTPUT: 1, DATA: 1 };
    var all = doc.getElementsByTagName('*');
    var n = all.length;
    var pos = new Map();
    var rows = new Array(n);
    for (var i = 0; i < n; ++i) {
      var el = all[i];
      pos.set(el, i);
      var tag = String(el.tagName || '').toUpperCase();
      var type = '', value = '', checked = -1, text = '', href = '';
      if (tag === 'INPUT') {
        type = String(el.type || '').toLowerCase();
        value = String(el.value == null ? '' : el.value);
        checked = el.checked ? 1 : 0;
      } else {
        type = el.getAttribute('type') || '';
        if (hasValue[tag] && el.value != null) value = String(el.value);
      }
      if ((tag === 'A' || tag === 'AREA') && typeof el.href === 'string') href = el.href;
      if (!noText[tag]) {
        var t = el.innerText;
        if (typeof t !== 'string') t = el.textContent || '';
        text = t.length > MAX ? t.substring(0, MAX) : t;
      }
      var p = el.parentElement;
      var parent = p ? pos.get(p) : undefined;
      rows[i] = [tag, el.getAttribute('class') || '', el.getAttribute('id') || '',
                 el.getAttribute('name') || '', type, value, checked, text, href,
                 parent === undefined ? -1 : parent];
    }
    return JSON.stringify({ url: String(doc.URL || ''), elements: rows });
  } catch (e) {
    return null;
  }
})()
)JS")
                                      .arg(kMaxTextLength);
    return script;
}

DocumentSnapshot DocumentSnapshot::fromJson(const QByteArray& json) {
    DocumentSnapshot snapshot;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return snapshot;
    const QJsonObject root = doc.object();
    const QJsonValue rows = root.value(QLatin1String("elements"));
    if (!rows.isArray())
        return snapshot;
    const QJsonArray array = rows.toArray();
    snapshot.elements.reserve(array.size());
    for (const QJsonValue& rowValue : array) {
        const QJsonArray row = rowValue.toArray();
        SnapshotElement e;
        if (row.size() >= ColumnCount) {
            e.tag = jsonText(row.at(Tag)).toUpper();
            e.className = jsonText(row.at(Class));
            e.id = jsonText(row.at(Id));
            e.name = jsonText(row.at(Name));
            e.type = jsonText(row.at(Type));
            e.value = jsonText(row.at(Value));
            const int checked = row.at(Checked).toInt(-1);
            if (checked == 0 || checked == 1)
                e.checked = checked == 1;
            e.text = jsonText(row.at(Text));
            e.href = jsonText(row.at(Href));
            e.parent = row.at(Parent).toInt(-1);
        }
        // A malformed row stays as an element without tag, so the indices of
        // the others still name the same elements in the page.
        snapshot.elements.append(std::move(e));
    }
    linkTree(snapshot.elements);
    snapshot.url = jsonText(root.value(QLatin1String("url")));
    snapshot.present = true;
    return snapshot;
}

SnapshotBuilder::SnapshotBuilder(const QString& url) {
    m_snapshot.url = url;
    m_snapshot.present = true;
}

int SnapshotBuilder::append(SnapshotElement element) {
    element.tag = element.tag.toUpper();
    element.parent = m_open.isEmpty() ? -1 : m_open.last();
    const int index = int(m_snapshot.elements.size());
    m_snapshot.elements.append(std::move(element));
    return index;
}

int SnapshotBuilder::open(SnapshotElement element) {
    const int index = append(std::move(element));
    m_open.append(index);
    return index;
}

int SnapshotBuilder::add(SnapshotElement element) {
    return append(std::move(element));
}

void SnapshotBuilder::close() {
    if (!m_open.isEmpty())
        m_open.removeLast();
}

DocumentSnapshot SnapshotBuilder::take() {
    linkTree(m_snapshot.elements);
    m_open.clear();
    DocumentSnapshot result = std::move(m_snapshot);
    m_snapshot = DocumentSnapshot();
    m_snapshot.url = result.url;
    m_snapshot.present = true;
    return result;
}
