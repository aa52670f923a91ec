#include "platform/widgets/WidgetServices.h"

#include "platform/Resources.h"
#include "platform/Workspace.h"
#include "platform/widgets/DialogAlertPresenter.h"
#include "platform/widgets/DialogFileChooser.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QHash>
#include <QStyle>

namespace {

QIcon standardImage(const QString& name)
{
    static const QHash<QString, QStyle::StandardPixmap> standard{
        {QStringLiteral("NSCaution"), QStyle::SP_MessageBoxWarning},
        {QStringLiteral("NSCritical"), QStyle::SP_MessageBoxCritical},
        {QStringLiteral("NSInformational"), QStyle::SP_MessageBoxInformation},
        {QStringLiteral("NSComputer"), QStyle::SP_ComputerIcon},
        {QStringLiteral("NSFolder"), QStyle::SP_DirIcon},
        {QStringLiteral("NSTrashEmpty"), QStyle::SP_TrashIcon},
    };
    const auto it = standard.constFind(name);
    if (it == standard.constEnd() || !qobject_cast<QApplication*>(QCoreApplication::instance()))
        return {};
    return QApplication::style()->standardIcon(it.value());
}

} // namespace

void WidgetServices::install()
{
    static DialogAlertPresenter alerts;
    static DialogFileChooser files;
    static QFileIconProvider icons;
    AlertPresenter::setDefault(&alerts);
    FileChooser::setDefault(&files);
    Resources::setStandardImageProvider(&standardImage);
    Workspace::setFileIconProvider(&icons);
}
