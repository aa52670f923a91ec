#include "platform/HostResolver.h"

#include <QByteArray>

#include <arpa/inet.h>
#include <atomic>
#include <memory>
#include <netdb.h>
#include <sys/socket.h>

namespace {

std::atomic<HostResolver*> installedResolver{nullptr};

struct AddrinfoDeleter
{
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

QString addressText(const addrinfo& entry)
{
    char text[INET6_ADDRSTRLEN] = {};
    const void* address = nullptr;
    if (entry.ai_family == AF_INET && entry.ai_addrlen >= sizeof(sockaddr_in))
        address = &reinterpret_cast<const sockaddr_in*>(entry.ai_addr)->sin_addr;
    else if (entry.ai_family == AF_INET6 && entry.ai_addrlen >= sizeof(sockaddr_in6))
        address = &reinterpret_cast<const sockaddr_in6*>(entry.ai_addr)->sin6_addr;
    if (!address || !inet_ntop(entry.ai_family, address, text, sizeof text))
        return {};
    return QString::fromLatin1(text);
}

} // namespace

QStringList HostResolver::addressesOfHost(const QString& name)
{
    const QByteArray bytes = name.toUtf8();
    // The resolver would stop at an embedded NUL and look up the part before it.
    if (bytes.isEmpty() || bytes.contains('\0'))
        return {};
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    addrinfo* found = nullptr;
    if (getaddrinfo(bytes.constData(), nullptr, &hints, &found) != 0 || !found)
        return {};
    const std::unique_ptr<addrinfo, AddrinfoDeleter> list(found);
    // Without a socket type every address comes once per type (stream,
    // datagram, raw); a match is wanted once per address.
    QStringList addresses;
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
        const QString text = addressText(*entry);
        if (!text.isEmpty() && !addresses.contains(text))
            addresses.append(text);
    }
    return addresses;
}

HostResolver& HostResolver::shared()
{
    static HostResolver systemResolver;
    HostResolver* resolver = installedResolver.load();
    return resolver ? *resolver : systemResolver;
}

void HostResolver::setShared(HostResolver* resolver)
{
    installedResolver.store(resolver);
}
