#include "alerts/PANotifyWindowController.h"

#include "alerts/PAOpenAlerts.h"
#include "core/AgentLog.h"
#include "core/GetuserFromUID.h"
#include "core/PAApplication.h"
#include "core/PARange.h"
#include "core/PARuleLists.h"
#include "core/PAWorkQueues.h"
#include "core/SharedState.h"
#include "core/TLMatchIP.h"
#include "daemonlink/DaemonAnswer.h"
#include "daemonlink/PAAlertLookups.h"
#include "daemonlink/PAAppsIndex.h"
#include "daemonlink/PARequestRoad.h"
#include "daemonlink/PASavedRuleDecision.h"
#include "platform/AlertPresenter.h"
#include "platform/CodeSigning.h"
#include "platform/CommandRunner.h"
#include "platform/ConcurrentQueue.h"
#include "platform/ConsoleUser.h"
#include "platform/HostNames.h"
#include "platform/Identities.h"
#include "platform/MainQueue.h"
#include "platform/ProcessInfo.h"
#include "platform/Resources.h"
#include "platform/SoundPlayer.h"
#include "platform/SystemColors.h"
#include "platform/Workspace.h"
#include "platform/widgets/Appearance.h"
#include "platform/widgets/CustomSliderCell.h"
#include "platform/widgets/PopUpButton.h"
#include "platform/widgets/RadioMatrix.h"
#include "platform/widgets/WindowPlacement.h"
#include "ui_PANotifyWindowController.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScreen>
#include <QSlider>
#include <QSvgRenderer>
#include <QTextDocument>
#include <QVBoxLayout>
#include <QWidgetAction>
#include <QWindow>

#include <algorithm>
#include <arpa/inet.h>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

std::optional<uint32_t> pidValue(const QString& text)
{
    bool ok = false;
    const uint value = text.toUInt(&ok, 10);
    if (!ok || text.isEmpty() || !text.front().isDigit())
        return std::nullopt;
    return static_cast<uint32_t>(value);
}

} // namespace

void PANotifyWindowController::resumeQueue(const QString& tag)
{
    if (PARequestRoad* road = PARequestRoad::current())
        road->end(tag);
    else
        qCWarning(lcAlert, "[PALISOR AGENT] no request road; request %s is left as it is",
                  qUtf8Printable(tag));
}

void PANotifyWindowController::m_send(const QString& text)
{
    mymanagesocketagent.sendsocketagent(text);
}

void PANotifyWindowController::setNotifyParameters(const QString& pid, const QString& processName,
                                                   const QString& processUID, const QString& processIP,
                                                   const QString& processPort, const QString& processUDPorTCP,
                                                   const QString& processIPversion,
                                                   const QString& originalRequestString,
                                                   const QString& tagNotify, const QString& responsibleApp,
                                                   bool processNameVerified)
{
    parameterProcessPid = pid;
    parameterProcessName = processName;
    parameterProcessUID = processUID;
    parameterProcessIP = processIP;
    parameterProcessPort = processPort;
    parameterProcessUDPorTCP = processUDPorTCP;
    parameterProcessIPversion = processIPversion;
    parameterOriginalRequestString = originalRequestString;
    parameterTagString = tagNotify;
    parameterResponsibleApp = responsibleApp;
    parameterProcessNameVerified = processNameVerified;
    m_requestExecutable = processName;

    // An XPC service is judged by the application it works for.
    if (automaticXPC && parameterResponsibleApp != QLatin1String("0") &&
        parameterProcessName.contains(QLatin1String(".xpc/Contents/"))) {
        if (const std::optional<uint32_t> responsible = pidValue(parameterResponsibleApp)) {
            const ProcessInfo::Name host = mymanagesocketagent.infoprocessName(*responsible);
            if (host.path != QLatin1String("error")) {
                parameterProcessName = host.path;
                // Either name may be forged, and either would choose the rule.
                parameterProcessNameVerified = parameterProcessNameVerified && host.verified;
            }
        }
    }

    if (enableNotifications) {
        checkExistingRules();
        return;
    }
    // Request items already run on the main thread.
    MainQueue::sync([this] { answerWhenAlertsDisabled(); });
}

void PANotifyWindowController::answerWhenAlertsDisabled()
{
    if (!mostro)
        return;
    m_send(DaemonAnswer::withState(parameterOriginalRequestString, 0));
    // A name the process may have made up would become a saved pass rule
    // for the real app of that name.
    if (!parameterProcessNameVerified) {
        m_road.end(parameterTagString);
        return;
    }
    std::shared_ptr<PAApplication> app = generatePAApplication(0, parameterProcessName);
    app->setAppIsPersistent(true);
    if (!appExistsInGlobalArray(parameterProcessName))
        ruleLists().insertApp(app);
    m_road.end(parameterTagString);
}

void PANotifyWindowController::checkExistingRules()
{
    const PASavedRuleDecision decision = PASavedRuleDecision::decide(
        parameterOriginalRequestString, parameterProcessName, parameterProcessNameVerified,
        parameterProcessIP, parameterProcessPort, PAAppsIndex::current());
    if (!decision.answers.isEmpty()) {
        for (const QString& answer : decision.answers)
            m_send(answer);
        m_road.end(parameterTagString);
        return;
    }
    if (decision.quietApp) {
        mostro = false;
        m_send(decision.quietAnswer(parameterOriginalRequestString));
        const QString match = decision.quietMatch(parameterProcessIP);
        if (!decision.quietApp->appMatches().contains(match))
            decision.quietApp->setAppMatches(decision.quietApp->appMatches() + QStringList{match});
        m_road.end(parameterTagString);
        return;
    }

    if (!mostro)
        return;
    if (parameterProcessUID.isEmpty()) {
        const std::optional<uint32_t> pid = pidValue(parameterProcessPid);
        parameterProcessUID = QString::number(pid ? mymanagesocketagent.infoRootProcess(*pid) : -1);
    }
    MainQueue::async([self = openAlerts.value(parameterTagString)] {
        if (self)
            self->showAlertOnMain();
    });
}

QString PANotifyWindowController::translateParameterProcessName(const QString& path) const
{
    if (!path.contains(QLatin1String(".app/Contents/")))
        return path;
    return PAApplication::bundlePathOf(path);
}

std::shared_ptr<PAApplication> PANotifyWindowController::getAppFromGlobalArray(const QString& path) const
{
    const PAAppsIndex& index = PAAppsIndex::current();
    const int position = index.firstHolding(path);
    return position < 0 ? nullptr : index.apps()[static_cast<size_t>(position)];
}

bool PANotifyWindowController::appExistsInGlobalArray(const QString& path) const
{
    return getAppFromGlobalArray(path) != nullptr;
}

std::shared_ptr<PAApplication>
PANotifyWindowController::generatePAApplication(qint64 rule, const QString& nameProcess) const
{
    return PAApplication::generatePAApplication(rule, nameProcess);
}

// ------------------------------------------------------------------ the window

PANotifyWindowController::PANotifyWindowController(PARequestRoad& road, PAWorkQueues& queues, QObject* parent)
    : QObject(parent)
    , globalpassedupIcon(passedUpImage())
    , globalblockedupIcon(blockedUpImage())
    , m_road(road)
    , m_queues(queues)
{
}

