#include "platform/Log.h"
#include "platform/Resources.h"

#ifdef PALISOR_TEST_WIDGETS
#include "platform/widgets/WidgetServices.h"

#include <QApplication>
#else
#include <QGuiApplication>
#endif
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

// Every test executable runs with a real application object on the offscreen
// platform, so the main-thread queues, timers and widgets behave as in the
// running agent. Tests of the model get one without widgets.
int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // A run meant for an X server that has none is skipped, not failed: the
    // build's test list names such runs (77 is their skip code there).
    if (qEnvironmentVariable("QT_QPA_PLATFORM") == QLatin1String("xcb") &&
        qEnvironmentVariableIsEmpty("DISPLAY")) {
        fputs("no X display: skipped\n", stderr);
        return 77;
    }
    // The agent's user defaults live under XDG_CONFIG_HOME: a test run must
    // never read or write the developer's own.
    QTemporaryDir configHome(QDir::tempPath() + QStringLiteral("/palisor-tests-config.XXXXXX"));
    setenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit().constData(), 1);
    Log::installMessageHandler();
    ::testing::InitGoogleTest(&argc, argv);
    // Death tests fork; "threadsafe" re-executes the binary, which is the only
    // safe way once Qt has started threads.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
#ifdef PALISOR_TEST_WIDGETS
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    WidgetServices::install();
#else
    QGuiApplication app(argc, argv);
#endif
    Resources::setResourcesPath(QStringLiteral(PALISOR_TEST_BUNDLE_DIR "/Contents/Resources"));
    return RUN_ALL_TESTS();
}
