#include "platform/CodeSigning.h"

#include "platform/CommandRunner.h"
#include "platform/Paths.h"

#include <QFileInfo>

#include <atomic>

namespace {

std::atomic<CodeSigning*> g_shared{nullptr};

QString unsignedReport(const QString& path)
{
    return path + QStringLiteral(": code object is not signed at all\n");
}

QString toolReport(const QString& option, const QString& path)
{
    const QString tool = CodeSigning::toolPath();
    if (!QFileInfo(tool).isExecutable())
        return unsignedReport(path);
    return CommandRunner::shared().run(tool, {option, QStringLiteral("--ignore-resources"), path});
}

} // namespace

QString CodeSigning::verify(const QString& path)
{
    return unsignedReport(path);
}

QString CodeSigning::describe(const QString& path)
{
    return unsignedReport(path);
}

QString CodeSigning::validityReport(const QString& path)
{
    return toolReport(QStringLiteral("-vv"), path);
}

QString CodeSigning::detailsReport(const QString& path)
{
    return toolReport(QStringLiteral("-dvv"), path);
}

QString CodeSigning::toolPath()
{
    return Paths::system(QStringLiteral("/usr/bin/codesign"));
}

CodeSigning& CodeSigning::shared()
{
    static CodeSigning system;
    CodeSigning* codeSigning = g_shared.load();
    return codeSigning ? *codeSigning : system;
}

void CodeSigning::setShared(CodeSigning* codeSigning)
{
    g_shared.store(codeSigning);
}
