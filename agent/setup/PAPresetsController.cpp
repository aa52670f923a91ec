#include "setup/PAPresetsController.h"

#include "core/AgentLog.h"
#include "core/PAConfiguration.h"
#include "core/SharedState.h"
#include "platform/Resources.h"

namespace {

struct StrategyRow
{
    int number;
    const char* name;
    const char* name2;
    const char* image;
    const char* description;
};

// The table's rows in the order shown. The texts are shown as written,
// slips and trailing blanks included.
const StrategyRow kStrategyRows[] = {
    {8, "Configuration Assistant", "Configure firewall step by step", "palisor",
     "Palisor configuration assistant will help you configuring the application firewall step by step. You "
     "will be able to choose your favourite filtering approach, interactivity level and the most important "
     "options. You can restart the assistant at any time and explore all its features. "},
    {0, "Default configuration", "no interaction required, pass all apps", "stra1",
     "All apps are allowed to connect to the network. Apps view is populated by apps icons as soon as they "
     "make a connection. Notifications alerts are disabled, Palisor is completely silent. To block an app "
     "select its icon and click the locker or drag its icon from the Finder to Apps Window or click the "
     "gear button to browse your files and folders."},
    {1, "Blind", "no interaction required, no apps icons, pass all", "stra1",
     "Like in default configuration all all apps are allowed to connect to the network. However Apps view "
     "displays only manually managed apps and does not get crowded by passed apps icons. Notifications "
     "alerts are disabled, Palisor is completely silent. To block an app drag its icon from the Finder to "
     "Palisor Apps view or click the gear button to browse your files and folders."},
    {2, "Exclusive", "no interaction required, pass everything except jailed apps", "stra2",
     "Like in default configuration all apps are allowed to connect to the network except apps put in a "
     "specific folder, the jail. Palisor Apps view is populated by passed apps icons as soon as they make a "
     "connection. Notifications are disabled, Palisor is completely silent, no interaction is required."},
    {6, "Inclusive", "no interaction required, block everything except trusted jailed apps", "stra3",
     "All apps are blocked except apps put in a specific folder, the jail. Palisor Apps view is populated "
     "by passed apps icons as soon as they make a connection. Notifications are disabled, Palisor is "
     "completely silent, no interaction is required."},
    {3, "Block everything", "no interaction required, all apps blocked by default", "stra4",
     "All apps are blocked by default, their connections will be silently blocked. No app icon will appear "
     "in Palisor Apps view. Notifications are disabled, Palisor is completely silent. To pass an app add it "
     "to the Apps view then select it and click the locker to set it as passed."},
    {4, "Extremely Verbose", "All apps aks permission to connect", "stra5",
     "Apps need a permission to connect. Apps can be passed, blocked, or in a mixed state highlighted by a "
     "blue dialog icon. Mixed state apps can have both passed and blocked IPs, ports, subnets. A "
     "notification alert will be displayed every time an app wants to connect to the network unless it "
     "matches an existing rule. Notifications let you choose to pass/block all connections for an app, or "
     "pass/block only current IP or port."},
    {5, "Verbose", "Apps ask permission to connect with some exceptions based on specific criteria", "stra6",
     "All apps need a permission to connect excluding apps stored in some system directories. These system "
     "apps are allowed to connect without requesting permission and their icon will not appear in Apps "
     "view. For all other apps a notification alert will be displayed each time they try to connect to the "
     "network unless they are alredy managed and they match an existing rule."},
    {7, "Less Verbose", "Apps in a specific list ask permission to connect, all other apps are passed ",
     "stra7",
     "All apps are allowed to connect without requesting permission and their icon will not appear in Apps "
     "view by default. The only exception are managed apps. You can add an app to managed apps dragging its "
     "icon from the Finder and then choosing its rule. You can choose whether to block it or to request "
     "notifications alert for each connection."},
};

} // namespace

PAPresetsController::PAPresetsController(PAConfiguration& configuration, QObject* parent)
    : QObject(parent)
    , palisorconfiguration(&configuration)
    , strategiesLibraryController(new ArrayController<PAStrategy>(this))
{
    strategiesLibraryController->setContent(&strategiesLibrary);
}

PAPresetsController::~PAPresetsController()
{
    // The controller is a child and outlives this body; it must not keep
    // pointing at the list that dies first.
    strategiesLibraryController->setContent(nullptr);
}

void PAPresetsController::awakeFromNib()
{
    for (const StrategyRow& row : kStrategyRows) {
        strategiesLibraryController->addObject(std::make_shared<PAStrategy>(
            QString::fromUtf8(row.name), QString::fromUtf8(row.name2), QString::fromUtf8(row.description),
            row.number, Resources::image(QString::fromLatin1(row.image)), row.number == 8));
    }
}

bool PAPresetsController::loadPresetFromBundle(PAConfiguration* configuration, const QString& name,
                                               HeldLoad held)
{
    const QString path = Resources::pathForResource(name, QStringLiteral("plist"));
    if (path.isEmpty()) {
        qCWarning(lcConfiguration).noquote()
            << QStringLiteral(
                   "[PALISOR AGENT] preset %1 is missing from the application's resources; not loaded")
                   .arg(name);
        return false;
    }
    if (!configuration) {
        qCWarning(lcConfiguration).noquote()
            << QStringLiteral("[PALISOR AGENT] no configuration object; preset %1 not loaded").arg(name);
        return false;
    }
    bool loaded = false;
    if (synchronizedQueue().syncBarrier([&] { loaded = configuration->loadConf(path); }))
        return loaded;
    if (held == HeldLoad::Drop) {
        qCWarning(lcConfiguration).noquote()
            << QStringLiteral("[PALISOR AGENT] preset %1 not loaded while a connection alert is open")
                   .arg(name);
        return false;
    }
    synchronizedQueue().asyncBarrier([target = QPointer<PAConfiguration>(configuration), path] {
        if (target)
            target->loadConf(path);
    });
    return false;
}

bool PAPresetsController::loadPresetFromBundle(const QString& name)
{
    return loadPresetFromBundle(palisorconfiguration, name);
}
