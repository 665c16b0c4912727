#include "download/FileType.h"

#include "download/Naming.h"
#include "shell/AppValues.h"

#include <QFile>
#include <vector>

namespace {

constexpr qsizetype HeadBytes = 10241;
constexpr qint64 TailBytes = 128;
constexpr qint64 WebPageLimit = 200 * 1024;
constexpr qint64 LinkFileLimit = 3 * 1024;

struct Match {
    qsizetype offset;
    QByteArray bytes;
};

struct Signature {
    std::vector<Match> matches;
    const char* type; // nullptr: the compound-document second stage
};

Match at(qsizetype offset, const char* hex) {
    return Match{offset, QByteArray::fromHex(hex)};
}

const std::vector<Signature>& signatures() {
    static const std::vector<Signature> table = {
        {{at(0, "25504446")}, "pdf"},
        {{at(0, "C8000000")}, "caj"},
        {{at(0, "43414A00")}, "kdh"},
        {{at(0, "4B444820")}, "kdh"},
        {{at(0, "484E0000")}, "nh"},
        {{at(0, "49492A00")}, "tif"},
        {{at(0, "7B5C727466")}, "rtf"},
        {{at(0, "4D5A")}, "exe"},
        {{at(0, "52617221")}, "rar"},
        {{at(0, "504B03041400000008")}, "zip"},
        {{at(0, "504B0304140006000800")}, "docx"},
        {{at(0, "43575306")}, "swf"},
        {{at(0, "2E524D46")}, "rm"},
        {{at(0, "3026B2758E")}, "wma"},
        {{at(0, "49443303")}, "mp3"},
        {{at(0, "89504E470D0A1A0A")}, "png"},
        {{at(0, "47494638393104")}, "gif"},
        {{at(0, "FFD8FFE1"), at(6, "45786966"), at(12, "4D4D002A")}, "jpg"},
        {{at(0, "FFD8FFE000104A464946")}, "jpg"},
        {{at(0, "D0CF11E0A1B11AE1")}, nullptr},
    };
    return table;
}

// Whether the buffer reaches the bytes every match needs.
bool reaches(const QByteArray& buffer, const std::vector<Match>& matches) {
    for (const Match& m : matches)
        if (m.offset + m.bytes.size() > buffer.size())
            return false;
    return true;
}

bool holds(const QByteArray& buffer, const std::vector<Match>& matches) {
    for (const Match& m : matches)
        if (buffer.mid(m.offset, m.bytes.size()) != m.bytes)
            return false;
    return true;
}

// The signature tests against the head buffer. `stop` is set when a test needs
// bytes the buffer does not have: then nothing else may be tried.
QString signatureType(const QByteArray& head, bool& stop) {
    stop = false;
    for (const Signature& sig : signatures()) {
        if (!reaches(head, sig.matches)) {
            stop = true;
            return {};
        }
        if (!holds(head, sig.matches))
            continue;
        if (sig.type)
            return QString::fromLatin1(sig.type);
        // A compound document: the record at 512 tells Word, Excel and PowerPoint.
        const std::vector<Match> doc = {at(512, "ECA5C100")};
        const std::vector<Match> xls = {at(512, "09081000")};
        const std::vector<Match> ppt = {at(515, "F0")};
        if (!reaches(head, doc)) {
            stop = true;
            return {};
        }
        if (holds(head, doc))
            return QStringLiteral("doc");
        if (holds(head, xls))
            return QStringLiteral("xls");
        if (holds(head, ppt))
            return QStringLiteral("ppt");
        return {};
    }
    return {};
}

// Only ASCII markers are searched, so the bytes are compared as they are, with
// ASCII letters folded.
bool containsAny(const QByteArray& lowered, std::initializer_list<const char*> markers) {
    for (const char* m : markers)
        if (lowered.contains(m))
            return true;
    return false;
}

bool containsAll(const QByteArray& lowered, std::initializer_list<const char*> markers) {
    for (const char* m : markers)
        if (!lowered.contains(m))
            return false;
    return true;
}

QString lettersOnly(const QString& candidate) {
    qsizetype run = 0;
    while (run < candidate.size() &&
           ((candidate.at(run) >= QLatin1Char('a') && candidate.at(run) <= QLatin1Char('z')) ||
            (candidate.at(run) >= QLatin1Char('A') && candidate.at(run) <= QLatin1Char('Z'))))
        ++run;
    return run > 5 ? QString() : candidate.left(run);
}

bool oneOf(const QString& s, std::initializer_list<const char*> list) {
    for (const char* item : list)
        if (s == QLatin1String(item))
            return true;
    return false;
}

QString candidateFor(const QString& major, const QString& minor) {
    const auto is = [&](std::initializer_list<const char*> list) { return oneOf(minor, list); };
    const auto s = [](const char* text) { return QString::fromLatin1(text); };
    if (major == QLatin1String("application")) {
        if (is({"octet-stream"}))
            return {};
        if (is({"x-shockwave-flash"}))
            return s("swf");
        if (is({"x-javascript"}))
            return s("js");
        if (is({"vnd.rn-realmedia"}))
            return s("rm");
        if (is({"vnd.ms-wpl"}))
            return s("wpl");
        if (is({"kdh", "caj", "pdf", "caa", "nh"}))
            return minor;
        if (is({"vnd.ms-works"}))
            return s("wps");
        if (is({"ppt", "vnd.ms-powerpoint"}))
            return s("ppt");
        if (is({"doc", "msword"}))
            return s("doc");
        if (is({"docx", "vnd.openxmlformats-officedocument.wordprocessingml.document"}))
            return s("docx");
        if (is({"rtf"}))
            return s("rtf");
        if (is({"xls", "vnd.ms-excel", "x-excel"}))
            return s("xls");
        if (is({"xlsx", "vnd.openxmlformats-officedocument.spreadsheetml.sheet"}))
            return s("xlsx");
        if (is({"pptx", "vnd.openxmlformats-officedocument.presentationml.presentation"}))
            return s("pptx");
        if (is({"pps"}))
            return s("pps");
        if (is({"ppsx", "vnd.openxmlformats-officedocument.presentationml.slideshow"}))
            return s("ppsx");
        if (is({"dll", "x-msdownload"}))
            return s("dll");
        if (is({"tar", "x-tar"}))
            return s("tar");
        if (is({"tgz", "x-compressed"}))
            return s("tgz");
        if (is({"zip", "x-zip-compressed"}))
            return s("zip");
        if (is({"z", "x-compress"}))
            return s("z");
    } else if (major == QLatin1String("text")) {
        if (is({"html", "txt", "htm", "xml", "css"}))
            return minor;
        if (is({"plain"}))
            return s("txt");
    } else if (major == QLatin1String("image")) {
        if (is({"tiff"}))
            return s("tif");
        if (is({"jpg", "jpeg", "gif", "png", "bmp", "tif", "pjpeg", "g3fax", "ief"}))
            return minor;
        if (is({"x-png"}))
            return s("png");
        if (is({"x-ms-bmp"}))
            return s("bmp");
        if (is({"x-icon"}))
            return s("ico");
    } else if (major == QLatin1String("video")) {
        if (is({"mpeg"}))
            return minor;
        if (is({"mpeg4"}))
            return s("mp4");
        if (is({"x-msvideo"}))
            return s("avi");
        if (is({"x-ms-asf"}))
            return s("asf");
        if (is({"x-ms-wmv"}))
            return s("wmv");
        if (is({"quicktime"}))
            return s("mov");
    } else if (major == QLatin1String("audio")) {
        if (is({"amr"}))
            return minor;
        if (is({"x-ms-wma"}))
            return s("wma");
        if (is({"x-wav"}))
            return s("wav");
        if (is({"x-pn-realaudio"}))
            return s("ram");
        if (is({"midi"}))
            return s("mid");
        if (is({"x-mpegurl"}))
            return s("mpeg");
    } else if (major == QLatin1String("message")) {
        if (is({"rfc822"}))
            return s("mht");
    } else {
        return minor;
    }
    if (minor.isEmpty() || minor == QLatin1String("*"))
        return {};
    return minor;
}

} // namespace

