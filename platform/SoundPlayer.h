#pragma once

#include <QString>

struct ca_context;

// The system's alert sounds by name. The agent asks for them as the names of
// system sounds ("Bottle.aiff"); we ship WAV files of the same names in the
// bundle's Resources/sounds folder and play those.
class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;

    // Plays the sound once and returns at once. A name that does not resolve
    // to one of our sounds, or a machine without an audio device, plays
    // nothing; neither is an error for the caller. True when playing started.
    virtual bool playSystemSound(const QString& name) = 0;

    // The WAV file of a sound name, with or without its extension
    // ("Bottle.aiff", "Bottle"); "" for a name that is not one of our sound
    // files (a path, "..", an unknown name).
    static QString soundFilePath(const QString& name);

    // The player the agent uses; tests put a recording one in place.
    static SoundPlayer& shared();
    // nullptr restores the real player. The caller keeps ownership.
    static void setShared(SoundPlayer* player);
};

// The real player: libcanberra, the desktop's event-sound library. Main
// thread only.
class CanberraSoundPlayer : public SoundPlayer
{
public:
    CanberraSoundPlayer() = default;
    ~CanberraSoundPlayer() override;
    CanberraSoundPlayer(const CanberraSoundPlayer&) = delete;
    CanberraSoundPlayer& operator=(const CanberraSoundPlayer&) = delete;

    bool playSystemSound(const QString& name) override;

private:
    ca_context* m_context = nullptr;
    // An audio problem is logged once, not at every alert.
    bool m_loggedAudioFailure = false;
};
