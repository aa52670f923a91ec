#include "platform/Authorization.h"

#include "support/EventLoop.h"
#include "support/ScopedEnvironmentVariable.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include <optional>
#include <unistd.h>

namespace {

const char* nameOf(Authorization::Answer answer)
{
    switch (answer) {
    case Authorization::Answer::Authorised:
        return "authorised";
    case Authorization::Answer::Refused:
        return "refused";
    case Authorization::Answer::NoAgent:
        return "no agent";
    case Authorization::Answer::Unavailable:
        return "unavailable";
    }
    return "?";
}

} // namespace

// pkcheck's answers as the unlock sees them, from a stand-in pkcheck on PATH
// that also records what it was asked.
TEST(AuthorizationTest, PkcheckExitStatusesBecomeAnswers)
{
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    const QString arguments = bin.filePath(QStringLiteral("arguments"));
    struct Case
    {
        const char* name;
        const char* body; // nullptr: no pkcheck at all
        Authorization::Answer answer;
    };
    const Case cases[] = {
        {"authorised", "exit 0", Authorization::Answer::Authorised},
        {"wrong password", "exit 1", Authorization::Answer::Refused},
        {"dismissed", "exit 3", Authorization::Answer::Refused},
        {"no authentication agent",
         "echo 'Authorization requires authentication but no agent is available.' >&2; exit 2",
         Authorization::Answer::NoAgent},
        {"polkit not running", "echo 'Error checking for authorization' >&2; exit 127",
         Authorization::Answer::Unavailable},
        {"killed", "kill -9 $$", Authorization::Answer::Unavailable},
        {"not installed", nullptr, Authorization::Answer::Unavailable},
    };
    ScopedEnvironmentVariable path("PATH", QFile::encodeName(bin.path()));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(bin.filePath(QStringLiteral("pkcheck")));
        QFile::remove(arguments);
        if (c.body) {
            QFile script(bin.filePath(QStringLiteral("pkcheck")));
            ASSERT_TRUE(script.open(QIODevice::WriteOnly));
            QTextStream(&script) << "#!/bin/sh\necho \"$@\" >'" << arguments << "'\n" << c.body << "\n";
            script.close();
            ASSERT_TRUE(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        }
        std::optional<Authorization::Answer> answer;
        Authorization().requestRight(QStringLiteral("zz.tolvane.palisor.unlock"),
                                     [&](Authorization::Answer given) { answer = given; });
        EXPECT_FALSE(answer.has_value()) << "the answer comes later, never inside the request";
        ASSERT_TRUE(processEventsUntil([&] { return answer.has_value(); }));
        EXPECT_STREQ(nameOf(*answer), nameOf(c.answer));
        if (c.body) {
            QFile asked(arguments);
            ASSERT_TRUE(asked.open(QIODevice::ReadOnly));
            EXPECT_EQ(asked.readAll().trimmed(), "--action-id zz.tolvane.palisor.unlock --process " +
                                                     QByteArray::number(getpid()) +
                                                     " --allow-user-interaction");
        }
    }
}
