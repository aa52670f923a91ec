#pragma once

#include "platform/FileChooser.h"

// The real chooser: QFileDialog, modal on its parent's window only.
class DialogFileChooser : public FileChooser
{
public:
    QString chooseFileToOpen(const QString& title, QObject* parent) override;
    QString chooseFileToSave(const QString& title, QObject* parent) override;
};
