#include "mainwindow/PAConnectionController.h"

#include "core/PACountryTable.h"
#include "core/PASettingsTable.h"
#include "core/PAWorkQueues.h"
#include "core/SharedState.h"
#include "core/TLMatchIP.h"
#include "daemonlink/ConnectionEvent.h"
#include "daemonlink/Socketcon.h"
#include "mainwindow/PAAppConnectionsProxyModel.h"
#include "mainwindow/PAConnection.h"
#include "mainwindow/PAConnectionsModel.h"
#include "mainwindow/PAController.h"
#include "platform/AlertPresenter.h"
#include "platform/ConcurrentQueue.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/HostNames.h"
#include "platform/Identities.h"
#include "platform/Installation.h"
#include "platform/LinePrinter.h"
#include "platform/MainQueue.h"
#include "platform/Workspace.h"
#include "platform/widgets/PATableView.h"
#include "platform/widgets/Popover.h"
#include "setup/PAPreferencesController.h"
#include "ui_PAConnectionController.h"
#include "ui_PAConnectionInfoPopover.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

constexpr int kRowHeight = 22;
constexpr int kIconSize = 16;

void setUpConnectionsTable(QTableView& table, QAbstractItemModel* model)
{
    table.setModel(model);
    table.setIconSize(QSize(kIconSize, kIconSize));
    // Fixed rows: the view never measures a few hundred thousand of them.
    table.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table.verticalHeader()->setDefaultSectionSize(kRowHeight);
    table.verticalHeader()->hide();
    QHeaderView* columns = table.horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setStretchLastSection(true);
    columns->resizeSection(PAConnectionsModel::ColumnImage, kRowHeight + 6);
    columns->resizeSection(PAConnectionsModel::ColumnProcessName, 170);
    columns->resizeSection(PAConnectionsModel::ColumnAddress, 220);
    columns->resizeSection(PAConnectionsModel::ColumnPort, 60);
    columns->resizeSection(PAConnectionsModel::ColumnUID, 60);
    columns->resizeSection(PAConnectionsModel::ColumnPID, 70);
    table.setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
}

PAConnection* connectionOf(const QModelIndex& index)
{
    return index.data(PAConnectionsModel::ConnectionRole).value<PAConnection*>();
}

QAction* addItem(QMenu& menu, const QString& title)
{
    return menu.addAction(title);
}

} // namespace

PAConnectionController::PAConnectionController(PAPreferencesController& preferences, PAWorkQueues& queues,
                                               QObject* parent)
    : QObject(parent)
    , preferencescontroller(&preferences)
    , m_queues(queues)
    , ui(std::make_unique<Ui::PAConnectionController>())
    , m_infoUi(std::make_unique<Ui::PAConnectionInfoPopover>())
    , m_model(new PAConnectionsModel(this))
    , m_appFilter(new PAAppConnectionsProxyModel(this))
    , m_scrollTimer(new QTimer(this))
{
    m_view = new QWidget;
    ui->setupUi(m_view);
    setUpConnectionsTable(*ui->allConnsTableView, m_model);
    m_appFilter->setSourceModel(m_model);
    connect(m_model, &PAConnectionsModel::rowsAppended, this, [this] {
        // After the table has laid the new rows out (its own zero timer,
        // started by the insertion): before that the scroll range still
        // ends at the old last row.
        // A timer object, not a single shot of zero, which Qt turns into a
        // queued call that would run before the layout.
        if (m_scrollWanted)
            m_scrollTimer->start();
    });
    m_scrollTimer->setSingleShot(true);
    m_scrollTimer->setInterval(0);
    connect(m_scrollTimer, &QTimer::timeout, this, [this] {
        if (m_scrollWanted)
            m_scrollNow();
    });

    m_buildMenus();
    m_buildInfoPopover();
    m_buildAppLogsPopover();
    ui->allConnsTableView->setMenu(contextualMenu);
    ui->actionMenuButton->setMenu(mainActionMenu);

    // The switch shows activateLogging, whoever changes it: the switch itself,
    // the menu, a load.
    ui->loggingSwitch->setChecked(activateLogging);
    // The switch may go into another window and go with it.
    PASettingsTable::follow(ui->loggingSwitch, {activateLogging.name()}, [self = QPointer(this)] {
        if (self)
            self->ui->loggingSwitch->setChecked(activateLogging);
    });
    ui->hostnamesSwitch->setChecked(showHostnames);
    ui->autoscrollSwitch->setChecked(logAutoscroll);
    connect(ui->loggingSwitch, &QAbstractButton::clicked, this,
            &PAConnectionController::clickToggleLoggingOnAndOff);
    connect(ui->hostnamesSwitch, &QAbstractButton::clicked, this, [this](bool on) {
        toggleHostnames(on);
        // Refused while logging is off: the box keeps saying what is shown.
        ui->hostnamesSwitch->setChecked(showHostnames);
    });
    connect(ui->autoscrollSwitch, &QAbstractButton::clicked, this,
            &PAConnectionController::switchLogAutoscroll);
    connect(ui->clearButton, &QAbstractButton::clicked, this, &PAConnectionController::cleanLogsList);
    connect(ui->openLogButton, &QAbstractButton::clicked, this, &PAConnectionController::openLogsInConsole);
    connect(ui->allConnsTableView, &QAbstractItemView::doubleClicked, this,
            &PAConnectionController::doubleClickAllConnsTableView);
}

