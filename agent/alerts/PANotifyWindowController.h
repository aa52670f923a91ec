#pragma once

#include "daemonlink/PARequestRoad.h"
#include "daemonlink/managesocketagent.h"
#include "platform/Clock.h"

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class PAApplication;
class PANotifyWindowController;
class PAWorkQueues;
class PopUpButton;
class QAction;
class QImage;
class QLabel;
class QLineEdit;
class QMenu;
class QSlider;
class QWidget;
class QWidgetAction;
class RadioMatrix;
class TLService;

namespace Ui {
class PANotifyWindowController;
}

// The description sentence of an alert: the text and the runs shown bold.
struct AttributedDescription
{
    QString text;
    // (start, length) in `text`.
    QList<QPair<int, int>> boldRuns;
    // Rich text for a label; every character of `text` is escaped.
    QString toHtml() const;
};

// One connection alert: made for each request that reaches the saved rules.
// It answers from them when it can and only then shows its window; the window
// is made only for a request that must be asked.
class PANotifyWindowController : public QObject
{
    Q_OBJECT

public:
    PANotifyWindowController(PARequestRoad& road, PAWorkQueues& queues, QObject* parent = nullptr);
    ~PANotifyWindowController() override;

    QString parameterProcessPid;
    QString parameterProcessName;
    QString parameterProcessUID;
    QString parameterProcessIP;
    QString parameterProcessPort;
    QString parameterProcessUDPorTCP;
    QString parameterProcessIPversion;
    QString parameterOriginalRequestString;
    QString parameterTagString;
    QString parameterResponsibleApp;
    // False when parameterProcessName is only what the process calls itself
    // (argv[0] of a process the agent may not inspect): no saved rule may
    // answer for it, and the alert says so.
    bool parameterProcessNameVerified = true;

    QString attributedAddress;
    QString attributedPort;
    QString attributedUser;
    QString attributedProtocol;
    QString attributedNation;
    QString attributedAppName;
    QString currentHostName;
    QString viaString;
    bool notificationIsDisplayed = false;
    // Cleared when a quiet period answers; only a controller that still has
    // it shows itself or gives the switched-off answer.
    bool mostro = true;
    static constexpr double startSize = 175.0;
    static constexpr double resizeSize = 197.0;

    TimerRef timeoutTimer;
    TimerRef indicatorTimer;
    TimerRef managerTimer;
    managesocketagent mymanagesocketagent;
    QIcon globalpassedupIcon;
    QIcon globalblockedupIcon;
    std::vector<std::shared_ptr<TLService>> serviceLibrary;

    // The alert window; made on the first showWindow().
    QWidget* myNotifyWindow() const { return m_window.get(); }

    // --- the request and its saved-rule answer
    // An empty `processUID` is looked up from `pid` only when the alert is to
    // be shown: a request the saved rules answer never needs it.
    void setNotifyParameters(const QString& pid, const QString& processName, const QString& processUID,
                             const QString& processIP, const QString& processPort,
                             const QString& processUDPorTCP, const QString& processIPversion,
                             const QString& originalRequestString, const QString& tagNotify,
                             const QString& responsibleApp, bool processNameVerified = true);
    void checkExistingRules();
    void answerWhenAlertsDisabled();
    void showAlertOnMain();

    // Ends the request of `tag` on the road the composition root made (see
    // PARequestRoad::end()).
    static void resumeQueue(const QString& tag);

    QString translateParameterProcessName(const QString& path) const;
    bool appExistsInGlobalArray(const QString& path) const;
    std::shared_ptr<PAApplication> getAppFromGlobalArray(const QString& path) const;
    std::shared_ptr<PAApplication> generatePAApplication(qint64 rule, const QString& nameProcess) const;

    // --- the window
    void showWindow();
    void windowDidLoad();
    void mostra();
    static AttributedDescription
    generateAttributedDescriptionWithProc(const QString& proc, const QString& prot, const QString& addr,
                                          const QString& port, const QString& user, const QString& nation);
    void updateNotifyWindowGlobalSize();
    static QImage arrotonda(const QImage& image, double width, double height);
    QString eseguiShellCommand(const QString& launchPath, const QStringList& argomenti);
    void removeAllObservers();
    // The name an alert shows for an executable path.
    static QString appDisplayNameForPath(const QString& path);
    static QString currentUID();

