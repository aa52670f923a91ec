#pragma once

#include "core/PAAppEntries.h"
#include "core/PAApplication.h"
#include "platform/ArrayController.h"
#include "ruleeditors/PARecord.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

class CodeSigning;
class HostNames;
class HostResolver;
class PAAddIPPopover;
class PAAppPopover;
class PAManagedApps;
class PAPopoverDelegate;
class PAWorkQueues;
class Popover;
class QWidget;

// The app rules popover and its add popover: one managed app (the one
// selected in the apps view), its rule sentence, its matches as rows with
// their host names, the gear menu, the tabs of its connections and its
// code-signature report, and the entries typed for it. Edits go to the
// managed apps' list and reach the daemon through it. The gear menu's rule
// items and the legend button belong to the main window, which connects
// them. Main thread only.
class PAAppRulesController : public QObject
{
    Q_OBJECT

public:
    // `window` holds the popovers; the look-ups run on `queues`.
    PAAppRulesController(PAManagedApps& apps, PAWorkQueues& queues, HostNames& hostNames,
                         HostResolver& resolver, CodeSigning& signing, QWidget* window,
                         QObject* parent = nullptr);
    ~PAAppRulesController() override;

    // The apps view's array controller: the popover shows its one selected app.
    ArrayController<PAApplication>* const appsLibraryController;

    QPointer<Popover> appPopover;
    PAAppPopover* appPopoverView() const { return m_appPopoverView; }
    PAPopoverDelegate* popoverDelegate() const { return m_popoverDelegate; }
    // The popover's rows: every row, pass or block, is in popoverPassedIPS;
    // popoverBlockedIPS stays empty.
    PARecord::List popoverPassedIPS;
    PARecord::List popoverBlockedIPS;
    ArrayController<PARecord>* popoverPassedIPSController = nullptr;
    ArrayController<PARecord>* popoverBlockedIPSController = nullptr;
    static constexpr QSize kNarrowPopoverSize{360, 465};
    static constexpr QSize kWidePopoverSize{700, 465};
    // Apps with more matches than this switch the host names off for good.
    static constexpr int kMostMatchesWithHostNames = 50;

    // Opens the popover under `sender` (a view; `rect` in its coordinates,
    // its whole area when empty) on the rules tab and draws it. Nothing while
    // a connection alert is open.
    void openAppPopover(QObject* sender, const QRect& rect = QRect());
    // Clears every field, then draws on the next turn of the main queue.
    void doDrawAppPopover();
    // Redraws for the selected app. A popover that is not shown is left
    // alone: it is drawn afresh when it opens.
    void drawAppPopover();
    QString makeAppRuleDescriptionWithApp(const PAApplication& app) const;
    // After a change of the app's matches: the sentence (of the state before),
    // then the state follows the matches (0/2 and 1/3), then the controls.
    void evaluateAppRule(PAApplication& app);
    void slarga();
    void streca();
    void clickAppPopoverSegmentedControl(QObject* sender = nullptr);
    // The tab view selected `index` (rules, connections, info).
    void appPopoverTabSelected(int index);
    void clickPassed(QObject* sender = nullptr);
    void clickBlocked(QObject* sender = nullptr);
    // Removes the selected rows' matches from the selected app.
    void removeAppRecord(QObject* sender = nullptr);
    // Host names for the rows' addresses, or the addresses again.
    void switchReverseIPOption(QObject* sender = nullptr);
    // The info tab's code-signature report of the selected app.
    void showSignatureInfo(QObject* sender = nullptr);
    // Ends what the popover started: rows still to arrive, host-name
    // look-ups and a signature report still running are dropped.
    void cancelPopoverWork();
    // Look-ups waiting or running (tests).
    int pendingHostNameLookups() const { return m_pendingLookups; }

    // The add popover and its content (the title, newIP, rulePopup,
    // addEveryoneBtn, addRuleErrorString, cautionPic and progrind).
    Popover* addIPPopover() const { return m_addIPPopover; }
    PAAddIPPopover* addIPView() const { return m_addIPView; }
    // The pop-up index taken by the last parse or catch-all: 0 passes ("@"),
    // any other blocks ("#").
    qint64 addressType = 0;

