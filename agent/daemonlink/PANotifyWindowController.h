#pragma once

#include "managesocketagent.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class PAApplication;
class PANotifyWindowController;

// The tag of the next request and the open requests' alert controllers.
extern quint32 requestTagCounter;
extern QHash<QString, std::shared_ptr<PANotifyWindowController>> openAlerts;

// One connection alert: made for each request that reaches the saved rules.
// It answers from them when it can and only then shows its window; the window
// is made only for a request that must be asked.
class PANotifyWindowController : public QObject
{
    Q_OBJECT

public:
    explicit PANotifyWindowController(QObject* parent = nullptr);
    ~PANotifyWindowController() override;

    QString parameterProcessPid;
    QString parameterProcessName;
    QString parameterProcessUID;
    QString parameterProcessIP;
    QString parameterProcessPort;
    QString parameterProcessUDPorTCP;
    QString parameterProcessIPversion;
    QString parameterOriginalRequestString;
    QString parameterTagString;
    QString parameterResponsibleApp;
    // Cleared when a quiet period answers; only a controller that still has
    // it shows itself or gives the switched-off answer.
    bool mostro = true;
    managesocketagent mymanagesocketagent;

    void setNotifyParameters(const QString& pid, const QString& processName, const QString& processUID,
                             const QString& processIP, const QString& processPort, const QString& processUDPorTCP,
                             const QString& processIPversion, const QString& originalRequestString,
                             const QString& tagNotify, const QString& responsibleApp);
    void checkExistingRules();
    void answerWhenAlertsDisabled();
    void showAlertOnMain();

    // Ends the request of `tag`: forgets its controller and releases the queue.
    // Only the request that holds the queue releases it; a late call for an
    // earlier request is logged and changes nothing.
    static void resumeQueue(const QString& tag);
    // Marks `tag` as the request that holds the queue from now on.
    static void beginRequest(const QString& tag);
    // Releases the queue for a request that ends before it has a controller
    // (dropped, or its process already gone).
    static void endRequestWithoutAlert();

    QString translateParameterProcessName(const QString& path) const;
    bool appExistsInGlobalArray(const QString& path) const;
    std::shared_ptr<PAApplication> getAppFromGlobalArray(const QString& path) const;
    std::shared_ptr<PAApplication> generatePAApplication(qint64 rule, const QString& nameProcess) const;

    // Who shows an alert that the saved rules did not decide. The alert
    // window installs itself here; until then a request that must be asked
    // gets the answer its time-out would give.
    using AlertShower = std::function<void(PANotifyWindowController&)>;
    static void setAlertShower(AlertShower shower);

private:
    void m_send(const QString& text);
    void m_answerAsTimedOut();
};