PANotifyWindowController::~PANotifyWindowController()
{
    // The window goes before the form it was filled from: its last events
    // still reach this controller's filter.
    m_window.reset();
    for (TimerRef* timer : {&timeoutTimer, &indicatorTimer, &managerTimer})
        invalidateTimer(*timer);
}

void PANotifyWindowController::showAlertOnMain()
{
    isNotifyWindowOpen = true;
    mostra();
}

void PANotifyWindowController::showWindow()
{
    if (!m_window) {
        m_window = std::make_unique<QWidget>(nullptr,
                                             Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        ui = std::make_unique<Ui::PANotifyWindowController>();
        ui->setupUi(m_window.get());
        windowDidLoad();
    }
    m_window->show();
}

namespace {

// Moves the alert when it is dragged by any part that is not a control. The
// alert moves itself: a move handed to the window manager at the press goes on
// after a quick tap, as the manager takes the pointer only once the button is
// already up, and the alert then follows the pointer until the next click.
// Wayland lets no window place itself, so there the compositor moves it, and
// only once the pointer moves with the button still down.
class DragByBackground : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (m_window)
            return m_follow(watched, event);
        if (event->type() != QEvent::MouseButtonPress)
            return false;
        auto* press = static_cast<QMouseEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(watched);
        if (press->button() != Qt::LeftButton || !widget)
            return false;
        m_window = widget->window();
        m_pressedAt = press->globalPosition().toPoint();
        m_windowAt = m_window->pos();
        m_moved = false;
        // Every event of the application passes here until the drag ends, so
        // a release another filter takes, or one on a control, still ends it.
        qApp->installEventFilter(this);
        return true;
    }

private:
    bool m_follow(QObject* watched, QEvent* event)
    {
        switch (event->type()) {
        case QEvent::MouseMove: {
            auto* move = static_cast<QMouseEvent*>(event);
            // The release went somewhere no event of ours saw.
            if (!(move->buttons() & Qt::LeftButton)) {
                m_end();
                return false;
            }
            const QPoint offset = move->globalPosition().toPoint() - m_pressedAt;
            if (!m_moved && offset.manhattanLength() < QApplication::startDragDistance())
                return true;
            m_moved = true;
            if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
                QWindow* handle = m_window->windowHandle();
                m_end();
                if (handle)
                    handle->startSystemMove();
                return true;
            }
            m_window->move(m_windowAt + offset);
            return true;
        }
        case QEvent::MouseButtonRelease:
            m_end();
            return false;
        case QEvent::MouseButtonPress:
        case QEvent::UngrabMouse:
        case QEvent::ApplicationDeactivate:
            m_end();
            return false;
        case QEvent::WindowDeactivate:
        case QEvent::Hide:
        case QEvent::Close:
            // The alert's own window lost the focus or went away.
            if (watched == m_window || watched == m_window->windowHandle())
                m_end();
            return false;
        default:
            return false;
        }
    }

    void m_end()
    {
        qApp->removeEventFilter(this);
        m_window = nullptr;
    }

    QPointer<QWidget> m_window;
    QPoint m_pressedAt;
    QPoint m_windowAt;
    bool m_moved = false;
};

// The display name of an app's bundle or executable, as the alert names it.
QString bundleCandidate(const QString& path)
{
    const QStringList components = path.split(QLatin1Char('/'));
    if (path.contains(QLatin1String(".app/Contents/"))) {
        for (const QString& component : components)
            if (component.endsWith(QLatin1String(".app")))
                return component;
        return QString();
    }
    return components.isEmpty() ? QString() : components.last();
}

// A preference as a slider position; one from a damaged configuration that
// is no number, or no int, still gives one.
int sliderValue(double value)
{
    if (!std::isfinite(value))
        return 0;
    return static_cast<int>(
        std::clamp(value, double(std::numeric_limits<int>::min()), double(std::numeric_limits<int>::max())));
}

// Text for a button title: an "&" from the request is shown, not a mnemonic.
QString buttonTitle(QString text)
{
    return text.replace(QLatin1Char('&'), QLatin1String("&&"));
}

double screenHeight()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().height() : 0.0;
}

} // namespace

QString PANotifyWindowController::appDisplayNameForPath(const QString& path)
{
    QString name = bundleCandidate(path);
    if (!name.endsWith(QLatin1String(".app")))
        return name;
    name.chop(4);
    if (QFileInfo::exists(path))
        if (const std::optional<QString> display =
                Workspace::bundleInfoString(path, QStringLiteral("CFBundleDisplayName")))
            return *display;
    return name;
}

QString PANotifyWindowController::currentUID()
{
    const std::optional<uid_t> console = ConsoleUser::uid();
    return console ? QString::number(*console) : QStringLiteral("0");
}

void PANotifyWindowController::windowDidLoad()
{
    m_windowLoaded = true;
    QWidget* window = m_window.get();
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    window->setWindowTitle(QStringLiteral("Palisor"));
    auto* drag = new DragByBackground(window);
    for (QWidget* area : {window, ui->compactArea, static_cast<QWidget*>(ui->detailsArea),
                          static_cast<QWidget*>(ui->matrixBox)})
        area->installEventFilter(drag);

    Appearance::applyTheme(window, currentTheme);

    m_buildMenus();
    m_connectControls();

    // The signature lights: red for a broken signature, yellow for none,
    // green for the platform maker's own.
    const std::pair<QLabel*, const char*> lights[] = {{ui->ledInvalidSignature, "NSStatusUnavailable"},
                                                      {ui->ledNoSignature, "NSStatusPartiallyAvailable"},
                                                      {ui->ledAppleSignature, "NSStatusAvailable"}};
    for (const auto& [light, image] : lights)
        light->setPixmap(Resources::systemImage(QLatin1String(image)).pixmap(24, 24));

    double x = 0, y = 0, width = 0, height = 0;
    m_frame(x, y, width, height);
    m_setFrame(x, y, width, notificationWindowHeight);

    // Setting the sliders from the preferences is no choice of the user's:
    // their actions, which store what the user picks, stay quiet meanwhile.
    {
        const QSignalBlocker quiet(timeSlider);
        timeSlider->setValue(sliderValue(notificationDefaultTime));
    }
    ui->timeButton->selectItemAtIndex(notificationDefaultChoice);
    m_titleTimeMenuItem();

    ui->quietSlider->hide();
    {
        const QSignalBlocker quiet(ui->quietSlider);
        ui->quietSlider->setMaximum(sliderValue(quietMaxTime));
        ui->quietSlider->setValue(sliderValue(quietTime));
    }
    ui->quietButton->setText(m_secondsTitle(quietTime));
}

QString PANotifyWindowController::m_secondsTitle(double seconds) const
{
    // A time from a damaged configuration still gives a title.
    const double whole = std::isfinite(seconds) ? std::trunc(seconds) : 0.0;
    const qint64 shown = (whole > -9.2e18 && whole < 9.2e18) ? static_cast<qint64>(whole) : 0;
    return QStringLiteral("Silence for %1 seconds").arg(shown);
}

