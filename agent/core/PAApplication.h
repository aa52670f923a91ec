#pragma once

#include "platform/Clock.h"

#include <QColor>
#include <QHash>
#include <QIcon>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <optional>

class ConcurrentQueue;

// One managed app: an application bundle or a single executable for which the
// user keeps a rule. Records are created and changed on the main thread (and
// inside synchronizedQueue items, which run there too). Every setter emits
// changed(), so views bound to a record follow it.
class PAApplication : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString appName READ appName WRITE setAppName NOTIFY changed)
    Q_PROPERTY(QString appPath READ appPath WRITE setAppPath NOTIFY changed)
    Q_PROPERTY(
        qint64 appIsBlockedOrAllowed READ appIsBlockedOrAllowed WRITE setAppIsBlockedOrAllowed NOTIFY changed)
    Q_PROPERTY(bool appIsSystemBinary READ appIsSystemBinary WRITE setAppIsSystemBinary NOTIFY changed)

public:
    // The only initialiser: callers set the rule state afterwards (normally
    // with setRule()) and fill the two display names themselves. A caller
    // that has just looked at the path (a load looks at thousands together)
    // passes what it found; otherwise the record looks itself.
    PAApplication(const QString& appName, const QStringList& appBinaries, bool appIsBundle, bool appIsBlocked,
                  const QString& appPath, std::optional<bool> pathExists = std::nullopt);
    ~PAApplication() override;

    const QString& appName() const { return m_appName; }
    void setAppName(const QString& value);
    const QStringList& appBinaries() const { return m_appBinaries; }
    void setAppBinaries(const QStringList& value);
    bool appIsBundle() const { return m_appIsBundle; }
    void setAppIsBundle(bool value);
    const QIcon& appImage() const { return m_appImage; }
    void setAppImage(const QIcon& value);
    bool appIsBlocked() const { return m_appIsBlocked; }
    void setAppIsBlocked(bool value);
    // The rule state 0 to 4 (pass all, block all, pass but "#", block but "@", ask).
    qint64 appIsBlockedOrAllowed() const { return m_appIsBlockedOrAllowed; }
    void setAppIsBlockedOrAllowed(qint64 value);
    qint64 appHits() const { return m_appHits; }
    void setAppHits(qint64 value);
    qint64 appHitsMinimumToShow() const { return m_appHitsMinimumToShow; }
    void setAppHitsMinimumToShow(qint64 value);
    const QString& appPath() const { return m_appPath; }
    void setAppPath(const QString& value);
    bool appCounterIsVisible() const { return m_appCounterIsVisible; }
    void setAppCounterIsVisible(bool value);
    const QString& appRelatedBundleName() const { return m_appRelatedBundleName; }
    void setAppRelatedBundleName(const QString& value);
    const QHash<QString, int>& appConnections() const { return m_appConnections; }
    const QString& appSignatureInfo() const { return m_appSignatureInfo; }
    void setAppSignatureInfo(const QString& value);
    bool appIsSigned() const { return m_appIsSigned; }
    void setAppIsSigned(bool value);
    bool appHasValidSignature() const { return m_appHasValidSignature; }
    void setAppHasValidSignature(bool value);
    bool appIsSignedByApple() const { return m_appIsSignedByApple; }
    void setAppIsSignedByApple(bool value);
    // Display names; the centred one is the same text shown centred.
    const QString& appLocalizedName() const { return m_appLocalizedName; }
    void setAppLocalizedName(const QString& value);
    const QString& appLocalizedNameCentered() const { return m_appLocalizedNameCentered; }
    void setAppLocalizedNameCentered(const QString& value);
    bool appIsPersistent() const { return m_appIsPersistent; }
    void setAppIsPersistent(bool value);
    // The temporary-rule and quiet-period timers; null or invalid when none runs.
    const TimerRef& timer() const { return m_timer; }
    void setTimer(TimerRef value);
    const TimerRef& quietTimer() const { return m_quietTimer; }
    void setQuietTimer(TimerRef value);
    bool appHasTimer() const { return m_appHasTimer; }
    void setAppHasTimer(bool value);
    const QColor& appLabelColor() const { return m_appLabelColor; }
    void setAppLabelColor(const QColor& value);
    const QStringList& appMatches() const { return m_appMatches; }
    void setAppMatches(const QStringList& value);
    const QStringList& appMatchesBackup() const { return m_appMatchesBackup; }
    void setAppMatchesBackup(const QStringList& value);
    bool appIsYellow() const { return m_appIsYellow; }
    void setAppIsYellow(bool value);
    bool appIsQuietPass() const { return m_appIsQuietPass; }
    void setAppIsQuietPass(bool value);
    bool appIsQuietBlock() const { return m_appIsQuietBlock; }
    void setAppIsQuietBlock(bool value);
    bool appGreenShadow() const { return m_appGreenShadow; }
    void setAppGreenShadow(bool value);
    bool appRedShadow() const { return m_appRedShadow; }
    void setAppRedShadow(bool value);
    bool appExists() const { return m_appExists; }
    void setAppExists(bool value);
    bool appIsSystemBinary() const { return m_appIsSystemBinary; }
    void setAppIsSystemBinary(bool value);
    // The part of the display name that the last search found, in the name's
    // own code units; the views draw it highlighted. Empty when nothing matched.
    struct TextRange
    {
        qsizetype start = 0;
        qsizetype length = 0;
        bool isEmpty() const { return length <= 0; }
        bool operator==(const TextRange&) const = default;
    };
    const TextRange& appNameHighlight() const { return m_appNameHighlight; }
    // Emits changed() only when the range differs, so a search repaints only
    // the names whose highlight it changed.
    void setAppNameHighlight(TextRange value);

    void setIcon();
    // Starts the signature check; results arrive later on the main thread.
    void getSignatureInfo();
    // The pool the signature checks run on. The signing tool is another
    // program, so its runs belong on the owner's bounded pool of blocking
    // look-ups; records are made everywhere (loads, alerts, the main window)
    // and the check starts as each is made, so the pool is set once for all
    // of them by the composition root (tests set their own). While none is
    // set no check starts and a record counts as signed and valid, as with
    // the check switched off. Main thread only.
    static void setSignatureCheckQueue(ConcurrentQueue* queue);
    static ConcurrentQueue* signatureCheckQueue();
    // "pass" or "block"; any other text changes no flag but still starts the timer.
    void setQuiet(const QString& mode, double time);
    void expireQuiet();
    // Both act on `app`, not on the receiver.
    void removePassedMatchesWithApp(PAApplication& app);
    void removeBlockedMatchesWithApp(PAApplication& app);
    void setRule(qint64 value);

    // The rule the user saved, kept aside while a temporary rule (a time-out's
    // 30 seconds, the next login, some minutes) stands in for it: the saved
    // configuration keeps it, and it comes back when the temporary rule ends.
    struct SavedRule
    {
        qint64 state = 0;
        QStringList matches;
    };
    // Sets `value` for a while; the rule in force before is kept aside unless
    // an earlier temporary rule already kept the saved one.
    void beginTemporaryRule(qint64 value);
    // The saved rule back in force, if one was kept aside; true when it was.
    bool endTemporaryRule();
    // Forgets the rule kept aside: the current one is the saved rule now.
    void keepCurrentRule() { m_savedRule.reset(); }
    const std::optional<SavedRule>& savedRule() const { return m_savedRule; }

    // Tells this record from every other made in this run, names and paths
    // alike; never reused, never saved or sent.
    quint64 appSerial() const { return m_appSerial; }

    void setAppTimer(double seconds);
    // Posts "expireApp" {"appName": appName, "appSerial": appSerial} on
    // appNotificationCenter: the main window ends this record's temporary
    // rule, not that of another app of the same name.
    void expireApp();
    void stopAppTimer();
    void updateLabelColor();
    QString eseguiShellCommand(const QString& launchPath, const QStringList& argomenti);

    // A new record for a process path, not yet in any list: a bundle when the
    // path runs through "X.app/Contents/", else a single executable.
    static std::shared_ptr<PAApplication> generatePAApplication(qint64 rule, const QString& path);
    // The bundle around an executable: the path up to its first component
    // ending in ".app" (doubled slashes removed); "" when it has none.
    static QString bundlePathOf(const QString& path);
    // That component ("Mail.app"); "" when none.
    static QString bundleNameOf(const QString& path);
    // Whether a process at `processPath` is judged by the rule kept for
    // `binary`: the binary itself, or anything inside it when it is a folder
    // (an app's helpers run from inside its bundle). Merely containing the
    // binary's path is not enough: any user can copy a program to
    // "/tmp/x/<its path>" or "<its path>.x".
    static bool belongsTo(const QString& binary, const QString& processPath);
    // A binary as a full path. A bundle keeps its binary as the bundle's own
    // name ("Mail.app/"), which lies beside appPath; "" when there is no
    // folder to put it in, so that it holds nothing.
    QString binaryPath(const QString& binary) const;
    // Whether this app's rule judges a process at `processPath`.
    bool holdsProcess(const QString& processPath) const;
    // Changes whenever any record's name, binaries or path change, so that look-up
    // indexes over the apps know when to rebuild.
    static quint64 identityGeneration() { return s_identityGeneration.load(); }

