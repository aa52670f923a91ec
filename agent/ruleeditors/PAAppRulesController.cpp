#include "ruleeditors/PAAppRulesController.h"

#include "core/PAAppRuleEvaluation.h"
#include "core/PAAppRuleText.h"
#include "core/PAManagedApps.h"
#include "core/PAMatchStrings.h"
#include "core/PAWorkQueues.h"
#include "core/SharedState.h"
#include "core/TLValidateIP.h"
#include "platform/ArrayControllerModel.h"
#include "platform/CodeSigning.h"
#include "platform/HostNames.h"
#include "platform/MainQueue.h"
#include "platform/widgets/Popover.h"
#include "ruleeditors/PAAppPopover.h"
#include "ruleeditors/PAPopoverDelegate.h"
#include "ui_PAAppPopover.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QTabBar>
#include <QTableView>
#include <QTextCursor>
#include <QTextEdit>
#include <QWidgetAction>

#include <cstdio>

PAAppRulesController::PAAppRulesController(PAManagedApps& apps, PAWorkQueues& queues, HostNames& hostNames,
                                           HostResolver& resolver, CodeSigning& signing, QWidget* window,
                                           QObject* parent)
    : QObject(parent)
    , appsLibraryController(apps.appsLibraryController)
    , m_apps(apps)
    , m_queues(queues)
    , m_hostNames(hostNames)
    , m_resolver(resolver)
    , m_signing(signing)
{
    m_buildAppPopover(window);
    m_buildAddIPPopover();
}

PAAppRulesController::~PAAppRulesController()
{
    // Look-ups still queued skip their work; the pools wait for running ones.
    cancelPopoverWork();
    // The popover goes with the window, after this object: its closing must
    // not call back into a controller that is half gone.
    if (m_popoverDelegate)
        m_popoverDelegate->palisorcontroller = nullptr;
}

void PAAppRulesController::m_buildAppPopover(QWidget* window)
{
    appPopover = new Popover(window);
    appPopover->setObjectName(QStringLiteral("appPopover"));
    m_appPopoverView = new PAAppPopover;
    appPopover->setContentWidget(m_appPopoverView);
    appPopover->setContentSize(kNarrowPopoverSize);
    Ui::PAAppPopover* form = m_appPopoverView->form();
    connect(form->info_apprules, &QAbstractButton::clicked, this,
            [this] { emit legendaWanted(m_appPopoverView->form()->info_apprules); });

    m_popoverDelegate = new PAPopoverDelegate(this);
    m_popoverDelegate->appPopover = appPopover;
    m_popoverDelegate->palisorcontroller = this;
    m_popoverDelegate->attach();

    popoverPassedIPSController = new ArrayController<PARecord>(this);
    popoverBlockedIPSController = new ArrayController<PARecord>(this);
    popoverPassedIPSController->setSelectsInsertedObjects(false);
    popoverBlockedIPSController->setSelectsInsertedObjects(false);
    popoverPassedIPSController->setContent(&popoverPassedIPS);
    popoverBlockedIPSController->setContent(&popoverBlockedIPS);
    const auto rowColumns = [] {
        return QList<ArrayControllerColumn>{
            makeColumn<PARecord>(QStringLiteral("kind"),
                                 [](const PARecord& row, int role) -> QVariant {
                                     if (role == Qt::DecorationRole)
                                         return row.recordImage;
                                     if (role == Qt::ToolTipRole)
                                         return row.recordType;
                                     return {};
                                 }),
            makeColumn<PARecord>(QStringLiteral("rule"),
                                 [](const PARecord& row, int role) -> QVariant {
                                     return role == Qt::DecorationRole ? QVariant(row.recordRuleImage)
                                                                       : QVariant();
                                 }),
            makeColumn<PARecord>(QStringLiteral("address"),
                                 [](const PARecord& row, int role) -> QVariant {
                                     switch (role) {
                                     case Qt::DisplayRole:
                                         return row.recordLabel;
                                     case Qt::ToolTipRole:
                                         return row.recordAddress;
                                     case Qt::ForegroundRole:
                                         return row.recordIsEnabled ? row.labelColor : QColor(Qt::gray);
                                     default:
                                         return {};
                                     }
                                 }),
        };
    };
    const std::pair<QTableView*, ArrayController<PARecord>*> tables[] = {
        {form->passedTableView, popoverPassedIPSController},
        {form->blockedTableView, popoverBlockedIPSController},
    };
    for (const auto& [table, rows] : tables) {
        auto* model = new ArrayControllerModel(rows, rowColumns(), table);
        table->setModel(model);
        model->bindSelectionModel(table->selectionModel());
        table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Fixed);
        table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Fixed);
        table->horizontalHeader()->setStretchLastSection(true);
        table->setColumnWidth(0, 26);
        table->setColumnWidth(1, 26);
    }
    connect(form->passedTableView, &QAbstractItemView::pressed, this, [this] { clickPassed(); });
    connect(form->blockedTableView, &QAbstractItemView::pressed, this, [this] { clickBlocked(); });
    connect(form->popoverRemovePassedBtn, &QAbstractButton::clicked, this,
            [this] { removeAppRecord(m_appPopoverView->form()->popoverRemovePassedBtn); });
    connect(form->appPopoverSegmentedControl, &QTabBar::tabBarClicked, this, [this](int index) {
        QTabBar* segments = m_appPopoverView->form()->appPopoverSegmentedControl;
        segments->setCurrentIndex(index);
        clickAppPopoverSegmentedControl(segments);
    });
    connect(form->appPopoverTabView, &QStackedWidget::currentChanged, this,
            &PAAppRulesController::appPopoverTabSelected);
    connect(m_appPopoverView->switchReverseBtn, &QAbstractButton::clicked, this,
            [this] { switchReverseIPOption(m_appPopoverView->switchReverseBtn); });
    m_lookupGeneration = std::make_shared<std::atomic<quint64>>(0);
    // The popover shows the one selected app: another selection closes it.
    connect(appsLibraryController, &ArrayControllerBase::selectionChanged, this,
            &PAAppRulesController::m_appSelectionChanged);
}