void PANotifyWindowController::m_buildMenus()
{
    QWidget* window = m_window.get();

    // The duration pop-up: three durations and the row holding the slider.
    timeForever = ui->timeButton->addItemWithTitle(QStringLiteral("Forever"));
    timeNextLogin = ui->timeButton->addItemWithTitle(QStringLiteral("Until next logout"));
    timeMenuItem = ui->timeButton->addItemWithTitle(QString());
    timeView = new QWidget(window);
    auto* timeLayout = new QHBoxLayout(timeView);
    timeLayout->setContentsMargins(20, 2, 12, 2);
    timeSlider = new CustomSliderCell(timeView);
    timeSlider->setObjectName(QStringLiteral("timeSlider"));
    // The same minutes that a configuration may give the slider.
    const PARange minutes = PARange::alertMinutes();
    timeSlider->setRange(static_cast<int>(minutes.minimum), static_cast<int>(minutes.maximum));
    timeSlider->setMinimumWidth(160);
    timeLayout->addWidget(timeSlider);
    timeMenuChooser = new QWidgetAction(ui->timeButton);
    timeMenuChooser->setDefaultWidget(timeView);
    ui->timeButton->addItem(timeMenuChooser);
    rememberPopupMenu = ui->timeButton->menu();
    m_watchMenu(rememberPopupMenu);

    // The three IPv4 networks of the address.
    matrixnetA = ui->matrixlabel3->addItemWithTitle(QString());
    matrixnetB = ui->matrixlabel3->addItemWithTitle(QString());
    matrixnetC = ui->matrixlabel3->addItemWithTitle(QString());
    ui->matrixlabel3->menu()->setToolTipsVisible(true);
    m_watchMenu(ui->matrixlabel3->menu());

    // The IPv6 network: a pull-down whose title is the network typed.
    ui->matrixlabel3V6->setPullsDown(true);
    matrixlabel3V6Title = ui->matrixlabel3V6->addItemWithTitle(QStringLiteral("Set network address..."));
    subnetV6view = new QWidget(window);
    auto* subnetLayout = new QGridLayout(subnetV6view);
    subnetLayout->setContentsMargins(12, 6, 12, 6);
    addSubnetString = new QLineEdit(subnetV6view);
    addSubnetString->setObjectName(QStringLiteral("addSubnetString"));
    addSubnetString->setPlaceholderText(QStringLiteral("2001:db8::/32"));
    addSubnetString->setMinimumWidth(220);
    addSubnetCaution = new QLabel(subnetV6view);
    addSubnetCaution->setObjectName(QStringLiteral("addSubnetCaution"));
    addSubnetCaution->setPixmap(Resources::systemImage(QStringLiteral("NSCaution")).pixmap(16, 16));
    addSubnetCaution->hide();
    addSubnetError = new QLabel(subnetV6view);
    addSubnetError->setObjectName(QStringLiteral("addSubnetError"));
    addSubnetError->setTextFormat(Qt::PlainText);
    subnetLayout->addWidget(addSubnetString, 0, 0, 1, 2);
    subnetLayout->addWidget(addSubnetCaution, 1, 0);
    subnetLayout->addWidget(addSubnetError, 1, 1);
    matrixlabel3V6ViewItem = new QWidgetAction(ui->matrixlabel3V6);
    matrixlabel3V6ViewItem->setDefaultWidget(subnetV6view);
    ui->matrixlabel3V6->addItem(matrixlabel3V6ViewItem);
    m_watchMenu(ui->matrixlabel3V6->menu());

    // The actions menu.
    processNameMenu = new QMenu(window);
    processNameMenuTitleItem = processNameMenu->addAction(QString());
    processNameMenuTitleItem->setEnabled(false);
    processNameMenuView = new QWidget(window);
    auto* viewLayout = new QVBoxLayout(processNameMenuView);
    viewLayout->setContentsMargins(12, 2, 12, 2);
    auto* pathLabel = new QLabel(processNameMenuView);
    pathLabel->setObjectName(QStringLiteral("processNameMenuPath"));
    pathLabel->setTextFormat(Qt::PlainText);
    viewLayout->addWidget(pathLabel);
    processNameMenuViewItem = new QWidgetAction(processNameMenu);
    processNameMenu->addAction(processNameMenuViewItem);
    processNameMenu->addSeparator();
    connect(processNameMenu->addAction(QStringLiteral("Copy IP Address")), &QAction::triggered, this,
            &PANotifyWindowController::copyIPToClipboard);
    connect(processNameMenu->addAction(QStringLiteral("Copy Port")), &QAction::triggered, this,
            &PANotifyWindowController::copyPortToClipboard);
    connect(processNameMenu->addAction(QStringLiteral("Copy Path")), &QAction::triggered, this,
            &PANotifyWindowController::copyPathToClipboard);
    copyHostnameToClipboardItem = processNameMenu->addAction(QStringLiteral("Copy Host Name"));
    copyHostnameToClipboardItem->setVisible(false);
    connect(copyHostnameToClipboardItem, &QAction::triggered, this,
            &PANotifyWindowController::copyHostnameToClipboard);
    processNameMenu->addSeparator();
    soundMenuItem = processNameMenu->addAction(QStringLiteral("Disable notification sound"));
    connect(soundMenuItem, &QAction::triggered, this, &PANotifyWindowController::clickSoundBtn);
    connect(processNameMenu->addAction(QStringLiteral("Show in File Manager")), &QAction::triggered, this,
            &PANotifyWindowController::revealAppInFinder);
    terminateProcessMenuItem = processNameMenu->addAction(QStringLiteral("Terminate Process"));
    connect(terminateProcessMenuItem, &QAction::triggered, this, &PANotifyWindowController::killProcess);
    ui->processNameMenuButton->setMenu(processNameMenu);
    m_watchMenu(processNameMenu);

    actionMatrix = new RadioMatrix(window);
    for (QRadioButton* row : {ui->actionRow0, ui->actionRow1, ui->actionRow2, ui->actionRow3})
        actionMatrix->addRow(row);
}

void PANotifyWindowController::m_watchMenu(QMenu* menu)
{
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { menuWillOpen(menu); });
    connect(menu, &QMenu::aboutToHide, this, [this, menu] { menuDidClose(menu); });
}

void PANotifyWindowController::m_connectControls()
{
    connect(ui->advancedPass, &QPushButton::clicked, this, [this] { userAction(ui->advancedPass); });
    connect(ui->advancedBlock, &QPushButton::clicked, this, [this] { userAction(ui->advancedBlock); });
    connect(ui->silenceButton, &QToolButton::clicked, this, &PANotifyWindowController::clickSilenceBtn);
    connect(ui->resizeButton, &QToolButton::clicked, this, &PANotifyWindowController::resizeNotification);
    connect(ui->getSignatureButton, &QPushButton::clicked, this,
            &PANotifyWindowController::clickGetSignatureInfo);
    connect(ui->whoisButton, &QToolButton::clicked, this, &PANotifyWindowController::clickWhois);
    connect(actionMatrix, &RadioMatrix::rowClicked, this, &PANotifyWindowController::selectActionMatrix);
    connect(ui->timeButton, &PopUpButton::itemChosen, this, &PANotifyWindowController::clickPopupButton);
    connect(ui->matrixlabel3, &PopUpButton::itemChosen, this, &PANotifyWindowController::selectMatrixLabel3);
    // Touching the slider row counts as choosing it; the menu's close turns
    // that into the minutes item.
    connect(timeSlider, &QSlider::actionTriggered, this,
            [this] { ui->timeButton->selectItem(timeMenuChooser); });
    connect(timeSlider, &QSlider::valueChanged, this, &PANotifyWindowController::updateWithSlider);
    connect(ui->quietSlider, &QSlider::valueChanged, this, &PANotifyWindowController::updateQuietSlider);
    connect(ui->quietButton, &QCheckBox::clicked, this, &PANotifyWindowController::showHideQuietSlider);
    connect(addSubnetString, &QLineEdit::returnPressed, this, &PANotifyWindowController::setSubnetV6);
    ui->moreOptionsString->setCursor(Qt::PointingHandCursor);
    ui->moreOptionsString->installEventFilter(this);
    m_window->installEventFilter(this);
}

