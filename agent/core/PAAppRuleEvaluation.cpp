#include "core/PAAppRuleEvaluation.h"

#include "core/PAAppRuleText.h"
#include "core/PAApplication.h"
#include "core/SharedState.h"

bool hasMatchBeginningWith(const QStringList& matches, QChar first)
{
    for (const QString& match : matches)
        if (match.startsWith(first))
            return true;
    return false;
}

bool evaluateAppRule(PAApplication& app)
{
    const qint64 state = app.appIsBlockedOrAllowed();
    const qint64 next = PAAppRuleText::ruleFollowingMatches(state, app.appMatches());
    if (next == state)
        return false;
    app.setRule(next);
    return true;
}

std::optional<PAAddControlsState> addControlsForRule(qint64 state)
{
    switch (state) {
    case 0:
        return PAAddControlsState{false, false, 1};
    case 1:
        return PAAddControlsState{false, false, 0};
    case 2:
    case 3:
        return PAAddControlsState{false, true, std::nullopt};
    case 4:
        return PAAddControlsState{true, true, std::nullopt};
    default:
        return std::nullopt;
    }
}

void applyAskState(PAApplication& app)
{
    app.setAppIsBlockedOrAllowed(4);
    app.setAppIsYellow(true);
    app.setAppIsBlocked(false);
    app.setAppLabelColor(labelColor4());
    app.setAppRedShadow(false);
    app.setAppGreenShadow(false);
}
