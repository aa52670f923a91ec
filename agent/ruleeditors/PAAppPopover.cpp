#include "ruleeditors/PAAppPopover.h"

#include "ui_PAAppPopover.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QWidgetAction>

PAAppPopover::PAAppPopover(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::PAAppPopover)
{
    ui->setupUi(this);
    // Segment index = tab index.
    ui->appPopoverSegmentedControl->addTab(tr("Rules"));
    ui->appPopoverSegmentedControl->addTab(tr("Connections"));
    ui->appPopoverSegmentedControl->addTab(tr("Info"));
    for (int i = 0; i < 3; ++i)
        ui->appPopoverSegmentedControl->setTabData(i, i);

    QFont name = ui->popoverAppName->font();
    name.setBold(true);
    name.setPointSizeF(name.pointSizeF() * 1.2);
    ui->popoverAppName->setFont(name);
    for (QLabel* tag : {ui->popoverBundleTag, ui->popoverBinaryTag}) {
        QFont small = tag->font();
        small.setPointSizeF(small.pointSizeF() * 0.8);
        small.setBold(true);
        tag->setFont(small);
        tag->setStyleSheet(QStringLiteral("QLabel { border: 1px solid palette(mid); border-radius: 3px; "
                                          "padding: 0px 3px; color: palette(dark); }"));
        tag->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    for (QTableView* table : {ui->passedTableView, ui->blockedTableView}) {
        table->verticalHeader()->hide();
        table->horizontalHeader()->hide();
        table->verticalHeader()->setDefaultSectionSize(22);
        table->setIconSize(QSize(16, 16));
    }
    ui->appConnsTableView->verticalHeader()->hide();

    // Parented inside the popover, so that a click in the menu counts as one
    // in the popover and does not close it.
    m_menu = new QMenu(ui->popoverActionBtn);
    m_menu->setObjectName(QStringLiteral("popoverActionMenu"));
    popoverMakeYellowItem = m_menu->addAction(tr("Ask About This App"));
    popoverMakeGreenItem = m_menu->addAction(tr("Pass This App"));
    popoverMakeRedItem = m_menu->addAction(tr("Block This App"));
    popoverMakeGreenItem2 = m_menu->addAction(tr("Pass All Connections"));
    popoverMakeRedItem2 = m_menu->addAction(tr("Block All Connections"));
    popoverSeparatorItem = m_menu->addSeparator();
    popoverReverseView = new QWidget(m_menu);
    auto* reverseLayout = new QHBoxLayout(popoverReverseView);
    reverseLayout->setContentsMargins(12, 2, 12, 2);
    switchReverseBtn = new QCheckBox(tr("Show Host Names"), popoverReverseView);
    switchReverseBtn->setObjectName(QStringLiteral("switchReverseBtn"));
    reverseLayout->addWidget(switchReverseBtn);
    popoverReverseItem = new QWidgetAction(m_menu);
    popoverReverseItem->setDefaultWidget(popoverReverseView);
    m_menu->addAction(popoverReverseItem);
    popoverActionBtnGroupItem = m_menu->addAction(tr("Add Addresses to a Group of the Sibling Firewall"));
    popoverActionBtnBlackListItem = m_menu->addAction(tr("Black-List Addresses in the Sibling Firewall"));
    ui->popoverActionBtn->setMenu(m_menu);
}

PAAppPopover::~PAAppPopover() = default;
