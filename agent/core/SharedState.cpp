#include "core/SharedState.h"

#include "core/PARuleLists.h"
#include "platform/Resources.h"
#include "platform/SystemColors.h"

SerialQueue& synchronizedQueue()
{
    static SerialQueue queue(QStringLiteral("SynchronizedNotification"));
    return queue;
}

NotificationCenter& appNotificationCenter()
{
    static NotificationCenter center;
    return center;
}

UserDefaults& userDefaults()
{
    return UserDefaults::standardUserDefaults();
}

PAAppsLibrary sharedAppsLibrary;
std::vector<std::shared_ptr<PAExclusion>> exclusionsList;
std::vector<std::shared_ptr<PAManagedRecords>> recordsList;
std::vector<PAConfigurationRecords::UnreadRecord> unreadRecords;

PARuleLists& ruleLists()
{
    static PARuleLists lists;
    return lists;
}

std::vector<std::shared_ptr<TLService>> tolvaneServices;
QList<Identity> systemUsersList;
bool showHostnames = true;
bool logAutoscroll = true;

QIcon& passedUpImage()
{
    static QIcon image = Resources::requiredImage(QStringLiteral("passedup"));
    return image;
}

QIcon& blockedUpImage()
{
    static QIcon image = Resources::requiredImage(QStringLiteral("blockedup"));
    return image;
}

QColor& labelColor0()
{
    static QColor color = PASettings::initialColor("color0");
    return color;
}

QColor& labelColor1()
{
    static QColor color = PASettings::initialColor("color1");
    return color;
}

QColor& labelColor2()
{
    static QColor color = PASettings::initialColor("color2");
    return color;
}

QColor& labelColor3()
{
    static QColor color = PASettings::initialColor("color3");
    return color;
}

QColor& labelColor4()
{
    static QColor color = PASettings::initialColor("color4b");
    return color;
}

QColor& labelColorOfState(qint64 state)
{
    switch (state) {
    case 1:
        return labelColor1();
    case 2:
        return labelColor2();
    case 3:
        return labelColor3();
    case 4:
        return labelColor4();
    default:
        return labelColor0();
    }
}

QColor& notificationBackgroundColor()
{
    static QColor color = PASettings::initialColor("bgColor");
    return color;
}
