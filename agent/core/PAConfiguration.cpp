#include "core/PAConfiguration.h"

#include "core/AgentLog.h"
#include "core/PAApplication.h"
#include "core/PAExclusion.h"
#include "core/PAManagedRecords.h"
#include "core/PAPreferenceTable.h"
#include "core/PARuleLists.h"
#include "core/SharedState.h"
#include "platform/AlertPresenter.h"
#include "platform/BinaryPlistBuilder.h"
#include "platform/CommandRunner.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/FileChooser.h"
#include "platform/FreedMemory.h"
#include "platform/MainQueue.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "platform/Resources.h"
#include "platform/Workspace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <grp.h>
#include <map>
#include <pwd.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kDeliverToAllSessions =
    DistributedNotificationCenter::DeliverImmediately | DistributedNotificationCenter::PostToAllSessions;

// An executable inside a bundle is stored with its own path; the app is the
// outermost bundle around it. Stored paths are always read as absolute here.
QString storedBundlePath(const QString& appPath)
{
    QString path;
    for (const QString& component : appPath.split(QLatin1Char('/'))) {
        path += QLatin1Char('/') + component;
        if (path.endsWith(QLatin1String(".app")))
            break;
    }
    path.replace(QLatin1String("//"), QLatin1String("/"));
    path.replace(QLatin1String("//"), QLatin1String("/"));
    return path;
}

// Whether each path exists, looked at by several threads: a load of thousands
// of apps otherwise waits on as many file-system calls one after another.
std::vector<char> existingPaths(const std::vector<QString>& paths)
{
    std::vector<char> exists(paths.size(), 0);
    auto look = [&paths, &exists](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i)
            exists[i] = !paths[i].isEmpty() && QFileInfo::exists(paths[i]);
    };
    constexpr size_t pathsWorthAThread = 512;
    const size_t workers = std::clamp<size_t>(
        std::min<size_t>(std::thread::hardware_concurrency(), paths.size() / pathsWorthAThread), 1, 8);
    const size_t share = (paths.size() + workers - 1) / workers;
    std::vector<std::thread> helpers;
    for (size_t begin = share; begin < paths.size(); begin += share)
        helpers.emplace_back(look, begin, std::min(paths.size(), begin + share));
    look(0, std::min(paths.size(), share));
    for (std::thread& helper : helpers)
        helper.join();
    return exists;
}

QString currentUserName()
{
    if (const passwd* entry = getpwuid(getuid()))
        return QString::fromLocal8Bit(entry->pw_name);
    return QString::number(getuid());
}

QString currentGroupName()
{
    if (const group* entry = getgrgid(getgid()))
        return QString::fromLocal8Bit(entry->gr_name);
    return QString::number(getgid());
}

// A private folder for files that are then handed to an administrator run: a
// fixed name in /tmp could be planted by anyone.
QString makePrivateTemporaryFolder(const char* prefix)
{
    QByteArray pattern = QByteArray("/tmp/") + prefix + ".XXXXXX";
    if (!mkdtemp(pattern.data()))
        return {};
    return QString::fromLocal8Bit(pattern);
}

} // namespace

PAConfiguration::PAConfiguration(QObject* parent)
    : QObject(parent)
{
}

PAConfiguration::~PAConfiguration() = default;

QString PAConfiguration::confPath() const
{
    return Paths::system(QStringLiteral("/etc/palisor.conf"));
}

QString PAConfiguration::pathForLog() const
{
    return QString::fromLocal8Bit(qgetenv("HOME")) + QStringLiteral("/Library/Logs/palisor.log");
}

void PAConfiguration::awakeFromNib()
{
    appNotificationCenter().addObserver(QStringLiteral("loadCustomPreset"), this,
                                        [this](const NotificationCenter::Notification& notification) {
                                            loadCustomPreset(notification.userInfo);
                                        });
}

void PAConfiguration::loadCustomPreset(const QVariantMap& userInfo)
{
    const QVariant value = userInfo.value(QStringLiteral("presetPath"));
    if (value.typeId() != QMetaType::QString) {
        qCWarning(lcConfiguration).noquote()
            << QStringLiteral("loadCustomPreset without a preset path ignored");
        return;
    }
    const QString path = value.toString();
    QPointer<PAConfiguration> self(this);
    auto load = [self, path] {
        if (self)
            self->loadConf(path);
    };
    // A preset switched while a connection alert holds the queue waits for
    // the answer instead of holding the main thread.
    if (!synchronizedQueue().syncBarrier(load))
        synchronizedQueue().asyncBarrier(load);
}

