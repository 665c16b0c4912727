#include "platform/DocumentSnapshot.h"

#include <QHash>
#include <algorithm>

namespace {

// The reading script hands over one text: "VSNAP1", the document address and
// one record per element, records and their fields split by the ASCII record
// and unit separators (the script turns any separator inside a value into a
// space). A result page has tens of thousands of elements; this text is
// smaller than JSON and is read in one pass without building a JSON tree, so
// the user interface is held far shorter. After the elements, sections split
// by the group separator: "T" with the texts (parent, after, text) and "M"
// with the head's meta tags (name, property, content).
enum Column { Tag, Class, Id, Name, Type, Value, Checked, Text, Href, Parent, ColumnCount };
constexpr QChar kRecord(0x1e);
constexpr QChar kUnit(0x1f);
constexpr QChar kGroup(0x1d);

// The unit-separated fields of a record; fewer than wanted gives an empty list.
QList<QStringView> fieldsOf(QStringView record, int wanted) {
    QList<QStringView> fields;
    qsizetype start = 0;
    while (fields.size() < wanted - 1) {
        const qsizetype end = record.indexOf(kUnit, start);
        if (end < 0)
            return {};
        fields.append(record.sliced(start, end - start));
        start = end + 1;
    }
    fields.append(record.sliced(start));
    return fields;
}

// Reads the sections after the elements; a malformed record is left out.
void readSections(QStringView rest, DocumentSnapshot& snapshot) {
    for (QStringView section : rest.split(kGroup)) {
        if (section.isEmpty())
            continue;
        const QChar kind = section.front();
        const QList<QStringView> records = section.sliced(1).split(kRecord);
        for (QStringView record : records.mid(1)) {
            const QList<QStringView> f = fieldsOf(record, 3);
            if (f.isEmpty())
                continue;
            if (kind == QLatin1Char('T')) {
                bool okParent = false;
                bool okAfter = false;
                SnapshotText t{f.at(0).toInt(&okParent), f.at(1).toInt(&okAfter),
                               f.at(2).toString()};
                const int n = snapshot.size();
                if (okParent && okAfter && t.parent >= 0 && t.parent < n && t.after >= t.parent &&
                    t.after < n &&
                    (snapshot.texts.isEmpty() || snapshot.texts.last().after <= t.after))
                    snapshot.texts.append(std::move(t));
            } else if (kind == QLatin1Char('M')) {
                snapshot.meta.append({f.at(0).toString(), f.at(1).toString(), f.at(2).toString()});
            }
        }
    }
}

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

QString DocumentSnapshot::textOf(int i) const {
    if (i < 0 || i >= size())
        return {};
    const SnapshotElement& root = elements.at(i);
    // Texts are ordered by `after`: those inside root start at the first one
    // after root began, and end before the first one after root's subtree.
    auto it = std::lower_bound(texts.cbegin(), texts.cend(), i,
                               [](const SnapshotText& t, int at) { return t.after < at; });
    QString joined;
    for (; it != texts.cend() && it->after < root.end; ++it) {
        if (it->parent >= i && it->parent < root.end)
            joined += it->text;
    }
    return joined.simplified();
}

QStringList DocumentSnapshot::metaContents(const QString& nameOrProperty) const {
    QStringList found;
    for (const SnapshotMeta& m : meta) {
        if (m.name.compare(nameOrProperty, Qt::CaseInsensitive) != 0 &&
            m.property.compare(nameOrProperty, Qt::CaseInsensitive) != 0)
            continue;
        const QString content = m.content.trimmed();
        if (!content.isEmpty())
            found.append(content);
    }
    return found;
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
    var withText = { A: 1, AREA: 1, BUTTON: 1, LABEL: 1, OPTION: 1, LEGEND: 1, CAPTION: 1,
                     TITLE: 1, H1: 1, H2: 1, H3: 1, H4: 1, H5: 1, H6: 1, TD: 1, TH: 1 };
    var hasValue = { BUTTON: 1, SELECT: 1, OPTION: 1, TEXTAREA: 1, OUTPUT: 1, DATA: 1 };
    var separators = /[\x1d\x1e\x1f]/g;
    var clean = function (s) {
      s = String(s);
      return s.search(separators) < 0 ? s : s.replace(separators, ' ');
    };
    var all = doc.getElementsByTagName('*');
    var n = all.length;
    var pos = new Map();
    var rows = new Array(n);
    for (var i = 0; i < n; ++i) {
      var el = all[i];
      pos.set(el, i);
      var tag = clean(el.tagName || '').toUpperCase();
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
      if (withText[tag]) {
        var t = el.innerText;
        if (typeof t !== 'string') t = el.textContent || '';
        text = t.length > MAX ? t.substring(0, MAX) : t;
      }
      var p = el.parentElement;
      var parent = p ? pos.get(p) : undefined;
      rows[i] = [tag, clean(el.getAttribute('class') || ''), clean(el.getAttribute('id') || ''),
                 clean(el.getAttribute('name') || ''), clean(type), clean(value),
                 checked < 0 ? '' : checked, clean(text), clean(href),
                 parent === undefined ? '' : parent].join('\x1f');
    }
    // The texts, in document order, each with the element it stands in and
    // the last element begun before it; white space between two texts is kept
    // once, so words of neighbouring elements stay apart.
    var texts = [];
    var skip = { SCRIPT: 1, STYLE: 1, NOSCRIPT: 1, TEMPLATE: 1 };
    var walker = doc.createTreeWalker(doc.documentElement, NodeFilter.SHOW_ELEMENT | NodeFilter.SHOW_TEXT);
    var last = 0, spaced = true;
    for (var node = walker.currentNode; node; node = walker.nextNode()) {
      if (node.nodeType === 1) { var at = pos.get(node); if (at !== undefined) last = at; continue; }
      var owner = node.parentNode;
      var ownerAt = owner ? pos.get(owner) : undefined;
      if (ownerAt === undefined || skip[String(owner.tagName || '').toUpperCase()]) continue;
      var s = String(node.data || '').replace(/\s+/g, ' ');
      if (s === '' || (s === ' ' && spaced)) continue;
      if (s.length > MAX) s = s.substring(0, MAX);
      spaced = s.charAt(s.length - 1) === ' ';
      texts.push(ownerAt + '\x1f' + last + '\x1f' + clean(s));
    }
    var metas = [];
    var head = doc.head;
    if (head) {
      var tags = head.getElementsByTagName('meta');
      for (var m = 0; m < tags.length; ++m) {
        var name = tags[m].getAttribute('name') || '', prop = tags[m].getAttribute('property') || '';
        if (!name && !prop) continue;
        metas.push(clean(name) + '\x1f' + clean(prop) + '\x1f' + clean(tags[m].getAttribute('content') || ''));
      }
      var links = head.getElementsByTagName('link');
      for (var k = 0; k < links.length; ++k) {
        if (/(^|\s)canonical(\s|$)/i.test(links[k].getAttribute('rel') || '') && links[k].href)
          metas.push('canonical\x1f\x1f' + clean(links[k].href));
      }
    }
    return 'VSNAP1\x1e' + clean(String(doc.URL || '')) + (n ? '\x1e' + rows.join('\x1e') : '') +
           '\x1dT' + (texts.length ? '\x1e' + texts.join('\x1e') : '') +
           '\x1dM' + (metas.length ? '\x1e' + metas.join('\x1e') : '');
  } catch (e) {
    return null;
  }
})()
)JS")
                                      .arg(kMaxTextLength);
    return script;
}

