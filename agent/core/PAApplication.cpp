#include "core/PAApplication.h"

#include "core/SharedState.h"
#include "platform/CodeSigning.h"
#include "platform/CommandRunner.h"
#include "platform/ConcurrentQueue.h"
#include "platform/MainQueue.h"
#include "platform/Resources.h"
#include "platform/SystemColors.h"
#include "platform/Workspace.h"

#include <QFileInfo>
#include <QPointer>
#include <QVariantMap>

#include <algorithm>
#include <optional>

namespace {

bool isUnderSystemFolder(const QString& path)
{
    return path.startsWith(QLatin1String("/System/Library/")) ||
           path.startsWith(QLatin1String("/usr/libexec/")) || path.startsWith(QLatin1String("/usr/sbin/"));
}

std::optional<QString> firstAuthorityLine(const QString& description)
{
    const QStringList lines = description.split(QLatin1Char('\n'));
    for (const QString& line : lines)
        if (line.startsWith(QLatin1String("Authority=")))
            return line;
    return std::nullopt;
}

// "Authority=Developer ID Application: Name (TEAM)" names the signer between
// the first "=" and the next one (or the end of the line).
QString signerText(const QString& kind, const QString& authorityLine)
{
    const qsizetype start = authorityLine.indexOf(QLatin1Char('=')) + 1;
    const qsizetype end = authorityLine.indexOf(QLatin1Char('='), start);
    const QString authority = authorityLine.mid(start, end < 0 ? -1 : end - start);
    QString text = kind + QStringLiteral(" is signed by ") + authority;
    text.remove(QStringLiteral("Developer ID Application: "));
    return text;
}

bool isAppleAuthority(const QString& authorityLine)
{
    return authorityLine == QLatin1String("Authority=Software Signing") ||
           authorityLine == QLatin1String("Authority=Apple Mac OS Application Signing");
}

} // namespace

PAApplication::PAApplication(const QString& appName, const QStringList& appBinaries, bool appIsBundle,
                             bool appIsBlocked, const QString& appPath, std::optional<bool> pathExists)
    : m_appName(appName)
    , m_appBinaries(appBinaries)
    , m_appIsBundle(appIsBundle)
    , m_appIsBlocked(appIsBlocked)
    , m_appPath(appPath)
    , m_appLabelColor(SystemColors::labelColor())
    , m_appSerial(++s_lastSerial)
{
    m_appExists = pathExists ? *pathExists : !appPath.isEmpty() && QFileInfo::exists(appPath);
    setIcon();
    // Until a rule state is set, a blocked app is simply shown red.
    m_appLabelColor = appIsBlocked ? SystemColors::red() : SystemColors::labelColor();
    // The path was looked at a moment ago: a load of thousands of apps need
    // not look at each twice.
    m_getSignatureInfo(m_appExists);
    m_appIsSystemBinary = !appIsBundle && isUnderSystemFolder(appPath);
}

PAApplication::~PAApplication()
{
    invalidateTimer(m_timer);
    invalidateTimer(m_quietTimer);
}

std::atomic<quint64> PAApplication::s_identityGeneration{0};
std::atomic<quint64> PAApplication::s_lastSerial{0};
ConcurrentQueue* PAApplication::s_signatureCheckQueue = nullptr;

void PAApplication::setSignatureCheckQueue(ConcurrentQueue* queue)
{
    s_signatureCheckQueue = queue;
}

ConcurrentQueue* PAApplication::signatureCheckQueue()
{
    return s_signatureCheckQueue;
}

void PAApplication::setAppName(const QString& value)
{
    m_appName = value;
    ++s_identityGeneration;
    emit changed();
}

void PAApplication::setAppBinaries(const QStringList& value)
{
    m_appBinaries = value;
    ++s_identityGeneration;
    emit changed();
}

void PAApplication::setAppIsBundle(bool value)
{
    m_appIsBundle = value;
    emit changed();
}

void PAApplication::setAppImage(const QIcon& value)
{
    m_appImage = value;
    emit changed();
}

void PAApplication::setAppIsBlocked(bool value)
{
    m_appIsBlocked = value;
    emit changed();
}

void PAApplication::setAppIsBlockedOrAllowed(qint64 value)
{
    m_appIsBlockedOrAllowed = value;
    emit changed();
}

void PAApplication::setAppHits(qint64 value)
{
    m_appHits = value;
    emit changed();
}

void PAApplication::setAppHitsMinimumToShow(qint64 value)
{
    m_appHitsMinimumToShow = value;
    emit changed();
}

