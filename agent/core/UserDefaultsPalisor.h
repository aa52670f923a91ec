#pragma once

#include "platform/UserDefaults.h"

#include <QColor>

#include <optional>

// Colours kept in the agent's user defaults. The defaults file is this
// program's own, so a colour is stored plainly, as an array of four reals
// (red, green, blue, alpha in sRGB, 0 to 1), not as an archived object.
class UserDefaultsPalisor
{
public:
    // nullopt when the key is absent or does not hold such an array.
    static std::optional<QColor> colorForKey(const UserDefaults& defaults, const QString& key);
    // No colour removes the key.
    static void setColor(UserDefaults& defaults, const std::optional<QColor>& color, const QString& key);
};
