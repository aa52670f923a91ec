#pragma once

#include <QString>

class QObject;

// Open and save panels, behind a seam so that tests choose files without a
// dialog. An empty result means the user cancelled.
class FileChooser
{
public:
    virtual ~FileChooser() = default;

    // One existing file, no folders.
    virtual QString chooseFileToOpen(const QString& title, QObject* parent) = 0;
    // No name proposed and no type imposed: the file is written exactly under
    // the name the user gives.
    virtual QString chooseFileToSave(const QString& title, QObject* parent) = 0;

    // The one set by setShared(), else the default (the dialogs, once the
    // widgets layer has installed them), else one that always cancels.
    static FileChooser& shared();
    // nullptr restores the default. The caller keeps ownership.
    static void setShared(FileChooser* chooser);
    static void setDefault(FileChooser* chooser);
};
