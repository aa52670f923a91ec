#include "platform/SoundPlayer.h"

#include "platform/Log.h"
#include "platform/Resources.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <canberra.h>

namespace {

std::atomic<SoundPlayer*> g_sharedPlayer{nullptr};

} // namespace

QString SoundPlayer::soundFilePath(const QString& name)
{
    // The name comes from the configuration file, which the user may edit:
    // it names one of our files and never reaches outside the sounds folder.
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')) || name.contains(QLatin1Char('/')) ||
        name.contains(QLatin1String("..")) || name.contains(QChar(0)))
        return {};
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString path =
        Resources::resourcesPath() + QStringLiteral("/sounds/") + base + QStringLiteral(".wav");
    return QFileInfo(path).isFile() ? path : QString();
}

SoundPlayer& SoundPlayer::shared()
{
    static CanberraSoundPlayer realPlayer;
    SoundPlayer* player = g_sharedPlayer.load();
    return player ? *player : realPlayer;
}

void SoundPlayer::setShared(SoundPlayer* player)
{
    g_sharedPlayer.store(player);
}

CanberraSoundPlayer::~CanberraSoundPlayer()
{
    if (m_context)
        ca_context_destroy(m_context);
}

bool CanberraSoundPlayer::playSystemSound(const QString& name)
{
    const QString path = soundFilePath(name);
    if (path.isEmpty()) {
        qCWarning(lcPlatform, "No alert sound named \"%s\"", qUtf8Printable(name));
        return false;
    }
    if (!m_context) {
        if (ca_context_create(&m_context) != CA_SUCCESS) {
            m_context = nullptr;
            if (!m_loggedAudioFailure)
                qCWarning(lcPlatform, "Alert sounds are off: no sound system");
            m_loggedAudioFailure = true;
            return false;
        }
        const QString application = QCoreApplication::applicationName();
        if (!application.isEmpty()) {
            ca_context_change_props(m_context, CA_PROP_APPLICATION_NAME, application.toUtf8().constData(),
                                    nullptr);
        }
    }
    // Asynchronous: the context opens its driver on first use, which is
    // where a machine without an audio device says so.
    const int result =
        ca_context_play(m_context, 0, CA_PROP_MEDIA_FILENAME, QFile::encodeName(path).constData(), nullptr);
    if (result != CA_SUCCESS) {
        if (!m_loggedAudioFailure)
            qCWarning(lcPlatform, "Alert sound not played: %s", ca_strerror(result));
        m_loggedAudioFailure = true;
        return false;
    }
    return true;
}
