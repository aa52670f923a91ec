#pragma once

#include <QString>

// The account name shown in the alerts for a user id. Stateless.
class GetuserFromUID
{
public:
    // The short name; a uid without an account is shown as its number.
    QString getuser(qint32 uid) const;
};