PAConnectionController::~PAConnectionController()
{
    // The popovers and menus are top-level widgets of ours; the view is ours
    // until a window takes it.
    delete m_connInfoPopover;
    delete m_appLogsPopover;
    delete mainActionMenu;
    delete contextualMenu;
    delete appLogsMenu;
    if (m_view && !m_view->parent())
        delete m_view;
}

PATableView* PAConnectionController::allConnsTableView() const
{
    return ui->allConnsTableView;
}

QTableView* PAConnectionController::appConnsTableView() const
{
    return m_appConnsTableView;
}

Popover* PAConnectionController::connInfoPopover() const
{
    return m_connInfoPopover;
}

Popover* PAConnectionController::appLogsPopover() const
{
    return m_appLogsPopover;
}

QAbstractButton* PAConnectionController::loggingSwitch() const
{
    return ui->loggingSwitch;
}

QAbstractButton* PAConnectionController::hostnamesSwitch() const
{
    return ui->hostnamesSwitch;
}

QAbstractButton* PAConnectionController::autoscrollSwitch() const
{
    return ui->autoscrollSwitch;
}

void PAConnectionController::m_buildMenus()
{
    mainActionMenu = new QMenu;
    toggleLogMenuItem = addItem(*mainActionMenu, QStringLiteral("Enable Logging"));
    connect(toggleLogMenuItem, &QAction::triggered, this, &PAConnectionController::toggleLogsFromMenu);

    contextualMenu = new QMenu;
    contextualMenuTitle = addItem(*contextualMenu, QStringLiteral("Connection"));
    item1 = addItem(*contextualMenu, QString());
    item2 = addItem(*contextualMenu, QString());
    contextualMenu->addSeparator();
    reveal1 = addItem(*contextualMenu, QString());
    reveal2 = addItem(*contextualMenu, QString());
    contextualMenu->addSeparator();
    blockAppItem = addItem(*contextualMenu, QString());
    blockPortItem = addItem(*contextualMenu, QString());
    blockIPItem = addItem(*contextualMenu, QString());
    passAppItem = addItem(*contextualMenu, QString());
    passPortItem = addItem(*contextualMenu, QString());
    passIPItem = addItem(*contextualMenu, QString());
    contextualMenu->addSeparator();
    copyIPItem = addItem(*contextualMenu, QStringLiteral("Copy IP Address"));
    copyHostItem = addItem(*contextualMenu, QStringLiteral("Copy Host Name"));
    connect(reveal1, &QAction::triggered, this, &PAConnectionController::revealInFinder);
    connect(reveal2, &QAction::triggered, this, &PAConnectionController::revealInFinderResponsibleApp);
    connect(copyIPItem, &QAction::triggered, this, &PAConnectionController::copyIP);
    connect(copyHostItem, &QAction::triggered, this, &PAConnectionController::copyHostname);

    appLogsMenu = new QMenu;
    copyIPItem2 = addItem(*appLogsMenu, QStringLiteral("Copy IP Address"));
    copyHostItem2 = addItem(*appLogsMenu, QStringLiteral("Copy Host Name"));
    connect(copyIPItem2, &QAction::triggered, this, &PAConnectionController::appcopyIP);
    connect(copyHostItem2, &QAction::triggered, this, &PAConnectionController::appcopyHostname);

    for (QMenu* menu : {mainActionMenu, contextualMenu, appLogsMenu})
        connect(menu, &QMenu::aboutToShow, this, [this, menu] { menuWillOpen(menu); });
}

