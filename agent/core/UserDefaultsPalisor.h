#pragma once

#include "core/PARange.h"
#include "platform/UserDefaults.h"

#include <QColor>

#include <optional>

// Colours and sizes kept in the agent's user defaults. The defaults file is this
// program's own, so a colour is stored plainly, as an array of four reals
// (red, green, blue, alpha in sRGB, 0 to 1), not as an archived object.
class UserDefaultsPalisor
{
public:
    // nullopt when the key is absent or does not hold such an array.
    static std::optional<QColor> colorForKey(const UserDefaults& defaults, const QString& key);
    // No colour removes the key.
    static void setColor(UserDefaults& defaults, const std::optional<QColor>& color, const QString& key);
    // The real under `key`; nullopt when the key is absent or holds another
    // type, and (with a log line) when the real lies outside `range`.
    static std::optional<double> realForKey(const UserDefaults& defaults, const QString& key, PARange range);
};