    // The add steps of the selected app's entries. Each but
    // addMultipleAddresses() and addEveryone() reads the entry from newIP;
    // an entry that goes through ends with the app's rule state in line with
    // its matches, the popover redrawn and the apps published.
    void displayCautionWithErrore(const QString& errore);
    void addNewWildcard(PAApplication& app);
    void addNewSubnet(PAApplication& app);
    void addNewPort(PAApplication& app);
    void addPortRange(PAApplication& app);
    void addEveryone(PAApplication& app);
    void addMultipleAddresses(const QStringList& addresses, PAApplication& app);
    void addNewAddress(PAApplication& app);
    // The catch-all button and the pass/block pop-up by the app's rule state.
    void evaluateAppRulesPopoverButtonsStatesWithApp(PAApplication& app);

    // Opens the add popover next to `sender` (a widget) for the selected app.
    void openAddRecordPopover(QObject* sender);
    // Confirms the typed entry: it is checked, and appended to the selected
    // app or refused with a message; a host name is looked up first, on the
    // look-up pool. Nothing happens while a connection alert is open.
    void addNewItem(QObject* sender = nullptr);
    // Sets the selected app's catch-all rule by the pop-up's choice.
    void clickAddEveryone(QObject* sender = nullptr);

signals:
    // The popover shows `app` with its rule state: the add controls follow it.
    void popoverAppRuleShown(PAApplication* app);
    // The popover's add entry and its message are cleared.
    void popoverEntryCleared();
    // The connections tab wants the log's per-app list limited to the app at
    // `appPath`.
    void appLogsWanted(const QString& appPath);
    // The legend button of the rules tab was clicked.
    void legendaWanted(QObject* sender);

private:
    void m_buildAppPopover(QWidget* window);
    void m_buildRowTables();
    void m_appSelectionChanged();
    void m_fillAppPopover();
    void m_clearAppPopover();
    void m_showGearItems(const PAApplication& app);
    void m_startHostNameLookups();
    void m_cancelLookups();
    void m_showSignatureText(const QString& text);

    void m_buildAddIPPopover();
    // Runs one add step on the typed entry: refused (with its message, if
    // any), or the new matches written and committed.
    using AddStep = PAAppEntries::Outcome (*)(QStringList&, const QString&, const QString&);
    void m_addTypedEntry(PAApplication& app, AddStep step, bool emptyEntry);
    // The tail of an entry that went through; `shown` when the app is the one
    // the popover shows, so its controls and field follow it.
    void m_commitEntry(PAApplication& app, bool shown, bool emptyEntry);
    void m_appendAddresses(PAApplication& app, const QStringList& addresses, const QString& prefix,
                           bool shown);
    void m_refuseEntry(const QString& message);
    void m_resolveHostEntry(const std::shared_ptr<PAApplication>& app, const QString& name,
                            const QString& prefix);
    void m_addResolvedAddresses(const std::weak_ptr<PAApplication>& target, const QStringList& addresses,
                                const QString& prefix);
    void m_rejectHostEntry(const std::weak_ptr<PAApplication>& target);
    void m_startEntrySpinner();
    // Once an entry went in, only a click in the main window closes the
    // rules popover.
    void m_keepAppPopoverAfterEntry();
    void m_stopEntrySpinner();

    PAManagedApps& m_apps;
    PAWorkQueues& m_queues;
    HostNames& m_hostNames;
    HostResolver& m_resolver;
    CodeSigning& m_signing;

    PAAppPopover* m_appPopoverView = nullptr;
    PAPopoverDelegate* m_popoverDelegate = nullptr;
    Popover* m_addIPPopover = nullptr;
    PAAddIPPopover* m_addIPView = nullptr;
    // Messages of a parse show once the action has returned.
    bool m_entryMessagesLater = false;
    int m_pendingHostLookups = 0;
    // Each draw, cancellation and report takes a new number; work that comes
    // back with an older one is dropped. The look-ups' number is read on their
    // threads too.
    quint64 m_fillGeneration = 0;
    quint64 m_signGeneration = 0;
    std::shared_ptr<std::atomic<quint64>> m_lookupGeneration;
    int m_pendingLookups = 0;
    // The app the popover shows.
    std::weak_ptr<PAApplication> m_popoverApp;
};
