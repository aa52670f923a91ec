#include "platform/KernelEventSocket.h"

#include "support/Privileges.h"
#include "support/ScopedEnvironmentVariable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(KernelEventSocketRecordTest, ReadsTheHeaderAndOnlyTheReceivedData)
{
    // A buffer that holds more than was received, as a reused one does.
    QByteArray buffer = KernelEventSocket::encode(4242, "0 10.0.0.5 443 17 6 0", 9);
    const qsizetype received = buffer.size();
    buffer.append(QByteArray(64, 'X'));

    const auto event = KernelEventSocket::decode(buffer.constData(), received);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->totalSize, quint32(received));
    EXPECT_EQ(event->vendorCode, KernelEventSocket::kVendorCode);
    EXPECT_EQ(event->id, 9u);
    EXPECT_EQ(event->eventCode, 4242u);
    EXPECT_EQ(event->data, QByteArray("0 10.0.0.5 443 17 6 0"));
}

TEST(KernelEventSocketRecordTest, RecordsShorterThanTheHeaderAreNoEvents)
{
    const QByteArray record = KernelEventSocket::encode(4242, "0 1.2.3.4 80 1 6 0");
    for (const qsizetype received : {qsizetype(0), qsizetype(1), qsizetype(20), qsizetype(23)})
        EXPECT_FALSE(KernelEventSocket::decode(record.constData(), received)) << received;
    const auto headerOnly = KernelEventSocket::decode(record.constData(), 24);
    ASSERT_TRUE(headerOnly);
    EXPECT_TRUE(headerOnly->data.isEmpty());
}

TEST(KernelEventSocketRecordTest, DataEndsAtItsFirstZeroOrAfter128Bytes)
{
    struct Case
    {
        QByteArray data;
        QByteArray text;
    };
    const QByteArray full(128, 'a');
    const Case cases[] = {
        {QByteArray("0 1.2.3.4 80 1 6 0\0stale tail", 29), "0 1.2.3.4 80 1 6 0"},
        {full, full},
        {full + "overflow", full},
        {QByteArray(), QByteArray()},
    };
    for (const Case& c : cases) {
        QByteArray datagram = KernelEventSocket::encode(4242, QByteArray(), 0) + c.data;
        const auto event = KernelEventSocket::decode(datagram.constData(), datagram.size());
        ASSERT_TRUE(event);
        EXPECT_EQ(KernelEventSocket::text(event->data), c.text) << c.data.constData();
    }
}

class KernelEventSocketTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        m_rootVariable =
            std::make_unique<ScopedEnvironmentVariable>("PALISOR_ROOT", m_root.path().toLocal8Bit());
        const QString folder = m_root.filePath(QStringLiteral("var/run/palisor/agent"));
        ASSERT_TRUE(QDir().mkpath(folder));
        ::chmod(QFile::encodeName(folder).constData(), 01777);
    }

    void TearDown() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    QTemporaryDir m_root{QDir::tempPath() + QStringLiteral("/palisor-kev.XXXXXX")};
    std::unique_ptr<ScopedEnvironmentVariable> m_rootVariable;
    int m_fd = -1;
};

TEST_F(KernelEventSocketTest, BindsOurUsersSocketForItsOwnerOnly)
{
    QString error;
    m_fd = KernelEventSocket::open(&error);
    ASSERT_GE(m_fd, 0) << error.toStdString();
    const QString path =
        m_root.filePath(QStringLiteral("var/run/palisor/agent/.zz.tolvane.palisor.raw.%1").arg(getuid()));
    EXPECT_EQ(KernelEventSocket::socketPath(), path);
    struct stat file;
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &file), 0);
    EXPECT_TRUE(S_ISSOCK(file.st_mode));
    EXPECT_EQ(file.st_mode & 0777, 0600u);

    // Another user, who may reach the folder, still cannot write to it.
    ::chmod(QFile::encodeName(m_root.path()).constData(), 0755);
    const uid_t owner = getuid();
    const QByteArray record = KernelEventSocket::encode(4242, "0 1.2.3.4 80 1 6 0");
    const pid_t child = ::fork();
    if (child == 0) {
        if (!dropPrivilegesToNobody())
            ::_exit(2);
        ::_exit(KernelEventSocket::send(record, owner) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2)
        GTEST_SKIP() << "cannot become another user here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "another user's report reached the socket";
}

