#include "core/TLValidateIP.h"

#include <QByteArray>

#include <arpa/inet.h>

bool TLValidateIP::isValidIpAddress(const QString& text) const
{
    const QByteArray bytes = text.toUtf8();
    // inet_pton would stop at an embedded NUL and accept the part before it.
    if (bytes.contains('\0'))
        return false;
    unsigned char address[16];
    return inet_pton(AF_INET, bytes.constData(), address) == 1 ||
           inet_pton(AF_INET6, bytes.constData(), address) == 1;
}
