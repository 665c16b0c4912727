#include "search/HandOff.h"

#include "download/Naming.h"
#include "download/RecordNaming.h"
#include "search/Analysis.h"
#include "shell/AppValues.h"
#include "shell/WindowFlow.h"

#include <QFile>
#include <QLocale>
#include <QWidget>

QString HandOffName(const QString& link, const QString& title, bool useOriginalFileName) {
    const QString name =
        useOriginalFileName ? FileNameFromPath(link, true) : RemoveLineBreaks(title).trimmed();
    return FileNameFor(name, link);
}

HandOffPlace HandOffTarget(const QString& link, const QString& title, bool useOriginalFileName,
                           const ArticleRecord& record, const QString& pattern,
                           const QString& rowFolder, const QString& currentSaveFolder) {
    HandOffPlace place{HandOffFolder(rowFolder, currentSaveFolder),
                       HandOffName(link, title, useOriginalFileName)};
    if (pattern.trimmed().isEmpty())
        return place;
    ArticleRecord named = record;
    if (named.title.isEmpty())
        named.title = RemoveLineBreaks(title).trimmed();
    const PatternName byRecord = NameFromPattern(pattern, named, place.name);
    place.name = byRecord.name;
    if (!byRecord.subFolder.isEmpty() && !place.folder.isEmpty())
        place.folder = JoinFolder(place.folder, byRecord.subFolder);
    return place;
}

QString HandOffFolder(const QString& rowFolder, const QString& currentSaveFolder) {
    return rowFolder.isEmpty() ? currentSaveFolder : rowFolder;
}

QString HandOffReferer(const QString& layout, const QString& link, const QString& pageAddress) {
    return layout == QStringLiteral("SD2") ? link : pageAddress;
}

void HandOff(const QString& address, const QString& name, const QString& type,
             const QString& folder, const QString& referer, const ArticleRecord& record) {
    if (DownloadListSink* list = app().flow().downloadList())
        list->AddArticleItem(address, name, type, folder, referer, record);
}

void 显示下载窗口(bool restore) {
    QWidget* window = app().flow().find(WindowNames::FileDownload);
    if (!window)
        return;
    window->update();
    if (window->isHidden())
        window->show();
    if (restore && window->isMinimized())
        window->showNormal();
    // An open download window behind the search window would not show that
    // the run's rows have arrived.
    app().flow().bringForward(WindowNames::FileDownload);
}

qint64 ExportTitles(const QStringList& titles, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return -1;
    for (const QString& title : titles) {
        if (file.write((title + QStringLiteral("\r\n")).toUtf8()) < 0)
            return -1;
    }
    file.close();
    if (file.error() != QFileDevice::NoError)
        return -1;
    return QFile(path).size();
}

QString ExportDoneMessage(qint64 bytes) {
    const QLocale grouped(QLocale::English, QLocale::UnitedStates);
    return QStringLiteral("保存文件完毕：") +
           grouped.toString(static_cast<double>(bytes) / 1024.0, 'f', 2) + QStringLiteral("KB");
}
