#include "support/FakeFileManager.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDesktopServices>

FakeFileManager::FakeFileManager()
{
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openUrl");
}

FakeFileManager::~FakeFileManager()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    if (!m_connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
}

bool FakeFileManager::serveOn(const QByteArray& address)
{
    m_connectionName = QStringLiteral("fake-file-manager-%1").arg(quintptr(this));
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromLatin1(address), m_connectionName);
    return bus.isConnected() &&
           bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), this,
                              QDBusConnection::ExportAllSlots) &&
           bus.registerService(QStringLiteral("org.freedesktop.FileManager1"));
}

void FakeFileManager::ShowItems(const QStringList& uris, const QString& startupId)
{
    Q_UNUSED(startupId);
    m_shownItems.append(uris);
}

void FakeFileManager::openUrl(const QUrl& url)
{
    m_openedUrls.append(url);
}
