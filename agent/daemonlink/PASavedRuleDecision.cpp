#include "daemonlink/PASavedRuleDecision.h"

#include "core/PAApplication.h"
#include "core/TLMatchIP.h"
#include "daemonlink/DaemonAnswer.h"
#include "daemonlink/PAAppsIndex.h"

QString PASavedRuleDecision::quietAnswer(const QString& request) const
{
    return DaemonAnswer::withMatch(request, false, !quietPass);
}

QString PASavedRuleDecision::quietMatch(const QString& address) const
{
    return (quietPass ? QLatin1Char('@') : QLatin1Char('#')) + address;
}

PASavedRuleDecision PASavedRuleDecision::decide(const QString& request, const QString& path, bool verified,
                                                const QString& address, const QString& port,
                                                const PAAppsIndex& apps)
{
    PASavedRuleDecision decision;
    if (!verified)
        return decision;
    const QString passAddress = QLatin1Char('@') + address;
    const QString blockAddress = QLatin1Char('#') + address;
    const QString passPort = QLatin1Char('@') + port;
    const QString blockPort = QLatin1Char('#') + port;
    const TLMatchIP matcher;

    for (const int position : apps.appsNamedWithin(path)) {
        const PAApplication& app = *apps.apps()[static_cast<size_t>(position)];
        const qint64 state = app.appIsBlockedOrAllowed();
        for (const QString& binary : app.appBinaries()) {
            if (!PAApplication::belongsTo(app.binaryPath(binary), path))
                continue;
            if (state >= 0 && state <= 3) {
                decision.answers.append(DaemonAnswer::withState(request, state));
                continue;
            }
            if (state != 4)
                continue;
            for (const QString& match : app.appMatches()) {
                if (match == passAddress)
                    decision.answers.append(DaemonAnswer::withMatch(request, false, false));
                if (match == blockAddress)
                    decision.answers.append(DaemonAnswer::withMatch(request, false, true));
                if (match == passPort)
                    decision.answers.append(DaemonAnswer::withMatch(request, true, false));
                if (match == blockPort)
                    decision.answers.append(DaemonAnswer::withMatch(request, true, true));
                if (!match.contains(QLatin1Char('/')))
                    continue;
                QString network = match;
                network.remove(QLatin1Char('#'));
                network.remove(QLatin1Char('@'));
                const QString networkAnswer =
                    DaemonAnswer::withMatch(request, false, !match.startsWith(QLatin1Char('@')));
                if (match.contains(QLatin1Char(':')) && matcher.matchIPV6(address, network))
                    decision.answers.append(networkAnswer);
                if (matcher.matchIP(address, network))
                    decision.answers.append(networkAnswer);
            }
        }
    }
    if (!decision.answers.isEmpty())
        return decision;

    const int position = apps.firstHolding(path);
    if (position >= 0) {
        const std::shared_ptr<PAApplication>& app = apps.apps()[static_cast<size_t>(position)];
        if (app->appIsQuietPass() || app->appIsQuietBlock()) {
            decision.quietApp = app;
            decision.quietPass = app->appIsQuietPass();
        }
    }
    return decision;
}