void PAAppRulesController::m_appSelectionChanged()
{
    // The same app merely moved (a sort, a rearrangement): the popover stays.
    if (!appPopover || !appPopover->isVisible() || m_apps.singleSelectedApp() == m_popoverApp.lock())
        return;
    cancelPopoverWork();
    appPopover->setBehavior(Popover::Behavior::Transient);
    appPopover->performClose();
}

void PAAppRulesController::openAppPopover(QObject* sender, const QRect& rect)
{
    if (isNotifyWindowOpen || !appPopover)
        return;
    Ui::PAAppPopover* form = m_appPopoverView->form();
    form->appPopoverTabView->setCurrentIndex(0);
    form->appPopoverSegmentedControl->setCurrentIndex(0);
    // A sender that is no view cannot place the popover: it does not open.
    auto* view = qobject_cast<QWidget*>(sender);
    if (!view)
        return;
    appPopover->showRelativeTo(rect, view, Popover::Edge::MinY);
    doDrawAppPopover();
}

void PAAppRulesController::m_clearAppPopover()
{
    popoverPassedIPSController->setContent(nullptr);
    popoverBlockedIPSController->setContent(nullptr);
    popoverPassedIPS.clear();
    popoverBlockedIPS.clear();
    popoverPassedIPSController->setContent(&popoverPassedIPS);
    popoverBlockedIPSController->setContent(&popoverBlockedIPS);
    Ui::PAAppPopover* form = m_appPopoverView->form();
    form->popoverImage->setPixmap(QPixmap());
    form->popoverImage2->setPixmap(QPixmap());
    form->popoverAppName->clear();
    form->popoverAppName2->clear();
    form->popoverAppPath->clear();
    form->appPopoverSignature->clear();
}

void PAAppRulesController::doDrawAppPopover()
{
    if (!appPopover)
        return;
    m_clearAppPopover();
    emit popoverEntryCleared();
    QPointer<PAAppRulesController> self(this);
    MainQueue::async([self] {
        if (self)
            self->drawAppPopover();
    });
}

void PAAppRulesController::drawAppPopover()
{
    if (!appPopover || !appPopover->isVisible())
        return;
    Ui::PAAppPopover* form = m_appPopoverView->form();
    form->spinner->show();
    m_fillAppPopover();
}

