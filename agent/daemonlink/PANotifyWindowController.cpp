#include "PANotifyWindowController.h"

#include "MainQueue.h"
#include "PAApplication.h"
#include "PAAppsIndex.h"
#include "SharedState.h"
#include "TLMatchIP.h"

#include <cstdio>

quint32 requestTagCounter = 1;
QHash<QString, std::shared_ptr<PANotifyWindowController>> openAlerts;

namespace {

// The tag of the request that holds synchronizedQueue, "" when none does.
QString g_openRequestTag;
bool g_requestHoldsQueue = false;
PANotifyWindowController::AlertShower g_alertShower;

std::optional<uint32_t> pidValue(const QString& text)
{
    bool ok = false;
    const uint value = text.toUInt(&ok, 10);
    if (!ok || text.isEmpty() || !text.front().isDigit())
        return std::nullopt;
    return static_cast<uint32_t>(value);
}

} // namespace

PANotifyWindowController::PANotifyWindowController(QObject* parent)
    : QObject(parent)
{
}

PANotifyWindowController::~PANotifyWindowController() = default;

void PANotifyWindowController::setAlertShower(AlertShower shower)
{
    g_alertShower = std::move(shower);
}

void PANotifyWindowController::beginRequest(const QString& tag)
{
    g_openRequestTag = tag;
    g_requestHoldsQueue = true;
}

void PANotifyWindowController::endRequestWithoutAlert()
{
    g_openRequestTag.clear();
    if (g_requestHoldsQueue) {
        g_requestHoldsQueue = false;
        synchronizedQueue().resume();
    }
}

void PANotifyWindowController::resumeQueue(const QString& tag)
{
    // The entry may be the last reference to the controller that is calling;
    // let it finish before it goes.
    if (auto it = openAlerts.find(tag); it != openAlerts.end()) {
        std::shared_ptr<PANotifyWindowController> controller = it.value();
        openAlerts.erase(it);
        MainQueue::async([controller] {});
    }
    if (!g_requestHoldsQueue || tag != g_openRequestTag) {
        std::fprintf(stderr, "[PALISOR AGENT] request %s is not the open one; the queue is left as it is\n",
                     qPrintable(tag));
        return;
    }
    g_openRequestTag.clear();
    g_requestHoldsQueue = false;
    synchronizedQueue().resume();
}

void PANotifyWindowController::m_send(const QString& text)
{
    mymanagesocketagent.sendsocketagent(text);
}

void PANotifyWindowController::setNotifyParameters(const QString& pid, const QString& processName,
                                                   const QString& processUID, const QString& processIP,
                                                   const QString& processPort, const QString& processUDPorTCP,
                                                   const QString& processIPversion,
                                                   const QString& originalRequestString, const QString& tagNotify,
                                                   const QString& responsibleApp)
{
    parameterProcessPid = pid;
    parameterProcessName = processName;
    parameterProcessUID = processUID;
    parameterProcessIP = processIP;
    parameterProcessPort = processPort;
    parameterProcessUDPorTCP = processUDPorTCP;
    parameterProcessIPversion = processIPversion;
    parameterOriginalRequestString = originalRequestString;
    parameterTagString = tagNotify;
    parameterResponsibleApp = responsibleApp;

    // An XPC service is judged by the application it works for.
    if (automaticXPC && parameterResponsibleApp != QLatin1String("0") &&
        parameterProcessName.contains(QLatin1String(".xpc/Contents/"))) {
        if (const std::optional<uint32_t> responsible = pidValue(parameterResponsibleApp)) {
            const QString host = mymanagesocketagent.infoprocess(*responsible);
            if (host != QLatin1String("error"))
                parameterProcessName = host;
        }
    }

    if (enableNotifications) {
        checkExistingRules();
        return;
    }
    // Request items already run on the main thread.
    MainQueue::sync([this] { answerWhenAlertsDisabled(); });
}

void PANotifyWindowController::answerWhenAlertsDisabled()
{
    if (!mostro)
        return;
    m_send(parameterOriginalRequestString + QStringLiteral(" 0 # #"));
    std::shared_ptr<PAApplication> app = generatePAApplication(0, parameterProcessName);
    app->setAppIsPersistent(true);
    if (!appExistsInGlobalArray(parameterProcessName)) {
        sharedAppsLibrary.insert(sharedAppsLibrary.begin(), app);
        appNotificationCenter().post(QStringLiteral("copyArrayAppLibrary"));
    }
    resumeQueue(parameterTagString);
}

