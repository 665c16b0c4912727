#include "shell/BrowserEmulation.h"

#include "platform/Registry.h"
#include "shell/AppValues.h"
#include "shell/fCover.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <array>

namespace {
struct EmulationRow {
    const char* version;
    quint32 mode1;
    quint32 mode2;
};
constexpr std::array<EmulationRow, 5> Table{{{"IE11", 11000, 11001},
                                             {"IE10", 10000, 10001},
                                             {"IE9", 9000, 9999},
                                             {"IE8", 8000, 8888},
                                             {"IE7", 7000, 7000}}};

QString effectiveView(const QString& view) {
    if (!view.isEmpty())
        return view;
    AppValues& v = app();
    if (v.OsBitness.isEmpty())
        v.OsBitness = DetectOsBitness();
    return v.OsBitness;
}

bool numeric(const QString& text, quint32* value) {
    bool ok = false;
    *value = text.toUInt(&ok);
    return ok;
}
} // namespace

QString BrowserEmulationValueName() {
    QString exe = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    if (exe.isEmpty())
        exe = QStringLiteral("Varnelle");
    return exe + QStringLiteral(".exe");
}

bool RegistryKeyPathValid(const QString& keyPath) {
    static const QStringList roots{
        QStringLiteral("HKEY_CLASSES_ROOT"),     QStringLiteral("HKEY_CURRENT_USER"),
        QStringLiteral("HKEY_LOCAL_MACHINE"),    QStringLiteral("HKEY_USERS"),
        QStringLiteral("HKEY_PERFORMANCE_DATA"), QStringLiteral("HKEY_CURRENT_CONFIG"),
        QStringLiteral("HKEY_DYN_DATA")};
    if (!keyPath.startsWith(QLatin1String("HKEY_"), Qt::CaseInsensitive) ||
        keyPath.endsWith(QLatin1Char('\\')))
        return false;
    return roots.contains(keyPath.section(QLatin1Char('\\'), 0, 0).toUpper());
}

QString RegistryReadString(Registry& registry, const QString& keyPath, const QString& valueName,
                           const QString& view) {
    if (!RegistryKeyPathValid(keyPath))
        return QStringLiteral("Error");
    const auto value = registry.readString(keyPath, valueName, effectiveView(view));
    return value ? *value : QStringLiteral("Error");
}

QString RegistryReadDword(Registry& registry, const QString& keyPath, const QString& valueName,
                          const QString& view) {
    if (!RegistryKeyPathValid(keyPath))
        return QStringLiteral("Error");
    const auto value = registry.readDword(keyPath, valueName, effectiveView(view));
    return value ? QString::number(*value) : QStringLiteral("Error");
}

bool RegistrySetDword(Registry& registry, const QString& keyPath, const QString& valueName,
                      quint32 value, const QString& view) {
    if (!RegistryKeyPathValid(keyPath))
        return false;
    return registry.setDword(keyPath, valueName, value, effectiveView(view));
}

bool RegistryDeleteValue(Registry& registry, const QString& keyPath, const QString& valueName,
                         const QString& view) {
    if (!RegistryKeyPathValid(keyPath))
        return false;
    return registry.deleteValue(keyPath, valueName, effectiveView(view));
}

BrowserEmulation ReadBrowserEmulation(Registry& registry, int bits) {
    const QString name = BrowserEmulationValueName();
    quint32 r32 = 0;
    quint32 r64 = 0;
    const bool has32 =
        numeric(RegistryReadDword(registry, BrowserEmulationKey, name, QStringLiteral("32")), &r32);
    bool has64 = false;
    if (bits == 64)
        has64 = numeric(
            RegistryReadDword(registry, BrowserEmulationKey, name, QStringLiteral("64")), &r64);
    const quint32 number = has32 ? r32 : (has64 ? r64 : 0);
    for (const EmulationRow& row : Table) {
        if (number == row.mode1)
            return {QString::fromLatin1(row.version), 1};
        if (number == row.mode2)
            return {QString::fromLatin1(row.version), 2};
    }
    return {QStringLiteral("IE默认"), 1};
}

void WriteBrowserEmulation(Registry& registry, const QString& version, int mode, int bits) {
    const QString name = BrowserEmulationValueName();
    const QString upper = version.toUpper();
    const EmulationRow* chosen = nullptr;
    for (const EmulationRow& row : Table) {
        if (upper == QLatin1String(row.version)) {
            chosen = &row;
            break;
        }
    }
    RegistryDeleteValue(registry, BrowserEmulationKey, name, QStringLiteral("32"));
    if (bits == 64)
        RegistryDeleteValue(registry, BrowserEmulationKey, name, QStringLiteral("64"));
    if (!chosen)
        return;
    const quint32 value = mode == 2 ? chosen->mode2 : chosen->mode1;
    RegistrySetDword(registry, BrowserEmulationKey, name, value, QStringLiteral("32"));
    if (bits == 64)
        RegistrySetDword(registry, BrowserEmulationKey, name, value, QStringLiteral("64"));
}

void LoadBrowserEmulationVersion(Registry& registry) {
    AppValues& v = app();
    v.BrowserEmulationVersion = ReadBrowserEmulation(registry, v.OsBitness.toInt()).version;
}

void ExitBrowserEmulationStep(Registry& registry) {
    AppValues& v = app();
    if (v.BrowserEmulationVersion.isEmpty() ||
        v.BrowserEmulationVersion == QStringLiteral("IE默认"))
        WriteBrowserEmulation(registry, QStringLiteral("IE11"), 1, v.OsBitness.toInt());
}