// ---------------------------------------------------------------- user defaults

void PAConfiguration::readUserDefaults()
{
    PASettings::readUserDefaults(userDefaults());
}

// ---------------------------------------------------------------- loading

bool PAConfiguration::loadConf(const QString& path)
{
    if (!QFileInfo::exists(path))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcConfiguration).noquote()
            << QStringLiteral("Configuration %1 cannot be read (%2); the current configuration is kept")
                   .arg(path, file.errorString());
        return false;
    }
    // Everything is checked before anything of the running model is replaced,
    // so a damaged file leaves the rules the user has.
    QString reason;
    const std::optional<PAConfigurationRecords::Configuration> configuration =
        PAConfigurationRecords::parseData(file.readAll(), &reason);
    if (!configuration) {
        qCWarning(lcConfiguration).noquote()
            << QStringLiteral("Configuration %1 is malformed (%2); the current configuration is kept")
                   .arg(path, reason);
        return false;
    }
    // One line per kind: a newer writer's file may hold thousands of them.
    // The kind is the file's text, so it reaches the log shortened and with
    // nothing that could forge a line or a terminal sequence, and a file of
    // countless invented kinds cannot flood the log.
    std::map<QString, int> unreadKinds;
    for (const PAConfigurationRecords::UnreadRecord& unread : configuration->unread)
        ++unreadKinds[unread.record.value(QStringLiteral("PalisorClassName")).toString()];
    constexpr std::size_t kKindsLogged = 10;
    std::size_t logged = 0;
    for (const auto& [kind, count] : unreadKinds) {
        if (logged++ == kKindsLogged) {
            qCWarning(lcConfiguration).noquote()
                << QStringLiteral("Configuration %1 holds records of %2 more kinds this agent does not read; "
                                  "they are kept as they are and written back")
                       .arg(path)
                       .arg(unreadKinds.size() - kKindsLogged);
            break;
        }
        QString shown = kind.size() > 64 ? kind.left(64) + QStringLiteral("...") : kind;
        for (QChar& character : shown)
            if (!character.isPrint())
                character = QLatin1Char('?');
        qCWarning(lcConfiguration).noquote()
            << QStringLiteral("Configuration %1 holds %2 record(s) of kind \"%3\", which this agent does not "
                              "read; they are kept as they are and written back")
                   .arg(path)
                   .arg(count)
                   .arg(shown);
    }
    m_apply(*configuration);
    // The file's bytes, its decoded tree and the rule set's encoding are all
    // gone by the next turn of the event loop.
    FreedMemory::releaseSoon();
    return true;
}

