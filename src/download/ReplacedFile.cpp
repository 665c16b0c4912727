#include "download/ReplacedFile.h"

#include "download/Naming.h"
#include "net/Codecs.h"

#include <QFile>
#include <QFileInfo>

ReplacedFile::ReplacedFile(QString path, QString aside)
    : m_path(std::move(path)), m_aside(std::move(aside)) {}

ReplacedFile::~ReplacedFile() {
    if (m_aside.isEmpty() || m_path.isEmpty())
        return;
    if (QFileInfo::exists(m_path))
        QFile::remove(m_aside);
    else
        QFile::rename(m_aside, m_path);
}

bool ReplacedFile::moveAside(const QString& path) {
    const QFileInfo info(path);
    // A free name: a left-over from an interrupted run is someone's file too.
    const QString aside =
        FreeFilePath(info.absolutePath() + QStringLiteral("/.") + LeftBytes(info.fileName(), 200) +
                     QStringLiteral(".varnelle-old"));
    if (!QFile::rename(path, aside))
        return false;
    m_path = path;
    m_aside = aside;
    return true;
}

QString ReplacedFile::release() {
    const QString aside = m_aside;
    m_path.clear();
    m_aside.clear();
    return aside;
}
