#include "platform/Sound.h"

#include "platform/AppPaths.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSoundEffect>
#include <QUrl>

static void initSoundResources() {
    // The sounds live in a static library; name them so the linker keeps them.
    Q_INIT_RESOURCE(sounds);
}

SoundPlayer::SoundPlayer(const QString& folder, QObject* parent)
    : QObject(parent), m_folder(folder) {
    initSoundResources();
}

SoundPlayer::~SoundPlayer() = default;

QString SoundPlayer::soundPath(int id) const {
    const QString folder = m_folder.isEmpty() ? AppPaths::programFolder() : m_folder;
    return folder + QLatin1Char('/') + QString::number(id) + QStringLiteral(".wav");
}

QByteArray SoundPlayer::builtInSound(int id) {
    if (!isKnownSound(id))
        return {};
    QFile resource(QStringLiteral(":/varnelle/sounds/%1.wav").arg(id));
    if (!resource.open(QIODevice::ReadOnly))
        return {};
    return resource.readAll();
}

bool SoundPlayer::ensureSoundFile(int id) const {
    const QString path = soundPath(id);
    if (QFileInfo::exists(path))
        return true;
    const QByteArray bytes = builtInSound(id);
    if (bytes.isEmpty())
        return false;
    // Written whole or not at all, so a half-written file never stands in for the sound.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}

void SoundPlayer::PlaySound(int id) {
    if (!ensureSoundFile(id))
        return;
    QSoundEffect*& effect = m_effects[id];
    if (!effect) {
        effect = new QSoundEffect(this);
        effect->setSource(QUrl::fromLocalFile(soundPath(id)));
    }
    // Playing again restarts the sound; QSoundEffect plays in the background and
    // reports a missing device only through its status, which needs no answer here.
    effect->stop();
    effect->play();
}
