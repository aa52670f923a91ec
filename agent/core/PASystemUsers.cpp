#include "core/PASystemUsers.h"

QList<Identity> PASystemUsers::systemUsers() const
{
    return Identities::localUsers();
}
