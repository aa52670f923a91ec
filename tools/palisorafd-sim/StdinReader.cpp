#include "palisorafd-sim/StdinReader.h"

#include <QSocketNotifier>

#include <cerrno>
#include <unistd.h>

StdinReader::StdinReader(QObject* parent)
    : QObject(parent)
{
}

StdinReader::~StdinReader() = default;

void StdinReader::start()
{
    if (m_notifier)
        return;
    m_notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { m_read(); });
}

void StdinReader::m_read()
{
    char buffer[4096];
    const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof(buffer));
    if (count < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (count <= 0) {
        m_finish();
        return;
    }
    m_pending.append(buffer, qsizetype(count));
    qsizetype end = 0;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_pending.left(end));
        m_pending.remove(0, end + 1);
        Q_EMIT lineRead(line);
    }
}

void StdinReader::m_finish()
{
    m_notifier->setEnabled(false);
    if (!m_pending.isEmpty()) {
        const QString line = QString::fromUtf8(m_pending);
        m_pending.clear();
        Q_EMIT lineRead(line);
    }
    Q_EMIT finished();
}