bool PANotifyWindowController::eventFilter(QObject* watched, QEvent* event)
{
    // The details show only in the enlarged window; the compact one is all
    // answer.
    if (ui && watched == m_window.get() && event->type() == QEvent::Resize)
        ui->detailsArea->setVisible(m_window->height() > startSize + 1.0);
    if (ui && watched == ui->moreOptionsString && event->type() == QEvent::MouseButtonRelease) {
        clickMoreOptions();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void PANotifyWindowController::m_frame(double& x, double& y, double& width, double& height) const
{
    const QRect frame = m_window->geometry();
    x = frame.x();
    width = frame.width();
    height = frame.height();
    // Bottom-up, from the main screen's bottom edge, as the geometry rules
    // are stated.
    y = screenHeight() - frame.y() - frame.height();
}

void PANotifyWindowController::m_setFrame(double x, double y, double width, double height)
{
    const double top = screenHeight() - y - height;
    m_window->setGeometry(qRound(x), qRound(top), qRound(width), qRound(height));
}

void PANotifyWindowController::mostra()
{
    showWindow();
    QWidget* window = m_window.get();
    notificationIsDisplayed = true;
    if (notificationBackgroundColor().isValid()) {
        QPalette palette = window->palette();
        palette.setColor(QPalette::Window, notificationBackgroundColor());
        window->setPalette(palette);
        window->setAutoFillBackground(true);
    }

    attributedAddress = parameterProcessIP;
    attributedPort = parameterProcessPort;
    bool uidOk = false;
    const qint32 uid = parameterProcessUID.toInt(&uidOk, 10);
    attributedUser = uidOk ? GetuserFromUID().getuser(uid) : QString();
    attributedProtocol = parameterProcessUDPorTCP;

    ui->matrixlabel2->setText(parameterProcessIP);
    ui->matrixlabel1->setText(QStringLiteral("Port ") + parameterProcessPort);

    const bool ipv4 = parameterProcessIP.contains(QLatin1Char('.'));
    if (ipv4) {
        const QStringList octets = parameterProcessIP.split(QLatin1Char('.'));
        // A dotted text that is no dotted quad still gets titles, never a crash.
        const QString a = octets.value(0);
        const QString b = octets.value(1);
        const QString c = octets.value(2);
        const QString titles[] = {a + QStringLiteral(".0.0.0/8"),
                                  a + QLatin1Char('.') + b + QStringLiteral(".0.0/16"),
                                  a + QLatin1Char('.') + b + QLatin1Char('.') + c + QStringLiteral(".0/24")};
        QAction* items[] = {matrixnetA, matrixnetB, matrixnetC};
        for (int i = 0; i < 3; ++i) {
            PopUpButton::setItemTitle(items[i], titles[i]);
            // A tool tip that looks like markup would be read as markup.
            items[i]->setToolTip(Qt::mightBeRichText(titles[i]) ? Qt::convertFromPlainText(titles[i])
                                                                : titles[i]);
        }
        ui->matrixlabel3->synchronizeTitle();
        ui->matrixlabel3->show();
        ui->matrixlabel3V6->hide();
        actionMatrix->setRowEnabled(3, true);
    } else {
        if (selectedActionRow == 3)
            selectedActionRow = 2;
        ui->matrixlabel3->hide();
        ui->matrixlabel3V6->show();
        actionMatrix->setRowEnabled(3, false);
    }

    if (showMoreOptions) {
        ui->matrixBox->show();
        actionMatrix->selectCellAtRow(selectedActionRow);
    } else {
        ui->matrixBox->hide();
        actionMatrix->selectCellAtRow(0);
        ui->timeButton->selectItemAtIndex(0);
        notificationDefaultChoice = ui->timeButton->indexOfSelectedItem();
    }
    updateMatrixGUI();
    updateMoreOptionsString();

    // The time-out.
    ui->timeoutProgress->setVisible(passAppWhenNotificationExpires);
    ui->timeoutProgressBlock->setVisible(!passAppWhenNotificationExpires);
    m_scheduleTimeout();

    attributedAppName = appDisplayNameForPath(parameterProcessName);
    if (!parameterProcessNameVerified)
        attributedAppName += QStringLiteral(" (unverified name)");

    if (!automaticXPC && parameterProcessName.contains(QLatin1String(".xpc/Contents/")) &&
        parameterResponsibleApp != QLatin1String("0")) {
        bool ok = false;
        const uint responsible = parameterResponsibleApp.toUInt(&ok, 10);
        const QString host = ok ? mymanagesocketagent.infoprocess(responsible) : QStringLiteral("error");
        if (host != QLatin1String("error")) {
            const QString hostName = appDisplayNameForPath(host);
            ui->viaAppIcon->setPixmap(Resources::image(QStringLiteral("genericapp")).pixmap(32, 32));
            m_showIcon(ui->viaAppIcon, host);
            viaString = QStringLiteral(" via ") + hostName;
            ui->viaAppLabel->setText(hostName);
        }
    }
    m_showIcon(ui->processImage, parameterProcessName);

    ui->descriptionString->setText(
        generateAttributedDescriptionWithProc(attributedAppName, attributedProtocol, attributedAddress,
                                              attributedPort, attributedUser, attributedNation)
            .toHtml());

    lookUpPortService();
    // An IPv6 address never has a flag.
    if (ipv4)
        matchFlag();
    else
        ui->flagBackground->hide();

    ui->quietButton->setChecked(false);
    ui->quietSlider->setVisible(ui->quietButton->isChecked());

    ui->processSignatureAuthor->clear();
    ui->processSignatureValidity->clear();
    centerOnScreen(window);

    ui->processIP->setText(parameterProcessIP);
    ui->processPort->setText(parameterProcessPort);
    ui->processPort2->setText(parameterProcessPort);
    ui->processPath->setText(parameterProcessName);
    ui->processID->setText(parameterProcessPid);
    ui->processUID->setText(parameterProcessUID);
    ui->processName->setText(attributedAppName + viaString);
    if (auto* path = processNameMenuView->findChild<QLabel*>(QStringLiteral("processNameMenuPath")))
        path->setText(parameterProcessName);
    processNameMenuViewItem->setDefaultWidget(processNameMenuView);
    processNameMenuTitleItem->setText(QString());
    terminateProcessMenuItem->setVisible(parameterProcessUID == currentUID());
    setImageForUserWithUID(parameterProcessUID);

    double x = 0, y = 0, width = 0, height = 0;
    m_frame(x, y, width, height);
    if (height > 180.0 && !enableTolvaneInteraction)
        m_setFrame(x, y + resizeSize, width, startSize);
    ui->manageAtNetworkLevelString->setVisible(enableTolvaneInteraction);
    ui->manageAtNetworkLevelButton->setVisible(enableTolvaneInteraction);

    if (popSound)
        m_playAlertSound();
}

// ------------------------------------------------------------------ look-ups

PANotifyWindowController::ShowingRequest PANotifyWindowController::m_showingRequest()
{
    ShowingRequest request;
    request.alert = this;
    request.tag = parameterTagString;
    return request;
}

void PANotifyWindowController::ShowingRequest::onMain(
    std::function<void(PANotifyWindowController&)> apply) const
{
    // A result that comes after the answer belongs to a window that is gone
    // from the screen, or to a controller that is gone altogether.
    MainQueue::async([alert = alert, tag = tag, apply = std::move(apply)] {
        if (alert && alert->ui && !alert->m_answered && alert->parameterTagString == tag)
            apply(*alert);
    });
}

void PANotifyWindowController::m_refreshSentence()
{
    ui->descriptionString->setText(
        generateAttributedDescriptionWithProc(attributedAppName, attributedProtocol, attributedAddress,
                                              attributedPort, attributedUser, attributedNation)
            .toHtml());
}

void PANotifyWindowController::lookUpPortService()
{
    // What the look-up needs is copied here, on the main thread; the worker
    // never reads the controller.
    const QString address = parameterProcessIP;
    const QString port = parameterProcessPort;
    m_queues.mostraQueue().async([request = m_showingRequest(), address, port] {
        const QString host = HostNames::shared().namesOfAddress(address).value(0);
        const QString service = PAAlertLookups::serviceTextForPort(port);
        request.onMain([host, address, port, service](PANotifyWindowController& alert) {
            if (!host.isEmpty())
                alert.currentHostName = host;
            alert.copyHostnameToClipboardItem->setVisible(!host.isEmpty());
            alert.attributedAddress = host.isEmpty() ? address : host;
            alert.attributedPort = PAAlertLookups::portText(port, service);
            alert.m_refreshSentence();
        });
    });
}

namespace {

// A picture file at its own size; SVG flags are drawn at the size they give.
QImage imageAtOwnSize(const QString& path)
{
    if (path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        QSvgRenderer renderer(path);
        const QSize size = renderer.defaultSize();
        if (!renderer.isValid() || size.isEmpty())
            return {};
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        return image;
    }
    return QImage(path);
}

QImage ovalFlag(const QString& path)
{
    const QImage flag = imageAtOwnSize(path);
    return PANotifyWindowController::arrotonda(flag, flag.width(), flag.height());
}

} // namespace

void PANotifyWindowController::m_showFlag(const QImage& image)
{
    // The flag's place is wider than high; a picture keeps its proportions
    // in it.
    const QSize place = ui->nationFlag->size() * 2;
    QImage fitted(place, QImage::Format_ARGB32_Premultiplied);
    fitted.fill(Qt::transparent);
    if (!image.isNull()) {
        const QImage scaled = image.scaled(place, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QPainter painter(&fitted);
        painter.drawImage((place.width() - scaled.width()) / 2, (place.height() - scaled.height()) / 2,
                          scaled);
    }
    ui->nationFlag->setPixmap(QPixmap::fromImage(fitted));
}

void PANotifyWindowController::matchFlag()
{
    if (!PACountrySource::shared().hasZones())
        return;
    const QString address = parameterProcessIP;
    m_queues.findFlagQueue().async([request = m_showingRequest(), address] {
        using PAAlertLookups::AddressClass;
        const PACountrySource& countries = PACountrySource::shared();
        const AddressClass found = PAAlertLookups::classifyRemoteAddress(address, TLMatchIP(), countries);
        if (found.kind == AddressClass::Label) {
            request.onMain([found](PANotifyWindowController& alert) {
                alert.m_showFlag(Resources::systemImage(found.image).pixmap(64, 64).toImage());
                alert.attributedNation = found.label;
                alert.m_refreshSentence();
            });
            return;
        }
        QString flagPath;
        QString nation = QStringLiteral("Unknown location");
        if (found.kind == AddressClass::Country) {
            flagPath = countries.flagImagePath(found.code);
            nation = PAAlertLookups::nationOfCountry(found.code, countries);
        }
        if (flagPath.isEmpty())
            flagPath = Resources::imagePath(QStringLiteral("terra"));
        request.onMain([flagPath, nation](PANotifyWindowController& alert) {
            alert.m_showFlag(ovalFlag(flagPath));
            alert.attributedNation = nation;
            alert.m_refreshSentence();
        });
    });
}

void PANotifyWindowController::setImageForUserWithUID(const QString& uid)
{
    bool ok = false;
    const qint64 number = uid.toLongLong(&ok, 10);
    const std::optional<QString> name =
        ok && number >= 0 && number <= static_cast<qint64>(std::numeric_limits<uid_t>::max())
            ? Identities::userName(static_cast<uid_t>(number))
            : std::nullopt;
    const QList<Identity> identities = systemUsersList;
    QHash<qsizetype, QImage> pictures;
    const PAAlertLookups::UserPicture picture =
        PAAlertLookups::userPictureFor(uid, name, identities, [&identities, &pictures](qsizetype i) {
            const QImage image = identities.at(i).image();
            pictures.insert(i, image);
            return image.width() > 0 && image.height() > 0;
        });
    QImage shown;
    switch (picture.kind) {
    case PAAlertLookups::UserPicture::Unchanged:
        return;
    case PAAlertLookups::UserPicture::Computer:
        shown = Resources::systemImage(QStringLiteral("NSComputer")).pixmap(96, 96).toImage();
        break;
    case PAAlertLookups::UserPicture::Guest:
        shown = Resources::image(QStringLiteral("guestusericon")).pixmap(96, 96).toImage();
        break;
    case PAAlertLookups::UserPicture::Account: {
        const QImage image = pictures.value(picture.identity);
        shown = arrotonda(image, image.width(), image.height());
        break;
    }
    }
    m_showingRequest().onMain([shown](PANotifyWindowController& alert) {
        alert.ui->userPicture->setPixmap(QPixmap::fromImage(shown));
    });
}

void PANotifyWindowController::clickGetSignatureInfo()
{
    if (!ui)
        return;
    ui->getSignatureButton->hide();
    ui->signatureinfoString->hide();
    getSignatureInfo();
}

void PANotifyWindowController::getSignatureInfo()
{
    const QString path = parameterProcessName;
    m_queues.lookUps().async([request = m_showingRequest(), path] {
        const PAAlertLookups::SignatureValidity validity =
            PAAlertLookups::signatureValidity(CodeSigning::shared().verify(path));
        // The lights are only ever switched on: each window starts dark.
        request.onMain([validity](PANotifyWindowController& alert) {
            alert.ui->processSignatureValidity->setText(validity.text);
            if (validity.missing)
                alert.ui->ledNoSignature->show();
            if (validity.invalid)
                alert.ui->ledInvalidSignature->show();
        });
        if (validity.missing)
            return;
        const std::optional<PAAlertLookups::SignatureAuthor> author =
            PAAlertLookups::signatureAuthor(CodeSigning::shared().describe(path));
        if (!author)
            return;
        request.onMain([author = *author](PANotifyWindowController& alert) {
            alert.ui->processSignatureAuthor->setText(author.text);
            if (author.apple)
                alert.ui->ledAppleSignature->show();
        });
    });
}

namespace {

bool isAddress(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    unsigned char address[sizeof(in6_addr)];
    return inet_pton(AF_INET, bytes.constData(), address) == 1 ||
           inet_pton(AF_INET6, bytes.constData(), address) == 1;
}

} // namespace

void PANotifyWindowController::clickWhois()
{
    const QString address = parameterProcessIP;
    m_queues.lookUps().async([address] {
        // The address is one argument of the program, never shell text; and
        // only an address, so it cannot pass itself off as an option.
        const QString result =
            isAddress(address)
                ? CommandRunner::shared().runChecked(QStringLiteral("/usr/bin/whois"), {address})
                : QStringLiteral("ERROR");
        const QByteArray text = (PAAlertLookups::cleanWhoisOutput(result) + QLatin1Char('\n')).toUtf8();
        std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
        std::fflush(stdout);
    });
}

void PANotifyWindowController::m_showIcon(QLabel* target, const QString& path)
{
    // Only the path work runs off the main thread; the icon is made on it.
    QPointer<QLabel> label(target);
    QPointer<PANotifyWindowController> self(this);
    m_queues.work().async([label, self, path] {
        const QString bundle =
            path.contains(QLatin1String(".app/Contents/")) ? PAApplication::bundlePathOf(path) : path;
        MainQueue::async([label, self, bundle] {
            if (!label || !self || self->m_answered)
                return;
            label->setPixmap(Workspace::iconForApplication(bundle).pixmap(64, 64));
        });
    });
}

AttributedDescription
PANotifyWindowController::generateAttributedDescriptionWithProc(const QString& proc, const QString& prot,
                                                                const QString& addr, const QString& port,
                                                                const QString& user, const QString& nation)
{
    const QString nationPart = nation.isEmpty() ? QString() : nation + QStringLiteral(" at");
    AttributedDescription description;
    description.text = user + QStringLiteral(" using ") + proc + QStringLiteral(" is trying a ") + prot +
                       QStringLiteral(" connection to ") + nationPart + QLatin1Char(' ') + addr +
                       QStringLiteral(" on port ") + port + QLatin1Char('.');
    const auto bold = [&description](const QString& value, int skip = 0) {
        if (value.size() <= skip)
            return;
        const int at = static_cast<int>(description.text.indexOf(value));
        if (at >= 0)
            description.boldRuns.append({at + skip, static_cast<int>(value.size()) - skip});
    };
    bold(prot);
    bold(addr);
    bold(QStringLiteral("port ") + port, 5);
    bold(user);
    bold(proc);
    bold(nation);
    return description;
}

QString AttributedDescription::toHtml() const
{
    std::vector<bool> isBold(static_cast<size_t>(text.size()), false);
    for (const auto& [start, length] : boldRuns)
        for (int i = start; i < start + length && i < text.size(); ++i)
            isBold[static_cast<size_t>(i)] = true;
    const QString colour = SystemColors::labelColor().name();
    QString html;
    int i = 0;
    while (i < text.size()) {
        int end = i;
        while (end < text.size() && isBold[static_cast<size_t>(end)] == isBold[static_cast<size_t>(i)])
            ++end;
        const QString run = text.mid(i, end - i).toHtmlEscaped();
        if (isBold[static_cast<size_t>(i)])
            html += QStringLiteral("<span style=\"font-weight:600; font-size:12px; color:%1\">%2</span>")
                        .arg(colour, run);
        else
            html += run;
        i = end;
    }
    // Two blanks in a row are kept as the sentence has them.
    html.replace(QStringLiteral("  "), QStringLiteral("&nbsp; "));
    return html;
}

void PANotifyWindowController::updateNotifyWindowGlobalSize()
{
    if (!m_window)
        return;
    double x = 0, y = 0, width = 0, height = 0;
    m_frame(x, y, width, height);
    notificationWindowHeight = height;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect main = screen->geometry();
    xoffset = main.width() - width - x;
    yoffset = main.height() - height - y;
}

QImage PANotifyWindowController::arrotonda(const QImage& image, double width, double height)
{
    QImage rounded(image.size(), QImage::Format_ARGB32_Premultiplied);
    rounded.fill(Qt::transparent);
    QPainter painter(&rounded);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath oval;
    oval.setFillRule(Qt::OddEvenFill);
    oval.addRoundedRect(QRectF(0, 0, width, height), width * 0.5, height * 0.5);
    painter.setClipPath(oval);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setOpacity(1.0);
    painter.drawImage(QPointF(0, 0), image);
    return rounded;
}

QString PANotifyWindowController::eseguiShellCommand(const QString& launchPath, const QStringList& argomenti)
{
    return CommandRunner::shared().run(launchPath, argomenti);
}

void PANotifyWindowController::removeAllObservers()
{
    invalidateTimer(managerTimer);
}

// ------------------------------------------------------------------ the answer

void PANotifyWindowController::sendUserChoice(int choice, const std::optional<QString>& action,
                                              const std::optional<QString>& iporport, int /*timervalue*/,
                                              bool automatic, const QString& subnet)
{
    // One request gets one answer, whatever fires late.
    if (m_answered)
        return;
    m_answered = true;
    for (TimerRef* timer : {&timeoutTimer, &indicatorTimer})
        invalidateTimer(*timer);
    if (!m_road.claimAnswer(parameterTagString)) {
        qCWarning(lcAlert, "[PALISOR AGENT] request %s is not the open one; it gets no further answer",
                  qUtf8Printable(parameterTagString));
        return;
    }

    const bool known = appExistsInGlobalArray(parameterProcessName);
    if (choice == 0 || choice == 1) {
        m_send(DaemonAnswer::withState(parameterOriginalRequestString, choice));
        // No one chose this for a process that may have made its name up: a
        // 30-second rule would stand in for the real app of that name.
        if (automatic && !parameterProcessNameVerified) {
            m_road.end(parameterTagString);
            return;
        }
        std::shared_ptr<PAApplication> app = known ? getAppFromGlobalArray(parameterProcessName)
                                                   : generatePAApplication(choice, parameterProcessName);
        QAction* duration = ui ? ui->timeButton->selectedItem() : timeForever;
        const bool temporary = automatic || (duration && duration != timeForever);
        if (known && temporary) {
            app->beginTemporaryRule(choice);
        } else if (known) {
            app->setRule(choice);
            app->keepCurrentRule();
        }
        if (duration && duration == timeForever) {
            app->setAppIsPersistent(true);
        } else if (duration && duration == timeNextLogin) {
            app->setAppIsPersistent(false);
            app->setAppHasTimer(true);
        } else if (duration && duration == timeMenuItem) {
            app->setAppIsPersistent(false);
            app->setAppTimer(timeSlider->value() * 60.0);
            app->setAppHasTimer(true);
        }
        if (automatic) {
            app->setAppIsPersistent(false);
            app->setAppTimer(30.0);
            app->setAppHasTimer(true);
        }
        if (!known)
            ruleLists().insertApp(app);
        m_road.end(parameterTagString);
        return;
    }
    if (choice != 4 || !action || !iporport) {
        // No caller passes anything else; the request still gets its end.
        m_road.end(parameterTagString);
        return;
    }

    const bool pass = *action == QLatin1String("pass");
    const bool address = *iporport == QLatin1String("IP");
    m_send(DaemonAnswer::withMatch(parameterOriginalRequestString, !address, !pass));

    std::shared_ptr<PAApplication> app =
        known ? getAppFromGlobalArray(parameterProcessName) : generatePAApplication(4, parameterProcessName);
    if (ui && ui->quietButton->isChecked()) {
        app->setQuiet(pass ? QStringLiteral("pass") : QStringLiteral("block"), quietTime);
    }

    const bool network = address && !subnet.isEmpty();
    const QString text = address ? (network ? subnet : parameterProcessIP) : parameterProcessPort;
    const QString match = (pass ? QStringLiteral("@") : QStringLiteral("#")) + text;
    const bool present = app->appMatches().contains(match);
    if (!present) {
        QStringList matches = app->appMatches();
        if (!address && known)
            matches.prepend(match);
        else
            matches.append(match);
        app->setAppMatches(matches);
    }
    if (!known) {
        ruleLists().insertApp(app);
        if (address)
            appNotificationCenter().post(QStringLiteral("sendConfiguration"));
    } else if (network) {
        appNotificationCenter().post(QStringLiteral("sendConfiguration"));
    }
    m_road.end(parameterTagString);
}

void PANotifyWindowController::userAction(QObject* sender)
{
    if (!ui || m_answered)
        return;
    const bool pass = sender == ui->advancedPass;
    if (!pass && sender != ui->advancedBlock)
        return;
    const int row = actionMatrix->selectedRow();
    if (row < 0 || row > 3)
        return;
    for (TimerRef* timer : {&managerTimer, &indicatorTimer, &timeoutTimer})
        invalidateTimer(*timer);
    const QString side = pass ? QStringLiteral("pass") : QStringLiteral("block");
    switch (row) {
    case 0:
        sendUserChoice(pass ? 0 : 1, std::nullopt, std::nullopt, 0, false, QString());
        break;
    case 1:
        sendUserChoice(4, side, QStringLiteral("Port"), 0, false, QString());
        break;
    case 2:
        sendUserChoice(4, side, QStringLiteral("IP"), 0, false, QString());
        break;
    default: {
        // A typed IPv6 network counts only while its row is usable: the
        // row's placeholder title is no network.
        const QString subnet =
            parameterProcessIP.contains(QLatin1Char('.'))
                ? ui->matrixlabel3->titleOfSelectedItem()
                : (actionMatrix->isRowEnabled(3) ? PopUpButton::itemTitle(matrixlabel3V6Title) : QString());
        sendUserChoice(4, side, QStringLiteral("IP"), 0, false, subnet);
        break;
    }
    }
    m_closeAfterAnswer();
}

void PANotifyWindowController::m_closeAfterAnswer()
{
    updateNotifyWindowGlobalSize();
    isNotifyWindowOpen = false;
    svuotaTutto();
    if (m_window)
        m_window->close();
}

void PANotifyWindowController::silentlyPass()
{
    if (m_answered)
        return;
    for (TimerRef* timer : {&indicatorTimer, &timeoutTimer})
        invalidateTimer(*timer);
    sendUserChoice(0, std::nullopt, std::nullopt, 0, false, QString());
    m_closeAfterAnswer();
}

void PANotifyWindowController::clickSilenceBtn()
{
    if (m_answered)
        return;
    for (TimerRef* timer : {&timeoutTimer, &indicatorTimer})
        invalidateTimer(*timer);
    Alert alert;
    alert.messageText = QStringLiteral("Disable Notification Alerts?");
    alert.icon = QStringLiteral("NSCaution");
    alert.buttons = {QStringLiteral("Keep Alerts Enabled"), QStringLiteral("Disable Notification Alerts")};
    alert.informativeText = QStringLiteral("Are you sure? If you disable notification alerts your all your "
                                           "mixed-state apps configurations will be "
                                           "modified and you will not be alerted in case an app makes an "
                                           "unknown connection. Palisor offers many way "
                                           "to limit notification alerts frequency. Please run Palisor "
                                           "Configuration Assistant or documentation for "
                                           "more info.");
    QPointer<PANotifyWindowController> self(this);
    AlertPresenter::shared().beginSheet(alert, m_window.get(), [self](AlertResult result) {
        if (!self || self->m_answered)
            return;
        if (result.response == AlertFirstButtonReturn) {
            self->riprendiTimeout();
            return;
        }
        invalidateTimer(self->managerTimer);
        appNotificationCenter().post(QStringLiteral("silenceNotifications"));
        self->silentlyPass();
    });
}

void PANotifyWindowController::closeNotify()
{
    m_closeAfterAnswer();
}

void PANotifyWindowController::svuotaTutto()
{
    if (ui) {
        ui->processImage->clear();
        ui->viaAppIcon->clear();
    }
    serviceLibrary.clear();
}

// ------------------------------------------------- time-out and quiet period

void PANotifyWindowController::m_setIndicator(double value)
{
    m_indicatorValue = value;
    if (!ui)
        return;
    // The bars count in tenths so that a time-out that is no whole number of
    // seconds still fills them exactly.
    for (QProgressBar* bar : {ui->timeoutProgress, ui->timeoutProgressBlock}) {
        bar->setRange(0, static_cast<int>(std::lround(std::max(0.0, notificationsTimeOut.value()) * 10)));
        bar->setValue(static_cast<int>(std::lround(std::max(0.0, value) * 10)));
    }
}

void PANotifyWindowController::m_scheduleTimeout()
{
    // Whatever this replaces stops first: a timer left running would answer
    // the request a second time.
    for (TimerRef* timer : {&timeoutTimer, &indicatorTimer})
        invalidateTimer(*timer);
    if (m_answered)
        return;
    m_setIndicator(notificationsTimeOut);
    QPointer<PANotifyWindowController> self(this);
    timeoutTimer = Clock::shared().scheduledTimer(notificationsTimeOut, false, [self] {
        if (self)
            self->expireTimeout();
    });
    indicatorTimer = Clock::shared().scheduledTimer(1.0, true, [self] {
        if (self)
            self->decreaseIndicator();
    });
}

void PANotifyWindowController::decreaseIndicator()
{
    m_setIndicator(m_indicatorValue - 1.0);
}

void PANotifyWindowController::expireTimeout()
{
    invalidateTimer(indicatorTimer);
    invalidateTimer(timeoutTimer);
    if (m_answered)
        return;
    sendUserChoice(passAppWhenNotificationExpires ? 0 : 1, std::nullopt, std::nullopt, 0, true, QString());
    m_closeAfterAnswer();
}

void PANotifyWindowController::stoppaTimeout()
{
    invalidateTimer(timeoutTimer);
    invalidateTimer(indicatorTimer);
}

void PANotifyWindowController::riprendiTimeout()
{
    m_scheduleTimeout();
}

void PANotifyWindowController::stopAndRestartTimeout()
{
    stoppaTimeout();
    riprendiTimeout();
}

void PANotifyWindowController::menuWillOpen(QMenu* /*menu*/)
{
    ++m_openMenus;
    stoppaTimeout();
    if (soundMenuItem)
        soundMenuItem->setText(popSound ? QStringLiteral("Disable notification sound")
                                        : QStringLiteral("Enable notification sound"));
}

void PANotifyWindowController::menuDidClose(QMenu* menu)
{
    m_openMenus = std::max(0, m_openMenus - 1);
    // A submenu closing inside another open menu does not restart the count.
    if (m_openMenus == 0 && !m_answered)
        riprendiTimeout();
    if (ui && menu == rememberPopupMenu) {
        QAction* selected = ui->timeButton->selectedItem();
        if (selected != timeForever && selected != timeNextLogin && selected != timeMenuItem) {
            ui->timeButton->selectItem(timeMenuItem);
            updateAdvancedBtnLabels();
        }
    }
}

void PANotifyWindowController::m_titleTimeMenuItem()
{
    const int minutes = timeSlider->value();
    timeMenuItem->setText(QStringLiteral("This app for %1 %2")
                              .arg(minutes)
                              .arg(minutes < 2 ? QStringLiteral("minute") : QStringLiteral("minutes")));
    ui->timeButton->synchronizeTitle();
}

void PANotifyWindowController::updateWithSlider()
{
    m_titleTimeMenuItem();
    notificationDefaultTime = timeSlider->value();
    updateAdvancedBtnLabels();
}

void PANotifyWindowController::clickPopupButton()
{
    if (ui->timeButton->indexOfSelectedItem() == 3)
        ui->timeButton->selectItemAtIndex(2);
    notificationDefaultChoice = ui->timeButton->indexOfSelectedItem();
    stopAndRestartTimeout();
    actionMatrix->selectCellAtRow(0);
    updateMatrixGUI();
    selectedActionRow = actionMatrix->selectedRow();
    updateAdvancedBtnLabels();
}

void PANotifyWindowController::updateQuietSlider()
{
    quietTime = ui->quietSlider->value();
    ui->quietButton->setText(m_secondsTitle(quietTime));
}

void PANotifyWindowController::showHideQuietSlider()
{
    ui->quietSlider->setVisible(ui->quietButton->isChecked());
    quietButtonState = ui->quietButton->isChecked() ? 1 : 0;
}

// ------------------------------------------------------- the further choices

void PANotifyWindowController::updateMatrixGUI()
{
    if (actionMatrix->selectedRow() == 2) {
        ui->quietButton->show();
        ui->quietSlider->setVisible(ui->quietButton->isChecked());
    } else {
        ui->quietButton->hide();
        ui->quietSlider->hide();
    }
    updateAdvancedBtnLabels();
}

void PANotifyWindowController::updateAdvancedBtnLabels()
{
    if (!ui)
        return;
    QString target;
    switch (actionMatrix->selectedRow()) {
    case 0: {
        const QAction* duration = ui->timeButton->selectedItem();
        if (duration == timeForever) {
            target = QStringLiteral("this app forever");
        } else if (duration == timeNextLogin) {
            target = QStringLiteral("this app until next logout");
        } else if (duration == timeMenuItem) {
            const int minutes = timeSlider->value();
            target = QStringLiteral("this app for %1 %2")
                         .arg(minutes)
                         .arg(minutes < 2 ? QStringLiteral("minute") : QStringLiteral("minutes"));
        }
        break;
    }
    case 1:
        target = QStringLiteral("port ") + parameterProcessPort;
        break;
    case 2:
        target = parameterProcessIP;
        break;
    case 3:
        target = QStringLiteral("network ") + (parameterProcessIP.contains(QLatin1Char('.'))
                                                   ? ui->matrixlabel3->titleOfSelectedItem()
                                                   : PopUpButton::itemTitle(matrixlabel3V6Title));
        break;
    default:
        break;
    }
    ui->advancedPass->setText(buttonTitle(QStringLiteral("Pass ") + target));
    ui->advancedBlock->setText(buttonTitle(QStringLiteral("Block ") + target));
}

void PANotifyWindowController::selectActionMatrix()
{
    selectedActionRow = actionMatrix->selectedRow();
    updateMatrixGUI();
}

void PANotifyWindowController::selectMatrixLabel3()
{
    actionMatrix->selectCellAtRow(3);
    updateMatrixGUI();
    selectedActionRow = actionMatrix->selectedRow();
    updateAdvancedBtnLabels();
}

void PANotifyWindowController::clickMoreOptions()
{
    showMoreOptions = !showMoreOptions;
    updateMoreOptionsStatus();
    stopAndRestartTimeout();
    userDefaults().setBool(showMoreOptions, QStringLiteral("showMoreOptions"));
}

void PANotifyWindowController::updateMoreOptionsStatus()
{
    if (showMoreOptions) {
        ui->moreOptionsString->setText(QStringLiteral("less options..."));
        // A network row switched off by a refused IPv6 network is not
        // selected again; its address row stands for it.
        actionMatrix->selectCellAtRow(actionMatrix->isRowEnabled(selectedActionRow) ? selectedActionRow : 2);
        ui->matrixBox->show();
    } else {
        actionMatrix->selectCellAtRow(0);
        ui->matrixBox->hide();
        ui->timeButton->selectItemAtIndex(0);
        notificationDefaultChoice = ui->timeButton->indexOfSelectedItem();
    }
    updateMoreOptionsString();
    updateMatrixGUI();
}

void PANotifyWindowController::updateMoreOptionsString()
{
    ui->moreOptionsString->setText(showMoreOptions ? QStringLiteral("less options...")
                                                   : QStringLiteral("more options..."));
}

void PANotifyWindowController::setSubnetV6()
{
    const QString text = addSubnetString->text();
    if (text.isEmpty()) {
        updateMatrixGUI();
        return;
    }
    const TLMatchIP matcher;
    QString message;
    if (!matcher.validateIPV6cidr(text))
        message = QStringLiteral("invalid IPv6 network address");
    else if (!matcher.matchIPV6(parameterProcessIP, text))
        message = QStringLiteral("address outside network range");
    if (message.isEmpty()) {
        addSubnetCaution->hide();
        addSubnetError->clear();
        actionMatrix->setRowEnabled(3, true);
        actionMatrix->selectCellAtRow(3);
        PopUpButton::setItemTitle(matrixlabel3V6Title, text);
    } else {
        addSubnetCaution->show();
        addSubnetError->setText(message);
        actionMatrix->selectCellAtRow(2);
        actionMatrix->setRowEnabled(3, false);
        matrixlabel3V6Title->setText(QStringLiteral("Set network address..."));
    }
    updateMatrixGUI();
}

// ------------------------------------------------------------ window commands

void PANotifyWindowController::resizeNotification()
{
    if (!m_window)
        return;
    double x = 0, y = 0, width = 0, height = 0;
    m_frame(x, y, width, height);
    if (height <= startSize)
        m_setFrame(x, y - resizeSize, width, height + resizeSize);
    else
        m_setFrame(x, y + resizeSize, width, startSize);
    stopAndRestartTimeout();
}

namespace {

void putOnClipboard(const QString& text)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

} // namespace

void PANotifyWindowController::copyIPToClipboard()
{
    putOnClipboard(parameterProcessIP);
}

void PANotifyWindowController::copyPortToClipboard()
{
    putOnClipboard(parameterProcessPort);
}

void PANotifyWindowController::copyPathToClipboard()
{
    putOnClipboard(parameterProcessName);
}

void PANotifyWindowController::copyHostnameToClipboard()
{
    putOnClipboard(currentHostName);
}

void PANotifyWindowController::clickSoundBtn()
{
    const bool wasOn = popSound;
    popSound = !popSound;
    if (!wasOn)
        m_playAlertSound();
}

void PANotifyWindowController::revealAppInFinder()
{
    Workspace::revealInFileManager(parameterProcessName);
}

void PANotifyWindowController::killProcess()
{
    bool ok = false;
    const qint64 pid = parameterProcessPid.toLongLong(&ok, 10);
    // Only the process that made the request, and only while it still runs
    // what it ran then: a pid reused by another program is left alone.
    if (!ok || pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return;
    ProcessInfo::terminateIfExecutable(static_cast<pid_t>(pid), m_requestExecutable);
}

void PANotifyWindowController::m_playAlertSound()
{
    SoundPlayer::shared().playSystemSound(soundName + QStringLiteral(".aiff"));
}
