#pragma once

#include <QChar>
#include <QStringList>
#include <QtGlobal>

#include <optional>

class PAApplication;

// True when some match begins with `first` ("@" passes, "#" blocks).
bool hasMatchBeginningWith(const QStringList& matches, QChar first);

// Brings an app's rule state in line with its matches after an editor changed
// them: pass all with a "#" match becomes pass with exceptions (0 -> 2), block
// all with an "@" match becomes block with exceptions (1 -> 3), and an
// exception state that lost its last exception falls back (2 -> 0, 3 -> 1,
// which empties the list). Ask and unknown states stay. Every move goes
// through setRule(). True when the state moved. Main thread only.
bool evaluateAppRule(PAApplication& app);

// Puts an app into the ask state without setRule(): its matches, quiet
// period and timers stay, as the commands that bring alerts back want.
void applyAskState(PAApplication& app);

// What the add controls offer for a rule state: the catch-all button and the
// pass/block pop-up (index 0 pass, 1 block). Pass all can only gain block
// entries and block all only pass entries, so their pop-up is fixed.
struct PAAddControlsState
{
    bool everyoneVisible = false;
    bool popupEnabled = true;
    // The pop-up item to select; none leaves the selection as it is.
    std::optional<int> popupIndex;

    bool operator==(const PAAddControlsState&) const = default;
};
// None for a state outside 0 to 4: the controls stay as they are.
std::optional<PAAddControlsState> addControlsForRule(qint64 state);