void PAApplication::setAppPath(const QString& value)
{
    m_appPath = value;
    // The apps index looks apps up by path too.
    ++s_identityGeneration;
    emit changed();
}

void PAApplication::setAppCounterIsVisible(bool value)
{
    m_appCounterIsVisible = value;
    emit changed();
}

void PAApplication::setAppRelatedBundleName(const QString& value)
{
    m_appRelatedBundleName = value;
    emit changed();
}

void PAApplication::setAppSignatureInfo(const QString& value)
{
    m_appSignatureInfo = value;
    emit changed();
}

void PAApplication::setAppIsSigned(bool value)
{
    m_appIsSigned = value;
    emit changed();
}

void PAApplication::setAppHasValidSignature(bool value)
{
    m_appHasValidSignature = value;
    emit changed();
}

void PAApplication::setAppIsSignedByApple(bool value)
{
    m_appIsSignedByApple = value;
    emit changed();
}

void PAApplication::setAppLocalizedName(const QString& value)
{
    m_appLocalizedName = value;
    emit changed();
}

void PAApplication::setAppLocalizedNameCentered(const QString& value)
{
    m_appLocalizedNameCentered = value;
    emit changed();
}

void PAApplication::setAppIsPersistent(bool value)
{
    m_appIsPersistent = value;
    emit changed();
}

void PAApplication::setTimer(TimerRef value)
{
    m_timer = std::move(value);
    emit changed();
}

void PAApplication::setQuietTimer(TimerRef value)
{
    m_quietTimer = std::move(value);
    emit changed();
}

void PAApplication::setAppHasTimer(bool value)
{
    m_appHasTimer = value;
    emit changed();
}

void PAApplication::setAppLabelColor(const QColor& value)
{
    // Recolouring every app after a load would otherwise repaint all of them.
    if (m_appLabelColor == value && m_appLabelColor.isValid() == value.isValid())
        return;
    m_appLabelColor = value;
    emit changed();
}

void PAApplication::setAppMatches(const QStringList& value)
{
    m_appMatches = value;
    emit changed();
}

void PAApplication::setAppMatchesBackup(const QStringList& value)
{
    m_appMatchesBackup = value;
    emit changed();
}

void PAApplication::setAppIsYellow(bool value)
{
    m_appIsYellow = value;
    emit changed();
}

void PAApplication::setAppIsQuietPass(bool value)
{
    m_appIsQuietPass = value;
    emit changed();
}

void PAApplication::setAppIsQuietBlock(bool value)
{
    m_appIsQuietBlock = value;
    emit changed();
}

void PAApplication::setAppGreenShadow(bool value)
{
    m_appGreenShadow = value;
    emit changed();
}

void PAApplication::setAppRedShadow(bool value)
{
    m_appRedShadow = value;
    emit changed();
}

void PAApplication::setAppExists(bool value)
{
    m_appExists = value;
    emit changed();
}

void PAApplication::setAppIsSystemBinary(bool value)
{
    m_appIsSystemBinary = value;
    emit changed();
}

void PAApplication::setAppNameHighlight(TextRange value)
{
    if (value.isEmpty())
        value = {};
    if (value == m_appNameHighlight)
        return;
    m_appNameHighlight = value;
    emit changed();
}

void PAApplication::setIcon()
{
    setAppImage(m_appExists ? Workspace::iconForApplication(m_appPath)
                            : Resources::image(QStringLiteral("unknownapp")));
}

void PAApplication::getSignatureInfo()
{
    m_getSignatureInfo(!m_appPath.isEmpty() && QFileInfo::exists(m_appPath));
}

void PAApplication::m_getSignatureInfo(bool pathExists)
{
    if (!verifySignatures || !pathExists) {
        setAppIsSigned(true);
        setAppHasValidSignature(true);
        setAppIsSignedByApple(false);
        return;
    }
    setAppSignatureInfo(QString());
    setAppIsSignedByApple(false);
    setAppHasValidSignature(true);
    setAppIsSigned(true);
    if (!s_signatureCheckQueue)
        return;

    // The worker steps see only copies: the record may be gone by the time
    // they finish, which the guarded pointer tells the main-thread steps.
    const QPointer<PAApplication> self(this);
    const QString path = m_appPath;
    const QString kind = m_appIsBundle ? QStringLiteral("App") : QStringLiteral("Binary");
    // The signing tool is asked directly, never through a shell command line
    // built from the path: a path is whatever the user's disk holds, quotes
    // and "$(...)" included.
    s_signatureCheckQueue->async([self, path, kind] {
        const QString verification = CodeSigning::shared().verify(path);
        MainQueue::async([self, path, kind, verification] {
            if (!self || !self->m_applySignatureVerification(kind, verification))
                return;
            // The pool is read again here: its owner may have gone meanwhile.
            if (!s_signatureCheckQueue)
                return;
            s_signatureCheckQueue->async([self, path, kind] {
                const std::optional<QString> authority =
                    firstAuthorityLine(CodeSigning::shared().describe(path));
                if (!authority)
                    return;
                const QString signer = signerText(kind, *authority);
                MainQueue::async([self, signer] {
                    if (self)
                        self->m_applySigner(signer, false);
                });
                if (isAppleAuthority(*authority)) {
                    const QString apple = kind + QStringLiteral(" is signed by Apple");
                    MainQueue::async([self, apple] {
                        if (self)
                            self->m_applySigner(apple, true);
                    });
                }
            });
        });
    });
}

