// The rules popover's add popover: typed entries and the catch-all rule of
// the app selected in the apps view.

#include "core/PAAppEntries.h"
#include "core/PAAppRuleEvaluation.h"
#include "core/PAManagedApps.h"
#include "core/PAWorkQueues.h"
#include "core/SharedState.h"
#include "platform/HostResolver.h"
#include "platform/MainQueue.h"
#include "platform/widgets/PopUpButton.h"
#include "platform/widgets/Popover.h"
#include "ruleeditors/PAAddIPPopover.h"
#include "ruleeditors/PAAppPopover.h"
#include "ruleeditors/PAAppRulesController.h"
#include "ui_PAAppPopover.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include <algorithm>

void PAAppRulesController::m_buildAddIPPopover()
{
    // Hung on the rules popover's add button: a click in it is a click in
    // the rules popover, which stays open while an entry is typed.
    QAbstractButton* addRecordBtn = m_appPopoverView->form()->addRecordBtn;
    m_addIPPopover = new Popover(addRecordBtn);
    m_addIPPopover->setObjectName(QStringLiteral("addIPPopover"));
    m_addIPView = new PAAddIPPopover;
    m_addIPPopover->setContentWidget(m_addIPView);
    connect(m_addIPView->addNewItemBtn(), &QAbstractButton::clicked, this,
            [this] { addNewItem(m_addIPView->addNewItemBtn()); });
    connect(m_addIPView->newIP(), &QLineEdit::returnPressed, this,
            [this] { addNewItem(m_addIPView->newIP()); });
    connect(m_addIPView->addEveryoneBtn(), &QAbstractButton::clicked, this,
            [this] { clickAddEveryone(m_addIPView->addEveryoneBtn()); });
    connect(addRecordBtn, &QAbstractButton::clicked, this,
            [this, addRecordBtn] { openAddRecordPopover(addRecordBtn); });
    connect(this, &PAAppRulesController::popoverAppRuleShown, this, [this](PAApplication* app) {
        if (app)
            evaluateAppRulesPopoverButtonsStatesWithApp(*app);
    });
    connect(this, &PAAppRulesController::popoverEntryCleared, this, [this] {
        m_addIPView->newIP()->clear();
        m_addIPView->addRuleErrorString()->clear();
        m_addIPView->cautionPic()->hide();
    });
}

void PAAppRulesController::openAddRecordPopover(QObject* sender)
{
    m_addIPView->addRuleErrorString()->clear();
    // Until an entry goes in, a click anywhere else gives the rules up.
    if (appPopover)
        appPopover->setBehavior(Popover::Behavior::Transient);
    const std::shared_ptr<PAApplication> app = m_apps.singleSelectedApp();
    if (!app)
        return;
    evaluateAppRulesPopoverButtonsStatesWithApp(*app);
    m_addIPView->cautionPic()->hide();
    m_addIPView->addIpTitle()->setText(
        QStringLiteral("Add IP address, hostname, subnet, port or port range"));
    if (auto* view = qobject_cast<QWidget*>(sender))
        m_addIPPopover->showRelativeTo(QRect(), view, Popover::Edge::MinX);
}

