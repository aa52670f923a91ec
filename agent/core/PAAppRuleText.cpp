#include "core/PAAppRuleText.h"

#include "core/PAAppRuleEvaluation.h"

QString PAAppRuleText::ruleDescription(const QString& appName, qint64 state, qsizetype matchCount,
                                       bool hasGlobalRules)
{
    static const QString overridden =
        QStringLiteral(" Rules defined here can be overridden by Global Rules.");
    QString sentence;
    QString clause = hasGlobalRules ? overridden : QString();
    switch (state) {
    case 0:
        sentence =
            QStringLiteral(" will never request user interaction. All connections are passed. Click + to "
                           "add exceptions or use the gear to switch rule.");
        break;
    case 1:
        sentence =
            QStringLiteral(" will never request user interaction. All connections are blocked. Click + to "
                           "add exceptions or use the gear to switch rule.");
        break;
    case 2:
        sentence =
            QStringLiteral(" will never request user interaction. All connections are passed with some "
                           "exception. Click + or - to add or remove exceptions or use the gear to switch "
                           "rule.");
        break;
    case 3:
        sentence =
            QStringLiteral(" will never request user interaction. All connections are blocked with some "
                           "exception. Click + or - to add or remove exceptions or use the gear to switch "
                           "rule.");
        break;
    case 4:
        if (matchCount > 0) {
            sentence =
                QStringLiteral(" will request user interaction if a connection does not match any existing "
                               "rule. Click + or - to add or remove rules.");
        } else {
            sentence =
                QStringLiteral(" has no rules thus it will request user interaction as soon as it tries to "
                               "connect to the network");
            clause = hasGlobalRules
                         ? QStringLiteral(" unless a connection matches a rules defined in Global Rules.")
                         : QStringLiteral(".");
        }
        break;
    default:
        return QString();
    }
    return appName + sentence + clause;
}

qint64 PAAppRuleText::ruleFollowingMatches(qint64 state, const QStringList& matches)
{
    switch (state) {
    case 0:
        return hasMatchBeginningWith(matches, QLatin1Char('#')) ? 2 : 0;
    case 1:
        return hasMatchBeginningWith(matches, QLatin1Char('@')) ? 3 : 1;
    case 2:
        return hasMatchBeginningWith(matches, QLatin1Char('#')) ? 2 : 0;
    case 3:
        return hasMatchBeginningWith(matches, QLatin1Char('@')) ? 3 : 1;
    default:
        return state;
    }
}
