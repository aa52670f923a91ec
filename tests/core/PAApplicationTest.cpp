#include "core/PAApplication.h"

#include "core/PAWorkQueues.h"
#include "core/SharedState.h"
#include "platform/CodeSigning.h"
#include "platform/Resources.h"
#include "platform/SystemColors.h"
#include "platform/Workspace.h"
#include "support/EventLoop.h"
#include "support/ManualClock.h"

#include <QImage>
#include <QSemaphore>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <memory>

namespace {

QImage pictureOf(const QIcon& icon)
{
    return icon.pixmap(QSize(32, 32)).toImage();
}

// Hands out recorded reports of the signing tool. Optionally holds a call
// until the test lets it go, to catch the check in flight.
class FakeCodeSigning : public CodeSigning
{
public:
    QString verification;
    QString description;
    bool holdVerify = false;
    bool holdDescribe = false;
    std::atomic<int> verifyCalls{0};
    std::atomic<int> describeCalls{0};
    QSemaphore entered;
    QSemaphore release;

    QString verify(const QString&) override
    {
        ++verifyCalls;
        m_hold(holdVerify);
        return verification;
    }

    QString describe(const QString&) override
    {
        ++describeCalls;
        m_hold(holdDescribe);
        return description;
    }

private:
    void m_hold(bool hold)
    {
        if (!hold)
            return;
        entered.release();
        release.acquire();
    }
};

class PAApplicationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (size_t i = 0; i < m_savedColors.size(); ++i)
            m_savedColors[i] = labelColorOfState(static_cast<int>(i));
        // Distinct colours, so a test tells every state (and the red of a
        // blocked record) apart; the shipped ones share red and label colour.
        const std::array<QColor, 5> distinct = {QColor(0x10, 0x20, 0x30), QColor(0x11, 0x21, 0x31),
                                                QColor(0x12, 0x22, 0x32), QColor(0x13, 0x23, 0x33),
                                                QColor(0x14, 0x24, 0x34)};
        for (int i = 0; i < 5; ++i)
            labelColorOfState(i) = distinct[static_cast<size_t>(i)];
        m_savedVerify = verifySignatures;
        verifySignatures = false;
        CodeSigning::setShared(&m_signing);
        PAApplication::setSignatureCheckQueue(&m_queues.lookUps());
    }

    void TearDown() override
    {
        // Let every signature check finish before the fake goes away.
        m_queues.waitForDone();
        drainEvents();
        PAApplication::setSignatureCheckQueue(nullptr);
        CodeSigning::setShared(nullptr);
        verifySignatures = m_savedVerify;
        for (size_t i = 0; i < m_savedColors.size(); ++i)
            labelColorOfState(static_cast<int>(i)) = m_savedColors[i];
    }

    // Turns the event loop until the tool has been asked as often as expected
    // and every result it gave has reached the record.
    void waitForSignatureCheck(int describeCalls)
    {
        ASSERT_TRUE(processEventsUntil(
            [&] { return m_signing.verifyCalls == 1 && m_signing.describeCalls == describeCalls; }));
        m_queues.waitForDone();
        drainEvents();
    }

    FakeCodeSigning m_signing;
    PAWorkQueues m_queues;

private:
    std::array<QColor, 5> m_savedColors;
    bool m_savedVerify = false;
};

TEST_F(PAApplicationTest, SystemBinaryIsASingleExecutableUnderASystemFolder)
{
    struct Case
    {
        const char* path;
        bool bundle;
        bool expected;
    };
    const Case cases[] = {
        {"/usr/sbin/sshd", false, true},
        {"/usr/sbin/sshd", true, false},
        {"/usr/sbinx/tool", false, false},
        {"/usr/libexec/helper", false, true},
        {"/System/Library/CoreServices/agent", false, true},
        {"/system/library/agent", false, false},
        {"/usr/bin/ssh", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.path << " bundle=" << c.bundle);
        PAApplication app(QStringLiteral("x"), {}, c.bundle, false, QString::fromLatin1(c.path));
        EXPECT_EQ(app.appIsSystemBinary(), c.expected);
        EXPECT_EQ(app.property("appIsSystemBinary").toBool(), c.expected);
    }
}

