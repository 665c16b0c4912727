#include "download/Naming.h"

#include "net/Codecs.h"
#include "platform/PartFile.h"
#include "shell/AppValues.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace {

qsizetype utf8Length(const QString& s) {
    return s.toUtf8().size();
}

// Anything at all at the path, a folder or a dangling link included: a name
// that is taken in any way cannot receive a new file.
bool pathTaken(const QString& path) {
    const QFileInfo info(LocalPath(path));
    return info.exists() || info.isSymLink();
}

// Held by a transfer: one of this program's (liveReservations), or one whose
// locked part file is on its way to this name (this process or another).
bool pathHeld(const QString& path, const QStringList& liveReservations) {
    return liveReservations.contains(path) || PartFile::isHeld(LocalPath(path));
}

// Taken: a file stands there (unless it is only a reservation an earlier
// version left), or a transfer is on its way to the name.
bool pathTaken(const QString& path, const QStringList& liveReservations) {
    if (pathHeld(path, liveReservations))
        return true;
    return pathTaken(path) && !IsReservationFile(path);
}

// The counter of a numbered name: k written with at least `width` digits.
QString counter(qint64 k, int width) {
    return QLatin1Char('[') + QString::number(k).rightJustified(width, QLatin1Char('0')) +
           QLatin1Char(']');
}

// A number as the numbered names write it: digits only, not so many that they
// overflow.
bool readCounter(const QString& text, qint64& value) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 9)
        return false;
    for (const QChar c : t)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    value = t.toLongLong();
    return true;
}

// base shortened so that base + tail ("[001].pdf", ".pdf", ...) stays within
// the file-system limit; tails are short (see extensionTail).
QString fittedBase(const QString& base, const QString& tail) {
    const int room = MaxFileNameBytes - static_cast<int>(utf8Length(tail));
    return LeftBytes(base, room > 0 ? room : 0);
}

QString fitName(const QString& base, const QString& tail) {
    return fittedBase(base, tail) + tail;
}

// "." + ext, an absurdly long extension cut so that a counter and some of the
// name still fit.
QString extensionTail(const QString& ext, bool withDot) {
    if (!withDot)
        return {};
    return QLatin1Char('.') + LeftBytes(ext, MaxFileNameBytes / 2);
}

bool isAsciiLetter(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

} // namespace

SameNamePolicy sameNamePolicyFromCaption(const QString& caption) {
    const QString c = caption.trimmed();
    if (c == QStringLiteral("跳过"))
        return SameNamePolicy::Skip;
    if (c == QStringLiteral("覆盖"))
        return SameNamePolicy::Overwrite;
    return SameNamePolicy::Rename;
}

QString sameNamePolicyCaption(SameNamePolicy policy) {
    switch (policy) {
    case SameNamePolicy::Skip:
        return QStringLiteral("跳过");
    case SameNamePolicy::Overwrite:
        return QStringLiteral("覆盖");
    case SameNamePolicy::Rename:
        break;
    }
    return QStringLiteral("重命名");
}

QString 选择url(const QString& list) {
    const qsizetype bar = list.indexOf(QLatin1Char('|'));
    return bar < 0 ? list : list.left(bar);
}

QString 对调url(const QString& list) {
    const QStringList parts = list.split(QLatin1Char('|'));
    if (parts.size() == 2)
        return parts[1] + QLatin1Char('|') + parts[0];
    if (parts.size() == 3)
        return parts[2] + QLatin1Char('|') + parts[0] + QLatin1Char('|') + parts[1];
    return list;
}

QString 从网络文件Header获取ContentDisposition(const QString& headers) {
    const QString key = QStringLiteral("content-disposition:");
    // Lines end with CR LF; a bare LF is accepted too, trimming takes the CR.
    for (const QString& raw : headers.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.left(key.size()).toLower() == key)
            return line.mid(key.size()).trimmed();
    }
    return {};
}

QString 从下载头信息ContentDisposition获取文件名(const QString& value, QString& extension) {
    extension.clear();
    QString s = value.trimmed();
    const QString key = QStringLiteral("filename=");
    const qsizetype at = s.indexOf(key, 0, Qt::CaseInsensitive);
    if (at < 0)
        return {};
    s = s.mid(at + key.size()).trimmed();
    const qsizetype semicolon = s.indexOf(QLatin1Char(';'));
    if (semicolon >= 0)
        s = s.left(semicolon).trimmed();
    s.remove(QLatin1Char('"'));
    s.remove(QLatin1Char('\''));
    s = CleanHeaderValue(s);

    QString name = s;
    const qsizetype dot = s.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) {
        const QString ext = s.mid(dot + 1).trimmed();
        name = s.left(dot).trimmed();
        qsizetype run = 0;
        while (run < ext.size() && isAsciiLetter(ext.at(run)))
            ++run;
        extension = run > 5 ? QString() : ext.left(run);
    }
    if (value.contains(QLatin1String("utf-8"), Qt::CaseInsensitive))
        return UrlDecodeAuto(name).trimmed();
    return UrlDecodeUtf8(name).trimmed();
}

