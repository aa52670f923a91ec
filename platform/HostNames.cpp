#include "platform/HostNames.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

std::atomic<HostNames*> g_shared{nullptr};

} // namespace

QStringList HostNames::namesForAddress(const QString& address)
{
    const QByteArray text = address.toUtf8();
    sockaddr_storage storage{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (inet_pton(AF_INET, text.constData(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        length = sizeof(sockaddr_in);
    } else if (inet_pton(AF_INET6, text.constData(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        length = sizeof(sockaddr_in6);
    } else {
        return {};
    }
    char host[NI_MAXHOST];
    // NI_NAMEREQD: an address without a name is no name, not its own text.
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&storage), length, host, sizeof host, nullptr, 0,
                    NI_NAMEREQD) != 0)
        return {};
    return {QString::fromUtf8(host, qsizetype(strnlen(host, sizeof host)))};
}

HostNames& HostNames::shared()
{
    static HostNames system;
    HostNames* hostNames = g_shared.load();
    return hostNames ? *hostNames : system;
}

void HostNames::setShared(HostNames* hostNames)
{
    g_shared.store(hostNames);
}