void PAAppRulesController::m_fillAppPopover()
{
    Ui::PAAppPopover* form = m_appPopoverView->form();
    // A new draw: rows and host names of the one before are dropped.
    ++m_fillGeneration;
    m_cancelLookups();
    // Read on the main thread, where every edit of the apps is made: the
    // draw never waits for synchronizedQueue, which an open alert holds.
    const std::shared_ptr<PAApplication> app = m_apps.singleSelectedApp();
    if (!app) {
        form->spinner->hide();
        return;
    }
    m_clearAppPopover();
    m_popoverApp = app;
    form->ruleDescription->setText(makeAppRuleDescriptionWithApp(*app));
    emit popoverAppRuleShown(app.get());
    const QPixmap icon = app->appImage().pixmap(64, 64);
    form->popoverImage->setPixmap(icon);
    form->popoverAppName->setText(app->appLocalizedName());
    if (debugMode) {
        std::printf("%s\n", qUtf8Printable(app->appMatches().join(QLatin1Char(','))));
        std::fflush(stdout);
    }
    const QStringList matches = app->appMatches();
    form->popoverImage->setToolTip(QStringLiteral("This app contains %1 records").arg(matches.size()));
    if (matches.size() > kMostMatchesWithHostNames)
        reverseIPAddressInAppsPopover = false;
    form->popoverBundleTag->setVisible(app->appIsBundle());
    form->popoverBinaryTag->setVisible(!app->appIsBundle());
    form->popoverImage2->setPixmap(icon);
    form->popoverAppName2->setText(form->popoverAppName->text());
    form->popoverAppPath->setText(app->appPath());
    form->appPopoverSignature->setText(app->appSignatureInfo());
    m_appPopoverView->switchReverseBtn->setChecked(reverseIPAddressInAppsPopover);
    m_showGearItems(*app);

    // The rows are built off the main thread from copies taken here; the
    // worker touches neither the app nor any QObject.
    const qint64 state = app->appIsBlockedOrAllowed();
    const bool alertsEnabled = enableNotifications;
    const quint64 generation = m_fillGeneration;
    QPointer<PAAppRulesController> self(this);
    m_queues.work().async([self, matches, state, alertsEnabled, generation] {
        PARecord::List rows = PARecord::buildRecordTables(matches, state, alertsEnabled);
        // One hand-over for all rows, in order: one rearrangement of the
        // table rather than one per row.
        MainQueue::async([self, rows = std::move(rows), generation] {
            if (!self || self->m_fillGeneration != generation || !self->appPopover ||
                !self->appPopover->isVisible())
                return;
            for (const auto& row : rows)
                row->prepareForDisplay();
            self->popoverPassedIPSController->addObjects(rows);
            self->m_appPopoverView->form()->spinner->hide();
            if (reverseIPAddressInAppsPopover)
                self->m_startHostNameLookups();
        });
    });
}

void PAAppRulesController::m_showGearItems(const PAApplication& app)
{
    PAAppPopover* view = m_appPopoverView;
    for (QAction* item : {view->popoverMakeYellowItem, view->popoverMakeRedItem, view->popoverMakeGreenItem,
                          view->popoverMakeRedItem2, view->popoverMakeGreenItem2, view->popoverSeparatorItem})
        item->setVisible(false);
    view->form()->popoverRemovePassedBtn->show();
    const auto showSiblingItems = [view](bool visible) {
        view->popoverActionBtnGroupItem->setVisible(visible);
        view->popoverActionBtnBlackListItem->setVisible(visible);
    };
    switch (app.appIsBlockedOrAllowed()) {
    case 0:
    case 1:
        view->popoverMakeYellowItem->setVisible(enableNotifications);
        (app.appIsBlockedOrAllowed() == 0 ? view->popoverMakeRedItem2 : view->popoverMakeGreenItem2)
            ->setVisible(true);
        view->popoverReverseItem->setVisible(false);
        showSiblingItems(false);
        break;
    case 2:
    case 3:
        view->popoverMakeYellowItem->setVisible(enableNotifications);
        view->popoverSeparatorItem->setVisible(true);
        view->popoverReverseItem->setVisible(true);
        (app.appIsBlockedOrAllowed() == 2 ? view->popoverMakeRedItem2 : view->popoverMakeGreenItem2)
            ->setVisible(true);
        break;
    case 4:
        view->popoverReverseItem->setVisible(true);
        view->popoverMakeRedItem->setVisible(true);
        view->popoverMakeGreenItem->setVisible(true);
        view->popoverSeparatorItem->setVisible(true);
        if (!app.appMatches().isEmpty())
            showSiblingItems(true);
        break;
    default:
        break;
    }
}

