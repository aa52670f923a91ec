#include "FakeAgent.h"

#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstddef>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

socklen_t fill(const QString& path, sockaddr_un* address)
{
    const QByteArray encoded = QFile::encodeName(path);
    std::memset(address, 0, sizeof(*address));
    address->sun_family = AF_UNIX;
    std::memcpy(address->sun_path, encoded.constData(), size_t(encoded.size()));
    return socklen_t(offsetof(sockaddr_un, sun_path) + size_t(encoded.size()) + 1);
}

} // namespace

FakeAgent::~FakeAgent()
{
    close();
}

QString FakeAgent::path()
{
    return Paths::system(QStringLiteral("/var/run/palisor/agent/.zz.tolvane.palisor.agents"));
}

QString FakeAgent::daemonPath()
{
    return Paths::system(QStringLiteral("/var/run/palisor/.zz.tolvane.palisor.agentc"));
}

bool FakeAgent::bind()
{
    QDir().mkpath(QFileInfo(path()).path());
    QFile::remove(path());
    m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address;
    const socklen_t length = fill(path(), &address);
    return m_fd >= 0 && ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
}

void FakeAgent::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

std::optional<QByteArray> FakeAgent::receive(int timeoutMs)
{
    pollfd waiting{m_fd, POLLIN, 0};
    if (::poll(&waiting, 1, timeoutMs) != 1)
        return std::nullopt;
    char buffer[512];
    const ssize_t count = ::recv(m_fd, buffer, sizeof(buffer), 0);
    if (count < 0)
        return std::nullopt;
    return QByteArray(buffer, qsizetype(count));
}

bool FakeAgent::answer(const QByteArray& text)
{
    // The filler behind the zero byte means nothing; it is not zeros here, so
    // a reader that looks past the zero byte shows it.
    QByteArray datagram = text.left(128);
    if (datagram.size() < 128) {
        datagram.append('\0');
        datagram.append(128 - datagram.size(), 'Z');
    }
    sockaddr_un address;
    const socklen_t length = fill(daemonPath(), &address);
    return ::sendto(m_fd, datagram.constData(), size_t(datagram.size()), 0,
                    reinterpret_cast<const sockaddr*>(&address), length) == 128;
}