void PAAppRulesController::addNewItem(QObject*)
{
    if (isNotifyWindowOpen)
        return;
    m_addIPView->addRuleErrorString()->clear();
    m_addIPView->cautionPic()->hide();
    const QString text = m_addIPView->newIP()->text();
    if (text.isEmpty())
        return;
    addressType = m_addIPView->rulePopup()->indexOfSelectedItem();
    const std::shared_ptr<PAApplication> app = m_apps.singleSelectedApp();
    if (!app)
        return;
    const PAAppEntries::Decision decision = PAAppEntries::parseEntry(text, app->appMatches());
    m_entryMessagesLater = true;
    switch (decision.kind) {
    case PAAppEntries::Kind::Nothing:
        break;
    case PAAppEntries::Kind::Duplicate:
        m_entryMessagesLater = false;
        displayCautionWithErrore(decision.message);
        return;
    case PAAppEntries::Kind::Refused:
        m_refuseEntry(decision.message);
        break;
    case PAAppEntries::Kind::Subnet:
        addNewSubnet(*app);
        break;
    case PAAppEntries::Kind::Address:
        addNewAddress(*app);
        break;
    case PAAppEntries::Kind::Port:
        addNewPort(*app);
        break;
    case PAAppEntries::Kind::PortRange:
        addPortRange(*app);
        break;
    case PAAppEntries::Kind::HostName:
        // The choice is taken now: a second entry made before the look-up
        // ends must not turn this one's pass into block or back.
        m_resolveHostEntry(app, text, PAAppEntries::prefixFor(addressType));
        break;
    }
    m_entryMessagesLater = false;
    m_keepAppPopoverAfterEntry();
}

void PAAppRulesController::m_keepAppPopoverAfterEntry()
{
    if (appPopover)
        appPopover->setBehavior(Popover::Behavior::Semitransient);
}

void PAAppRulesController::displayCautionWithErrore(const QString& errore)
{
    m_addIPView->addRuleErrorString()->setText(errore);
    m_addIPView->cautionPic()->show();
}

void PAAppRulesController::clickAddEveryone(QObject*)
{
    const std::shared_ptr<PAApplication> app = m_apps.singleSelectedApp();
    if (!app)
        return;
    addEveryone(*app);
    m_keepAppPopoverAfterEntry();
}

void PAAppRulesController::addNewWildcard(PAApplication& app)
{
    m_addTypedEntry(app, &PAAppEntries::addWildcard, false);
}

void PAAppRulesController::addNewSubnet(PAApplication& app)
{
    m_addTypedEntry(app, &PAAppEntries::addSubnet, true);
}

void PAAppRulesController::addNewPort(PAApplication& app)
{
    m_addTypedEntry(app, &PAAppEntries::addPort, true);
}

void PAAppRulesController::addPortRange(PAApplication& app)
{
    m_addTypedEntry(app, &PAAppEntries::addPortRange, true);
}

void PAAppRulesController::addEveryone(PAApplication& app)
{
    m_addIPPopover->close();
    addressType = m_addIPView->rulePopup()->indexOfSelectedItem();
    const PAAppEntries::EveryoneChange change = PAAppEntries::everyoneChange(
        app.appIsBlockedOrAllowed(), static_cast<int>(addressType), app.appMatches());
    if (change.emptyMatches)
        app.setAppMatches({});
    if (change.rule)
        app.setRule(*change.rule);
    if (change.endQuietPeriod)
        app.expireQuiet();
    drawAppPopover();
    evaluateAppRulesPopoverButtonsStatesWithApp(app);
    m_apps.publishAppsLibrary();
}

void PAAppRulesController::addMultipleAddresses(const QStringList& addresses, PAApplication& app)
{
    m_appendAddresses(app, addresses, PAAppEntries::prefixFor(addressType), true);
}

void PAAppRulesController::addNewAddress(PAApplication& app)
{
    m_addTypedEntry(app, &PAAppEntries::addAddress, true);
}

void PAAppRulesController::evaluateAppRulesPopoverButtonsStatesWithApp(PAApplication& app)
{
    const std::optional<PAAddControlsState> controls = addControlsForRule(app.appIsBlockedOrAllowed());
    if (!controls)
        return;
    m_addIPView->addEveryoneBtn()->setVisible(controls->everyoneVisible);
    m_addIPView->rulePopup()->setEnabled(controls->popupEnabled);
    if (controls->popupIndex)
        m_addIPView->rulePopup()->selectItemAtIndex(*controls->popupIndex);
}