DocumentSnapshot DocumentSnapshot::parse(const QString& text) {
    DocumentSnapshot snapshot;
    const qsizetype sections = text.indexOf(kGroup);
    const QStringView all = sections < 0 ? QStringView(text) : QStringView(text).left(sections);
    const QStringView magic = u"VSNAP1";
    if (!all.startsWith(magic) || all.size() == magic.size() || all[magic.size()] != kRecord)
        return snapshot;
    qsizetype pos = magic.size() + 1;
    qsizetype next = all.indexOf(kRecord, pos);
    if (next < 0)
        next = all.size();
    snapshot.url = all.sliced(pos, next - pos).toString();

    // Tags, classes and types repeat on every item of a result page; one
    // shared copy of each keeps the snapshot small and the parse quick.
    QHash<QStringView, QString> pool;
    const auto shared = [&pool](QStringView v) {
        if (v.isEmpty())
            return QString();
        auto it = pool.constFind(v);
        if (it == pool.constEnd())
            it = pool.insert(v, v.toString());
        return it.value();
    };

    snapshot.elements.reserve(all.count(kRecord));
    QStringView fields[ColumnCount];
    while (next < all.size()) {
        pos = next + 1;
        next = all.indexOf(kRecord, pos);
        if (next < 0)
            next = all.size();
        const QStringView row = all.sliced(pos, next - pos);
        int count = 0;
        qsizetype start = 0;
        qsizetype end = 0;
        while (count < ColumnCount) {
            end = row.indexOf(kUnit, start);
            if (end < 0)
                end = row.size();
            fields[count++] = row.sliced(start, end - start);
            if (end == row.size())
                break;
            start = end + 1;
        }
        SnapshotElement e;
        // A malformed row stays as an element without tag, so the indices of
        // the others still name the same elements in the page.
        if (count == ColumnCount && end == row.size()) {
            e.tag = shared(fields[Tag]).toUpper();
            e.className = shared(fields[Class]);
            e.id = fields[Id].toString();
            e.name = fields[Name].toString();
            e.type = shared(fields[Type]);
            e.value = fields[Value].toString();
            if (fields[Checked] == u"1")
                e.checked = true;
            else if (fields[Checked] == u"0")
                e.checked = false;
            e.text = fields[Text].toString();
            e.href = fields[Href].toString();
            bool ok = false;
            const int parent = fields[Parent].toInt(&ok);
            e.parent = ok ? parent : -1;
        }
        snapshot.elements.append(std::move(e));
    }
    linkTree(snapshot.elements);
    if (sections >= 0)
        readSections(QStringView(text).sliced(sections), snapshot);
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

void SnapshotBuilder::addText(const QString& text) {
    const int n = m_snapshot.size();
    if (n == 0)
        return;
    const int parent = m_open.isEmpty() ? -1 : m_open.last();
    m_snapshot.texts.append({parent, n - 1, text});
}

void SnapshotBuilder::addMeta(const QString& name, const QString& property,
                              const QString& content) {
    m_snapshot.meta.append({name, property, content});
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