void PAConfiguration::m_apply(const PAConfigurationRecords::Configuration& configuration)
{
    emit loadStarted();
    enableNotifications = false;

    // Managed apps.
    std::vector<QString> paths;
    paths.reserve(configuration.apps.size());
    for (const PAConfigurationRecords::AppRecord& record : configuration.apps)
        paths.push_back(record.appIsBundle && !record.appPath.endsWith(QLatin1String(".app"))
                            ? storedBundlePath(record.appPath)
                            : record.appPath);
    const std::vector<char> exists = existingPaths(paths);
    PARuleLists::Apps loadedApps;
    loadedApps.reserve(configuration.apps.size());
    for (size_t i = 0; i < configuration.apps.size(); ++i) {
        const PAConfigurationRecords::AppRecord& record = configuration.apps[i];
        const QString& path = paths[i];
        auto app = std::make_shared<PAApplication>(record.appName, record.appBinaries, record.appIsBundle,
                                                   record.appIsBlockedOrAllowed == 1, path, exists[i] != 0);
        app->setAppIsBlockedOrAllowed(record.appIsBlockedOrAllowed);
        app->setRule(record.appIsBlockedOrAllowed);
        app->setAppLocalizedName(record.appName);
        app->setAppLocalizedNameCentered(record.appName);
        // After setRule(), which empties the matches of states 0 and 1.
        app->setAppMatches(record.appMatches);
        if (record.appIsBlockedOrAllowed == 4)
            app->setAppIsYellow(true);
        if (record.appName.endsWith(QLatin1String(".app"))) {
            QString name = record.appName.left(record.appName.size() - 4);
            // The record looked at its path when it was made.
            if (app->appExists()) {
                const std::optional<QString> displayName =
                    Workspace::bundleInfoString(path, QStringLiteral("CFBundleDisplayName"));
                if (displayName && !displayName->isEmpty())
                    name = *displayName;
            }
            app->setAppLocalizedName(name);
            app->setAppLocalizedNameCentered(name);
        }
        app->setAppIsBlockedOrAllowed(record.appIsBlockedOrAllowed);
        loadedApps.push_back(app);
    }
    ruleLists().replaceApps(std::move(loadedApps));

    for (const QVariantMap& preferences : configuration.preferences)
        m_applyPreferences(preferences);

    // Managed Folders.
    PARuleLists::Exclusions folders;
    folders.reserve(configuration.exclusions.size());
    for (const PAConfigurationRecords::ExclusionRecord& record : configuration.exclusions)
        folders.push_back(
            std::make_shared<PAExclusion>(record.path, record.rule, record.ignored, record.hardcoded));
    ruleLists().replaceExclusions(std::move(folders));

    // Global Rules.
    PARuleLists::Records rules;
    rules.reserve(configuration.records.size());
    for (const PAConfigurationRecords::ManagedRecord& record : configuration.records)
        rules.push_back(std::make_shared<PAManagedRecords>(record.record, record.type, record.rule));
    ruleLists().replaceRecords(std::move(rules));
    unreadRecords = configuration.unread;

    // The windows refresh, then the rules go to the daemon.
    emit configurationApplied();
    sendConf();
    emit configurationPublished();
}

void PAConfiguration::m_applyPreferences(const QVariantMap& record)
{
    PASettings::applyRecord(record, [this] { m_askAutomaticXPC(); });
}

void PAConfiguration::m_askAutomaticXPC()
{
    emit automaticXPCQuestionWillOpen();
    automaticXPC = false;
    // One question at a time: a second old-style record while it is open adds
    // nothing the open question does not already ask.
    if (m_xpcQuestionOpen)
        return;
    m_xpcQuestionOpen = true;

    Alert alert;
    alert.messageText = QStringLiteral("Enable automatic XPC services management?");
    alert.icon = QStringLiteral("NSCaution");
    alert.buttons = {QStringLiteral("Enable"), QStringLiteral("Keep disabled")};
    alert.informativeText =
        QStringLiteral("You are about to activate an old Palisor configuration where 'Automatic XPC "
                       "Management' option is not "
                       "set.\nThis  feature simplifies firewall use and allows a more powerful set of rules. "
                       "Activating this option "
                       "removes all XPC services from current managed apps. XPC services connections will be "
                       "matched against their "
                       "responsible app accordingly, instead of being managed independently.\n\nDo you want "
                       "to enable automatic XPC "
                       "management?\nYou can also enable this feature later from Palisor Preferences. ");
    QPointer<PAConfiguration> self(this);
    AlertPresenter::shared().beginSheet(alert, window, [self](AlertResult result) {
        if (!self)
            return;
        self->m_xpcQuestionOpen = false;
        if (result.response != AlertFirstButtonReturn)
            return;
        automaticXPC = true;
        emit self->automaticXPCEnabled();
    });
}

// ---------------------------------------------------------------- writing and publishing

bool PAConfiguration::writeConf(const QString& path, bool encodeConf, bool sendDaemon)
{
    const QVariantList array = PAConfigurationRecords::recordArray();

    PASettings::writeColors(userDefaults());

    QString error;
    if (!encodeConf) {
        if (PropertyList::writeFile(path, array, PropertyList::Format::Xml, &error))
            return true;
        qCWarning(lcConfiguration).noquote()
            << QStringLiteral("Configuration could not be written to %1 (%2)").arg(path, error);
        return false;
    }
    const QVariantMap wrapper = PAConfigurationRecords::wrapper(array);
    if (sendDaemon) {
        const QString name = QStringLiteral("writePalisorConfiguration");
        const QByteArray bytes = PropertyList::toData(wrapper, PropertyList::Format::Binary);
        if (!m_fitsOnBus(name, bytes.size()))
            return false;
        DistributedNotificationCenter::defaultCenter().postNotificationData(
            name, QStringLiteral("zz.palisor.writePalisorConfiguration"), bytes, kDeliverToAllSessions);
        return true;
    }
    if (PropertyList::writeFile(path, QVariantList{wrapper}, PropertyList::Format::Xml, &error))
        return true;
    qCWarning(lcConfiguration).noquote()
        << QStringLiteral("Configuration could not be written to %1 (%2)").arg(path, error);
    return false;
}

