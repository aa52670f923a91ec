#include "ruleeditors/PAPopoverDelegate.h"

#include "platform/widgets/Popover.h"
#include "ruleeditors/PAAppRulesController.h"

PAPopoverDelegate::PAPopoverDelegate(QObject* parent)
    : QObject(parent)
{
}

void PAPopoverDelegate::attach()
{
    if (!appPopover)
        return;
    connect(appPopover, &Popover::willShow, this, &PAPopoverDelegate::popoverWillShow);
    connect(appPopover, &Popover::didClose, this, &PAPopoverDelegate::popoverDidClose);
}

void PAPopoverDelegate::popoverDidClose()
{
    if (palisorcontroller)
        palisorcontroller->cancelPopoverWork();
    emit appConnectionsFilterCleared();
}

void PAPopoverDelegate::popoverWillShow()
{
    if (appPopover)
        appPopover->setBehavior(Popover::Behavior::Semitransient);
}
