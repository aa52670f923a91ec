#pragma once

#include <QString>

// What the code-signing tool reports about a file. Linux signs no code, so the
// system answer is the tool's report for unsigned code; the agent parses these
// texts exactly as it would the tool's, and tests hand it recorded reports.
class CodeSigning
{
public:
    virtual ~CodeSigning() = default;

    // The verification report ("-v --ignore-resources"): empty for a valid
    // signature.
    virtual QString verify(const QString& path);
    // The detailed description ("-dvvv --ignore-resources"), with its
    // "Authority=" lines for signed code.
    virtual QString describe(const QString& path);

    static CodeSigning& shared();
    // nullptr restores the system answer. The caller keeps ownership.
    static void setShared(CodeSigning* codeSigning);
};
