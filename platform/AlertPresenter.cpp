#include "AlertPresenter.h"

#include "Resources.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStyle>

#include <atomic>

namespace {

std::atomic<AlertPresenter*> g_sharedPresenter{nullptr};

QMessageBox* makeBox(const Alert& alert, QWidget* parent)
{
    auto* box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setText(alert.messageText);
    box->setInformativeText(alert.informativeText);
    if (alert.icon == QLatin1String("NSCaution"))
        box->setIcon(QMessageBox::Warning);
    else if (alert.icon == QLatin1String("NSCritical"))
        box->setIcon(QMessageBox::Critical);
    else if (alert.icon == QLatin1String("NSInformational"))
        box->setIcon(QMessageBox::Information);
    else if (!alert.icon.isEmpty()) {
        const QIcon icon = Resources::image(alert.icon);
        if (!icon.isNull())
            box->setIconPixmap(icon.pixmap(64, 64));
    }
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

AlertPresenter& AlertPresenter::shared()
{
    static DialogAlertPresenter dialogPresenter;
    AlertPresenter* presenter = g_sharedPresenter.load();
    return presenter ? *presenter : dialogPresenter;
}

void AlertPresenter::setShared(AlertPresenter* presenter)
{
    g_sharedPresenter.store(presenter);
}

void DialogAlertPresenter::beginSheet(const Alert& alert, QWidget* window,
                                      std::function<void(AlertResult)> completion)
{
    QMessageBox* box = makeBox(alert, window);
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
