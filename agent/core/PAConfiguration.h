#pragma once

#include "core/PAConfigurationRecords.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// The configuration object: loads, writes, imports and exports the
// configuration, publishes the rule set to the daemon, reads the user
// defaults, and keeps the agent's log rotation and uninstaller. It changes the
// rule lists through ruleLists() and tells the windows what else happened by
// its signals; it knows no window.
class PAConfiguration : public QObject
{
    Q_OBJECT

public:
    explicit PAConfiguration(QObject* parent = nullptr);
    ~PAConfiguration() override;

    // The window its sheets hang on (the main window), set by the composition
    // root.
    // A temporary object made only to write a preset file needs none.
    QPointer<QObject> window;

    // "/etc/palisor.conf" (under PALISOR_ROOT).
    QString confPath() const;
    // The agent's log, ~/Library/Logs/palisor.log.
    QString pathForLog() const;

    void awakeFromNib();
    void loadCustomPreset(const QVariantMap& userInfo);
    void readUserDefaults();

    // Replaces the rule model and the preferences by the configuration in the
    // file and publishes it. A missing or malformed file changes nothing
    // (a malformed one is logged); returns whether the file was loaded. Runs
    // inside a synchronizedQueue item on the main thread.
    bool loadConf(const QString& path);
    // Plain record array, the encoded file, or the wrapper posted to the
    // daemon as "writePalisorConfiguration" (no file). Returns whether the
    // file was written or the notification posted (not when it is too large
    // for the bus).
    bool writeConf(const QString& path, bool encodeConf, bool sendDaemon);
    // "newAppListReceived": the whole rule set, to the daemon; never posted
    // when too large for the bus.
    void sendConf();

    // The import and export commands. While a connection alert holds the
    // configuration queue they tell the user they cannot run now.
    void importConf(const QString& path, bool decodeConf);
    void exportConf(const QString& path, bool encodeConf, bool sendDaemon, bool exitAgent);
    void importConfFromFile();
    void importEncodedConfFromFile();
    void exportConfToFile();
    void exportEncodedConfToFile();

    // Log rotation of the agent's log, in "/etc/logrotate.d/palisor".
    static QString rotationConfigurationPath();
    QString logRotationEntry() const;
    bool checkRotationSettings();
    void updateLogRotationSettings();
    void updateLogsRotationSettings();

    void uninstall();
    void launchUninstaller();
    QString doScript(const QString& command);
    QString doScriptWithAdmin(const QString& command);

    // Whether the automatic-XPC question of a loaded configuration is open.
    bool isAutomaticXPCQuestionOpen() const { return m_xpcQuestionOpen; }

signals:
    // A load begins to replace the rules and preferences (the progress
    // indicator spins).
    void loadStarted();
    // The rules and preferences of a load are in place; the configuration is
    // published right after.
    void configurationApplied();
    // The loaded configuration went to the daemon (the last step of a load).
    void configurationPublished();
    // The automatic-XPC question is about to open on `window`.
    void automaticXPCQuestionWillOpen();
    // The user switched automatic XPC management on from that question.
    void automaticXPCEnabled();
    // The log-rotation entry was checked after an update: present or not.
    void logRotationChecked(bool present);

private:
    void m_apply(const PAConfigurationRecords::Configuration& configuration);
    void m_applyPreferences(const QVariantMap& record);
    void m_askAutomaticXPC();
    void m_import();
    void m_export(bool encodeConf);
    void m_tellAlertIsOpen();
    // Whether a userInfo of this size can go on the bus; when it cannot, the
    // log and the user are told.
    bool m_fitsOnBus(const QString& name, qsizetype bytes);

    bool m_xpcQuestionOpen = false;
};