void PAConfiguration::sendConf()
{
    // Written straight from the lists into the bytes the bus carries, as
    // PropertyList::toData() would write the dictionary
    // {AppList, ExclusionList, RecordList}: each dictionary reserved first,
    // then each value before its key, keys in order. With thousands of apps a
    // value tree of it cost as much again as the writing.
    BinaryPlistBuilder plist;
    const auto dictionary =
        [&plist](std::initializer_list<std::pair<QString, std::function<uint32_t()>>> entries) {
            const uint32_t object = plist.reserve();
            std::vector<uint32_t> keys;
            std::vector<uint32_t> values;
            for (const auto& [key, value] : entries) {
                values.push_back(value());
                keys.push_back(plist.string(key));
            }
            plist.setDictionary(object, keys, values);
            return object;
        };

    const uint32_t top = dictionary({
        {QStringLiteral("AppList"),
         [&] {
             std::vector<uint32_t> apps;
             apps.reserve(sharedAppsLibrary.size());
             for (const auto& app : sharedAppsLibrary)
                 apps.push_back(dictionary({
                     {QStringLiteral("appBinaries"), [&] { return plist.strings(app->appBinaries()); }},
                     {QStringLiteral("appIsBlockedOrAllowed"),
                      [&] { return plist.integer(app->appIsBlockedOrAllowed()); }},
                     {QStringLiteral("appMatches"), [&] { return plist.strings(app->appMatches()); }},
                 }));
             return plist.array(apps);
         }},
        {QStringLiteral("ExclusionList"),
         [&] {
             std::vector<uint32_t> folders;
             for (const auto& folder : exclusionsList)
                 folders.push_back(dictionary({
                     {QStringLiteral("path"), [&] { return plist.string(folder->path()); }},
                     {QStringLiteral("rule"), [&] { return plist.integer(folder->rule()); }},
                 }));
             return plist.array(folders);
         }},
        {QStringLiteral("RecordList"),
         [&] {
             std::vector<uint32_t> rules;
             for (const auto& rule : recordsList)
                 rules.push_back(dictionary({
                     {QStringLiteral("record"), [&] { return plist.string(rule->record()); }},
                     {QStringLiteral("rule"), [&] { return plist.integer(rule->rule()); }},
                     {QStringLiteral("type"), [&] { return plist.integer(rule->type()); }},
                 }));
             return plist.array(rules);
         }},
    });
    const QString name = QStringLiteral("newAppListReceived");
    const QByteArray bytes = plist.finish(top);
    if (!m_fitsOnBus(name, bytes.size()))
        return;
    DistributedNotificationCenter::defaultCenter().postNotificationData(name, QStringLiteral("zz.tolvane"),
                                                                        bytes, kDeliverToAllSessions);
}

bool PAConfiguration::m_fitsOnBus(const QString& name, qsizetype bytes)
{
    if (DistributedNotificationCenter::userInfoFits(bytes))
        return true;
    qCWarning(lcConfiguration).noquote()
        << QStringLiteral("The configuration is too large to send (%1 bytes, at most %2 can travel): \"%3\" "
                          "was not posted, and the daemon keeps the configuration it has")
               .arg(bytes)
               .arg(DistributedNotificationCenter::kMaxUserInfoBytes)
               .arg(name);
    // Only as a sheet on the main window: the request road never waits for it.
    if (window) {
        Alert alert;
        alert.messageText = QStringLiteral("The configuration is too large to send");
        alert.informativeText = QStringLiteral(
            "The firewall did not receive it and keeps the configuration it had. Remove some apps or rules, "
            "then try again.");
        alert.icon = QStringLiteral("NSCaution");
        AlertPresenter::shared().beginSheet(alert, window, nullptr);
    }
    return false;
}

