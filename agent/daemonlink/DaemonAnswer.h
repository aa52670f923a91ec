#pragma once

#include <QString>

// The texts of the agent's answers to a daemon request: the request as it
// came, then the rule. Every answer is built here.
namespace DaemonAnswer {

// "<request> <state> # #": the app's state decides (0 pass, 1 block, 2 and
// 3 the partial states); a gone process is passed with state 0.
QString withState(const QString& request, qint64 state);

// "<request> 4 <what> <how>": one rule of an asking app decides; what is 0
// for an address or network and 1 for a port, how is 0 pass and 1 block.
QString withMatch(const QString& request, bool port, bool block);

} // namespace DaemonAnswer