bool PAApplication::m_applySignatureVerification(const QString& kind, const QString& output)
{
    if (output.contains(QLatin1String("object is not signed"))) {
        setAppIsSigned(false);
        setAppSignatureInfo(kind + QStringLiteral(" is not signed"));
        return false;
    }
    setAppIsSigned(true);
    setAppHasValidSignature(output.isEmpty());
    return true;
}

void PAApplication::m_applySigner(const QString& signatureInfo, bool signedByApple)
{
    setAppSignatureInfo(signatureInfo);
    if (signedByApple)
        setAppIsSignedByApple(true);
}

void PAApplication::setQuiet(const QString& mode, double time)
{
    if (mode == QLatin1String("pass")) {
        setAppIsQuietPass(true);
        setAppIsQuietBlock(false);
    } else if (mode == QLatin1String("block")) {
        setAppIsQuietBlock(true);
        setAppIsQuietPass(false);
    }
    // A new period replaces the running one: its timer would end the new
    // period early.
    invalidateTimer(m_quietTimer);
    const QPointer<PAApplication> self(this);
    setQuietTimer(Clock::shared().scheduledTimer(time, false, [self] {
        if (self)
            self->expireQuiet();
    }));
}

void PAApplication::expireQuiet()
{
    setAppIsQuietBlock(false);
    setAppIsQuietPass(false);
    invalidateTimer(m_quietTimer);
}

void PAApplication::removePassedMatchesWithApp(PAApplication& app)
{
    QStringList kept;
    for (const QString& match : app.appMatches())
        if (match.startsWith(QLatin1Char('#')))
            kept.append(match);
    app.setAppMatches(kept);
}

void PAApplication::removeBlockedMatchesWithApp(PAApplication& app)
{
    QStringList kept;
    for (const QString& match : app.appMatches())
        if (match.startsWith(QLatin1Char('@')))
            kept.append(match);
    app.setAppMatches(kept);
}

void PAApplication::setRule(qint64 value)
{
    QColor color;
    switch (value) {
    case 4:
        // Asking leaves the matches, a quiet period and a temporary rule alone.
        setAppIsBlockedOrAllowed(4);
        setAppIsYellow(true);
        setAppIsBlocked(false);
        setAppLabelColor(labelColor4());
        setAppRedShadow(false);
        setAppGreenShadow(false);
        return;
    case 2:
        setAppIsBlockedOrAllowed(2);
        setAppIsBlocked(false);
        setAppIsYellow(false);
        setAppRedShadow(true);
        setAppGreenShadow(false);
        color = labelColor2();
        break;
    case 3:
        setAppIsBlockedOrAllowed(3);
        setAppIsBlocked(true);
        setAppIsYellow(false);
        setAppRedShadow(false);
        setAppGreenShadow(true);
        color = labelColor3();
        break;
    default:
        // Pass all and block all have no use for matches; an unknown state
        // is treated as pass all.
        setAppMatches({});
        setAppIsBlockedOrAllowed(value);
        setAppIsBlocked(value == 1);
        setAppIsYellow(false);
        setAppRedShadow(false);
        setAppGreenShadow(false);
        color = value == 1 ? labelColor1() : labelColor0();
        break;
    }
    setAppLabelColor(color);
    setAppIsQuietBlock(false);
    setAppIsQuietPass(false);
    invalidateTimer(m_quietTimer);
    invalidateTimer(m_timer);
    setAppHasTimer(false);
}

void PAApplication::beginTemporaryRule(qint64 value)
{
    // A rule set while no temporary one ran is the saved one, even when an
    // older saved rule is still kept aside.
    if (!m_savedRule || !m_appHasTimer)
        m_savedRule = SavedRule{m_appIsBlockedOrAllowed, m_appMatches};
    setRule(value);
}

