#include "ruleeditors/PAAddIPPopover.h"

#include "platform/Resources.h"
#include "platform/widgets/PopUpButton.h"
#include "ui_PAAddIPPopover.h"

PAAddIPPopover::PAAddIPPopover(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::PAAddIPPopover)
{
    ui->setupUi(this);
    m_rulePopupPass = ui->rulePopup->addItemWithTitle(tr("Pass"));
    m_rulePopupBlock = ui->rulePopup->addItemWithTitle(tr("Block"));
    ui->rulePopup->selectItemAtIndex(0);
    const int side = ui->cautionPic->maximumWidth();
    ui->cautionPic->setPixmap(Resources::systemImage(QStringLiteral("NSCaution")).pixmap(side, side));
}

PAAddIPPopover::~PAAddIPPopover() = default;

QLabel* PAAddIPPopover::addIpTitle() const
{
    return ui->addIpTitle;
}

QLineEdit* PAAddIPPopover::newIP() const
{
    return ui->newIP;
}

PopUpButton* PAAddIPPopover::rulePopup() const
{
    return ui->rulePopup;
}

QAbstractButton* PAAddIPPopover::addEveryoneBtn() const
{
    return ui->addEveryoneBtn;
}

QAbstractButton* PAAddIPPopover::addNewItemBtn() const
{
    return ui->addNewItemBtn;
}

QLabel* PAAddIPPopover::addRuleErrorString() const
{
    return ui->addRuleErrorString;
}

QLabel* PAAddIPPopover::cautionPic() const
{
    return ui->cautionPic;
}

QProgressBar* PAAddIPPopover::progrind() const
{
    return ui->progrind;
}
