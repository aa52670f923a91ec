#pragma once

#include <QObject>

// The user's login session being switched away from (another user's session
// takes the screen) and becoming the active one again. Something that knows
// the session emits them; tests emit them by hand.
class SessionEvents : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    void sessionDidResignActive();
    void sessionDidBecomeActive();
};
