#pragma once

#include <QString>

#include <optional>

// The firewall's parts outside the agent, as this system shows them: the
// network filter extension "palisornke" (its bundle, whether the kernel has
// it loaded, its version), whether the connection-report extension
// "palisorlogsnke" is loaded, and the root daemon "palisorafd" (its
// executable, its launch plist, whether it runs). Every path is under PALISOR_ROOT; the
// process look is limited to processes of our root. Nothing here runs a
// shell.
class Installation
{
public:
    static QString filterKextBundlePath();     // /Library/Extensions/palisornke.kext
    static QString filterKextInfoPlistPath();  // .../Contents/Info.plist
    static QString filterKextModulePath();     // /sys/module/palisornke
    static QString connectionKextModulePath(); // /sys/module/palisorlogsnke
    static QString daemonExecutablePath();     // /usr/local/bin/palisorafd
    static QString daemonLaunchPlistPath();    // /Library/LaunchDaemons/zz.tolvane.palisorafd.plist
    static QString daemonProcessName();        // "palisorafd"

    // The bundle folder exists (with or without its information file).
    static bool filterKextBundleExists();
    // The bundle exists with its Contents/Info.plist.
    static bool filterKextIsInstalled();
    static bool filterKextIsLoaded();
    // The connection-report extension "palisorlogsnke" is loaded.
    static bool connectionKextIsLoaded();
    // "CFBundleVersion" of the bundle's information file; nullopt (and a
    // reason in *error) when the file cannot be read, is no dictionary, or
    // has no such string.
    static std::optional<QString> filterKextVersion(QString* error = nullptr);

    static bool daemonIsInstalled();
    // A process named exactly "palisorafd" runs under our PALISOR_ROOT.
    static bool daemonIsRunning();
    static bool daemonLaunchPlistIsInstalled();
};