void PAConnectionController::m_buildInfoPopover()
{
    m_connInfoPopover = new Popover;
    auto* content = new QWidget;
    m_infoUi->setupUi(content);
    m_connInfoPopover->setContentWidget(content);
    infopopoverImage = m_infoUi->infopopoverImage;
    infopopoverAppName = m_infoUi->infopopoverAppName;
    infopopoverIPAddress = m_infoUi->infopopoverIPAddress;
    infopopoverPort = m_infoUi->infopopoverPort;
    infopopoverUsername = m_infoUi->infopopoverUsername;
    infopopoverPath = m_infoUi->infopopoverPath;
    infopopoverHostname = m_infoUi->infopopoverHostname;
    infopopoverDate = m_infoUi->infopopoverDate;
    connFlag = m_infoUi->connFlag;
}

void PAConnectionController::m_buildAppLogsPopover()
{
    m_appLogsPopover = new Popover;
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    auto* table = new PATableView(content);
    table->setObjectName(QStringLiteral("appConnsTableView"));
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setShowGrid(false);
    table->setAlternatingRowColors(true);
    setUpConnectionsTable(*table, m_appFilter);
    table->setMenu(appLogsMenu);
    table->setMinimumSize(800, 380);
    layout->addWidget(table);
    m_appConnsTableView = table;
    m_appLogsPopover->setContentWidget(content);
}

void PAConnectionController::awakeFromNib()
{
    m_awake = true;
    m_startPruning();
    loggingControl();
}

void PAConnectionController::m_startPruning()
{
    // The timer runs while there is something to prune: a tick over an empty
    // list changes nothing, and an idle agent need not wake every 5 s.
    if (!m_awake || m_model->connectionCount() == 0 || (m_connsTimer && m_connsTimer->isValid()))
        return;
    m_connsTimer = Clock::shared().scheduledTimer(kPruningInterval, true, [self = QPointer(this)] {
        if (self)
            self->timerAction();
    });
}

void PAConnectionController::timerAction()
{
    // Read afresh at every pass: a change in the preferences counts from the
    // next tick.
    m_model->removeAged(Clock::shared().now(), connectionsTTL);
    if (m_model->connectionCount() == 0)
        invalidateTimer(m_connsTimer);
}

void PAConnectionController::startReadConnection()
{
    if (mysocketcon)
        mysocketcon->start();
}

bool PAConnectionController::connKextIsRunning() const
{
    return Installation::connectionKextIsLoaded();
}

void PAConnectionController::loggingControl()
{
    if (activateLogging) {
        preferencescontroller->enableLogsOptions();
        postKextNotification(QStringLiteral("loadKext"));
    } else {
        preferencescontroller->disableLogsOptions();
        postKextNotification(QStringLiteral("unloadKext"));
    }
}

void PAConnectionController::loadKext()
{
    postKextNotification(QStringLiteral("loadKext"));
}

void PAConnectionController::unloadKext()
{
    postKextNotification(QStringLiteral("unloadKext"));
}

void PAConnectionController::postKextNotification(const QString& name)
{
    DistributedNotificationCenter::defaultCenter().postNotificationName(
        name, QStringLiteral("zz.tolvane.palisorconnkext"),
        QVariantMap{{QStringLiteral("kextPath"), QString()}},
        DistributedNotificationCenter::DeliverImmediately | DistributedNotificationCenter::PostToAllSessions);
}

void PAConnectionController::addConnection(PAConnection* connection)
{
    connection->startLookUps(m_queues);
    m_model->append(connection);
    m_startPruning();
}