QString PAAppRulesController::makeAppRuleDescriptionWithApp(const PAApplication& app) const
{
    return PAAppRuleText::ruleDescription(app.appLocalizedName(), app.appIsBlockedOrAllowed(),
                                          app.appMatches().size(), !recordsList.empty());
}

void PAAppRulesController::evaluateAppRule(PAApplication& app)
{
    if (m_appPopoverView)
        m_appPopoverView->form()->ruleDescription->setText(makeAppRuleDescriptionWithApp(app));
    ::evaluateAppRule(app);
    emit popoverAppRuleShown(&app);
}

void PAAppRulesController::slarga()
{
    if (appPopover)
        appPopover->setContentSize(kWidePopoverSize);
}

void PAAppRulesController::streca()
{
    if (appPopover)
        appPopover->setContentSize(kNarrowPopoverSize);
}

void PAAppRulesController::clickAppPopoverSegmentedControl(QObject* sender)
{
    auto* segments = qobject_cast<QTabBar*>(sender);
    if (!segments || !m_appPopoverView)
        return;
    m_appPopoverView->form()->appPopoverTabView->setCurrentIndex(segments->currentIndex());
}

void PAAppRulesController::appPopoverTabSelected(int index)
{
    Ui::PAAppPopover* form = m_appPopoverView->form();
    QWidget* item = form->appPopoverTabView->widget(index);
    if (item == form->popoverItemInfo) {
        streca();
        showSignatureInfo(form->popoverItemInfo);
    } else if (item == form->popoverItemLogs) {
        slarga();
        if (const std::shared_ptr<PAApplication> app = m_apps.singleSelectedApp())
            emit appLogsWanted(app->appPath());
    } else {
        streca();
    }
}

void PAAppRulesController::clickPassed(QObject*)
{
    popoverBlockedIPSController->clearSelection();
}

void PAAppRulesController::clickBlocked(QObject*)
{
    popoverPassedIPSController->clearSelection();
}

void PAAppRulesController::removeAppRecord(QObject*)
{
    if (isNotifyWindowOpen)
        return;
    emit popoverEntryCleared();
    const std::shared_ptr<PAApplication> app = m_apps.singleSelectedApp();
    if (!app)
        return;
    const PARecord::List selected = popoverPassedIPSController->selectedObjects();
    // Rows of an earlier draw or of another app stand for nothing here.
    const bool current = m_popoverApp.lock() == app;
    if (app->appIsBlockedOrAllowed() == 4) {
        if (selected.empty() || !current)
            return;
        // Only the selected rows' own matches go: a match that gives no row
        // stays, and so does the order of the others.
        QStringList texts;
        for (const auto& row : selected)
            if (!row->isEveryone())
                texts << row->recordMatch;
        popoverPassedIPSController->removeObjects(selected);
        QStringList matches = app->appMatches();
        if (PAMatchStrings::removeMatches(matches, texts))
            app->setAppMatches(matches);
        drawAppPopover();
        evaluateAppRule(*app);
    } else {
        bool toAsk = false;
        if (current) {
            for (const auto& row : selected) {
                if (row->isEveryone()) {
                    toAsk = toAsk || enableNotifications;
                    continue;
                }
                PAMatchStrings::removeAddressFromApp(*app, row->recordMatch.mid(1), row->recordMatch.left(1));
                popoverPassedIPSController->removeObject(row);
            }
        }
        if (toAsk)
            applyAskState(*app);
        evaluateAppRule(*app);
        drawAppPopover();
    }
    m_apps.sendConfigurationToDaemon();
}

