#include "support/RecordingSoundPlayer.h"

RecordingSoundPlayer::RecordingSoundPlayer()
{
    SoundPlayer::setShared(this);
}

RecordingSoundPlayer::~RecordingSoundPlayer()
{
    SoundPlayer::setShared(nullptr);
}

bool RecordingSoundPlayer::playSystemSound(const QString& name)
{
    m_played.append(name);
    return !soundFilePath(name).isEmpty();
}