// A rule covers its own binary and what runs inside it, never a path that
// merely contains it.
TEST(PAApplicationBelongsTo, ExactPathOrInsideTheFolder)
{
    struct Case
    {
        const char* binary;
        const char* process;
        bool expected;
    };
    const Case cases[] = {
        {"/Applications/Mail.app", "/Applications/Mail.app", true},
        {"/Applications/Mail.app", "/Applications/Mail.app/Contents/MacOS/x", true},
        {"/Applications/Mail.app/", "/Applications/Mail.app/Contents/MacOS/x", true},
        {"/Applications/Mail.app//", "/Applications/Mail.app", true},
        {"/Applications/Mail.app", "/Applications/Mail.app.not-really", false},
        {"/Applications/Mail.app/", "/Applications/Mail.app.not-really/Contents/MacOS/x", false},
        {"/Applications/Mail.app", "/tmp/x/Applications/Mail.app", false},
        {"/Applications/Mail.app", "/tmp/x/Applications/Mail.app/Contents/MacOS/x", false},
        {"/usr/bin/demo-px", "/usr/bin/demo-px2", false},
        {"/usr/bin/demo-px", "/usr/bin/demo-p", false},
        {"/usr/bin/demo-px", "/USR/BIN/DEMO-PX", false},
        {"", "/usr/bin/demo-px", false},
        {"/", "/usr/bin/demo-px", false},
        {"/usr/bin/demo-px", "", false},
        {"", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.binary << " / " << c.process);
        EXPECT_EQ(PAApplication::belongsTo(QString::fromLatin1(c.binary), QString::fromLatin1(c.process)),
                  c.expected);
    }
}

// A bundle keeps its binary as its own name, which stands for the bundle
// beside the app's path and nowhere else.
TEST(PAApplicationBelongsTo, ABundleNameIsTheBundleAtTheAppsPath)
{
    const PAApplication mail(QStringLiteral("Mail"), {QStringLiteral("Mail.app/")}, true, false,
                             QStringLiteral("/Applications/Mail.app"));
    EXPECT_EQ(mail.binaryPath(QStringLiteral("Mail.app/")), "/Applications/Mail.app/");
    EXPECT_EQ(mail.binaryPath(QStringLiteral("/usr/bin/mail")), "/usr/bin/mail");
    EXPECT_TRUE(mail.holdsProcess(QStringLiteral("/Applications/Mail.app/Contents/MacOS/Mail")));
    EXPECT_FALSE(mail.holdsProcess(QStringLiteral("/tmp/x/Applications/Mail.app/Contents/MacOS/Mail")));
    EXPECT_FALSE(mail.holdsProcess(QStringLiteral("/Users/u/Mail.app/Contents/MacOS/Mail")));

    const PAApplication nowhere(QStringLiteral("Mail"), {QStringLiteral("Mail.app/")}, true, false,
                                QString());
    EXPECT_EQ(nowhere.binaryPath(QStringLiteral("Mail.app/")), "");
    EXPECT_FALSE(nowhere.holdsProcess(QStringLiteral("/Applications/Mail.app/Contents/MacOS/Mail")));
}

TEST_F(PAApplicationTest, BlockedRecordIsRedUntilItsStateIsSet)
{
    PAApplication blocked(QStringLiteral("Mail"), {}, true, true, QStringLiteral("/nonexistent/Mail.app"));
    EXPECT_EQ(blocked.appLabelColor(), SystemColors::red());
    EXPECT_EQ(blocked.appIsBlockedOrAllowed(), 0);
    blocked.setRule(1);
    EXPECT_EQ(blocked.appLabelColor(), labelColor1());

    PAApplication passed(QStringLiteral("Mail"), {}, true, false, QStringLiteral("/nonexistent/Mail.app"));
    EXPECT_EQ(passed.appLabelColor(), SystemColors::labelColor());
}