void PAAppRulesController::switchReverseIPOption(QObject*)
{
    m_cancelLookups();
    if (!m_appPopoverView)
        return;
    if (m_appPopoverView->switchReverseBtn->isChecked()) {
        m_startHostNameLookups();
        reverseIPAddressInAppsPopover = true;
    } else {
        for (const auto& row : popoverPassedIPS)
            row->displayIP();
        for (const auto& row : popoverBlockedIPS)
            row->displayIP();
        popoverPassedIPSController->rearrangeObjects();
        popoverBlockedIPSController->rearrangeObjects();
        reverseIPAddressInAppsPopover = false;
    }
}

void PAAppRulesController::m_startHostNameLookups()
{
    // A fresh run: look-ups of an earlier one have been cancelled, and each
    // row gets a look-up of its own again.
    const quint64 generation = ++*m_lookupGeneration;
    const std::shared_ptr<std::atomic<quint64>> current = m_lookupGeneration;
    QPointer<PAAppRulesController> self(this);
    HostNames* hostNames = &m_hostNames;
    const TLValidateIP addresses;
    for (const PARecord::List* rows : {&popoverPassedIPS, &popoverBlockedIPS}) {
        for (const auto& row : *rows) {
            // Only an address has a name to look up.
            if (!addresses.isValidIpAddress(row->recordAddress))
                continue;
            ++m_pendingLookups;
            const QString address = row->recordAddress;
            const std::weak_ptr<PARecord> target = row;
            m_queues.myOperationQueue().async([self, hostNames, current, generation, address, target] {
                QStringList names;
                if (current->load() == generation)
                    names = hostNames->namesOfAddress(address);
                MainQueue::async([self, current, generation, names, target] {
                    if (!self)
                        return;
                    --self->m_pendingLookups;
                    const std::shared_ptr<PARecord> row = target.lock();
                    if (current->load() != generation || !row || names.isEmpty())
                        return;
                    row->recordLabel = names.first();
                    self->popoverPassedIPSController->rearrangeObjects();
                });
            });
        }
    }
}

void PAAppRulesController::m_cancelLookups()
{
    if (m_lookupGeneration)
        ++*m_lookupGeneration;
}

void PAAppRulesController::cancelPopoverWork()
{
    ++m_fillGeneration;
    ++m_signGeneration;
    m_cancelLookups();
    if (m_appPopoverView) {
        m_appPopoverView->form()->spinner->hide();
        m_appPopoverView->form()->signSpinner->hide();
    }
}

void PAAppRulesController::showSignatureInfo(QObject*)
{
    const std::shared_ptr<PAApplication> app = m_apps.singleSelectedApp();
    if (!app || !m_appPopoverView)
        return;
    QProgressBar* spinner = m_appPopoverView->form()->signSpinner;
    spinner->show();
    const QString path = app->appPath();
    const quint64 generation = ++m_signGeneration;
    if (!QFileInfo::exists(path)) {
        spinner->hide();
        m_showSignatureText(QStringLiteral("File not found"));
        return;
    }
    QPointer<PAAppRulesController> self(this);
    const std::weak_ptr<PAApplication> shown = app;
    CodeSigning* signing = &m_signing;
    // The signing tool is another program: it waits with the other
    // blocking look-ups, never in front of the popover's rows.
    m_queues.lookUps().async([self, signing, path, generation, shown] {
        const QString validity = signing->validityReport(path);
        const QString details = signing->detailsReport(path);
        MainQueue::async([self, validity, details, generation, shown] {
            // Only the last request's report, and only into a popover that
            // still shows its app.
            if (!self || self->m_signGeneration != generation || shown.expired() ||
                self->m_apps.singleSelectedApp() != shown.lock())
                return;
            self->m_appPopoverView->form()->signSpinner->hide();
            self->m_showSignatureText(QStringLiteral("Signature validity check:\n\n") + validity +
                                      QStringLiteral("\n\nSignature details:\n\n") + details);
        });
    });
}

void PAAppRulesController::m_showSignatureText(const QString& text)
{
    QTextEdit* view = m_appPopoverView->form()->signtext;
    view->clear();
    QTextCharFormat format;
    format.setForeground(view->palette().color(QPalette::Text));
    QFont font = QApplication::font();
    font.setPointSize(12);
    format.setFont(font);
    QTextCursor cursor(view->document());
    cursor.insertText(text, format);
}
