#pragma once

#include <QString>

class QWidget;

// Open and save panels, behind a seam so that tests choose files without a
// dialog. An empty result means the user cancelled.
class FileChooser
{
public:
    virtual ~FileChooser() = default;

    // One existing file, no folders.
    virtual QString chooseFileToOpen(const QString& title, QWidget* parent) = 0;
    // No name proposed and no type imposed: the file is written exactly under
    // the name the user gives.
    virtual QString chooseFileToSave(const QString& title, QWidget* parent) = 0;

    static FileChooser& shared();
    // nullptr restores the dialog chooser. The caller keeps ownership.
    static void setShared(FileChooser* chooser);
};

class DialogFileChooser : public FileChooser
{
public:
    QString chooseFileToOpen(const QString& title, QWidget* parent) override;
    QString chooseFileToSave(const QString& title, QWidget* parent) override;
};
