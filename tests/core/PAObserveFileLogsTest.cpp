#include "core/PAObserveFileLogs.h"

#include "platform/LogFile.h"
#include "platform/Paths.h"
#include "support/EventLoop.h"
#include "support/ManualClock.h"
#include "support/ScopedEnvironmentVariable.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether the descriptor is the file now at `path`.
bool descriptorIsFileAt(int fd, const QString& path)
{
    struct stat byDescriptor;
    struct stat byPath;
    return fd >= 0 && ::fstat(fd, &byDescriptor) == 0 &&
           ::stat(QFile::encodeName(path).constData(), &byPath) == 0 && sameFile(byDescriptor, byPath);
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Append) && file.write(data) == data.size();
}

void writeToStandardError(const char* text)
{
    ASSERT_EQ(::write(STDERR_FILENO, text, std::strlen(text)), static_cast<ssize_t>(std::strlen(text)));
}

// A temporary HOME, and standard error pointed at a file of the test's own so
// that a reopen shows, and the runner's real standard error comes back after.
class LogKeeperTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/palisor-logs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_home = QString::fromLocal8Bit(pattern);
        m_homeVariable = std::make_unique<ScopedEnvironmentVariable>("HOME", m_home.toLocal8Bit());
        m_logPath = m_home + QStringLiteral("/Library/Logs/palisor.log");
        m_before = m_home + QStringLiteral("/stderr-before");

        std::fflush(stderr);
        m_savedStandardError = ::dup(STDERR_FILENO);
        ASSERT_GE(m_savedStandardError, 0);
        const int fd = ::open(QFile::encodeName(m_before).constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ASSERT_GE(fd, 0);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }

    void TearDown() override
    {
        std::fflush(stderr);
        if (m_savedStandardError >= 0) {
            ::dup2(m_savedStandardError, STDERR_FILENO);
            ::close(m_savedStandardError);
        }
        m_homeVariable.reset();
        QDir(m_home).removeRecursively();
    }

    bool standardErrorIs(const QString& path) const { return descriptorIsFileAt(STDERR_FILENO, path); }

    QString m_home;
    QString m_logPath;
    QString m_before;
    ScopedManualClock m_clock;

private:
    std::unique_ptr<ScopedEnvironmentVariable> m_homeVariable;
    int m_savedStandardError = -1;
};

