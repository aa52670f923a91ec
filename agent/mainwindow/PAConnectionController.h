#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <vector>

class PAConnection;
class PAController;
class PAPreferencesController;
class Socketcon;

// The live connections log's controller. The list and its window arrive with
// the connection reports; the logging switch is here.
class PAConnectionController : public QObject
{
    Q_OBJECT

public:
    explicit PAConnectionController(PAPreferencesController& preferences, QObject* parent = nullptr);

    PAPreferencesController* const preferencescontroller;
    // The connection-report reader.
    QPointer<Socketcon> mysocketcon;

    // Starts the reader on recvKextConQueue.
    void startReadConnection();
    // The connection-report extension is loaded.
    bool connKextIsRunning() const;

    // Applies activateLogging: the preferences' log options follow it and the
    // daemon is asked to load or unload the connection-report extension.
    void loggingControl();
    void loadKext();
    void unloadKext();
    void postKextNotification(const QString& name);

    // The end of the connection-report road, on the main thread: the list
    // takes the connection (and its ownership) as its last row.
    void addConnection(PAConnection* connection);
    // Shows the list's last row.
    void scrollToLastConnection();
    int connectionCount() const { return static_cast<int>(m_connections.size()); }

private:
    std::vector<std::unique_ptr<PAConnection>> m_connections;
};