void PAConnectionController::addReportedConnection(const ParsedConnection& connection)
{
    addConnection(new PAConnection(connection.path, connection.address, connection.port, connection.pid,
                                   connection.uid, connection.blocked, connection.viaName,
                                   connection.hostPath, connection.otherUser));
    if (logAutoscroll)
        scrollToLastConnection();
}

void PAConnectionController::scrollToLastConnection()
{
    // The connection just added becomes a row with its batch: scroll then,
    // once for the whole batch.
    if (m_model->pendingCount() > 0)
        m_scrollWanted = true;
    else
        m_scrollNow();
}

void PAConnectionController::m_scrollNow()
{
    m_scrollWanted = false;
    const int last = m_model->rowCount() - 1;
    if (last >= 0)
        ui->allConnsTableView->scrollTo(m_model->index(last, 0), QAbstractItemView::EnsureVisible);
}

int PAConnectionController::connectionCount() const
{
    return m_model->connectionCount();
}

void PAConnectionController::toggleHostnames(bool on)
{
    if (!activateLogging)
        return;
    showHostnames = on;
    m_model->flushPending();
    // Off: every row shows its address at once. On: every row asks again,
    // and the rows of one address share one look-up.
    m_model->forEachConnection([](PAConnection& connection) { connection.updateRecord(); });
}

void PAConnectionController::windowWillClose()
{
    cleanLogsList();
    StandardOutputPrinter().printLine(QStringLiteral("closed connections window"));
    // The extension stays as the logging switch says: unloading it here would
    // leave the switch and the lights saying that logging is on while no
    // report arrives and no line reaches the log file.
}

void PAConnectionController::cleanLogsList()
{
    m_model->removeAll();
    invalidateTimer(m_connsTimer);
}

void PAConnectionController::toggleLogsFromMenu()
{
    activateLogging = !activateLogging;
    loggingControl();
}

void PAConnectionController::clickToggleLoggingOnAndOff(bool on)
{
    activateLogging = !activateLogging;
    loggingControl();
    if (logToFile)
        logToFile->setChecked(on);
}

void PAConnectionController::openLogsInConsole()
{
    const QString path = QDir::homePath() + QStringLiteral("/Library/Logs/palisor.log");
    // The desktop's opener takes the file as a URL: nothing parses the path.
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        return;
    // A desktop without a program for text files opens nothing and says
    // nothing; the user at least learns where to look.
    Alert alert;
    alert.messageText = QStringLiteral("The log could not be opened");
    alert.informativeText = QStringLiteral("No program of this desktop opens text files. Palisor's log is "
                                           "the file:\n\n%1\n\nOpen it with a text editor or read it in a "
                                           "terminal.")
                                .arg(path);
    alert.icon = QStringLiteral("NSInformational");
    AlertPresenter::shared().beginSheet(alert, ui->openLogButton->window(), {});
}

void PAConnectionController::getAppLogs()
{
    if (!palisorcontroller || !palisorcontroller->appsLibraryController)
        return;
    const auto selected = palisorcontroller->appsLibraryController->selectedObjects();
    if (selected.size() != 1)
        return;
    m_model->flushPending();
    m_appFilter->setAppPath(selected.front()->appPath());
}

void PAConnectionController::showAppConnectionsIn(PATableView* table)
{
    if (!table)
        return;
    setUpConnectionsTable(*table, m_appFilter);
    // One selection for both views, so that the per-app commands act on the
    // row chosen in whichever shows.
    QItemSelectionModel* own = table->selectionModel();
    QItemSelectionModel* shared = m_appConnsTableView->selectionModel();
    shared->setParent(this); // outlives whichever view goes first
    table->setSelectionModel(shared);
    delete own;
    table->setMenu(appLogsMenu);
}

void PAConnectionController::clearAppLogsFilter()
{
    m_appFilter->setAppPath(std::nullopt);
}

void PAConnectionController::switchLogAutoscroll(bool on)
{
    logAutoscroll = on;
}

PAConnection* PAConnectionController::m_firstSelected(QTableView* table) const
{
    if (!table || !table->selectionModel())
        return nullptr;
    QModelIndexList rows = table->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return nullptr;
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    return connectionOf(rows.first());
}

PAConnection* PAConnectionController::m_singleSelected(QTableView* table) const
{
    if (!table || !table->selectionModel() || table->selectionModel()->selectedRows().size() != 1)
        return nullptr;
    return m_firstSelected(table);
}