    // --- look-ups that fill the window in while it shows
    // Host name and the port's service, on mostraQueue.
    void lookUpPortService();
    // Address class or country with its flag, on findFlagQueue; nothing
    // while the country table is empty.
    void matchFlag();
    void setImageForUserWithUID(const QString& uid);
    void clickGetSignatureInfo();
    // The signing tool's reports, on the pool of blocking look-ups.
    void getSignatureInfo();
    // Writes the whois record of the remote address to standard output; the
    // program runs on the pool of blocking look-ups.
    void clickWhois();

    // --- the answer
    void sendUserChoice(int choice, const std::optional<QString>& action,
                        const std::optional<QString>& iporport, int timervalue, bool automatic,
                        const QString& subnet);
    void userAction(QObject* sender);
    void silentlyPass();
    void clickSilenceBtn();
    void closeNotify();
    void svuotaTutto();
    // Set once the request has been answered; nothing answers it again.
    bool isAnswered() const { return m_answered; }

    // --- time-out, durations and the quiet period
    void decreaseIndicator();
    void expireTimeout();
    void stoppaTimeout();
    void riprendiTimeout();
    void stopAndRestartTimeout();
    void menuWillOpen(QMenu* menu);
    void menuDidClose(QMenu* menu);
    void updateWithSlider();
    void clickPopupButton();
    void updateQuietSlider();
    void showHideQuietSlider();
    double timeoutIndicatorValue() const { return m_indicatorValue; }

    // --- the further choices
    void updateMatrixGUI();
    void updateAdvancedBtnLabels();
    void selectActionMatrix();
    void selectMatrixLabel3();
    void clickMoreOptions();
    void updateMoreOptionsStatus();
    void updateMoreOptionsString();
    void setSubnetV6();

    // --- window commands
    void resizeNotification();
    void copyIPToClipboard();
    void copyPortToClipboard();
    void copyPathToClipboard();
    void copyHostnameToClipboard();
    void clickSoundBtn();
    void revealAppInFinder();
    void killProcess();

    // Controls made in code rather than in the form (menus and their items).
    QMenu* processNameMenu = nullptr;
    QAction* processNameMenuTitleItem = nullptr;
    QWidgetAction* processNameMenuViewItem = nullptr;
    QAction* terminateProcessMenuItem = nullptr;
    QAction* copyHostnameToClipboardItem = nullptr;
    QAction* soundMenuItem = nullptr;
    QMenu* rememberPopupMenu = nullptr;
    QAction* timeForever = nullptr;
    QAction* timeNextLogin = nullptr;
    QAction* timeMenuItem = nullptr;
    QWidgetAction* timeMenuChooser = nullptr;
    QSlider* timeSlider = nullptr;
    QAction* matrixnetA = nullptr;
    QAction* matrixnetB = nullptr;
    QAction* matrixnetC = nullptr;
    QAction* matrixlabel3V6Title = nullptr;
    QWidgetAction* matrixlabel3V6ViewItem = nullptr;
    QLineEdit* addSubnetString = nullptr;
    QLabel* addSubnetCaution = nullptr;
    QLabel* addSubnetError = nullptr;
    RadioMatrix* actionMatrix = nullptr;
    QPointer<QWidget> timeView;
    QPointer<QWidget> processNameMenuView;
    QPointer<QWidget> subnetV6view;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A look-up's way back: it holds the alert weakly and the request it was
    // started for, and its result is shown only while that alert is still
    // up for that request. Made on the main thread, used from any.
    class ShowingRequest
    {
    public:
        void onMain(std::function<void(PANotifyWindowController&)> apply) const;

    private:
        friend class PANotifyWindowController;
        QPointer<PANotifyWindowController> alert;
        QString tag;
    };
    ShowingRequest m_showingRequest();
    void m_refreshSentence();
    void m_showFlag(const QImage& image);
    void m_send(const QString& text);
    void m_playAlertSound();
    void m_titleTimeMenuItem();
    void m_closeAfterAnswer();
    void m_scheduleTimeout();
    void m_setIndicator(double value);
    void m_buildMenus();
    void m_connectControls();
    void m_watchMenu(QMenu* menu);
    void m_setFrame(double x, double y, double width, double height);
    void m_frame(double& x, double& y, double& width, double& height) const;
    void m_showIcon(QLabel* target, const QString& path);
    QString m_secondsTitle(double seconds) const;

    PARequestRoad& m_road;
    PAWorkQueues& m_queues;
    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<Ui::PANotifyWindowController> ui;
    // What the request's pid ran when the request came; the process is ended
    // only while it still runs that.
    QString m_requestExecutable;
    double m_indicatorValue = 0.0;
    int m_openMenus = 0;
    bool m_answered = false;
    bool m_windowLoaded = false;
};
