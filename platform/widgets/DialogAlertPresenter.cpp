#include "platform/widgets/DialogAlertPresenter.h"

#include "platform/Resources.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStyle>

#include <algorithm>

namespace {

QMessageBox* makeBox(const Alert& alert, QWidget* parent)
{
    auto* box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setText(alert.messageText);
    box->setInformativeText(alert.informativeText);
    // A standard name takes our own picture of that name where the bundle
    // has one, else the style's.
    const QIcon own = alert.icon.isEmpty() ? QIcon() : Resources::image(alert.icon);
    if (!own.isNull())
        box->setIconPixmap(own.pixmap(64, 64));
    else if (alert.icon == QLatin1String("NSCaution"))
        box->setIcon(QMessageBox::Warning);
    else if (alert.icon == QLatin1String("NSCritical"))
        box->setIcon(QMessageBox::Critical);
    else if (alert.icon == QLatin1String("NSInformational"))
        box->setIcon(QMessageBox::Information);
    const QStringList titles = alert.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : alert.buttons;
    for (int i = 0; i < titles.size(); ++i) {
        // Roles only order the buttons; the answer comes from the index.
        QPushButton* button = box->addButton(titles.at(i), QMessageBox::ActionRole);
        button->setProperty("palisorResponse", AlertFirstButtonReturn + i);
        if (i == 0)
            box->setDefaultButton(button);
    }
    if (alert.showsSuppressionButton)
        box->setCheckBox(new QCheckBox(QObject::tr("Do not show this message again"), box));
    if (auto* accessory = qobject_cast<QWidget*>(alert.accessoryView.data())) {
        // QMessageBox has no slot for an extra view: it goes into a row of its
        // own under the texts (in their column), pushing the buttons down.
        auto* grid = qobject_cast<QGridLayout*>(box->layout());
        auto* buttons = box->findChild<QDialogButtonBox*>();
        const int buttonsIndex = grid && buttons ? grid->indexOf(buttons) : -1;
        if (buttonsIndex >= 0) {
            int textColumn = 1;
            if (auto* text = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
                int row = 0, rowSpan = 0, columnSpan = 0;
                const int index = grid->indexOf(text);
                if (index >= 0)
                    grid->getItemPosition(index, &row, &textColumn, &rowSpan, &columnSpan);
            }
            int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
            grid->getItemPosition(buttonsIndex, &row, &column, &rowSpan, &columnSpan);
            grid->removeWidget(buttons);
            grid->addWidget(accessory, row, textColumn, 1, std::max(1, grid->columnCount() - textColumn));
            grid->addWidget(buttons, row + 1, column, rowSpan, columnSpan);
            accessory->show();
            // The box deletes itself on close; the view stays the caller's.
            QPointer<QWidget> guarded = accessory;
            QObject::connect(box, &QDialog::finished, box, [guarded] {
                if (guarded) {
                    guarded->hide();
                    guarded->setParent(nullptr);
                }
            });
        }
    }
    return box;
}

AlertResult resultOf(QMessageBox* box)
{
    AlertResult result;
    if (QAbstractButton* clicked = box->clickedButton())
        result.response = clicked->property("palisorResponse").toInt();
    else
        // Closed without a button (Escape): the last button, the cancelling one.
        result.response = AlertFirstButtonReturn + std::max<qsizetype>(0, box->buttons().size() - 1);
    result.suppressionChecked = box->checkBox() && box->checkBox()->isChecked();
    return result;
}

} // namespace

void DialogAlertPresenter::beginSheet(const Alert& alert, QObject* window,
                                      std::function<void(AlertResult)> completion)
{
    QMessageBox* box = makeBox(alert, qobject_cast<QWidget*>(window));
    box->setWindowModality(window ? Qt::WindowModal : Qt::NonModal);
    QObject::connect(box, &QMessageBox::finished, box, [box, completion = std::move(completion)](int) {
        if (completion)
            completion(resultOf(box));
    });
    box->open();
}

AlertResult DialogAlertPresenter::runModal(const Alert& alert)
{
    QPointer<QMessageBox> box = makeBox(alert, nullptr);
    box->setAttribute(Qt::WA_DeleteOnClose, false);
    box->exec();
    AlertResult result = box ? resultOf(box) : AlertResult{};
    delete box.data();
    return result;
}
