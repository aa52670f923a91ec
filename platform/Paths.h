#pragma once

#include <QString>

// Every absolute path of the agent is used as written ("/etc/palisor.conf")
// through Paths::system(), which puts $PALISOR_ROOT in front when it is set,
// so tests and the demo run inside a root of their own. Home paths
// ("~/Library/Logs/palisor.log") come from $HOME.
class Paths
{
public:
    // $PALISOR_ROOT without a trailing "/", or "" when unset.
    static QString root();
    static QString system(const QString& absolutePath);
    static QString home();
    // "~" or "~/x" -> $HOME or $HOME/x; anything else is returned unchanged.
    static QString home(const QString& tildePath);
};
