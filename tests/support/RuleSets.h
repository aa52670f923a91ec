#pragma once

#include "support/RecordingDistributedCenter.h"

#include <QList>
#include <QStringList>

// What the agent told the daemon, read from a recording centre.
namespace RuleSets {

// Posts of one name, in order.
QList<RecordingDistributedCenter::Post> postsNamed(const RecordingDistributedCenter& center,
                                                   const QString& name);
// Waits for the count of rule sets sent so far ("newAppListReceived") to
// reach `count`.
bool waitFor(const RecordingDistributedCenter& center, int count);
// What the last rule set told the daemon: per app, its binaries, state and
// matches; "none sent" before the first.
QStringList last(const RecordingDistributedCenter& center);

} // namespace RuleSets