QString RowFilePath(const DownloadItem& row) {
    const QString file = row.type.isEmpty() ? row.name : row.name + QLatin1Char('.') + row.type;
    return JoinFolder(row.folder, file);
}

QByteArray ReservationBytes() {
    return QByteArray("\x01\x00", 2);
}

bool IsReservationFile(const QString& path) {
    const QFileInfo info(LocalPath(path));
    if (info.isSymLink() || !info.isFile() || info.size() != ReservationBytes().size())
        return false;
    QFile file(LocalPath(path));
    return file.open(QIODevice::ReadOnly) && file.readAll() == ReservationBytes();
}

bool 确定是需要下载(DownloadItem& row, SameNamePolicy policy, const QStringList& liveReservations) {
    if (policy == SameNamePolicy::Rename)
        return true;
    const QString path = RowFilePath(row);
    // Two transfers never write one name at once: the row waits for the other.
    if (pathHeld(path, liveReservations))
        return false;
    // A row's own file (put back for another attempt) is replaced, not kept.
    if (policy == SameNamePolicy::Overwrite || row.placed)
        return true;
    if (!FileExists(path) || IsReservationFile(path))
        return true;
    const QString length = QString::number(QFileInfo(LocalPath(path)).size());
    // The row ends here: a part a killed transfer of it left has no use now.
    PartFile::removeStaleParts(LocalPath(path));
    row.state = ItemState::Finished;
    row.size = length;
    row.received = length;
    row.percent = QStringLiteral("已存在，跳过");
    return false;
}

QString 重命名保存路径(const QString& folder, const QString& name, const QString& type,
                       SameNamePolicy policy, QString& newName,
                       const QStringList& liveReservations) {
    const QString dir = JoinFolder(folder, QString());
    const QString ext = extensionTail(type, !type.isEmpty());

    newName = fittedBase(name, ext);
    const QString plain = dir + fitName(name, ext);
    if (policy == SameNamePolicy::Overwrite || !pathTaken(plain, liveReservations))
        return plain;

    QString base = name;
    qint64 k = 0;
    const qsizetype open = base.lastIndexOf(QLatin1Char('['));
    const qsizetype close = base.lastIndexOf(QLatin1Char(']'));
    if (open >= 0 && close > open && readCounter(base.mid(open + 1, close - open - 1), k))
        base = base.left(open);
    base.replace(QLatin1Char('['), QStringLiteral("『"));
    base.replace(QLatin1Char(']'), QStringLiteral("』"));

    const auto candidate = [&](qint64 n) {
        const QString tail = n == 0 ? ext : counter(n, 3) + ext;
        newName = fittedBase(base, tail) + (n == 0 ? QString() : counter(n, 3));
        return dir + fitName(base, tail);
    };
    QString path = candidate(k);
    while (pathTaken(path, liveReservations))
        path = candidate(++k);
    return path;
}

QString FreeFilePath(const QString& path) {
    if (!pathTaken(path))
        return path;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return path;
    const QString dir = path.left(slash + 1);
    const QString rest = path.mid(slash + 1);
    QString base = rest;
    QString ext;
    const qsizetype dot = rest.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) {
        ext = rest.mid(dot + 1);
        base = rest.left(dot);
    }
    if (base.size() > 100)
        base = base.left(base.at(99).isHighSurrogate() ? 99 : 100);
    if (base.endsWith(QLatin1Char(']'))) {
        const qsizetype open = base.lastIndexOf(QLatin1Char('['));
        qint64 ignored = 0;
        if (open >= 0 && readCounter(base.mid(open + 1, base.size() - open - 2), ignored))
            base = base.left(open);
    }
    const QString tailExt = extensionTail(ext, !ext.isEmpty());
    QString candidate = dir + fitName(base, tailExt);
    qint64 k = 0;
    while (pathTaken(candidate)) {
        ++k;
        candidate = dir + fitName(base, counter(k, 4) + tailExt);
    }
    return candidate;
}