TEST_F(PAApplicationTest, SetRuleDerivesFlagsColourAndWhatSurvives)
{
    struct Case
    {
        qint64 state;
        bool blocked, yellow, redShadow, greenShadow;
        int colour;
        bool matchesKept;
        bool quietAndTimersKept;
    };
    const Case cases[] = {
        {0, false, false, false, false, 0, false, false}, {1, true, false, false, false, 1, false, false},
        {2, false, false, true, false, 2, true, false},   {3, true, false, false, true, 3, true, false},
        {4, false, true, false, false, 4, true, true},    {7, false, false, false, false, 0, false, false},
    };
    const QStringList matches = {QStringLiteral("@1.2.3.4"), QStringLiteral("#tcp:80")};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "state " << c.state);
        ScopedManualClock clock;
        PAApplication app(QStringLiteral("x"), {}, false, false, QStringLiteral("/nonexistent/x"));
        // Start from the opposite of every flag, so each one is really set.
        app.setAppIsBlocked(!c.blocked);
        app.setAppIsYellow(!c.yellow);
        app.setAppRedShadow(!c.redShadow);
        app.setAppGreenShadow(!c.greenShadow);
        app.setAppMatches(matches);
        app.setQuiet(QStringLiteral("pass"), 30);
        app.setAppTimer(60);
        app.setAppHasTimer(true);

        app.setRule(c.state);

        EXPECT_EQ(app.appIsBlockedOrAllowed(), c.state);
        EXPECT_EQ(app.appIsBlocked(), c.blocked);
        EXPECT_EQ(app.appIsYellow(), c.yellow);
        EXPECT_EQ(app.appRedShadow(), c.redShadow);
        EXPECT_EQ(app.appGreenShadow(), c.greenShadow);
        EXPECT_EQ(app.appLabelColor(), labelColorOfState(c.colour));
        EXPECT_EQ(app.appMatches(), c.matchesKept ? matches : QStringList());
        EXPECT_EQ(app.appIsQuietPass(), c.quietAndTimersKept);
        EXPECT_FALSE(app.appIsQuietBlock());
        EXPECT_EQ(app.appHasTimer(), c.quietAndTimersKept);
        ASSERT_TRUE(app.quietTimer() && app.timer());
        EXPECT_EQ(app.quietTimer()->isValid(), c.quietAndTimersKept);
        EXPECT_EQ(app.timer()->isValid(), c.quietAndTimersKept);
        EXPECT_EQ(clock->activeTimerCount(), c.quietAndTimersKept ? 2 : 0);

        app.setAppLabelColor(Qt::black);
        app.updateLabelColor();
        EXPECT_EQ(app.appLabelColor(), labelColorOfState(c.colour));
    }
}