// ---------------------------------------------------------------- import and export

void PAConfiguration::m_tellAlertIsOpen()
{
    Alert alert;
    alert.messageText = QStringLiteral("A connection alert is open");
    alert.informativeText = QStringLiteral("Answer the connection alert first, then try again.");
    alert.icon = QStringLiteral("NSCaution");
    AlertPresenter::shared().beginSheet(alert, window, nullptr);
}

void PAConfiguration::importConf(const QString& path, bool /*decodeConf*/)
{
    QPointer<PAConfiguration> self(this);
    if (!synchronizedQueue().syncBarrier([self, path] {
            if (self)
                self->loadConf(path);
        }))
        m_tellAlertIsOpen();
}

void PAConfiguration::exportConf(const QString& path, bool encodeConf, bool sendDaemon, bool exitAgent)
{
    if (exitAgent) {
        writeConf(path, encodeConf, sendDaemon);
        return;
    }
    QPointer<PAConfiguration> self(this);
    if (!synchronizedQueue().syncBarrier([self, path, encodeConf, sendDaemon] {
            if (self)
                self->writeConf(path, encodeConf, sendDaemon);
        }))
        m_tellAlertIsOpen();
}

void PAConfiguration::m_import()
{
    if (isNotifyWindowOpen || synchronizedQueue().isSuspended()) {
        m_tellAlertIsOpen();
        return;
    }
    const QString path = FileChooser::shared().chooseFileToOpen(
        QStringLiteral("Import Palisor configuration from file"), window);
    if (path.isEmpty())
        return;
    importConf(path, false);
}

void PAConfiguration::importConfFromFile()
{
    m_import();
}

void PAConfiguration::importEncodedConfFromFile()
{
    m_import();
}

void PAConfiguration::m_export(bool encodeConf)
{
    if (isNotifyWindowOpen) {
        m_tellAlertIsOpen();
        return;
    }
    // The panel is answered before the write is queued: while a queue item
    // runs no other starts, and a panel left open would hold up the daemon's
    // connection requests behind it. The write still follows every earlier
    // change.
    const QString path = FileChooser::shared().chooseFileToSave(
        QStringLiteral("Export Palisor configuration to file"), window);
    if (path.isEmpty())
        return;
    QPointer<PAConfiguration> self(this);
    if (!synchronizedQueue().syncBarrier([self, path, encodeConf] {
            if (self)
                self->writeConf(path, encodeConf, false);
        }))
        m_tellAlertIsOpen();
}

void PAConfiguration::exportConfToFile()
{
    m_export(false);
}

void PAConfiguration::exportEncodedConfToFile()
{
    m_export(true);
}

// ---------------------------------------------------------------- log rotation

QString PAConfiguration::rotationConfigurationPath()
{
    return Paths::system(QStringLiteral("/etc/logrotate.d/palisor"));
}

QString PAConfiguration::logRotationEntry() const
{
    // Rotate past 10000 kB, keep 20 archives, compress them with bzip2, new
    // logs with mode 666. logrotate runs as root and refuses to rotate in a
    // folder the user owns unless told whose files they are.
    QString path = pathForLog();
    path.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QStringLiteral("\"%1\" {\n"
                          "    su %2 %3\n"
                          "    size 10000k\n"
                          "    rotate 20\n"
                          "    create 0666\n"
                          "    compress\n"
                          "    compresscmd /bin/bzip2\n"
                          "    uncompresscmd /bin/bunzip2\n"
                          "    compressext .bz2\n"
                          "    missingok\n"
                          "    notifempty\n"
                          "}\n")
        .arg(path, currentUserName(), currentGroupName());
}

