#include "shell/SettingsStore.h"

#include "platform/AppPaths.h"

#include <QSettings>
#include <cmath>

using namespace SettingsKeys;

namespace {
QString keyPath(const QString& section, const QString& key) {
    return section + QLatin1Char('/') + key;
}
} // namespace

SettingsStore::SettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QStringLiteral("Varnelle"),
                                             QStringLiteral("Varnelle"))) {}

SettingsStore::SettingsStore(const QString& fileName)
    : m_settings(std::make_unique<QSettings>(fileName, QSettings::IniFormat)) {}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::fileName() const {
    return m_settings->fileName();
}

QString SettingsStore::read(const QString& section, const QString& key,
                            const QString& defaultValue) const {
    const QVariant v = m_settings->value(keyPath(section, key));
    // A value written by hand as a list or a group is not text: treat it as missing.
    if (!v.isValid() || !v.canConvert<QString>() || v.typeId() == QMetaType::QStringList)
        return defaultValue;
    return v.toString();
}

QString SettingsStore::read(const QString& section, const QString& key, int defaultValue) const {
    return read(section, key, QString::number(defaultValue));
}

void SettingsStore::write(const QString& section, const QString& key, const QString& value) {
    m_settings->setValue(keyPath(section, key), value);
    m_settings->sync();
}

void SettingsStore::write(const QString& section, const QString& key, int value) {
    write(section, key, QString::number(value));
}

int SettingsStore::readInt(const QString& section, const QString& key, int defaultValue, int min,
                           int max) const {
    bool ok = false;
    const QString text = read(section, key, defaultValue).trimmed();
    const double number = text.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return defaultValue;
    if (number < min)
        return min;
    if (number > max)
        return max;
    return static_cast<int>(std::lround(number));
}

QString SettingsStore::defaultSaveFolder() {
    return AppPaths::defaultSaveFolder();
}

QString SettingsStore::saveFolder() const {
    const QString folder = read(SectionSettings, SaveFolder, defaultSaveFolder());
    return folder.trimmed().isEmpty() ? defaultSaveFolder() : folder;
}

double SettingsStore::maxFileSizeMB() const {
    bool ok = false;
    const double mb =
        read(SectionSettings, MaxFileSize, QStringLiteral("10")).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(mb) || mb < 0)
        return 10.0;
    return mb;
}

int SettingsStore::promptSaveFolder() const {
    return readInt(SectionSettings, PromptSaveFolder, 1, 0, 1);
}

int SettingsStore::downloadMode() const {
    const int mode = readInt(SectionSettings, DownloadMode, 2, 1, 2);
    // Only whole 1 and 2 are modes; anything else (7, 1.5, -3) is the default.
    const QString text = read(SectionSettings, DownloadMode, 2).trimmed();
    return (text == QLatin1String("1") || text == QLatin1String("2")) ? mode : 2;
}

int SettingsStore::proxyEnabled() const {
    return read(SectionSettings, ProxyEnabled, QStringLiteral("0")).trimmed() == QLatin1String("1")
               ? 1
               : 0;
}

QString SettingsStore::proxyAddress() const {
    return read(SectionSettings, ProxyAddress, QString()).trimmed();
}

QString SettingsStore::proxyPort() const {
    return read(SectionSettings, ProxyPort, QString()).trimmed();
}

int SettingsStore::robotCheckWaitMinutes() const {
    return readInt(SectionSettings, RobotCheckWait, RobotCheckWaitDefault, RobotCheckWaitMin,
                   RobotCheckWaitMax);
}

int SettingsStore::threadIndex() const {
    return readInt(SectionDownload, Threads, 2, 0, 5);
}

int SettingsStore::pauseIndex() const {
    return readInt(SectionDownload, PauseBetweenFiles, 0, 0, 600);
}

int SettingsStore::soundPrompts() const {
    return readInt(SectionDownload, SoundPrompts, 0, 0, 1);
}

QString SettingsStore::duplicatePolicy() const {
    const QString policy =
        read(SectionPatent, SettingsKeys::DuplicatePolicy, QStringLiteral("重命名")).trimmed();
    if (policy == QStringLiteral("跳过") || policy == QStringLiteral("覆盖"))
        return policy;
    return QStringLiteral("重命名");
}

int SettingsStore::delayIndex() const {
    return readInt(SectionWebSearch, Delay, 10, 0, 60);
}

QString SettingsStore::web1Url() const {
    return read(SectionWebSearch, Web1Url, QString()).trimmed();
}

QString SettingsStore::otherUrl() const {
    return read(SectionWebSearch, OtherUrl, QString());
}
