#pragma once

#include <QString>
#include <QStringList>

// What the app rules popover says about an app's rule state, and the state an
// app moves to after its matches changed. Pure: no app, no shared state.
class PAAppRuleText
{
public:
    // The rule sentence: the app's name, the sentence of its state and the
    // clause that depends on whether any Global Rule is defined; "" for a
    // state no rule has.
    static QString ruleDescription(const QString& appName, qint64 state, qsizetype matchCount,
                                   bool hasGlobalRules);

    // The state an app in `state` takes once its matches are `matches`: 0
    // with a block match becomes 2, 1 with a pass match becomes 3, 2 without
    // a block match becomes 0, 3 without a pass match becomes 1; any other
    // state stays.
    static qint64 ruleFollowingMatches(qint64 state, const QStringList& matches);
};