signals:
    void changed();

private:
    static std::atomic<quint64> s_identityGeneration;
    static std::atomic<quint64> s_lastSerial;
    static ConcurrentQueue* s_signatureCheckQueue;

    void m_getSignatureInfo(bool pathExists);
    // Main-thread steps of the signature check; false when the check ends there.
    bool m_applySignatureVerification(const QString& kind, const QString& output);
    void m_applySigner(const QString& signatureInfo, bool signedByApple);

    QString m_appName;
    QStringList m_appBinaries;
    bool m_appIsBundle = false;
    QIcon m_appImage;
    bool m_appIsBlocked = false;
    qint64 m_appIsBlockedOrAllowed = 0;
    qint64 m_appHits = 0;
    qint64 m_appHitsMinimumToShow = 9;
    QString m_appPath;
    bool m_appCounterIsVisible = false;
    QString m_appRelatedBundleName;
    QHash<QString, int> m_appConnections;
    QString m_appSignatureInfo;
    bool m_appIsSigned = false;
    bool m_appHasValidSignature = false;
    bool m_appIsSignedByApple = false;
    QString m_appLocalizedName;
    QString m_appLocalizedNameCentered;
    bool m_appIsPersistent = true;
    TimerRef m_timer;
    TimerRef m_quietTimer;
    bool m_appHasTimer = false;
    QColor m_appLabelColor;
    QStringList m_appMatches;
    QStringList m_appMatchesBackup;
    bool m_appIsYellow = false;
    bool m_appIsQuietPass = false;
    bool m_appIsQuietBlock = false;
    bool m_appGreenShadow = false;
    bool m_appRedShadow = false;
    bool m_appExists = false;
    bool m_appIsSystemBinary = false;
    TextRange m_appNameHighlight;
    std::optional<SavedRule> m_savedRule;
    const quint64 m_appSerial;
};
