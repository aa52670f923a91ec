#include "platform/widgets/SystemTray.h"

#include <QSystemTrayIcon>

namespace {

// Main thread only, as the status item is.
std::function<bool()>& answerOverride()
{
    static std::function<bool()> answer;
    return answer;
}

} // namespace

bool SystemTray::isAvailable()
{
    const std::function<bool()>& answer = answerOverride();
    return answer ? answer() : QSystemTrayIcon::isSystemTrayAvailable();
}

void SystemTray::setAvailability(std::function<bool()> answer)
{
    answerOverride() = std::move(answer);
}
