#pragma once

#include "platform/Identities.h"

#include <QList>

// The local user accounts, for the main window's user choices. Stateless.
class PASystemUsers
{
public:
    QList<Identity> systemUsers() const;
};
