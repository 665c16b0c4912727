#pragma once

#include <QString>

class Registry;

// The embedded browser's emulation version, kept in the registry under the
// program's executable name. Chromium has no legacy document modes, so the
// chosen version is stored, read back and shown, and changes nothing in
// rendering.
struct BrowserEmulation {
    QString version; // "IE7".."IE11", or "IE默认"
    int mode = 1;    // 1 follows the page's document type, 2 forces standards mode
};

inline const QString BrowserEmulationKey = QStringLiteral(
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\MAIN\\FeatureControl\\"
    "FEATURE_BROWSER_EMULATION");

// The value name: the executable's file name without folder and extension + ".exe".
QString BrowserEmulationValueName();

// A key path names its root before the first "\" (HKEY_LOCAL_MACHINE, ...)
// and its sub-key after it; it must not end with "\". Routines given any
// other path read "Error" and change nothing.
bool RegistryKeyPathValid(const QString& keyPath);

// The text value, or "Error" when the key or value cannot be read. An empty
// view means the program's OsBitness (detected first when still unknown).
QString RegistryReadString(Registry& registry, const QString& keyPath, const QString& valueName,
                           const QString& view);
// Decimal text of the value, or "Error" when it cannot be read. Same view rule.
QString RegistryReadDword(Registry& registry, const QString& keyPath, const QString& valueName,
                          const QString& view);
bool RegistrySetDword(Registry& registry, const QString& keyPath, const QString& valueName,
                      quint32 value, const QString& view);
bool RegistryDeleteValue(Registry& registry, const QString& keyPath, const QString& valueName,
                         const QString& view);

BrowserEmulation ReadBrowserEmulation(Registry& registry, int bits);
void WriteBrowserEmulation(Registry& registry, const QString& version, int mode, int bits);

// The start-up window's steps: read at load; at exit write IE11 when no version was chosen.
void LoadBrowserEmulationVersion(Registry& registry);
void ExitBrowserEmulationStep(Registry& registry);