TEST_F(PAApplicationTest, QuietPeriodSetsItsFlagAndEndsWithItsTimer)
{
    struct Case
    {
        const char* mode;
        bool pass, block;
    };
    // Both flags start set, which no mode leaves as it is but an unknown one;
    // the comparison is exact.
    const Case cases[] = {
        {"pass", true, false}, {"block", false, true}, {"Pass", true, true}, {"", true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        ScopedManualClock clock;
        PAApplication app(QStringLiteral("x"), {}, false, false, QStringLiteral("/nonexistent/x"));
        app.setAppIsQuietPass(true);
        app.setAppIsQuietBlock(true);

        app.setQuiet(QString::fromLatin1(c.mode), 20);
        EXPECT_EQ(app.appIsQuietPass(), c.pass);
        EXPECT_EQ(app.appIsQuietBlock(), c.block);
        ASSERT_TRUE(app.quietTimer());
        EXPECT_DOUBLE_EQ(app.quietTimer()->timeInterval(), 20);

        clock->advance(19.9);
        EXPECT_EQ(app.appIsQuietPass(), c.pass);
        EXPECT_EQ(app.appIsQuietBlock(), c.block);
        clock->advance(0.1);
        EXPECT_FALSE(app.appIsQuietPass());
        EXPECT_FALSE(app.appIsQuietBlock());
        EXPECT_FALSE(app.quietTimer()->isValid());
    }
}

TEST_F(PAApplicationTest, ANewQuietPeriodStopsTheTimerOfTheOneItReplaces)
{
    ScopedManualClock clock;
    PAApplication app(QStringLiteral("x"), {}, false, false, QStringLiteral("/nonexistent/x"));
    app.setQuiet(QStringLiteral("pass"), 10);
    app.setQuiet(QStringLiteral("block"), 60);
    EXPECT_EQ(clock->activeTimerCount(), 1);

    clock->advance(10);
    EXPECT_TRUE(app.appIsQuietBlock()) << "the old timer must not end the new period";
    clock->advance(50);
    EXPECT_FALSE(app.appIsQuietBlock());
    EXPECT_FALSE(app.appIsQuietPass());
    EXPECT_EQ(clock->activeTimerCount(), 0);
}

TEST_F(PAApplicationTest, TemporaryRuleTimerPostsExpireAppOnce)
{
    ScopedManualClock clock;
    QObject observerLife;
    QList<NotificationCenter::Notification> posts;
    appNotificationCenter().addObserver(QStringLiteral("expireApp"), &observerLife,
                                        [&](const NotificationCenter::Notification& n) { posts.append(n); });

    PAApplication app(QStringLiteral("Mail"), {}, true, false, QStringLiteral("/nonexistent/Mail.app"));
    app.setAppTimer(30);
    app.setAppTimer(60); // restarts: the first one never fires
    EXPECT_FALSE(app.appHasTimer());
    EXPECT_EQ(clock->activeTimerCount(), 1);

    clock->advance(59);
    EXPECT_TRUE(posts.isEmpty());
    clock->advance(1);
    ASSERT_EQ(posts.size(), 1);
    EXPECT_EQ(posts[0].name, "expireApp");
    // The name, and what tells this record from another of the same name.
    EXPECT_EQ(posts[0].userInfo, (QVariantMap{{QStringLiteral("appName"), QStringLiteral("Mail")},
                                              {QStringLiteral("appSerial"), app.appSerial()}}));

    app.setAppHasTimer(true);
    app.setAppTimer(5);
    app.stopAppTimer();
    EXPECT_FALSE(app.appHasTimer());
    clock->advance(10);
    EXPECT_EQ(posts.size(), 1);
}

TEST_F(PAApplicationTest, DestroyedRecordLeavesNoTimerBehind)
{
    ScopedManualClock clock;
    QObject observerLife;
    int posts = 0;
    appNotificationCenter().addObserver(QStringLiteral("expireApp"), &observerLife,
                                        [&](const NotificationCenter::Notification&) { ++posts; });
    {
        PAApplication app(QStringLiteral("x"), {}, false, false, QStringLiteral("/nonexistent/x"));
        app.setQuiet(QStringLiteral("pass"), 10);
        app.setQuiet(QStringLiteral("block"), 10);
        app.setAppTimer(10);
    }
    EXPECT_EQ(clock->activeTimerCount(), 0);
    clock->advance(20);
    EXPECT_EQ(posts, 0);
}

TEST_F(PAApplicationTest, MatchFiltersActOnTheRecordPassedIn)
{
    const QStringList mixed = {QStringLiteral("@1.2.3.4"), QStringLiteral("#tcp:80"), QString(),
                               QStringLiteral("@tcp:1000:2000"), QStringLiteral("x#y")};
    PAApplication receiver(QStringLiteral("r"), {}, false, false, QStringLiteral("/nonexistent/r"));
    receiver.setAppMatches(mixed);
    PAApplication target(QStringLiteral("t"), {}, false, false, QStringLiteral("/nonexistent/t"));

    target.setAppMatches(mixed);
    receiver.removeBlockedMatchesWithApp(target);
    EXPECT_EQ(target.appMatches(),
              (QStringList{QStringLiteral("@1.2.3.4"), QStringLiteral("@tcp:1000:2000")}));
    EXPECT_EQ(receiver.appMatches(), mixed);

    target.setAppMatches(mixed);
    receiver.removePassedMatchesWithApp(target);
    EXPECT_EQ(target.appMatches(), QStringList{QStringLiteral("#tcp:80")});
    EXPECT_EQ(receiver.appMatches(), mixed);
}

TEST_F(PAApplicationTest, IconIsTheWorkspaceIconOrUnknownApp)
{
    PAApplication missing(QStringLiteral("x"), {}, false, false, QStringLiteral("/nonexistent/x"));
    EXPECT_FALSE(missing.appExists());
    const QImage unknown = pictureOf(Resources::image(QStringLiteral("unknownapp")));
    ASSERT_FALSE(unknown.isNull());
    EXPECT_EQ(pictureOf(missing.appImage()), unknown);

    QTemporaryDir dir(QStringLiteral("/tmp/palisor-app-XXXXXX"));
    ASSERT_TRUE(dir.isValid());
    PAApplication present(QStringLiteral("y"), {}, true, false, dir.path());
    EXPECT_TRUE(present.appExists());
    EXPECT_EQ(pictureOf(present.appImage()), pictureOf(Workspace::iconForFile(dir.path())));
    EXPECT_NE(pictureOf(present.appImage()), unknown);
}

TEST_F(PAApplicationTest, UncheckedSignatureCountsAsValidAndNotByApple)
{
    m_signing.verification = QStringLiteral("/bin/sh: code object is not signed at all\n");
    struct Case
    {
        bool verify;
        const char* path;
    };
    // Off: never checked. On with a missing file: nothing to check.
    const Case cases[] = {{false, "/bin/sh"}, {true, "/nonexistent/x"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        verifySignatures = c.verify;
        PAApplication app(QStringLiteral("x"), {}, false, false, QString::fromLatin1(c.path));
        m_queues.waitForDone();
        drainEvents();
        EXPECT_TRUE(app.appIsSigned());
        EXPECT_TRUE(app.appHasValidSignature());
        EXPECT_FALSE(app.appIsSignedByApple());
        EXPECT_EQ(app.appSignatureInfo(), "");
    }
    EXPECT_EQ(m_signing.verifyCalls, 0);
}

TEST_F(PAApplicationTest, SignatureFactsFromTheToolsReports)
{
    const QString developerId = QStringLiteral("Executable=/Applications/Notes.app/Contents/MacOS/Notes\n"
                                               "Identifier=com.example.notes\n"
                                               "Authority=Developer ID Application: Jane Roe (AB12CD34EF)\n"
                                               "Authority=Developer ID Certification Authority\n"
                                               "Authority=Root CA\n");
    struct Case
    {
        const char* name;
        bool bundle;
        QString verification;
        QString description;
        int describeCalls;
        bool isSigned, valid, byApple;
        QString info;
    };
    const Case cases[] = {
        {"unsigned binary", false, QStringLiteral("/bin/sh: code object is not signed at all\n"), developerId,
         0, false, true, false, QStringLiteral("Binary is not signed")},
        {"developer id bundle", true, QString(), developerId, 1, true, true, false,
         QStringLiteral("App is signed by Jane Roe (AB12CD34EF)")},
        {"software signing", true, QString(),
         QStringLiteral("Identifier=x\nAuthority=Software Signing\nAuthority=CA\n"), 1, true, true, true,
         QStringLiteral("App is signed by Apple")},
        {"os application signing", false, QString(),
         QStringLiteral("Authority=Apple Mac OS Application Signing\n"), 1, true, true, true,
         QStringLiteral("Binary is signed by Apple")},
        {"apple named but not exact", false, QString(), QStringLiteral("Authority=Software Signing \n"), 1,
         true, true, false, QStringLiteral("Binary is signed by Software Signing ")},
        {"invalid signature", true, QStringLiteral("/x: a sealed resource is missing or invalid\n"),
         developerId, 1, true, false, false, QStringLiteral("App is signed by Jane Roe (AB12CD34EF)")},
        {"no authority line", false, QString(), QStringLiteral("Identifier=x\nSignature=adhoc\n"), 1, true,
         true, false, QString()},
        {"second equals ends the name", false, QString(), QStringLiteral("Format=x\nAuthority=Name=Extra\n"),
         1, true, true, false, QStringLiteral("Binary is signed by Name")},
    };
    verifySignatures = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_signing.verification = c.verification;
        m_signing.description = c.description;
        m_signing.verifyCalls = 0;
        m_signing.describeCalls = 0;
        // The path must exist; what the tool says about it is the fake's.
        PAApplication app(QStringLiteral("x"), {}, c.bundle, false, QStringLiteral("/bin/sh"));
        waitForSignatureCheck(c.describeCalls);
        EXPECT_EQ(app.appIsSigned(), c.isSigned);
        EXPECT_EQ(app.appHasValidSignature(), c.valid);
        EXPECT_EQ(app.appIsSignedByApple(), c.byApple);
        EXPECT_EQ(app.appSignatureInfo(), c.info);
    }
}

TEST_F(PAApplicationTest, SystemSigningReportsUnsignedCodeOnLinux)
{
    CodeSigning::setShared(nullptr);
    verifySignatures = true;
    PAApplication app(QStringLiteral("sh"), {}, false, false, QStringLiteral("/bin/sh"));
    ASSERT_TRUE(processEventsUntil([&] { return !app.appSignatureInfo().isEmpty(); }));
    EXPECT_EQ(app.appSignatureInfo(), "Binary is not signed");
    EXPECT_FALSE(app.appIsSigned());
    EXPECT_TRUE(app.appHasValidSignature());
}

TEST_F(PAApplicationTest, RecordDestroyedDuringItsSignatureCheck)
{
    verifySignatures = true;
    m_signing.description = QStringLiteral("Authority=Software Signing\n");
    for (const bool duringDescribe : {false, true}) {
        SCOPED_TRACE(duringDescribe ? "describe" : "verify");
        m_signing.holdVerify = !duringDescribe;
        m_signing.holdDescribe = duringDescribe;
        auto app = std::make_unique<PAApplication>(QStringLiteral("x"), QStringList(), true, false,
                                                   QStringLiteral("/bin/sh"));
        ASSERT_TRUE(processEventsUntil([&] { return m_signing.entered.tryAcquire(); }));
        app.reset();
        m_signing.release.release();
        m_queues.waitForDone();
        drainEvents();
    }
    m_signing.holdVerify = m_signing.holdDescribe = false;
}

} // namespace
