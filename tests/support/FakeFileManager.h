#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>

// Stands in for the desktop: answers org.freedesktop.FileManager1's
// ShowItems on a bus it is put on, and takes the "file" URLs that
// QDesktopServices would open. Both are recorded, nothing is shown.
class FakeFileManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    FakeFileManager();
    ~FakeFileManager() override;

    // Offers the service on the bus at `address`; false when that fails.
    bool serveOn(const QByteArray& address);

    const QStringList& shownItems() const { return m_shownItems; }
    const QList<QUrl>& openedUrls() const { return m_openedUrls; }

public slots:
    void ShowItems(const QStringList& uris, const QString& startupId);
    void openUrl(const QUrl& url);

private:
    QString m_connectionName;
    QStringList m_shownItems;
    QList<QUrl> m_openedUrls;
};
