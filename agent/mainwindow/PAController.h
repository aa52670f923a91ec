#pragma once

#include "ArrayController.h"
#include "PAApplication.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class PAConfiguration;
class PAConnectionController;

// The main window's controller: it holds the managed-apps list the window
// shows and the commands that change it. The window itself is built on top of
// this list; what is here runs without it.
class PAController : public QObject
{
    Q_OBJECT

public:
    explicit PAController(QObject* parent = nullptr);
    ~PAController() override;

    // The managed apps as the main window shows them, in list order; holds the
    // same app objects as sharedAppsLibrary.
    std::vector<std::shared_ptr<PAApplication>> appsLibrary;
    // The array controller between appsLibrary and the apps view.
    ArrayController<PAApplication>* appsLibraryController = nullptr;

    // Outlets, connected by MainInterface.
    QPointer<PAConfiguration> paconfiguration;
    QPointer<PAConnectionController> connectioncontroller;

    void awakeFromNib();

    // "mini" or anything else ("normal").
    void setStyle(const QString& style);
    void updateToolbarLeds();
    void updateColorsInPopover();
    void updateAllAppsLabelsColors();
    void selectIconsStyle();
    void removeAllXPCServices();

    // Observers of appNotificationCenter.
    void copyArrayAppLibrary();
    void sendConfiguration();
    void silenceNotifications();
    void reenableNotifications();
    void expireApp(const QVariantMap& userInfo);

    void makeYellowAppsTurnGreenButPreserveAllMatches();
    void turnAllAppsWithMatchesFromGreenToYellow();

    // The two tails of every change of the managed apps: publish copies the
    // list into sharedAppsLibrary before sending; send only sends.
    void publishAppsLibrary();
    void sendConfigurationToDaemon();

    QString eseguiShellCommand(const QString& launchPath, const QStringList& argomenti);
    QString doScript(const QString& command);
    QString doAScript(const QString& command);

    // What the toolbar's status lights and titles show, kept for the window.
    QString notificationsLedTitle() const { return m_notificationsLedTitle; }
    QString notificationsLedImage() const { return m_notificationsLedImage; }
    QString loggingLedTitle() const { return m_loggingLedTitle; }
    QString loggingLedImage() const { return m_loggingLedImage; }
    QString logSectionTitle() const { return m_logSectionTitle; }

signals:
    void toolbarLedsChanged();
    void labelColorsChanged();
    void styleChanged();

private:
    void m_hideSystemBinariesIfWanted();

    QString m_notificationsLedTitle;
    QString m_notificationsLedImage;
    QString m_loggingLedTitle;
    QString m_loggingLedImage;
    QString m_logSectionTitle;
};