bool PAApplication::endTemporaryRule()
{
    if (!m_savedRule)
        return false;
    const SavedRule saved = *m_savedRule;
    m_savedRule.reset();
    setRule(saved.state);
    // After setRule(), which empties the matches of states 0 and 1.
    setAppMatches(saved.matches);
    return true;
}

void PAApplication::setAppTimer(double seconds)
{
    invalidateTimer(m_timer);
    const QPointer<PAApplication> self(this);
    setTimer(Clock::shared().scheduledTimer(seconds, false, [self] {
        if (self)
            self->expireApp();
    }));
}

void PAApplication::expireApp()
{
    appNotificationCenter().post(
        QStringLiteral("expireApp"),
        QVariantMap{{QStringLiteral("appName"), m_appName},
                    {QStringLiteral("appSerial"), QVariant::fromValue(m_appSerial)}});
}

void PAApplication::stopAppTimer()
{
    invalidateTimer(m_timer);
    setAppHasTimer(false);
}

void PAApplication::updateLabelColor()
{
    switch (m_appIsBlockedOrAllowed) {
    case 1:
        setAppLabelColor(labelColor1());
        break;
    case 2:
        setAppLabelColor(labelColor2());
        break;
    case 3:
        setAppLabelColor(labelColor3());
        break;
    case 4:
        setAppLabelColor(labelColor4());
        break;
    default:
        setAppLabelColor(labelColor0());
        break;
    }
}

QString PAApplication::eseguiShellCommand(const QString& launchPath, const QStringList& argomenti)
{
    return CommandRunner::shared().run(launchPath, argomenti);
}

QString PAApplication::bundleNameOf(const QString& path)
{
    for (const QString& component : path.split(QLatin1Char('/')))
        if (component.endsWith(QLatin1String(".app")))
            return component;
    return {};
}

bool PAApplication::belongsTo(const QString& binary, const QString& processPath)
{
    QStringView own(binary);
    while (own.endsWith(QLatin1Char('/')))
        own.chop(1);
    if (own.isEmpty())
        return false;
    return processPath.startsWith(own) &&
           (processPath.size() == own.size() || processPath.at(own.size()) == QLatin1Char('/'));
}

QString PAApplication::binaryPath(const QString& binary) const
{
    if (binary.startsWith(QLatin1Char('/')))
        return binary;
    const qsizetype slash = m_appPath.lastIndexOf(QLatin1Char('/'));
    if (binary.isEmpty() || slash < 0)
        return {};
    return m_appPath.left(slash + 1) + binary;
}

bool PAApplication::holdsProcess(const QString& processPath) const
{
    if (belongsTo(m_appPath, processPath))
        return true;
    return std::any_of(m_appBinaries.cbegin(), m_appBinaries.cend(),
                       [&](const QString& binary) { return belongsTo(binaryPath(binary), processPath); });
}

QString PAApplication::bundlePathOf(const QString& path)
{
    const QStringList components = path.split(QLatin1Char('/'));
    QStringList kept;
    bool found = false;
    for (const QString& component : components) {
        kept.append(component);
        if (component.endsWith(QLatin1String(".app"))) {
            found = true;
            break;
        }
    }
    if (!found)
        return {};
    QString result = kept.join(QLatin1Char('/'));
    result.replace(QLatin1String("//"), QLatin1String("/"));
    result.replace(QLatin1String("//"), QLatin1String("/"));
    return result;
}

std::shared_ptr<PAApplication> PAApplication::generatePAApplication(qint64 rule, const QString& path)
{
    std::shared_ptr<PAApplication> app;
    if (!path.contains(QLatin1String(".app/Contents/"))) {
        const QString name = path.section(QLatin1Char('/'), -1);
        app = std::make_shared<PAApplication>(name, QStringList{path}, false, false, path);
        app->setAppLocalizedName(name);
        app->setAppLocalizedNameCentered(name);
    } else {
        const QString name = bundleNameOf(path);
        const QString bundlePath = bundlePathOf(path);
        app = std::make_shared<PAApplication>(name, QStringList{name + QLatin1Char('/')}, true, false,
                                              bundlePath);
        QString shown = name;
        if (shown.endsWith(QLatin1String(".app")))
            shown.chop(4);
        if (!bundlePath.isEmpty()) {
            if (const std::optional<QString> displayName =
                    Workspace::bundleInfoString(bundlePath, QStringLiteral("CFBundleDisplayName")))
                shown = *displayName;
        }
        app->setAppLocalizedName(shown);
        app->setAppLocalizedNameCentered(shown);
    }
    app->setRule(rule);
    return app;
}
