#include "platform/widgets/DialogFileChooser.h"

#include <QFileDialog>

namespace {

// Modal on its window only: a connection alert, a window of its own, can be
// answered while the panel is open.
void makeWindowModal(QFileDialog& dialog)
{
    if (dialog.parentWidget())
        dialog.setWindowModality(Qt::WindowModal);
}

} // namespace

QString DialogFileChooser::chooseFileToOpen(const QString& title, QObject* parent)
{
    QFileDialog dialog(qobject_cast<QWidget*>(parent), title);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    makeWindowModal(dialog);
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
    makeWindowModal(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}