void PANotifyWindowController::checkExistingRules()
{
    const QString& path = parameterProcessName;
    const QString& address = parameterProcessIP;
    const QString& port = parameterProcessPort;
    const QString& request = parameterOriginalRequestString;
    const QString passAddress = QLatin1Char('@') + address;
    const QString blockAddress = QLatin1Char('#') + address;
    const QString passPort = QLatin1Char('@') + port;
    const QString blockPort = QLatin1Char('#') + port;
    const TLMatchIP matcher;

    bool answered = false;
    const PAAppsIndex& index = PAAppsIndex::current();
    for (const int position : index.appsNamedWithin(path)) {
        const PAApplication& app = *index.apps()[static_cast<size_t>(position)];
        const qint64 state = app.appIsBlockedOrAllowed();
        for (const QString& binary : app.appBinaries()) {
            if (!path.contains(binary))
                continue;
            if (state >= 0 && state <= 3) {
                m_send(request + QLatin1Char(' ') + QString::number(state) + QStringLiteral(" # #"));
                answered = true;
                continue;
            }
            if (state != 4)
                continue;
            // Every match that holds answers on its own; nothing stops early.
            for (const QString& match : app.appMatches()) {
                if (match == passAddress) {
                    m_send(request + QStringLiteral(" 4 0 0"));
                    answered = true;
                }
                if (match == blockAddress) {
                    m_send(request + QStringLiteral(" 4 0 1"));
                    answered = true;
                }
                if (match == passPort) {
                    m_send(request + QStringLiteral(" 4 1 0"));
                    answered = true;
                }
                if (match == blockPort) {
                    m_send(request + QStringLiteral(" 4 1 1"));
                    answered = true;
                }
                if (!match.contains(QLatin1Char('/')))
                    continue;
                QString network = match;
                network.remove(QLatin1Char('#'));
                network.remove(QLatin1Char('@'));
                const QString networkAnswer =
                    match.startsWith(QLatin1Char('@')) ? QStringLiteral(" 4 0 0") : QStringLiteral(" 4 0 1");
                if (match.contains(QLatin1Char(':')) && matcher.matchIPV6(address, network)) {
                    m_send(request + networkAnswer);
                    answered = true;
                }
                if (matcher.matchIP(address, network)) {
                    m_send(request + networkAnswer);
                    answered = true;
                }
            }
        }
    }
    if (answered) {
        resumeQueue(parameterTagString);
        return;
    }

    if (const std::shared_ptr<PAApplication> app = getAppFromGlobalArray(path)) {
        if (app->appIsQuietPass() || app->appIsQuietBlock()) {
            const bool pass = app->appIsQuietPass();
            mostro = false;
            m_send(request + (pass ? QStringLiteral(" 4 0 0") : QStringLiteral(" 4 0 1")));
            const QString match = (pass ? passAddress : blockAddress);
            if (!app->appMatches().contains(match))
                app->setAppMatches(app->appMatches() + QStringList{match});
            resumeQueue(parameterTagString);
            return;
        }
    }

    if (mostro)
        MainQueue::async([self = openAlerts.value(parameterTagString)] {
            if (self)
                self->showAlertOnMain();
        });
}

void PANotifyWindowController::showAlertOnMain()
{
    if (g_alertShower) {
        g_alertShower(*this);
        return;
    }
    m_answerAsTimedOut();
}

void PANotifyWindowController::m_answerAsTimedOut()
{
    std::fprintf(stderr, "[PALISOR AGENT] no alert window; request %s answered as its time-out would be\n",
                 qPrintable(parameterTagString));
    m_send(parameterOriginalRequestString +
           (passAppWhenNotificationExpires ? QStringLiteral(" 0 # #") : QStringLiteral(" 1 # #")));
    resumeQueue(parameterTagString);
}

QString PANotifyWindowController::translateParameterProcessName(const QString& path) const
{
    if (!path.contains(QLatin1String(".app/Contents/")))
        return path;
    return PAApplication::bundlePathOf(path);
}

std::shared_ptr<PAApplication> PANotifyWindowController::getAppFromGlobalArray(const QString& path) const
{
    const PAAppsIndex& index = PAAppsIndex::current();
    const int position = path.contains(QLatin1String(".app/Contents/"))
                             ? index.firstNamed(PAApplication::bundleNameOf(path))
                             : index.firstWithPath(translateParameterProcessName(path));
    return position < 0 ? nullptr : index.apps()[static_cast<size_t>(position)];
}

bool PANotifyWindowController::appExistsInGlobalArray(const QString& path) const
{
    return getAppFromGlobalArray(path) != nullptr;
}

std::shared_ptr<PAApplication> PANotifyWindowController::generatePAApplication(qint64 rule,
                                                                              const QString& nameProcess) const
{
    return PAApplication::generatePAApplication(rule, nameProcess);
}