TEST_F(KernelEventSocketTest, ReceivesOurVendorsEventsAndPassesOverTheRest)
{
    m_fd = KernelEventSocket::open();
    ASSERT_GE(m_fd, 0);
    const uid_t uid = getuid();
    QString error;
    ASSERT_TRUE(
        KernelEventSocket::send(KernelEventSocket::encode(4242, "0 1.2.3.4 80 1 6 0", 1), uid, &error))
        << error.toStdString();
    ASSERT_TRUE(KernelEventSocket::send(KernelEventSocket::encode(4242, "other vendor", 2, 77), uid));
    ASSERT_TRUE(KernelEventSocket::send(QByteArray("short"), uid));
    ASSERT_TRUE(KernelEventSocket::send(QByteArray(), uid));

    const KernelEventSocket::Received ours = KernelEventSocket::receive(m_fd);
    ASSERT_TRUE(ours.event);
    EXPECT_EQ(ours.event->data, QByteArray("0 1.2.3.4 80 1 6 0"));
    const KernelEventSocket::Received foreign = KernelEventSocket::receive(m_fd);
    EXPECT_GT(foreign.bytes, 0);
    EXPECT_FALSE(foreign.event);
    const KernelEventSocket::Received shortRecord = KernelEventSocket::receive(m_fd);
    EXPECT_EQ(shortRecord.bytes, 5);
    EXPECT_FALSE(shortRecord.event);
    const KernelEventSocket::Received empty = KernelEventSocket::receive(m_fd);
    EXPECT_EQ(empty.bytes, 0);
    EXPECT_FALSE(empty.event);

    // A shut socket ends the wait.
    ::shutdown(m_fd, SHUT_RDWR);
    EXPECT_LE(KernelEventSocket::receive(m_fd).bytes, 0);
}

// A second agent once took the running one's path, whose reports then went
// nowhere; only a file no socket answers on is replaced.
TEST_F(KernelEventSocketTest, LeavesALiveSocketAloneAndReplacesAStaleOne)
{
    m_fd = KernelEventSocket::open();
    ASSERT_GE(m_fd, 0);
    const QByteArray path = QFile::encodeName(KernelEventSocket::socketPath());
    struct stat bound;
    ASSERT_EQ(::stat(path.constData(), &bound), 0);

    QString error;
    EXPECT_EQ(KernelEventSocket::open(&error), -1);
    EXPECT_TRUE(error.contains(QStringLiteral("in use"))) << error.toStdString();
    struct stat after;
    ASSERT_EQ(::stat(path.constData(), &after), 0);
    EXPECT_EQ(after.st_ino, bound.st_ino) << "the live socket's file was replaced";
    ASSERT_TRUE(KernelEventSocket::send(KernelEventSocket::encode(4242, "still ours"), getuid()));
    // A local datagram is queued on its reader before the send returns.
    pollfd waiting{m_fd, POLLIN, 0};
    ASSERT_EQ(::poll(&waiting, 1, 0), 1) << "the report went to another socket";
    const KernelEventSocket::Received received = KernelEventSocket::receive(m_fd);
    ASSERT_TRUE(received.event);
    EXPECT_EQ(received.event->data, QByteArray("still ours"));

    // Its owner gone, the file is stale and the next agent binds in its place.
    ::close(m_fd);
    m_fd = KernelEventSocket::open(&error);
    ASSERT_GE(m_fd, 0) << error.toStdString();
    ASSERT_TRUE(KernelEventSocket::send(KernelEventSocket::encode(4242, "the new one"), getuid()));
    EXPECT_EQ(KernelEventSocket::receive(m_fd).event.value_or(KernelEventSocket::Event()).data,
              QByteArray("the new one"));
}

TEST_F(KernelEventSocketTest, RefusesAPathLongerThanASocketAddress)
{
    const ScopedEnvironmentVariable longRoot("PALISOR_ROOT", QByteArray("/tmp/") + QByteArray(120, 'r'));
    QString error;
    EXPECT_EQ(KernelEventSocket::open(&error), -1);
    EXPECT_TRUE(error.contains(QStringLiteral("does not fit"))) << error.toStdString();
    EXPECT_FALSE(KernelEventSocket::send(KernelEventSocket::encode(4242, "x"), getuid(), &error));
}

} // namespace
