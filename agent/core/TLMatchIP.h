#pragma once

#include <QString>

// Network membership and network-text checks for the rules and the alerts.
// Stateless: make one, ask, drop it. Safe on any thread.
class TLMatchIP
{
public:
    // True when the IPv4 address lies in the network "a.b.c.d/len". Any text
    // that is not IPv4 (an IPv6 address included), a network without "/" or a
    // length outside 0..32 never matches.
    bool matchIP(const QString& address, const QString& network) const;
    // True when the IPv6 address lies in the network "addr[/len]" (no "/"
    // means 128 bits). Texts that do not parse never match.
    bool matchIPV6(const QString& address, const QString& network) const;

    bool validateIPV6cidr(const QString& text) const;
    bool validateIPV4cidr(const QString& text) const;
};