QString 打开文件判断文件类型(const QString& path) {
    if (!FileExists(path))
        return {};
    QFile file(LocalPath(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const qint64 size = file.size();
    QByteArray head = file.read(HeadBytes);
    if (head.size() < HeadBytes)
        head.append('\0');

    bool stop = false;
    QString type = signatureType(head, stop);
    if (stop)
        return {};

    if (type.isEmpty() && size > TailBytes && file.seek(size - TailBytes)) {
        const QByteArray tail = file.read(TailBytes);
        if (tail.startsWith("TAG"))
            type = QStringLiteral("mp3"); // an ID3 version 1 tag at the end
    }
    if (type.isEmpty() && size < WebPageLimit) {
        const QByteArray text = head.toLower();
        if (containsAny(text, {"<html ", "html>"}) &&
            containsAny(text, {"<title>", "<head>", "<body>"}))
            type = QStringLiteral("htm");
    }
    if (type.isEmpty() && size < LinkFileLimit) {
        // Files this small are whole in the head buffer.
        const QByteArray text = head.toLower();
        if (containsAll(text, {"a1=", "[target]",
                               "a2=", "b1=", "b2=", "c1=", "c2=", "d1=", "d2=", "doctype="}))
            type = QStringLiteral("caa");
    }
    return type.toLower();
}

bool CorrectFileType(DownloadItem& row) {
    const QString path = RowFilePath(row);
    if (!FileExists(path))
        return false;
    const QString real = 打开文件判断文件类型(path);
    if (real.isEmpty() || real.compare(row.type, Qt::CaseInsensitive) == 0)
        return false;
    const QString target = FreeFilePath(JoinFolder(row.folder, row.name + QLatin1Char('.') + real));
    // QFile::rename never replaces an existing file.
    if (!QFile::rename(LocalPath(path), LocalPath(target)) || !FileExists(target))
        return false;
    QString name;
    SplitFileName(target, name);
    row.type = real;
    row.name = name;
    return true;
}

QString MimeTypeToExtension(const QString& mediaType) {
    const QStringList parts = mediaType.split(QLatin1Char('/'));
    QString candidate;
    if (parts.size() != 2) {
        candidate = parts.first().trimmed().toLower();
    } else {
        const QString major = parts[0].trimmed().toLower();
        QString minor = parts[1].trimmed().toLower();
        minor.remove(QLatin1Char(' '));
        candidate = candidateFor(major, minor);
    }
    return lettersOnly(candidate);
}

int 检查并纠正磁盘文件类型(const QList<DownloadItem*>& rows, bool downloadRunning,
                           const std::function<void(qsizetype)>& rowChanged, QWidget* parent) {
    if (downloadRunning) {
        app().dialogs().information(parent, QStringLiteral("停止下载以后，才能执行此操作！"));
        return -1;
    }
    if (rows.isEmpty())
        return 0;
    int corrected = 0;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (rows[i] && CorrectFileType(*rows[i])) {
            ++corrected;
            if (rowChanged)
                rowChanged(i);
        }
    }
    app().dialogs().information(parent, QStringLiteral("纠正文件类型：") +
                                            QString::number(corrected) + QStringLiteral("个."));
    return corrected;
}

QString 打开文件判断类型(QWidget* parent) {
    const QString file =
        app().dialogs().openFile(parent, QString(), QString(), QStringLiteral("*.* (*)"));
    if (file.isEmpty())
        return {};
    const QString type = 打开文件判断文件类型(file);
    app().dialogs().information(parent,
                                QStringLiteral("文件类型为：") +
                                    (type.isEmpty() ? QStringLiteral("目前还无法判断。") : type));
    return type;
}
