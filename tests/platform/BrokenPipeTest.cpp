#include "platform/LinePrinter.h"
#include "platform/TerminationSignals.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// Standard output onto a pipe of its own; with `keepReader` false the reader
// is gone before the first line, as after `program | head`.
int pipeOntoStandardOutput(bool keepReader)
{
    int fds[2];
    if (::pipe(fds) != 0 || ::dup2(fds[1], STDOUT_FILENO) < 0)
        std::_Exit(3);
    ::close(fds[1]);
    if (keepReader)
        return fds[0];
    ::close(fds[0]);
    return -1;
}

// Run in the forked child of a death test: everything a windowless program
// prints on standard output, with nobody reading, and then more with a reader
// back.
void printWithTheReaderGone()
{
    TerminationSignals::ignoreBrokenPipes();
    pipeOntoStandardOutput(false);
    StandardOutputPrinter printer;
    printer.printLine(QStringLiteral("lost"));
    printer.printLine(QStringLiteral("lost again"));
    std::printf("a diagnostic printed the plain way\n");
    std::fflush(stdout);

    // The lost lines stay lost; the next reader sees only its own.
    const int reader = pipeOntoStandardOutput(true);
    printer.printLine(QStringLiteral("after"));
    char buffer[64] = {};
    const ssize_t count = ::read(reader, buffer, sizeof buffer - 1);
    if (count != 6 || std::string(buffer) != "after\n") {
        std::fprintf(stderr, "read back \"%s\"\n", buffer);
        std::_Exit(4);
    }
    std::fprintf(stderr, "still printing\n");
    std::_Exit(0);
}

TEST(BrokenPipeTest, AGoneReaderOfStandardOutputCostsTheLineNotTheProgram)
{
    EXPECT_EXIT(printWithTheReaderGone(), ::testing::ExitedWithCode(0), "still printing");
}

TEST(BrokenPipeTest, WithoutTheGuardTheSameLineEndsTheProgram)
{
    // Shows the test above reaches the signal at all.
    EXPECT_EXIT(
        {
            std::signal(SIGPIPE, SIG_DFL);
            pipeOntoStandardOutput(false);
            StandardOutputPrinter().printLine(QStringLiteral("lost"));
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGPIPE), "");
}

} // namespace
