#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>

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

    // matchIP's two readings, for callers that test one address against many
    // networks read once: matchIP(a, n) is contains(*ipv4Network(n),
    // *ipv4Address(a)), and false when either is none. Network byte order.
    struct IPv4Network
    {
        uint32_t address = 0;
        uint32_t mask = 0;
    };
    static std::optional<uint32_t> ipv4Address(const QString& address);
    static std::optional<IPv4Network> ipv4Network(const QString& network);
    // The same reading of a network's UTF-8 text, for callers that hold
    // bytes: a plain "a.b.c.d/len" costs no conversion.
    static std::optional<IPv4Network> ipv4Network(QByteArrayView utf8);
    static bool contains(const IPv4Network& network, uint32_t address)
    {
        return ((network.address ^ address) & network.mask) == 0;
    }
};
