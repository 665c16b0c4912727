#include "platform/Registry.h"

#include "platform/AppPaths.h"

#include <QSettings>

namespace {
// QSettings reads "\" as a group separator; keeping the path as written makes
// each key path a nested group, which is what a registry key is.
QString entry(const QString& view, const QString& keyPath, const QString& valueName) {
    return view + QLatin1Char('/') + QString(keyPath).replace(QLatin1Char('\\'), QLatin1Char('/')) +
           QLatin1Char('/') + valueName;
}
} // namespace

Registry::Registry(QString fileName) : m_fileName(std::move(fileName)) {
    if (m_fileName.isEmpty())
        m_fileName = AppPaths::settingsFolder() + QStringLiteral("/registry.ini");
}

std::optional<quint32> Registry::readDword(const QString& keyPath, const QString& valueName,
                                           const QString& view) const {
    const QSettings ini(m_fileName, QSettings::IniFormat);
    const QVariant v = ini.value(entry(view, keyPath, valueName));
    bool ok = false;
    const qlonglong n = v.toString().trimmed().toLongLong(&ok);
    if (!v.isValid() || !ok || n < 0 || n > 0xFFFFFFFFLL)
        return std::nullopt;
    return static_cast<quint32>(n);
}

std::optional<QString> Registry::readString(const QString& keyPath, const QString& valueName,
                                            const QString& view) const {
    const QSettings ini(m_fileName, QSettings::IniFormat);
    const QVariant v = ini.value(entry(view, keyPath, valueName));
    if (!v.isValid())
        return std::nullopt;
    // An unquoted comma in a hand-edited file makes QSettings read a list.
    QString text = v.typeId() == QMetaType::QStringList ? v.toStringList().join(QLatin1Char(','))
                                                        : v.toString();
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0)
        text.truncate(nul);
    return text.trimmed();
}

bool Registry::setString(const QString& keyPath, const QString& valueName, const QString& value,
                         const QString& view) {
    QSettings ini(m_fileName, QSettings::IniFormat);
    ini.setValue(entry(view, keyPath, valueName), value);
    ini.sync();
    return ini.status() == QSettings::NoError;
}

bool Registry::setDword(const QString& keyPath, const QString& valueName, quint32 value,
                        const QString& view) {
    QSettings ini(m_fileName, QSettings::IniFormat);
    ini.setValue(entry(view, keyPath, valueName), QString::number(value));
    ini.sync();
    return ini.status() == QSettings::NoError;
}

bool Registry::deleteValue(const QString& keyPath, const QString& valueName, const QString& view) {
    QSettings ini(m_fileName, QSettings::IniFormat);
    const QString key = entry(view, keyPath, valueName);
    if (!ini.contains(key))
        return false;
    ini.remove(key);
    ini.sync();
    return ini.status() == QSettings::NoError;
}
