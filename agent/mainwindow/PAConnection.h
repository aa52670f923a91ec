#pragma once

#include <QColor>
#include <QDateTime>
#include <QIcon>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class PAWorkQueues;

// One row of the live connections log: a reported outbound connection and
// what the log shows of it. Made and read on the main thread; the icon and
// the host name arrive later from look-ups and are stored on the main thread,
// which sends changed() so that the rows showing it redraw.
class PAConnection : public QObject
{
    Q_OBJECT

public:
    // The designated initialiser: every property at its default, the text
    // as both connString and connIPAddress.
    PAConnection(const QString& connString, qint64 connCount, QObject* parent = nullptr);
    // A reported connection. Attribution to a responsible application is
    // given by a non-empty viaApp (with its executable path in xpcPath).
    PAConnection(const QString& processName, const QString& ipAddress, qint64 port, qint64 pid,
                 const QString& uid, bool blocked, const QString& viaApp, const QString& xpcPath,
                 bool otherUser, QObject* parent = nullptr);

    QString connString;
    qint64 connCount = 0;
    QString connProcessName;
    QString connSimpleName;
    QString connIPAddress;
    qint64 connPort = 0;
    qint64 connPID = 0;
    QString connUID;
    QIcon connImage;
    QString connDate;
    QString connHostname;
    QDateTime connRealDate;
    QIcon connNationFlag;
    bool connIsBlocked = false;
    QColor connColor;
    QString connViaApp;
    QString xpcPath;
    QString connRepresentedPID;
    QString connRepresentedPORT;
    QString connRepresentedXPC;
    bool connBelongsToOtherUser = false;
    bool connIsRoot = false;

    // Starts the icon's look-up, and the host name's when showHostnames is on,
    // on the pools of the log that takes the row; updateRecord() looks up on
    // them too. Called once, by the log.
    void startLookUps(PAWorkQueues& queues);
    // The host name for the current showHostnames: the address at once when
    // off, a reverse look-up on the log's host-name pool when on (none for a
    // row no log has taken).
    void updateRecord();
    // A reverse look-up of the address on the calling thread; the first name
    // found is stored through the main queue, none leaves the host name as it
    // is. The caller keeps the connection alive for the call.
    void resolveHostname();

    // The icon that stands for the executable at `path`: for one inside an
    // application bundle the outermost bundle's, else the file's own. Main
    // thread only.
    static QIcon getIcon(const QString& path);

    // The path whose icon stands for the connection: the responsible
    // application's when attributed, else the process's own.
    QString iconPath() const;
    // The locale's short date and medium time (with seconds, without zone).
    static QString dateText(const QDateTime& when);

    // Main thread: store a look-up's result and tell the rows.
    void setConnImage(const QIcon& image);
    void setConnHostname(const QString& hostname);

signals:
    void changed();

private:
    void m_lookUpHostnameLater();

    PAWorkQueues* m_queues = nullptr;
};
