#pragma once

#include <QString>

// The programs the user's session starts at login.
class LoginItems
{
public:
    virtual ~LoginItems() = default;
    // Removes the login items shown under `name`. Best effort: nothing is
    // reported, whatever fails.
    virtual void removeLoginItem(const QString& name) = 0;
};

// The user's XDG autostart folder ($XDG_CONFIG_HOME/autostart, by default
// ~/.config/autostart): an item is a .desktop file, shown under its
// [Desktop Entry] Name. The system-wide folders are not the user's to change.
class XdgAutostartLoginItems : public LoginItems
{
public:
    void removeLoginItem(const QString& name) override;
    static QString autostartFolder();
};
