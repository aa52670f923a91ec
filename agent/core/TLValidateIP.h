#pragma once

#include <QString>

// Address check for the rule editors. Stateless; safe on any thread.
class TLValidateIP
{
public:
    // True for a dotted-quad IPv4 address or any IPv6 address text.
    bool isValidIpAddress(const QString& text) const;
};
