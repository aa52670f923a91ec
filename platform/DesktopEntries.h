#pragma once

#include <QString>
#include <QStringList>

// The desktop's application entries (".desktop" files in the XDG applications
// folders) by the executable they start, so that the agent shows a program
// with the icon the desktop shows it with. System folders are read under
// PALISOR_ROOT, the user's own from HOME (or XDG_DATA_HOME).
//
// The folders are read once, on first use or ahead of it by prepare(); a
// look-up is then a hash look-up. Safe from any thread.
class DesktopEntries
{
public:
    // The Icon= of the entry whose Exec= or TryExec= names the executable at
    // `executablePath` (a theme icon name, or an absolute file path as the
    // entry wrote it); "" when no entry names it. Entries kept out of menus
    // (NoDisplay=true) count. An entry that gives a full path, or a bare name
    // found on PATH, names that file, the file a link there points to, and
    // the links on PATH that lead to it; failing that, an entry names every
    // executable of its program's file name. An entry that hands an
    // interpreter a script names no interpreter; "sh -c COMMAND" names the
    // command's program.
    static QString iconNameForExecutable(const QString& executablePath);

    // Starts reading the folders on a worker thread, so that the first
    // look-up need not wait for it.
    static void prepare();
    // Forgets what was read, once a reading prepare() started has ended; the
    // next look-up reads the folders again.
    static void reset();

    // The applications folders, most important first, as the running system
    // sees them (already under PALISOR_ROOT).
    static QStringList applicationFolders();

    // The program an Exec= value starts: its first word after the format's
    // quoting and escapes, past an "env" and its assignments; "" when none.
    static QString programOfExec(const QString& exec);
};
