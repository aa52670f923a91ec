#include "FileChooser.h"

#include <QFileDialog>

#include <atomic>

namespace {

std::atomic<FileChooser*> g_sharedChooser{nullptr};

} // namespace

FileChooser& FileChooser::shared()
{
    static DialogFileChooser dialogChooser;
    FileChooser* chooser = g_sharedChooser.load();
    return chooser ? *chooser : dialogChooser;
}

void FileChooser::setShared(FileChooser* chooser)
{
    g_sharedChooser.store(chooser);
}

QString DialogFileChooser::chooseFileToOpen(const QString& title, QWidget* parent)
{
    QFileDialog dialog(parent, title);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString DialogFileChooser::chooseFileToSave(const QString& title, QWidget* parent)
{
    QFileDialog dialog(parent, title);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QString());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}