void PAAppRulesController::m_addTypedEntry(PAApplication& app, AddStep step, bool emptyEntry)
{
    QStringList matches = app.appMatches();
    const PAAppEntries::Outcome outcome =
        step(matches, PAAppEntries::prefixFor(addressType), m_addIPView->newIP()->text());
    if (outcome.step == PAAppEntries::Step::Stop) {
        if (!outcome.message.isEmpty())
            m_refuseEntry(outcome.message);
        return;
    }
    m_addIPPopover->close();
    if (matches != app.appMatches())
        app.setAppMatches(matches);
    m_commitEntry(app, true, emptyEntry);
}

void PAAppRulesController::m_commitEntry(PAApplication& app, bool shown, bool emptyEntry)
{
    // The sentence and the add controls are the shown app's: a late look-up
    // for another app only brings that app's rule in line.
    if (shown)
        evaluateAppRule(app);
    else
        ::evaluateAppRule(app);
    if (shown) {
        evaluateAppRulesPopoverButtonsStatesWithApp(app);
        if (emptyEntry)
            m_addIPView->newIP()->clear();
    }
    drawAppPopover();
    m_apps.publishAppsLibrary();
}

void PAAppRulesController::m_appendAddresses(PAApplication& app, const QStringList& addresses,
                                             const QString& prefix, bool shown)
{
    if (shown)
        m_addIPPopover->close();
    QStringList matches = app.appMatches();
    if (PAAppEntries::addAddresses(matches, prefix, addresses) > 0)
        app.setAppMatches(matches);
    m_commitEntry(app, shown, true);
}

void PAAppRulesController::m_refuseEntry(const QString& message)
{
    if (!m_entryMessagesLater) {
        displayCautionWithErrore(message);
        return;
    }
    QPointer<PAAppRulesController> self(this);
    MainQueue::async([self, message] {
        if (self)
            self->displayCautionWithErrore(message);
    });
}

void PAAppRulesController::m_resolveHostEntry(const std::shared_ptr<PAApplication>& app, const QString& name,
                                              const QString& prefix)
{
    m_startEntrySpinner();
    QPointer<PAAppRulesController> self(this);
    // The worker holds no app: the record is a QObject of the main thread and
    // must not end its life on a worker.
    const std::weak_ptr<PAApplication> target = app;
    HostResolver* resolver = &m_resolver;
    m_queues.lookUps().async([self, resolver, target, name, prefix] {
        const QStringList addresses = resolver->addressesOfHost(name);
        MainQueue::async([self, target, addresses, prefix] {
            if (!self)
                return;
            self->m_stopEntrySpinner();
            if (addresses.isEmpty())
                self->m_rejectHostEntry(target);
            else
                self->m_addResolvedAddresses(target, addresses, prefix);
        });
    });
}

void PAAppRulesController::m_addResolvedAddresses(const std::weak_ptr<PAApplication>& target,
                                                  const QStringList& addresses, const QString& prefix)
{
    const std::shared_ptr<PAApplication> app = target.lock();
    // The app left the list (removed, or replaced by a load) while its name
    // was looked up: there is nothing left to add to.
    if (!m_apps.contains(app))
        return;
    // Another app may be selected by now; the entry still goes to the app it
    // was typed for, but the popover belongs to the other one and stays as
    // it is.
    m_appendAddresses(*app, addresses, prefix, app == m_apps.singleSelectedApp());
}

void PAAppRulesController::m_rejectHostEntry(const std::weak_ptr<PAApplication>& target)
{
    const std::shared_ptr<PAApplication> app = target.lock();
    if (app && app == m_apps.singleSelectedApp())
        displayCautionWithErrore(PAAppEntries::invalidEntry());
}

void PAAppRulesController::m_startEntrySpinner()
{
    ++m_pendingHostLookups;
    m_addIPView->progrind()->show();
}

void PAAppRulesController::m_stopEntrySpinner()
{
    m_pendingHostLookups = std::max(0, m_pendingHostLookups - 1);
    if (m_pendingHostLookups == 0)
        m_addIPView->progrind()->hide();
}
