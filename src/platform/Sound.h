#pragma once

#include <QObject>
#include <QString>
#include <map>

class QSoundEffect;

// The prompt sounds. Each id (101, 102, 103) has a short WAV built into the
// program; it is written as "<id>.wav" into the program folder the first time it
// is needed, so a user can replace it with a sound of their own, and played
// from there in the background. A missing audio device, an unknown id or an
// unwritable folder only means no sound.
class SoundPlayer : public QObject {
    Q_OBJECT
public:
    // folder: where the sound files live; empty means the program folder.
    explicit SoundPlayer(const QString& folder = QString(), QObject* parent = nullptr);
    ~SoundPlayer() override;

    void PlaySound(int id);

    // The file of a sound id: folder + "/" + id + ".wav".
    QString soundPath(int id) const;

    // Writes the built-in sound of this id to its path unless a file is there
    // already. True when the file exists afterwards.
    bool ensureSoundFile(int id) const;

    static bool isKnownSound(int id) { return id >= 101 && id <= 103; }
    // The built-in bytes of a sound id, empty for an unknown id.
    static QByteArray builtInSound(int id);

private:
    QString m_folder;
    std::map<int, QSoundEffect*> m_effects;
};
