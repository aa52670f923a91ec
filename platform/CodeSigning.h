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

    // The two halves of the signature report as the tool prints them (its
    // standard output and error together): the validity check ("-vv
    // --ignore-resources") and the signing details ("-dvv
    // --ignore-resources"). The tool runs through CommandRunner with the path
    // as one argument, never through a shell. Where the system has no such
    // tool, each is what the tool reports for unsigned code. Blocks: call it
    // off the main thread.
    virtual QString validityReport(const QString& path);
    virtual QString detailsReport(const QString& path);
    // Where the tool is looked for.
    static QString toolPath();

    static CodeSigning& shared();
    // nullptr restores the system answer. The caller keeps ownership.
    static void setShared(CodeSigning* codeSigning);
};
