#include "platform/CodeSigning.h"

#include <atomic>

namespace {

std::atomic<CodeSigning*> g_shared{nullptr};

QString unsignedReport(const QString& path)
{
    return path + QStringLiteral(": code object is not signed at all\n");
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