void PAConnectionController::doubleClickAllConnsTableView()
{
    PAConnection* connection = m_singleSelected(ui->allConnsTableView);
    if (!connection)
        return;
    const quint64 generation = ++m_popoverGeneration;
    m_popoverConnection = connection;

    const QIcon icon = connection->connImage.isNull() ? PAConnection::getIcon(connection->iconPath())
                                                      : connection->connImage;
    infopopoverImage->setPixmap(icon.pixmap(QSize(48, 48)));
    infopopoverAppName->setText(connection->connSimpleName);
    infopopoverIPAddress->setText(connection->connIPAddress);
    infopopoverPort->setText(QString::number(connection->connPort));
    infopopoverPath->setText(connection->connProcessName);
    infopopoverUsername->setText(userText(connection->connUID));
    // Whatever the field showed for the row before must not stand for this one.
    infopopoverHostname->clear();
    if (showHostnames) {
        infopopoverHostname->setText(connection->connHostname.isEmpty() ? QStringLiteral("not found")
                                                                        : connection->connHostname);
    } else {
        // One look-up the user waits for: not behind the rows' backlog.
        m_queues.lookUps().async([self = QPointer(this), generation, address = connection->connIPAddress] {
            const QStringList names = HostNames::shared().namesOfAddress(address);
            if (names.isEmpty())
                return;
            MainQueue::async([self, generation, name = names.first()] {
                // A late answer for a row the popover no longer shows is dropped.
                if (self && self->m_popoverGeneration == generation && self->m_popoverConnection)
                    self->infopopoverHostname->setText(name);
            });
        });
    }
    infopopoverDate->setText(connection->connDate);

    const int row = m_model->rowOf(connection);
    QTableView* table = ui->allConnsTableView;
    const QRect rowRect =
        table->visualRect(m_model->index(row, 0))
            .united(table->visualRect(m_model->index(row, PAConnectionsModel::ColumnCount - 1)));
    m_connInfoPopover->showRelativeTo(rowRect, table->viewport());
}

QString PAConnectionController::userText(const QString& uid)
{
    bool isNumber = false;
    const qulonglong value = uid.toULongLong(&isNumber);
    if (!isNumber || value > std::numeric_limits<uid_t>::max())
        return QStringLiteral("ERROR");
    const std::optional<QString> name = Identities::userName(static_cast<uid_t>(value));
    if (!name)
        return QStringLiteral("ERROR");
    return QStringLiteral("uid=%1(%2)").arg(value).arg(*name);
}