TEST_F(LogKeeperTest, MakesAMissingLogEmptyAndKeepsAnExistingOne)
{
    struct Case
    {
        const char* name;
        bool makeFolder;
        QByteArray existing; // null: no file
    };
    const Case cases[] = {
        {"no folder", false, QByteArray()},
        {"no file", true, QByteArray()},
        {"file with content", true, QByteArray("earlier lines\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(m_home + QStringLiteral("/Library")).removeRecursively();
        if (c.makeFolder) {
            ASSERT_TRUE(QDir().mkpath(m_home + QStringLiteral("/Library/Logs")));
        }
        if (!c.existing.isNull()) {
            ASSERT_TRUE(writeFile(m_logPath, c.existing));
        }

        PAObserveFileLogs keeper;
        EXPECT_EQ(keeper.pathfilelog, m_logPath);
        keeper.awakeFromNib();

        ASSERT_TRUE(QFile::exists(m_logPath));
        EXPECT_EQ(contents(m_logPath), c.existing.isNull() ? QByteArray("") : c.existing);
        EXPECT_TRUE(descriptorIsFileAt(keeper.filetoread(), m_logPath));
        // Making the file is not a reason to reopen standard error.
        drainEvents();
        EXPECT_TRUE(standardErrorIs(m_before));
    }
}

TEST_F(LogKeeperTest, ReopensStandardErrorOntoEachNewFileAfterADeletion)
{
    PAObserveFileLogs keeper;
    // As the agent wires it: standard error goes to the agent's log again.
    QObject::connect(&keeper, &PAObserveFileLogs::logFileChanged, [] {
        LogFile::reopenStandardError(Paths::home() + QStringLiteral("/Library/Logs/palisor.log"));
    });
    keeper.awakeFromNib();
    ASSERT_GE(keeper.filetoread(), 0);

    // Writing, extending and changing attributes leave the file in place.
    ASSERT_TRUE(writeFile(m_logPath, "a line\n"));
    ASSERT_EQ(::chmod(QFile::encodeName(m_logPath).constData(), 0600), 0);
    drainEvents();
    EXPECT_TRUE(standardErrorIs(m_before));
    EXPECT_TRUE(descriptorIsFileAt(keeper.filetoread(), m_logPath));

    // Deleted: nothing to reopen onto until a file is there again.
    ASSERT_TRUE(QFile::remove(m_logPath));
    ASSERT_TRUE(processEventsUntil([&] { return keeper.filetoread() < 0; }, 3000));
    EXPECT_TRUE(standardErrorIs(m_before));

    ASSERT_TRUE(writeFile(m_logPath, "first\n"));
    ASSERT_TRUE(processEventsUntil([&] { return standardErrorIs(m_logPath); }, 3000));
    writeToStandardError("after\n");
    EXPECT_EQ(contents(m_logPath), "first\nafter\n");
    EXPECT_TRUE(descriptorIsFileAt(keeper.filetoread(), m_logPath));

    // The new file is watched the same way; this one comes back by a rename,
    // as an atomic writer makes it.
    ASSERT_TRUE(QFile::remove(m_logPath));
    ASSERT_TRUE(processEventsUntil([&] { return keeper.filetoread() < 0; }, 3000));
    QSaveFile replacement(m_logPath);
    ASSERT_TRUE(replacement.open(QIODevice::WriteOnly));
    replacement.write("second\n");
    ASSERT_TRUE(replacement.commit());
    ASSERT_TRUE(processEventsUntil([&] { return standardErrorIs(m_logPath); }, 3000));
    writeToStandardError("again\n");
    EXPECT_EQ(contents(m_logPath), "second\nagain\n");
    EXPECT_TRUE(descriptorIsFileAt(keeper.filetoread(), m_logPath));
}

TEST_F(LogKeeperTest, FindsTheFileAgainAfterItsFolderWasRemoved)
{
    PAObserveFileLogs keeper;
    // As the agent wires it: standard error goes to the agent's log again.
    QObject::connect(&keeper, &PAObserveFileLogs::logFileChanged, [] {
        LogFile::reopenStandardError(Paths::home() + QStringLiteral("/Library/Logs/palisor.log"));
    });
    keeper.awakeFromNib();

    const QString folder = m_home + QStringLiteral("/Library/Logs");
    ASSERT_TRUE(QDir(folder).removeRecursively());
    ASSERT_TRUE(processEventsUntil([&] { return keeper.filetoread() < 0; }, 3000));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(writeFile(m_logPath, "back\n"));
    // No folder was there to watch: the once-a-second look finds the file.
    drainEvents();
    m_clock->advance(1.0);
    ASSERT_TRUE(processEventsUntil([&] { return standardErrorIs(m_logPath); }, 3000));
    writeToStandardError("after\n");
    EXPECT_EQ(contents(m_logPath), "back\nafter\n");

    // The folder of the new file is watched again, so its next deletion is
    // handled without the clock.
    ASSERT_TRUE(QFile::remove(m_logPath));
    ASSERT_TRUE(processEventsUntil([&] { return keeper.filetoread() < 0; }, 3000));
    ASSERT_TRUE(writeFile(m_logPath, "third\n"));
    EXPECT_TRUE(processEventsUntil([&] { return descriptorIsFileAt(keeper.filetoread(), m_logPath); }, 3000));
}

TEST_F(LogKeeperTest, WithoutItsOutletWatchesTheNewFileAndLeavesStandardErrorAlone)
{
    PAObserveFileLogs keeper;
    keeper.awakeFromNib();
    ASSERT_TRUE(QFile::remove(m_logPath));
    ASSERT_TRUE(processEventsUntil([&] { return keeper.filetoread() < 0; }, 3000));
    ASSERT_TRUE(writeFile(m_logPath, ""));
    ASSERT_TRUE(processEventsUntil([&] { return descriptorIsFileAt(keeper.filetoread(), m_logPath); }, 3000));
    EXPECT_TRUE(standardErrorIs(m_before));
}

TEST_F(LogKeeperTest, ReopenStandardErrorMakesFoldersAndRefusesAnUnopenablePath)
{
    const QString nested = m_home + QStringLiteral("/made/on/demand.log");
    ASSERT_TRUE(LogFile::reopenStandardError(nested));
    writeToStandardError("here\n");
    EXPECT_EQ(contents(nested), "here\n");

    const QString plain = m_home + QStringLiteral("/plain");
    ASSERT_TRUE(writeFile(plain, "not a folder\n"));
    for (const QString& path : {plain + QStringLiteral("/palisor.log"), QString(), m_home}) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_FALSE(LogFile::reopenStandardError(path));
        EXPECT_TRUE(standardErrorIs(nested));
    }
}

TEST_F(LogKeeperTest, AFifoAtTheLogPathIsRefusedAtOnceAndSaidOnce)
{
    ASSERT_TRUE(QDir().mkpath(m_home + QStringLiteral("/Library/Logs")));
    const QByteArray fifo = QFile::encodeName(m_logPath);
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);

    // Without a reader an open for writing would wait for one; should it,
    // a reader set it free so that the test fails instead of hanging.
    auto reopened =
        std::async(std::launch::async, [this] { return LogFile::reopenStandardError(m_logPath); });
    if (reopened.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        const int freeing = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
        reopened.wait();
        ::close(freeing);
        FAIL() << "opening the log waited for a reader of the FIFO";
    }
    EXPECT_FALSE(reopened.get());
    EXPECT_TRUE(standardErrorIs(m_before));

    // With a reader the open succeeds, and is still turned away; nothing
    // reaches the reader, and the refusal is not said again.
    const int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_FALSE(LogFile::reopenStandardError(m_logPath));
    EXPECT_TRUE(standardErrorIs(m_before));
    writeToStandardError("goes on\n");
    char byte;
    EXPECT_LT(::read(reader, &byte, 1), 1);
    ::close(reader);
    std::fflush(stderr);
    const QList<QByteArray> lines = contents(m_before).split('\n');
    ASSERT_EQ(lines.size(), 3) << contents(m_before).toStdString();
    EXPECT_TRUE(lines.at(0).contains(fifo)) << lines.at(0).toStdString();
    EXPECT_EQ(lines.at(1), "goes on");

    // The keeper leaves the FIFO alone too and waits for a file.
    PAObserveFileLogs keeper;
    keeper.awakeFromNib();
    EXPECT_LT(keeper.filetoread(), 0);

    // A regular file in its place is taken, and a later FIFO is said again.
    ASSERT_EQ(::unlink(fifo.constData()), 0);
    ASSERT_TRUE(writeFile(m_logPath, ""));
    ASSERT_TRUE(LogFile::reopenStandardError(m_logPath));
    writeToStandardError("in the file\n");
    EXPECT_EQ(contents(m_logPath), "in the file\n");
    ASSERT_EQ(::unlink(fifo.constData()), 0);
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    EXPECT_FALSE(LogFile::reopenStandardError(m_logPath));
    std::fflush(stderr);
    // Standard error is still the file the FIFO took the place of.
    const QByteArray kept = contents(QStringLiteral("/proc/self/fd/2"));
    EXPECT_TRUE(kept.startsWith("in the file\nThe log ")) << kept.toStdString();
}

} // namespace
