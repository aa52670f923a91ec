#pragma once

#include "platform/FileChooser.h"

// The real chooser: QFileDialog, application-modal on its parent's window.
class DialogFileChooser : public FileChooser
{
public:
    QString chooseFileToOpen(const QString& title, QObject* parent) override;
    QString chooseFileToSave(const QString& title, QObject* parent) override;
};