void PAConnectionController::menuWillOpen(QMenu* menu)
{
    if (!menu)
        return;
    if (menu == mainActionMenu) {
        toggleLogMenuItem->setText(activateLogging ? QStringLiteral("Disable Logging")
                                                   : QStringLiteral("Enable Logging"));
        return;
    }
    if (menu == appLogsMenu) {
        const PAConnection* connection = m_firstSelected(m_appConnsTableView);
        copyHostItem2->setEnabled(connection && connection->connIPAddress != connection->connHostname);
        copyIPItem2->setEnabled(connection != nullptr);
        return;
    }
    if (menu != contextualMenu)
        return;

    const QList<QAction*> items = contextualMenu->actions();
    for (QAction* item : items)
        item->setEnabled(false);
    const PAConnection* connection = m_firstSelected(ui->allConnsTableView);
    if (!connection) {
        for (QAction* item : items)
            item->setVisible(false);
        return;
    }
    for (QAction* item : items)
        item->setVisible(true);
    contextualMenuTitle->setVisible(false);

    const QString& address = connection->connIPAddress;
    const QString& name = connection->connSimpleName;
    const QString port = QString::number(connection->connPort);
    item1->setText(QStringLiteral("Put ") + address + QStringLiteral(" in Tolvane Black List"));
    item2->setText(QStringLiteral("Copy ") + address + QStringLiteral(" to a new or existing Tolvane group"));
    for (QAction* item : items)
        item->setEnabled(true);
    if (connection->connRepresentedXPC.isEmpty()) {
        reveal1->setText(QStringLiteral("Reveal ") + connection->connSimpleName +
                         QStringLiteral(" in Finder"));
        reveal2->setVisible(false);
    } else {
        reveal1->setText(QStringLiteral("Reveal ") + connection->connRepresentedXPC +
                         QStringLiteral(" in Finder"));
        reveal2->setText(QStringLiteral("Reveal ") + connection->connViaApp + QStringLiteral(" in Finder"));
        reveal2->setVisible(true);
    }
    if (connection->connIsBlocked) {
        for (QAction* item : {blockAppItem, blockPortItem, blockIPItem})
            item->setVisible(false);
        passAppItem->setText(QStringLiteral("Pass all ") + name + QStringLiteral(" connections"));
        passPortItem->setText(QStringLiteral("Pass all ") + name + QStringLiteral(" connections to port ") +
                              port);
        passIPItem->setText(QStringLiteral("Pass all ") + name + QStringLiteral(" connections to ") +
                            address);
    } else {
        for (QAction* item : {passAppItem, passPortItem, passIPItem})
            item->setVisible(false);
        blockAppItem->setText(QStringLiteral("Block all ") + name + QStringLiteral(" connections"));
        blockPortItem->setText(QStringLiteral("Block all ") + name + QStringLiteral(" connections to port ") +
                               port);
        blockIPItem->setText(QStringLiteral("Block all ") + name + QStringLiteral(" connections to ") +
                             address);
    }
    copyHostItem->setEnabled(connection->connIPAddress != connection->connHostname);
    // The sibling firewall's two commands and the six app-rule commands have
    // nothing behind them yet: they show what they will do, disabled.
    for (QAction* item :
         {item1, item2, blockAppItem, blockPortItem, blockIPItem, passAppItem, passPortItem, passIPItem})
        item->setEnabled(false);
}

void PAConnectionController::m_copy(QTableView* table, bool hostname)
{
    const PAConnection* connection = m_singleSelected(table);
    if (!connection)
        return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(hostname ? connection->connHostname : connection->connIPAddress);
}

void PAConnectionController::copyIP()
{
    m_copy(ui->allConnsTableView, false);
}

void PAConnectionController::copyHostname()
{
    m_copy(ui->allConnsTableView, true);
}

void PAConnectionController::appcopyIP()
{
    m_copy(m_appConnsTableView, false);
}

void PAConnectionController::appcopyHostname()
{
    m_copy(m_appConnsTableView, true);
}

void PAConnectionController::m_reveal(bool responsibleApp)
{
    const PAConnection* connection = m_singleSelected(ui->allConnsTableView);
    if (!connection)
        return;
    // The file manager is asked over the bus: no shell ever sees the path.
    Workspace::revealInFileManager(responsibleApp ? connection->xpcPath : connection->connProcessName);
}

void PAConnectionController::revealInFinder()
{
    m_reveal(false);
}

void PAConnectionController::revealInFinderResponsibleApp()
{
    m_reveal(true);
}

void PAConnectionController::matchNationFlag()
{
    // The address is read here, on the main thread, before the walk starts.
    const QString address = infopopoverIPAddress->text();
    m_queues.findFlagQueue().async([self = QPointer(this), address] {
        const TLMatchIP matcher;
        const std::optional<QString> code = PACountryTable::findCountryOfAddress(address, matcher);
        if (!code)
            return;
        const QString image = PACountryTable::flagImagePath(*code);
        if (image.isEmpty() || !QFile::exists(image))
            return;
        MainQueue::async([self, address, image] {
            // The popover may show another address by now.
            if (self && self->infopopoverIPAddress->text() == address)
                self->connFlag->setPixmap(QIcon(image).pixmap(QSize(32, 24)));
        });
    });
}

void PAConnectionController::openLogsPopover(QWidget* sender)
{
    if (sender)
        m_appLogsPopover->showRelativeTo(sender->rect(), sender);
    getAppLogs();
}

void PAConnectionController::setWindow(QWidget* window)
{
    if (m_window)
        m_window->removeEventFilter(this);
    m_window = window;
    if (window)
        window->installEventFilter(this);
}

bool PAConnectionController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && event->type() == QEvent::Close && event->isAccepted())
        windowWillClose();
    return QObject::eventFilter(watched, event);
}