bool PAConfiguration::checkRotationSettings()
{
    QFile file(rotationConfigurationPath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QString log = pathForLog();
    while (!file.atEnd())
        if (QString::fromUtf8(file.readLine()).contains(log))
            return true;
    return false;
}

void PAConfiguration::updateLogRotationSettings()
{
    if (checkRotationSettings())
        return;

    QString text;
    QFile existing(rotationConfigurationPath());
    if (existing.open(QIODevice::ReadOnly)) {
        const QString log = pathForLog();
        for (const QString& line : QString::fromUtf8(existing.readAll()).split(QLatin1Char('\n')))
            if (!line.isEmpty() && !line.contains(log))
                text += line + QLatin1Char('\n');
    }
    text += logRotationEntry();

    const QString folder = makePrivateTemporaryFolder("palisor-logrotate");
    if (!folder.isEmpty()) {
        const QString staged = folder + QStringLiteral("/palisor");
        QFile file(staged);
        if (file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0) {
            file.close();
            CommandRunner::shared().runAsAdministrator(QStringLiteral("/usr/bin/install"),
                                                       {QStringLiteral("-D"), QStringLiteral("-m"),
                                                        QStringLiteral("644"), staged,
                                                        rotationConfigurationPath()});
        }
        QDir(folder).removeRecursively();
    }

    const bool changed = checkRotationSettings();
    emit logRotationChecked(changed);
    Alert alert;
    if (changed) {
        alert.messageText = QStringLiteral("Logs rotation configuration successfully modified. Settings will "
                                           "take effect at next system reboot");
    } else {
        alert.messageText = QStringLiteral("Logs rotation configuration was not modified");
        alert.icon = QStringLiteral("NSCaution");
    }
    AlertPresenter::shared().beginSheet(alert, window, nullptr);
}

void PAConfiguration::updateLogsRotationSettings()
{
    updateLogRotationSettings();
}

// ---------------------------------------------------------------- uninstall and runners

void PAConfiguration::uninstall()
{
    Alert alert;
    alert.messageText = QStringLiteral("Are you sure?");
    alert.icon = QStringLiteral("NSCaution");
    alert.buttons = {QStringLiteral("Uninstall Palisor"), QStringLiteral("Cancel")};
    alert.informativeText = QStringLiteral(
        "The uninstall procedure will quit all your running applications and restart your Mac. To continue "
        "uninstalling Palisor click 'Uninstall Palisor' otherwise click 'Cancel'.\n\nPLEASE NOTE\n\nDuring "
        "this "
        "process your Mac will be unresponsive and will display a spinning ball or a black screen. Please "
        "wait one "
        "minute for the uninstall procedure to complete, your Mac will restart automatically.");
    QPointer<PAConfiguration> self(this);
    AlertPresenter::shared().beginSheet(alert, window, [self](AlertResult result) {
        if (self && result.response == AlertFirstButtonReturn)
            self->launchUninstaller();
    });
}

void PAConfiguration::launchUninstaller()
{
    // The login helper would start the agent again: stop its service (where
    // the session has systemd) and end it.
    const QString systemctl = QStandardPaths::findExecutable(QStringLiteral("systemctl"));
    if (!systemctl.isEmpty())
        CommandRunner::shared().run(systemctl, {QStringLiteral("--user"), QStringLiteral("stop"),
                                                QStringLiteral("zz.tolvane.PalisorHelper.service")});
    for (const RunningApplication& helper :
         Workspace::runningApplicationsWithBundleIdentifier(QStringLiteral("zz.tolvane.Palisor-Helper")))
        Workspace::terminate(helper.pid);

    const QString resource = Resources::pathForResource(QStringLiteral("palisoruninstaller"));
    if (resource.isEmpty()) {
        qCWarning(lcConfiguration).noquote()
            << QStringLiteral("The uninstaller is missing from the application's resources");
        return;
    }
    const QString folder = makePrivateTemporaryFolder("palisor-uninstall");
    if (folder.isEmpty()) {
        qCWarning(lcConfiguration).noquote() << QStringLiteral("No temporary folder for the uninstaller");
        return;
    }
    const QString uninstaller = folder + QStringLiteral("/palisoruninstaller");
    if (QFile::copy(resource, uninstaller)) {
        QFile::setPermissions(uninstaller,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        CommandRunner::shared().runAsAdministrator(uninstaller, {});
    }
    QDir(folder).removeRecursively();
}

QString PAConfiguration::doScript(const QString& command)
{
    return CommandRunner::shared().doShellScript(command, false);
}

QString PAConfiguration::doScriptWithAdmin(const QString& command)
{
    return CommandRunner::shared().doShellScript(command, true);
}
