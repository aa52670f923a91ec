#pragma once

#include "platform/SoundPlayer.h"

#include <QStringList>

// Plays nothing and keeps every name asked for, in order. While it lives it
// is SoundPlayer::shared(); the real player comes back when it goes.
class RecordingSoundPlayer : public SoundPlayer
{
public:
    RecordingSoundPlayer();
    ~RecordingSoundPlayer() override;
    RecordingSoundPlayer(const RecordingSoundPlayer&) = delete;
    RecordingSoundPlayer& operator=(const RecordingSoundPlayer&) = delete;

    bool playSystemSound(const QString& name) override;

    const QStringList& played() const { return m_played; }
    void clear() { m_played.clear(); }

private:
    QStringList m_played;
};
