#pragma once

#include <QString>

// A file that an overwrite moves out of the way. When this object ends, the
// moved file is deleted if a new file stands at its path, and put back
// otherwise (the transfer failed or was stopped, or the type check renamed
// what arrived), so an overwrite that brings nothing never costs the user the
// file they had.
class ReplacedFile {
public:
    ReplacedFile() = default;
    // Takes over a file already moved aside (by a worker) from path to aside.
    ReplacedFile(QString path, QString aside);
    ReplacedFile(const ReplacedFile&) = delete;
    ReplacedFile& operator=(const ReplacedFile&) = delete;
    ~ReplacedFile();

    // Moves the file at path to a free hidden name beside it; false when it
    // could not be moved (it stays where it is).
    bool moveAside(const QString& path);
    QString aside() const { return m_aside; }
    // Hands the moved file to someone else, who settles it later.
    QString release();

private:
    QString m_path;
    QString m_aside;
};
