#pragma once

#include <QString>
#include <optional>

// The registry values the program keeps (the embedded browser's emulation
// version): an INI file of ours beside the settings, one group per view ("32",
// "64"), keys as "<key path>\<value name>". Writes reach the disk at once; a
// file that cannot be written fails silently.
class Registry {
public:
    // fileName empty: registry.ini beside the user's settings file.
    explicit Registry(QString fileName = {});

    std::optional<quint32> readDword(const QString& keyPath, const QString& valueName,
                                     const QString& view) const;
    // A text value: cut before its first NUL and trimmed of spaces.
    std::optional<QString> readString(const QString& keyPath, const QString& valueName,
                                      const QString& view) const;
    bool setString(const QString& keyPath, const QString& valueName, const QString& value,
                   const QString& view);
    bool setDword(const QString& keyPath, const QString& valueName, quint32 value,
                  const QString& view);
    bool deleteValue(const QString& keyPath, const QString& valueName, const QString& view);

    QString fileName() const { return m_fileName; }

private:
    QString m_fileName;
};
