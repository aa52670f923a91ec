#include "platform/widgets/DialogFileChooser.h"

#include <QFileDialog>

QString DialogFileChooser::chooseFileToOpen(const QString& title, QObject* parent)
{
    QFileDialog dialog(qobject_cast<QWidget*>(parent), title);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString DialogFileChooser::chooseFileToSave(const QString& title, QObject* parent)
{
    QFileDialog dialog(qobject_cast<QWidget*>(parent), title);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QString());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}
